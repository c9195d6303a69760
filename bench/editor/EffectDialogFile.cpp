// SPDX-License-Identifier: GPL-3.0-or-later
// Applies one effect to a stereo WAV file through its dialog on an offscreen editor page, as
// a counterpart of offline_effect_file for effect-dialogs.sh:
// effect_dialog_file <effect> <in.wav> <out.wav>.
#include "EffectDialogDriver.h"

#include "audio/AudioProcessor.h"
#include "editor/AudioEditorPage.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s gain|reverb|delay|exciter|width|noisered|centre in.wav out.wav\n", argv[0]);
        return 2;
    }
    AudioProcessor file;
    if (!file.loadAudioFile(QString::fromLocal8Bit(argv[2])) || file.stereoSamples.isEmpty()) {
        std::fprintf(stderr, "cannot load a stereo file from %s\n", argv[2]);
        return 1;
    }
    AudioEditorPage page;
    page.resize(1200, 700);
    page.show();
    page.loadStereoAudioSamples(file.stereoSamples, file.sampleRate);
    if (!applyThroughDialog(page, QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "the %s dialog did not apply\n", argv[1]);
        return 1;
    }
    return file.saveAudioFile(QString::fromLocal8Bit(argv[3]), page.stereoSamples, page.sampleRate, 2, 32) ? 0 : 1;
}
