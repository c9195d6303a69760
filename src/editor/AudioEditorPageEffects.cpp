// SPDX-License-Identifier: GPL-3.0-or-later
// The editor page's analysis dialogs (pitch correction, compressor): what each is handed,
// when the page refuses, and how an accepted result enters the document.
#include "editor/AudioEditorPage.h"

#include "analysis/CompressorDialog.h"
#include "analysis/PitchCorrectionDialog.h"
#include "audio/AudioProcessor.h"
#include "audio/VectorState.h"
#include "editor/EffectProcessing.h"

#include <QPointer>

namespace {

// The accept steps listen to `finished`, the dialog's last signal, rather than `accepted`: the
// busy overlay runs events, which may delete the closed dialog, and nothing of the dialog may
// run after that.
//
// Window-modal: while a dialog holds its copy of the buffer, the page takes no edits, loads
// or recordings that its result would silently overwrite.
void openOver(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void AudioEditorPage::holdDocumentWhileOpen(QDialog *dialog)
{
    auto lock = std::make_shared<DocumentLock>(clip->lock());
    connect(dialog, &QObject::destroyed, this, [lock] { lock->release(); });
}

void AudioEditorPage::commitEffect(const std::function<void(SampleLists &)> &process, const QString &loadingText,
                                   const QString &label, const QString &doneText)
{
    showLoading(loadingText);
    SampleLists lists = clip->lists();
    clearUpperVectorState();
    process(lists);
    clip->replace(std::move(lists), label);
    hideLoading();
    showStatus(doneText);
}

void AudioEditorPage::showPitchCorrectionDialog()
{
    if (isRecording) {
        showStatus(QStringLiteral("录音中无法应用效果"));
        return;
    }
    if (clip->isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    if (refuseWhileLocked())
        return;
    showLoading(QStringLiteral("分析音高..."));
    auto *dialog = new PitchCorrectionDialog(clip->samples(), clip->sampleRate(), this);
    hideLoading();
    holdDocumentWhileOpen(dialog);
    const QPointer<PitchCorrectionDialog> guard(dialog);
    connect(dialog, &QDialog::finished, this, [this, guard](int result) {
        if (!guard || result != QDialog::Accepted)
            return;
        // The dialog rendered the mono clip already; stereo runs the correction on each channel.
        const PitchCorrectionRender correction = guard->correction();
        const int rate = clip->sampleRate();
        commitEffect(
            [correction, corrected = guard->correctedSamples(), rate](SampleLists &lists) {
                if (lists.stereo.isEmpty())
                    lists.mono = corrected;
                else
                    EffectProcessing::runPerChannel(lists, rate, [&correction](AudioProcessor &channel) {
                        channel.samples = correction.apply(channel.samples);
                    });
            },
            QStringLiteral("应用音高修正..."), QStringLiteral("音高修正"), QStringLiteral("已应用音高修正"));
    });
    openOver(dialog);
}

void AudioEditorPage::showCompressorDialog()
{
    if (!canOpenEffectDialog())
        return;
    auto *processor = new AudioProcessor;
    processor->samples = clip->samples();
    processor->sampleRate = clip->sampleRate();
    processor->channels = 1;
    auto *dialog = new CompressorDialog(processor, this);
    // Released with the dialog, after the accept step has read it.
    processor->setParent(dialog);
    holdDocumentWhileOpen(dialog);
    const QPointer<CompressorDialog> guard(dialog);
    connect(dialog, &QDialog::finished, this, [this, guard](int result) {
        if (!guard || result != QDialog::Accepted)
            return;
        // The dialog renders previews only; the step runs its settings over each channel.
        const CompressorDialog::Settings s = guard->settings();
        const int rate = clip->sampleRate();
        commitEffect(
            [s, rate](SampleLists &lists) {
                EffectProcessing::runOnEachChannel(lists, [&s, rate](float *values, qsizetype count, qsizetype stride) {
                    AudioProcessor::compressValues(values, count, stride, rate, s.thresholdDb, s.ratio, s.attackMs,
                                                   s.releaseMs, s.makeupDb, s.kneeDb);
                });
            },
            QStringLiteral("应用压缩器..."), QStringLiteral("压缩器"), QStringLiteral("已应用压缩器效果"));
    });
    openOver(dialog);
}
