// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI keyboard input: message decoding, queued delivery to the GUI thread, the missing-ALSA
// failure path and a real JACK port feeding the input and the recorder.
#include "engine/MidiInput.h"
#include "engine/MidiRecorder.h"

#include "MidiTestKeyboard.h"
#include "MidiTestLog.h"
#include "Requirement.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// Everything a MidiInput emits, in order, as short texts.
QStringList record(MidiInput &input, const std::function<void()> &act)
{
    QStringList events;
    QObject context;
    QObject::connect(&input, &MidiInput::noteOnReceived, &context,
                     [&](int ch, int note, int vel) { events << QStringLiteral("on %1 %2 %3").arg(ch).arg(note).arg(vel); });
    QObject::connect(&input, &MidiInput::noteOffReceived, &context,
                     [&](int ch, int note) { events << QStringLiteral("off %1 %2").arg(ch).arg(note); });
    QObject::connect(&input, &MidiInput::rawMidiReceived, &context,
                     [&](const QByteArray &raw) { events << QStringLiteral("raw ") + raw.toHex(' '); });
    act();
    return events;
}

struct DecodeCase
{
    const char *name;
    std::vector<unsigned char> message;
    QStringList events;
};

TEST(MidiInputDecoding, MessagesBecomeSignals)
{
    const std::vector<DecodeCase> cases = {
        {"note-on", {0x93, 0x3C, 0x64}, {"on 3 60 100", "raw 93 3c 64"}},
        {"note-on with velocity 0", {0x93, 0x3C, 0x00}, {"off 3 60", "raw 93 3c 00"}},
        {"note-off", {0x83, 0x3C, 0x40}, {"off 3 60", "raw 83 3c 40"}},
        {"note-on of two bytes", {0x90, 0x3C}, {"raw 90 3c"}},
        {"one byte", {0xF8}, {}},
        {"empty", {}, {}},
        {"controller", {0xB0, 0x40, 0x7F}, {"raw b0 40 7f"}},
        {"channel 16 note-on", {0x9F, 0x7F, 0x7F}, {"on 15 127 127", "raw 9f 7f 7f"}},
        {"note-on with a status byte for its key", {0x92, 0x92, 0x40}, {"raw 92 92 40"}},
        {"note-off with a status byte for its velocity", {0x82, 0x3C, 0xF8}, {"raw 82 3c f8"}},
    };
    MidiInput input;
    for (const DecodeCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> message = c.message;
        EXPECT_EQ(record(input, [&] { input.handleMessage(message); }), c.events);
        EXPECT_EQ(record(input, [&] { MidiInput::midiCallback(0.0, &message, &input); }), c.events);
    }
    std::vector<unsigned char> note{0x90, 0x3C, 0x64};
    EXPECT_TRUE(record(input, [&] { MidiInput::midiCallback(0.0, &note, nullptr); }).isEmpty());
    EXPECT_TRUE(record(input, [&] { MidiInput::midiCallback(0.0, nullptr, &input); }).isEmpty());
}

TEST(MidiInputDecoding, SignalsFromAnotherThreadArriveQueuedOnTheGuiThread)
{
    MidiInput input;
    QObject receiver;
    QList<QThread *> threads;
    QStringList events;
    QObject::connect(&input, &MidiInput::noteOnReceived, &receiver, [&](int ch, int note, int vel) {
        threads << QThread::currentThread();
        events << QStringLiteral("on %1 %2 %3").arg(ch).arg(note).arg(vel);
    });
    QObject::connect(&input, &MidiInput::rawMidiReceived, &receiver, [&](const QByteArray &raw) {
        threads << QThread::currentThread();
        events << QStringLiteral("raw ") + raw.toHex(' ');
    });

    std::thread([&] {
        std::vector<unsigned char> message{0x91, 0x40, 0x50};
        MidiInput::midiCallback(0.0, &message, &input);
        message = {0x91, 0x41, 0x51};  // the queued copies must not see this change
    }).join();
    EXPECT_TRUE(events.isEmpty()) << "delivered before the GUI thread ran its event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(events, QStringList({"on 1 64 80", "raw 91 40 50"}));
    for (QThread *thread : threads)
        EXPECT_EQ(thread, QCoreApplication::instance()->thread());
}

TEST(MidiInputDevices, WithoutAlsaSequencerTheInputLivesOnEmpty)
{
    if (QFile::exists("/dev/snd/seq"))
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    MidiApiScope api("alsa");
    MidiTestLog log;
    MidiInput input;
    EXPECT_TRUE(log.has("MidiInput: Failed to create RtMidiIn:", QtWarningMsg));
    EXPECT_FALSE(input.isOpen());
    EXPECT_TRUE(input.availableDevices().isEmpty());
    EXPECT_FALSE(input.openDevice(0));
    EXPECT_FALSE(input.autoConnect());
    EXPECT_EQ(input.currentPort(), -1);
    input.closeDevice();
    EXPECT_EQ(input.currentPort(), -1);
}

class MidiInputJack : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(!qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER"), "no JACK server (scripts/test.sh starts one)");
        keyboard = std::make_unique<MidiTestKeyboard>();
        ZENTRIQ_REQUIRE(keyboard->valid(), "the JACK server does not accept clients");
    }

    int keyboardPort(const MidiInput &input) const
    {
        return int(input.availableDevices().indexOf(keyboard->portName()));
    }

    MidiApiScope api{"jack"};
    std::unique_ptr<MidiTestKeyboard> keyboard;
};

TEST_F(MidiInputJack, OpensClosesAndReopensAPort)
{
    MidiTestLog log;
    MidiInput input;
    const int port = keyboardPort(input);
    ASSERT_GE(port, 0) << input.availableDevices().join(", ").toStdString();
    EXPECT_FALSE(input.isOpen());

    EXPECT_TRUE(input.openDevice(port));
    EXPECT_TRUE(input.isOpen());
    EXPECT_EQ(input.currentPort(), port);
    EXPECT_TRUE(log.has("MidiInput: Opened device"));

    EXPECT_TRUE(input.openDevice(port));  // closes, then opens again
    EXPECT_TRUE(log.has("MidiInput: Device closed"));
    EXPECT_TRUE(input.isOpen());
    EXPECT_TRUE(input.autoConnect());  // already open
    EXPECT_EQ(input.currentPort(), port);

    EXPECT_FALSE(input.openDevice(input.availableDevices().size()));
    EXPECT_TRUE(log.has("MidiInput: open error:", QtWarningMsg));
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(input.currentPort(), -1);
}

TEST_F(MidiInputJack, KeyboardNotesReachTheGuiThreadAndAreRecorded)
{
    MidiInput input;
    const int port = keyboardPort(input);
    ASSERT_GE(port, 0);
    ASSERT_TRUE(input.openDevice(port));

    // The page's wiring: queued note signals feed the recorder at the playhead time.
    MidiRecorder recorder;
    double playhead = 10.0;
    int received = 0;
    bool onGuiThread = true;
    QObject page;
    QObject::connect(&input, &MidiInput::noteOnReceived, &page, [&](int, int note, int velocity) {
        onGuiThread = onGuiThread && QThread::currentThread() == page.thread();
        recorder.handleNoteOn(note, velocity, playhead);
        ++received;
    });
    QObject::connect(&input, &MidiInput::noteOffReceived, &page, [&](int, int note) {
        onGuiThread = onGuiThread && QThread::currentThread() == page.thread();
        recorder.handleNoteOff(note, playhead);
        ++received;
    });
    // JACK makes a new connection live at a later cycle: wait until a controller gets through.
    bool connected = false;
    QObject::connect(&input, &MidiInput::rawMidiReceived, &page, [&] { connected = true; });
    for (int attempt = 0; attempt < 100 && !connected; ++attempt) {
        keyboard->send({0xB0, 0x01, 0x00});
        connected = QTest::qWaitFor([&] { return connected; }, 50);
    }
    ASSERT_TRUE(connected);

    auto play = [&](double time, std::vector<unsigned char> message) {
        playhead = time;
        const int before = received;
        keyboard->send(std::move(message));
        return QTest::qWaitFor([&] { return received > before; }, 5000);
    };

    recorder.startRecording(10.0, 120.0);
    ASSERT_TRUE(play(11.0, {0x93, 60, 100}));
    ASSERT_TRUE(play(11.5, {0x83, 60, 64}));
    ASSERT_TRUE(play(12.0, {0x90, 64, 90}));
    ASSERT_TRUE(play(12.0, {0x90, 67, 0}));  // velocity 0: a note-off for a key never pressed
    recorder.stopRecording(14.0);
    EXPECT_TRUE(onGuiThread);

    const std::vector<MidiNote> expected{{60, 1.0, 0.5, 100}, {64, 2.0, 2.0, 90}};
    EXPECT_EQ(recorder.recordedNotes(), expected);
}

} // namespace
