// SPDX-License-Identifier: GPL-3.0-or-later
// The editor page's effect dialogs: what each is handed, when the page refuses, and how an
// accepted result enters the document.
#include "editor/AudioEditorPage.h"

#include "analysis/CompressorDialog.h"
#include "analysis/PitchCorrectionDialog.h"
#include "audio/AudioProcessor.h"
#include "project/UndoCommands.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <QUndoStack>

namespace {

QList<float> channelOf(const QList<float> &interleaved, int channel)
{
    QList<float> values(interleaved.size() / 2);
    const float *pairs = interleaved.constData() + channel;
    float *out = values.data();
    for (qsizetype i = 0; i < values.size(); ++i)
        out[i] = pairs[2 * i];
    return values;
}

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

void AudioEditorPage::commitEffect(QList<float> monoResult,
                                   const std::function<QList<float>(QList<float>)> &processChannel,
                                   const QString &loadingText, const QString &label, const QString &doneText)
{
    showLoading(loadingText);
    const QList<float> monoBefore = samples;
    const QList<float> stereoBefore = stereoSamples;
    if (stereoSamples.isEmpty()) {
        samples = std::move(monoResult);
    } else {
        // The channels are independent: both run at once.
        QFuture<QList<float>> leftRun =
            QtConcurrent::run([&] { return processChannel(channelOf(stereoSamples, 0)); });
        const QList<float> right = processChannel(channelOf(stereoSamples, 1));
        const QList<float> left = leftRun.result();
        const qsizetype frames = std::min(left.size(), right.size());
        QList<float> pairs(2 * frames);
        QList<float> mean(frames);
        const float *l = left.constData();
        const float *r = right.constData();
        float *p = pairs.data();
        float *m = mean.data();
        for (qsizetype i = 0; i < frames; ++i) {
            p[2 * i] = l[i];
            p[2 * i + 1] = r[i];
            m[i] = (l[i] + r[i]) * 0.5f;
        }
        stereoSamples = std::move(pairs);
        samples = std::move(mean);
    }
    undoStack->push(
        new SamplesReplaceCommand(&samples, &stereoSamples, monoBefore, stereoBefore, samples, stereoSamples, label));
    syncWaveforms();
    hideLoading();
    showStatus(doneText);
}

void AudioEditorPage::showPitchCorrectionDialog()
{
    if (isRecording) {
        showStatus(QStringLiteral("录音中无法应用效果"));
        return;
    }
    if (samples.isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    showLoading(QStringLiteral("分析音高..."));
    auto *dialog = new PitchCorrectionDialog(samples, sampleRate, this);
    hideLoading();
    const QPointer<PitchCorrectionDialog> guard(dialog);
    connect(dialog, &QDialog::finished, this, [this, guard](int result) {
        if (!guard || result != QDialog::Accepted)
            return;
        const PitchCorrectionRender correction = guard->correction();
        commitEffect(
            guard->correctedSamples(), [&](QList<float> channel) { return correction.apply(channel); },
            QStringLiteral("应用音高修正..."), QStringLiteral("音高修正"), QStringLiteral("已应用音高修正"));
    });
    openOver(dialog);
}

void AudioEditorPage::showCompressorDialog()
{
    if (isRecording || isPlaying) {
        showStatus(QStringLiteral("录音或播放中无法应用效果"));
        return;
    }
    if (samples.isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    auto *processor = new AudioProcessor;
    processor->samples = samples;
    processor->sampleRate = sampleRate;
    processor->channels = 1;
    auto *dialog = new CompressorDialog(processor, this);
    // Released with the dialog, after the accept step has read it.
    processor->setParent(dialog);
    const QPointer<CompressorDialog> guard(dialog);
    connect(dialog, &QDialog::finished, this, [this, guard, processor](int result) {
        if (!guard || result != QDialog::Accepted)
            return;
        const CompressorDialog::Settings s = guard->settings();
        const auto compress = [s, rate = sampleRate](QList<float> channel) {
            AudioProcessor channelProcessor;
            channelProcessor.samples = std::move(channel);
            channelProcessor.sampleRate = rate;
            channelProcessor.channels = 1;
            channelProcessor.applyCompression(s.thresholdDb, s.ratio, s.attackMs, s.releaseMs, s.makeupDb, s.kneeDb);
            return channelProcessor.samples;
        };
        commitEffect(processor->samples, compress, QStringLiteral("应用压缩器..."), QStringLiteral("压缩器"),
                     QStringLiteral("已应用压缩器效果"));
    });
    openOver(dialog);
}
