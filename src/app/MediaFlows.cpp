// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's media flows: importing audio, video and MIDI, exporting audio, loading
// SoundFonts and plug-ins. Empty until the flows land, so the menus link.
#include "MainWindow.h"

void MainWindow::importMedia() {}
void MainWindow::importVideoFile(const QString &) {}
void MainWindow::importMidi() {}
void MainWindow::exportAudio(const QString &) {}
void MainWindow::loadSoundFont() {}
void MainWindow::importVst3() {}
