// SPDX-License-Identifier: GPL-3.0-or-later
// The audio device warnings and their box.
#include "ui/AudioDeviceNotice.h"

#include <QMessageBox>

namespace AudioDeviceNotice {

QString text(Event event)
{
    switch (event) {
    case Event::OutputUnavailable:
        return QStringLiteral("无法播放：没有可用的音频输出设备。请确认音频服务正在运行且设备已连接。");
    case Event::InputUnavailable:
        return QStringLiteral("无法录音：没有可用的音频输入设备。请确认音频服务正在运行且设备已连接。");
    case Event::LostWhilePlaying:
        return QStringLiteral("音频设备已断开（设备被移除或音频服务已停止），播放已停止。\n"
                              "设备恢复后再次点击播放即可。");
    case Event::LostWhileRecording:
        return QStringLiteral("音频设备已断开（设备被移除或音频服务已停止），录音已停止。\n"
                              "断开前录下的音频已保留。设备恢复后可再次录音。");
    }
    return {};
}

void show(QWidget *parent, Event event)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("错误"), text(event), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace AudioDeviceNotice
