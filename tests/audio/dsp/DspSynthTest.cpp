// SPDX-License-Identifier: GPL-3.0-or-later
// Oscillator pitch by numpy's FFT, envelope step counts, synthesiser voice allocation and
// transport events under any block split, including callbacks that reschedule.
#include "NumpyOracle.h"
#include "Requirement.h"

#include "audio/dsp/Envelope.h"
#include "audio/dsp/Oscillator.h"
#include "audio/dsp/Synth.h"
#include "audio/dsp/Transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int rate = 44100;

std::vector<float> render(Oscillator &oscillator, std::size_t n)
{
    std::vector<float> out(n);
    oscillator.generate(out.data(), n);
    return out;
}

TEST(OscillatorTest, PitchIncludingDetuneMeasuredByFft)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty(), "python3 with numpy not installed");
    struct Case { WaveformType type; float hz; float cents; };
    const Case cases[] = {
        {WaveformType::Sine, 441, 0}, {WaveformType::Sine, 441, 1200}, {WaveformType::Sine, 441, -1200},
        {WaveformType::Square, 300, 0}, {WaveformType::Saw, 1000, 700}, {WaveformType::Saw, 220, -1200},
        {WaveformType::Triangle, 550, 0}, {WaveformType::Triangle, 3000, 1200},
    };
    QByteArray rendered;
    for (const Case &c : cases) {
        Oscillator oscillator;
        oscillator.setType(c.type);
        oscillator.setFrequency(c.hz);
        oscillator.setDetune(c.cents);
        oscillator.start();
        rendered += float32Bytes(render(oscillator, rate));
    }
    const QString script = QStringLiteral(
        "import sys, numpy as np\n"
        "for y in np.frombuffer(sys.stdin.buffer.read(), dtype='<f4').astype(float).reshape(-1, %1):\n"
        "    y = y - y.mean()\n"
        "    X = np.abs(np.fft.rfft(y * np.hanning(len(y)), 1 << 20))\n"
        "    k = int(np.argmax(X)); a, b, c = np.log(X[k-1:k+2])\n"
        "    print((k + 0.5 * (a - c) / (a - 2 * b + c)) * %1 / (1 << 20))\n").arg(rate);
    bool ok = false;
    const std::vector<double> measured = runNumpy(script, rendered, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(measured.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "type " << int(cases[i].type) << " " << cases[i].hz << " Hz "
                                        << cases[i].cents << " cents");
        const double target = cases[i].hz * std::pow(2.0, cases[i].cents / 1200.0);
        EXPECT_LT(std::abs(1200.0 * std::log2(measured[i] / target)), 2.0) << measured[i] << " Hz";
    }
}

TEST(OscillatorTest, FirstSampleOfEachWaveformAndSilenceWhileStopped)
{
    struct Case { int type; float first; };
    for (const Case &c : {Case{0, 0.0f}, Case{1, 1.0f}, Case{2, -1.0f}, Case{3, 1.0f}, Case{4, 1.0f}, Case{9, 0.0f}}) {
        SCOPED_TRACE(c.type);
        Oscillator oscillator;
        oscillator.setType(static_cast<WaveformType>(c.type));
        EXPECT_EQ(oscillator.generateSample(), 0.0f);
        oscillator.start();
        EXPECT_EQ(oscillator.generateSample(), c.first);
    }
}

TEST(OscillatorTest, StaysBoundedAtAndAboveTheSampleRate)
{
    struct Case { float hz; float cents; };
    for (const Case &c : {Case{48000, 0}, Case{44100, 0}, Case{30000, 2400}, Case{20000, 1e9f},
                          Case{100, std::numeric_limits<float>::quiet_NaN()}}) {
        for (WaveformType type : {WaveformType::Saw, WaveformType::Triangle, WaveformType::Sine}) {
            SCOPED_TRACE(testing::Message() << c.hz << " Hz " << c.cents << " cents type " << int(type));
            Oscillator oscillator;
            oscillator.setType(type);
            oscillator.setFrequency(c.hz);
            oscillator.setDetune(c.cents);
            oscillator.start();
            for (float v : render(oscillator, 20000))
                ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v;
        }
    }
}

// Steps until the envelope's level first satisfies `done`.
template <typename Done>
int stepsUntil(Envelope &envelope, Done done)
{
    for (int step = 1; step < 10'000'000; ++step) {
        if (done(envelope.process()))
            return step;
    }
    return -1;
}

TEST(EnvelopeTest, StageTimingInSteps)
{
    Envelope envelope;
    envelope.triggerAttack();
    EXPECT_EQ(stepsUntil(envelope, [](float level) { return level == 1.0f; }), 441); // 0.01 s
    // 0.1 s for the full range, of which the fall to 0.7 is 30 %.
    EXPECT_EQ(stepsUntil(envelope, [](float level) { return level == 0.7f; }), 1324);
    EXPECT_EQ(envelope.process(), 0.7f);
    envelope.triggerRelease();
    // 0.3 s for the full range; from 0.7 that is 9261 steps, one more by rounding.
    const int release = stepsUntil(envelope, [](float level) { return level == 0.0f; });
    EXPECT_NEAR(release, 9261, 1);
    EXPECT_FALSE(envelope.isActive());

    Envelope fast;
    fast.setAttack(0.0f); // stored as 0.001 s: 44.1 steps
    fast.triggerAttack();
    EXPECT_EQ(stepsUntil(fast, [](float level) { return level == 1.0f; }), 45);
}

// Upward zero crossings per second.
double measuredHz(const std::vector<float> &samples)
{
    int crossings = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            if (crossings++ == 0)
                first = i;
            last = i;
        }
    }
    return crossings > 1 ? (crossings - 1) * double(rate) / double(last - first) : 0.0;
}

TEST(SynthTest, NotesPlayAtTheirEqualTemperedPitch)
{
    struct Case { int note; double hz; };
    for (const Case &c : {Case{69, 440.0}, Case{60, 261.6256}, Case{200, 12543.854}, Case{-5, 8.175799}}) {
        SCOPED_TRACE(c.note);
        Synth synth;
        synth.noteOn(c.note, 1.0f);
        std::vector<float> out(3 * rate);
        synth.processBlock(out.data(), out.size());
        EXPECT_NEAR(measuredHz(out), c.hz, c.hz * 1e-3);
        EXPECT_EQ(synth.findVoiceForNote(c.note), 0); // listed under the note as given
    }
}

TEST(SynthTest, SixteenVoicesWithoutStealing)
{
    Synth synth;
    for (int note = 40; note < 56; ++note)
        synth.noteOn(note, 0.5f);
    EXPECT_EQ(synth.getActiveVoices(), 16);
    synth.noteOn(90, 0.5f); // the 17th
    EXPECT_EQ(synth.findVoiceForNote(90), -1);
    EXPECT_EQ(synth.getFreeVoice(), -1);

    synth.allNotesOff();
    synth.noteOn(91, 0.5f); // every voice still releasing
    EXPECT_EQ(synth.findVoiceForNote(91), -1);
    std::vector<float> tail(rate); // 0.3 s release from at most full level
    synth.processBlock(tail.data(), tail.size());
    EXPECT_EQ(synth.getActiveVoices(), 0);
    EXPECT_EQ(tail.back(), 0.0f);

    synth.noteOn(60, 1.0f);
    synth.noteOn(60, 1.0f);
    EXPECT_EQ(synth.getActiveVoices(), 2);
    EXPECT_EQ(synth.findVoiceForNote(60), 0);
    synth.noteOff(60); // the first-started goes first
    EXPECT_EQ(synth.findVoiceForNote(60), 1);
    synth.noteOff(60);
    EXPECT_EQ(synth.findVoiceForNote(60), -1);
    synth.noteOff(60); // no entry left: nothing happens
}

TEST(TransportTest, EventFiresOnceWhateverTheBlockSplit)
{
    const std::vector<std::vector<std::uint64_t>> splits = {{1, 1, 1, 1, 1, 1}, {6}, {2, 4}, {3, 3}, {0, 5, 1}};
    for (const auto &split : splits) {
        SCOPED_TRACE(split.size());
        Transport transport;
        transport.setSampleRate(4.0f);
        std::vector<double> firedAt;
        transport.schedule([&](double time) { firedAt.push_back(transport.getPosition()); EXPECT_EQ(time, 0.5); }, 0.5);
        transport.start();
        for (std::uint64_t n : split)
            transport.process(n);
        // The third sample spans 0.5 to 0.75 s.
        EXPECT_EQ(firedAt, std::vector<double>{0.5});
        EXPECT_EQ(transport.getPosition(), 1.5);
    }
}

TEST(TransportTest, RepeatingOneShotIdsAndStopping)
{
    Transport transport;
    transport.setSampleRate(100.0f);
    int repeating = 0, oneShot = 0;
    EXPECT_EQ(transport.schedule([&](double) { ++repeating; }, 0.1), 1);
    transport.scheduleOnce([&](double) { ++oneShot; }, 0.1);
    const int cancelled = transport.schedule([&](double) { ADD_FAILURE() << "cancelled event fired"; }, 0.05);
    EXPECT_EQ(cancelled, 3);
    transport.cancel(cancelled);

    transport.process(50); // not running: nothing moves
    EXPECT_EQ(transport.getPosition(), 0.0);
    transport.start();
    transport.process(50);
    transport.setPosition(0.0);
    transport.process(50);
    EXPECT_EQ(repeating, 2);
    EXPECT_EQ(oneShot, 1);

    transport.setPosition(-3.0);
    EXPECT_EQ(transport.getPosition(), 0.0);
    transport.setPosition(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(transport.getPosition(), 0.0);
    transport.setBPM(500.0f);
    EXPECT_EQ(transport.getBPM(), 300.0f);
    transport.process(10);
    transport.stop();
    EXPECT_FALSE(transport.isRunning());
    EXPECT_EQ(transport.getPosition(), 0.0);
}

TEST(TransportTest, CallbacksMayScheduleAndCancelWhileProcessing)
{
    Transport transport;
    transport.setSampleRate(1000.0f);
    std::vector<double> fired;
    int selfId = 0;
    // Grows the list well past its capacity from inside the loop over it, cancels itself
    // and an event due in the same sample.
    selfId = transport.schedule([&](double time) {
        fired.push_back(time);
        for (int i = 1; i <= 200; ++i)
            transport.scheduleOnce([&](double t) { fired.push_back(t); }, time + i * 0.001 + 0.0005);
        transport.cancel(selfId);
        transport.cancel(selfId + 1);
    }, 0.01);
    transport.schedule([&](double) { ADD_FAILURE() << "cancelled within its own sample"; }, 0.01);
    transport.start();
    transport.process(100);
    transport.process(200);
    ASSERT_EQ(fired.size(), 201u);
    for (std::size_t i = 1; i < fired.size(); ++i)
        EXPECT_GT(fired[i], fired[i - 1]);
    transport.setPosition(0.0);
    transport.process(300);
    EXPECT_EQ(fired.size(), 201u); // the repeating event cancelled itself, the rest were one-shots
}

} // namespace
