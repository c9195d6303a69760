// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI device dialog: port list, connect and disconnect, connection status.
#include "multitrack/MidiDeviceDialog.h"

#include "engine/MidiInput.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MidiDeviceDialog::MidiDeviceDialog(MidiInput *input, QWidget *parent)
    : QDialog(parent),
      input(input),
      portCombo(new QComboBox),
      connectButton(new QPushButton(QStringLiteral("连接"))),
      disconnectButton(new QPushButton(QStringLiteral("断开"))),
      refreshButton(new QPushButton(QStringLiteral("刷新"))),
      statusLabel(new QLabel)
{
    setWindowTitle(QStringLiteral("MIDI 设备"));
    setMinimumWidth(400);

    auto *group = new QGroupBox(QStringLiteral("MIDI 输入设备"));
    auto *portRow = new QHBoxLayout;
    portCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    refreshButton->setFixedWidth(60);
    portRow->addWidget(portCombo);
    portRow->addWidget(refreshButton);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(connectButton);
    buttonRow->addWidget(disconnectButton);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(portRow);
    groupLayout->addLayout(buttonRow);

    statusLabel->setAlignment(Qt::AlignCenter);
    statusLabel->setStyleSheet(QStringLiteral("padding: 12px; font-size: 13px;"));

    auto *closeButton = new QPushButton(QStringLiteral("关闭"));
    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(statusLabel);
    layout->addLayout(closeRow);

    connect(refreshButton, &QPushButton::clicked, this, &MidiDeviceDialog::refreshDeviceList);
    connect(connectButton, &QPushButton::clicked, this, &MidiDeviceDialog::onConnectClicked);
    connect(disconnectButton, &QPushButton::clicked, this, &MidiDeviceDialog::onDisconnectClicked);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    refreshDeviceList();
    updateStatus();
}

void MidiDeviceDialog::refreshDeviceList()
{
    portCombo->clear();
    const QStringList devices = input->availableDevices();
    devicesFound = !devices.isEmpty();
    if (devicesFound)
        portCombo->addItems(devices);
    else
        portCombo->addItem(QStringLiteral("(未发现 MIDI 设备)"));
    const int port = input->currentPort();
    if (port >= 0 && port < portCombo->count())
        portCombo->setCurrentIndex(port);
    updateStatus();
}

void MidiDeviceDialog::updateStatus()
{
    if (!input->isOpen()) {
        statusLabel->setText(QStringLiteral("未连接"));
        statusLabel->setStyleSheet(QStringLiteral("color: #888888; padding: 12px; font-size: 13px;"));
        // The placeholder of an empty list is nothing to connect to.
        connectButton->setEnabled(devicesFound);
        connectButton->setToolTip(devicesFound ? QString() : QStringLiteral("未发现 MIDI 设备，接好设备后点击“刷新”"));
        disconnectButton->setEnabled(false);
        return;
    }
    const int port = input->currentPort();
    const QStringList devices = input->availableDevices();
    const QString name = port >= 0 && port < devices.size() ? devices[port] : QStringLiteral("设备 %1").arg(port);
    statusLabel->setText(QStringLiteral("已连接: ") + name);
    statusLabel->setStyleSheet(QStringLiteral("color: #4CAF50; padding: 12px; font-size: 13px; font-weight: bold;"));
    connectButton->setEnabled(false);
    disconnectButton->setEnabled(true);
}

void MidiDeviceDialog::onConnectClicked()
{
    const int port = portCombo->currentIndex();
    if (port >= 0 && input->openDevice(port))
        emit deviceSelected(port);
    updateStatus();
}

void MidiDeviceDialog::onDisconnectClicked()
{
    input->closeDevice();
    emit disconnected();
    updateStatus();
}
