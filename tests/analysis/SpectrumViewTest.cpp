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

// A 5 kHz tone that stops on a hop boundary: the frame starting there is the first silent
// column. Zoomed in, one column spans about 55 pixels, so a picture stretched from a larger
// one, or out by a column, puts the edge far from where the time mapping says. A resize
// redraws the picture at the new plot size from the columns already computed.
// Steady noise lights the plot's right edge as it lights its middle: the last 35 ms, after the
// last frame's start, show that frame rather than a dark band (wide on short clips).
TEST_F(ShownView, SteadyNoiseReachesTheRightEdgeOfThePlot)
{
    QList<float> noise(rate / 2, 0.0f);
    addNoise(noise, 0.5f, 7);
    load(noise);
    const QImage shot = view.grab().toImage();
    const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
    // Colour index 0, the ramp's dark violet, is what an empty column shows.
    const QRgb empty = Stft::rampEntry(0);
    int lit = 0;
    int darkAtTheEdge = 0;
    for (int y = plot.top() + 1; y < plot.bottom(); ++y) {
        if (shot.pixel(plot.center().x(), y) == empty)
            continue;
        ++lit;
        darkAtTheEdge += shot.pixel(plot.right() - 1, y) == empty;
    }
    EXPECT_GT(lit, plot.height() / 2);
    EXPECT_EQ(darkAtTheEdge, 0);
}

TEST_F(ShownView, ResizingRedrawsThePictureOneToOneFromTheStoredColumns)
{
    const int hop = 512;
    const qsizetype stopColumn = 430;
    QList<float> clip = tone(10 * rate, rate, 5000.0, 0.5);
    std::fill(clip.begin() + stopColumn * hop, clip.end(), 0.0f);
    load(clip);
    const quint64 runs = SpectrumAnalyzerWidgetProbe::computations(view);
    const std::uint16_t *stored = SpectrumAnalyzerWidgetProbe::columns(view).at(0).column(0);
    view.setZoomLevel(64.0);
    view.setViewStartSec(4.9);
    const QRgb silence = qRgb(34, 0, 51);

    for (const QSize size : {QSize(800, 300), QSize(1000, 500), QSize(640, 220), QSize(800, 300)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        view.resize(size);
        QCoreApplication::processEvents();
        const QImage shot = view.grab().toImage();
        const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
        EXPECT_EQ(SpectrumAnalyzerWidgetProbe::pictureSize(view), plot.size());
        EXPECT_EQ(SpectrumAnalyzerWidgetProbe::computations(view), runs);
        EXPECT_EQ(SpectrumAnalyzerWidgetProbe::columns(view).at(0).column(0), stored);

        // Pixel x of the plot shows column floor(start / hopSeconds + x * columnsPerPixel).
        const double hopSeconds = double(hop) / rate;
        const double columnsPerPixel = 10.0 / 64.0 / hopSeconds / plot.width();
        const int edge = plot.left() + int(std::ceil((stopColumn - 4.9 / hopSeconds) / columnsPerPixel));
        const int toneRow = plot.top() + int(plot.height() * (1.0 - 5000.0 / (rate / 2.0)));
        EXPECT_NE(shot.pixel(edge - 2, toneRow), silence);
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            ASSERT_EQ(shot.pixel(edge + 1, y), silence) << "row " << y;
        const int inside = plot.left() + 5;
        int brightestRow = plot.top() + 1;
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            if (qGray(shot.pixel(inside, y)) > qGray(shot.pixel(inside, brightestRow)))
                brightestRow = y;
        EXPECT_NEAR(brightestRow, toneRow, 2);
    }
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
    view.setToolMode(SpectrumAnalyzerWidget::Erase);
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
    view.setToolMode(SpectrumAnalyzerWidget::Erase);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(plot.left() + 20, 100));
    view.setToolMode(SpectrumAnalyzerWidget::Select);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(plot.left() + 20, 100));
    EXPECT_EQ(changed.count(), 0);

    view.setToolMode(SpectrumAnalyzerWidget::Erase);
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
    view.setToolMode(SpectrumAnalyzerWidget::Erase);
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

// Live input grows the view's samples by one hop of settled input per column, the first column
// after a whole frame, and the playhead follows the newest column.
TEST_F(ShownView, LiveInputGrowsTheSamplesAHopPerColumnAndMovesThePlayhead)
{
    const QList<float> clip = tone(rate, rate, 300.0, 0.3);
    load(clip);
    view.setRecording(true);
    QList<float> input(2048 + 3 * 512);
    addNoise(input, 0.5f, 21);
    const auto playheadColumns = [this] {
        const QImage shot = view.grab().toImage();
        std::set<int> red;
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, 150) == qRgb(255, 80, 80))
                red.insert(x);
        return red;
    };
    struct Step
    {
        int feed;
        int columns;
    };
    int fed = 0;
    for (const Step step : {Step{2047, 0}, Step{1, 1}, Step{511, 1}, Step{1, 2}, Step{1024, 4}}) {
        SCOPED_TRACE(fed + step.feed);
        view.processAudioFrame(input.constData() + fed, step.feed);
        fed += step.feed;
        const QList<float> &grown = view.audioData();
        ASSERT_EQ(grown.size(), clip.size() + step.columns * 512);
        EXPECT_TRUE(std::equal(grown.begin() + clip.size(), grown.end(), input.begin()));
        EXPECT_TRUE(std::equal(clip.begin(), clip.end(), grown.begin()));
        // The live picture fills 512 columns across the plot, the playhead at the newest.
        const std::set<int> red = playheadColumns();
        if (step.columns == 0) {
            EXPECT_TRUE(red.empty());
        } else {
            ASSERT_FALSE(red.empty());
            EXPECT_TRUE(red.count(55 + step.columns * 740 / 512 - 1)) << *red.begin() << ".." << *red.rbegin();
            EXPECT_LE(*red.rbegin() - *red.begin(), 1);
        }
    }
}

// Frequency labels on a linear axis: each at its frequency's height, the highest below Nyquist
// first, and none closer than a text line to the one above (500Hz and 1k collide on short axes).
TEST(SpectrumFrequencyLabels, NeverOverlapAndSitAtTheirFrequency)
{
    constexpr int line = 13;
    const struct
    {
        int sampleRate;
        int height;
        std::vector<QString> expected;
    } rows[] = {
        {44100, 120, {"16k", "8k", "4k", "1k"}},
        {44100, 600, {"16k", "8k", "4k", "2k", "1k", "500Hz"}},
        {8000, 120, {"2k", "1k", "500Hz"}},
        {96000, 120, {"32k", "16k", "8k", "2k"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.sampleRate << " Hz, " << row.height << " px");
        SpectrumAnalyzerWidget view;
        view.setAudioData(QList<float>(row.sampleRate, 0.0f), row.sampleRate);
        const QRect half(55, 5, 700, row.height);
        const auto labels = SpectrumAnalyzerWidgetProbe::frequencyLabels(view, half, line);
        std::vector<QString> texts;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            texts.push_back(labels[i].text);
            const double hz = labels[i].text.endsWith("Hz") ? labels[i].text.chopped(2).toDouble()
                                                              : labels[i].text.chopped(1).toDouble() * 1000.0;
            // Within the pixel its single-precision placement rounds to.
            EXPECT_NEAR(labels[i].y, half.top() + half.height() * (1.0 - hz / (row.sampleRate / 2.0)), 1.5);
            if (i > 0) {
                EXPECT_GE(labels[i].y - labels[i - 1].y, line);
            }
        }
        EXPECT_EQ(texts, row.expected);
    }
}

TEST(SpectrumSettings, OnlyTheFixedFrameSizeAndWindowAreTaken)
{
    SpectrumAnalyzerWidget view;
    const struct
    {
        int size;
        bool taken;
    } sizes[] = {{2048, true}, {1025, true}, {1024, false}, {2049, false}, {4096, false}, {0, false}};
    for (const auto &row : sizes)
        EXPECT_EQ(view.setFFTSize(row.size), row.taken) << row.size;
    // Codes other than rectangular and Hamming name the Hann window.
    const struct
    {
        int type;
        bool taken;
    } windows[] = {{SpectrumAnalyzerWidget::Hann, true},
                   {7, true},
                   {SpectrumAnalyzerWidget::Rectangular, false},
                   {SpectrumAnalyzerWidget::Hamming, false}};
    for (const auto &row : windows)
        EXPECT_EQ(view.setWindowType(row.type), row.taken) << row.type;
}

namespace {

// Seconds a time label names: "12s", "1:05" (minutes may pass 59), "00.90" or "01.005".
double labelSeconds(const QString &text)
{
    if (text.endsWith('s'))
        return text.chopped(1).toInt();
    if (text.contains(':'))
        return text.section(':', 0, 0).toInt() * 60 + text.section(':', 1).toInt();
    return text.toDouble();
}

// A silent clip of `seconds` at `sampleRate` in a view of `width` x 300; labels need no STFT.
void showSilence(SpectrumAnalyzerWidget &view, double seconds, int sampleRate, int width)
{
    view.resize(width, 300);
    view.setAudioData(QList<float>(qsizetype(seconds * sampleRate), 0.0f), sampleRate);
}

} // namespace

TEST(SpectrumTimeLabels, NameExactMultiplesOfTheStepWhereverTheViewStarts)
{
    struct Case
    {
        double seconds;
        int sampleRate, width;
        double zoom, start, step;
        QString first, last;
        int count;
    };
    const Case cases[] = {
        {10, rate, 800, 8, 0.0, 0.1, "00.00", "01.20", 13},
        {10, rate, 800, 8, 3.7, 0.1, "03.70", "04.90", 13},
        {10, rate, 800, 64, 8.2, 0.05, "08.20", "08.35", 4},
        {10, rate, 800, 128, 1.11, 0.01, "01.11", "01.18", 8},
        {10, rate, 800, 512, 1.003, 0.005, "01.005", "01.020", 4},
        {10, rate, 300, 2, 2.5, 2, "4s", "6s", 2},
        {14 * 60, 1000, 800, 1, 0.0, 60, "0s", "13:00", 14},
        {3 * 3600, 100, 800, 1, 0.0, 1200, "0s", "160:00", 9},
        {30 * 3600, 10, 300, 1, 0.0, 7 * 3600, "0s", "1680:00", 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 s, width %2, zoom %3, start %4").arg(c.seconds).arg(c.width).arg(c.zoom).arg(c.start).toStdString());
        SpectrumAnalyzerWidget view;
        showSilence(view, c.seconds, c.sampleRate, c.width);
        view.setZoomLevel(c.zoom);
        view.setViewStartSec(c.start);
        const QRect plot = SpectrumAnalyzerWidgetProbe::plotRect(view);
        const double visible = c.seconds / c.zoom;
        const auto labels = SpectrumAnalyzerWidgetProbe::timeLabels(view);
        ASSERT_EQ(int(labels.size()), c.count);
        EXPECT_EQ(labels.front().text.toStdString(), c.first.toStdString());
        EXPECT_EQ(labels.back().text.toStdString(), c.last.toStdString());
        const long long firstIndex = std::llround(labelSeconds(c.first) / c.step);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            SCOPED_TRACE(labels[i].text.toStdString());
            const double t = double(firstIndex + qint64(i)) * c.step;
            EXPECT_NEAR(labelSeconds(labels[i].text), t, 1e-9);
            EXPECT_NEAR(labels[i].x, plot.left() + int(plot.width() * (t - c.start) / visible), 1);
        }
    }
}

// However long the clip and wide the view, labels stay at least 50 pixels apart.
TEST(SpectrumTimeLabels, StayFiftyPixelsApartForAnyLength)
{
    struct Length
    {
        double seconds;
        int sampleRate;
    };
    for (const Length length : {Length{1, rate}, Length{10, rate}, Length{14 * 60, 1000}, Length{3 * 3600, 100},
                                Length{30 * 3600, 10}}) {
        for (int width : {300, 800, 1920}) {
            SpectrumAnalyzerWidget view;
            showSilence(view, length.seconds, length.sampleRate, width);
            for (double zoom : {1.0, 8.0, 512.0}) {
                SCOPED_TRACE(QStringLiteral("%1 s, width %2, zoom %3").arg(length.seconds).arg(width).arg(zoom).toStdString());
                view.setZoomLevel(zoom);
                view.setViewStartSec(length.seconds / 3);
                const int plotWidth = SpectrumAnalyzerWidgetProbe::plotRect(view).width();
                const double visible = SpectrumAnalyzerWidgetProbe::visibleSpan(view);
                const auto labels = SpectrumAnalyzerWidgetProbe::timeLabels(view);
                EXPECT_LE(int(labels.size()), plotWidth / 50 + 1);
                for (std::size_t i = 1; i < labels.size(); ++i) {
                    const double gap = labelSeconds(labels[i].text) - labelSeconds(labels[i - 1].text);
                    EXPECT_GE(gap / visible * plotWidth, 50.0 - 1e-9) << labels[i].text.toStdString();
                    // Each x is truncated on its own, so whole pixels may lose one.
                    EXPECT_GE(labels[i].x - labels[i - 1].x, 49) << labels[i].text.toStdString();
                }
            }
        }
    }
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
    first.setToolMode(SpectrumAnalyzerWidget::Erase);
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
