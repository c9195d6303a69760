// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: shows the open project's tracks as rows of headers and clip
// lanes on a zoomable timeline, and edits, plays and records them.
#include "MultiTrackEditorPage.h"

#include "AudioClipWidget.h"
#include "MidiClipWidget.h"
#include "MidiDeviceDialog.h"
#include "PianoRollSessions.h"
#include "TimelineRulerWidget.h"
#include "TrackHeaderWidget.h"
#include "TrackRowWidget.h"
#include "engine/LiveAudioPlayer.h"
#include "engine/Metronome.h"
#include "engine/MidiInput.h"
#include "engine/MultiTrackAudioEngine.h"
#include "plugins/AudioPluginBridge.h"
#include "plugins/widgets/VST3EditorWindow.h"
#include "project/UndoCommands.h"
#include "ui/ThemeManager.h"
#include "ui/TimeViewport.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGestureEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPinchGesture>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace {

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
    "QComboBox::down-arrow { image: url(:/style/arrow-down-small.png); width: 6px; height: 5px; }"
    "QComboBox QAbstractItemView { background-color: #25253a; border: 1px "
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

// int() of a value that may lie beyond the int range, saturated instead of undefined.
int saturatedInt(double value)
{
    return static_cast<int>(std::clamp(value, double(INT_MIN), double(INT_MAX)));
}

} // namespace

MultiTrackEditorPage::MultiTrackEditorPage(ProjectDocument &document, QWidget *parent)
    : QWidget(parent), doc(document), midiInput(new MidiInput(this)), metronome(new Metronome(this))
{
    setObjectName(QStringLiteral("MultiTrackEditorPage"));
    setFocusPolicy(Qt::StrongFocus);
    pluginBridge = new AudioPluginBridge;
    pluginBridge->initialize(doc.sampleRate, ProjectDocument::engineBlockFrames);
    connect(&doc, &ProjectDocument::sampleRateChanged, this, [this](int rate) {
        pluginBridge->shutdown();
        pluginBridge->initialize(rate, ProjectDocument::engineBlockFrames);
    });
    // The rows point into the tracks: they go before a load and come back after it.
    connect(&doc, &ProjectDocument::aboutToReplace, this, &MultiTrackEditorPage::clearTracks);
    connect(&doc, &ProjectDocument::replaced, this, &MultiTrackEditorPage::showDocument);
    setupUi();
    setupTransport();
    pianoRolls = new PianoRollSessions(&doc.tracks, doc.undoStack, &doc.sf2Sampler, &doc.pianoSampler, this);
    // While the live player runs it is the one that renders; the rolls only send notes.
    pianoRolls->setLivePlayer(liveAudioPlayer);
    connect(pianoRolls, &PianoRollSessions::clipsEdited, this, [this](TrackRowWidget *row) {
        if (ClipLaneWidget *lane = row->lane())
            lane->update();
        updateRuler();
    });
}

MultiTrackEditorPage::~MultiTrackEditorPage()
{
    // A clip drag's floating window has no parent to take it along.
    delete dragGhost;
    // The open piano rolls and everything else that plays goes before the rows and the
    // plug-ins it may use.
    delete pianoRolls;
    pianoRolls = nullptr;
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
    doc.engine->stopPlayback();
    doc.undoStack->clear();
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
    bpmSpinBox->setValue(doc.bpm);
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

void MultiTrackEditorPage::addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                                    const QList<float> &stereoSamples)
{
    TrackData track;
    track.type = type;
    track.name = name.isEmpty() ? doc.unnamedTrackName(TrackType::Audio) : name;
    if (!samples.isEmpty()) {
        AudioClip clip;
        clip.samples = samples;
        clip.stereoSamples = stereoSamples;
        clip.sampleRate = sampleRate;
        track.audioClips.push_back(std::move(clip));
    }
    appendTrack(std::move(track), tr("添加轨道"));
}

void MultiTrackEditorPage::addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.name = name.isEmpty() ? doc.unnamedTrackName(TrackType::Midi) : name;
    MidiClip clip;
    clip.notes = std::move(notes);
    clip.duration = length;
    track.midiClips.push_back(std::move(clip));
    appendTrack(std::move(track), tr("添加MIDI轨道"));
}

void MultiTrackEditorPage::appendLoadedTracks(std::vector<TrackData> loaded)
{
    doc.appendLoadedTracks(std::move(loaded));
    rebuildTrackRows();
}

void MultiTrackEditorPage::stopPlaybackBeforeTrackChange()
{
    // Slots name tracks by index: once the list shifts, a running stream would play one
    // track's render under another's mix settings. Every row added or taken away, also by
    // the track undo commands, passes here.
    if (doc.engine->isPlaying())
        doc.engine->stopPlayback();
}

void MultiTrackEditorPage::appendTrack(TrackData track, const QString &undoText)
{
    track.color = trackColors[doc.tracks.size() % trackColors.size()];
    track.volume = 0.8f;
    if (track.type == TrackType::Midi)
        track.midiChannel = doc.countTracksOfType(TrackType::Midi) % 16;
    doc.tracks.push_back(std::move(track));
    // The append may have moved every record.
    rebindTrackRows(0);
    createTrackRow(static_cast<int>(doc.tracks.size()) - 1);
    updateRuler();
    doc.undoStack->push(new AddTrackCommand(this, undoText));
}

void MultiTrackEditorPage::showAddTrackMenu()
{
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction(tr("音频轨")), &QAction::triggered, this, [this] {
        addTrack(TrackType::Audio, {}, doc.sampleRate, tr("音频轨 %1").arg(doc.countTracksOfType(TrackType::Audio) + 1), {});
    });
    connect(menu->addAction(tr("MIDI轨")), &QAction::triggered, this, [this] {
        addTrack(TrackType::Midi, {}, doc.sampleRate, tr("MIDI轨 %1").arg(doc.countTracksOfType(TrackType::Midi) + 1), {});
    });
    menu->popup(addTrackButton->mapToGlobal(addTrackButton->rect().bottomLeft()));
}

void MultiTrackEditorPage::removeTrack(int index)
{
    if (index < 0 || index >= static_cast<int>(doc.tracks.size()))
        return;
    // Indexes shift with the removal: the recording ends first, into the track it was on.
    endRecording();
    TrackData removed = doc.tracks[static_cast<size_t>(index)];
    destroyTrackRow(index);
    doc.tracks.erase(doc.tracks.begin() + index);
    rebindTrackRows(index);
    updateRuler();
    doc.undoStack->push(new RemoveTrackCommand(this, index, std::move(removed), tr("删除轨道")));
}

void MultiTrackEditorPage::showDocument()
{
    setTempo(doc.bpm);
    rebuildTrackRows();
}

void MultiTrackEditorPage::clearTracks()
{
    endRecording();
    stopPlaybackBeforeTrackChange();
    for (int i = static_cast<int>(trackRows.size()) - 1; i >= 0; --i)
        destroyTrackRow(i);
    doc.tracks.clear();
    doc.midiRenderCache.clear();
    doc.audioRenderCache.clear();
    doc.markers.clear();
    selectedTrack = -1;
    doc.undoStack->clear();
    updateRuler();
}

void MultiTrackEditorPage::onVst3EditorToggled(int index, bool show)
{
    if (index < 0 || index >= static_cast<int>(doc.tracks.size()) || !pluginBridge)
        return;
    const int id = doc.tracks[static_cast<size_t>(index)].pluginId;
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
    if (index < 0 || index >= static_cast<int>(doc.tracks.size()))
        return;
    if (doc.tracks[static_cast<size_t>(index)].armed) {
        // One armed track at a time; the other header turns off without reporting it again.
        for (int i = 0; i < static_cast<int>(doc.tracks.size()); ++i) {
            if (i == index || !doc.tracks[static_cast<size_t>(i)].armed)
                continue;
            doc.tracks[static_cast<size_t>(i)].armed = false;
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
        for (TrackData &track : doc.tracks)
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
    doc.bpm = value;
    ruler->setBpm(value);
    forEachLane([value](ClipLaneWidget *lane) { lane->setSnapBpm(value); });
    updateRuler();
}

double MultiTrackEditorPage::projectLength() const
{
    return std::max(doc.clipsEnd(), minProjectSeconds);
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
    ruler->setMarkers(doc.markers);
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
        const double beats = seconds * doc.bpm / 60.0;
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
    redo ? doc.undoStack->redo() : doc.undoStack->undo();
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
    doc.setMarkers(markers);
    updateRuler();
}

bool MultiTrackEditorPage::copyAndLoadSoundFont(const QString &path)
{
    if (!doc.copyAndLoadSoundFont(path))
        return false;
    refreshInstrumentLists();
    retargetLivePlayer();
    return true;
}

void MultiTrackEditorPage::scanAndLoadExistingSf2()
{
    if (!doc.loadFirstSoundFontInFolder())
        return;
    refreshInstrumentLists();
    retargetLivePlayer();
}

bool MultiTrackEditorPage::loadSoundFont(const QString &path)
{
    const bool loaded = doc.sf2Sampler.loadSoundFont(path);
    // A failed load leaves no SoundFont: the lists and the live keys fall back to the piano.
    refreshInstrumentLists();
    retargetLivePlayer();
    return loaded;
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
