// SPDX-License-Identifier: GPL-3.0-or-later
// The panel at the left of a multitrack track: name, arm/mute/solo, instrument, volume.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QColor;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

// GUI thread only. Holds no track data: the row fills it through the setters and turns its
// signals into record edits. A setter that changes a state emits that state's signal, so a
// caller that must stay silent blocks the header's signals or connects after filling it.
class TrackHeaderWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TrackHeaderWidget(QWidget *parent = nullptr);

    // Its fixed size, without asking the children: a column lays out hidden headers too,
    // and asking would style every child of every one of them.
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSizeHint() const override { return minimumSize(); }
    bool hasHeightForWidth() const override { return false; }

    void setName(const QString &name);
    QString name() const;
    void setColor(const QColor &color);
    // Linear gain; shown as a whole percentage, truncated and clamped to 0..150.
    void setVolume(float volume);
    void setMuted(bool muted);
    void setSolo(bool solo);
    void setArmed(bool armed);
    void setInstrumentVisible(bool visible);
    // Makes `index` current only when it names an item; otherwise the first item stays current.
    void setInstrumentList(const QList<QString> &items, int index);
    int currentInstrumentIndex() const;
    void setVst3ButtonVisible(bool visible);
    void setVideoButtonVisible(bool visible);
    void setVst3ButtonChecked(bool checked);

    QLineEdit *nameEdit;
    QPushButton *armButton;
    QPushButton *muteButton;
    QPushButton *soloButton;
    QSlider *volumeSlider;
    QLabel *volumeLabel;
    QLabel *colorStrip;
    QComboBox *instrumentCombo;
    QPushButton *vst3Button;
    QPushButton *videoButton;
    bool muted = false;
    bool solo = false;
    bool armed = false;

signals:
    void nameChanged(const QString &name);
    void volumeChanged(float linearVolume);
    void muteToggled(bool muted);
    void soloToggled(bool solo);
    void armToggled(bool armed);
    void removeRequested();
    void instrumentChanged(int index);
    void vst3EditorToggled(bool open);
    void videoButtonClicked();
};
