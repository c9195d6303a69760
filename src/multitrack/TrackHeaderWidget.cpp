// SPDX-License-Identifier: GPL-3.0-or-later
// The panel at the left of a multitrack track: name, arm/mute/solo, instrument, volume.
#include "multitrack/TrackHeaderWidget.h"

#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString kOffStyle = QStringLiteral(
    "background: #2a2a3a; color: #8888aa; border: 1px solid #3a3a50; border-radius: 4px; "
    "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;");

QString onStyle(const char *background, const char *text)
{
    return QStringLiteral("background: %1; color: %2; border: 1px solid %1; border-radius: 4px; "
                          "font-size: 12px; font-weight: bold; padding: 0; min-height: 0;")
        .arg(QLatin1String(background), QLatin1String(text));
}

const QString kVst3OffStyle = QStringLiteral(
    "background: #2a2a3a; color: #6ab0ff; border: 1px solid #3a3a50; border-radius: 4px; "
    "font-size: 10px; font-weight: bold; padding: 0 4px; min-height: 0;");
const QString kVst3OnStyle = QStringLiteral(
    "background: #2a82da; color: white; border: 1px solid #2a82da; border-radius: 4px; "
    "font-size: 10px; font-weight: bold; padding: 0 4px; min-height: 0;");
const QString kVideoStyle = QStringLiteral(
    "background: #2a2a3a; color: #ff8844; border: 1px solid #3a3a50; border-radius: 4px; "
    "font-size: 10px; font-weight: bold; padding: 0 4px; min-height: 0;");

const QString kInstrumentStyle = QStringLiteral(
    "QComboBox { background: #25253a; color: #c0c0d0; border: 1px solid #3a3a50; "
    "border-radius: 4px; padding: 2px 6px; font-size: 11px; }"
    "QComboBox::drop-down { border: none; width: 16px; }");

QPushButton *makeButton(const QString &text, int width, bool checkable, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedSize(width, 24);
    button->setCheckable(checkable);
    return button;
}

}  // namespace

TrackHeaderWidget::TrackHeaderWidget(QWidget *parent) : QWidget(parent)
{
    setFixedSize(180, 120);
    // Keeps its place in the page's column while not yet shown. Fixed, so the column never
    // asks its inner layout (and so its children) which way it may grow.
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
    // Only the header itself draws the borders (see TrackRowWidget's selected look).
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("* { background: #1c1c28; } TrackHeaderWidget { border-top: 1px solid #2a2a3a; "
                                 "border-bottom: 1px solid #2a2a3a; border-left: 3px solid transparent; }"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(8, 8, 8, 4);
    nameRow->setSpacing(6);
    colorStrip = new QLabel(this);
    colorStrip->setFixedSize(4, 20);
    colorStrip->setStyleSheet(QStringLiteral("background-color: #3a86ff; border-radius: 2px;"));
    nameEdit = new QLineEdit(tr("轨道"), this);
    nameEdit->setStyleSheet(QStringLiteral(
        "background: #25253a; color: #d0d0e0; border: 1px solid #3a3a50; border-radius: 4px; "
        "padding: 2px 6px; font-size: 12px; font-weight: 600;"));
    nameRow->addWidget(colorStrip);
    nameRow->addWidget(nameEdit, 1);
    outer->addLayout(nameRow);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(8, 2, 8, 2);
    buttonRow->setSpacing(4);
    armButton = makeButton(QStringLiteral("R"), 36, true, this);
    armButton->setToolTip(tr("准备录制"));
    muteButton = makeButton(QStringLiteral("M"), 36, true, this);
    soloButton = makeButton(QStringLiteral("S"), 36, true, this);
    vst3Button = makeButton(QStringLiteral("VST3"), 48, true, this);
    vst3Button->setToolTip(tr("打开/关闭 VST3 插件编辑器"));
    vst3Button->setStyleSheet(kVst3OffStyle);
    vst3Button->hide();
    videoButton = makeButton(QStringLiteral("VID"), 36, false, this);
    videoButton->setToolTip(tr("打开视频预览"));
    // Styled when first shown, as only video tracks show it.
    videoButton->hide();
    for (QPushButton *button : {armButton, muteButton, soloButton}) {
        button->setStyleSheet(kOffStyle);
        buttonRow->addWidget(button);
    }
    buttonRow->addWidget(vst3Button);
    buttonRow->addWidget(videoButton);
    buttonRow->addStretch();
    outer->addLayout(buttonRow);

    auto *instrumentRow = new QHBoxLayout;
    instrumentRow->setContentsMargins(8, 2, 8, 2);
    instrumentCombo = new QComboBox(this);
    instrumentCombo->setFixedHeight(24);
    // Styled when first shown (setInstrumentVisible): a styled combo box builds its popup at
    // once, which audio tracks never open and which costs more than the rest of the header.
    instrumentCombo->hide();
    instrumentRow->addWidget(instrumentCombo);
    outer->addLayout(instrumentRow);

    auto *volumeRow = new QHBoxLayout;
    volumeRow->setContentsMargins(8, 2, 8, 6);
    volumeRow->setSpacing(4);
    auto *volumeCaption = new QLabel(QStringLiteral("V"), this);
    volumeCaption->setStyleSheet(QStringLiteral(
        "color: #666680; font-size: 10px; font-weight: bold; background: transparent;"));
    volumeSlider = new QSlider(Qt::Horizontal, this);
    volumeSlider->setRange(0, 150);
    volumeSlider->setValue(80);
    volumeSlider->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { background: #2a2a3a; height: 4px; border-radius: 2px; }"
        "QSlider::handle:horizontal { background: #00f2ff; width: 12px; height: 12px; "
        "margin: -4px 0; border-radius: 6px; }"
        "QSlider::sub-page:horizontal { background: qlineargradient(x1:0,y1:0,x2:1,y2:0, "
        "stop:0 #2a82da, stop:1 #00f2ff); border-radius: 2px; }"));
    volumeLabel = new QLabel(QStringLiteral("80"), this);
    volumeLabel->setFixedWidth(30);
    volumeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    volumeLabel->setStyleSheet(QStringLiteral(
        "color: #00f2ff; font-size: 10px; font-family: 'Courier New', monospace; "
        "font-weight: bold; background: transparent;"));
    volumeRow->addWidget(volumeCaption);
    volumeRow->addWidget(volumeSlider, 1);
    volumeRow->addWidget(volumeLabel);
    outer->addLayout(volumeRow);
    outer->addStretch();

    // The state is stored and the button restyled before the header emits, so a caller that
    // blocks the header's signals still sees the button's look follow its check state.
    connect(nameEdit, &QLineEdit::textChanged, this, &TrackHeaderWidget::nameChanged);
    connect(armButton, &QPushButton::toggled, this, [this](bool on) {
        armed = on;
        armButton->setStyleSheet(on ? onStyle("#ff2222", "white") : kOffStyle);
        emit armToggled(on);
    });
    connect(muteButton, &QPushButton::toggled, this, [this](bool on) {
        muted = on;
        muteButton->setStyleSheet(on ? onStyle("#ff0055", "white") : kOffStyle);
        emit muteToggled(on);
    });
    connect(soloButton, &QPushButton::toggled, this, [this](bool on) {
        solo = on;
        soloButton->setStyleSheet(on ? onStyle("#ffcc00", "#1a1a2a") : kOffStyle);
        emit soloToggled(on);
    });
    connect(vst3Button, &QPushButton::toggled, this, [this](bool on) {
        vst3Button->setStyleSheet(on ? kVst3OnStyle : kVst3OffStyle);
        emit vst3EditorToggled(on);
    });
    connect(videoButton, &QPushButton::clicked, this, &TrackHeaderWidget::videoButtonClicked);
    connect(instrumentCombo, &QComboBox::currentIndexChanged, this,
            &TrackHeaderWidget::instrumentChanged);
    connect(volumeSlider, &QSlider::valueChanged, this, [this](int value) {
        volumeLabel->setText(QString::number(value));
        // Float division: an integer one would send 0 for every value below 100.
        emit volumeChanged(value / 100.0f);
    });
}

void TrackHeaderWidget::setName(const QString &name)
{
    nameEdit->setText(name);
}

QString TrackHeaderWidget::name() const
{
    return nameEdit->text();
}

void TrackHeaderWidget::setColor(const QColor &color)
{
    colorStrip->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 2px;").arg(color.name()));
}

void TrackHeaderWidget::setVolume(float volume)
{
    // Clamped before the conversion, so a huge or non-finite gain from a file is no undefined
    // cast; NaN shows as 0.
    const float percent = std::trunc(volume * 100.0f);
    volumeSlider->setValue(std::isnan(percent) ? 0 : int(std::clamp(percent, 0.0f, 150.0f)));
}

void TrackHeaderWidget::setMuted(bool muted)
{
    this->muted = muted;
    muteButton->setChecked(muted);
}

void TrackHeaderWidget::setSolo(bool solo)
{
    this->solo = solo;
    soloButton->setChecked(solo);
}

void TrackHeaderWidget::setArmed(bool armed)
{
    this->armed = armed;
    armButton->setChecked(armed);
}

void TrackHeaderWidget::setInstrumentVisible(bool visible)
{
    if (visible && instrumentCombo->styleSheet().isEmpty())
        instrumentCombo->setStyleSheet(kInstrumentStyle);
    instrumentCombo->setVisible(visible);
}

void TrackHeaderWidget::setInstrumentList(const QList<QString> &items, int index)
{
    instrumentCombo->clear();
    instrumentCombo->addItems(items);
    if (index >= 0 && index < instrumentCombo->count())
        instrumentCombo->setCurrentIndex(index);
}

int TrackHeaderWidget::currentInstrumentIndex() const
{
    return instrumentCombo->currentIndex();
}

void TrackHeaderWidget::setVst3ButtonVisible(bool visible)
{
    vst3Button->setVisible(visible);
}

void TrackHeaderWidget::setVideoButtonVisible(bool visible)
{
    if (visible && videoButton->styleSheet().isEmpty())
        videoButton->setStyleSheet(kVideoStyle);
    videoButton->setVisible(visible);
}

void TrackHeaderWidget::setVst3ButtonChecked(bool checked)
{
    vst3Button->setChecked(checked);
    vst3Button->setStyleSheet(checked ? kVst3OnStyle : kVst3OffStyle);
}
