// SPDX-License-Identifier: GPL-3.0-or-later
// Parametric equaliser graph: band model, responses, painting and mouse editing.
#include "analysis/ParametricEQWidget.h"

#include "analysis/PlotPainting.h"
#include "analysis/FrequencyAnalyzerWidget.h"
#include "audio/BiquadCoefficients.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {
constexpr float log10Of20 = 1.30103f;
constexpr float minFrequency = 20.0f;
constexpr float maxFrequency = 20000.0f;
constexpr float gainRange = 24.0f;
constexpr float minQ = 0.1f;
constexpr float maxQ = 30.0f;

// Bounds a value; one not above the lower bound (NaN included) becomes the lower bound.
float bound(float value, float low, float high)
{
    if (value > high)
        return high;
    return value > low ? value : low;
}

// |H(e^jw)|^2 in dB, evaluated in double precision from the normalised coefficients.
struct UnitCircle
{
    double c1, s1, c2, s2;
    explicit UnitCircle(double w)
        : c1(std::cos(w)), s1(std::sin(w)), c2(std::cos(2.0 * w)), s2(std::sin(2.0 * w))
    {
    }
    float magnitudeDb(const BiquadCoefficients &k) const
    {
        const double dr = 1.0 + k.a1 * c1 + k.a2 * c2;
        const double di = k.a1 * s1 + k.a2 * s2;
        const double denominator = dr * dr + di * di;
        if (denominator < 1e-20)
            return 0.0f;
        const double nr = k.b0 + k.b1 * c1 + k.b2 * c2;
        const double ni = k.b1 * s1 + k.b2 * s2;
        return float(10.0 * std::log10(std::max((nr * nr + ni * ni) / denominator, 1e-20)));
    }
};

double pointFrequency(int i, int n)
{
    return std::pow(10.0, double(i) / double(n - 1) * 3.0 + double(log10Of20));
}

} // namespace

ParametricEQWidget::ParametricEQWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(500, 300);
    setAttribute(Qt::WA_MouseTracking);
    // The analyser's picture covers every pixel, so nothing is filled beneath it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::WheelFocus);
    analyzer = new FrequencyAnalyzerWidget(this);
    analyzer->setVisible(false);

    bands[0] = {true, 80.0f, 0.0f, 1.0f, LowShelf, QColor(255, 100, 100)};
    bands[1] = {true, 250.0f, 0.0f, 1.0f, Bell, QColor(255, 200, 50)};
    bands[2] = {true, 1000.0f, 0.0f, 1.0f, Bell, QColor(100, 255, 100)};
    bands[3] = {true, 4000.0f, 0.0f, 1.0f, Bell, QColor(100, 200, 255)};
    bands[4] = {true, 12000.0f, 0.0f, 1.0f, HighShelf, QColor(200, 100, 255)};
}

// ---------------------------------------------------------------- bands

ParametricEQWidget::EQBand ParametricEQWidget::band(int index) const
{
    if (index < 0 || index >= bandCount)
        return EQBand{};
    return bands[std::size_t(index)];
}

void ParametricEQWidget::changed(int index)
{
    emit bandChanged(index);
    update();
}

void ParametricEQWidget::setBand(int index, const EQBand &value)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)] = value;
    changed(index);
}

void ParametricEQWidget::setBandEnabled(int index, bool enabled)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].enabled = enabled;
    changed(index);
}

void ParametricEQWidget::setBandFrequency(int index, float hz)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].frequency = bound(hz, minFrequency, maxFrequency);
    changed(index);
}

void ParametricEQWidget::setBandGain(int index, float db)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].gainDb = bound(db, -gainRange, gainRange);
    changed(index);
}

void ParametricEQWidget::setBandQ(int index, float q)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].q = bound(q, minQ, maxQ);
    changed(index);
}

void ParametricEQWidget::setBandType(int index, FilterType type)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].type = type;
    changed(index);
}

void ParametricEQWidget::setBandColor(int index, const QColor &color)
{
    if (index < 0 || index >= bandCount)
        return;
    bands[std::size_t(index)].color = color;
    update();
}

void ParametricEQWidget::resetBand(int index)
{
    bands[std::size_t(index)].gainDb = 0.0f;
    bands[std::size_t(index)].q = 1.0f;
    changed(index);
}

void ParametricEQWidget::setMasterGain(float db)
{
    masterGain = bound(db, -gainRange, gainRange);
    emit masterGainChanged(masterGain);
    update();
}

void ParametricEQWidget::setBypassed(bool value)
{
    if (bypassed == value)
        return;
    bypassed = value;
    // The filters follow the picture: bypassed means the audio is left alone.
    emit bypassedChanged(bypassed);
    update();
}

void ParametricEQWidget::setCurveColor(const QColor &color)
{
    curveColor = color;
    update();
}

void ParametricEQWidget::setControlPointRadius(float radius)
{
    controlPointRadius = bound(radius, 4.0f, 20.0f);
    update();
}

int ParametricEQWidget::sampleRate() const
{
    return analyzer->getSampleRate();
}

// ---------------------------------------------------------------- analyser

void ParametricEQWidget::setAudioData(const QList<float> &samples, int rate)
{
    analyzer->setAudioData(samples, rate);
    update();
}

void ParametricEQWidget::setAudioDataStereo(const QList<float> &left, const QList<float> &right, int rate)
{
    analyzer->setAudioDataStereo(left, right, rate);
    update();
}

void ParametricEQWidget::clearAudioData()
{
    analyzer->clearAudioData();
    update();
}

void ParametricEQWidget::processAudioFrame(const float *samples, int count)
{
    analyzer->processAudioFrame(samples, count);
}

void ParametricEQWidget::processAudioFrameStereo(const float *left, const float *right, int count)
{
    analyzer->processAudioFrameStereo(left, right, count);
}

// ---------------------------------------------------------------- responses

float ParametricEQWidget::limitedFrequency(float hz, float rate)
{
    return std::min(hz, 0.49f * rate);
}

std::optional<BiquadCoefficients> ParametricEQWidget::sectionFor(const EQBand &b, float rate)
{
    if (!b.enabled || !(b.frequency > 0.0f) || !(rate > 0.0f))
        return std::nullopt;
    return BiquadCoefficients::forBand(int(b.type), limitedFrequency(b.frequency, rate), b.gainDb, b.q,
                                       int(std::lround(rate)));
}

float ParametricEQWidget::computeFilterMagnitude(float f, float f0, float gainDb, float q, FilterType type,
                                                 float rate)
{
    if (!(f > 0.0f))
        return 0.0f;
    const std::optional<BiquadCoefficients> section = sectionFor({true, f0, gainDb, q, type, Qt::white}, rate);
    if (!section)
        return 0.0f;
    return UnitCircle(2.0 * std::numbers::pi * double(f) / double(rate)).magnitudeDb(*section);
}

QList<float> ParametricEQWidget::computeEQCurve(int n) const
{
    QList<float> curve(std::max(n, 0), masterGain);
    const float rate = float(sampleRate());
    if (n < 2 || !(rate > 0.0f))
        return curve;
    std::vector<BiquadCoefficients> sections;
    for (const EQBand &b : bands)
        if (const auto section = sectionFor(b, rate))
            sections.push_back(*section);
    for (int i = 0; i < n; ++i) {
        const UnitCircle point(2.0 * std::numbers::pi * pointFrequency(i, n) / double(rate));
        for (const BiquadCoefficients &section : sections)
            curve[i] += point.magnitudeDb(section);
    }
    return curve;
}

// ---------------------------------------------------------------- mapping

float ParametricEQWidget::freqToX(float hz, const QRect &r) const
{
    return float(r.left()) + float(r.width()) * (std::log10(std::clamp(hz, minFrequency, maxFrequency)) - log10Of20) / 3.0f;
}

float ParametricEQWidget::dbToY(float db, const QRect &r) const
{
    return float(r.top()) + float(r.height()) * (1.0f - (db + gainRange) / (2.0f * gainRange));
}

float ParametricEQWidget::pointToFreq(float x, const QRect &r) const
{
    const float t = (x - float(r.left())) / float(r.width());
    if (t > 1.0f)
        return std::pow(10.0f, log10Of20 + 3.0f);
    if (t > 0.0f)
        return std::pow(10.0f, log10Of20 + 3.0f * t);
    return std::pow(10.0f, log10Of20);
}

float ParametricEQWidget::pointToGain(float y, const QRect &r) const
{
    return 2.0f * gainRange * (1.0f - (y - float(r.top())) / float(r.height())) - gainRange;
}

QPointF ParametricEQWidget::bandToPoint(int index, const QRect &r) const
{
    if (index < 0 || index >= bandCount)
        return {};
    const EQBand &b = bands[std::size_t(index)];
    return {freqToX(b.frequency, r), dbToY(b.gainDb, r)};
}

int ParametricEQWidget::pointToBand(const QPointF &position, const QRect &r) const
{
    int best = -1;
    double bestDistance = double(controlPointRadius) + 6.0;
    for (int i = 0; i < bandCount; ++i) {
        if (!bands[std::size_t(i)].enabled)
            continue;
        const QPointF d = bandToPoint(i, r) - position;
        const double distance = std::hypot(d.x(), d.y());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// ---------------------------------------------------------------- painting

void ParametricEQWidget::paintEvent(QPaintEvent *)
{
    plotRect = QRect(QPoint(55, 20), QPoint(width() - 11, height() - 31));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The analyser is hidden: its picture, as of now, is the whole background. Rendering it
    // costs far more than the curves, so it is redone only when that picture has changed.
    analyzer->setFixedSize(size());
    if (background.size() != size() || backgroundVersion != analyzer->pictureVersion()) {
        background = QPixmap(size());
        analyzer->render(&background, QPoint(0, 0), QRegion(),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
        backgroundVersion = analyzer->pictureVersion();
    }
    painter.drawPixmap(0, 0, background);

    if (bypassed) {
        drawBypassOverlay(painter, plotRect);
        return;
    }
    drawEQCurve(painter, plotRect);
    drawControlPoints(painter, plotRect);
}

// The n points of the curve for a rate and plot: their abscissae and unit-circle values, and
// each band's own response at them while its section stays the same.
struct ParametricEQWidget::CurveGrid
{
    CurveGrid(int n, float rate, const QRect &plot, const ParametricEQWidget &graph) : n(n), rate(rate), plot(plot)
    {
        x.reserve(std::size_t(n));
        points.reserve(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            const double f = pointFrequency(i, n);
            x.push_back(graph.freqToX(float(f), plot));
            points.emplace_back(2.0 * std::numbers::pi * f / double(rate));
        }
    }
    bool fits(int count, float sampleRate, const QRect &r) const { return count == n && sampleRate == rate && r == plot; }
    // Band b's response at every point for `section`; zeros for a band that has none.
    const std::vector<float> &response(int b, const std::optional<BiquadCoefficients> &section)
    {
        Response &kept = responses[std::size_t(b)];
        if (!kept.values.empty() && kept.section == section)
            return kept.values;
        kept.section = section;
        kept.values.assign(std::size_t(n), 0.0f);
        if (section)
            for (int i = 0; i < n; ++i)
                kept.values[std::size_t(i)] = points[std::size_t(i)].magnitudeDb(*section);
        return kept.values;
    }

    struct Response
    {
        std::optional<BiquadCoefficients> section;
        std::vector<float> values;
    };
    int n;
    float rate;
    QRect plot;
    std::vector<double> x;
    std::vector<UnitCircle> points;
    std::array<Response, bandCount> responses;
};

ParametricEQWidget::~ParametricEQWidget() = default;

void ParametricEQWidget::drawEQCurve(QPainter &painter, const QRect &r) const
{
    const int n = std::max(128, 2 * (r.right() - r.left()) + 2);
    const float rate = float(sampleRate());
    const auto yOf = [&](float db) { return std::clamp(double(dbToY(db, r)), double(r.top()), double(r.bottom())); };
    if (!grid || !grid->fits(n, rate, r))
        grid = std::make_unique<CurveGrid>(n, rate, r, *this);

    std::vector<float> totals(std::size_t(n), masterGain);
    std::array<QPainterPath, bandCount> ownCurves;
    for (int b = 0; b < bandCount; ++b) {
        if (!bands[std::size_t(b)].enabled)
            continue;
        const std::vector<float> &own = grid->response(b, sectionFor(bands[std::size_t(b)], rate));
        QPainterPath &path = ownCurves[std::size_t(b)];
        path.reserve(n);
        for (int i = 0; i < n; ++i) {
            totals[std::size_t(i)] += own[std::size_t(i)];
            const QPointF at(grid->x[std::size_t(i)], yOf(own[std::size_t(i)]));
            i == 0 ? path.moveTo(at) : path.lineTo(at);
        }
    }
    QPainterPath sum;
    sum.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QPointF at(grid->x[std::size_t(i)], yOf(totals[std::size_t(i)]));
        i == 0 ? sum.moveTo(at) : sum.lineTo(at);
    }

    fillUnderCurve(painter, sum, r, r.right(), r.left(), curveColor, 30, 3);
    strokePolyline(painter, sum, QPen(curveColor, 2.0));

    for (int b = 0; b < bandCount; ++b) {
        if (!bands[std::size_t(b)].enabled)
            continue;
        QColor color = bands[std::size_t(b)].color;
        color.setAlpha(100);
        painter.setPen(QPen(color, 1.0, Qt::DashLine));
        painter.drawPath(ownCurves[std::size_t(b)]);
    }

    const int y0 = int(float(r.top()) + float(r.height()) * 0.5f);
    if (y0 >= r.top() && y0 <= r.bottom()) {
        painter.setPen(QPen(QColor(255, 255, 255, 60), 1.0, Qt::DashDotLine));
        painter.drawLine(r.left(), y0, r.right(), y0);
    }
}

void ParametricEQWidget::drawControlPoints(QPainter &painter, const QRect &r) const
{
    const double radius = controlPointRadius;
    for (int i = 0; i < bandCount; ++i) {
        const EQBand &b = bands[std::size_t(i)];
        if (!b.enabled)
            continue;
        const QPointF p = bandToPoint(i, r);
        if (i == selectedBand) {
            painter.setPen(QPen(Qt::white, 2.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(p, radius + 3.0, radius + 3.0);
        }
        QColor fill = b.color;
        fill.setAlpha(180);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(fill);
        painter.drawEllipse(p, radius, radius);
        painter.setPen(QPen(Qt::white, 1.0));
        const double arm = 0.4 * radius;
        painter.drawLine(QPointF(p.x() - arm, p.y()), QPointF(p.x() + arm, p.y()));
        painter.drawLine(QPointF(p.x(), p.y() - arm), QPointF(p.x(), p.y() + arm));
    }
    // Captions last, so no point covers one.
    painter.setFont(sizedFont(painter, 7));
    const std::vector<QRectF> boxes = captionBoxes(r, painter.font());
    std::size_t next = 0;
    for (int i = 0; i < bandCount; ++i)
        if (bands[std::size_t(i)].enabled)
            drawBandLabel(painter, i, boxes[next++]);
}

namespace {
const char *const typeNames[] = {"Bell", "LS", "HS", "LP", "HP", "Notch", "BP"};
} // namespace

QString ParametricEQWidget::captionLine(int index) const
{
    const EQBand &b = bands[std::size_t(index)];
    const QString typeName = b.type >= Bell && b.type <= BandPass ? QString::fromLatin1(typeNames[b.type]) : QString();
    const QString frequency = b.frequency >= 1000.0f ? QStringLiteral("%1k").arg(double(b.frequency) / 1000.0, 0, 'f', 1)
                                                     : QString::number(int(b.frequency));
    return QStringLiteral("B%1 %2 %3Hz").arg(index + 1).arg(typeName, frequency);
}

std::vector<QRectF> ParametricEQWidget::captionBoxes(const QRect &r, const QFont &font) const
{
    const QFontMetrics metrics(font);
    const double h = 2 * metrics.height() + 4;
    const double radius = controlPointRadius;
    std::vector<QRectF> placed;
    for (int i = 0; i < bandCount; ++i) {
        if (!bands[std::size_t(i)].enabled)
            continue;
        // As wide as the longer line: "0.0dB Q=1.0" outgrows a short first line such as "B1 LS 80Hz".
        const double w = std::max(metrics.horizontalAdvance(captionLine(i)), metrics.horizontalAdvance(valueLine(i))) + 8;
        const QPointF p = bandToPoint(i, r);
        double x = p.x() + radius + 4.0;
        if (x + w > r.right())
            x = p.x() - radius - w - 4.0;
        x = std::clamp(x, double(r.left()) + 2.0, std::max(double(r.left()) + 2.0, double(r.right()) - w));
        double y = p.y() - h;
        if (y < r.top())
            y = r.top() + 2;
        // Bands at one gain and close in frequency (the defaults at 0 dB) would stack their
        // captions on one another: a later caption goes below its point, else to the free row
        // of the plot nearest to it.
        std::vector<double> tops{y, p.y() + radius + 4.0};
        for (double row = r.top() + 2; row + h <= r.bottom(); row += h + 2.0)
            tops.push_back(row);
        std::stable_sort(tops.begin() + 2, tops.end(),
                         [y](double a, double b) { return std::abs(a - y) < std::abs(b - y); });
        QRectF box(x, y, w, h);
        for (const double top : tops) {
            const QRectF candidate(x, top, w, h);
            const bool inside = candidate.top() >= r.top() && candidate.bottom() <= r.bottom();
            const bool clear = std::none_of(placed.begin(), placed.end(),
                                            [&](const QRectF &other) { return other.intersects(candidate); });
            if (inside && clear) {
                box = candidate;
                break;
            }
        }
        placed.push_back(box);
    }
    return placed;
}

QString ParametricEQWidget::valueLine(int index) const
{
    const EQBand &b = bands[std::size_t(index)];
    return QStringLiteral("%1dB Q=%2").arg(double(b.gainDb), 0, 'f', 1).arg(double(b.q), 0, 'f', 1);
}

void ParametricEQWidget::drawBandLabel(QPainter &painter, int index, const QRectF &box) const
{
    const EQBand &b = bands[std::size_t(index)];
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 160));
    painter.drawRoundedRect(box, 3, 3);
    const QRectF text(box.x() + 4, box.y() + 2, box.width() - 6, box.height() - 4);
    painter.setPen(b.color);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, captionLine(index));
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, valueLine(index));
}

void ParametricEQWidget::drawBypassOverlay(QPainter &painter, const QRect &r) const
{
    painter.setFont(sizedFont(painter, 14, 700));
    painter.setPen(QColor(255, 255, 255, 120));
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("BYPASS"));
    const int y = int(float(r.top()) + float(r.height()) * 0.5f);
    painter.setPen(QPen(QColor(255, 255, 255, 80), 1.0, Qt::DashLine));
    painter.drawLine(r.left(), y, r.right(), y);
}

// ---------------------------------------------------------------- mouse

void ParametricEQWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || plotRect.width() < 1 || plotRect.height() < 1) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int hit = pointToBand(QPointF(event->position().toPoint()), plotRect);
    if (hit < 0) {
        selectedBand = -1;
    } else {
        dragging = true;
        selectedBand = dragBand = hit;
    }
    emit bandSelected(hit);
    update();
    QWidget::mousePressEvent(event);
}

void ParametricEQWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging && dragBand >= 0 && plotRect.width() > 0 && plotRect.height() > 0) {
        EQBand &b = bands[std::size_t(dragBand)];
        const QPointF at = event->position();
        b.frequency = std::clamp(pointToFreq(float(at.x()), plotRect), minFrequency, maxFrequency);
        b.gainDb = std::clamp(pointToGain(float(at.y()), plotRect), -gainRange, gainRange);
        changed(dragBand);
    }
    QWidget::mouseMoveEvent(event);
}

void ParametricEQWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = false;
        dragBand = -1;
    }
    QWidget::mouseReleaseEvent(event);
}

void ParametricEQWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && plotRect.width() > 0 && plotRect.height() > 0) {
        const int hit = pointToBand(QPointF(event->position().toPoint()), plotRect);
        if (hit >= 0) {
            // No drag from here: the reset point sits away from the pointer, and any jitter
            // before the release would drag the band back to where it was.
            dragging = false;
            dragBand = -1;
            resetBand(hit);
            event->accept();
            return;
        }
    }
    QWidget::mouseDoubleClickEvent(event);
}

void ParametricEQWidget::wheelEvent(QWheelEvent *event)
{
    int target = selectedBand;
    if (target < 0 && plotRect.width() > 0 && plotRect.height() > 0)
        target = pointToBand(QPointF(event->position().toPoint()), plotRect);
    if (target < 0) {
        QWidget::wheelEvent(event);
        return;
    }
    EQBand &b = bands[std::size_t(target)];
    b.q = std::clamp(b.q * std::pow(1.15f, float(event->angleDelta().y()) / 120.0f), minQ, maxQ);
    changed(target);
    event->accept();
}

void ParametricEQWidget::leaveEvent(QEvent *event)
{
    update();
    QWidget::leaveEvent(event);
}

void ParametricEQWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    analyzer->setFixedSize(size());
    update();
}

void ParametricEQWidget::contextMenuEvent(QContextMenuEvent *event)
{
    const int hit = plotRect.width() > 0 && plotRect.height() > 0 ? pointToBand(QPointF(event->pos()), plotRect) : -1;
    if (hit < 0) {
        QWidget::contextMenuEvent(event);
        return;
    }
    selectedBand = hit;
    emit bandSelected(hit);

    QMenu menu(this);
    menu.setTitle(QStringLiteral("Band %1").arg(hit + 1));
    QMenu *types = menu.addMenu(tr("Filter Type"));
    const QString typeTexts[] = {tr("Bell (Peak/Dip)"), tr("Low Shelf"), tr("High Shelf"), tr("Low Pass"),
                                 tr("High Pass"),       tr("Notch"),     tr("Band Pass")};
    for (int t = Bell; t <= BandPass; ++t) {
        QAction *action = types->addAction(typeTexts[t]);
        action->setCheckable(true);
        action->setChecked(bands[std::size_t(hit)].type == t);
        connect(action, &QAction::triggered, this, [this, hit, t] { setBandType(hit, FilterType(t)); });
    }
    menu.addSeparator();
    QAction *enabled = menu.addAction(tr("Enabled"));
    enabled->setCheckable(true);
    enabled->setChecked(bands[std::size_t(hit)].enabled);
    connect(enabled, &QAction::toggled, this, [this, hit](bool on) { setBandEnabled(hit, on); });
    QAction *reset = menu.addAction(tr("Reset Band"));
    connect(reset, &QAction::triggered, this, [this, hit] { resetBand(hit); });
    menu.addSeparator();
    QAction *bypass = menu.addAction(tr("Bypass All"));
    bypass->setCheckable(true);
    bypass->setChecked(bypassed);
    connect(bypass, &QAction::toggled, this, &ParametricEQWidget::setBypassed);
    menu.exec(event->globalPos());
    update();
}
