// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI device dialog over a real MidiInput: without any MIDI system, and with a JACK keyboard.
#include "multitrack/MidiDeviceDialog.h"

#include "engine/MidiInput.h"

#include "MidiTestKeyboard.h"
#include "Requirement.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// The dialog's widgets, found the way a user finds them: by their texts.
struct DialogView
{
    explicit DialogView(MidiDeviceDialog &dialog)
        : ports(dialog.findChild<QComboBox *>()), status(dialog.findChildren<QLabel *>().value(0))
    {
        for (QPushButton *button : dialog.findChildren<QPushButton *>())
            buttons[button->text()] = button;
    }

    QComboBox *ports;
    QLabel *status;
    QMap<QString, QPushButton *> buttons;
};

const QString kIdleStyle = "color: #888888; padding: 12px; font-size: 13px;";
const QString kConnectedStyle = "color: #4CAF50; padding: 12px; font-size: 13px; font-weight: bold;";

TEST(MidiDeviceDialog, WithoutMidiSystemNothingConnects)
{
    if (QFile::exists("/dev/snd/seq"))
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    MidiApiScope api("alsa");
    MidiInput input;
    MidiDeviceDialog dialog(&input);
    DialogView view(dialog);
    QSignalSpy selected(&dialog, &MidiDeviceDialog::deviceSelected);

    EXPECT_EQ(dialog.windowTitle(), "MIDI 设备");
    EXPECT_GE(dialog.minimumWidth(), 400);
    ASSERT_NE(dialog.findChild<QGroupBox *>(), nullptr);
    EXPECT_EQ(dialog.findChild<QGroupBox *>()->title(), "MIDI 输入设备");
    ASSERT_EQ(view.buttons.size(), 4);
    EXPECT_EQ(view.buttons["刷新"]->width(), 60);
    ASSERT_EQ(view.ports->count(), 1);
    EXPECT_EQ(view.ports->itemText(0), "(未发现 MIDI 设备)");

    // The placeholder is nothing to connect to: the button says so instead of doing nothing.
    EXPECT_FALSE(view.buttons["连接"]->isEnabled());
    EXPECT_FALSE(view.buttons["连接"]->toolTip().isEmpty());
    view.buttons["连接"]->click();
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(view.status->text(), "未连接");
    EXPECT_EQ(view.status->styleSheet(), kIdleStyle);
    EXPECT_FALSE(view.buttons["断开"]->isEnabled());
}

TEST(MidiDeviceDialog, ConnectsAndDisconnectsAJackKeyboard)
{
    ZENTRIQ_REQUIRE(!qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER"), "no JACK server (scripts/test.sh starts one)");
    MidiApiScope api("jack");
    MidiTestKeyboard keyboard;
    ZENTRIQ_REQUIRE(keyboard.valid(), "the JACK server does not accept clients");
    MidiInput input;
    const int port = int(input.availableDevices().indexOf(keyboard.portName()));
    ASSERT_GE(port, 0);

    MidiDeviceDialog dialog(&input);
    DialogView view(dialog);
    QSignalSpy selected(&dialog, &MidiDeviceDialog::deviceSelected);
    QSignalSpy disconnected(&dialog, &MidiDeviceDialog::disconnected);
    EXPECT_EQ(view.ports->findText(keyboard.portName()), port);
    EXPECT_EQ(view.status->text(), "未连接");

    view.ports->setCurrentIndex(port);
    view.buttons["连接"]->click();
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), port);
    EXPECT_EQ(view.status->text(), "已连接: " + keyboard.portName());
    EXPECT_EQ(view.status->styleSheet(), kConnectedStyle);
    EXPECT_FALSE(view.buttons["连接"]->isEnabled());
    EXPECT_TRUE(view.buttons["断开"]->isEnabled());

    // Refreshing the list keeps the open port as the current item.
    view.ports->setCurrentIndex(-1);
    view.buttons["刷新"]->click();
    EXPECT_EQ(view.ports->currentIndex(), port);

    view.buttons["断开"]->click();
    EXPECT_EQ(disconnected.count(), 1);
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(view.status->text(), "未连接");
    EXPECT_TRUE(view.buttons["连接"]->isEnabled());
    EXPECT_FALSE(view.buttons["断开"]->isEnabled());
}

} // namespace
