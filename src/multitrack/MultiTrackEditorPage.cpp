// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history and
// shows them as rows of headers and clip lanes on a zoomable timeline.
#include "MultiTrackEditorPage.h"

#include "AudioClipWidget.h"
#include "MidiClipWidget.h"
#include "MidiDeviceDialog.h"
#include "PianoRollSessions.h"
#include "TimelineRulerWidget.h"
#include "TrackHeaderWidget.h"
#include "TrackRendering.h"
#include "TrackRowWidget.h"
#include "engine/LiveAudioPlayer.h"
#include "engine/Metronome.h"
#include "engine/MidiInput.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/TrackRenderPlan.h"
#include "audio/ParallelRanges.h"
#include "plugins/AudioPluginBridge.h"
#include "plugins/widgets/VST3EditorWindow.h"
#include "project/ProjectLimits.h"
#include "project/UndoCommands.h"
#include "ui/ThemeManager.h"
#include "ui/TimeViewport.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGestureEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPinchGesture>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>
#include <optional>
#include <thread>

namespace {

// The plug-ins and the mixing engine work in blocks of this many frames.
constexpr int engineBlockFrames = 512;

// A new track takes entry (tracks before it) mod 8.
const std::array<QColor, 8> trackColors = {
    QColor(0x3a, 0x86, 0xff), QColor(0xff, 0x00, 0x55), QColor(0x00, 0xf2, 0xff), QColor(0xff, 0xcc, 0x00),
    QColor(0x72, 0x09, 0xb7), QColor(0xff, 0x9f, 0x1c), QColor(0x00, 0xd2, 0x6a), QColor(0xff, 0x66, 0xcc),
};

constexpr double wheelZoomFactor = 1.15;

const char *const headerAreaStyle = "QScrollArea { background-color: #1c1c28; border: none; border-right: 1px solid "
                                    "rgba(42,130,218,40); }";
const char *const headerContainerStyle = "background-color: #1c1c28;";
const char *const addTrackStyle = "QPushButton {  background: transparent;  color: #6a6a8a;  border: 1px dashed #3a3a50;  "
                                  "border-radius: 4px;  font-size: 13px;  text-align: left;  padding-left: 12px;}"
                                  "QPushButton:hover {  color: #e0e0e0;  border-color: #2a82da;  background: "
                                  "rgba(42,130,218,15);}";
const char *const laneAreaStyle = "QScrollArea { background-color: #0d0d1a; border: none; }";
const char *const rulerModeStyle =
    "QComboBox { background-color: #25253a; color: #c0c0d0; border: 1px solid #3a3a50; border-radius: 4px; padding: 2px "
    "6px; font-size: 11px; }QComboBox:hover { border-color: #2a82da; }QComboBox::drop-down { border: none; width: 14px; }"
    "QComboBox::down-arrow { border-left: 3px solid transparent; border-right: 3px solid transparent; border-top: 4px "
    "solid #8888aa; width: 6px; height: 6px; }QComboBox QAbstractItemView { background-color: #25253a; border: 1px "
    "solid #3a3a50; selection-background-color: #2a82da; selection-color: #ffffff; outline: none; }";
const char *const bpmStyle = "QDoubleSpinBox { background-color: #25253a; color: #c0c0d0; border: 1px solid #3a3a50; "
                             "border-radius: 4px; padding: 2px 6px; font-size: 11px; }QDoubleSpinBox:hover { "
                             "border-color: #2a82da; }QDoubleSpinBox::up-button, QDoubleSpinBox::down-button { border: "
                             "none; width: 16px; background: #25253a; }";

QString partStyle(ThemeManager::EditorPart part)
{
    return ThemeManager::instance()->styleSheet(part);
}

QString partStyle(ThemeManager::MultitrackPart part)
{
    return ThemeManager::instance()->styleSheet(part);
}

QString toolStyle(bool on)
{
    return partStyle(on ? ThemeManager::EditorPart::ActiveToolButton : ThemeManager::EditorPart::InactiveToolButton);
}

// Copies `source` over `target` through a temporary file, so a failed copy leaves any
// earlier file of that name whole.
bool copyReplacing(const QString &source, const QString &target)
{
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    constexpr qint64 chunkBytes = 1 << 20;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(chunkBytes);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    return out.commit();
}

// int() of a value that may lie beyond the int range, saturated instead of undefined.
int saturatedInt(double value)
{
    return static_cast<int>(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

} // namespace

MultiTrackEditorPage::MultiTrackEditorPage(QWidget *parent)
    : QWidget(parent), undoStack(new QUndoStack(this)), midiInput(new MidiInput(this)), metronome(new Metronome(this))
{
    setObjectName(QStringLiteral("MultiTrackEditorPage"));
    setFocusPolicy(Qt::StrongFocus);
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
    pluginBridge = new AudioPluginBridge;
    pluginBridge->initialize(sampleRate, engineBlockFrames);
    setupUi();
    setupTransport();
    loadPianoSamples();
    pianoRolls = new PianoRollSessions(&tracks, undoStack, &sf2Sampler, &pianoSampler, this);
    // While the live player runs it is the one that renders; the rolls only send notes.
    pianoRolls->setLivePlayer(liveAudioPlayer);
    connect(pianoRolls, &PianoRollSessions::clipsEdited, this, [this](TrackRowWidget *row) {
        if (ClipLaneWidget *lane = row->lane())
            lane->update();
        updateRuler();
    });
}

void MultiTrackEditorPage::loadPianoSamples()
{
    const QString resources = QStringLiteral(":/piano");
    if (QDir(resources).exists()) {
        qDebug() << "PianoSampler: loading from Qt resources :/piano";
        if (pianoSampler.loadSampleLibraryFromResources(resources)) {
            qDebug() << "PianoSampler: pianoLoaded=" << "true";
            return;
        }
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    qDebug() << "PianoSampler: app dir =" << appDir;
    const QStringList candidates = {
        appDir + QStringLiteral("/rawfile/piano"),
        appDir + QStringLiteral("/../rawfile/piano"),
        appDir + QStringLiteral("/resources/piano"),
        QDir(appDir + QStringLiteral("/../../entry/src/main/cpp/resources/piano")).absolutePath(),
        QDir(appDir + QStringLiteral("/../../entry/src/main/resources/rawfile/piano")).absolutePath(),
    };
    for (const QString &path : candidates) {
        const QDir dir(path);
        qDebug() << "PianoSampler: trying" << path << "exists=" << (dir.exists() ? "true" : "false");
        if (dir.exists() && !dir.entryList({QStringLiteral("*.mp3")}, QDir::Files).isEmpty()) {
            qDebug() << "PianoSampler: loading from" << path;
            pianoSampler.loadSampleLibrary(path);
            break;
        }
    }
    qDebug() << "PianoSampler: pianoLoaded=" << (pianoSampler.hasSamples() ? "true" : "false");
}

MultiTrackEditorPage::~MultiTrackEditorPage()
{
    // A clip drag's floating window has no parent to take it along.
    delete dragGhost;
    // The open piano rolls use the instruments, which are gone before Qt deletes children.
    delete pianoRolls;
    pianoRolls = nullptr;
    // Everything else that plays or points at the instruments goes before they do: they are
    // members, destroyed before the page's child objects would be.
    stopAudioRecording();
    stopMidiRecording();
    delete liveAudioPlayer;
    liveAudioPlayer = nullptr;
    metronome->stop();
    for (TrackRowWidget *row : trackRows) {
        delete row->header;
        delete row->lane();
        delete row;
    }
    trackRows.clear();
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
    // Editor windows still open go with the page: they hold their plug-ins, which would
    // otherwise stay loaded until the process ends.
    for (const auto &[id, window] : std::exchange(editorWindows, {}))
        delete window;
    pluginBridge->shutdown();
    delete pluginBridge;
}

void MultiTrackEditorPage::setupUi()
{
    setStyleSheet(partStyle(ThemeManager::MultitrackPart::Page));
    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    setupToolBar();
    mainLayout->addWidget(toolBar);

    auto *columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    headerScrollArea = new QScrollArea(this);
    headerScrollArea->setWidgetResizable(true);
    headerScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    headerScrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    headerScrollArea->setFixedWidth(188);
    headerScrollArea->setStyleSheet(QLatin1String(headerAreaStyle));
    auto *headerContainer = new QWidget;
    headerContainer->setStyleSheet(QLatin1String(headerContainerStyle));
    headerColumn = new QVBoxLayout(headerContainer);
    headerColumn->setContentsMargins(0, 0, 0, 0);
    headerColumn->setSpacing(0);
    addTrackButton = new QPushButton(tr("+ 添加轨道"), headerContainer);
    addTrackButton->setFixedHeight(36);
    addTrackButton->setStyleSheet(QLatin1String(addTrackStyle));
    connect(addTrackButton, &QPushButton::clicked, this, &MultiTrackEditorPage::showAddTrackMenu);
    headerColumn->addWidget(addTrackButton);
    headerColumn->addStretch();
    headerScrollArea->setWidget(headerContainer);
    columns->addWidget(headerScrollArea);

    auto *timeline = new QWidget(this);
    auto *timelineLayout = new QVBoxLayout(timeline);
    timelineLayout->setContentsMargins(0, 0, 0, 0);
    timelineLayout->setSpacing(0);
    laneScrollArea = new QScrollArea(this);
    laneScrollArea->setWidgetResizable(true);
    laneScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    laneScrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    laneScrollArea->setStyleSheet(QLatin1String(laneAreaStyle));
    auto *lanesContainer = new QWidget;
    lanesColumn = new QVBoxLayout(lanesContainer);
    lanesColumn->setContentsMargins(0, 0, 0, 0);
    lanesColumn->setSpacing(0);
    lanesColumn->addStretch();
    laneScrollArea->setWidget(lanesContainer);
    timelineLayout->addWidget(laneScrollArea, 1);
    ruler = new TimelineRulerWidget(this);
    timelineLayout->addWidget(ruler, 0);
    hScrollBar = new QScrollBar(Qt::Horizontal, this);
    hScrollBar->setStyleSheet(partStyle(ThemeManager::MultitrackPart::TimelineScrollBar));
    timelineLayout->addWidget(hScrollBar);
    columns->addWidget(timeline, 1);

    laneScrollArea->viewport()->installEventFilter(this);
    ruler->installEventFilter(this);
    laneScrollArea->viewport()->grabGesture(Qt::PinchGesture);
    connect(ruler, &TimelineRulerWidget::markerDoubleClicked, this,
            [this](int index) { renameMarker(index); });

    connect(hScrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        viewStartSec = value / 1000.0;
        forEachLane([this](ClipLaneWidget *lane) { lane->setViewStartSec(viewStartSec); });
        ruler->setViewStartSec(viewStartSec);
    });
    // The two columns scroll together; the guard stops the copy from echoing back.
    const auto mirror = [this](QScrollArea *target) {
        return [this, target](int value) {
            if (scrollSyncGuard)
                return;
            scrollSyncGuard = true;
            target->verticalScrollBar()->setValue(value);
            scrollSyncGuard = false;
        };
    };
    connect(headerScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this, mirror(laneScrollArea));
    connect(headerScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &MultiTrackEditorPage::revealHeadersInView);
    headerContainer->installEventFilter(this);
    headerScrollArea->viewport()->installEventFilter(this);
    connect(laneScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this, mirror(headerScrollArea));

    mainLayout->addLayout(columns, 1);
    setupTransportBar();
}

void MultiTrackEditorPage::setupToolBar()
{
    toolBar = new QToolBar(this);
    toolBar->setMovable(false);
    toolBar->setObjectName(QStringLiteral("MultiTrackToolBar"));
    toolBar->setStyleSheet(partStyle(ThemeManager::EditorPart::Toolbar));
    const auto addToolButton = [this](const QString &text, const QString &tip) {
        auto *button = new QPushButton(text, toolBar);
        button->setCheckable(true);
        button->setFixedSize(56, 28);
        button->setStyleSheet(toolStyle(false));
        button->setToolTip(tip);
        toolBar->addWidget(button);
        return button;
    };
    scissorButton = addToolButton(tr("剪刀"), tr("剪刀模式 - 点击音频块在播放头位置分离"));
    moveButton = addToolButton(tr("移动"), tr("移动模式 - 拖拽音频块到其他同类型轨道"));
    envelopeButton = addToolButton(tr("包络"), tr("音量包络 - Alt+点击添加控制点，拖拽调整，右键删除"));
    snapButton = addToolButton(tr("吸附"), tr("吸附到网格 - J 键切换"));
    connect(scissorButton, &QPushButton::clicked, this,
            [this] { onToolChanged(toolMode == Scissor ? None : Scissor); });
    connect(moveButton, &QPushButton::clicked, this, [this] { onToolChanged(toolMode == Move ? None : Move); });
    connect(envelopeButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onEnvelopeViewToggled);
    connect(snapButton, &QPushButton::clicked, this, &MultiTrackEditorPage::onSnapChanged);
}

void MultiTrackEditorPage::setupTransportBar()
{
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("TransportFrame"));
    frame->setStyleSheet(partStyle(ThemeManager::MultitrackPart::TransportFrame));
    auto *layout = new QHBoxLayout(frame);
    layout->setContentsMargins(20, 8, 20, 8);
    layout->setSpacing(6);
    const auto addTransportButton = [frame, layout](const QString &text, const char *objectName) {
        auto *button = new QPushButton(text, frame);
        button->setObjectName(QLatin1String(objectName));
        button->setFixedSize(48, 32);
        layout->addWidget(button);
        return button;
    };
    rewindButton = addTransportButton(tr("快退"), "TransportButton");
    playButton = addTransportButton(QStringLiteral(">"), "TransportPlayButton");
    stopButton = addTransportButton(tr("停止"), "TransportStopButton");
    forwardButton = addTransportButton(tr("快进"), "TransportButton");
    auto *separator = new QFrame(frame);
    separator->setObjectName(QStringLiteral("TransportSep"));
    separator->setFrameShape(QFrame::VLine);
    separator->setFixedHeight(24);
    layout->addWidget(separator);
    recordButton = addTransportButton(tr("录制"), "TransportRecordButton");

    metronomeButton = new QPushButton(tr("节拍器"), frame);
    metronomeButton->setCheckable(true);
    metronomeButton->setFixedSize(64, 32);
    metronomeButton->setStyleSheet(partStyle(ThemeManager::MultitrackPart::InactiveSmallToolButton));
    metronomeButton->setToolTip(tr("播放/录音时开启节拍器"));
    connect(metronomeButton, &QPushButton::clicked, this, [this](bool checked) {
        metronomeOn = checked;
        metronomeButton->setStyleSheet(partStyle(checked ? ThemeManager::MultitrackPart::ActiveSmallToolButton
                                                           : ThemeManager::MultitrackPart::InactiveSmallToolButton));
        if (!checked)
            metronome->stop();
    });
    layout->addWidget(metronomeButton);
    layout->addStretch();

    rulerModeCombo = new QComboBox(frame);
    rulerModeCombo->addItems({tr("时间"), tr("节拍")});
    rulerModeCombo->setFixedSize(64, 32);
    rulerModeCombo->setStyleSheet(QLatin1String(rulerModeStyle));
    connect(rulerModeCombo, &QComboBox::currentIndexChanged, this, &MultiTrackEditorPage::onRulerModeChanged);
    layout->addWidget(rulerModeCombo);

    bpmSpinBox = new QDoubleSpinBox(frame);
    bpmSpinBox->setRange(20, 300);
    bpmSpinBox->setDecimals(1);
    bpmSpinBox->setSuffix(QStringLiteral(" BPM"));
    bpmSpinBox->setValue(bpm);
    bpmSpinBox->setFixedSize(100, 32);
    bpmSpinBox->setStyleSheet(QLatin1String(bpmStyle));
    bpmSpinBox->hide();
    connect(bpmSpinBox, &QDoubleSpinBox::valueChanged, this, &MultiTrackEditorPage::onTempoChanged);
    layout->addWidget(bpmSpinBox);

    timeLabel = new QLabel(QStringLiteral("00:00:00.000"), frame);
    timeLabel->setObjectName(QStringLiteral("TimeLabel"));
    timeLabel->setMinimumWidth(120);
    layout->addWidget(timeLabel);

    auto *wrapper = new QWidget(this);
    auto *wrapperLayout = new QVBoxLayout(wrapper);
    wrapperLayout->setContentsMargins(0, 0, 0, 4);
    wrapperLayout->setSpacing(0);
    wrapperLayout->addWidget(frame);
    if (auto *pageLayout = qobject_cast<QVBoxLayout *>(QWidget::layout()))
        pageLayout->addWidget(wrapper);
}

void MultiTrackEditorPage::setSampleRate(int rate)
{
    // At 1 Hz one engine block would play for minutes.
    if (rate == sampleRate || !ProjectLimits::supportedSampleRate(rate))
        return;
    sampleRate = rate;
    replaceEngine();
    pluginBridge->shutdown();
    pluginBridge->initialize(rate, engineBlockFrames);
}

int MultiTrackEditorPage::countTracksOfType(TrackType type) const
{
    return static_cast<int>(
        std::count_if(tracks.begin(), tracks.end(), [type](const TrackData &t) { return t.type == type; }));
}

void MultiTrackEditorPage::addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                                    const QList<float> &stereoSamples)
{
    TrackData track;
    track.type = type;
    track.name = name.isEmpty() ? unnamedTrackName(TrackType::Audio) : name;
    if (!samples.isEmpty()) {
        AudioClip clip;
        clip.samples = samples;
        clip.stereoSamples = stereoSamples;
        clip.sampleRate = sampleRate;
        track.audioClips.push_back(std::move(clip));
        if (this->sampleRate < 1)
            this->sampleRate = sampleRate;
    }
    appendTrack(std::move(track), tr("添加轨道"));
}

void MultiTrackEditorPage::addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.name = name.isEmpty() ? unnamedTrackName(TrackType::Midi) : name;
    MidiClip clip;
    clip.notes = std::move(notes);
    clip.duration = length;
    track.midiClips.push_back(std::move(clip));
    appendTrack(std::move(track), tr("添加MIDI轨道"));
}

QString MultiTrackEditorPage::unnamedTrackName(TrackType type) const
{
    if (type == TrackType::Midi)
        return tr("MIDI轨 %1").arg(countTracksOfType(TrackType::Midi) + 1);
    return tr("轨道 %1").arg(tracks.size() + 1);
}

void MultiTrackEditorPage::appendLoadedTracks(std::vector<TrackData> loaded)
{
    tracks.reserve(tracks.size() + loaded.size());
    for (TrackData &track : loaded) {
        if (track.name.isEmpty())
            track.name = unnamedTrackName(track.type);
        tracks.push_back(std::move(track));
    }
    rebuildTrackRows();
}

void MultiTrackEditorPage::stopPlaybackBeforeTrackChange()
{
    // Slots name tracks by index: once the list shifts, a running stream would play one
    // track's render under another's mix settings. Every row added or taken away, also by
    // the track undo commands, passes here.
    if (engine->isPlaying())
        engine->stopPlayback();
}

void MultiTrackEditorPage::appendTrack(TrackData track, const QString &undoText)
{
    track.color = trackColors[tracks.size() % trackColors.size()];
    track.volume = 0.8f;
    if (track.type == TrackType::Midi)
        track.midiChannel = countTracksOfType(TrackType::Midi) % 16;
    tracks.push_back(std::move(track));
    // The append may have moved every record.
    rebindTrackRows(0);
    createTrackRow(static_cast<int>(tracks.size()) - 1);
    updateRuler();
    undoStack->push(new AddTrackCommand(this, undoText));
}

void MultiTrackEditorPage::scrollToTracks(int first, int last)
{
    // Rows added just now show, and so take their place, only once the event loop runs: Qt
    // shows a widget put into a layout later. The import that added them has not let it run.
    QMetaObject::invokeMethod(
        this,
        [this, first, last] {
            const int count = static_cast<int>(trackRows.size());
            if (first < 0 || last < first || last >= count)
                return;
            for (QScrollArea *area : {laneScrollArea, headerScrollArea}) {
                area->widget()->layout()->activate();
                QCoreApplication::sendPostedEvents(area->viewport(), QEvent::LayoutRequest);
            }
            laneScrollArea->ensureWidgetVisible(trackRows[static_cast<size_t>(last)]->lane(), 0, 0);
            laneScrollArea->ensureWidgetVisible(trackRows[static_cast<size_t>(first)]->lane(), 0, 0);
        },
        Qt::QueuedConnection);
}

void MultiTrackEditorPage::showAddTrackMenu()
{
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction(tr("音频轨")), &QAction::triggered, this, [this] {
        addTrack(TrackType::Audio, {}, sampleRate, tr("音频轨 %1").arg(countTracksOfType(TrackType::Audio) + 1), {});
    });
    connect(menu->addAction(tr("MIDI轨")), &QAction::triggered, this, [this] {
        addTrack(TrackType::Midi, {}, sampleRate, tr("MIDI轨 %1").arg(countTracksOfType(TrackType::Midi) + 1), {});
    });
    menu->popup(addTrackButton->mapToGlobal(addTrackButton->rect().bottomLeft()));
}

void MultiTrackEditorPage::removeTrack(int index)
{
    if (index < 0 || index >= static_cast<int>(tracks.size()))
        return;
    // Indexes shift with the removal: the recording ends first, into the track it was on.
    endRecording();
    TrackData removed = tracks[static_cast<size_t>(index)];
    destroyTrackRow(index);
    tracks.erase(tracks.begin() + index);
    rebindTrackRows(index);
    updateRuler();
    undoStack->push(new RemoveTrackCommand(this, index, std::move(removed), tr("删除轨道")));
}

void MultiTrackEditorPage::clearTracks()
{
    endRecording();
    stopPlaybackBeforeTrackChange();
    for (int i = static_cast<int>(trackRows.size()) - 1; i >= 0; --i)
        destroyTrackRow(i);
    tracks.clear();
    midiRenderCache.clear();
    audioRenderCache.clear();
    markers.clear();
    selectedTrack = -1;
    undoStack->clear();
    updateRuler();
}

void MultiTrackEditorPage::rebuildTrackRows()
{
    for (int i = static_cast<int>(trackRows.size()) - 1; i >= 0; --i)
        destroyTrackRow(i);
    for (int i = 0; i < static_cast<int>(tracks.size()); ++i)
        createTrackRow(i);
    selectedTrack = -1;
    updateRuler();
}

void MultiTrackEditorPage::refreshInstrumentLists()
{
    for (TrackRowWidget *row : trackRows)
        row->rebuildInstrumentList();
}

void MultiTrackEditorPage::createTrackRow(int index)
{
    if (index < 0 || index >= static_cast<int>(tracks.size()) || index > static_cast<int>(trackRows.size()))
        return;
    stopPlaybackBeforeTrackChange();
    auto *row = new TrackRowWidget(this, headerColumn->parentWidget(), lanesColumn->parentWidget());
    row->setTrackData(&tracks[static_cast<size_t>(index)], index, &sf2Sampler, &pianoSampler, pluginBridge);
    ClipLaneWidget *lane = row->lane();
    // Styled when first shown, not at the next turn of the event loop as a new child of a
    // shown column would be.
    row->header->hide();
    QCoreApplication::removePostedEvents(row->header, QEvent::PolishRequest);
    headerColumn->insertWidget(index, row->header);
    lanesColumn->insertWidget(index, lane);

    // Removal comes back through the event loop: the request may come from inside one of
    // the row's own handlers, and the row's index is read when the removal runs.
    connect(row, &TrackRowWidget::removeRequested, this, [this, row] {
        QMetaObject::invokeMethod(
            this,
            [this, guard = QPointer<TrackRowWidget>(row)] {
                if (guard)
                    removeTrack(guard->trackIndex);
            },
            Qt::QueuedConnection);
    });
    connect(row, &TrackRowWidget::trackChanged, this, [this, row] { onTrackChanged(row); });
    connect(row, &TrackRowWidget::trackSelected, this, &MultiTrackEditorPage::selectTrack);
    connect(row, &TrackRowWidget::playheadMoved, this, &MultiTrackEditorPage::syncPlayheadAll);
    connect(row, &TrackRowWidget::vst3EditorToggled, this, &MultiTrackEditorPage::onVst3EditorToggled);
    connect(lane, &ClipLaneWidget::envelopeChanged, this, [this, row] { updateEngineTrackSlot(row->trackIndex); });
    connectClipEdits(row);
    if (row->midiClipWidget) {
        connect(row->midiClipWidget, &ClipLaneWidget::clipDoubleClicked, this,
                [this, row](int clipIndex) { pianoRolls->open(row, clipIndex); });
    }
    connect(row->header, &TrackHeaderWidget::videoButtonClicked, this, [this] {
        if (videoDialog) {
            videoDialog->show();
            videoDialog->raise();
        }
    });

    showRowLater(lane);
    trackRows.insert(trackRows.begin() + index, row);
    row->show();
    // The selection stays on its track when a row is put back above it (an undone removal).
    if (selectedTrack >= index)
        ++selectedTrack;
    lane->setViewStartSec(viewStartSec);
    lane->setPlayheadPosition(ruler->playheadSec);
    syncZoomAll();
    lane->setToolMode(toolMode);
    lane->setSnapEnabled(snapEnabled);
    lane->setSnapBpm(bpm);
    if (envelopeButton->isChecked())
        lane->setShowEnvelope(true);
}

void MultiTrackEditorPage::destroyTrackRow(int index)
{
    if (index < 0 || index >= static_cast<int>(trackRows.size()))
        return;
    stopPlaybackBeforeTrackChange();
    TrackRowWidget *row = trackRows[static_cast<size_t>(index)];
    trackRows.erase(trackRows.begin() + index);
    // Every path that takes a row away (a removal, its redo, an undone addition) keeps the
    // selection on its track, or clears it when this was the one.
    if (selectedTrack == index)
        selectedTrack = -1;
    else if (selectedTrack > index)
        --selectedTrack;
    // Deleted once control is back in the event loop, in case a call from one of the row's
    // widgets led here; until then nothing can reach the record they pointed at.
    ClipLaneWidget *lane = row->lane();
    row->rebindTrackData(nullptr);
    row->disconnect(this);
    headerColumn->removeWidget(row->header);
    lanesColumn->removeWidget(lane);
    std::erase(lanesToShow, lane);
    for (QWidget *widget : {static_cast<QWidget *>(row->header), static_cast<QWidget *>(lane)}) {
        widget->hide();
        widget->deleteLater();
    }
    row->deleteLater();
}

void MultiTrackEditorPage::showRowLater(QWidget *lane)
{
    if (lanesToShow.empty()) {
        headerColumn->setEnabled(false);
        lanesColumn->setEnabled(false);
        QMetaObject::invokeMethod(this, &MultiTrackEditorPage::showWaitingRows, Qt::QueuedConnection);
    }
    lane->hide();  // shown with the others, not by the layout one at a time
    lanesToShow.push_back(lane);
}

void MultiTrackEditorPage::showWaitingRows()
{
    for (QWidget *widget : std::exchange(lanesToShow, {}))
        widget->show();
    headerColumn->setEnabled(true);
    lanesColumn->setEnabled(true);
    headerColumn->activate();
    lanesColumn->activate();
    revealHeadersInView();
}

void MultiTrackEditorPage::revealHeadersInView()
{
    // Where the headers stand once the column has its full height: one under the other,
    // from the top. The column may still be squeezed into the view when this runs.
    const int viewTop = -headerColumn->parentWidget()->y();
    const int viewHeight = headerScrollArea->viewport()->height();
    // A view's height above and below, so a scroll finds its headers ready.
    const int nearTop = viewTop - viewHeight;
    const int nearBottom = viewTop + 2 * viewHeight;
    int top = 0;
    for (const TrackRowWidget *row : trackRows) {
        if (top >= nearBottom)
            break;
        const int bottom = top + row->header->minimumHeight();
        if (bottom > nearTop && row->header->isHidden())
            row->header->show();
        top = bottom;
    }
}

void MultiTrackEditorPage::revealHeadersSoon()
{
    if (headerRevealPending)
        return;
    headerRevealPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            headerRevealPending = false;
            revealHeadersInView();
        },
        Qt::QueuedConnection);
}

void MultiTrackEditorPage::rebindTrackRows(int from)
{
    for (int i = std::max(from, 0); i < static_cast<int>(trackRows.size()); ++i) {
        trackRows[static_cast<size_t>(i)]->updateIndex(i);
        trackRows[static_cast<size_t>(i)]->rebindTrackData(&tracks[static_cast<size_t>(i)]);
    }
}

void MultiTrackEditorPage::onVst3EditorToggled(int index, bool show)
{
    if (index < 0 || index >= static_cast<int>(tracks.size()) || !pluginBridge)
        return;
    const int id = tracks[static_cast<size_t>(index)].pluginId;
    if (id < 0)
        return;
    const auto open = editorWindows.find(id);
    if (!show) {
        if (open == editorWindows.end())
            return;
        // Forgotten first, so the window's closing report finds nothing left to erase.
        VST3EditorWindow *window = open->second;
        editorWindows.erase(open);
        window->close();
        window->deleteLater();
        return;
    }
    if (open != editorWindows.end()) {
        open->second->show();
        return;
    }
    const PluginInfo info = pluginBridge->getPluginInfo(id);
    if (info.path.empty())
        return;
    std::shared_ptr<VST3PluginInstance> instance = pluginBridge->getPluginInstance(id);
    if (!instance)
        return;
    auto *window = new VST3EditorWindow(std::move(instance), info.name);
    window->pluginId = id;
    // A secondary window of the program's own: an editor left open does not keep the
    // program running once the main window closes.
    window->setTransientParent(this->window()->windowHandle());
    connect(window, &VST3EditorWindow::windowClosed, this, [this, window](int closedId) {
        // Only this window's own entry: a newer window may already stand under the id.
        const auto entry = editorWindows.find(closedId);
        if (entry != editorWindows.end() && entry->second == window)
            editorWindows.erase(entry);
    });
    editorWindows[id] = window;
    window->show();
}

void MultiTrackEditorPage::onTrackChanged(const TrackRowWidget *row)
{
    const int index = row->trackIndex;
    if (index < 0 || index >= static_cast<int>(tracks.size()))
        return;
    if (tracks[static_cast<size_t>(index)].armed) {
        // One armed track at a time; the other header turns off without reporting it again.
        for (int i = 0; i < static_cast<int>(tracks.size()); ++i) {
            if (i == index || !tracks[static_cast<size_t>(i)].armed)
                continue;
            tracks[static_cast<size_t>(i)].armed = false;
            if (i < static_cast<int>(trackRows.size())) {
                TrackHeaderWidget *header = trackRows[static_cast<size_t>(i)]->header;
                const QSignalBlocker blocker(header);
                header->setArmed(false);
            }
        }
    }
    updateRuler();
    updateEngineTrackSlot(index);
}

void MultiTrackEditorPage::selectTrack(int index)
{
    for (TrackRowWidget *row : trackRows)
        row->setSelected(row->trackIndex == index);
    selectedTrack = index;
}

void MultiTrackEditorPage::onToolChanged(ToolMode mode)
{
    toolMode = mode;
    scissorButton->setStyleSheet(toolStyle(mode == Scissor));
    moveButton->setStyleSheet(toolStyle(mode == Move));
    forEachLane([mode](ClipLaneWidget *lane) { lane->setToolMode(mode); });
}

void MultiTrackEditorPage::onSnapChanged(bool enabled)
{
    snapEnabled = enabled;
    snapButton->setChecked(enabled);
    snapButton->setStyleSheet(toolStyle(enabled));
    forEachLane([enabled](ClipLaneWidget *lane) { lane->setSnapEnabled(enabled); });
}

void MultiTrackEditorPage::onEnvelopeViewToggled(bool checked)
{
    envelopeButton->setStyleSheet(toolStyle(checked));
    forEachLane([checked](ClipLaneWidget *lane) { lane->setShowEnvelope(checked); });
    // Switching the view off leaves every track's envelope as it is.
    if (checked) {
        for (TrackData &track : tracks)
            track.envelopeEnabled = true;
    }
}

void MultiTrackEditorPage::onRulerModeChanged(int index)
{
    const bool bars = index == 1;
    ruler->setRulerMode(bars ? TimelineRulerWidget::BarsBeats : TimelineRulerWidget::Time);
    bpmSpinBox->setVisible(bars);
    updateRuler();
}

void MultiTrackEditorPage::setTempo(double value)
{
    {
        const QSignalBlocker blocker(bpmSpinBox);
        bpmSpinBox->setValue(value);
    }
    onTempoChanged(value);
}

void MultiTrackEditorPage::onTempoChanged(double value)
{
    bpm = value;
    ruler->setBpm(value);
    forEachLane([value](ClipLaneWidget *lane) { lane->setSnapBpm(value); });
    updateRuler();
}

double MultiTrackEditorPage::clipsEnd() const
{
    // MIDI clips end where they sound, at the project tempo, as the lanes draw them.
    const double midiScale = midiTempoScale(bpm, midiFileTempo);
    double end = 0.0;
    for (const TrackData &track : tracks) {
        for (const AudioClip &clip : track.audioClips)
            end = std::max(end, clip.start + clip.length());
        for (const MidiClip &clip : track.midiClips)
            end = std::max(end, (clip.start + clip.duration) * midiScale);
    }
    return end;
}

double MultiTrackEditorPage::projectLength() const
{
    return std::max(clipsEnd(), minProjectSeconds);
}

int MultiTrackEditorPage::viewportWidth() const
{
    return laneScrollArea->viewport()->width();
}

double MultiTrackEditorPage::clampZoom(double value) const
{
    const int w = viewportWidth();
    // The whole project never gets narrower than the lanes, except for very long projects.
    const double fitZoom = w > 100 ? w / (TimelineScale::pixelsPerSecondAtZoom1 * projectLength()) : 0.0;
    return std::max(std::min(value, maxZoom), std::max(fitZoom, minZoom));
}

void MultiTrackEditorPage::syncZoomAll()
{
    zoom = clampZoom(zoom);
    forEachLane([this](ClipLaneWidget *lane) { lane->setZoomLevel(zoom); });
    ruler->setZoomLevel(zoom);
    updateRuler();
}

void MultiTrackEditorPage::applyZoom(double newZoom, int anchorX)
{
    const double oldZoom = zoom;
    zoom = clampZoom(newZoom);
    if (std::abs(zoom - oldZoom) * 1e12 <= std::min(std::abs(zoom), std::abs(oldZoom)))
        return;
    if (anchorX >= 0 && TimelineScale::pixelsPerSecond(oldZoom) > 0.0) {
        // The time under the anchor stays where it was.
        viewStartSec += TimelineScale::secondsAt(anchorX, 0.0, oldZoom) - TimelineScale::secondsAt(anchorX, 0.0, zoom);
        viewStartSec = std::max(viewStartSec, 0.0);
    }
    forEachLane([this](ClipLaneWidget *lane) {
        lane->setZoomLevel(zoom);
        lane->setViewStartSec(viewStartSec);
    });
    ruler->setZoomLevel(zoom);
    ruler->setViewStartSec(viewStartSec);
    updateRuler();
    const QSignalBlocker blocker(hScrollBar);
    hScrollBar->setValue(saturatedInt(1000.0 * viewStartSec));
}

void MultiTrackEditorPage::updateRuler()
{
    const double duration = projectLength();
    ruler->setDuration(duration);
    ruler->setViewStartSec(viewStartSec);
    ruler->setZoomLevel(zoom);
    const int w = viewportWidth();
    if (w > 100)
        ruler->setFixedWidth(w);
    const int page = std::max(1, saturatedInt(w / TimelineScale::pixelsPerSecond(zoom) * 1000.0));
    hScrollBar->setRange(0, std::max(0, saturatedInt(duration * 1000.0) - page));
    hScrollBar->setPageStep(page);
    hScrollBar->setSingleStep(page / 10);
    ruler->setMarkers(markers);
    syncMidiTempoScale();
}

bool MultiTrackEditorPage::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == headerColumn->parentWidget() || watched == headerScrollArea->viewport())
        && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        revealHeadersSoon();
    if (watched != laneScrollArea->viewport() && watched != ruler)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Resize:
        // The ruler keeps the lanes' width, also when their vertical scroll bar comes or goes.
        if (watched == laneScrollArea->viewport())
            updateRuler();
        break;
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        int delta = 0;
        if (wheel->modifiers().testFlag(Qt::ControlModifier)) {
            delta = wheel->pixelDelta().y() != 0 ? wheel->pixelDelta().y() : wheel->angleDelta().y();
        } else if (wheel->pixelDelta().y() != 0 && std::abs(wheel->angleDelta().y()) <= 119) {
            // A precision touchpad's two-finger scroll zooms without Ctrl.
            delta = wheel->pixelDelta().y();
        } else {
            return false;
        }
        const double factor = delta > 0 ? wheelZoomFactor : 1.0 / wheelZoomFactor;
        applyZoom(zoom * factor, static_cast<int>(wheel->position().x()));
        return true;
    }
    case QEvent::NativeGesture: {
        const auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() != Qt::ZoomNativeGesture && gesture->gestureType() != Qt::SmartZoomNativeGesture)
            break;
        applyZoom(zoom * (1.0 + gesture->value()), saturatedInt(std::round(gesture->position().x())));
        return true;
    }
    case QEvent::Gesture: {
        auto *gestures = static_cast<QGestureEvent *>(event);
        const auto *pinch = static_cast<QPinchGesture *>(gestures->gesture(Qt::PinchGesture));
        if (!pinch)
            break;
        applyZoom(zoom * pinch->scaleFactor(), static_cast<int>(pinch->centerPoint().x()));
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MultiTrackEditorPage::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && modifiers.testFlag(Qt::ShiftModifier)
        && selectedTrack >= 0) {
        removeTrack(selectedTrack);
    } else if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        stepHistory(event->matches(QKeySequence::Redo));
    } else if (key == Qt::Key_M && modifiers == Qt::ControlModifier) {
        addMarkerAtPlayhead();
    } else if (key == Qt::Key_J && modifiers == Qt::NoModifier) {
        onSnapChanged(!snapEnabled);
    } else if (key == Qt::Key_Space && modifiers == Qt::NoModifier) {
        onPlayPause();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MultiTrackEditorPage::showEvent(QShowEvent *event)
{
    for (TrackRowWidget *row : trackRows)
        row->refreshHeader();
    QWidget::showEvent(event);
}

void MultiTrackEditorPage::syncPlayheadAll(double seconds)
{
    forEachLane([seconds](ClipLaneWidget *lane) { lane->setPlayheadPosition(seconds); });
    ruler->setPlayheadPosition(seconds);
    pianoRolls->setPlayheadPosition(seconds);
    updateTimeLabel(seconds);
    if (videoDialog)
        videoDialog->syncPosition(seconds);
    scrollToPlayhead(seconds);
}

void MultiTrackEditorPage::updateTimeLabel(double seconds)
{
    if (rulerModeCombo->currentIndex() == 1) {
        const double beats = seconds * bpm / 60.0;
        const int whole = saturatedInt(beats);
        timeLabel->setText(tr("第 %1.%2 小节  %3拍")
                               .arg(whole / 4 + 1)
                               .arg(whole % 4 + 1)
                               .arg(saturatedInt((beats - whole) * 100.0), 2, 10, QLatin1Char('0')));
        return;
    }
    const qint64 ms = static_cast<qint64>(seconds * 1000.0);
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 - hours * 60;
    const qint64 secs = ms / 1000 - (ms / 60000) * 60;
    timeLabel->setText(QStringLiteral("%1:%2:%3.%4")
                           .arg(hours, 2, 10, QLatin1Char('0'))
                           .arg(minutes, 2, 10, QLatin1Char('0'))
                           .arg(secs, 2, 10, QLatin1Char('0'))
                           .arg(ms % 1000, 3, 10, QLatin1Char('0')));
}

void MultiTrackEditorPage::stepHistory(bool redo)
{
    if (!historyStepAllowed())
        return;
    redo ? undoStack->redo() : undoStack->undo();
    forEachLane([](ClipLaneWidget *lane) { lane->update(); });
    updateRuler();
}

void MultiTrackEditorPage::forEachLane(const std::function<void(ClipLaneWidget *)> &apply) const
{
    for (TrackRowWidget *row : trackRows) {
        if (ClipLaneWidget *lane = row->lane())
            apply(lane);
    }
}

void MultiTrackEditorPage::setMarkers(const std::vector<TimelineMarker> &markers)
{
    // A file may list its markers in any order; the page keeps them sorted by time.
    this->markers = markers;
    std::stable_sort(this->markers.begin(), this->markers.end(),
                     [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; });
    updateRuler();
}

void MultiTrackEditorPage::showMidiDeviceDialog()
{
    MidiDeviceDialog dialog(midiInput, this);
    connect(&dialog, &MidiDeviceDialog::deviceSelected, this, [this] {
        ensureLivePlayer();
        midiConnected = true;
    });
    connect(&dialog, &MidiDeviceDialog::disconnected, this, [this] {
        liveAudioPlayer->stop();
        midiConnected = false;
    });
    dialog.exec();
}

QString MultiTrackEditorPage::sf2Directory() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/soundfonts");
}

bool MultiTrackEditorPage::copyAndLoadSoundFont(const QString &path)
{
    // Trying the file on an instrument of its own first keeps a damaged file out of the
    // folder and the loaded SoundFont playing.
    if (!SF2Sampler().loadSoundFont(path))
        return false;

    const QString dir = sf2Directory();
    QDir().mkpath(dir);
    const QString dest = dir + QLatin1Char('/') + QFileInfo(path).fileName();
    QString loadPath = dest;
    if (QFileInfo(dest).canonicalFilePath() == QFileInfo(path).canonicalFilePath()) {
        loadPath = path;
    } else if (copyReplacing(path, dest)) {
        qDebug() << "MultiTrackEditorPage: SF2 copied to" << dest;
    } else {
        qWarning() << "MultiTrackEditorPage: failed to copy SF2 to app dir:" << path << "->" << dest;
        loadPath = path;
    }
    const bool loaded = sf2Sampler.loadSoundFont(loadPath);
    refreshInstrumentLists();
    retargetLivePlayer();
    return loaded;
}

void MultiTrackEditorPage::scanAndLoadExistingSf2()
{
    const QDir dir(sf2Directory());
    if (!dir.exists())
        return;
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.sf2")}, QDir::Files,
                                                  QDir::Name | QDir::IgnoreCase);
    // A damaged file must not keep the next one from loading.
    for (const QFileInfo &file : files) {
        const QString path = file.absoluteFilePath();
        qDebug() << "MultiTrackEditorPage: auto-loading SF2 from app dir:" << path;
        if (sf2Sampler.loadSoundFont(path)) {
            refreshInstrumentLists();
            retargetLivePlayer();
            return;
        }
        qWarning() << "MultiTrackEditorPage: skipping a SoundFont that does not load:" << path;
    }
}

void MultiTrackEditorPage::replaceEngine()
{
    // A playback that was running ends here; the next one opens the device at the new rate.
    engine->stopPlayback();
    engine->shutdown();
    delete engine;
    engine = new MultiTrackAudioEngine;
    engine->initialize(sampleRate, engineBlockFrames);
}

TrackData MultiTrackEditorPage::tempoScaledTrack(const TrackData &track) const
{
    return tempoScaled(track, midiTempoScale(bpm, midiFileTempo));
}

QList<float> MultiTrackEditorPage::renderTrack(const TrackData &track)
{
    if (track.type == TrackType::Audio)
        return track.audioClips.empty() ? QList<float>() : renderAudioClips(track, sampleRate);

    const TrackData scaled = tempoScaledTrack(track);
    QList<float> render;
    if (sf2Sampler.isLoaded())
        render = sf2Sampler.renderTrack(scaled, sampleRate);
    else if (pianoSampler.hasSamples())
        render = pianoSampler.renderTrack(scaled, sampleRate);
    applyEnvelope(track, std::span<float>(render.data(), size_t(render.size())), sampleRate);
    return render;
}

void MultiTrackEditorPage::renderPlaybackSlots()
{
    renderCachesAndSlots(-1);
}

void MultiTrackEditorPage::buildPlaybackSlotsForRecording(int recordTrackIndex)
{
    renderCachesAndSlots(recordTrackIndex);
}

void MultiTrackEditorPage::renderCachesAndSlots(int recordTrackIndex)
{
    std::vector<QList<float>> midiRenders(tracks.size());
    std::vector<QList<float>> audioRenders(tracks.size());
    std::vector<bool> withEnvelope(tracks.size(), false);
    // The recording track plays without its last clip, the one the recording fills.
    std::optional<TrackData> recordingTrackPlayed;
    if (recordTrackIndex >= 0 && recordTrackIndex < int(tracks.size())) {
        recordingTrackPlayed = tracks[size_t(recordTrackIndex)];
        if (recordingTrackPlayed->type == TrackType::Midi && !recordingTrackPlayed->midiClips.empty())
            recordingTrackPlayed->midiClips.pop_back();
        else if (recordingTrackPlayed->type == TrackType::Audio && !recordingTrackPlayed->audioClips.empty())
            recordingTrackPlayed->audioClips.pop_back();
    }
    const auto played = [&](size_t i) -> const TrackData & {
        return int(i) == recordTrackIndex ? *recordingTrackPlayed : tracks[i];
    };
    const auto hasClips = [](const TrackData &track) {
        return track.type == TrackType::Midi ? !track.midiClips.empty() : !track.audioClips.empty();
    };

    // Audio renders are pure and independent, so they run side by side; the instruments
    // keep one synthesiser each, so MIDI tracks render one after another.
    std::vector<size_t> audioTracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (!hasClips(played(i)))
            continue;
        if (tracks[i].type == TrackType::Midi)
            midiRenders[i] = renderTrack(played(i));
        else
            audioTracks.push_back(i);
    }
    const int threads = int(std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), audioTracks.size()));
    ParallelRanges::run(qint64(audioTracks.size()), threads, [&](qint64 first, qint64 count, bool) {
        for (qint64 k = first; k < first + count; ++k)
            audioRenders[audioTracks[size_t(k)]] = renderAudioClips(played(audioTracks[size_t(k)]), sampleRate);
        return true;
    });

    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots;
    trackSlots.reserve(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        const QList<float> &render = tracks[i].type == TrackType::Midi ? midiRenders[i] : audioRenders[i];
        withEnvelope[i] = envelopeInForce(tracks[i]);
        trackSlots.push_back(trackSlot(tracks[i], render, withEnvelope[i]));
    }
    engine->setTracks(trackSlots);
    // The old renders are freed only once no block of a running stream can read them.
    if (!engine->waitForSlotAdoption())
        engine->stopPlayback();
    midiRenderCache = std::move(midiRenders);
    audioRenderCache = std::move(audioRenders);
    envelopeInRender = std::move(withEnvelope);
}

void MultiTrackEditorPage::updateEngineTrackSlot(int index)
{
    if (index < 0 || !engine || index >= int(tracks.size()) || !engine->isPlaying())
        return;
    const size_t i = size_t(index);
    const TrackData &track = tracks[i];
    const std::vector<QList<float>> &cache = track.type == TrackType::Midi ? midiRenderCache : audioRenderCache;
    const QList<float> render = i < cache.size() ? cache[i] : QList<float>();
    // The gain follows the cached render: an envelope switched on or off since it was made
    // is heard from the next Play, not as a jump to gain 1 over a render without it.
    const bool withEnvelope = i < envelopeInRender.size() && envelopeInRender[i];
    engine->updateTrackSlot(index, trackSlot(track, render, withEnvelope));
}

bool MultiTrackEditorPage::renderMixdown(QList<float> &out, int &outRate)
{
    outRate = sampleRate;
    if (tracks.empty())
        return false;

    // The end counts the MIDI clips as they sound, tempo-scaled, so no tail is cut.
    double projectEnd = 0.0;
    for (const TrackData &track : tracks) {
        const TrackRenderPlan plan(tempoScaledTrack(track), sampleRate);
        if (!plan.isEmpty())
            projectEnd = std::max(projectEnd, plan.trackEnd());
    }
    const std::optional<qint64> frames = TrackRenderPlan::framesAt(projectEnd, sampleRate);
    if (!(projectEnd > 0.0) || !frames || *frames < 1)
        return false;

    // Audio tracks are rendered and mixed a window at a time, so a long project never holds
    // every track's render at once; MIDI tracks come whole from their instrument. Every track
    // gets a slot, silent ones too, so a soloed silent track still silences the rest.
    constexpr qint64 windowFrames = 16384;
    std::vector<QList<float>> renders(tracks.size());
    std::vector<bool> windowed(tracks.size(), false);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TrackData &track = tracks[i];
        windowed[i] = track.type == TrackType::Audio && !TrackRenderPlan(track, sampleRate).isEmpty();
        if (windowed[i])
            renders[i].resize(windowFrames);
        else
            renders[i] = renderTrack(track);
    }
    out.resize(2 * *frames);
    QList<float> window;
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots(tracks.size());
    for (qint64 first = 0; first < *frames; first += windowFrames) {
        const qint64 count = std::min(windowFrames, *frames - first);
        for (size_t i = 0; i < tracks.size(); ++i) {
            std::span<const float> part;
            if (windowed[i]) {
                const std::span<float> target(renders[i].data(), size_t(count));
                renderAudioClips(tracks[i], sampleRate, first, target);
                part = target;
            } else if (renders[i].size() > first) {
                part = {renders[i].constData() + first, size_t(std::min(count, renders[i].size() - first))};
            }
            trackSlots[i] = trackSlot(tracks[i], part, envelopeInForce(tracks[i]));
        }
        engine->renderOffline(trackSlots, int(count), sampleRate, window);
        std::copy(window.cbegin(), window.cend(), out.begin() + 2 * first);
    }
    return true;
}

void MultiTrackEditorPage::setVideoPlayerDialog(VideoPlayerDialog *dialog)
{
    disconnect(videoDestroyedConnection);
    videoDialog = dialog;
    if (dialog)
        videoDestroyedConnection = connect(dialog, &QObject::destroyed, this, [this] { videoDialog = nullptr; });
}

void MultiTrackEditorPage::showVideoButtonOnTrack(int index)
{
    if (index >= 0 && index < int(trackRows.size()))
        trackRows[index]->header->setVideoButtonVisible(true);
}
