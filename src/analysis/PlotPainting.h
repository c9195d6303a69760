// SPDX-License-Identifier: GPL-3.0-or-later
// Painting pieces shared by the analyser and the equaliser graph: the fade under a curve, the
// stroke of a curve across the plot, and label fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRect>

#include <algorithm>

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

// Strokes `path`, one run of straight lines from left to right, with `pen` in one fill. The
// antialiasing rasteriser keeps the cells of each pixel row in a list ordered by x and
// searched from the left, so an outline running left to right across the whole plot costs
// the square of its length. The outlines of short pieces, added from the right end leftwards,
// each find their place at the head of those lists. Flat ends inside let the pieces meet edge
// to edge, so the fill shows no seams; the path's own ends keep the pen's cap.
inline void strokePolyline(QPainter &painter, const QPainterPath &path, const QPen &pen)
{
    QPainterPathStroker inner(pen);
    inner.setCapStyle(Qt::FlatCap);
    const QPainterPathStroker ends(pen);
    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    constexpr int pieceLength = 32;
    const int last = path.elementCount() - 1;
    for (int end = last; end > 0; end -= pieceLength) {
        const int start = std::max(0, end - pieceLength);
        QPainterPath piece(path.elementAt(start));
        for (int i = start + 1; i <= end; ++i)
            piece.lineTo(path.elementAt(i));
        outline.addPath((start == 0 || end == last ? ends : inner).createStroke(piece));
    }
    painter.fillPath(outline, pen.brush());
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
