// SPDX-License-Identifier: GPL-3.0-or-later
// The editor page without sound: mouse selection and Delete on long audio, undo and redo
// through the page's keys and through a window shortcut, stereo edits, the time label.
#include "AudioEditorPageProbe.h"
#include "ShownPage.h"

#include "video/widgets/VideoPlayerDialog.h"

#include <QAction>
#include <QKeySequence>
#include <QTest>
#include <QUndoStack>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

struct Range
{
    qsizetype start;
    qsizetype end;
};

// The frames a selection covers: whole frames from the earlier edge up to the later one.
Range selectedFrames(AudioEditorPage &page)
{
    WaveformWidget *view = AudioEditorPageProbe::waveform1(page);
    const double lo = std::min(view->getSelectionStart(), view->getSelectionEnd());
    const double hi = std::max(view->getSelectionStart(), view->getSelectionEnd());
    return {qsizetype(std::floor(lo * page.document().sampleRate())),
            std::min<qsizetype>(qsizetype(std::floor(hi * page.document().sampleRate())), page.document().samples().size())};
}

class EditorPage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(showPage(page));
        page.setFocus();
    }

    AudioEditorPage page;
};

TEST_F(EditorPage, TenMinuteFileDeletesTheMouseSelectionBitExactlyAndUndoesIt)
{
    const int rate = 44100;
    const QList<float> original = seededNoise(qsizetype(rate) * 600, 0.8f, 7);
    ASSERT_TRUE(page.loadAudioSamples(original, rate));

    dragSelection(page, 420, 700);
    ASSERT_TRUE(AudioEditorPageProbe::waveform1(page)->hasSelection());
    const Range range = selectedFrames(page);
    ASSERT_LT(range.start, range.end);
    ASSERT_GT(range.start, qsizetype(rate) * 60) << "the selection must lie deep in the file";

    QTest::keyClick(&page, Qt::Key_Delete);
    const QList<float> deleted = withoutRange(original, range.start, range.end);
    EXPECT_TRUE(sameBits(page.document().samples(), deleted));
    EXPECT_TRUE(page.document().stereoSamples().isEmpty());
    EXPECT_EQ(page.document().undoStack()->count(), 1);
    EXPECT_EQ(page.document().undoStack()->undoText(), QStringLiteral("删除选区"));
    EXPECT_FALSE(AudioEditorPageProbe::waveform1(page)->hasSelection());

    QTest::keyClick(&page, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(sameBits(page.document().samples(), original));
    QTest::keyClick(&page, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(sameBits(page.document().samples(), deleted));
    // Delete without a selection does nothing.
    QTest::keyClick(&page, Qt::Key_Delete);
    EXPECT_EQ(page.document().undoStack()->count(), 1);
}

TEST_F(EditorPage, StatusFollowsUndoAndRedoInsteadOfNamingTheUndoneEdit)
{
    ASSERT_TRUE(page.loadAudioSamples(seededNoise(20 * 1000, 0.5f, 5), 1000));
    dragSelection(page, 300, 500);
    QTest::keyClick(&page, Qt::Key_Delete);
    ASSERT_TRUE(AudioEditorPageProbe::status(page).startsWith(QStringLiteral("已删除选区 (")));

    const struct
    {
        Qt::KeyboardModifiers modifiers;
        const char *status;
        int index;
    } steps[] = {
        {Qt::ControlModifier, "已撤销: 删除选区", 0},
        {Qt::ControlModifier | Qt::ShiftModifier, "已重做: 删除选区", 1},
        {Qt::ControlModifier, "已撤销: 删除选区", 0},
        // Nothing left to undo: the status still tells the last step taken.
        {Qt::ControlModifier, "已撤销: 删除选区", 0},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.status);
        QTest::keyClick(&page, Qt::Key_Z, step.modifiers);
        EXPECT_EQ(page.document().undoStack()->index(), step.index);
        EXPECT_EQ(AudioEditorPageProbe::status(page), QString::fromUtf8(step.status));
    }
}

TEST(EditorPageInWindow, OneKeyPressIsOneUndoStepWhenTheWindowAlsoHoldsTheShortcut)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *page = new AudioEditorPage(&window);
    layout->addWidget(page);
    // What the main window's Edit menu does: undo on the page's stack, then refresh.
    auto *undo = new QAction(&window);
    undo->setShortcut(QKeySequence::Undo);
    QObject::connect(undo, &QAction::triggered, page, [page] {
        page->document().undo();
    });
    window.addAction(undo);
    window.resize(1200, 700);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    page->setFocus();

    const QList<float> original = seededNoise(8000, 0.5f, 3);
    page->loadAudioSamples(original, 1000);
    dragSelection(*page, 100, 200);
    QTest::keyClick(page, Qt::Key_Delete);
    dragSelection(*page, 300, 400);
    QTest::keyClick(page, Qt::Key_Delete);
    ASSERT_EQ(page->document().undoStack()->count(), 2);

    QTest::keyClick(page, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(page->document().undoStack()->index(), 1);
    QTest::keyClick(page, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(page->document().undoStack()->index(), 0);
    EXPECT_TRUE(sameBits(page->document().samples(), original));
}

TEST_F(EditorPage, StereoDeleteShortensBothListsByTheSameFramesAndUndoRestoresBoth)
{
    const int rate = 2000;
    const QList<float> interleaved = seededNoise(2 * 4 * rate, 0.9f, 11);
    ASSERT_TRUE(page.loadStereoAudioSamples(interleaved, rate));
    const QList<float> mono = page.document().samples();
    ASSERT_EQ(mono.size(), 4 * rate);

    dragSelection(page, 250, 600);
    const Range range = selectedFrames(page);
    ASSERT_LT(range.start, range.end);
    QTest::keyClick(&page, Qt::Key_Delete);

    EXPECT_TRUE(sameBits(page.document().samples(), withoutRange(mono, range.start, range.end)));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), withoutRange(interleaved, 2 * range.start, 2 * range.end)));
    EXPECT_EQ(page.document().stereoSamples().size(), 2 * page.document().samples().size());
    EXPECT_EQ(page.document().undoStack()->count(), 1);

    page.document().undoStack()->undo();
    EXPECT_TRUE(sameBits(page.document().samples(), mono));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), interleaved));
    page.document().undoStack()->redo();
    EXPECT_EQ(page.document().stereoSamples().size(), 2 * page.document().samples().size());
}

TEST_F(EditorPage, AnEraseRecomputesOnlyTheSpectrogramColumnsOverTheChangedFrames)
{
    const int rate = 44100;
    page.loadAudioSamples(seededNoise(3 * rate, 0.5f, 6), rate);
    page.onViewTabChanged(1);
    SpectrumAnalyzerWidget *view = AudioEditorPageProbe::spectrum1(page);
    ASSERT_TRUE(waitUntil([view] { return view->isSpectrumReady(); }, 60000));
    const quint64 runs = view->computationCount();
    // Bin 46 is 990 Hz; column 10 lies well before the box, column 129 at its middle.
    const auto level = [view](qsizetype column) { return view->spectrogramColumns().at(0).column(column)[46]; };
    const std::uint16_t before = level(10), inside = level(129);
    ASSERT_GT(inside, 20000);

    page.document().eraseSpectralBox({1.0, 2.0, 500.0f, 2000.0f}, {ClipChannel::Mono}, 1.0f);
    EXPECT_EQ(view->computationCount(), runs) << "the whole clip was transformed again";
    EXPECT_TRUE(view->isSpectrumReady());
    EXPECT_EQ(level(10), before);
    EXPECT_LT(level(129), inside / 2);
    EXPECT_TRUE(sameBits(view->audioData(), page.document().samples()));
}

TEST_F(EditorPage, ABrushStrokeOnTheLeftHalfErasesTheLeftChannelInOneUndoStep)
{
    const int rate = 44100;
    const QList<float> interleaved = seededNoise(2 * 3 * rate, 0.5f, 5);
    page.loadStereoAudioSamples(interleaved, rate);
    const QList<float> mono = page.document().samples();
    page.onViewTabChanged(1);
    page.onToolChanged(2);
    SpectrumAnalyzerWidget *view = AudioEditorPageProbe::spectrum1(page);
    const int width = view->width() - 60;
    const int upper = 5 + (view->height() - 30) / 4;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(55 + width / 3, upper));
    QTest::mouseMove(view, QPoint(55 + width / 2, upper));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(55 + width / 2, upper));

    EXPECT_EQ(page.document().undoStack()->count(), 1);
    EXPECT_EQ(page.document().undoStack()->undoText(), QStringLiteral("频谱擦除"));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("频谱擦除完成"));
    ASSERT_EQ(page.document().samples().size(), mono.size());
    ASSERT_EQ(page.document().stereoSamples().size(), interleaved.size());
    // The stroke spans a third to a half of the clip, plus the brush and one frame each side.
    const qsizetype first = qsizetype(3.0 * rate / 3) - 8 * 512 - 2048;
    const qsizetype end = qsizetype(3.0 * rate / 2) + 8 * 512 + 2048;
    bool leftChanged = false;
    for (qsizetype i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(page.document().stereoSamples()[2 * i + 1], interleaved[2 * i + 1]) << "right frame " << i;
        ASSERT_EQ(page.document().samples()[i], (page.document().stereoSamples()[2 * i] + page.document().stereoSamples()[2 * i + 1]) * 0.5f) << i;
        if (i < first || i >= end) {
            ASSERT_EQ(page.document().stereoSamples()[2 * i], interleaved[2 * i]) << "left frame " << i;
            ASSERT_EQ(page.document().samples()[i], mono[i]) << "mono frame " << i;
        }
        leftChanged = leftChanged || page.document().stereoSamples()[2 * i] != interleaved[2 * i];
    }
    EXPECT_TRUE(leftChanged);
    // The other spectrogram shows the erased audio too.
    EXPECT_TRUE(sameBits(AudioEditorPageProbe::spectrum2(page)->audioData(), page.document().samples()));

    page.document().undoStack()->undo();
    EXPECT_TRUE(sameBits(page.document().samples(), mono));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), interleaved));
}

TEST_F(EditorPage, TimeLabelShowsHoursMinutesSecondsAndMilliseconds)
{
    struct Row
    {
        int frames;
        int rate;
        const char *expected;
    };
    // Fast-forward without a selection goes to the end of the audio.
    const Row rows[] = {{181, 2, "00:01:30.500"}, {3600, 1, "01:00:00.000"}, {1, 1000, "00:00:00.001"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.expected);
        page.loadAudioSamples(QList<float>(row.frames, 0.1f), row.rate);
        page.onFastForwardClicked();
        EXPECT_EQ(AudioEditorPageProbe::time(page), QString::fromLatin1(row.expected));
    }
    page.onRewindClicked();
    EXPECT_EQ(AudioEditorPageProbe::time(page), QStringLiteral("00:00:00.000"));
}

TEST_F(EditorPage, ZoomAppliesToTheVisibleViewsWithinItsLimits)
{
    for (int i = 0; i < 5; ++i)
        page.onZoomIn();
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::zoom(page), 7.59375);
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::waveform1(page)->getZoomLevel(), 7.59375);
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::waveform2(page)->getZoomLevel(), 1.0);
    page.onViewTabChanged(2);
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::waveform2(page)->getZoomLevel(), 7.59375);

    for (int i = 0; i < 40; ++i)
        page.onZoomIn();
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::zoom(page), 512.0);
    page.onZoomFit();
    page.onZoomOut();
    EXPECT_DOUBLE_EQ(AudioEditorPageProbe::zoom(page), 1.0);
}

TEST_F(EditorPage, KeyETogglesBetweenEraseAndSelect)
{
    page.resize(2400, 700);  // wide enough that no toolbar widget moves into the overflow menu
    auto *select = page.findChild<QPushButton *>(QStringLiteral("toolSelectBtn"));
    auto *erase = page.findChild<QPushButton *>(QStringLiteral("toolEraseBtn"));
    auto *strength = page.findChild<QLabel *>(QStringLiteral("EraseStrengthLabel"));
    ASSERT_TRUE(select && erase && strength);
    EXPECT_FALSE(strength->isVisible());

    QTest::keyClick(&page, Qt::Key_E);
    EXPECT_TRUE(erase->isChecked());
    EXPECT_FALSE(select->isChecked());
    // The toolbar lays its widgets out on its next event.
    EXPECT_TRUE(waitUntil([&] { return strength->isVisible(); }, 2000));

    QTest::keyClick(&page, Qt::Key_E);
    EXPECT_TRUE(select->isChecked());
    EXPECT_TRUE(waitUntil([&] { return !strength->isVisible(); }, 2000));
}

TEST_F(EditorPage, ForgetsAVideoPreviewOnceItIsClosed)
{
    page.loadAudioSamples(QList<float>(2000, 0.1f), 1000);
    auto *preview = new VideoPlayerDialog(nullptr, &page);
    page.setVideoPlayerDialog(preview);
    preview->show();
    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Both would reach a preview that is still held (caught by the address sanitizer).
    page.onFastForwardClicked();
    page.onStopClicked();
    EXPECT_EQ(AudioEditorPageProbe::time(page), QStringLiteral("00:00:00.000"));
}

// The columns of `view` at row `y` painted in `colour`.
std::set<int> columnsOf(QWidget *view, int y, QRgb colour)
{
    const QImage shot = view->grab().toImage();
    std::set<int> found;
    for (int x = 0; x < shot.width(); ++x)
        if (shot.pixel(x, y) == colour)
            found.insert(x);
    return found;
}

// In the combined view a click in either view puts both playheads at the clicked x: the
// waveform and the spectrogram under it share one time axis, at every zoom.
TEST_F(EditorPage, TheCombinedViewsShareOneTimeAxis)
{
    page.loadAudioSamples(seededNoise(10 * 44100, 0.5f, 3), 44100);
    page.onViewTabChanged(2);
    WaveformWidget *waveform = AudioEditorPageProbe::waveform2(page);
    SpectrumAnalyzerWidget *spectrogram = AudioEditorPageProbe::spectrum2(page);
    ASSERT_TRUE(waitUntil([&] { return waveform->isVisible() && spectrogram->isVisible(); }, 2000));
    ASSERT_EQ(waveform->x(), spectrogram->x());
    ASSERT_EQ(waveform->width(), spectrogram->width());
    const int right = spectrogram->width() - 6;
    struct Row
    {
        bool onWaveform;
        int x;
        int zoomSteps;
    };
    for (const Row row : {Row{true, 55, 0}, Row{true, 400, 0}, Row{false, 700, 0}, Row{false, right, 0},
                          Row{true, 300, 3}, Row{false, 900, 3}}) {
        SCOPED_TRACE(testing::Message() << (row.onWaveform ? "waveform" : "spectrogram") << " x " << row.x);
        page.onZoomFit();
        for (int i = 0; i < row.zoomSteps; ++i)
            page.onZoomIn();
        QWidget *target = row.onWaveform ? static_cast<QWidget *>(waveform) : spectrogram;
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(row.x, target->height() / 3));
        const std::set<int> white = columnsOf(waveform, waveform->height() / 4, qRgb(255, 255, 255));
        const std::set<int> red = columnsOf(spectrogram, spectrogram->height() / 4, qRgb(255, 80, 80));
        ASSERT_FALSE(white.empty());
        ASSERT_FALSE(red.empty());
        EXPECT_LE(std::abs(*white.begin() - row.x), 1) << *white.begin();
        EXPECT_LE(std::abs(*red.begin() - row.x), 1) << *red.begin();
    }
}

TEST_F(EditorPage, NothingToPlayIsSaidWithoutStartingTheEngine)
{
    page.onPlayPauseClicked();
    EXPECT_FALSE(AudioEditorPageProbe::isPlaying(page));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("没有音频数据"));
}

} // namespace
