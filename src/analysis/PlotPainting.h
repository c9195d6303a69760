// SPDX-License-Identifier: GPL-3.0-or-later
// Painting pieces shared by the analyser and the equaliser graph: the fade under a curve and
// label fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRect>

// Closes `curve` down to `r`'s bottom between the x positions `rightX` and `leftX` (the curve's
// right and left ends) and fills it with `color` fading from `topAlpha` at r's top to
// `bottomAlpha` at its bottom.
inline void fillUnderCurve(QPainter &painter, const QPainterPath &curve, const QRect &r, double rightX, double leftX,
                           const QColor &color, int topAlpha, int bottomAlpha)
{
    QPainterPath area = curve;
    area.lineTo(rightX, r.bottom());
    area.lineTo(leftX, r.bottom());
    area.closeSubpath();
    QLinearGradient gradient(0, r.top(), 0, r.bottom());
    QColor top = color;
    top.setAlpha(topAlpha);
    QColor bottom = color;
    bottom.setAlpha(bottomAlpha);
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    painter.fillPath(area, gradient);
}

// The painter's font at `pointSize`, with `weight` when it is given.
inline QFont sizedFont(const QPainter &painter, int pointSize, int weight = -1)
{
    QFont font = painter.font();
    font.setPointSize(pointSize);
    if (weight >= 0)
        font.setWeight(QFont::Weight(weight));
    return font;
}
