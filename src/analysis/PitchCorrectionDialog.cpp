// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch-correction editor: analysis, view geometry, gestures, rendering and painting.
#include "analysis/PitchCorrectionDialog.h"

#include "audio/VectorState.h"
#include "audio/dsp/PitchShiftProcessor.h"
#include "ui/KeyGrid.h"
#include "ui/TimeViewport.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr int kKeyWidth = 48;
constexpr int kRulerHeight = 32;
constexpr int kBottomBarHeight = 60;
constexpr int kTopNote = 119;
constexpr int kBottomNote = 12;
constexpr int kRowPixels = 24;
constexpr int kAllRowsPixels = (kTopNote - kBottomNote + 1) * kRowPixels;
// The phase vocoder shifts at most an octave either way.
constexpr float kMaxShiftSemitones = 12.0f;
// Frames per analysis task: enough work per task to outweigh handing it out.
constexpr size_t kFramesPerTask = 512;

float continuousPitch(float hz)
{
    return 12.0f * std::log2(hz / 440.0f) + 69.0f;
}

// The pitch track of the whole clip, its frame ranges analysed side by side. Each frame
// depends only on its own samples, so the result equals one detect() over the clip.
std::vector<PitchFrame> detectPitch(const YinPitchDetector &detector, const float *samples, size_t count)
{
    const size_t frameSize = size_t(std::max(detector.frameSize, 0));
    const size_t hop = size_t(std::max(detector.hopSize, 1));
    if (frameSize < 2 || count < frameSize || !(detector.sampleRate > 0.0f))
        return {};
    const size_t total = (count - frameSize) / hop + 1;
    std::vector<size_t> firstFrames;
    for (size_t first = 0; first < total; first += kFramesPerTask)
        firstFrames.push_back(first);
    const auto chunks = QtConcurrent::blockingMapped<std::vector<std::vector<PitchFrame>>>(
        firstFrames, [&](size_t first) {
            const size_t frameCount = std::min(kFramesPerTask, total - first);
            return detector.detect(samples + first * hop, (frameCount - 1) * hop + frameSize);
        });
    std::vector<PitchFrame> track;
    track.reserve(total);
    for (const std::vector<PitchFrame> &chunk : chunks)
        track.insert(track.end(), chunk.begin(), chunk.end());
    for (size_t k = 0; k < track.size(); ++k)
        track[k].timeSec = (double(k * hop) + double(frameSize) * 0.5) / detector.sampleRate;
    return track;
}

QPen styledPen(const QColor &color, qreal width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    return pen;
}

} // namespace

PitchCorrectionDialog::PitchCorrectionDialog(const QList<float> &samples, int rate, QWidget *parent)
    : QDialog(parent)
    , inputSamples(samples)
    , outputSamples(samples)
    , sampleRate(rate)
{
    setWindowTitle(tr("音高修正"));
    resize(1200, 600);
    setMinimumSize(800, 400);
    setFocusPolicy(Qt::StrongFocus);

    detector.configure(float(sampleRate), 40.0f, 10.0f, 0.15f);
    clearUpperVectorState();
    frames = detectPitch(detector, inputSamples.constData(), size_t(inputSamples.size()));
    segments = YinPitchDetector::buildSegments(frames, 3, 2);
    YinPitchDetector::computeTargets(segments, 1.0f);

    setupBottomBar();

    if (!segments.empty() && (width() - kKeyWidth) / 100.0 > 0.0) {
        const double centre =
            (frameTime(segments.front().startFrame) + frameTime(segments.back().endFrame - 1)) / 2.0;
        viewStart = std::max(0.0, centre - (width() - kKeyWidth) / 200.0);
    }
    scrollToSegments();
}

void PitchCorrectionDialog::setupBottomBar()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();

    auto *bar = new QWidget(this);
    bar->setFixedHeight(kBottomBarHeight);
    bar->setStyleSheet(
        QStringLiteral("background-color: #1a1a28; border-top: 1px solid rgba(42,130,218,40);"));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);

    strengthLabel = new QLabel(tr("修正力度:"), bar);
    strengthLabel->setStyleSheet(QStringLiteral("color: #c0c0d0; font-size: 12px;"));
    strengthSlider = new QSlider(Qt::Horizontal, bar);
    strengthSlider->setRange(0, 100);
    strengthSlider->setValue(100);
    strengthSlider->setFixedWidth(150);
    strengthSlider->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { background: #2a2a3a; height: 4px; border-radius: 2px; }"
        "QSlider::handle:horizontal { background: #2a82da; width: 12px; height: 12px; margin: -4px 0; "
        "border-radius: 6px; }QSlider::sub-page:horizontal { background: qlineargradient(x1:0,y1:0,x2:1,y2:0, "
        "stop:0 #2a82da, stop:1 #00f2ff); border-radius: 2px; }"));
    infoLabel = new QLabel(QStringLiteral("%1 %2").arg(segments.size()).arg(tr("个音高段")), bar);
    infoLabel->setStyleSheet(QStringLiteral("color: #888; font-size: 11px;"));
    row->addWidget(strengthLabel);
    row->addWidget(strengthSlider);
    row->addWidget(infoLabel);
    row->addStretch();

    const auto addButton = [&](const QString &text) {
        auto *button = new QPushButton(text, bar);
        button->setFixedSize(60, 28);
        button->setAutoDefault(false);
        button->setStyleSheet(
            QStringLiteral("background: #252538; color: #aaaacc; border: 1px solid #3a3a50; border-radius: 4px;"));
        row->addWidget(button);
        return button;
    };
    previewButton = addButton(tr("试听"));
    applyButton = addButton(tr("应用"));
    cancelButton = addButton(tr("取消"));
    layout->addWidget(bar);

    connect(strengthSlider, &QSlider::valueChanged, this, &PitchCorrectionDialog::onStrengthChanged);
    connect(applyButton, &QPushButton::clicked, this, [this] {
        runCorrection();
        accept();
    });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

// Sung notes sit far below the grid's top (MIDI 119): open on the rows that hold them.
void PitchCorrectionDialog::scrollToSegments()
{
    if (segments.empty())
        return;
    float lowest = 127.0f;
    float highest = 0.0f;
    for (const PitchCorrectionSegment &segment : segments) {
        const float pitch = continuousPitch(segment.targetHz);
        lowest = std::min(lowest, pitch);
        highest = std::max(highest, pitch);
    }
    const float centre = (lowest + highest) / 2.0f;
    const int gridHeight = height() - kRulerHeight - kBottomBarHeight;
    setScroll(int((kTopNote - centre) * kRowPixels * vZoom + kRowPixels * vZoom / 2.0) - gridHeight / 2);
}

// ---------------------------------------------------------------- geometry

QRect PitchCorrectionDialog::rulerArea() const
{
    return QRect(QPoint(kKeyWidth, 0), QPoint(width() - 1, kRulerHeight - 1));
}

QRect PitchCorrectionDialog::pianoKeyArea() const
{
    return QRect(QPoint(0, kRulerHeight), QPoint(kKeyWidth - 1, height() - kBottomBarHeight - 1));
}

QRect PitchCorrectionDialog::gridArea() const
{
    return QRect(QPoint(kKeyWidth, kRulerHeight), QPoint(width() - 1, height() - kBottomBarHeight - 1));
}

int PitchCorrectionDialog::pitchToY(float pitch) const
{
    const float rows = (float(kTopNote) - pitch) * float(kRowPixels);
    return int(double(rows) * vZoom) + kRulerHeight - scrollY;
}

double PitchCorrectionDialog::yToPitch(int y) const
{
    return kTopNote - double(y + scrollY - kRulerHeight) / (kRowPixels * vZoom);
}

int PitchCorrectionDialog::secToX(double seconds) const
{
    return int(TimelineScale::pixelOf(seconds, viewStart, hZoom)) + kKeyWidth;
}

double PitchCorrectionDialog::xToSec(int x) const
{
    return TimelineScale::secondsAt(x - kKeyWidth, viewStart, hZoom);
}

double PitchCorrectionDialog::frameTime(int frame) const
{
    return frames[size_t(frame)].timeSec;
}

int PitchCorrectionDialog::rowHeight() const
{
    return int(kRowPixels * vZoom);
}

int PitchCorrectionDialog::maximumScroll() const
{
    return std::max(0, int(kAllRowsPixels * vZoom) - (height() - 92));
}

double PitchCorrectionDialog::largestViewStart() const
{
    const double duration = sampleRate > 0 ? double(inputSamples.size()) / sampleRate : 0.0;
    return duration - (width() - kKeyWidth) / TimelineScale::pixelsPerSecond(hZoom);
}

void PitchCorrectionDialog::clampViewStart()
{
    viewStart = std::max(0.0, std::min(viewStart, largestViewStart()));
}

void PitchCorrectionDialog::setScroll(int value)
{
    scrollY = std::clamp(value, 0, maximumScroll());
}

int PitchCorrectionDialog::hitTestSegment(const QPoint &point) const
{
    if (!gridArea().contains(point))
        return -1;
    const int tolerance = int(1.5 * kRowPixels * vZoom);
    for (size_t i = 0; i < segments.size(); ++i) {
        const PitchCorrectionSegment &segment = segments[i];
        if (segment.startFrame >= int(frames.size()) || segment.endFrame < 1)
            continue;
        const int left = secToX(frameTime(segment.startFrame)) - 4;
        const int right = secToX(frameTime(std::min(segment.endFrame, int(frames.size())) - 1)) + 4;
        const int centreY = int(pitchToY(continuousPitch(segment.targetHz)) + kRowPixels / 2.0 * vZoom);
        if (point.x() >= left && point.x() <= right && std::abs(point.y() - centreY) <= tolerance)
            return int(i);
    }
    return -1;
}

// ---------------------------------------------------------------- editing

void PitchCorrectionDialog::onStrengthChanged(int value)
{
    strength = value / 100.0f;
    strengthLabel->setText(tr("修正力度: %1%").arg(value));
    YinPitchDetector::computeTargets(segments, strength);
    update();
}

void PitchCorrectionDialog::moveSelectedSegment(int note)
{
    PitchCorrectionSegment &segment = segments[size_t(selectedSegment)];
    // Only what the render can reach is offered: the shifter stops at an octave either way.
    const float detectedPitch = continuousPitch(segment.detectedHz);
    const int lowest = std::max(0, int(std::ceil(detectedPitch - kMaxShiftSemitones)));
    const int highest = std::min(127, int(std::floor(detectedPitch + kMaxShiftSemitones)));
    note = std::clamp(note, lowest, highest);
    segment.midiNote = note;
    segment.targetHz = float(YinPitchDetector::midiNoteFrequency(note));
    segment.shiftSemitones = 12.0f * std::log2(segment.targetHz / segment.detectedHz);
    segment.manualTarget = true;
    infoLabel->setText(
        QStringLiteral("%1 %2 | %3: %4").arg(segments.size()).arg(tr("个音高段"), tr("目标")).arg(note));
    update();
}

QList<float> PitchCorrectionRender::apply(const QList<float> &input) const
{
    QList<float> output = input;
    const qsizetype n = input.size();
    const qsizetype hop = std::max(hopSize, 1);
    const int fade = int(sampleRate * 0.008);
    struct Region
    {
        qsizetype start;
        qsizetype length;
        float shift;
    };
    std::vector<Region> regions;
    for (const PitchCorrectionSegment &segment : segments) {
        if (std::fabs(segment.shiftSemitones) < 0.01f)
            continue;
        // Up to the last sample of the segment's last analysed window, so the note's tail moves too.
        const qsizetype start = std::max<qsizetype>(0, hop * segment.startFrame);
        const qsizetype end = std::min<qsizetype>(n, hop * (segment.endFrame - 1) + frameSize);
        if (end - start > 255)
            regions.push_back({start, end - start, segment.shiftSemitones});
    }

    // Regions start from the unprocessed input and never overlap, so they render side by side.
    const float *in = input.constData();
    float *out = output.data();
    QtConcurrent::blockingMap(regions, [&](const Region &region) {
        PitchShiftProcessor shifter;
        shifter.setSampleRate(float(sampleRate));
        shifter.setPitch(region.shift);
        std::vector<float> shifted(size_t(region.length), 0.0f);
        shifter.processOffline(in + region.start, shifted.data(), std::uint64_t(region.length));
        const qsizetype len = region.length;
        for (qsizetype j = 0; j < len; ++j) {
            float w;
            if (j < fade)
                w = float(j) / float(fade);
            else if (j < len - fade)
                w = 1.0f;
            else
                w = float(len - 1 - j) / float(fade);
            out[region.start + j] = w * shifted[size_t(j)] + (1.0f - w) * in[region.start + j];
        }
    });
    return output;
}

PitchCorrectionRender PitchCorrectionDialog::correction() const
{
    return {segments, detector.hopSize, detector.frameSize, sampleRate};
}

void PitchCorrectionDialog::runCorrection()
{
    clearUpperVectorState();
    outputSamples = correction().apply(inputSamples);
}

// ---------------------------------------------------------------- input

void PitchCorrectionDialog::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (pos.y() < kRulerHeight) {
        if (pos.x() > kKeyWidth) {
            playheadTime = std::max(0.0, xToSec(pos.x()));
            update();
        }
        return;
    }
    if (pos.x() > kKeyWidth && pos.y() > kRulerHeight && event->button() == Qt::LeftButton) {
        selectedSegment = hitTestSegment(pos);
        if (selectedSegment >= 0) {
            dragging = true;
            dragStartY = pos.y();
            dragStartTargetHz = segments[size_t(selectedSegment)].targetHz;
        }
        update();
    }
}

void PitchCorrectionDialog::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (dragging && selectedSegment >= 0) {
        const float pitch =
            continuousPitch(dragStartTargetHz) + float(dragStartY - pos.y()) / float(kRowPixels * vZoom);
        moveSelectedSegment(std::clamp(int(std::roundf(pitch)), 0, 127));
    } else if ((event->buttons() & Qt::LeftButton) && pos.y() < kRulerHeight) {
        playheadTime = std::max(0.0, xToSec(pos.x()));
        update();
    }
}

void PitchCorrectionDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragging) {
        dragging = false;
        update();
    }
    QDialog::mouseReleaseEvent(event);
}

void PitchCorrectionDialog::wheelEvent(QWheelEvent *event)
{
    const QPoint pixels = event->pixelDelta();
    const QPoint angles = event->angleDelta();
    const int px = pixels.x(), py = pixels.y(), ax = angles.x(), ay = angles.y();
    if (px == 0 && py == 0 && ax == 0 && ay == 0)
        return;
    const int d = py != 0 ? py : ay;
    const auto factor = [](int amount) { return amount > 0 ? 1.1 : 0.9; };
    const auto clampZooms = [this] {
        hZoom = std::clamp(hZoom, 0.1, 10.0);
        vZoom = std::clamp(vZoom, 0.3, 3.0);
    };
    if (px != 0 && py != 0 && (px > 0) == (py > 0)) {
        hZoom *= factor(px);
        vZoom *= factor(py);
        clampZooms();
    } else if (event->modifiers() & Qt::ControlModifier) {
        if (d != 0)
            hZoom *= factor(d);
        clampZooms();
    } else if (event->modifiers() & Qt::ShiftModifier) {
        if (d == 0) {
            event->accept();
            return;
        }
        vZoom *= factor(d);
        clampZooms();
    } else {
        if (px != 0 || ax != 0) {
            viewStart += px != 0 ? -px / TimelineScale::pixelsPerSecond(hZoom) : -ax / 120.0 * 2.0;
            clampViewStart();
        }
        if (py != 0 || ay != 0)
            setScroll(scrollY + (py != 0 ? -py : int(-ay / 120.0 * 40.0)));
    }
    update();
    event->accept();
}

void PitchCorrectionDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_G:
        hZoom = std::max(0.1, hZoom * 0.8);
        clampViewStart();
        break;
    case Qt::Key_H:
        hZoom = std::min(10.0, hZoom * 1.25);
        clampViewStart();
        break;
    case Qt::Key_Up:
        if (selectedSegment >= 0)
            moveSelectedSegment(std::min(127, segments[size_t(selectedSegment)].midiNote + 1));
        else
            setScroll(scrollY - rowHeight());
        break;
    case Qt::Key_Down:
        if (selectedSegment >= 0)
            moveSelectedSegment(std::max(0, segments[size_t(selectedSegment)].midiNote - 1));
        else
            setScroll(scrollY + rowHeight());
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    update();
    event->accept();
}

// ---------------------------------------------------------------- painting

void PitchCorrectionDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    drawBackground(painter);
    drawGrid(painter);
    paintPianoKeys(painter, pianoKeyArea(), keyRows());
    drawDetectedPitchCurve(painter);
    drawCorrectedPitchCurve(painter);
    drawRuler(painter);
    drawPlayhead(painter);
}

void PitchCorrectionDialog::drawBackground(QPainter &painter)
{
    painter.fillRect(pianoKeyArea(), QColor(30, 30, 40));
    painter.fillRect(gridArea(), QColor(25, 25, 35));
    painter.fillRect(rulerArea(), QColor(35, 35, 45));
}

KeyRows PitchCorrectionDialog::keyRows() const
{
    return {kTopNote, kBottomNote, rowHeight(), [this](int note) { return pitchToY(float(note)); }};
}

void PitchCorrectionDialog::drawGrid(QPainter &painter)
{
    const QRect grid = gridArea();
    paintKeyRows(painter, grid, keyRows());
    const double bps = gridBpm / 60.0;
    paintBeatLines(painter, grid, viewStart * bps, xToSec(grid.right() + 1) * bps + 0.25,
                   [this, bps](double beat) { return secToX(beat / bps); });
}

void PitchCorrectionDialog::drawDetectedPitchCurve(QPainter &painter)
{
    const int w = width();
    QPainterPath path;
    int points = 0;
    for (const PitchFrame &frame : frames) {
        if (!(frame.frequencyHz > 0.0f) || frame.midiNote < 0)
            continue;
        const int x = secToX(frame.timeSec);
        if (x < kKeyWidth || x > w - 1)
            continue;
        const QPointF point(x, pitchToY(continuousPitch(frame.frequencyHz)) + kRowPixels / 2.0 * vZoom);
        points++ == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    if (points < 2)
        return;
    painter.save();
    painter.setClipRect(gridArea());
    painter.setPen(styledPen(QColor(0, 220, 255, 200), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void PitchCorrectionDialog::drawCorrectedPitchCurve(QPainter &painter)
{
    const int w = width();
    const int frameCount = int(frames.size());
    painter.save();
    painter.setClipRect(gridArea());
    painter.setBrush(Qt::NoBrush);
    for (size_t i = 0; i < segments.size(); ++i) {
        const PitchCorrectionSegment &segment = segments[i];
        const bool selected = int(i) == selectedSegment;
        const float pitch = continuousPitch(segment.targetHz);
        const double y = pitchToY(pitch) + kRowPixels / 2.0 * vZoom;
        QPainterPath path;
        int points = 0;
        for (int f = segment.startFrame; f < segment.endFrame && f < frameCount; ++f) {
            if (!(frames[size_t(f)].frequencyHz > 0.0f))
                continue;
            const int x = secToX(frameTime(f));
            if (x < kKeyWidth || x > w - 1)
                continue;
            points++ == 0 ? path.moveTo(x, y) : path.lineTo(x, y);
        }
        if (points >= 2) {
            painter.setPen(selected ? styledPen(QColor(255, 255, 100, 220), 3) : styledPen(QColor(80, 255, 120, 180), 2));
            painter.drawPath(path);
        }
        if (segment.startFrame < frameCount && segment.endFrame > 0) {
            const int top = pitchToY(pitch);
            const int left = secToX(frameTime(segment.startFrame));
            const int right = secToX(frameTime(std::min(segment.endFrame, frameCount) - 1)) - 1;
            painter.fillRect(QRect(QPoint(left, top), QPoint(right, top + rowHeight() - 1)),
                             selected ? QColor(255, 255, 100, 50) : QColor(80, 255, 120, 30));
        }
    }
    painter.restore();
}

void PitchCorrectionDialog::drawRuler(QPainter &painter)
{
    const int w = width();
    painter.fillRect(rulerArea(), QColor(35, 35, 45));
    painter.setFont(QFont(QStringLiteral("sans-serif"), 9));
    const double bps = gridBpm / 60.0;
    const long firstBar = long(std::floor(viewStart * bps / 4.0));
    const long lastBar = long(std::ceil(xToSec(w) * bps / 4.0));
    for (long bar = firstBar; bar <= lastBar; ++bar) {
        const int x = secToX(bar * 4 / bps);
        if (x < kKeyWidth || x > w)
            continue;
        painter.setPen(styledPen(QColor(100, 100, 110), 1));
        painter.drawLine(x, 0, x, kRulerHeight);
        painter.setPen(QColor(160, 160, 170));
        painter.drawText(QRect(QPoint(x + 4, 0), QPoint(x + 63, kRulerHeight - 1)), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::number(bar + 1));
    }
    painter.setPen(QColor(55, 55, 65));
    painter.drawLine(kKeyWidth, kRulerHeight - 1, w - 1, kRulerHeight - 1);
}

void PitchCorrectionDialog::drawPlayhead(QPainter &painter)
{
    const int x = secToX(playheadTime);
    if (x < kKeyWidth || x > width() - 1)
        return;
    const QPointF triangle[3] = {QPointF(x - 5, 0), QPointF(x + 5, 0), QPointF(x, 8)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPolygon(triangle, 3);
    painter.setPen(styledPen(QColor(255, 255, 255, 200), 2));
    painter.drawLine(x, kRulerHeight, x, height() - kBottomBarHeight);
}
