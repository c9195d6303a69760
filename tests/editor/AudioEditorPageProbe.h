// SPDX-License-Identifier: GPL-3.0-or-later
// Test access to the editor page's views, meters and engine, plus small shared helpers.
#pragma once

#include "Signals.h"
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

// The page's views and controls, found as a person would find them: by their names.
struct AudioEditorPageProbe
{
    template<typename T>
    static T *named(AudioEditorPage &page, const char *name)
    {
        T *child = page.findChild<T *>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static WaveformWidget *waveform1(AudioEditorPage &page) { return named<WaveformWidget>(page, "Waveform"); }
    static WaveformWidget *waveform2(AudioEditorPage &page) { return named<WaveformWidget>(page, "WaveformBelow"); }
    static SpectrumAnalyzerWidget *spectrum1(AudioEditorPage &page)
    {
        return named<SpectrumAnalyzerWidget>(page, "Spectrogram");
    }
    static SpectrumAnalyzerWidget *spectrum2(AudioEditorPage &page)
    {
        return named<SpectrumAnalyzerWidget>(page, "SpectrogramBelow");
    }
    static QString status(AudioEditorPage &page) { return page.findChild<QStatusBar *>()->currentMessage(); }
    static QString time(AudioEditorPage &page) { return named<QLabel>(page, "TimeLabel")->text(); }
    static QString playText(AudioEditorPage &page) { return named<QPushButton>(page, "TransportPlayButton")->text(); }
    static int leftMeter(AudioEditorPage &page) { return named<QProgressBar>(page, "MeterL")->value(); }
    static int rightMeter(AudioEditorPage &page) { return named<QProgressBar>(page, "MeterR")->value(); }
    static bool isPlaying(AudioEditorPage &page) { return page.playing(); }
    static bool isRecording(AudioEditorPage &page) { return page.recording(); }
    static int engineRate(AudioEditorPage &page) { return page.playbackRate(); }
    static double zoom(AudioEditorPage &page) { return page.zoom(); }
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
    const QList<float> monoAfter = page.document().samples();
    const QList<float> stereoAfter = page.document().stereoSamples();
    page.document().undoStack()->undo();
    EXPECT_TRUE(sameBits(page.document().samples(), monoBefore));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereoBefore));
    page.document().undoStack()->redo();
    EXPECT_TRUE(sameBits(page.document().samples(), monoAfter));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereoAfter));
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
