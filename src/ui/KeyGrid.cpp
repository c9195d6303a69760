// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch-by-time grid of the note editors.
#include "ui/KeyGrid.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>

bool isBlackKey(int pitch)
{
    switch (pitch % 12) {
    case 1: case 3: case 6: case 8: case 10:
        return true;
    default:
        return false;
    }
}

void paintKeyRows(QPainter &painter, const QRect &grid, const KeyRows &rows)
{
    const int row = rows.rowHeight;
    for (int pitch = rows.topPitch; pitch >= rows.bottomPitch; --pitch) {
        const int y = rows.pitchToY(pitch);
        if (y + row < grid.top() || y > grid.bottom())
            continue;
        if (isBlackKey(pitch))
            painter.fillRect(QRect(grid.left(), y, grid.width(), row).intersected(grid), QColor(22, 22, 32));
        if (y >= grid.top()) {
            painter.setPen(QPen(QColor(42, 42, 52), 1));
            painter.drawLine(grid.left(), y, grid.right(), y);
        }
    }
}

void paintBeatLines(QPainter &painter, const QRect &grid, double firstBeat, double lastBeat,
                    const std::function<int(double)> &beatToX)
{
    for (double beat = std::floor(4.0 * firstBeat) / 4.0; beat <= lastBeat; beat += 0.25) {
        const int x = beatToX(beat);
        if (x < grid.left() || x > grid.right())
            continue;
        const long q = std::lround(4.0 * beat);
        if (q % 16 == 0)
            painter.setPen(QPen(QColor(80, 80, 90), 1.5));
        else if (q % 4 == 0)
            painter.setPen(QPen(QColor(55, 55, 65), 1));
        else
            painter.setPen(QPen(QColor(38, 38, 48), 0.5));
        painter.drawLine(x, grid.top(), x, grid.bottom());
    }
}

void paintPianoKeys(QPainter &painter, const QRect &keys, const KeyRows &rows)
{
    const int row = rows.rowHeight;
    const int width = keys.width();
    painter.save();
    painter.setClipRect(keys);
    painter.setFont(QFont(QStringLiteral("monospace"), 8));
    for (int pitch = rows.topPitch; pitch >= rows.bottomPitch; --pitch) {
        const int y = rows.pitchToY(pitch);
        if (y + row < keys.top() || y > keys.bottom())
            continue;
        QLinearGradient gradient(0, y, 0, y + row);
        const bool black = isBlackKey(pitch);
        gradient.setColorAt(0, black ? QColor(40, 40, 50) : QColor(90, 90, 100));
        gradient.setColorAt(1, black ? QColor(30, 30, 38) : QColor(75, 75, 85));
        painter.fillRect(QRect(0, y, width, row), gradient);
        painter.setPen(QPen(QColor(50, 50, 60), 1));
        painter.drawLine(0, y + row, width, y + row);
        if (pitch % 12 == 0) {
            painter.setPen(QColor(200, 200, 210));
            painter.drawText(QRect(4, y, 41, row), Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("C%1").arg(pitch / 12 - 1));
        }
    }
    painter.restore();
    painter.setPen(QPen(QColor(55, 55, 65), 1));
    painter.drawLine(width, keys.top(), width, keys.bottom());
}
