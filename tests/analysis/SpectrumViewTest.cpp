// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram view on screen: playhead and click mapping, the picture of a long clip,
// the brush's band on the image's scale, strokes, recording, and a receiver that refreshes.
#include "SpectrumProbe.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

namespace {

constexpr int rate = 44100;

class ShownView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.resize(800, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void load(const QList<float> &mono, int sampleRate = rate, const QList<float> &stereo = {})
    {
        view.setAudioData(mono, sampleRate, stereo);
        ASSERT_TRUE(SpectrumAnalyzerWidgetProbe::waitReady(view));
    }

    void stroke(QPoint from, QPoint to)
    {
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&view, (from + to) / 2);
        QTest::mouseMove(&view, to);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
    }

    SpectrumAnalyzerWidget view;
};

// Amplitude of `hz` over [first, end) by projection (whole cycles make it exact enough here).
double amplitude(const QList<float> &x, int sampleRate, qsizetype first, qsizetype end, double hz)
{
    double re = 0.0, im = 0.0;
    for (qsizetype i = first; i < end; ++i) {
        re += x[i] * std::cos(2.0 * M_PI * hz * double(i) / sampleRate);
        im += x[i] * std::sin(2.0 * M_PI * hz * double(i) / sampleRate);
    }
    return 2.0 * std::hypot(re, im) / double(end - first);
}

} // namespace

TEST_F(ShownView, DrawsThePlayheadWhereItsTimeFallsInThePlot)
{
    load(QList<float>(10 * rate, 0.0f));
    const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
    EXPECT_EQ(plot, QRect(QPoint(55, 5), QPoint(794, 274)));
    for (double t : {0.0, 2.5, 7.31, 9.99}) {
        SCOPED_TRACE(t);
        view.setPlayheadPosition(t);
        const QImage shot = view.grab().toImage();
        std::set<int> red;
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, 150) == qRgb(255, 80, 80))
                red.insert(x);
        ASSERT_FALSE(red.empty());
        const int expected = 55 + int(740 * t / 10);
        EXPECT_TRUE(red.count(expected)) << *red.begin() << ".." << *red.rbegin();
        EXPECT_LE(*red.rbegin() - *red.begin(), 1);
    }
}

TEST_F(ShownView, ClicksRequestTheTimeUnderTheMouseAtEveryZoom)
{
    load(QList<float>(10 * rate, 0.0f));
    QSignalSpy requested(&view, &SpectrumAnalyzerWidget::playheadRequested);
    struct Row
    {
        double zoom, start;
        int x;
    };
    for (const Row &row : {Row{1, 0, 55}, Row{1, 0, 400}, Row{1, 0, 794}, Row{2, 2.5, 100}, Row{2, 2.5, 700}}) {
        SCOPED_TRACE(row.x);
        view.setZoomLevel(row.zoom);
        view.setViewStartSec(row.start);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(row.x, 100));
        ASSERT_EQ(requested.count(), 1);
        const double expected = row.start + (row.x - 55) / 740.0 * 10.0 / row.zoom;
        EXPECT_NEAR(requested.takeFirst().at(0).toDouble(), expected, 0.001);
    }
}

TEST_F(ShownView, ShowsTheEndOfAClipLongerThan65536ColumnsAtTheEnd)
{
    // Qt 6.4 draws a scaled image from source columns beyond 65535 as if 65536 columns earlier.
    const qsizetype frames = qsizetype(14 * 60) * rate;
    const qsizetype change = qsizetype(13 * 60) * rate;
    QList<float> clip(frames);
    for (qsizetype i = 0; i < frames; ++i)
        clip[i] = float(0.5 * std::sin(2.0 * M_PI * (i < change ? 1000.0 : 5000.0) * double(i) / rate));
    load(clip);
    ASSERT_GT(SpectrumAnalyzerWidgetProbe::columns(view).at(0).count(), 65536);
    view.setZoomLevel(8.0);
    view.setViewStartSec(1e9);
    ASSERT_NEAR(SpectrumAnalyzerWidgetProbe::viewStart(view), 14 * 60 - 14 * 60 / 8.0, 1e-6);

    const QImage shot = view.grab().toImage();
    const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
    int brightestRow = -1;
    qint64 brightest = -1;
    for (int y = plot.top() + 1; y < plot.bottom(); ++y) {
        qint64 sum = 0;
        for (int x = plot.left() + 1; x < plot.right(); ++x)
            sum += qGray(shot.pixel(x, y));
        if (sum > brightest) {
            brightest = sum;
            brightestRow = y;
        }
    }
    const int toneRow = plot.top() + int(plot.height() * (1.0 - 5000.0 / (rate / 2.0)));
    EXPECT_NEAR(brightestRow, toneRow, 2);
}

TEST_F(ShownView, TheBrushErasesTheLineUnderItOnTheImagesScale)
{
    // At 96 kHz a 40 kHz line is drawn at 40/48 of the height and the brush takes that band.
    const int highRate = 96000;
    QList<float> clip(2 * highRate);
    for (qsizetype i = 0; i < clip.size(); ++i)
        clip[i] = float(0.4 * std::sin(2.0 * M_PI * 40000.0 * double(i) / highRate)
                        + 0.4 * std::sin(2.0 * M_PI * 10000.0 * double(i) / highRate));
    load(clip, highRate);
    view.setToolMode(SpectrumAnalyzerWidget::EraseTool);
    view.setEraseStrength(1.0f);
    const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
    const int y = plot.top() + int(plot.height() * (1.0 - 40000.0 / 48000.0));
    QSignalSpy changed(&view, &SpectrumAnalyzerWidget::audioDataChanged);
    stroke(QPoint(plot.left() + 100, y), QPoint(plot.left() + 500, y));
    ASSERT_EQ(changed.count(), 1);
    // Readout and hover signals report the frequency under the pointer on the same scale.
    QSignalSpy hovered(&view, &SpectrumAnalyzerWidget::frequencySelected);
    QTest::mouseMove(&view, QPoint(400, y));
    ASSERT_EQ(hovered.count(), 1);
    EXPECT_NEAR(hovered.at(0).at(0).toFloat(), 40000.0f, 48000.0f / plot.height());

    const qsizetype first = qsizetype((100.0 / 740.0 * 2.0 + 0.05) * highRate);
    const qsizetype end = qsizetype((500.0 / 740.0 * 2.0 - 0.05) * highRate);
    EXPECT_LE(amplitude(view.audioData(), highRate, first, end, 40000.0), 0.4 * 1e-3);
    EXPECT_NEAR(amplitude(view.audioData(), highRate, first, end, 10000.0), 0.4, 0.4 * 0.006);
}

TEST_F(ShownView, AStrokeLeftUnderAnotherToolIsForgotten)
{
    QList<float> clip(4 * rate);
    addNoise(clip, 0.5f, 9);
    load(clip);
    const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
    QSignalSpy changed(&view, &SpectrumAnalyzerWidget::audioDataChanged);
    view.setToolMode(SpectrumAnalyzerWidget::EraseTool);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(plot.left() + 20, 100));
    view.setToolMode(SpectrumAnalyzerWidget::SelectTool);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(plot.left() + 20, 100));
    EXPECT_EQ(changed.count(), 0);

    view.setToolMode(SpectrumAnalyzerWidget::EraseTool);
    stroke(QPoint(plot.right() - 20, 100), QPoint(plot.right() - 10, 100));
    ASSERT_EQ(changed.count(), 1);
    // Nothing before the second stroke's frames changed.
    const qsizetype untouched = qsizetype((720.0 - 20.0) / 740.0 * 4.0 * rate) - 8 * 512 - 2048;
    EXPECT_TRUE(std::memcmp(view.audioData().constData(), clip.constData(), std::size_t(untouched) * sizeof(float)) == 0);
}

TEST_F(ShownView, TheBrushWaitsWhileRecordingAndEachTakeStartsAfresh)
{
    QList<float> clip(2 * rate);
    addNoise(clip, 0.5f, 10);
    load(clip);
    view.setToolMode(SpectrumAnalyzerWidget::EraseTool);
    view.setRecording(true);
    const QList<float> block(1500, 0.25f);
    view.processAudioFrame(block.constData(), int(block.size()));
    QSignalSpy changed(&view, &SpectrumAnalyzerWidget::audioDataChanged);
    stroke(QPoint(200, 100), QPoint(400, 100));
    EXPECT_EQ(changed.count(), 0);
    // The clip handed in while recording is only kept; the live picture stays.
    view.setAudioData(clip + block, rate);
    EXPECT_EQ(view.audioData().size(), clip.size() + block.size());
    view.setRecording(false);
    ASSERT_TRUE(SpectrumAnalyzerWidgetProbe::waitReady(view));
    stroke(QPoint(200, 100), QPoint(400, 100));
    EXPECT_EQ(changed.count(), 1);
}

TEST(SpectrumRefresh, AReceiverThatRefreshesEveryViewFromTheSignalCompletes)
{
    // A watchdog: a wait on a lock the view still held would never return.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) {
            std::fprintf(stderr, "the erase and its refresh did not complete within 5 s\n");
            std::abort();
        }
    });

    QList<float> clip(3 * rate);
    addNoise(clip, 0.5f, 12);
    SpectrumAnalyzerWidget first, second;
    first.resize(800, 300);
    first.show();
    second.show();
    first.setAudioData(clip, rate);
    second.setAudioData(clip, rate);
    ASSERT_TRUE(SpectrumAnalyzerWidgetProbe::waitReady(first));
    int refreshed = 0;
    QObject::connect(&first, &SpectrumAnalyzerWidget::audioDataChanged, &first, [&] {
        const QList<float> erased = first.audioData();
        for (SpectrumAnalyzerWidget *view : {&first, &second})
            view->setAudioData(erased, rate);
        ++refreshed;
    }, Qt::DirectConnection);
    first.setToolMode(SpectrumAnalyzerWidget::EraseTool);
    QTest::mousePress(&first, Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseRelease(&first, Qt::LeftButton, {}, QPoint(300, 100));
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    EXPECT_EQ(refreshed, 1);
    EXPECT_TRUE(second.audioData().constData() == first.audioData().constData());
}

TEST(HiddenSpectrum, StartsItsTransformOnlyOnceShownAndThenShowsTheClip)
{
    QList<float> clip(3 * rate);
    addNoise(clip, 0.5f, 13);
    SpectrumAnalyzerWidget view;
    view.resize(800, 300);
    view.setAudioData(clip, rate);
    QCoreApplication::processEvents();
    EXPECT_FALSE(SpectrumAnalyzerWidgetProbe::computing(view));
    EXPECT_TRUE(SpectrumAnalyzerWidgetProbe::columns(view).empty());

    view.show();
    ASSERT_TRUE(SpectrumAnalyzerWidgetProbe::waitReady(view));
    const qsizetype hops = (clip.size() - Stft::size) / Stft::hop + 1;
    ASSERT_EQ(SpectrumAnalyzerWidgetProbe::columns(view).size(), 1u);
    EXPECT_EQ(SpectrumAnalyzerWidgetProbe::columns(view)[0].count(), hops);

    // New data while hidden again waits for the next showing, and drops the old columns.
    view.hide();
    view.setAudioData(clip.mid(0, 2 * rate), rate);
    EXPECT_FALSE(SpectrumAnalyzerWidgetProbe::computing(view));
    EXPECT_TRUE(SpectrumAnalyzerWidgetProbe::columns(view).empty());
    view.show();
    ASSERT_TRUE(SpectrumAnalyzerWidgetProbe::waitReady(view));
    EXPECT_EQ(SpectrumAnalyzerWidgetProbe::columns(view)[0].count(), (2 * rate - Stft::size) / Stft::hop + 1);
}
