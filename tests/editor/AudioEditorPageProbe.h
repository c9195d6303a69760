// SPDX-License-Identifier: GPL-3.0-or-later
// Test access to the editor page's views, meters and engine, plus small shared helpers.
#pragma once

#include "analysis/SpectrumAnalyzerWidget.h"
#include "editor/AudioEditorPage.h"
#include "editor/WaveformWidget.h"
#include "engine/AudioEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

struct AudioEditorPageProbe
{
    static WaveformWidget *waveform1(AudioEditorPage &page) { return page.waveform1; }
    static WaveformWidget *waveform2(AudioEditorPage &page) { return page.waveform2; }
    static SpectrumAnalyzerWidget *spectrum1(AudioEditorPage &page) { return page.spectrum1; }
    static SpectrumAnalyzerWidget *spectrum2(AudioEditorPage &page) { return page.spectrum2; }
    static QString status(AudioEditorPage &page) { return page.statusBar->currentMessage(); }
    static QString time(AudioEditorPage &page) { return page.timeLabel->text(); }
    static QString playText(AudioEditorPage &page) { return page.playButton->text(); }
    static int leftMeter(AudioEditorPage &page) { return page.leftMeter->value(); }
    static int rightMeter(AudioEditorPage &page) { return page.rightMeter->value(); }
    static bool isPlaying(AudioEditorPage &page) { return page.isPlaying; }
    static bool isRecording(AudioEditorPage &page) { return page.isRecording; }
    static int engineRate(AudioEditorPage &page) { return page.transport.engineRate(); }
    static double zoom(AudioEditorPage &page) { return page.zoomLevel; }
};

// Processes events until `done` holds or `timeoutMs` pass; returns `done()`.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

inline QList<float> seededNoise(qsizetype count, float amplitude, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    QList<float> values(count);
    for (float &value : values)
        value = uniform(generator);
    return values;
}

// Bitwise equality, so that -0.0 against 0.0 or a changed NaN payload still fails.
inline bool sameBits(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size() && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), std::size_t(a.size()) * sizeof(float)) == 0);
}

inline QList<float> withoutRange(const QList<float> &list, qsizetype start, qsizetype end)
{
    QList<float> result = list.mid(0, start);
    result.append(list.mid(end));
    return result;
}

// The page's last step: undo gives back the lists before it and redo the lists it left, bit-exactly.
inline void expectUndoRedoBitExact(AudioEditorPage &page, const QList<float> &monoBefore,
                                   const QList<float> &stereoBefore)
{
    const QList<float> monoAfter = page.samples;
    const QList<float> stereoAfter = page.stereoSamples;
    page.undoStack->undo();
    EXPECT_TRUE(sameBits(page.samples, monoBefore));
    EXPECT_TRUE(sameBits(page.stereoSamples, stereoBefore));
    page.undoStack->redo();
    EXPECT_TRUE(sameBits(page.samples, monoAfter));
    EXPECT_TRUE(sameBits(page.stereoSamples, stereoAfter));
}

// Drags a selection across the first waveform from x0 to x1 (pixels).
inline void dragSelection(AudioEditorPage &page, int x0, int x1)
{
    WaveformWidget *view = AudioEditorPageProbe::waveform1(page);
    const int y = view->height() / 2;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(x0, y));
    QTest::mouseMove(view, QPoint((x0 + x1) / 2, y));
    QTest::mouseMove(view, QPoint(x1, y));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(x1, y));
}
