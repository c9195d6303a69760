// SPDX-License-Identifier: GPL-3.0-or-later
// Plays a tone through Qt Multimedia on the default sink and records the default
// source (the sink's monitor): the harness must give tests a real loopback.
#include <QAudioSink>
#include <QAudioSource>
#include <QBuffer>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {
// Power of one frequency in a signal (Goertzel), normalised by the signal's length.
double tonePower(const std::vector<float> &x, double frequency, int sampleRate)
{
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return power / (double(x.size()) * double(x.size()));
}

std::vector<float> monoFromInterleaved(const QByteArray &bytes, int channels)
{
    const auto *data = reinterpret_cast<const float *>(bytes.constData());
    const qsizetype frames = bytes.size() / qsizetype(sizeof(float) * channels);
    std::vector<float> mono(static_cast<size_t>(frames));
    for (qsizetype f = 0; f < frames; ++f)
        mono[size_t(f)] = data[f * channels];
    return mono;
}
} // namespace

TEST(PulseLoopback, RecordsTheTonePlayedOnTheNullSink)
{
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    const QAudioDevice input = QMediaDevices::defaultAudioInput();
    ASSERT_FALSE(output.isNull()) << "no audio output: is the test PulseAudio server running?";
    ASSERT_FALSE(input.isNull()) << "no audio input: is the sink's monitor the default source?";

    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Float);

    constexpr double toneHz = 1000.0;
    constexpr int seconds = 2;
    QByteArray toneBytes(qsizetype(sizeof(float)) * 2 * 48000 * seconds, Qt::Uninitialized);
    auto *tone = reinterpret_cast<float *>(toneBytes.data());
    for (int i = 0; i < 48000 * seconds; ++i)
        tone[2 * i] = tone[2 * i + 1] = float(0.5 * std::sin(2.0 * std::numbers::pi * toneHz * i / 48000.0));
    QBuffer toneSource(&toneBytes);
    toneSource.open(QIODevice::ReadOnly);

    QBuffer recorded;
    recorded.open(QIODevice::WriteOnly);
    QAudioSource source(input, format);
    source.start(&recorded);
    QAudioSink sink(output, format);
    sink.start(&toneSource);

    // The monitor starts on its own clock: wait until it has delivered as much as
    // was played and the sink has run dry, within a generous bound.
    const qsizetype wanted = qsizetype(sizeof(float)) * 2 * 48000 * seconds;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && (recorded.size() < wanted || sink.state() != QAudio::IdleState))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    sink.stop();
    source.stop();
    // Let Qt's PulseAudio backend finish tearing the streams down before they are destroyed;
    // destroying them at once can trip an assertion inside libpulse.
    clock.restart();
    while (clock.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    ASSERT_EQ(sink.error(), QAudio::NoError);
    const std::vector<float> heard = monoFromInterleaved(recorded.data(), source.format().channelCount());
    ASSERT_GE(heard.size(), size_t(48000 * seconds)) << "the monitor delivered too little audio";

    // The tone's amplitude is 0.5: Goertzel power of a pure sine is (A/2)^2 = 0.0625.
    const double atTone = tonePower(heard, toneHz, source.format().sampleRate());
    const double offTone = tonePower(heard, 1370.0, source.format().sampleRate());
    EXPECT_GT(atTone, 0.0625 * 0.1);
    EXPECT_GT(atTone, offTone * 100.0);
}
