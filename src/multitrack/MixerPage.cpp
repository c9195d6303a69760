// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer page: a title bar over the channel strips of the multitrack project's tracks.
#include "MixerPage.h"

#include <QLabel>
#include <QVBoxLayout>

MixerPage::MixerPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MixerPage"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(tr("调音台"), this);
    title->setObjectName(QStringLiteral("TitleLabel"));
    layout->addWidget(title);
    layout->addStretch();
}

void MixerPage::setTracks(std::vector<TrackData> *tracks)
{
    this->tracks = tracks;
}

void MixerPage::setPluginBridge(AudioPluginBridge *bridge)
{
    pluginBridge = bridge;
}
