// SPDX-License-Identifier: GPL-3.0-or-later
// Drawn column heights against a brute-force scan of the samples each column stands for,
// on a clip of quiet material with single-sample spikes, across zooms and view starts.
#include "editor/WaveformWidget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int viewWidth = 300;
constexpr int viewHeight = 200;
constexpr int rate = 44100;
constexpr qint64 frames = qint64(1) << 20;
// The stereo labels are drawn over the first columns of each lane.
constexpr int labelColumns = 16;

// The floor stays well away from each lane's centre line, so every column end is a
// waveform pixel, and the spikes (some beyond full scale) are single samples.
std::vector<float> spikyChannel(unsigned seed, float floor)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::uniform_real_distribution<float> magnitude(0.6f, 0.9f);
    std::vector<float> samples(frames);
    for (auto &v : samples)
        v = floor + noise(rng);
    for (int i = 0; i < 600; ++i)
        samples[rng() % frames] = (rng() % 2 ? 1.0f : -1.0f) * magnitude(rng);
    samples[frames / 2 + 1] = -1.3f;
    samples[frames / 5] = 1.2f;
    samples[frames - 1] = -0.8f;
    return samples;
}

struct Fixture
{
    std::vector<float> mono = spikyChannel(1, 0.3f);
    std::vector<float> left = spikyChannel(2, 0.3f);
    std::vector<float> right = spikyChannel(3, -0.3f);

    QList<float> monoList() const { return QList<float>(mono.begin(), mono.end()); }
    QList<float> interleaved() const
    {
        QList<float> out;
        out.reserve(2 * frames + 1);
        for (qint64 i = 0; i < frames; ++i)
            out << left[i] << right[i];
        out << 1.0f; // an odd trailing value is not a frame
        return out;
    }
};

const Fixture &fixture()
{
    static const Fixture f;
    return f;
}

struct Range
{
    qint64 a;
    qint64 b;
};

// The samples a column stands for: above 64 samples per pixel the visible samples are split
// evenly between the columns; below it each column starts at its own time and covers one
// pixel's worth plus one sample.
std::vector<Range> columnRanges(qint64 n, double zoom, double viewStart)
{
    const double span = double(n) / rate / zoom;
    const double samplesPerPixel = double(n) / (zoom * viewWidth);
    std::vector<Range> ranges;
    if (samplesPerPixel < 64.0) {
        for (int i = 0; i < viewWidth; ++i) {
            const qint64 s0 = qint64((viewStart + double(i) / viewWidth * span) * rate);
            const qint64 a = std::min(s0, n - 1);
            ranges.push_back({a, std::max(std::min(s0 + qint64(samplesPerPixel) + 1, n), a + 1)});
        }
        return ranges;
    }
    const qint64 start = std::min(qint64(viewStart * rate), n - 1);
    const qint64 end = std::min(start + qint64(span * rate), n);
    const qint64 count = end - start;
    for (int i = 0; i < viewWidth; ++i) {
        const qint64 a = start + qint64(double(i) / viewWidth * count);
        const qint64 b = start + qint64(double(i + 1) / viewWidth * count);
        ranges.push_back({a, std::max(b, a + 1)});
    }
    return ranges;
}

struct Lane
{
    const std::vector<float> *source;
    int top;
    int bottom;
    int centre;
    int halfHeight;
};

bool isWaveformPixel(QRgb pixel)
{
    return pixel == qRgb(0x00, 0xf2, 0xff) || pixel == qRgb(0xff, 0x00, 0x55);
}

// Counts columns whose drawn top or bottom is more than a pixel from the brute-force
// extremes; `firstFailure` describes the first one.
int mismatchedColumns(const QImage &image, const Lane &lane, const std::vector<Range> &ranges,
                      int firstColumn, std::string &firstFailure)
{
    const auto expectedY = [&](float v) {
        const double y = lane.centre - double(std::clamp(v, -1.0f, 1.0f)) * lane.halfHeight;
        return std::clamp(y, double(lane.top), double(lane.bottom));
    };
    int mismatches = 0;
    for (int x = firstColumn; x < viewWidth; ++x) {
        float lo = 1.0f;
        float hi = -1.0f;
        for (qint64 s = ranges[x].a; s < ranges[x].b; ++s) {
            lo = std::min(lo, (*lane.source)[s]);
            hi = std::max(hi, (*lane.source)[s]);
        }
        int top = -1;
        int bottom = -1;
        for (int y = lane.top; y <= lane.bottom; ++y) {
            if (isWaveformPixel(image.pixel(x, y))) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
        }
        const bool ok = top >= 0 && std::abs(top - expectedY(hi)) <= 1.5 && std::abs(bottom - expectedY(lo)) <= 1.5;
        if (!ok && mismatches++ == 0) {
            firstFailure = "column " + std::to_string(x) + " samples " + std::to_string(ranges[x].a) + ".."
                + std::to_string(ranges[x].b) + " drawn " + std::to_string(top) + ".." + std::to_string(bottom)
                + " expected " + std::to_string(expectedY(hi)) + ".." + std::to_string(expectedY(lo));
        }
    }
    return mismatches;
}

// The lanes of a view at `zoom`: one of `first` for mono data, `first` over `right` for stereo.
std::vector<Lane> lanesAt(double zoom, const std::vector<float> *first, const std::vector<float> *right = nullptr)
{
    const int areaBottom = zoom > 1.0 ? viewHeight - 19 : viewHeight - 1;
    const int h = areaBottom + 1;
    const int midY = h / 2;
    if (!right)
        return {{first, 0, areaBottom, midY, h / 2}};
    const int lowerHeight = areaBottom - midY + 1;
    return {{first, 0, midY - 1, (h / 2) / 2, (h / 2) / 2},
            {right, midY, areaBottom, midY + lowerHeight / 2, lowerHeight / 2}};
}

// Checks every lane of what the view shows now against the samples its columns stand for.
void expectTrueColumns(WaveformWidget &widget, const std::vector<Lane> &lanes)
{
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.width(), viewWidth);
    const auto ranges = columnRanges(frames, widget.getZoomLevel(), widget.getViewStartSec());
    for (const Lane &lane : lanes) {
        std::string firstFailure;
        EXPECT_EQ(mismatchedColumns(image, lane, ranges, lanes.size() > 1 ? labelColumns : 0, firstFailure), 0)
            << "lane from row " << lane.top << ": " << firstFailure;
    }
}

// Shows a view with its playhead out of sight at the end, so every column is drawn
// in the played colour.
void showForColumns(WaveformWidget &widget)
{
    widget.resize(viewWidth, viewHeight);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.setPlayheadColor(Qt::transparent);
    widget.setPlayheadPosition(1.0e9);
}

// Peak summaries handed to the view with the lists, as an import hands over the ones built
// while decoding: a view must draw from them, or ignore them when they do not fit the lists.
enum class Given
{
    Nothing,
    FittingSummaries,
    SummariesOfHalfTheClip,
};

struct ColumnCase
{
    bool stereo;
    double zoom;
    Given given = Given::Nothing;
};

const char *nameOf(Given given)
{
    switch (given) {
    case Given::Nothing:
        return "";
    case Given::FittingSummaries:
        return "GivenSummaries";
    case Given::SummariesOfHalfTheClip:
        return "GivenSummariesOfHalf";
    }
    return "";
}

std::vector<PeakSummary> summariesToGive(const ColumnCase &c, const QList<float> &mono, const QList<float> &interleaved)
{
    if (c.given == Given::Nothing)
        return {};
    const auto length = std::size_t(c.given == Given::FittingSummaries ? frames : frames / 2);
    std::vector<PeakSummary> summaries(c.stereo ? 2 : 1);
    std::vector<PeakSummary *> pointers;
    std::vector<SampleChannel> channels;
    for (std::size_t channel = 0; channel < summaries.size(); ++channel) {
        pointers.push_back(&summaries[channel]);
        channels.push_back(c.stereo ? SampleChannel({interleaved.constData(), 2 * length}, channel, 2)
                                    : SampleChannel({mono.constData(), length}));
    }
    PeakSummary::updateChannels(pointers, channels);
    return summaries;
}

class WaveformColumns : public testing::TestWithParam<ColumnCase>
{
};

TEST_P(WaveformColumns, EveryColumnShowsTheTrueExtremesOfItsSamples)
{
    const Fixture &f = fixture();
    const ColumnCase c = GetParam();
    WaveformWidget widget;
    const QList<float> mono = f.monoList();
    const QList<float> interleaved = c.stereo ? f.interleaved() : QList<float>();
    widget.setAudioData(mono, rate, interleaved, summariesToGive(c, mono, interleaved));
    showForColumns(widget);
    widget.setZoomLevel(c.zoom);

    const double duration = double(frames) / rate;
    const double span = duration / c.zoom;
    const double onePixel = span / viewWidth;
    const auto lanes = c.stereo ? lanesAt(c.zoom, &f.left, &f.right) : lanesAt(c.zoom, &f.mono);
    for (double fraction : {0.0, 0.37, 1.0}) {
        for (int shift : {-1, 0, 1}) {
            widget.setViewStartSec(fraction * (duration - span) + shift * onePixel);
            SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " view start " << widget.getViewStartSec());
            expectTrueColumns(widget, lanes);
        }
    }
}

std::vector<ColumnCase> columnCases()
{
    std::vector<ColumnCase> cases;
    for (int k = 0; k <= 15; ++k)
        cases.push_back({false, std::pow(1.5, k)});
    cases.push_back({false, 512.0});
    for (double zoom : {1.0, std::pow(1.5, 6), std::pow(1.5, 12), 512.0})
        cases.push_back({true, zoom});
    for (bool stereo : {false, true})
        for (double zoom : {1.0, std::pow(1.5, 12)})
            for (Given given : {Given::FittingSummaries, Given::SummariesOfHalfTheClip})
                cases.push_back({stereo, zoom, given});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ZoomsAndLanes, WaveformColumns, testing::ValuesIn(columnCases()),
                         [](const testing::TestParamInfo<ColumnCase> &info) {
                             return std::string(info.param.stereo ? "Stereo" : "Mono") + "Zoom"
                                 + std::to_string(int(std::lround(info.param.zoom * 100)))
                                 + nameOf(info.param.given);
                         });

// Views handed the same lists share what they draw. A view then handed an edited copy must
// draw the edit, and the other view must keep drawing the lists it was given; a clip built
// in the storage of one no view holds any more must not show the old one.
TEST(WaveformSharing, EditedCopiesAreDrawnAndTheOtherViewKeepsItsLists)
{
    const Fixture &f = fixture();
    const QList<float> mono = f.monoList();
    const QList<float> original = f.interleaved();
    WaveformWidget edited;
    WaveformWidget kept;
    for (WaveformWidget *view : {&edited, &kept}) {
        view->setAudioData(mono, rate, original);
        showForColumns(*view);
    }

    // A loud stretch at a third of the clip in one channel, long enough to fill whole
    // summary blocks.
    struct Edit
    {
        QList<float> stereo;
        std::vector<float> left;
        std::vector<float> right;
    };
    const auto loudStretch = [&](const QList<float> &from, std::size_t channel, float value) {
        Edit edit{from, f.left, f.right};
        std::vector<float> &lane = channel == 0 ? edit.left : edit.right;
        for (qint64 i = frames / 3; i < frames / 3 + 20000; ++i)
            edit.stereo[2 * i + channel] = lane[i] = value;
        return edit;
    };
    const auto expectDrawn = [](WaveformWidget &view, const Edit &shown) {
        for (double zoom : {1.0, 32.0}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom);
            view.setZoomLevel(zoom);
            view.setViewStartSec(double(frames) / 3 / rate);
            expectTrueColumns(view, lanesAt(zoom, &shown.left, &shown.right));
        }
    };

    const Edit first = loudStretch(original, 0, -0.95f);
    edited.setAudioData(mono, rate, first.stereo);
    expectDrawn(edited, first);
    expectDrawn(kept, {original, f.left, f.right});

    // The original lists go with the last view holding them, and the next edit reuses their storage.
    kept.setAudioData(mono, rate, first.stereo);
    const Edit second = loudStretch(original, 1, 0.95f);
    edited.setAudioData(mono, rate, second.stereo);
    expectDrawn(edited, second);
    expectDrawn(kept, first);
}

// A hidden view leaves its columns until it is drawn; shown again, it draws the data and the
// view it was given meanwhile, not the columns it had when it was hidden.
TEST(HiddenWaveform, DrawsWhatItWasGivenWhileHidden)
{
    const Fixture &f = fixture();
    WaveformWidget view;
    view.setAudioData(f.monoList(), rate);
    showForColumns(view);
    expectTrueColumns(view, lanesAt(1.0, &f.mono));

    view.hide();
    view.setAudioData(f.monoList(), rate, f.interleaved());
    view.setZoomLevel(32.0);
    view.setViewStartSec(double(frames) / 3 / rate);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    expectTrueColumns(view, lanesAt(32.0, &f.left, &f.right));
}

} // namespace
