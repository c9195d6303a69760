// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the pitch-correction editor or the compressor dialog on a WAV file the way the editor
// page does, so bench/compare.py can time them against aubio, rubberband, sox and our own
// offline effect. Prints the time of each stage to stderr.
#include "analysis/CompressorDialog.h"
#include "analysis/PitchCorrectionDialog.h"
#include "audio/AudioProcessor.h"
#include "audio/VectorState.h"
#include "editor/AudioEditorPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>
#include <cstring>

namespace {

int usage(const char *program)
{
    std::fprintf(stderr,
                 "usage: %s open in.wav | render in.wav out.wav | compress in.wav out.wav\n"
                 "  open: detect the pitch as the editor opens; render: correct every note at full strength;\n"
                 "  compress: apply the compressor's defaults through the page and its dialog\n",
                 program);
    return 2;
}

QList<float> channels2(const AudioProcessor &file)
{
    return file.stereoSamples.isEmpty() ? file.samples : file.stereoSamples;
}

void pressApply(QDialog *dialog)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("应用")) {
            button->click(); // may delete the dialog with its buttons
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage(argv[0]);
    const char *mode = argv[1];
    const bool writes = std::strcmp(mode, "open") != 0;
    if (writes && argc < 4)
        return usage(argv[0]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);

    AudioProcessor file;
    if (!file.loadAudioFile(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot load %s\n", argv[2]);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    QList<float> result;
    int channels = 1;
    if (std::strcmp(mode, "compress") == 0) {
        AudioEditorPage page;
        if (file.stereoSamples.isEmpty())
            page.loadAudioSamples(file.samples, file.sampleRate);
        else
            page.loadStereoAudioSamples(file.stereoSamples, file.sampleRate);
        clock.restart();
        page.showCompressorDialog();
        pressApply(page.findChild<CompressorDialog *>());
        std::fprintf(stderr, "apply through the dialog: %lld ms\n", clock.elapsed());
        // The offline effect's own work on the same clip, as offline_effect_file runs it.
        AudioProcessor offline;
        offline.samples = channels2(file);
        offline.sampleRate = file.sampleRate;
        offline.channels = file.stereoSamples.isEmpty() ? 1 : 2;
        clearUpperVectorState();
        clock.restart();
        offline.applyCompression(-20.0f, 4.0f, 10.0f, 100.0f, 3.0f, 6.0f);
        std::fprintf(stderr, "offline compressor alone: %lld ms\n", clock.elapsed());
        channels = page.document().stereoSamples().isEmpty() ? 1 : 2;
        result = channels == 2 ? page.document().stereoSamples() : page.document().samples();
    } else {
        PitchCorrectionDialog dialog(file.samples, file.sampleRate);
        std::fprintf(stderr, "open (pitch detection): %lld ms, %zu notes\n", clock.elapsed(),
                     dialog.correctionSegments().size());
        if (!writes)
            return 0;
        clock.restart();
        dialog.runCorrection();
        std::fprintf(stderr, "render: %lld ms\n", clock.elapsed());
        result = dialog.correctedSamples();
    }
    return file.saveAudioFile(QString::fromLocal8Bit(argv[3]), result, file.sampleRate, channels, 32) ? 0 : 1;
}
