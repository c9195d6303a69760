// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track editor page: the document, views, zoom, keys, edits, and the wiring of the
// transport, the recording session and the meters.
#include "editor/AudioEditorPage.h"

#include "analysis/EqualizerDialog.h"
#include "analysis/SpectrumAnalyzerWidget.h"
#include "audio/AudioProcessor.h"
#include "audio/DecodedAudio.h"
#include "editor/RecordSession.h"
#include "editor/WaveformWidget.h"
#include "ui/AudioDeviceNotice.h"
#include "ui/LoadingOverlay.h"
#include "ui/MeterLevel.h"
#include "ui/PermissionManager.h"
#include "ui/ThemeManager.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

namespace {
const QString kRecordLabel = QStringLiteral("插入录音");
const QString kDocumentLocked = QStringLiteral("错误：效果对话框打开中，请先应用或取消");

double clampZoom(double zoom)
{
    return std::clamp(zoom, 1.0, 512.0);
}

// Sample index of a time, limited to the list.
int frameAt(double seconds, int sampleRate, qsizetype size)
{
    const double frame = std::floor(double(sampleRate) * seconds);
    if (!(frame > 0.0))
        return 0;
    return frame >= double(size) ? int(size) : int(frame);
}
} // namespace

AudioEditorPage::AudioEditorPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("AudioEditorPage"));
    setFocusPolicy(Qt::StrongFocus);
    clip = new ClipDocument(this);
    connect(clip, &ClipDocument::changed, this, &AudioEditorPage::onDocumentChanged);
    playbackTimer = new QTimer(this);
    playbackTimer->setInterval(50);
    connect(playbackTimer, &QTimer::timeout, this, &AudioEditorPage::onPlaybackTimer);
    recordSession = new RecordSession(this);
    connect(recordSession, &RecordSession::blockArrived, this, &AudioEditorPage::onRecordedBlock);
    connect(recordSession, &RecordSession::drained, this, &AudioEditorPage::onRecordDrained);
    // Queued: the session reports from inside its own drain.
    connect(recordSession, &RecordSession::deviceLost, this, &AudioEditorPage::onRecordDeviceLost,
            Qt::QueuedConnection);
    connect(recordSession, &RecordSession::secondElapsed, this, &AudioEditorPage::updateTimeLabel);
    setupUi();
}

// The transport and the recording session shut their engines down with the page.
AudioEditorPage::~AudioEditorPage() = default;

// ---------------------------------------------------------------- views, zoom and tools

void AudioEditorPage::applyZoomToVisibleViews()
{
    if (!viewStack) {
        waveform1->setZoomLevel(zoomLevel);
        return;
    }
    switch (viewStack->currentIndex()) {
    case 0:
        waveform1->setZoomLevel(zoomLevel);
        break;
    case 1:
        spectrum1->setZoomLevel(zoomLevel);
        break;
    default:
        waveform2->setZoomLevel(zoomLevel);
        spectrum2->setZoomLevel(zoomLevel);
        alignCombinedViews();
        break;
    }
}

void AudioEditorPage::alignCombinedViews()
{
    // The waveform scrolls to keep the playhead in view; the spectrogram under it goes along.
    if (viewStack && viewStack->currentIndex() == 2)
        spectrum2->setViewStartSec(waveform2->getViewStartSec());
}

void AudioEditorPage::onViewTabChanged(int index)
{
    viewStack->setCurrentIndex(index);
    zoomLevel = clampZoom(zoomLevel);
    applyZoomToVisibleViews();
}

void AudioEditorPage::onZoomIn()
{
    applyZoom(zoomLevel * 1.5);
}

void AudioEditorPage::onZoomOut()
{
    applyZoom(zoomLevel / 1.5);
}

void AudioEditorPage::onZoomFit()
{
    applyZoom(1.0);
}

void AudioEditorPage::applyZoom(double zoom)
{
    zoomLevel = clampZoom(zoom);
    applyZoomToVisibleViews();
}

void AudioEditorPage::onGainSliderChanged(int)
{
}

void AudioEditorPage::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Z && (event->modifiers() & Qt::ControlModifier)) {
        stepHistory(event->modifiers().testFlag(Qt::ShiftModifier));
        event->accept();
    } else if (key == Qt::Key_E) {
        const int tool = currentTool == 2 ? 0 : 2;
        onToolChanged(tool);
        updateToolButtonStyles(tool);
        event->accept();
    } else if (key == Qt::Key_Space) {
        onPlayPauseClicked();
        event->accept();
    } else if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        deleteSelection();
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

// ---------------------------------------------------------------- document

bool AudioEditorPage::loadAudioSamples(const QList<float> &list, int rate, std::vector<PeakSummary> summaries)
{
    if (refuseLoad())
        return false;
    QElapsedTimer timer;
    timer.start();
    clip->load({list, {}}, rate, std::move(summaries));
    // The views took the lists inside load; their own times are logged as they do.
    qDebug() << "[Import] copy samples:" << timer.elapsed() << "ms, count:" << list.size();
    return true;
}

bool AudioEditorPage::loadStereoAudioSamples(const QList<float> &interleaved, int rate, const QList<float> &mix,
                                             std::vector<PeakSummary> summaries)
{
    if (refuseLoad())
        return false;
    QElapsedTimer timer;
    timer.start();
    const qsizetype frames = interleaved.size() / 2;
    QList<float> means = mix;
    if (means.size() != frames) {
        // A fresh list: resizing the old one, which the views still share, would copy it first.
        QList<float> mono(frames);
        mixFramesToMono(interleaved.constData(), mono.data(), frames, 2);
        means = std::move(mono);
    }
    clip->load({std::move(means), interleaved}, rate, std::move(summaries));
    qDebug() << "[Import] stereo samples:" << timer.elapsed() << "ms, frames:" << frames;
    return true;
}

void AudioEditorPage::onDocumentChanged(FrameRange frames)
{
    std::vector<PeakSummary> summaries = clip->takeSummaries();
    const QList<float> &samples = clip->samples();
    const QList<float> &stereoSamples = clip->stereoSamples();
    const int sampleRate = clip->sampleRate();
    QElapsedTimer timer;
    const auto hand = [&](auto *view, const char *label, auto &&...summaryArgument) {
        if (!view)
            return;
        timer.start();
        view->setAudioData(samples, sampleRate, stereoSamples, std::move(summaryArgument)...);
        qDebug().noquote() << QStringLiteral("[Import]   %1 setAudioData:").arg(QLatin1String(label))
                           << timer.elapsed() << "ms";
    };
    // The two waveform views share one copy of the lists and their summaries.
    hand(waveform1, "waveform1", summaries);
    hand(waveform2, "waveform2");
    // The spectrograms grow from the live input themselves while recording; handed the whole
    // list now, each would copy it at its next column. They get it once the take is in place.
    if (isRecording)
        return;
    // After an erase the spectrograms recompute only the columns over the changed frames.
    const bool part = frames.first > 0 || frames.end < samples.size();
    for (SpectrumAnalyzerWidget *view : {spectrum1, spectrum2}) {
        if (view && part)
            view->updateAudioData(samples, sampleRate, stereoSamples, frames);
        else
            hand(view, view == spectrum1 ? "spectrum1" : "spectrum2");
    }
}

void AudioEditorPage::setPlayheadAll(double seconds)
{
    if (waveform1)
        waveform1->setPlayheadPosition(seconds);
    if (waveform2)
        waveform2->setPlayheadPosition(seconds);
    if (spectrum1)
        spectrum1->setPlayheadPosition(seconds);
    if (spectrum2)
        spectrum2->setPlayheadPosition(seconds);
    if (waveform2 && spectrum2)
        alignCombinedViews();
    if (videoPlayerDialog)
        videoPlayerDialog->syncPosition(seconds);
}

void AudioEditorPage::updateTimeLabel()
{
    if (!timeLabel)
        return;
    double seconds;
    if (transport.isPlaying())
        seconds = double(transport.position()) / clip->sampleRate();
    else if (isRecording)
        seconds = recordSession->seconds();
    else
        seconds = waveform1->getPlayheadPosition();
    const qint64 ms = qint64(seconds * 1000.0);
    const auto two = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    timeLabel->setText(QStringLiteral("%1:%2:%3.%4")
                           .arg(two(ms / 3600000), two((ms % 3600000) / 60000), two((ms % 60000) / 1000))
                           .arg(ms % 1000, 3, 10, QLatin1Char('0')));
}

void AudioEditorPage::deleteSelection()
{
    if (isRecording || isPlaying || !waveform1->hasSelection() || clip->isEmpty())
        return;
    if (refuseWhileLocked())
        return;
    const double lo = std::min(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const double hi = std::max(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const qsizetype frames = clip->samples().size();
    const int end = frameAt(hi, clip->sampleRate(), frames);
    if (end <= 0)
        return;
    const int start = frameAt(lo, clip->sampleRate(), frames);
    if (start >= end)
        return;

    clip->deleteFrames(start, end, QStringLiteral("删除选区"));
    waveform1->clearSelection();
    waveform2->clearSelection();
    showStatus(QStringLiteral("已删除选区 (%1 - %2 秒)").arg(lo, 0, 'f', 2).arg(hi, 0, 'f', 2));
}

void AudioEditorPage::onEraseRequested(SpectrumAnalyzerWidget *source, const SpectralBox &box,
                                       const std::vector<ClipChannel> &channels, float strength)
{
    if (isRecording || refuseWhileLocked()) {
        // The take is being spliced into the current list, or a dialog's preview shows: the
        // view shows the document again instead of its darkened stroke.
        source->updateAudioData(clip->samples(), clip->sampleRate(), clip->stereoSamples(),
                                {0, clip->samples().size()});
        if (isRecording)
            showStatus(QStringLiteral("错误：录音中，无法编辑"));
        return;
    }
    if (!clip->eraseSpectralBox(box, channels, strength).isEmpty())
        showStatus(QStringLiteral("频谱擦除完成"));
}

void AudioEditorPage::showEqualizerDialog()
{
    if (!canOpenEffectDialog())
        return;
    // Goes with the dialog, after the accept step has read it.
    auto *processor = new AudioProcessor();
    processor->samples = clip->samples();
    processor->stereoSamples = clip->stereoSamples();
    processor->sampleRate = clip->sampleRate();
    processor->channels = 1;
    auto *dialog = new EqualizerDialog(processor, transport.engineFor(clip->sampleRate()), this);
    processor->setParent(dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    holdDocumentWhileOpen(dialog);
    // `finished` is the dialog's last signal: the busy overlay runs events, which may delete
    // the closed dialog with its processor, so the result is taken out first.
    const QPointer<EqualizerDialog> guard(dialog);
    connect(dialog, &QDialog::finished, this, [this, guard, processor](int result) {
        if (!guard || result != QDialog::Accepted)
            return;
        SampleLists equalised{processor->samples, processor->stereoSamples};
        showLoading(QStringLiteral("应用均衡器..."));
        clip->replace(std::move(equalised), QStringLiteral("均衡器"));
        hideLoading();
        showStatus(QStringLiteral("已应用均衡器效果"));
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void AudioEditorPage::showLoading(const QString &message)
{
    if (!loadingOverlay)
        return;
    loadingOverlay->setGeometry(rect());
    loadingOverlay->show(message);
    QCoreApplication::processEvents();
}

void AudioEditorPage::hideLoading()
{
    if (loadingOverlay)
        loadingOverlay->hide();
}

void AudioEditorPage::setVideoPlayerDialog(VideoPlayerDialog *dialog)
{
    disconnect(videoDestroyedConnection);
    videoPlayerDialog = dialog;
    if (dialog)
        videoDestroyedConnection =
            connect(dialog, &QObject::destroyed, this, [this] { videoPlayerDialog = nullptr; });
}

void AudioEditorPage::showStatus(const QString &text)
{
    statusBar->showMessage(text);
}

void AudioEditorPage::stepHistory(bool redo)
{
    // The open recording macro makes the stack refuse anyway; skip its warning.
    if (isRecording || refuseWhileLocked())
        return;
    const QString label = redo ? clip->undoStack()->redoText() : clip->undoStack()->undoText();
    // The status must not go on reporting the edit that was just taken back.
    if (redo ? clip->redo() : clip->undo())
        showStatus((redo ? QStringLiteral("已重做: %1") : QStringLiteral("已撤销: %1")).arg(label));
}

bool AudioEditorPage::refuseLoad()
{
    if (isRecording) {
        showStatus(QStringLiteral("错误：录音中，无法载入音频"));
        return true;
    }
    return refuseWhileLocked();
}

bool AudioEditorPage::refuseWhileLocked()
{
    if (!clip->isLocked())
        return false;
    showStatus(kDocumentLocked);
    return true;
}

bool AudioEditorPage::canOpenEffectDialog()
{
    if (isRecording || isPlaying) {
        showStatus(QStringLiteral("录音或播放中无法应用效果"));
        return false;
    }
    if (clip->isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return false;
    }
    return !refuseWhileLocked();
}

// ---------------------------------------------------------------- transport

void AudioEditorPage::onPlayPauseClicked()
{
    if (isRecording)
        return;
    if (transport.isPlaying()) {
        transport.pause();
        playbackTimer->stop();
        isPlaying = false;
        playButton->setText(QStringLiteral(">"));
        showStatus(QStringLiteral("已暂停"));
        if (videoPlayerDialog)
            videoPlayerDialog->syncPause();
        return;
    }
    if (clip->isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    startPlayback();
}

void AudioEditorPage::startPlayback()
{
    const QList<float> &samples = clip->samples();
    const int sampleRate = clip->sampleRate();
    const int startSample = frameAt(waveform1->getPlayheadPosition(), sampleRate, samples.size());
    qDebug() << "[Playback] sampleRate:" << sampleRate << "totalSamples:" << samples.size()
             << "startSample:" << startSample << "duration(s):" << double(samples.size()) / sampleRate;
    if (transport.play(samples, sampleRate, startSample) != EditorTransport::Start::Playing) {
        showStatus(QStringLiteral("错误：无法打开音频输出设备"));
        return;
    }
    playbackTimer->start();
    playButton->setText(QStringLiteral("||"));
    isPlaying = true;
    showStatus(QStringLiteral("播放中..."));
    if (videoPlayerDialog)
        videoPlayerDialog->syncPlay();
}

void AudioEditorPage::onPlaybackTimer()
{
    if (transport.deviceLost()) {
        // The next Play opens a new stream on a fresh engine.
        transport.release();
        endPlayState(QStringLiteral("错误：音频设备已断开"));
        AudioDeviceNotice::show(this, AudioDeviceNotice::Event::LostWhilePlaying);
        return;
    }
    if (transport.isPlaying()) {
        setPlayheadAll(double(transport.position()) / clip->sampleRate());
        updateTimeLabel();
        setMeters(transport.level(), transport.level());
        return;
    }
    endPlayState(QStringLiteral("播放完成"));
}

void AudioEditorPage::endPlayState(const QString &status)
{
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));
    setMeters(0, 0);
    showStatus(status);
}

void AudioEditorPage::stopPlayback()
{
    transport.stop();
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));
    setPlayheadAll(0.0);
    updateTimeLabel();
    setMeters(0, 0);
    if (videoPlayerDialog) {
        videoPlayerDialog->syncPause();
        videoPlayerDialog->syncPosition(0.0);
    }
}

void AudioEditorPage::onStopClicked()
{
    stopPlayback();
    showStatus(QStringLiteral("已停止"));
}

void AudioEditorPage::onRewindClicked()
{
    setPlayheadAll(waveform1->hasSelection() ? waveform1->getSelectionStart() : 0.0);
    updateTimeLabel();
    showStatus(QStringLiteral("快退"));
}

void AudioEditorPage::onFastForwardClicked()
{
    if (waveform1->hasSelection())
        setPlayheadAll(waveform1->getSelectionEnd());
    else if (clip->sampleRate() > 0 && !clip->isEmpty())
        setPlayheadAll(double(clip->samples().size()) / clip->sampleRate());
    updateTimeLabel();
    showStatus(QStringLiteral("快进"));
}

void AudioEditorPage::setMeters(int left, int right)
{
    leftMeter->setValue(left);
    rightMeter->setValue(right);
}

void AudioEditorPage::updateMeters(const float *data, int count, bool interleavedStereo)
{
    if (!data || count < 1)
        return;
    const std::span<const float> block(data, std::size_t(count));
    if (interleavedStereo && count > 1)
        setMeters(meterLevel(block, 0, 2), meterLevel(block, 1, 2));
    else
        setMeters(meterLevel(block), meterLevel(block));
}

// ---------------------------------------------------------------- recording

bool AudioEditorPage::checkMicrophonePermission()
{
    return PermissionManager::getInstance().checkMicrophonePermission();
}

void AudioEditorPage::requestMicrophonePermission(std::function<void(bool)> callback)
{
    PermissionManager::getInstance().requestMicrophonePermission(std::move(callback));
}

void AudioEditorPage::onRecordClicked()
{
    if (isRecording) {
        stopRecording();
        return;
    }
    if (refuseWhileLocked())
        return;
    if (checkMicrophonePermission()) {
        startRecording();
        return;
    }
    QMessageBox::warning(this, QStringLiteral("权限申请"),
                         QStringLiteral("录音需要麦克风权限。\n\n请点击确定后，在系统弹出的权限申请对话框中授予权限。"));
    requestMicrophonePermission([this](bool granted) {
        if (granted) {
            startRecording();
            return;
        }
        showStatus(QStringLiteral("麦克风权限被拒绝，无法录音"));
        QMessageBox::information(this, QStringLiteral("权限被拒绝"),
                                 QStringLiteral("麦克风权限被拒绝。\n\n请到系统设置中手动授予权限：\n设置 > 隐私与安全 > "
                                                "麦克风 > ZentriqStudio"));
    });
}

void AudioEditorPage::startRecording()
{
    transport.release();
    // Playback ended with its engine; close the play state now rather than on a later tick.
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));

    const qsizetype frames = clip->samples().size();
    recordPosition = frameAt(waveform1->getPlayheadPosition(), clip->sampleRate(), frames);
    recordStartSize = int(frames);
    recordRefreshDue = false;
    if (!recordSession->start(clip->sampleRate(), recordPosition)) {
        showStatus(QStringLiteral("错误：无法开始录音"));
        return;
    }

    // Holds undo and redo off until the take is in place; closed by stopRecording.
    clip->beginTake(kRecordLabel);
    isRecording = true;
    spectrum1->setRecording(true);
    spectrum2->setRecording(true);
    recordButton->setText(QStringLiteral("停止"));
    recordButton->setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::EditorPart::RecordingButton));
    showStatus(QStringLiteral("录音中..."));
}

void AudioEditorPage::onRecordedBlock(const float *block, int count)
{
    RecordTake &take = recordSession->take();
    recordPosition = int(take.endPosition());
    updateMeters(block, count, false);
    spectrum1->processAudioFrame(block, count);
    spectrum2->processAudioFrame(block, count);
    const int refreshFrames = clip->sampleRate() / 10;
    if (refreshFrames > 0 && (recordStartSize + int(take.size())) % refreshFrames < count)
        recordRefreshDue = true;
}

void AudioEditorPage::onRecordDrained()
{
    // Once per drain: a GUI thread that fell behind catches up instead of redrawing per block.
    if (!recordRefreshDue || !isRecording)
        return;
    recordRefreshDue = false;
    clip->spliceTake(recordSession->take());
}

void AudioEditorPage::onRecordDeviceLost()
{
    if (!isRecording)
        return;
    // Inserted as at an ordinary stop: what was captured before the loss is the take.
    stopRecording();
    AudioDeviceNotice::show(this, AudioDeviceNotice::Event::LostWhileRecording);
}

void AudioEditorPage::stopRecording()
{
    if (recordSession->isActive()) {
        recordSession->stop();
        if (recordSession->engineRate() != clip->sampleRate())
            clip->setSampleRate(recordSession->engineRate());
    }
    isRecording = false;
    spectrum1->setRecording(false);
    spectrum2->setRecording(false);
    recordButton->setText(QStringLiteral("录制"));
    recordButton->setStyleSheet(QString());

    const int inserted = int(clip->endTake(recordSession->take()));
    if (inserted < 1) {
        showStatus(QStringLiteral("录音已停止"));
        return;
    }
    setPlayheadAll(double(recordPosition) / clip->sampleRate());
    showStatus(QStringLiteral("录音完成，共 %1 秒，已插入 %2 个样本").arg(recordSession->seconds()).arg(inserted));
}
