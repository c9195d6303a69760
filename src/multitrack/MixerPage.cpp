// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer page: one channel strip per track of the multitrack project and a Master strip.
#include "MixerPage.h"

#include "FaderScale.h"
#include "document/ProjectDocument.h"
#include "ui/ThemeManager.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const char *const topBarStyle = "QFrame#MixerTopBar {  background-color: #1a1a28;  border-bottom: 1px solid "
                                "rgba(42,130,218,40);}";
const char *const titleStyle = "color: #aab; font-size: 13px; font-weight: bold; background: transparent; border: none;";
const char *const thinSeparatorStyle = "QFrame { color: rgba(42,130,218,20); background: rgba(42,130,218,20); "
                                       "max-width: 1px; }";
const char *const wideSeparatorStyle = "QFrame { color: rgba(42,130,218,50); background: rgba(42,130,218,50); "
                                       "max-width: 2px; }";
const char *const transparentFrameStyle = "QFrame { background: transparent; border: none; }";
const char *const slotRowStyle = "QWidget { background: #1e1e2c; border: none; }";
const char *const slotNumberStyle = "color: #445; font-size: 8px; background: transparent; border: none;";
const char *const bypassStyle =
    "QPushButton { background: #262636; color: #445; border: 1px solid #333345; border-radius: 2px; font-size: 8px; "
    "font-weight: bold; }QPushButton:checked { background: #665500; color: #cc0; border-color: #996600; }"
    "QPushButton:hover { border-color: #2a82da; }";
const char *const filledSlotStyle =
    "QPushButton { background: #1e2e1e; color: #8c8; border: 1px solid #3a5a3a; border-radius: 2px; font-size: 9px; "
    "text-align: left; padding-left: 4px; }QPushButton:hover { border-color: #2a82da; color: #afa; }";
const char *const emptySlotStyle =
    "QPushButton { background: #262636; color: #445; border: 1px dashed #333345; border-radius: 2px; font-size: "
    "12px; font-weight: bold; }QPushButton:hover { border-color: #2a82da; color: #aab; background: #2a2a3a; }";
const char *const slotMenuStyle = "QMenu { background: #222; color: #ccc; border: 1px solid #555; }"
                                  "QMenu::item:selected { background: #2a82da; }";
const char *const smallCaptionStyle = "color: #556; font-size: 8px; background: transparent; border: none;";
const char *const panSliderStyle =
    "QSlider { background: transparent; }QSlider::groove:horizontal { background: #333345; height: 4px; "
    "border-radius: 2px; }QSlider::handle:horizontal { background: #2a82da; width: 10px; height: 10px; margin: -3px "
    "0; border-radius: 5px; }QSlider::add-page:horizontal { background: rgba(42,130,218,40); border-radius: 2px; }"
    "QSlider::sub-page:horizontal { background: rgba(42,130,218,40); border-radius: 2px; }";
const char *const panLabelStyle = "color: #99a; font-size: 8px; background: transparent; border: none;";
const char *const volumeLabelStyle = "color: #ccc; font-size: 10px; background: transparent; border: none;";
const char *const faderStyle =
    "QSlider { background: transparent; }QSlider::groove:vertical { background: transparent; }"
    "QSlider::handle:vertical {  background: qlineargradient(x1:0, y1:0, x2:1, y2:0,    stop:0 #556, stop:0.5 #889, "
    "stop:1 #556);  width: 20px; height: 8px; margin: 0 -2px;  border: 1px solid #99a; border-radius: 2px;}"
    "QSlider::sub-page:vertical { background: rgba(42,130,218,50); border-radius: 1px; }";

// The slider position nearest a gain or pan; a record's 0.53 is position 53, not 52.
int sliderPosition(float value, int lowest, int highest)
{
    const float scaled = std::round(value * 100.0f);
    return std::isnan(scaled) ? 0 : int(std::clamp(scaled, float(lowest), float(highest)));
}

QString pluginDisplayName(const QString &path)
{
    QString name = path.section(QLatin1Char('/'), -1);
    name.remove(QStringLiteral(".vst3"), Qt::CaseSensitive);
    return name;
}

QFrame *transparentFrame(QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setStyleSheet(QLatin1String(transparentFrameStyle));
    return frame;
}

} // namespace

MixerPage::MixerPage(ProjectDocument &document, QWidget *parent) : QWidget(parent), tracks(&document.tracks)
{
    setObjectName(QStringLiteral("MixerPage"));
    masterStrip.trackIndex = -1;
    setupUi();
    rebuildStrips();
}

void MixerPage::setupUi()
{
    setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::MultitrackPart::MixerPage));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *topBar = new QFrame(this);
    topBar->setObjectName(QStringLiteral("MixerTopBar"));
    topBar->setFixedHeight(36);
    topBar->setStyleSheet(QLatin1String(topBarStyle));
    auto *topLayout = new QHBoxLayout(topBar);
    topLayout->setContentsMargins(12, 0, 12, 0);
    auto *title = new QLabel(tr("调音台"), topBar);
    title->setStyleSheet(QLatin1String(titleStyle));
    topLayout->addWidget(title);
    topLayout->addStretch();
    layout->addWidget(topBar);

    scrollArea = new QScrollArea(this);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::MultitrackPart::MixerScrollArea));
    stripContainer = new QWidget;
    stripContainer->setStyleSheet(QStringLiteral("background-color: #1c1c28;"));
    stripLayout = new QHBoxLayout(stripContainer);
    stripLayout->setSpacing(0);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->addStretch();
    scrollArea->setWidget(stripContainer);
    layout->addWidget(scrollArea, 1);
}

void MixerPage::setTracks(std::vector<TrackData> *tracks)
{
    this->tracks = tracks;
    rebuildStrips();
}

void MixerPage::refreshFromData()
{
    rebuildStrips();
}

void MixerPage::setPluginBridge(AudioPluginBridge *bridge)
{
    pluginBridge = bridge;
}

void MixerPage::setMasterVolume(float gain)
{
    masterVolume = gain;
    if (masterStrip.fader) {
        masterStrip.fader->blockSignals(true);
        masterStrip.fader->setValue(sliderPosition(gain, 0, 150));
        masterStrip.fader->blockSignals(false);
    }
    updateVolumeDisplay(masterStrip, gain);
}

QString MixerPage::volToDb(float gain)
{
    if (!(gain > 0.0f))
        return QStringLiteral("-inf");
    const double db = 20.0 * std::log10(double(gain));
    if (db < -60.0)
        return QStringLiteral("-inf");
    return QStringLiteral("%1 dB").arg(db, 0, 'f', 1);
}

QString MixerPage::panTextForPosition(int position)
{
    if (std::abs(position) < 2)
        return QStringLiteral("C");
    return position < 0 ? QStringLiteral("L%1").arg(-position) : QStringLiteral("R%1").arg(position);
}

QString MixerPage::panText(float pan)
{
    return panTextForPosition(sliderPosition(pan, -100, 100));
}

void MixerPage::updateVolumeDisplay(ChannelStrip &strip, float gain)
{
    if (strip.volumeLabel)
        strip.volumeLabel->setText(volToDb(gain));
}

void MixerPage::updatePanDisplay(ChannelStrip &strip, float pan)
{
    if (strip.panLabel)
        strip.panLabel->setText(panText(pan));
}

const TrackData *MixerPage::trackAt(int index) const
{
    if (!tracks || index < 0 || index >= int(tracks->size()))
        return nullptr;
    return &(*tracks)[size_t(index)];
}

void MixerPage::clearStrips()
{
    // Deleted at once, not later: a rebuild leaves exactly one set of strips alive.
    for (ChannelStrip &strip : strips) {
        stripLayout->removeWidget(strip.widget);
        delete strip.widget;
    }
    strips.clear();
    while (stripLayout->count() > 1) {
        QLayoutItem *item = stripLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    masterStrip = ChannelStrip();
}

void MixerPage::rebuildStrips()
{
    clearStrips();
    if (!tracks)
        return;
    strips.reserve(tracks->size());
    for (int i = 0; i < int(tracks->size()); ++i) {
        ChannelStrip strip;
        createStrip(strip, i, false);
        stripLayout->insertWidget(stripLayout->count() - 1, strip.widget);
        strips.push_back(std::move(strip));
        addSeparator(1);
    }
    addSeparator(2);
    createStrip(masterStrip, -1, true);
    stripLayout->insertWidget(stripLayout->count() - 1, masterStrip.widget);
}

void MixerPage::addSeparator(int widthPx)
{
    auto *separator = new QFrame(stripContainer);
    separator->setFrameShape(QFrame::VLine);
    separator->setStyleSheet(QLatin1String(widthPx > 1 ? wideSeparatorStyle : thinSeparatorStyle));
    stripLayout->insertWidget(stripLayout->count() - 1, separator);
}

void MixerPage::createStrip(ChannelStrip &strip, int trackIndex, bool isMaster)
{
    const TrackData *track = isMaster ? nullptr : trackAt(trackIndex);
    strip.trackIndex = trackIndex;
    strip.widget = new QWidget(stripContainer);
    strip.widget->setFixedWidth(148);
    strip.widget->setStyleSheet(QStringLiteral("QWidget { background: #1e1e2c; }"));
    auto *layout = new QVBoxLayout(strip.widget);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *header = new QFrame(strip.widget);
    header->setFixedHeight(30);
    const QString headerColor = isMaster ? QStringLiteral("#888")
                                : track  ? track->color.name()
                                         : QStringLiteral("#3a86ff");
    header->setStyleSheet(QStringLiteral("QFrame { background: %1; border: none; }").arg(headerColor));
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(6, 0, 6, 0);
    strip.nameLabel = new QLabel(isMaster ? tr("Master") : track ? track->name : QString(), header);
    strip.nameLabel->setAlignment(Qt::AlignCenter);
    QFont nameFont = strip.nameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSize(9);
    strip.nameLabel->setFont(nameFont);
    strip.nameLabel->setStyleSheet(QStringLiteral("color: #fff; background: transparent; border: none;"));
    headerLayout->addWidget(strip.nameLabel);
    layout->addWidget(header);

    layout->addWidget(createInsertSection(strip, trackIndex, isMaster));
    if (!isMaster)
        layout->addWidget(createPanSection(strip, trackIndex));
    layout->addWidget(createFaderSection(strip, trackIndex, isMaster), 1);
    if (!isMaster)
        layout->addWidget(createMuteSoloSection(strip, trackIndex));
}

QWidget *MixerPage::createInsertSection(ChannelStrip &strip, int trackIndex, bool isMaster)
{
    auto *section = new QFrame(strip.widget);
    section->setStyleSheet(QStringLiteral("QFrame { background: #171722; border: none; }"));
    auto *layout = new QVBoxLayout(section);
    layout->setSpacing(1);
    layout->setContentsMargins(3, 3, 3, 3);
    if (isMaster)
        return section;

    strip.insertSlots.resize(insertSlotCount);
    for (int j = 0; j < insertSlotCount; ++j) {
        InsertSlot &slot = strip.insertSlots[size_t(j)];
        slot.trackIndex = trackIndex;
        slot.slotIndex = j;
        slot.widget = new QWidget(section);
        slot.widget->setFixedHeight(24);
        slot.widget->setStyleSheet(QLatin1String(slotRowStyle));
        auto *row = new QHBoxLayout(slot.widget);
        row->setSpacing(2);
        row->setContentsMargins(2, 0, 2, 0);
        slot.numberLabel = new QLabel(QString::number(j + 1), slot.widget);
        slot.numberLabel->setFixedSize(14, 20);
        slot.numberLabel->setAlignment(Qt::AlignCenter);
        slot.numberLabel->setStyleSheet(QLatin1String(slotNumberStyle));
        slot.nameButton = new QPushButton(slot.widget);
        slot.nameButton->setFixedHeight(20);
        slot.bypassButton = new QPushButton(tr("B"), slot.widget);
        slot.bypassButton->setFixedSize(18, 20);
        slot.bypassButton->setCheckable(true);
        slot.bypassButton->setStyleSheet(QLatin1String(bypassStyle));
        row->addWidget(slot.numberLabel);
        row->addWidget(slot.nameButton, 1);
        row->addWidget(slot.bypassButton);
        layout->addWidget(slot.widget);

        const TrackData *track = trackAt(trackIndex);
        const bool filled = track && j < int(track->insertPluginPaths.size());
        fillInsertSlot(slot, filled ? track->insertPluginPaths[size_t(j)] : QString());

        // The path is looked up when the user acts, so a slot never reports a stale one.
        const auto pathNow = [this, trackIndex, j]() -> QString {
            const TrackData *t = trackAt(trackIndex);
            return t && j < int(t->insertPluginPaths.size()) ? t->insertPluginPaths[size_t(j)] : QString();
        };
        connect(slot.nameButton, &QPushButton::clicked, this, [this, trackIndex, j, pathNow] {
            const QString path = pathNow();
            if (path.isEmpty())
                emit addPluginRequested(trackIndex);
            else
                emit pluginEditorRequested(trackIndex, j, path);
        });
        connect(slot.bypassButton, &QPushButton::toggled, this,
                [this, trackIndex, j] { emit removePluginRequested(trackIndex, j); });
        slot.nameButton->setContextMenuPolicy(Qt::CustomContextMenu);
        QPushButton *button = slot.nameButton;
        connect(button, &QWidget::customContextMenuRequested, this, [this, button, trackIndex, j, pathNow](QPoint at) {
            if (pathNow().isEmpty())
                return;
            QMenu menu;
            menu.setStyleSheet(QLatin1String(slotMenuStyle));
            const QAction *remove = menu.addAction(tr("移除插件"));
            const QAction *open = menu.addAction(tr("打开编辑器"));
            const QAction *chosen = menu.exec(button->mapToGlobal(at));
            if (chosen == remove) {
                emit removePluginRequested(trackIndex, j);
            } else if (chosen == open) {
                const QString path = pathNow();
                if (!path.isEmpty())
                    emit pluginEditorRequested(trackIndex, j, path);
            }
        });
    }
    return section;
}

void MixerPage::fillInsertSlot(InsertSlot &slot, const QString &path)
{
    const bool filled = !path.isEmpty();
    slot.nameButton->setText(filled ? pluginDisplayName(path) : tr("+"));
    slot.nameButton->setStyleSheet(QLatin1String(filled ? filledSlotStyle : emptySlotStyle));
    slot.bypassButton->setVisible(filled);
}

void MixerPage::populateInsertSlots(ChannelStrip &strip, int trackIndex)
{
    const TrackData *track = trackAt(trackIndex);
    if (!track)
        return;
    for (int j = 0; j < int(strip.insertSlots.size()) && j < insertSlotCount; ++j) {
        InsertSlot &slot = strip.insertSlots[size_t(j)];
        fillInsertSlot(slot, j < int(track->insertPluginPaths.size()) ? track->insertPluginPaths[size_t(j)] : QString());
    }
}

QWidget *MixerPage::createPanSection(ChannelStrip &strip, int trackIndex)
{
    const TrackData *track = trackAt(trackIndex);
    QFrame *section = transparentFrame(strip.widget);
    auto *layout = new QVBoxLayout(section);
    layout->setSpacing(1);
    layout->setContentsMargins(0, 4, 0, 2);
    auto *caption = new QLabel(tr("Pan"), section);
    caption->setAlignment(Qt::AlignCenter);
    caption->setStyleSheet(QLatin1String(smallCaptionStyle));
    strip.panSlider = new QSlider(Qt::Horizontal, section);
    strip.panSlider->setRange(-100, 100);
    strip.panSlider->setFixedHeight(16);
    strip.panSlider->setStyleSheet(QLatin1String(panSliderStyle));
    strip.panLabel = new QLabel(section);
    strip.panLabel->setAlignment(Qt::AlignCenter);
    strip.panLabel->setStyleSheet(QLatin1String(panLabelStyle));
    layout->addWidget(caption);
    layout->addWidget(strip.panSlider);
    layout->addWidget(strip.panLabel);

    // The value is set before anything listens, so building a strip writes nothing back.
    strip.panSlider->setValue(track ? sliderPosition(track->pan, -100, 100) : 0);
    strip.panLabel->setText(panTextForPosition(strip.panSlider->value()));
    QLabel *label = strip.panLabel;
    connect(strip.panSlider, &QSlider::valueChanged, this, [this, label, trackIndex](int value) {
        label->setText(panTextForPosition(value));
        emit trackPanChanged(trackIndex, value / 100.0f);
    });
    return section;
}

QWidget *MixerPage::createFaderSection(ChannelStrip &strip, int trackIndex, bool isMaster)
{
    const TrackData *track = isMaster ? nullptr : trackAt(trackIndex);
    QFrame *section = transparentFrame(strip.widget);
    auto *layout = new QVBoxLayout(section);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 2, 0, 0);
    strip.volumeLabel = new QLabel(section);
    strip.volumeLabel->setAlignment(Qt::AlignCenter);
    strip.volumeLabel->setFixedHeight(16);
    strip.volumeLabel->setStyleSheet(QLatin1String(volumeLabelStyle));
    layout->addWidget(strip.volumeLabel);

    auto *row = new QWidget(section);
    row->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setSpacing(0);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *scale = new FaderScale(row);
    scale->setFixedWidth(20);
    scale->setMinimumHeight(200);
    strip.fader = new QSlider(Qt::Vertical, row);
    strip.fader->setRange(0, 150);
    strip.fader->setFixedSize(26, 200);
    strip.fader->setStyleSheet(QLatin1String(faderStyle));
    rowLayout->addWidget(scale, 0, Qt::AlignCenter);
    rowLayout->addWidget(strip.fader, 0, Qt::AlignCenter);
    layout->addWidget(row, 0, Qt::AlignHCenter);

    // The Master fader starts at 80 whatever masterVolume holds, as does a strip without a track.
    const float startGain = track ? track->volume : 0.8f;
    strip.fader->setValue(sliderPosition(startGain, 0, 150));
    updateVolumeDisplay(strip, startGain);
    QLabel *label = strip.volumeLabel;
    connect(strip.fader, &QSlider::valueChanged, this, [this, label, trackIndex, isMaster](int value) {
        const float gain = value / 100.0f;
        label->setText(volToDb(gain));
        if (isMaster)
            masterVolume = gain;
        else
            emit trackVolumeChanged(trackIndex, gain);
    });
    return section;
}

QWidget *MixerPage::createMuteSoloSection(ChannelStrip &strip, int trackIndex)
{
    const TrackData *track = trackAt(trackIndex);
    QFrame *section = transparentFrame(strip.widget);
    auto *layout = new QHBoxLayout(section);
    layout->setSpacing(4);
    layout->setContentsMargins(8, 2, 8, 4);
    strip.muteButton = new QPushButton(tr("M"), section);
    strip.soloButton = new QPushButton(tr("S"), section);
    strip.muteButton->setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::MultitrackPart::MuteButton));
    strip.soloButton->setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::MultitrackPart::SoloButton));
    for (QPushButton *button : {strip.muteButton, strip.soloButton}) {
        button->setFixedSize(36, 20);
        button->setCheckable(true);
        layout->addWidget(button);
    }
    strip.muteButton->setChecked(track && track->muted);
    strip.soloButton->setChecked(track && track->solo);
    connect(strip.muteButton, &QPushButton::toggled, this,
            [this, trackIndex](bool on) { emit trackMuteChanged(trackIndex, on); });
    connect(strip.soloButton, &QPushButton::toggled, this,
            [this, trackIndex](bool on) { emit trackSoloChanged(trackIndex, on); });
    return section;
}
