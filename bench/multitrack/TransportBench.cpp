// SPDX-License-Identifier: GPL-3.0-or-later
// Times the multitrack transport against its targets on the running audio server:
//   play     - a 32-track x 5-minute project from the play button to the first block the
//              output takes (target 0.5 s; the renders dominate, compare the mixdown bench);
//   record   - a recording into that project: the longest GUI-thread stall seen by a 10 ms
//              timer (target 50 ms) and the take's length against the wall clock; a block
//              that found the capture ring full is reported by the page as frames lost;
//   midi     - a note from a JACK keyboard port to the page's note-on handler (target 5 ms);
//   soundfont- loading a SoundFont (target 3 s for FluidR3_GM.sf2).
// Usage: multitrack_transport_bench play|record [seconds]|midi|soundfont [file]
#include "engine/MidiInput.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/StreamClock.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include <rtmidi/RtMidi.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <thread>

namespace {

constexpr int kRate = 48000;
constexpr int kTracks = 32;
constexpr double kProjectSeconds = 300.0;

void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type >= QtWarningMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// 32 audio tracks of one 5-minute clip each, every track its own tone.
void fillProject(MultiTrackEditorPage &page)
{
    page.setSampleRate(kRate);
    const qsizetype frames = qsizetype(kProjectSeconds * kRate);
    for (int t = 0; t < kTracks; ++t) {
        QList<float> samples(frames);
        const double step = 2.0 * std::numbers::pi * (110.0 + 20.0 * t) / kRate;
        for (qsizetype i = 0; i < frames; ++i)
            samples[i] = float(0.02 * std::sin(step * double(i)));
        page.addTrack(TrackType::Audio, samples, kRate, QString(), {});
    }
    page.document().undoStack->clear();
}

int benchPlay(MultiTrackEditorPage &page)
{
    fillProject(page);
    for (int run = 0; run < 3; ++run) {
        page.syncPlayheadAll(0.0);
        const auto pressed = std::chrono::steady_clock::now();
        page.playButton->click();
        const double rendered = seconds(pressed);
        if (!page.playing) {
            std::fprintf(stderr, "playback did not start\n");
            return 1;
        }
        while (page.document().engine->outputClock().frames() == 0 && seconds(pressed) < 10.0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::printf("play %d: render + start %.3f s, first block taken %.3f s after the press\n", run, rendered,
                    seconds(pressed));
        page.stopButton->click();
    }
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        page.renderPlaybackSlots();
        std::printf("render alone %d: %.3f s\n", run, seconds(start));
    }
    return 0;
}

int benchRecord(MultiTrackEditorPage &page, double recordSeconds)
{
    fillProject(page);
    page.addTrack(TrackType::Audio, {}, kRate, QStringLiteral("take"), {});
    page.trackRows.back()->header->armButton->click();

    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.restart());
    });

    const auto pressed = std::chrono::steady_clock::now();
    page.recordButton->click();
    const double started = seconds(pressed);
    sinceTick.start();
    probe.start();
    QEventLoop loop;
    QTimer::singleShot(int(recordSeconds * 1000.0), &loop, &QEventLoop::quit);
    loop.exec();
    probe.stop();
    const qint64 stallDuringRecording = longestStall - 10;
    const auto stopPressed = std::chrono::steady_clock::now();
    page.recordButton->click();
    const double stopped = seconds(stopPressed);
    const AudioClip &take = page.document().tracks.back().audioClips.back();
    std::printf("record: start %.3f s (render), stop %.3f s; longest GUI stall beyond the 10 ms tick while "
                "recording %lld ms; take %.3f s for %.3f s of recording\n",
                started, stopped, static_cast<long long>(stallDuringRecording), double(take.samples.size()) / kRate,
                recordSeconds);
    return 0;
}

int benchMidi(MultiTrackEditorPage &page)
{
    qputenv("ZENTRIQ_MIDI_API", "jack");
    RtMidiOut out(RtMidi::UNIX_JACK, "ZentriqBenchKeys");
    out.openVirtualPort("keys");
    auto *input = page.findChild<MidiInput *>();
    const int port = int(input->availableDevices().indexOf(QStringLiteral("ZentriqBenchKeys:keys")));
    if (port < 0 || !input->openDevice(port)) {
        std::fprintf(stderr, "the keyboard port is not listed\n");
        return 1;
    }
    std::chrono::steady_clock::time_point sent;
    std::vector<double> delays;
    // Queued after the page's own connection: runs right after onMidiNoteOn has returned.
    QObject::connect(input, &MidiInput::noteOnReceived, &page,
                     [&](int, int, int) { delays.push_back(seconds(sent) * 1000.0); }, Qt::QueuedConnection);
    for (int n = 0; n < 50; ++n) {
        std::vector<unsigned char> on{0x90, 60, 100};
        std::vector<unsigned char> off{0x80, 60, 0};
        sent = std::chrono::steady_clock::now();
        out.sendMessage(&on);
        const std::size_t before = delays.size();
        while (delays.size() == before && seconds(sent) < 2.0)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        out.sendMessage(&off);
        for (int k = 0; k < 20; ++k) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::sort(delays.begin(), delays.end());
    if (delays.empty())
        return 1;
    std::printf("midi: %zu notes, port to onMidiNoteOn median %.2f ms, worst %.2f ms\n", delays.size(),
                delays[delays.size() / 2], delays.back());
    return 0;
}

int benchSoundFont(MultiTrackEditorPage &page, const char *path)
{
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const bool loaded = page.document().sf2Sampler.loadSoundFont(QString::fromLocal8Bit(path));
        std::printf("soundfont %d: %s in %.3f s\n", run, loaded ? "loaded" : "FAILED", seconds(start));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s play|record [seconds]|midi|soundfont [file]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    const char *mode = argv[1];
    if (std::strcmp(mode, "midi") == 0)
        qputenv("ZENTRIQ_MIDI_API", "jack");
    QApplication app(argc, argv);
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1400, 800);
    if (std::strcmp(mode, "play") == 0)
        return benchPlay(page);
    if (std::strcmp(mode, "record") == 0)
        return benchRecord(page, argc > 2 ? std::atof(argv[2]) : kProjectSeconds);
    if (std::strcmp(mode, "midi") == 0)
        return benchMidi(page);
    if (std::strcmp(mode, "soundfont") == 0)
        return benchSoundFont(page, argc > 2 ? argv[2] : "/usr/share/sounds/sf2/FluidR3_GM.sf2");
    std::fprintf(stderr, "unknown mode %s\n", mode);
    return 2;
}
