// SPDX-License-Identifier: GPL-3.0-or-later
// The track header: its fresh state, volume conversion, button states and instrument list.
#include "multitrack/TrackHeaderWidget.h"

#include "multitrack/TrackRowWidget.h"
#include "project/TrackData.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace {

const QString kOff =
    "background: #2a2a3a; color: #8888aa; border: 1px solid #3a3a50; border-radius: 4px; "
    "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;";
const QString kVst3Off =
    "background: #2a2a3a; color: #6ab0ff; border: 1px solid #3a3a50; border-radius: 4px; "
    "font-size: 10px; font-weight: bold; padding: 0 4px; min-height: 0;";
const QString kVst3On =
    "background: #2a82da; color: white; border: 1px solid #2a82da; border-radius: 4px; "
    "font-size: 10px; font-weight: bold; padding: 0 4px; min-height: 0;";

TEST(TrackHeaderWidget, FreshHeader)
{
    TrackHeaderWidget header;
    EXPECT_EQ(header.size(), QSize(180, 120));
    EXPECT_EQ(header.styleSheet(), "* { background: #1c1c28; } TrackHeaderWidget { border-top: 1px solid #2a2a3a; "
                                   "border-bottom: 1px solid #2a2a3a; border-left: 3px solid transparent; }");
    EXPECT_EQ(header.name(), "轨道");
    EXPECT_EQ(header.volumeSlider->minimum(), 0);
    EXPECT_EQ(header.volumeSlider->maximum(), 150);
    EXPECT_EQ(header.volumeSlider->value(), 80);
    EXPECT_EQ(header.volumeLabel->text(), "80");
    EXPECT_EQ(header.colorStrip->size(), QSize(4, 20));
    for (QPushButton *button : {header.armButton, header.muteButton, header.soloButton}) {
        SCOPED_TRACE(button->text().toStdString());
        EXPECT_TRUE(button->isCheckable());
        EXPECT_FALSE(button->isChecked());
        EXPECT_EQ(button->size(), QSize(36, 24));
        EXPECT_EQ(button->styleSheet(), kOff);
    }
    EXPECT_EQ(header.armButton->toolTip(), "准备录制");
    EXPECT_FALSE(header.armed || header.muted || header.solo);
    EXPECT_TRUE(header.instrumentCombo->isHidden());
    EXPECT_TRUE(header.vst3Button->isHidden());
    EXPECT_TRUE(header.videoButton->isHidden());
    EXPECT_EQ(header.vst3Button->text(), "VST3");
    EXPECT_EQ(header.vst3Button->toolTip(), "打开/关闭 VST3 插件编辑器");
    EXPECT_EQ(header.vst3Button->styleSheet(), kVst3Off);
    EXPECT_EQ(header.videoButton->text(), "VID");
    EXPECT_FALSE(header.videoButton->isCheckable());
    EXPECT_EQ(header.videoButton->toolTip(), "打开视频预览");
}

TEST(TrackHeaderWidget, VolumeIsTruncatedSinglePrecisionPercentage)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float volume;
        int shown;
    } const cases[] = {{0.8f, 80},  {2.0f, 150}, {-1.0f, 0}, {0.809f, 80}, {0.53f, 52},
                       {1.5f, 150}, {0.0f, 0},   {nan, 0},   {inf, 150},   {-inf, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.volume);
        TrackHeaderWidget header;
        QSignalSpy volume(&header, &TrackHeaderWidget::volumeChanged);
        header.setVolume(c.volume);
        EXPECT_EQ(header.volumeSlider->value(), c.shown);
        EXPECT_EQ(header.volumeLabel->text(), QString::number(c.shown));
        if (c.shown == 80) {
            EXPECT_EQ(volume.count(), 0);  // unchanged from the fresh 80
        } else {
            ASSERT_EQ(volume.count(), 1);
            EXPECT_EQ(volume.at(0).at(0).toFloat(), float(c.shown) / 100.0f);
        }
    }
}

TEST(TrackHeaderWidget, SliderEmitsFractionalGain)
{
    TrackHeaderWidget header;
    QSignalSpy volume(&header, &TrackHeaderWidget::volumeChanged);
    header.volumeSlider->setValue(52);
    ASSERT_EQ(volume.count(), 1);
    EXPECT_FLOAT_EQ(volume.at(0).at(0).toFloat(), 0.52f);
    EXPECT_EQ(header.volumeLabel->text(), "52");
}

TEST(TrackHeaderWidget, StateButtons)
{
    struct Case
    {
        const char *name;
        void (TrackHeaderWidget::*set)(bool);
        void (TrackHeaderWidget::*signal)(bool);
        QPushButton *TrackHeaderWidget::*button;
        bool TrackHeaderWidget::*state;
        QString onStyle;
    } const cases[] = {
        {"arm", &TrackHeaderWidget::setArmed, &TrackHeaderWidget::armToggled,
         &TrackHeaderWidget::armButton, &TrackHeaderWidget::armed,
         "background: #ff2222; color: white; border: 1px solid #ff2222; border-radius: 4px; "
         "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;"},
        {"mute", &TrackHeaderWidget::setMuted, &TrackHeaderWidget::muteToggled,
         &TrackHeaderWidget::muteButton, &TrackHeaderWidget::muted,
         "background: #ff0055; color: white; border: 1px solid #ff0055; border-radius: 4px; "
         "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;"},
        {"solo", &TrackHeaderWidget::setSolo, &TrackHeaderWidget::soloToggled,
         &TrackHeaderWidget::soloButton, &TrackHeaderWidget::solo,
         "background: #ffcc00; color: #1a1a2a; border: 1px solid #ffcc00; border-radius: 4px; "
         "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TrackHeaderWidget header;
        QPushButton *button = header.*c.button;
        QSignalSpy spy(&header, c.signal);

        (header.*c.set)(true);
        (header.*c.set)(true);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_TRUE(spy.at(0).at(0).toBool());
        EXPECT_TRUE(header.*c.state);
        EXPECT_EQ(button->styleSheet(), c.onStyle);

        button->click();  // the user's toggle takes the same path
        ASSERT_EQ(spy.count(), 2);
        EXPECT_FALSE(spy.at(1).at(0).toBool());
        EXPECT_FALSE(header.*c.state);
        EXPECT_EQ(button->styleSheet(), kOff);

        // Silenced, the button still follows its state.
        header.blockSignals(true);
        (header.*c.set)(true);
        header.blockSignals(false);
        EXPECT_EQ(spy.count(), 2);
        EXPECT_TRUE(header.*c.state);
        EXPECT_EQ(button->styleSheet(), c.onStyle);
    }
}

TEST(TrackHeaderWidget, Vst3AndVideoButtons)
{
    TrackHeaderWidget header;
    QSignalSpy vst3(&header, &TrackHeaderWidget::vst3EditorToggled);
    QSignalSpy video(&header, &TrackHeaderWidget::videoButtonClicked);

    header.setVst3ButtonChecked(true);
    header.setVst3ButtonChecked(true);
    EXPECT_EQ(vst3.count(), 1);
    EXPECT_EQ(header.vst3Button->styleSheet(), kVst3On);
    header.vst3Button->click();
    ASSERT_EQ(vst3.count(), 2);
    EXPECT_FALSE(vst3.at(1).at(0).toBool());
    EXPECT_EQ(header.vst3Button->styleSheet(), kVst3Off);

    header.setVst3ButtonVisible(true);
    header.setVideoButtonVisible(true);
    EXPECT_FALSE(header.vst3Button->isHidden());
    EXPECT_FALSE(header.videoButton->isHidden());
    header.videoButton->click();
    EXPECT_EQ(video.count(), 1);
}

TEST(TrackHeaderWidget, NameAndColour)
{
    TrackHeaderWidget header;
    QSignalSpy name(&header, &TrackHeaderWidget::nameChanged);
    header.setName("人声");
    header.setName("人声");
    ASSERT_EQ(name.count(), 1);
    EXPECT_EQ(name.at(0).at(0).toString(), "人声");
    EXPECT_EQ(header.name(), "人声");

    header.setColor(QColor(255, 128, 0));
    EXPECT_EQ(header.colorStrip->styleSheet(), "background-color: #ff8000; border-radius: 2px;");
}

TEST(TrackHeaderWidget, InstrumentList)
{
    const QList<QString> three = {"钢琴", "Strings", "Organ"};
    struct Case
    {
        const char *name;
        QList<QString> before;
        QList<QString> items;
        int index;
        QList<int> emitted;
        int current;
    } const cases[] = {
        {"first items, valid index", {}, three, 2, {0, 2}, 2},
        {"first items, index 0", {}, three, 0, {0}, 0},
        {"index past the end keeps the first", {}, three, 5, {0}, 0},
        {"negative index keeps the first", {}, three, -1, {0}, 0},
        {"emptying a filled list", three, {}, 0, {-1}, -1},
        {"empty stays empty", {}, {}, 0, {}, -1},
        {"refill", three, {"A", "B"}, 1, {-1, 0, 1}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TrackHeaderWidget header;
        header.setInstrumentList(c.before, 0);
        QSignalSpy changed(&header, &TrackHeaderWidget::instrumentChanged);
        header.setInstrumentList(c.items, c.index);
        QList<int> emitted;
        for (const QList<QVariant> &args : changed)
            emitted.append(args.at(0).toInt());
        EXPECT_EQ(emitted, c.emitted);
        EXPECT_EQ(header.currentInstrumentIndex(), c.current);
        EXPECT_EQ(header.instrumentCombo->count(), c.items.size());
    }

    TrackHeaderWidget header;
    header.setInstrumentVisible(true);
    EXPECT_FALSE(header.instrumentCombo->isHidden());
    header.setInstrumentVisible(false);
    EXPECT_TRUE(header.instrumentCombo->isHidden());
}

}  // namespace

// A selected row marks its header with a cyan bar at the header's left edge only, not at the
// left edge of every child (the slider and the volume value).
TEST(TrackHeaderWidget, TheSelectionBarMarksOnlyTheHeaderItself)
{
    TrackData track;
    QWidget column;
    column.resize(200, 140);
    TrackRowWidget row(nullptr, &column);
    row.setTrackData(&track, 0, nullptr, nullptr, nullptr);
    column.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&column));
    row.setSelected(true);
    TrackHeaderWidget *header = row.header;
    const QImage image = header->grab().toImage();
    const QRgb cyan = qRgb(0x00, 0xf2, 0xff);
    EXPECT_EQ(image.pixel(1, header->height() / 2), cyan);
    for (QWidget *child : {static_cast<QWidget *>(header->volumeSlider), static_cast<QWidget *>(header->volumeLabel)}) {
        SCOPED_TRACE(child->metaObject()->className());
        EXPECT_NE(image.pixel(child->x() + 1, child->y() + 1), cyan);
    }
}

