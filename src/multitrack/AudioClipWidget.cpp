// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of an audio track: its clips with their waveforms and fades, edge trims
// that cut or restore the source, fade handles and the fade-curve menu.
#include "AudioClipWidget.h"

#include "document/TrackRendering.h"
#include "project/TrackData.h"
#include "ui/TimeViewport.h"

#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <vector>

#ifdef __SSE2__
#include <immintrin.h>
#endif

namespace {

// One channel of a clip as the waveform reads it: value i is data[i * stride].
struct Channel
{
    const float *data;
    qsizetype stride;
    float at(qsizetype frame) const { return data[frame * stride]; }
    // Folds frames [begin, end) into lowest and highest.
    void extremes(qsizetype begin, qsizetype end, float &lowest, float &highest) const
    {
        float low = lowest;
        float high = highest;
        if (stride == 1) {
            const float *v = data + begin;
            const float *last = data + end;
#ifdef __SSE2__
            // Four running extremes side by side; minps and maxps pick exactly as the scalar
            // comparisons below do. The compiler keeps those scalar without fast-math.
            __m128 lows = _mm_set1_ps(low);
            __m128 highs = _mm_set1_ps(high);
            // Two independent pairs of running extremes keep the min/max units busy instead of
            // waiting on one chain; at the smallest zoom a column holds thousands of frames.
            __m128 lows2 = lows;
            __m128 highs2 = highs;
            for (; last - v >= 8; v += 8) {
                const __m128 a = _mm_loadu_ps(v);
                const __m128 b = _mm_loadu_ps(v + 4);
                lows = _mm_min_ps(a, lows);
                highs = _mm_max_ps(a, highs);
                lows2 = _mm_min_ps(b, lows2);
                highs2 = _mm_max_ps(b, highs2);
            }
            lows = _mm_min_ps(lows, lows2);
            highs = _mm_max_ps(highs, highs2);
            for (; last - v >= 4; v += 4) {
                const __m128 values = _mm_loadu_ps(v);
                lows = _mm_min_ps(values, lows);
                highs = _mm_max_ps(values, highs);
            }
            alignas(16) float lanes[8];
            _mm_store_ps(lanes, lows);
            _mm_store_ps(lanes + 4, highs);
            low = std::min({low, lanes[0], lanes[1], lanes[2], lanes[3]});
            high = std::max({high, lanes[4], lanes[5], lanes[6], lanes[7]});
#endif
            for (; v != last; ++v) {
                low = *v < low ? *v : low;
                high = *v > high ? *v : high;
            }
        } else {
            for (qsizetype s = begin; s < end; ++s) {
                const float v = data[s * stride];
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
        }
        lowest = low;
        highest = high;
    }
};

// Seconds to frames rounds to the nearest frame, as the renderer does, so a trimmed clip
// shows exactly the frames that sound.
qsizetype secondsToFrames(double seconds, int rate)
{
    return static_cast<qsizetype>(std::llround(seconds * rate));
}

// Draws frames [head, end) of `channel` in `color` across the inner area [x0, x0 + innerWidth) about
// centre line cy, only the columns within [visibleLeft, visibleRight).
void drawChannel(QPainter &painter, const QColor &color, Channel channel, qsizetype head, qsizetype end, double x0, double innerWidth,
                 double visibleLeft, double visibleRight, double cy, double amplitude)
{
    const qsizetype count = end - head;
    const double framesPerPixel = double(count) / innerWidth;
    if (framesPerPixel >= 1.0) {
        // Peaks: one vertical line per pixel column; only the visible columns are scanned.
        const int firstColumn = static_cast<int>(visibleLeft - x0);
        const int endColumn = std::min(static_cast<int>(visibleRight - x0), static_cast<int>(innerWidth));
        std::vector<QLineF> lines;
        lines.reserve(static_cast<size_t>(std::max(0, endColumn - firstColumn)));
        for (int p = firstColumn; p < endColumn; ++p) {
            const qsizetype s0 = head + static_cast<qsizetype>(p * framesPerPixel);
            const qsizetype s1 = std::min(head + static_cast<qsizetype>((p + 1) * framesPerPixel), end);
            float lowest = 0.0f;
            float highest = 0.0f;
            channel.extremes(s0, s1, lowest, highest);
            lines.emplace_back(x0 + p, cy - highest * amplitude, x0 + p, cy - lowest * amplitude);
        }
        // Whole-pixel columns gain nothing from antialiasing, which costs several times the scan.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(color, 1));
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        painter.restore();
        return;
    }
    // Fewer frames than pixels: a line from each frame to the next.
    painter.setPen(QPen(color, 1.5));
    for (qsizetype j = 1; j < count; ++j) {
        const double xj = x0 + double(j) / count * innerWidth;
        if (xj < visibleLeft)
            continue;
        if (xj > visibleRight)
            break;
        const double xPrevious = x0 + double(j - 1) / count * innerWidth;
        painter.drawLine(QPointF(xPrevious, cy - channel.at(head + j - 1) * amplitude),
                         QPointF(xj, cy - channel.at(head + j) * amplitude));
    }
}

// Every trim leaves at least this much audio.
constexpr double minClipSeconds = 0.01;
// Fade handles: squares of this size at the top corners of a clip body.
constexpr int handleSize = 12;

} // namespace

AudioClipWidget::AudioClipWidget(QWidget *parent) : ClipLaneWidget(parent) {}

int AudioClipWidget::clipCount() const
{
    return track ? static_cast<int>(track->audioClips.size()) : 0;
}

void AudioClipWidget::clipSpan(int index, double &startSec, double &endSec) const
{
    const AudioClip &clip = track->audioClips[static_cast<size_t>(index)];
    startSec = clip.start;
    endSec = clip.start + clip.length();
}

QString AudioClipWidget::emptyText() const
{
    return tr("音频轨 - 点击录制或导入音频文件");
}

void AudioClipWidget::drawClip(QPainter &painter, int index, const QRect &body)
{
    QColor fill = waveColor;
    fill.setAlpha(60);
    painter.setBrush(fill);
    painter.setPen(QPen(waveColor, 1.5));
    painter.drawRoundedRect(body, 6, 6);

    drawClipWaveform(painter, body, track->audioClips[static_cast<size_t>(index)]);

    drawFades(painter, body, track->audioClips[static_cast<size_t>(index)]);
}

void AudioClipWidget::drawClipOverlay(QPainter &painter, int index, const QRect &body)
{
    if (index == selectedClipIndex) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 242, 255, 200), 2));
        painter.drawRoundedRect(QRect(body.left() + 1, body.top() + 1, body.width() - 2, body.height() - 2), 5, 5);
    }
}

void AudioClipWidget::drawClipWaveform(QPainter &painter, const QRect &body, const AudioClip &clip) const
{
    const qsizetype frames = clip.samples.size();
    if (frames == 0 || clip.sampleRate < 1)
        return;
    const qsizetype head = secondsToFrames(clip.audioStart, clip.sampleRate);
    qsizetype end = frames - secondsToFrames(clip.audioEnd, clip.sampleRate);
    if (head < 0 || head >= end)
        return;
    end = std::min(end, frames);

    const double x0 = body.x() + 4;
    const double y0 = body.y() + 4;
    const double innerWidth = body.width() - 8;
    const double innerHeight = body.height() - 8;
    if (innerWidth <= 2 || innerHeight <= 2)
        return;
    const double visibleLeft = std::max(x0, double(std::max(0, paintArea.left())));
    const double visibleRight = std::min(double(std::min(width(), paintArea.right() + 1)), x0 + innerWidth);
    if (visibleLeft >= visibleRight)
        return;

    QColor color = waveColor;
    color.setAlpha(160);
    painter.setBrush(Qt::NoBrush);
    const auto draw = [&](Channel channel, double cy, double amplitude) {
        drawChannel(painter, color, channel, head, end, x0, innerWidth, visibleLeft, visibleRight, cy, amplitude);
    };

    if (clip.stereoSamples.size() < 2 * end) {
        draw({clip.samples.constData(), 1}, y0 + innerHeight / 2, innerHeight / 2);
        return;
    }
    const double mid = y0 + innerHeight / 2;
    const QPen zeroLine(QColor(60, 60, 80), 1);
    painter.setPen(zeroLine);
    painter.drawLine(QPointF(x0, mid), QPointF(x0 + innerWidth, mid));
    painter.setPen(QColor(120, 120, 140));
    painter.setFont(QFont(QStringLiteral("Arial"), 7));
    painter.drawText(QPointF(x0 + 1, y0 + 8), QStringLiteral("L"));
    painter.drawText(QPointF(x0 + 1, mid + 8), QStringLiteral("R"));
    const double quarter = innerHeight / 4;
    for (int side = 0; side < 2; ++side) {
        const double cy = (side == 0 ? y0 : mid) + quarter;
        draw({clip.stereoSamples.constData() + side, 2}, cy, quarter);
        painter.setPen(zeroLine);
        painter.drawLine(QPointF(x0, cy), QPointF(x0 + innerWidth, cy));
    }
}

void AudioClipWidget::drawFades(QPainter &painter, const QRect &body, const AudioClip &clip) const
{
    const auto draw = [&](double seconds, int curve, bool fadeIn) {
        const int n = std::min(static_cast<int>(TimelineScale::pixelOf(seconds, 0.0, zoomLevel)), body.width());
        if (n <= 2)
            return;
        const int from = fadeIn ? body.left() : body.left() + body.width() - n;
        QLinearGradient shade(from, 0, from + n, 0);
        shade.setColorAt(fadeIn ? 0 : 1, QColor(0, 0, 0, 120));
        shade.setColorAt(fadeIn ? 1 : 0, QColor(0, 0, 0, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade);
        painter.drawRect(QRect(from, body.y(), n, body.height()));
        QPolygonF line;
        for (int j = 0; j <= n; ++j) {
            const float u = std::clamp(float(j) / float(n), 0.0f, 1.0f);
            const float g = fadeCurve(curve, u);
            line << QPointF(from + u * n, body.y() + body.height() - (fadeIn ? g : 1.0f - g) * body.height());
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 255, 255, 100), 1.5));
        painter.drawPolyline(line);
    };
    if (clip.fadeIn > 0.0)
        draw(clip.fadeIn, clip.fadeInCurve, true);
    if (clip.fadeOut > 0.0)
        draw(clip.fadeOut, clip.fadeOutCurve, false);
}

bool AudioClipWidget::hasEdges(int index) const
{
    return !track->audioClips[static_cast<size_t>(index)].samples.isEmpty();
}

int AudioClipWidget::hitTestFadeHandle(const QPoint &p, int &clipIndex) const
{
    clipIndex = -1;
    if (!track)
        return 0;
    const bool inHandleRow = clipMargin <= p.y() && p.y() <= clipMargin + handleSize;
    for (int i = 0; i < clipCount(); ++i) {
        const auto edges = edgeColumns(i);
        if (!edges)
            continue;
        const auto [left, right] = *edges;
        if (left <= p.x() && p.x() <= left + handleSize) {
            if (!inHandleRow)
                continue;
            clipIndex = i;
            return 1;
        }
        if (right - handleSize <= p.x() && p.x() <= right && inHandleRow) {
            clipIndex = i;
            return 2;
        }
    }
    return 0;
}

void AudioClipWidget::setClipStart(int index, double startSec)
{
    track->audioClips[static_cast<size_t>(index)].start = startSec;
}

void AudioClipWidget::beginTrim(int index, bool)
{
    const AudioClip &clip = track->audioClips[static_cast<size_t>(index)];
    trimOrigStart = clip.start;
    trimOrigAudioStart = clip.audioStart;
    trimOrigAudioEnd = clip.audioEnd;
}

void AudioClipWidget::trimTo(int index, bool leftEdge, double pointerSec)
{
    AudioClip &clip = track->audioClips[static_cast<size_t>(index)];
    if (clip.sampleRate < 1)
        return;
    const double source = double(clip.samples.size()) / clip.sampleRate;
    if (leftEdge) {
        // Restoring the head stops where the clip would start before the timeline does.
        const double lowest = std::max(0.0, trimOrigAudioStart - trimOrigStart);
        const double highest = source - clip.audioEnd - minClipSeconds;
        const double wanted = pointerSec - trimOrigStart + trimOrigAudioStart;
        clip.audioStart = std::max(lowest, std::min(highest, wanted));
        clip.start = clip.audioStart - trimOrigAudioStart + trimOrigStart;
        return;
    }
    const double end = trimOrigStart + (source - trimOrigAudioStart - trimOrigAudioEnd);
    clip.audioEnd = std::max(0.0, std::min(source - clip.audioStart - minClipSeconds, trimOrigAudioEnd + end - pointerSec));
}

bool AudioClipWidget::pressOwnGesture(QMouseEvent *event)
{
    int clip = -1;
    const int kind = hitTestFadeHandle(event->position().toPoint(), clip);
    if (kind == 0)
        return false;
    fadeClipIndex = clip;
    fadeDragKind = kind;
    beginClipEdit();
    return true;
}

bool AudioClipWidget::moveOwnGesture(QMouseEvent *event)
{
    if (fadeClipIndex < 0)
        return false;
    if (!validClip(fadeClipIndex)) {
        cancelOwnGesture();
        return false;
    }
    AudioClip &clip = track->audioClips[static_cast<size_t>(fadeClipIndex)];
    const double length = clip.length();
    if (length > 0.0) {
        const double m = xToSeconds(static_cast<int>(std::lround(event->position().x())));
        if (fadeDragKind == 1)
            clip.fadeIn = std::max(0.0, std::min(length / 2, m - clip.start));
        else
            clip.fadeOut = std::max(0.0, std::min(length / 2, clip.start + length - m));
    }
    update();
    return true;
}

bool AudioClipWidget::releaseOwnGesture(QMouseEvent *)
{
    if (fadeClipIndex < 0)
        return false;
    cancelOwnGesture();
    commitClipEdit(tr("调整淡变"));
    update();
    return true;
}

void AudioClipWidget::cancelOwnGesture()
{
    fadeDragKind = 0;
    fadeClipIndex = -1;
}

bool AudioClipWidget::hoverOwnHandle(const QPoint &p)
{
    int clip = -1;
    const int kind = hitTestFadeHandle(p, clip);
    if (kind == 0)
        return false;
    setCursor(kind == 1 ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    return true;
}

void AudioClipWidget::requestDelete(int index)
{
    selectedClipIndex = -1;
    emit deleteAudioClip(index);
}

void AudioClipWidget::showClipMenu(int index, const QPoint &globalPos)
{
    const QStringList names = {tr("线性"), tr("S曲线"), tr("指数"), tr("对数")};
    const AudioClip &clip = track->audioClips[static_cast<size_t>(index)];
    QMenu menu;
    struct Choice
    {
        bool fadeIn;
        int curve;
    };
    std::vector<std::pair<const QAction *, Choice>> choices;
    for (const bool fadeIn : {true, false}) {
        QMenu *sub = menu.addMenu(fadeIn ? tr("淡入曲线") : tr("淡出曲线"));
        auto *group = new QActionGroup(sub);
        const int current = fadeIn ? clip.fadeInCurve : clip.fadeOutCurve;
        for (int curve = 0; curve < names.size(); ++curve) {
            QAction *action = sub->addAction(names[curve]);
            action->setCheckable(true);
            action->setChecked(curve == current);
            group->addAction(action);
            choices.push_back({action, {fadeIn, curve}});
        }
    }
    // The menu runs its own event loop, in which the lane or its record may change.
    const QPointer<AudioClipWidget> self(this);
    const QAction *chosen = menu.exec(globalPos);
    if (!self || !chosen || !validClip(index))
        return;
    for (const auto &[action, choice] : choices) {
        if (action != chosen)
            continue;
        beginClipEdit();
        AudioClip &target = track->audioClips[static_cast<size_t>(index)];
        (choice.fadeIn ? target.fadeInCurve : target.fadeOutCurve) = choice.curve;
        commitClipEdit(tr("淡变曲线"));
        update();
    }
}
