// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's view: zoom about an anchor and its limits, the scroll bar, the time
// label, the tool buttons and the page's keys.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackRowWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kViewportWidth = 1000;

class MultiTrackView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        page->resize(188 + kViewportWidth, 700);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
        ASSERT_EQ(page->laneScrollArea->viewport()->width(), kViewportWidth);
        page->updateRuler();
    }

    // The timeline time under viewport column x.
    double timeAt(int x) const { return page->viewStartSec + x / (100.0 * page->zoom); }

    void sendWheel(QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers, int x = 300)
    {
        QWheelEvent event(QPointF(x, 40), QPointF(x, 40), pixelDelta, angleDelta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(page->laneScrollArea->viewport(), &event);
    }

    ProjectDocument document;  // outlives the page

    std::unique_ptr<MultiTrackEditorPage> page;
};

TEST_F(MultiTrackView, ZoomKeepsTheTimeUnderTheAnchor)
{
    const struct
    {
        double zoom;
        double viewStart;
        double factor;
        int anchor;
    } cases[] = {
        {1.0, 10.0, 1.15, 400},  {1.0, 10.0, 1 / 1.15, 400}, {3.7, 123.4, 2.5, 999},
        {40.0, 250.0, 0.3, 1},   {200.0, 37.7, 1.9, 512},    {0.5, 3.0, 0.5, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " x" << c.factor << " at " << c.anchor);
        page->zoom = c.zoom;
        page->viewStartSec = c.viewStart;
        const double anchored = timeAt(c.anchor);
        page->applyZoom(c.zoom * c.factor, c.anchor);
        EXPECT_DOUBLE_EQ(page->zoom, c.zoom * c.factor);
        EXPECT_NEAR(timeAt(c.anchor), anchored, 1e-9);
        EXPECT_EQ(page->hScrollBar->value(), int(1000 * page->viewStartSec));
    }
}

TEST_F(MultiTrackView, ZoomingOutStopsTheViewStartAtZero)
{
    page->zoom = 4.0;
    page->viewStartSec = 0.5;
    page->applyZoom(1.0, 800);
    EXPECT_EQ(page->viewStartSec, 0.0);
    EXPECT_EQ(page->zoom, 1.0);
}

TEST_F(MultiTrackView, ZoomIsClampedAt512AndAtTheWholeProject)
{
    page->zoom = 500.0;
    page->viewStartSec = 20.0;
    page->applyZoom(500.0 * 1.15, 300);
    EXPECT_EQ(page->zoom, 512.0);
    const double viewStart = page->viewStartSec;
    page->applyZoom(512.0 * 1.15, 300);
    EXPECT_EQ(page->zoom, 512.0);
    EXPECT_EQ(page->viewStartSec, viewStart) << "a zoom that changes nothing does not move the view";

    // A 300 s project (the shortest there is) fits 1000 pixels at zoom 1000 / 30000.
    page->applyZoom(1e-6, 0);
    EXPECT_DOUBLE_EQ(page->zoom, kViewportWidth / (100.0 * 300.0));
    EXPECT_EQ(page->hScrollBar->maximum(), 0) << "the whole project is visible";

    // A project of 500 s: the lower bound follows its length.
    page->addTrack(TrackType::Audio, {}, 44100, QString(), {});
    page->document().tracks[0].audioClips.push_back(AudioClip{QList<float>(100, 0.0f), {}, 100, 499.0});
    page->applyZoom(1e-6, 0);
    EXPECT_DOUBLE_EQ(page->zoom, kViewportWidth / (100.0 * 500.0));
    // Beyond 100000 s the fit would fall below 0.01, which stays the floor.
    page->document().tracks[0].audioClips[0].start = 200000.0;
    page->applyZoom(1e-6, 0);
    EXPECT_DOUBLE_EQ(page->zoom, 0.01);
}

TEST_F(MultiTrackView, TheScrollBarCoversTheProjectInVisibleSpans)
{
    page->zoom = 1.0;
    page->updateRuler();
    EXPECT_EQ(page->hScrollBar->pageStep(), 10000);
    EXPECT_EQ(page->hScrollBar->singleStep(), 1000);
    EXPECT_EQ(page->hScrollBar->minimum(), 0);
    EXPECT_EQ(page->hScrollBar->maximum(), 290000);

    page->addTrack(TrackType::Audio, {}, 44100, QString(), {});
    page->hScrollBar->setValue(12345);
    EXPECT_DOUBLE_EQ(page->viewStartSec, 12.345);
    ClipLaneWidget *lane = page->trackRows[0]->lane();
    EXPECT_EQ(lane->secondsToX(13.345), 100) << "the lane follows the scroll bar";
}

TEST_F(MultiTrackView, WheelZoomsWithCtrlOrFromATouchpadOnly)
{
    const struct
    {
        const char *name;
        QPoint pixel;
        QPoint angle;
        Qt::KeyboardModifiers modifiers;
        double factor;  // 1: no zoom
    } cases[] = {
        {"plain mouse wheel scrolls", {}, {0, 120}, Qt::NoModifier, 1.0},
        {"ctrl + wheel up zooms in", {}, {0, 120}, Qt::ControlModifier, 1.15},
        {"ctrl + wheel down zooms out", {}, {0, -120}, Qt::ControlModifier, 1 / 1.15},
        {"touchpad scroll zooms", {0, 6}, {0, 12}, Qt::NoModifier, 1.15},
        {"touchpad scroll down zooms out", {0, -6}, {0, -12}, Qt::NoModifier, 1 / 1.15},
        {"pixel delta with a mouse notch scrolls", {0, 6}, {0, 120}, Qt::NoModifier, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        page->zoom = 2.0;
        page->viewStartSec = 0.0;
        sendWheel(c.pixel, c.angle, c.modifiers);
        EXPECT_DOUBLE_EQ(page->zoom, 2.0 * c.factor);
    }
}

TEST_F(MultiTrackView, TimeLabelShowsClockOrBars)
{
    const struct
    {
        int mode;
        double bpm;
        double seconds;
        const char *text;
    } cases[] = {
        {0, 120, 3661.5, "01:01:01.500"},
        {0, 120, 0.0, "00:00:00.000"},
        {0, 120, 59.999, "00:00:59.999"},
        {1, 120, 2.25, "第 2.1 小节  50拍"},
        {1, 97, 10.0, "第 5.1 小节  16拍"},
        {1, 60, 0.05, "第 1.1 小节  05拍"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        page->rulerModeCombo->setCurrentIndex(c.mode);
        page->bpmSpinBox->setValue(c.bpm);
        page->updateTimeLabel(c.seconds);
        EXPECT_EQ(page->timeLabel->text(), QString::fromUtf8(c.text));
    }
    EXPECT_FALSE(page->bpmSpinBox->isHidden()) << "the tempo box shows in bars mode";
    page->rulerModeCombo->setCurrentIndex(0);
    EXPECT_TRUE(page->bpmSpinBox->isHidden());
}

TEST_F(MultiTrackView, ToolButtonsSetEveryLaneAndToggleBackToNone)
{
    page->addTrack(TrackType::Audio, {}, 44100, QString(), {});
    page->addMidiTrack(QString(), {}, 1.0);
    page->scissorButton->click();
    EXPECT_EQ(page->toolMode, MultiTrackEditorPage::Scissor);
    EXPECT_TRUE(page->scissorButton->styleSheet().contains(QStringLiteral("#2a82da")));
    page->moveButton->click();
    EXPECT_EQ(page->toolMode, MultiTrackEditorPage::Move);
    EXPECT_FALSE(page->scissorButton->styleSheet().contains(QStringLiteral("#2a82da")));
    page->moveButton->click();
    EXPECT_EQ(page->toolMode, MultiTrackEditorPage::None);

    // A new row takes the current tool, snap and tempo.
    page->scissorButton->click();
    page->addTrack(TrackType::Audio, {}, 44100, QString(), {});
    QTest::mouseClick(page->trackRows[2]->lane(), Qt::LeftButton, {}, QPoint(500, 60));
    EXPECT_DOUBLE_EQ(page->trackRows[2]->lane()->playheadPosition(), 5.0)
        << "a scissor click beside every clip moves the playhead";

    page->envelopeButton->click();
    for (const TrackData &track : page->document().tracks)
        EXPECT_TRUE(track.envelopeEnabled);
    page->envelopeButton->click();
    for (const TrackData &track : page->document().tracks)
        EXPECT_TRUE(track.envelopeEnabled) << "turning the view off keeps the envelopes on";
}

TEST_F(MultiTrackView, KeysToggleSnapRemoveTheSelectedTrackAndUndo)
{
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("a"), {});
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("b"), {});
    page->setFocus();

    QTest::keyClick(page.get(), Qt::Key_J);
    EXPECT_TRUE(page->snapEnabled);
    EXPECT_TRUE(page->snapButton->isChecked());
    EXPECT_TRUE(page->snapButton->styleSheet().contains(QStringLiteral("#2a82da")));
    QTest::keyClick(page.get(), Qt::Key_J, Qt::ShiftModifier);
    EXPECT_TRUE(page->snapEnabled) << "J with a modifier is not the snap key";
    QTest::keyClick(page.get(), Qt::Key_J);
    EXPECT_FALSE(page->snapEnabled);

    QTest::keyClick(page.get(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(page->document().tracks.size(), 2u) << "no track is selected";
    page->trackRows[0]->lane()->setFocus();
    QTest::mouseClick(page->trackRows[0]->lane(), Qt::LeftButton, {}, QPoint(10, 60));
    EXPECT_EQ(page->selectedTrack, 0);
    page->setFocus();
    QTest::keyClick(page.get(), Qt::Key_Delete);
    EXPECT_EQ(page->document().tracks.size(), 2u) << "Delete alone keeps the track";
    QTest::keyClick(page.get(), Qt::Key_Backspace, Qt::ShiftModifier);
    ASSERT_EQ(page->document().tracks.size(), 1u);
    EXPECT_EQ(page->document().tracks[0].name, QStringLiteral("b"));
    EXPECT_EQ(page->selectedTrack, -1);

    const QKeyCombination undo = QKeySequence(QKeySequence::Undo)[0];
    const QKeyCombination redo = QKeySequence(QKeySequence::Redo)[0];
    QTest::keyClick(page.get(), undo.key(), undo.keyboardModifiers());
    ASSERT_EQ(page->document().tracks.size(), 2u);
    EXPECT_EQ(page->document().tracks[0].name, QStringLiteral("a"));
    EXPECT_EQ(page->trackRows[0]->track, &page->document().tracks[0]);
    QTest::keyClick(page.get(), redo.key(), redo.keyboardModifiers());
    ASSERT_EQ(page->document().tracks.size(), 1u);
    EXPECT_EQ(page->trackRows[0]->track, &page->document().tracks[0]);
}

TEST_F(MultiTrackView, ShiftDeleteOnTheSelectedRowRemovesItsTrackAfterItsHandler)
{
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("a"), {});
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("b"), {});
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("c"), {});
    QTest::mouseClick(page->trackRows[1]->lane(), Qt::LeftButton, {}, QPoint(10, 60));
    TrackRowWidget *row = page->trackRows[1];
    ASSERT_TRUE(row->hasFocus()) << "the selected row takes the keyboard focus";
    QTest::keyClick(row, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(page->document().tracks.size(), 3u) << "the row is not removed inside its own handler";
    QApplication::processEvents();
    ASSERT_EQ(page->document().tracks.size(), 2u);
    EXPECT_EQ(page->document().tracks[1].name, QStringLiteral("c"));
    EXPECT_EQ(page->trackRows[1]->trackIndex, 1);
}

} // namespace
