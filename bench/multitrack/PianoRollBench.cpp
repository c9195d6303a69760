// SPDX-License-Identifier: GPL-3.0-or-later
// The piano roll with 10,000 notes over 120 s in a 960x640 window: painting (at zoom 1 and
// fully zoomed out), the hover hit test, deleting 5,000 selected notes, and opening the roll.
#include "multitrack/PianoRollDialog.h"

#include "../OffscreenApplication.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

constexpr int noteCount = 10000;
constexpr double clipSeconds = 120.0;

// Seeded, so every run edits the same notes.
MidiClip denseClip()
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pitch(36, 96);
    std::uniform_real_distribution<double> start(0.0, clipSeconds - 0.5);
    std::uniform_real_distribution<double> length(0.1, 0.5);
    MidiClip clip;
    clip.duration = clipSeconds;
    for (int i = 0; i < noteCount; ++i)
        clip.notes.push_back({pitch(random), start(random), length(random), 100});
    return clip;
}

void wheel(QWidget &widget, int steps, Qt::KeyboardModifiers modifiers)
{
    for (int i = 0; i < steps; ++i) {
        QWheelEvent event(QPointF(400, 200), QPointF(400, 200), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&widget, &event);
    }
}

void mouse(QWidget &widget, QEvent::Type type, QPoint at)
{
    QMouseEvent event(type, QPointF(at), QPointF(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

std::unique_ptr<PianoRollDialog> openRoll(MidiClip &clip)
{
    auto dialog = std::make_unique<PianoRollDialog>(&clip, QColor(Qt::blue), nullptr, nullptr, nullptr);
    dialog->show();
    QApplication::processEvents();
    return dialog;
}

void zoomAllOut(PianoRollDialog &dialog)
{
    wheel(dialog, 30, Qt::ControlModifier);
    wheel(dialog, 30, Qt::ShiftModifier);
}

void paint(benchmark::State &state, bool zoomedOut)
{
    offscreenApplication();
    MidiClip clip = denseClip();
    const auto dialog = openRoll(clip);
    if (zoomedOut)
        zoomAllOut(*dialog);
    else
        wheel(*dialog, 25, Qt::NoModifier);  // the middle of the notes' range in view
    QImage image(dialog->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        dialog->render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}

void BM_PianoRollPaint(benchmark::State &state)
{
    paint(state, false);
}

void BM_PianoRollPaintZoomedOut(benchmark::State &state)
{
    paint(state, true);
}

// A pointer passing over the grid: both hit tests and the cursor choice, per event.
void BM_PianoRollHover(benchmark::State &state)
{
    offscreenApplication();
    MidiClip clip = denseClip();
    const auto dialog = openRoll(clip);
    wheel(*dialog, 25, Qt::NoModifier);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> x(49, 950);
    std::uniform_int_distribution<int> y(33, 480);
    for (auto _ : state)
        mouse(*dialog, QEvent::MouseMove, QPoint(x(random), y(random)));
}

// A rubber band over the first half of the clip, then Delete.
void BM_PianoRollDeleteHalf(benchmark::State &state)
{
    offscreenApplication();
    qsizetype deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        MidiClip clip = denseClip();
        const auto dialog = openRoll(clip);
        zoomAllOut(*dialog);
        const QRect grid = dialog->gridArea();
        mouse(*dialog, QEvent::MouseButtonPress, QPoint(grid.left() + 1, grid.top() + 1));
        mouse(*dialog, QEvent::MouseMove, QPoint(dialog->beatToX(120.0), grid.bottom()));
        mouse(*dialog, QEvent::MouseButtonRelease, QPoint(dialog->beatToX(120.0), grid.bottom()));
        const qsizetype before = qsizetype(clip.notes.size());
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        state.ResumeTiming();
        QApplication::sendEvent(dialog.get(), &press);
        state.PauseTiming();
        deleted = before - qsizetype(clip.notes.size());
        state.ResumeTiming();
    }
    state.counters["notesDeleted"] = double(deleted);
}

// From construction to the first painted frame.
void BM_PianoRollOpen(benchmark::State &state)
{
    offscreenApplication();
    MidiClip clip = denseClip();
    QImage image(960, 640, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const auto dialog = openRoll(clip);
        dialog->render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}

} // namespace

BENCHMARK(BM_PianoRollPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PianoRollPaintZoomedOut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PianoRollHover)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PianoRollDeleteHalf)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PianoRollOpen)->Unit(benchmark::kMillisecond)->Iterations(10);
