// SPDX-License-Identifier: GPL-3.0-or-later
// The note editor of one MIDI clip: piano keys, a beat grid with the notes, a velocity lane,
// a bar ruler and the playhead, with key clicks and new notes sounding through a preview output.
#include "PianoRollDialog.h"

#include "PreviewPlaybackDevice.h"
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "ui/KeyGrid.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QDebug>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <cmath>

namespace {

constexpr int pixelsPerBeat = 24;
constexpr int rowCount = PianoRollDialog::topPitch - PianoRollDialog::bottomPitch + 1;  // 108
constexpr double minZoom = 0.1;
constexpr double maxZoom = 5.0;
constexpr int edgeGrabPixels = 6;
constexpr double minNoteBeats = 0.25;
constexpr int keyVelocity = 100;

double clampZoom(double zoom)
{
    return std::clamp(zoom, minZoom, maxZoom);
}

} // namespace

PianoRollDialog::PianoRollDialog(MidiClip *clip, const QColor &trackColor, SF2Sampler *sf2, PianoSampler *piano,
                                 QWidget *parent)
    : PianoRollDialog(clip ? ClipSource([clip] { return clip; }) : ClipSource(), trackColor, sf2, piano, parent)
{
}

PianoRollDialog::PianoRollDialog(ClipSource source, const QColor &color, SF2Sampler *sf2, PianoSampler *piano,
                                 QWidget *parent)
    : QDialog(parent), clipSource(std::move(source)), trackColor(color), sf2Sampler(sf2), pianoSampler(piano)
{
    setWindowTitle(tr("Piano Roll"));
    resize(960, 640);
    setMinimumSize(600, 400);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    startPreviewRenderer();
}

PianoRollDialog::~PianoRollDialog()
{
    stopPreviewRenderer();
    if (sf2Sampler)
        sf2Sampler->allNotesOff();
    if (pianoSampler)
        pianoSampler->allNotesOff();
}

MidiClip *PianoRollDialog::currentClip() const
{
    MidiClip *clip = clipSource ? clipSource() : nullptr;
    if (!clip && clipSource && !closing) {
        // The clip left its track (deleted, moved, undone): nothing is left to edit.
        closing = true;
        QMetaObject::invokeMethod(const_cast<PianoRollDialog *>(this), &QDialog::reject, Qt::QueuedConnection);
    }
    return clip;
}

void PianoRollDialog::setPlayheadPosition(double seconds)
{
    playheadTime = seconds;
    update();
}

void PianoRollDialog::setLivePlayer(const LiveAudioPlayer *player)
{
    livePlayer = player;
    if (previewDevice)
        previewDevice->setLivePlayer(player);
}

void PianoRollDialog::startPreviewRenderer()
{
    if (previewSink)
        return;
    const bool pianoLoaded = pianoSampler && pianoSampler->hasSamples();
    qDebug() << "PianoRollDialog: starting preview renderer" << "sampler=" << (sf2Sampler ? "yes" : "no")
             << "pianoSampler=" << (pianoSampler ? "yes" : "no") << "pianoLoaded=" << (pianoLoaded ? "true" : "false");
    const int rate = sf2Sampler ? sf2Sampler->sampleRate() : 44100;
    if (pianoSampler)
        pianoSampler->setSampleRate(rate);
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) {
        qWarning() << "PianoRollDialog: no audio output, the preview stays silent";
        return;
    }
    if (!output.isFormatSupported(format)) {
        format = output.preferredFormat();
        // The instruments follow the device's rate, so a preview never plays off pitch.
        if (sf2Sampler && format.sampleRate() != rate)
            sf2Sampler->setSampleRate(format.sampleRate());
        if (pianoSampler)
            pianoSampler->setSampleRate(format.sampleRate());
    }
    previewSink = new QAudioSink(output, format, this);
    previewSink->setVolume(1.0);
    previewDevice = new PreviewPlaybackDevice(sf2Sampler, pianoSampler, this);
    previewDevice->setOutputFormat(format);
    previewDevice->setLivePlayer(livePlayer);
    // Unbuffered: a read-ahead would render silence before a note that is about to start.
    previewDevice->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    previewSink->start(previewDevice);
    qDebug() << "PianoRollDialog: preview renderer started";
}

void PianoRollDialog::stopPreviewRenderer()
{
    if (previewSink) {
        previewSink->stop();
        delete previewSink;
        previewSink = nullptr;
    }
    if (previewDevice) {
        previewDevice->close();
        delete previewDevice;
        previewDevice = nullptr;
    }
}

void PianoRollDialog::done(int result)
{
    releaseKey();
    stopPreviewRenderer();
    QDialog::done(result);
}

QRect PianoRollDialog::rulerArea() const
{
    return QRect(keyWidth, 0, width() - keyWidth, rulerHeight);
}

QRect PianoRollDialog::gridArea() const
{
    return QRect(keyWidth, rulerHeight, width() - keyWidth, height() - rulerHeight - velocityHeight - bottomHeight);
}

QRect PianoRollDialog::pianoKeyArea() const
{
    return QRect(0, rulerHeight, keyWidth, height() - rulerHeight - velocityHeight - bottomHeight);
}

QRect PianoRollDialog::velocityArea() const
{
    return QRect(keyWidth, height() - bottomHeight - velocityHeight, width() - keyWidth, velocityHeight);
}

double PianoRollDialog::xToBeat(int x) const
{
    return (x - keyWidth) / (pixelsPerBeat * zoomX) + scrollBeats;
}

int PianoRollDialog::beatToX(double beat) const
{
    return int((beat - scrollBeats) * pixelsPerBeat * zoomX) + keyWidth;
}

int PianoRollDialog::rowHeight() const
{
    return std::max(1, int(pixelsPerBeat * zoomY));
}

int PianoRollDialog::pitchToY(int pitch) const
{
    return int((topPitch - pitch) * pixelsPerBeat * zoomY) + rulerHeight - scrollY;
}

int PianoRollDialog::yToPitch(int y) const
{
    return topPitch - (y + scrollY - rulerHeight) / rowHeight();
}

double PianoRollDialog::snapToGrid(double &beat) const
{
    beat = std::round(4.0 * beat) / 4.0;
    return beat;
}

void PianoRollDialog::clampScroll()
{
    const int gridHeight = height() - rulerHeight - velocityHeight - bottomHeight;
    const int verticalLimit = int(rowCount * pixelsPerBeat * zoomY) - gridHeight;
    scrollY = std::clamp(scrollY, 0, std::max(0, verticalLimit));
    const MidiClip *clip = currentClip();
    if (!clip)
        return;
    const double visibleBeats = (width() - keyWidth) / (pixelsPerBeat * zoomX);
    const double upper = clip->duration * beatsPerSecond() - visibleBeats;
    scrollBeats = std::clamp(scrollBeats, 0.0, std::max(0.0, upper));
}

int PianoRollDialog::hitTestRow(const QPoint &p, const std::function<int(int, const MidiNote &)> &hit) const
{
    const MidiClip *clip = currentClip();
    if (!clip)
        return -1;
    const int row = rowHeight();
    // Topmost first: later notes are drawn over earlier ones.
    for (int i = int(clip->notes.size()) - 1; i >= 0; --i) {
        const MidiNote &note = clip->notes[size_t(i)];
        const int top = pitchToY(note.pitch);
        if (p.y() < top || p.y() >= top + row)
            continue;
        if (const int found = hit(i, note); found >= 0)
            return found;
    }
    return -1;
}

int PianoRollDialog::hitTestNote(const QPoint &p) const
{
    return hitTestRow(p, [&](int i, const MidiNote &note) {
        return beatToX(noteStartBeat(note)) <= p.x() && p.x() <= beatToX(noteEndBeat(note)) ? i : -1;
    });
}

int PianoRollDialog::hitTestNoteEdge(const QPoint &p) const
{
    return hitTestRow(p, [&](int i, const MidiNote &note) {
        if (std::abs(p.x() - beatToX(noteEndBeat(note))) <= edgeGrabPixels)
            return 2 * i + 1;
        if (std::abs(p.x() - beatToX(noteStartBeat(note))) <= edgeGrabPixels)
            return 2 * i;
        return -1;
    });
}

bool PianoRollDialog::validNote(int index) const
{
    const MidiClip *clip = currentClip();
    return clip && index >= 0 && index < int(clip->notes.size());
}

int PianoRollDialog::velocityAt(int y) const
{
    const int top = height() - bottomHeight - velocityHeight;
    const int velocity = int((1.0 - double(y - top) / velocityHeight) * 127.0);
    return std::clamp(velocity, 1, 127);
}

// ---- sound ----

void PianoRollDialog::sendNoteOn(int pitch, int velocity)
{
    if (sf2Sampler && sf2Sampler->isLoaded())
        sf2Sampler->noteOn(0, pitch, velocity);
    else if (pianoSampler && pianoSampler->hasSamples())
        pianoSampler->noteOn(pitch, velocity);
}

void PianoRollDialog::sendNoteOff(int pitch)
{
    if (sf2Sampler && sf2Sampler->isLoaded())
        sf2Sampler->noteOff(0, pitch);
    else if (pianoSampler && pianoSampler->hasSamples())
        pianoSampler->noteOff(pitch);
}

void PianoRollDialog::pressKey(int y)
{
    const int pitch = yToPitch(y);
    if (pitch < 0 || pitch > 127)
        return;
    releaseKey();
    qDebug() << "PianoRoll: key press pitch=" << pitch;
    sendNoteOn(pitch, keyVelocity);
    pressedKey = pitch;
}

void PianoRollDialog::releaseKey()
{
    // The key that was pressed, wherever the pointer is now: the note never hangs.
    if (pressedKey < 0)
        return;
    sendNoteOff(pressedKey);
    pressedKey = -1;
}

// ---- edits ----

void PianoRollDialog::beginEdit()
{
    if (const MidiClip *clip = currentClip())
        editBefore = *clip;
}

void PianoRollDialog::growClipToNotes(MidiClip &clip) const
{
    // A note past the clip's end would not sound; the clip grows to hold it, as a recording does.
    for (const MidiNote &note : clip.notes)
        clip.duration = std::max(clip.duration, note.start + note.duration);
}

void PianoRollDialog::endEdit()
{
    const std::optional<MidiClip> before = std::move(editBefore);
    editBefore.reset();
    MidiClip *clip = currentClip();
    if (!clip || !before)
        return;
    growClipToNotes(*clip);
    if (*clip != *before)
        emit clipEdited(*before);
}

void PianoRollDialog::finishDrawing()
{
    dragMode = Idle;
    MidiClip *clip = currentClip();
    if (!clip || createPitch < bottomPitch || createPitch > topPitch) {
        editBefore.reset();
        return;
    }
    const double lo = std::min(createStartBeat, createEndBeat);
    const double hi = std::max(createStartBeat, createEndBeat);
    MidiNote note;
    note.pitch = createPitch;
    note.start = std::max(0.0, lo) / beatsPerSecond();
    note.duration = std::max(minNoteBeats, hi - lo) / beatsPerSecond();
    note.velocity = defaultVelocity;
    clip->notes.push_back(note);
    selectedNotes = {int(clip->notes.size()) - 1};
    sendNoteOn(note.pitch, note.velocity);
    // The new note sounds for its own length, then ends.
    const int pitch = note.pitch;
    QTimer::singleShot(int(std::ceil(note.duration * 1000.0)), this, [this, pitch] { sendNoteOff(pitch); });
    endEdit();
}

void PianoRollDialog::finishBand()
{
    dragMode = Idle;
    selectedNotes.clear();
    const MidiClip *clip = currentClip();
    if (!clip)
        return;
    const double lo = std::min(bandStartBeat, bandEndBeat);
    const double hi = std::max(bandStartBeat, bandEndBeat);
    const int top = std::min(bandStartY, bandEndY);
    const int bottom = std::max(bandStartY, bandEndY);
    for (int i = 0; i < int(clip->notes.size()); ++i) {
        const MidiNote &note = clip->notes[size_t(i)];
        const int rowTop = pitchToY(note.pitch);
        if (lo <= noteEndBeat(note) && hi >= noteStartBeat(note) && rowTop >= top && rowTop <= bottom)
            selectedNotes.insert(i);
    }
}

// ---- mouse ----

void PianoRollDialog::pressVelocityLane(QMouseEvent *event, int x, int y)
{
    event->accept();
    const MidiClip *clip = currentClip();
    if (!clip)
        return;
    for (int i = int(clip->notes.size()) - 1; i >= 0; --i) {
        const MidiNote &note = clip->notes[size_t(i)];
        if (beatToX(noteStartBeat(note)) <= x && x <= beatToX(noteEndBeat(note))) {
            beginEdit();
            selectedNotes = {i};
            velocityDragging = true;
            velocityNoteIndex = i;
            currentClip()->notes[size_t(i)].velocity = velocityAt(y);
            update();
            return;
        }
    }
    // A press beside every bar edits nothing, not even a note selected before.
}

void PianoRollDialog::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const int x = pos.x();
    const int y = pos.y();
    const bool left = event->button() == Qt::LeftButton;

    if (velocityArea().contains(pos)) {
        if (!left) {
            QDialog::mousePressEvent(event);
            return;
        }
        pressVelocityLane(event, x, y);
        return;
    }
    if (x < keyWidth && left) {
        pressKey(y);
        event->accept();
        return;
    }
    if (!left) {
        QDialog::mousePressEvent(event);
        return;
    }
    const bool inGrid = gridArea().contains(pos);
    if (event->modifiers().testFlag(Qt::AltModifier) && inGrid) {
        beginEdit();
        dragMode = Drawing;
        createPitch = yToPitch(y);
        createStartBeat = xToBeat(x);
        snapToGrid(createStartBeat);
        createEndBeat = createStartBeat;
        update();
        event->accept();
        return;
    }
    if (!inGrid) {
        QDialog::mousePressEvent(event);
        return;
    }
    MidiClip *clip = currentClip();
    if (const int edge = clip ? hitTestNoteEdge(pos) : -1; edge >= 0) {
        beginEdit();
        dragMode = Resizing;
        resizeNoteIndex = edge / 2;
        resizeLeftEdge = edge % 2 == 0;
        selectedNotes = {resizeNoteIndex};
        const MidiNote &note = clip->notes[size_t(resizeNoteIndex)];
        resizeOrigStart = note.start;
        resizeOrigDuration = note.duration;
    } else if (const int hit = clip ? hitTestNote(pos) : -1; hit >= 0) {
        beginEdit();
        dragMode = Moving;
        selectedNotes = {hit};
        moveNoteIndex = hit;
        const MidiNote &note = clip->notes[size_t(hit)];
        moveGrabBeats = xToBeat(x) - noteStartBeat(note);
        moveGrabPitch = yToPitch(y) - note.pitch;
    } else {
        selectedNotes.clear();
        dragMode = Banding;
        bandStartBeat = bandEndBeat = xToBeat(x);
        bandStartY = bandEndY = y;
    }
    update();
    event->accept();
}

void PianoRollDialog::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const int x = pos.x();
    const int y = pos.y();
    const double f = x - keyWidth;
    const double pointerBeat = f / (pixelsPerBeat * zoomX) + scrollBeats;

    switch (dragMode) {
    case Idle:
        if (velocityDragging && validNote(velocityNoteIndex)) {
            currentClip()->notes[size_t(velocityNoteIndex)].velocity = velocityAt(y);
            break;
        }
        if (x > keyWidth - 1) {
            if (hitTestNoteEdge(pos) >= 0)
                setCursor(Qt::SizeHorCursor);
            else if (hitTestNote(pos) >= 0)
                setCursor(Qt::SizeAllCursor);
            else
                setCursor(Qt::ArrowCursor);
        }
        QDialog::mouseMoveEvent(event);
        return;
    case Drawing:
        createEndBeat = std::round(4.0 * pointerBeat) / 4.0;
        break;
    case Moving:
        if (validNote(moveNoteIndex)) {
            MidiNote &note = currentClip()->notes[size_t(moveNoteIndex)];
            const double q = std::round(4.0 * (pointerBeat - moveGrabBeats));
            note.pitch = std::clamp(yToPitch(y) - moveGrabPitch, int(bottomPitch), int(topPitch));
            note.start = std::max(q / 4.0, 0.0) / beatsPerSecond();
        }
        break;
    case Resizing:
        if (validNote(resizeNoteIndex)) {
            MidiNote &note = currentClip()->notes[size_t(resizeNoteIndex)];
            double b = xToBeat(x);
            snapToGrid(b);
            if (resizeLeftEdge) {
                const double endBeat = (resizeOrigStart + resizeOrigDuration) * beatsPerSecond();
                if (b < endBeat - minNoteBeats) {
                    const double startBeat = std::max(b, 0.0);
                    note.start = startBeat / beatsPerSecond();
                    note.duration = (endBeat - startBeat) / beatsPerSecond();
                }
            } else {
                const double length = b - resizeOrigStart * beatsPerSecond();
                if (length >= minNoteBeats)
                    note.duration = length / beatsPerSecond();
            }
        }
        break;
    case Banding:
        bandEndBeat = pointerBeat;
        bandEndY = y;
        break;
    default:
        break;
    }
    update();
    event->accept();
}

void PianoRollDialog::mouseReleaseEvent(QMouseEvent *event)
{
    releaseKey();
    if (event->button() != Qt::LeftButton) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    switch (dragMode) {
    case Drawing:
        finishDrawing();
        break;
    case Moving:
        dragMode = Idle;
        moveNoteIndex = -1;
        endEdit();
        break;
    case Resizing:
        dragMode = Idle;
        resizeNoteIndex = -1;
        endEdit();
        break;
    case Banding:
        finishBand();
        break;
    default:
        if (velocityDragging) {
            velocityDragging = false;
            velocityNoteIndex = -1;
            endEdit();
        }
        event->accept();
        return;
    }
    update();
    event->accept();
}

void PianoRollDialog::wheelEvent(QWheelEvent *event)
{
    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    const int dx = pixels.x() != 0 ? pixels.x() : angle.x();
    const int dy = pixels.y() != 0 ? pixels.y() : angle.y();
    const Qt::KeyboardModifiers modifiers = event->modifiers();

    if (pixels.x() != 0 && pixels.y() != 0 && (pixels.x() > 0) == (pixels.y() > 0)) {
        zoomX = clampZoom(zoomX * (pixels.x() > 0 ? 1.1 : 0.9));
        zoomY = clampZoom(zoomY * (pixels.y() > 0 ? 1.1 : 0.9));
    } else if (modifiers.testFlag(Qt::ControlModifier)) {
        if (dy != 0)
            zoomX = clampZoom(zoomX * (dy > 0 ? 1.1 : 0.9));
    } else if (modifiers.testFlag(Qt::ShiftModifier)) {
        if (dy != 0)
            zoomY = clampZoom(zoomY * (dy > 0 ? 1.1 : 0.9));
    } else {
        if (dx == 0 && dy == 0) {
            event->ignore();
            return;
        }
        if (dx != 0)
            scrollBeats += pixels.x() != 0 ? -pixels.x() / (pixelsPerBeat * zoomX) : -angle.x() / 120.0 * 2.0;
        if (dy != 0)
            scrollY += pixels.y() != 0 ? -pixels.y() : int(-angle.y() / 120.0 * 40.0);
        clampScroll();
    }
    update();
    event->accept();
}

bool PianoRollDialog::handleEditKey(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool remove = (key == Qt::Key_Delete || key == Qt::Key_Backspace) && modifiers == Qt::NoModifier;
    const bool transpose = (key == Qt::Key_Up || key == Qt::Key_Down) && !selectedNotes.isEmpty();
    const bool duplicate = key == Qt::Key_D && modifiers == Qt::ControlModifier && !selectedNotes.isEmpty();
    if (!remove && !transpose && !duplicate)
        return false;
    event->accept();
    // A held move, resize or velocity drag keeps its note index: the list may not change under it.
    if (dragMode != Idle || velocityDragging)
        return true;
    MidiClip *clip = currentClip();
    if (!clip)
        return true;
    std::vector<int> chosen;
    for (const int index : selectedNotes)
        if (index >= 0 && index < int(clip->notes.size()))
            chosen.push_back(index);
    std::sort(chosen.begin(), chosen.end());
    if (chosen.empty()) {
        selectedNotes.clear();
        return true;
    }

    beginEdit();
    if (remove) {
        // One pass over the list: erasing note by note would move the tail once per note.
        std::vector<bool> doomed(clip->notes.size(), false);
        for (const int index : chosen)
            doomed[size_t(index)] = true;
        size_t next = 0;
        clip->notes.erase(std::remove_if(clip->notes.begin(), clip->notes.end(),
                                         [&doomed, &next](const MidiNote &) { return doomed[next++]; }),
                          clip->notes.end());
        selectedNotes.clear();
    } else if (transpose) {
        const int step = (key == Qt::Key_Up ? 1 : -1) * (modifiers.testFlag(Qt::ControlModifier) ? 12 : 1);
        for (const int index : chosen) {
            MidiNote &note = clip->notes[size_t(index)];
            note.pitch = std::clamp(note.pitch + step, 0, 127);
        }
    } else {
        selectedNotes.clear();
        for (const int index : chosen) {
            MidiNote copy = clip->notes[size_t(index)];
            copy.start += copy.duration;
            clip->notes.push_back(copy);
            selectedNotes.insert(int(clip->notes.size()) - 1);
        }
    }
    endEdit();
    update();
    return true;
}

void PianoRollDialog::keyPressEvent(QKeyEvent *event)
{
    if (handleEditKey(event))
        return;
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_G) {
        zoomX = std::max(minZoom, zoomX * 0.8);
    } else if (plain && event->key() == Qt::Key_H) {
        zoomX = std::min(maxZoom, zoomX * 1.25);
    } else {
        QDialog::keyPressEvent(event);
        return;
    }
    clampScroll();
    update();
    event->accept();
}

void PianoRollDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    clampScroll();
    update();
}

// ---- painting ----

void PianoRollDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    drawBackground(painter);
    drawGrid(painter);
    paintPianoKeys(painter, pianoKeyArea(), keyRows());
    drawNotes(painter);
    drawVelocityPanel(painter);
    drawRuler(painter);
    drawPlayhead(painter);
    if (dragMode == Drawing)
        drawDragPreview(painter);
    else if (dragMode == Banding)
        drawSelectionRect(painter);
}

void PianoRollDialog::drawBackground(QPainter &painter)
{
    painter.fillRect(rulerArea(), QColor(35, 35, 45));
    painter.fillRect(pianoKeyArea(), QColor(30, 30, 40));
    painter.fillRect(gridArea(), QColor(25, 25, 35));
    painter.fillRect(velocityArea(), QColor(20, 20, 28));
    painter.fillRect(QRect(0, height() - bottomHeight, width(), bottomHeight), QColor(30, 30, 40));
}

KeyRows PianoRollDialog::keyRows() const
{
    return {topPitch, bottomPitch, rowHeight(), [this](int pitch) { return pitchToY(pitch); }};
}

void PianoRollDialog::drawGrid(QPainter &painter)
{
    const QRect grid = gridArea();
    paintKeyRows(painter, grid, keyRows());
    paintBeatLines(painter, grid, scrollBeats, xToBeat(grid.right()) + 0.25,
                   [this](double beat) { return beatToX(beat); });
}

void PianoRollDialog::drawNotes(QPainter &painter)
{
    const MidiClip *clip = currentClip();
    if (!clip)
        return;
    const QRect grid = gridArea();
    const int row = rowHeight();
    painter.save();
    painter.setClipRect(grid);
    for (int i = 0; i < int(clip->notes.size()); ++i) {
        const MidiNote &note = clip->notes[size_t(i)];
        const int startX = beatToX(noteStartBeat(note));
        const int endX = beatToX(noteEndBeat(note));
        const int y = pitchToY(note.pitch);
        if (endX < grid.left() || startX > grid.right() || y + row < grid.top() || y > grid.bottom())
            continue;
        const bool selected = selectedNotes.contains(i);
        const QRect base(startX, y, std::max(endX - startX, 2), row);
        const QRect body = base.adjusted(1, 1, -1, -1);
        QLinearGradient gradient(0, body.top(), 0, body.bottom());
        gradient.setColorAt(0, selected ? QColor(96, 165, 250) : QColor(59, 130, 246));
        gradient.setColorAt(1, selected ? QColor(59, 130, 246) : QColor(37, 99, 235));
        painter.setBrush(gradient);
        painter.setPen(QPen(QColor(29, 78, 216), 1));
        painter.drawRoundedRect(body, 2, 2);
        if (selected) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(250, 204, 21), 2));
            painter.drawRoundedRect(base, 3, 3);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 255, 255, 80));
            painter.drawRect(QRect(startX, y + 1, 5, row - 2));
            painter.drawRect(QRect(endX - 5, y + 1, 5, row - 2));
        }
    }
    painter.restore();
}

void PianoRollDialog::drawVelocityPanel(QPainter &painter)
{
    const MidiClip *clip = currentClip();
    if (!clip)
        return;
    const QRect lane = velocityArea();
    painter.fillRect(lane, QColor(20, 20, 28));
    painter.setPen(QPen(QColor(55, 55, 65), 1));
    painter.drawLine(lane.left(), lane.top(), lane.right(), lane.top());
    const int middle = lane.top() + (lane.bottom() + 1 - lane.top()) / 2;
    painter.setPen(QPen(QColor(40, 40, 50), 0.5, Qt::DashLine));
    painter.drawLine(lane.left(), middle, lane.right(), middle);
    painter.save();
    painter.setClipRect(lane);
    painter.setPen(Qt::NoPen);
    const int floor = height() - bottomHeight;
    for (int i = 0; i < int(clip->notes.size()); ++i) {
        const MidiNote &note = clip->notes[size_t(i)];
        const int startX = beatToX(noteStartBeat(note));
        const int endX = beatToX(noteEndBeat(note));
        if (endX < lane.left() || startX > lane.right())
            continue;
        const int top = floor - int(128.0 * note.velocity / 127.0);
        painter.setBrush(selectedNotes.contains(i) ? QColor(96, 165, 250) : QColor(59, 130, 246));
        painter.drawRect(QRect(startX, top, std::max(endX - startX, 6), floor - 1 - top + 1));
    }
    painter.restore();
}

void PianoRollDialog::drawRuler(QPainter &painter)
{
    const QRect ruler = rulerArea();
    painter.fillRect(ruler, QColor(35, 35, 45));
    QFont font(QStringLiteral("sans-serif"));
    font.setPointSize(9);
    painter.setFont(font);
    const double visibleBeats = (width() - keyWidth) / (pixelsPerBeat * zoomX);
    const int firstBar = int(std::floor(scrollBeats / 4.0));
    const int lastBar = int(std::ceil((scrollBeats + visibleBeats) / 4.0));
    for (int bar = firstBar; bar <= lastBar; ++bar) {
        const int x = beatToX(4.0 * bar);
        if (x < keyWidth || x > width())
            continue;
        painter.setPen(QPen(QColor(100, 100, 110), 1));
        painter.drawLine(x, 0, x, rulerHeight);
        painter.setPen(QColor(160, 160, 170));
        painter.drawText(QRect(x + 4, 0, 60, rulerHeight), Qt::AlignLeft | Qt::AlignVCenter, QString::number(bar + 1));
    }
    painter.setPen(QPen(QColor(55, 55, 65), 1));
    painter.drawLine(keyWidth, rulerHeight - 1, width() - 1, rulerHeight - 1);
}

void PianoRollDialog::drawPlayhead(QPainter &painter)
{
    const MidiClip *clip = currentClip();
    const double clipStart = clip ? clip->start : 0.0;
    const int x = beatToX((playheadTime - clipStart) * beatsPerSecond());
    if (x < keyWidth || x > width() - 1)
        return;
    const QColor red(255, 60, 60);
    painter.setPen(QPen(red, 2));
    painter.drawLine(x, 0, x, height() - bottomHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(red);
    const QPoint triangle[3] = {QPoint(x - 6, 0), QPoint(x + 6, 0), QPoint(x, 8)};
    painter.drawPolygon(triangle, 3);
}

void PianoRollDialog::drawDragPreview(QPainter &painter)
{
    const double lo = std::min(createStartBeat, createEndBeat);
    const double hi = std::max(createStartBeat, createEndBeat);
    const int x = beatToX(lo);
    painter.save();
    painter.setClipRect(gridArea());
    painter.setBrush(QColor(59, 130, 246, 76));
    painter.setPen(QPen(QColor(96, 165, 250), 2, Qt::DashLine));
    painter.drawRoundedRect(QRect(x, pitchToY(createPitch), beatToX(hi) - x, rowHeight()), 2, 2);
    painter.restore();
}

void PianoRollDialog::drawSelectionRect(QPainter &painter)
{
    const int left = beatToX(std::min(bandStartBeat, bandEndBeat));
    const int right = beatToX(std::max(bandStartBeat, bandEndBeat));
    const int top = std::min(bandStartY, bandEndY);
    const int bottom = std::max(bandStartY, bandEndY);
    const QRect band = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(gridArea());
    painter.setBrush(QColor(59, 130, 246, 25));
    painter.setPen(QPen(QColor(96, 165, 250), 2));
    painter.drawRect(band);
}
