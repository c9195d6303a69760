// SPDX-License-Identifier: GPL-3.0-or-later
// The groove and dB tick marks drawn beside a mixer fader.
#pragma once

#include <QWidget>

// Stateless: the ticks sit where a fader of range 0..150 (gain x 100, top = 1.5) would be.
class FaderScale : public QWidget
{
    Q_OBJECT

public:
    explicit FaderScale(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};
