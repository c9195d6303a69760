// SPDX-License-Identifier: GPL-3.0-or-later
// The modal chooser in which the user picks, connects and disconnects a MIDI input port.
#pragma once

#include <QDialog>

class MidiInput;
class QComboBox;
class QLabel;
class QPushButton;

class MidiDeviceDialog : public QDialog
{
    Q_OBJECT

public:
    // `input` is not owned and must outlive the dialog.
    explicit MidiDeviceDialog(MidiInput *input, QWidget *parent = nullptr);

    // Shows whether a port is open and enables the buttons that fit: "连接" only while a
    // device is listed.
    void updateStatus();

public slots:
    void refreshDeviceList();

signals:
    void deviceSelected(int port);
    void disconnected();

private:
    void onConnectClicked();
    void onDisconnectClicked();

    MidiInput *input;
    QComboBox *portCombo;
    QPushButton *connectButton;
    QPushButton *disconnectButton;
    QPushButton *refreshButton;
    QLabel *statusLabel;
    bool devicesFound = false;
};
