// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's media flows: importing audio, video and MIDI files, exporting WAV, MP3
// and FLAC, loading a SoundFont and a VST3 plug-in. Each runs on the GUI thread behind the
// busy overlay (the VST3 module's trial run in a child process waits for it off that thread)
// and acts on the multitrack page while it shows, else on the single-track editor.
#include "MainWindow.h"

#include "PluginLoadCheck.h"
#include "audio/AudioProcessor.h"
#include "audio/DecodedAudio.h"
#include "document/ProjectDocument.h"
#include "editor/AudioEditorPage.h"
#include "engine/MidiFileParser.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "plugins/AudioPluginBridge.h"
#include "video/VideoDemuxer.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QStackedWidget>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr int statusMs = 3000;
constexpr int instrumentStatusMs = 5000;
// Tempo differences up to this many BPM are rounding in the file, not worth a question.
constexpr double tempoToleranceBpm = 0.1;
constexpr double minimumMidiClipSeconds = 0.5;

bool isVideoSuffix(const QString &path)
{
    static const QStringList suffixes = {QStringLiteral("mp4"), QStringLiteral("mkv"), QStringLiteral("avi"),
                                         QStringLiteral("mov"), QStringLiteral("flv"), QStringLiteral("ts"),
                                         QStringLiteral("webm")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Shows the busy overlay for a flow and hides it on every way out; end() hides it early,
// before a message that belongs after the work.
class BusyScope
{
public:
    BusyScope(MainWindow *window, const QString &message) : window(window) { window->showLoading(message); }
    ~BusyScope() { end(); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

    void end()
    {
        if (window)
            window->hideLoading();
        window = nullptr;
    }

private:
    MainWindow *window;
};

// For the processor's lifetime its failures show as warning boxes titled `title`.
void showFailuresOf(AudioProcessor &processor, MainWindow *window, const QString &title)
{
    QObject::connect(&processor, &AudioProcessor::errorOccurred, window, [window, title](const QString &message) {
        QMessageBox::warning(window, title, message, QMessageBox::Ok);
    });
}

void showNothingToExport(MainWindow *window)
{
    QMessageBox::information(window, MainWindow::tr("导出"), MainWindow::tr("没有可导出的音频数据"), QMessageBox::Ok);
}

struct ExportFormat
{
    QString suffix;
    QString caption;
    QString filter;
    bool fixedSixteenBits = false;  // MP3 ignores the project's bit depth
};

ExportFormat exportFormat(const QString &format)
{
    if (format == QLatin1String("mp3"))
        return {format, MainWindow::tr("导出MP3"), MainWindow::tr("MP3文件 (*.mp3)"), true};
    if (format == QLatin1String("flac"))
        return {format, MainWindow::tr("导出FLAC"), MainWindow::tr("FLAC文件 (*.flac)")};
    return {QStringLiteral("wav"), MainWindow::tr("导出WAV"), MainWindow::tr("WAV文件 (*.wav)")};
}

// Writes interleaved `samples` to `path` (format by its suffix) and reports the result; a
// failure shows the writer's reason and leaves any earlier file whole.
void writeExport(MainWindow *window, const QString &path, const QList<float> &samples, int sampleRate,
                 int channels, int bitDepth)
{
    AudioProcessor processor;
    showFailuresOf(processor, window, MainWindow::tr("导出失败"));
    if (processor.saveAudioFile(path, samples, sampleRate, channels, bitDepth))
        window->statusBar()->showMessage(MainWindow::tr("已导出: %1").arg(fileNameOf(path)), statusMs);
}

// Interleaved stereo folded to one channel, each frame the mean of its two sides.
void foldToMono(QList<float> &interleaved)
{
    const qsizetype frames = interleaved.size() / 2;
    mixFramesToMono(interleaved.constData(), interleaved.data(), frames, 2);
    interleaved.resize(frames);
}

double midiClipLength(const std::vector<MidiNote> &notes)
{
    double end = minimumMidiClipSeconds;
    for (const MidiNote &note : notes)
        end = std::max(end, note.start + note.duration);
    return end;
}

} // namespace

void MainWindow::importMedia()
{
    const QString path = askOpenFileName(
        tr("导入音频/视频"),
        tr("音视频文件 (*.wav *.mp3 *.flac *.ogg *.mp4 *.mkv *.avi *.mov *.flv *.ts);;"
           "音频文件 (*.wav *.mp3 *.flac *.ogg);;视频文件 (*.mp4 *.mkv *.avi *.mov *.flv *.ts);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    if (isVideoSuffix(path)) {
        importVideoFile(path);
        return;
    }

    BusyScope busy(this, tr("导入音频..."));
    AudioProcessor processor;
    showFailuresOf(processor, this, tr("导入失败"));
    // The editor draws the clip at once: summarising it while it decodes saves reading it all again.
    processor.summariseWhileLoading = pageStack->currentWidget() != multiTrackPage;
    if (!processor.loadAudioFile(path))
        return;

    if (!placeImportedSound(processor.samples, processor.stereoSamples, processor.sampleRate, path,
                            std::move(processor.peakSummaries)))
        return;
    statusBar()->showMessage(tr("已导入: %1").arg(fileNameOf(path)), statusMs);
    // What a load could not take from the file is worth a box: a status line fades unread.
    if (!processor.loadWarning.isEmpty()) {
        busy.end();
        QMessageBox::warning(this, tr("导入不完整"), processor.loadWarning, QMessageBox::Ok);
    }
}

bool MainWindow::placeImportedSound(const QList<float> &mono, const QList<float> &interleaved, int sampleRate,
                                    const QString &path, std::vector<PeakSummary> summaries)
{
    if (pageStack->currentWidget() == multiTrackPage) {
        multiTrackPage->addTrack(TrackType::Audio, mono, sampleRate, QFileInfo(path).baseName(), interleaved);
        const int added = int(document->tracks.size()) - 1;
        multiTrackPage->scrollToTracks(added, added);
        return true;
    }
    // The editor refuses new audio while it records or an effect dialog is open, and says
    // so in its own status bar.
    return interleaved.isEmpty()
        ? editorPage->loadAudioSamples(mono, sampleRate, std::move(summaries))
        : editorPage->loadStereoAudioSamples(interleaved, sampleRate, mono, std::move(summaries));
}

void MainWindow::endVideoPreview()
{
    // Deleted, not closed: a closed preview is deleted only by a later event-loop turn,
    // and its decode thread would read the freed demuxer until then.
    delete videoPlayerDialog.data();
    delete videoDemuxer;
    videoDemuxer = nullptr;
}

void MainWindow::importVideoFile(const QString &path)
{
    BusyScope busy(this, tr("导入视频..."));
    endVideoPreview();
    videoDemuxer = new VideoDemuxer(this);
    connect(videoDemuxer, &VideoDemuxer::errorOccurred, this, [this](const QString &message) {
        QMessageBox::warning(this, tr("视频导入失败"), message, QMessageBox::Ok);
    });
    const auto fail = [&](const QString &reason) {
        busy.end();
        if (!reason.isEmpty())
            QMessageBox::warning(this, tr("导入失败"), reason, QMessageBox::Ok);
        endVideoPreview();
    };
    if (!videoDemuxer->open(path))
        return fail(QString());
    if (!videoDemuxer->hasAudioStream())
        return fail(tr("该视频文件没有音频轨道"));
    QList<float> mono;
    QList<float> interleaved;
    int sampleRate = 0;
    if (!videoDemuxer->extractAudio(mono, interleaved, sampleRate))
        return fail(tr("无法提取视频中的音频"));
    if (!placeImportedSound(mono, interleaved, sampleRate, path))
        return fail(QString());
    statusBar()->showMessage(tr("已导入视频音频: %1").arg(fileNameOf(path)), statusMs);

    if (videoDemuxer->hasVideoStream()) {
        videoPlayerDialog = new VideoPlayerDialog(videoDemuxer, this);
        editorPage->setVideoPlayerDialog(videoPlayerDialog);
        multiTrackPage->setVideoPlayerDialog(videoPlayerDialog);
        if (pageStack->currentWidget() == multiTrackPage)
            multiTrackPage->showVideoButtonOnTrack(int(document->tracks.size()) - 1);
        videoPlayerDialog->show();
    }
}

void MainWindow::importMidi()
{
    const QString path = askOpenFileName(tr("导入MIDI"), tr("MIDI 文件 (*.mid *.midi);;所有文件 (*)"));
    if (path.isEmpty())
        return;

    BusyScope busy(this, tr("导入MIDI..."));
    QList<ImportedMidiTrack> tracks;
    double durationSeconds = 0.0;
    double fileBpm = 120.0;
    if (!parseMidiFile(path, tracks, durationSeconds, fileBpm)) {
        busy.end();
        QMessageBox::warning(this, tr("导入失败"), tr("无法解析MIDI文件: %1").arg(fileNameOf(path)), QMessageBox::Ok);
        return;
    }
    if (pageStack->currentWidget() != multiTrackPage) {
        QMessageBox::information(this, tr("导入MIDI"), tr("请先创建多轨项目再导入MIDI文件"), QMessageBox::Ok);
        return;
    }

    document->midiFileTempo = fileBpm;
    if (std::abs(fileBpm - document->bpm) > tempoToleranceBpm) {
        const QString question = tr("MIDI文件的 tempo 为 %1 BPM，当前项目 tempo 为 %2 BPM。\n是否将项目 tempo 设为 %1 BPM？")
                                     .arg(QString::number(fileBpm, 'f', 1), QString::number(document->bpm, 'f', 1));
        if (QMessageBox::question(this, tr("导入MIDI"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes)
            multiTrackPage->setTempo(fileBpm);
    }

    const int first = int(document->tracks.size());
    for (ImportedMidiTrack &track : tracks) {
        const double length = midiClipLength(track.notes);
        multiTrackPage->addMidiTrack(track.name, std::move(track.notes), length);
    }
    multiTrackPage->scrollToTracks(first, int(document->tracks.size()) - 1);
    statusBar()->showMessage(
        tr("已导入MIDI: %1 (%2条轨道)").arg(fileNameOf(path), QString::number(tracks.size())), statusMs);
}

void MainWindow::exportAudio(const QString &format)
{
    if (pageStack->currentWidget() == multiTrackPage) {
        exportMixdown(format);
        return;
    }

    if (editorPage->document().isEmpty()) {
        showNothingToExport(this);
        return;
    }
    const ExportFormat target = exportFormat(format);
    const QString path = askSaveFileName(target.caption, target.filter, target.suffix);
    if (path.isEmpty())
        return;

    BusyScope busy(this, tr("导出中..."));
    // Stereo material stays stereo in every format, MP3 included, unless the project is mono.
    const ClipDocument &clip = editorPage->document();
    const bool stereo = !clip.stereoSamples().isEmpty() && !clip.isMono();
    writeExport(this, path, stereo ? clip.stereoSamples() : clip.samples(), clip.sampleRate(),
                stereo ? 2 : 1, target.fixedSixteenBits ? 16 : document->bitDepth);
}

void MainWindow::exportMixdown(const QString &format)
{
    const ExportFormat target = exportFormat(format);
    // The mix is rendered before the file is asked for, so an empty project asks nothing.
    BusyScope busy(this, tr("导出中..."));
    QList<float> mix;
    int rate = document->sampleRate;
    if (!document->renderMixdown(mix, rate) || mix.isEmpty()) {
        busy.end();
        showNothingToExport(this);
        return;
    }
    const QString path = askSaveFileName(target.caption, target.filter, target.suffix);
    if (path.isEmpty())
        return;
    const bool mono = document->mono;
    if (mono)
        foldToMono(mix);
    writeExport(this, path, mix, rate, mono ? 1 : 2, target.fixedSixteenBits ? 16 : document->bitDepth);
}

void MainWindow::loadSoundFont()
{
    const QString path = askOpenFileName(tr("加载 SF2 音色库"), tr("SoundFont 文件 (*.sf2);;所有文件 (*)"));
    if (path.isEmpty())
        return;

    BusyScope busy(this, tr("加载音色库..."));
    const bool loaded = multiTrackPage->copyAndLoadSoundFont(path);
    busy.end();
    if (loaded)
        statusBar()->showMessage(tr("已加载音色库: %1").arg(fileNameOf(path)), instrumentStatusMs);
    else
        QMessageBox::warning(this, tr("加载失败"), tr("无法加载音色库文件:\n%1").arg(path), QMessageBox::Ok);
}

void MainWindow::importVst3()
{
    const QString path = askOpenPluginPath(tr("导入VST3插件"), tr("VST3 插件 (*.vst3 *.so);;所有文件 (*)"));
    if (path.isEmpty())
        return;

    AudioPluginBridge *bridge = multiTrackPage->bridge();
    if (!bridge) {
        QMessageBox::warning(this, tr("错误"), tr("插件桥接未初始化"), QMessageBox::Ok);
        return;
    }
    if (const std::optional<PluginProbeResult> refusal = pluginLoadCheck->rememberedRefusal(path)) {
        QMessageBox::warning(this, tr("加载失败"),
                             tr("无法加载插件: %1\n%2\n此前的检测已失败；插件文件改变后才会重新检测。")
                                 .arg(path, pluginLoadCheck->refusalText(*refusal)),
                             QMessageBox::Ok);
        return;
    }
    // A module that crashes or hangs must take only the probe's child process with it.
    if (pluginLoadCheck->start(path, bridge->sampleRate(), bridge->blockSize()))
        showLoading(tr("检测VST3插件..."));
}

void MainWindow::finishVst3Import(const QString &path, const PluginProbeResult &result)
{
    hideLoading();
    if (!result.passed()) {
        qWarning().noquote() << "[Import] VST3 module refused:" << path << QString::fromStdString(result.summary());
        QMessageBox::warning(this, tr("加载失败"),
                             tr("无法加载插件: %1\n%2").arg(path, pluginLoadCheck->refusalText(result)),
                             QMessageBox::Ok);
        return;
    }

    BusyScope busy(this, tr("加载VST3插件..."));
    AudioPluginBridge *bridge = multiTrackPage->bridge();
    const int id = bridge ? bridge->loadPlugin(path.toStdString()) : -1;
    if (id < 0) {
        busy.end();
        QMessageBox::warning(this, tr("加载失败"), tr("无法加载插件: %1\n插件通过了检测，但在程序中未能加载").arg(path),
                             QMessageBox::Ok);
        return;
    }
    bridge->activatePlugin(id);
    multiTrackPage->refreshInstrumentLists();
    busy.end();
    statusBar()->showMessage(tr("已加载VST3插件: %1").arg(fileNameOf(path)), instrumentStatusMs);
}
