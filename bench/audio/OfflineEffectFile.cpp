// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one offline effect or analysis on a WAV file, as a peer of sox and aubio for
// offline-effects.sh: offline_effect_file <effect> <in.wav> [out.wav].
#include "audio/AudioProcessor.h"
#include "audio/YinPitchDetector.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

// Stereo effects work on the interleaved pairs, as sox does on both channels.
void useStereo(AudioProcessor &processor)
{
    processor.samples.swap(processor.stereoSamples);
    processor.channels = 2;
}

// The noise tools take one mono list: each channel is profiled on its first second and reduced.
void reduceNoisePerChannel(AudioProcessor &processor)
{
    const QList<float> stereo = processor.stereoSamples;
    const qsizetype frames = stereo.size() / 2;
    QList<float> out(stereo.size());
    for (int c = 0; c < 2; ++c) {
        processor.samples.resize(frames);
        for (qsizetype i = 0; i < frames; ++i)
            processor.samples[i] = stereo[2 * i + c];
        processor.channels = 1;
        processor.analyzeNoiseProfile(0, processor.sampleRate);
        processor.applyNoiseReduction(0.8f);
        for (qsizetype i = 0; i < frames; ++i)
            out[2 * i + c] = processor.samples[i];
    }
    processor.samples = out;
    processor.channels = 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s eq5|reverb|compress|delay|gain|noisered|tempo|yin in.wav [out.wav]\n", argv[0]);
        return 2;
    }
    const char *effect = argv[1];
    AudioProcessor processor;
    if (!processor.loadAudioFile(QString::fromLocal8Bit(argv[2])) || processor.stereoSamples.isEmpty()) {
        std::fprintf(stderr, "cannot load a stereo file from %s\n", argv[2]);
        return 1;
    }

    if (std::strcmp(effect, "tempo") == 0) {
        processor.channels = 1;
        const AudioProcessor::TempoResult tempo = processor.detectTempo();
        std::printf("%.2f BPM, confidence %.2f\n", tempo.bpm, tempo.confidence);
        return tempo.ok ? 0 : 1;
    }
    if (std::strcmp(effect, "yin") == 0) {
        YinPitchDetector detector;
        detector.configure(static_cast<float>(processor.sampleRate), 40.0f, 10.0f, 0.15f);
        const std::vector<PitchFrame> frames =
            detector.detect(processor.samples.constData(), static_cast<size_t>(processor.samples.size()));
        for (const PitchFrame &frame : frames)
            std::printf("%.3f %.2f\n", frame.timeSec, frame.frequencyHz);
        return 0;
    }

    if (std::strcmp(effect, "eq5") == 0) {
        const float frequencies[] = {100.0f, 500.0f, 2000.0f, 5000.0f, 10000.0f};
        const float gains[] = {3.0f, -3.0f, 4.0f, 2.0f, -2.0f};
        const float qs[] = {0.7f, 1.0f, 1.2f, 0.8f, 0.7f};
        const int types[] = {0, 0, 0, 0, 0};
        const bool enabled[] = {true, true, true, true, true};
        useStereo(processor);
        processor.applyParametricEQ(frequencies, gains, qs, types, enabled, 5);
    } else if (std::strcmp(effect, "reverb") == 0) {
        useStereo(processor);
        processor.applyReverb(0.3f, 0.5f, 0.5f, 20.0f, 0.5f);
    } else if (std::strcmp(effect, "compress") == 0) {
        useStereo(processor);
        processor.applyCompression(-20.0f, 4.0f, 10.0f, 100.0f, 3.0f, 6.0f);
    } else if (std::strcmp(effect, "delay") == 0) {
        useStereo(processor);
        processor.applyDelay(0.4f, 250, 0.5f);
    } else if (std::strcmp(effect, "gain") == 0) {
        useStereo(processor);
        processor.applyGain(0.5f);
    } else if (std::strcmp(effect, "noisered") == 0) {
        reduceNoisePerChannel(processor);
    } else {
        std::fprintf(stderr, "unknown effect %s\n", effect);
        return 2;
    }
    if (argc > 3 && !processor.saveAudioFile(QString::fromLocal8Bit(argv[3]), processor.samples,
                                             processor.sampleRate, processor.channels, 32))
        return 1;
    return 0;
}
