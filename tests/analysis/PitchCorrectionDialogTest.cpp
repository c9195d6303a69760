// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch-correction editor on a sung-like phrase, 30 cents flat: segments, the corrected
// pitch measured by a numpy autocorrelation, untouched samples outside the notes, and the
// gestures that move a note.
#include "NumpyOracle.h"
#include "Requirement.h"

#include "analysis/PitchCorrectionDialog.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr int kRate = 44100;
constexpr int kHop = 441;        // 10 ms analysis hop
constexpr int kFrameSize = 1764; // 40 ms analysis window
constexpr double kNoteSeconds = 1.2;
constexpr double kGapSeconds = 0.3;
const int kNotes[] = {57, 60, 64}; // A3, C4, E4

double noteHz(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

qsizetype noteOnset(int index)
{
    return qsizetype((kGapSeconds + index * (kNoteSeconds + kGapSeconds)) * kRate);
}

// Each note 30 cents flat with a ±10-cent, 5 Hz vibrato, six harmonics at 1/k, and 30 ms
// raised-cosine edges, between silences.
QList<float> sungPhrase()
{
    const qsizetype noteLength = qsizetype(kNoteSeconds * kRate);
    const qsizetype edge = qsizetype(0.03 * kRate);
    QList<float> phrase(noteOnset(3), 0.0f);
    for (int n = 0; n < 3; ++n) {
        double phase = 0.0;
        for (qsizetype i = 0; i < noteLength; ++i) {
            const double t = double(i) / kRate;
            const double cents = -30.0 + 10.0 * std::sin(2.0 * std::numbers::pi * 5.0 * t);
            phase += 2.0 * std::numbers::pi * noteHz(kNotes[n]) * std::pow(2.0, cents / 1200.0) / kRate;
            double value = 0.0;
            for (int k = 1; k <= 6; ++k)
                value += std::sin(k * phase) / k;
            double envelope = 1.0;
            if (i < edge)
                envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / edge);
            else if (i >= noteLength - edge)
                envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * double(noteLength - 1 - i) / edge);
            phrase[noteOnset(n) + i] = float(0.25 * envelope * value);
        }
    }
    return phrase;
}

// Mean pitch in cents against `expectedHz` over a second of each note, 100 ms after its
// onset (five vibrato periods): unbiased autocorrelation of 2048-sample frames, its peak
// within three semitones of the expectation, parabolic refinement.
std::vector<double> measuredCents(const QList<float> &signal, const std::vector<double> &expectedHz)
{
    QString regions;
    for (int n = 0; n < 3; ++n)
        regions += QStringLiteral("(%1,%2,%3),")
                       .arg(noteOnset(n) + kRate / 10)
                       .arg(noteOnset(n) + kRate / 10 + kRate)
                       .arg(expectedHz[size_t(n)], 0, 'g', 17);
    const QString script = QStringLiteral(R"(
import sys, numpy as np
x = np.frombuffer(sys.stdin.buffer.read(), dtype='<f4').astype(float)
rate, N = %1, 2048
for start, end, f in [%2]:
    cents = []
    for a in range(start, end - N + 1, 256):
        frame = x[a:a + N] - x[a:a + N].mean()
        spectrum = np.fft.rfft(frame, 2 * N)
        r = np.fft.irfft(np.abs(spectrum) ** 2)[:N] / (N - np.arange(N))
        lo = int(rate / (f * 2 ** (3 / 12)))
        hi = int(np.ceil(rate / (f * 2 ** (-3 / 12))))
        k = lo + int(np.argmax(r[lo:hi + 1]))
        p, q, s = r[k - 1], r[k], r[k + 1]
        lag = k + 0.5 * (p - s) / (p - 2 * q + s)
        cents.append(1200 * np.log2(rate / lag / f))
    print(np.mean(cents))
)")
                               .arg(kRate)
                               .arg(regions);
    const std::vector<float> values(signal.begin(), signal.end());
    bool ok = false;
    std::vector<double> cents = runNumpy(script, float32Bytes(values), &ok);
    EXPECT_TRUE(ok);
    return cents;
}

std::vector<double> nominalHz(int semitonesUpOnFirst = 0)
{
    return {noteHz(kNotes[0] + semitonesUpOnFirst), noteHz(kNotes[1]), noteHz(kNotes[2])};
}

double rmsDb(const QList<float> &signal, qsizetype start, qsizetype end)
{
    double sum = 0.0;
    for (qsizetype i = start; i < end; ++i)
        sum += double(signal[i]) * signal[i];
    return 10.0 * std::log10(sum / double(end - start));
}

bool sameBits(const QList<float> &a, const QList<float> &b, qsizetype start, qsizetype end)
{
    return std::memcmp(a.constData() + start, b.constData() + start, size_t(end - start) * sizeof(float)) == 0;
}

QPushButton *button(QWidget &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

void sendMouse(QWidget &target, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

class PitchEditor : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { input = new QList<float>(sungPhrase()); }
    static void TearDownTestSuite()
    {
        delete input;
        input = nullptr;
    }

    void SetUp() override
    {
        ZENTRIQ_REQUIRE(!pythonWith(QStringLiteral("numpy")).isEmpty(), "python3-numpy is missing");
        dialog = std::make_unique<PitchCorrectionDialog>(*input, kRate);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    // The centre of a segment's bar, where a click selects it.
    QPoint segmentCentre(int index) const
    {
        const PitchCorrectionSegment &segment = dialog->correctionSegments()[size_t(index)];
        const double middleFrame = (segment.startFrame + segment.endFrame) / 2.0;
        const double seconds = (middleFrame * kHop + kFrameSize / 2.0) / kRate;
        const float pitch = 12.0f * std::log2(segment.targetHz / 440.0f) + 69.0f;
        return {dialog->secToX(seconds), dialog->pitchToY(pitch) + 12};
    }

    void apply() { button(*dialog, QStringLiteral("应用"))->click(); }

    static QList<float> *input;
    std::unique_ptr<PitchCorrectionDialog> dialog;
};

QList<float> *PitchEditor::input = nullptr;

} // namespace

TEST_F(PitchEditor, FindsTheThreeSungNotesAndOpensOnThem)
{
    const std::vector<PitchCorrectionSegment> &segments = dialog->correctionSegments();
    ASSERT_EQ(segments.size(), 3u);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(segments[size_t(n)].midiNote, kNotes[n]);
        EXPECT_TRUE(dialog->gridArea().contains(segmentCentre(n))) << "note row off-screen at open";
    }
    // The oracle reads the input as it was made.
    const std::vector<double> cents = measuredCents(*input, nominalHz());
    ASSERT_EQ(cents.size(), 3u);
    for (double c : cents)
        EXPECT_NEAR(c, -30.0, 2.0);
}

TEST_F(PitchEditor, CorrectsEachNoteByTheStrength)
{
    struct Case
    {
        int strength;
        double expectedCents;
    };
    const Case cases[] = {{100, 0.0}, {50, -15.0}};
    auto *slider = dialog->findChild<QSlider *>();
    ASSERT_NE(slider, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.strength);
        slider->setValue(c.strength);
        apply();
        const QList<float> &output = dialog->correctedSamples();
        const std::vector<double> cents = measuredCents(output, nominalHz());
        ASSERT_EQ(cents.size(), 3u);
        for (int n = 0; n < 3; ++n) {
            SCOPED_TRACE(n);
            EXPECT_NEAR(cents[size_t(n)], c.expectedCents, 5.0);
            const qsizetype onset = noteOnset(n);
            const qsizetype end = onset + qsizetype(kNoteSeconds * kRate);
            EXPECT_NEAR(rmsDb(output, onset, end), rmsDb(*input, onset, end), 1.0);
        }

        // Bit-exact outside every rendered region, which ends with the note's last window.
        qsizetype from = 0;
        for (const PitchCorrectionSegment &segment : dialog->correctionSegments()) {
            const qsizetype start = qsizetype(segment.startFrame) * kHop;
            const qsizetype end = qsizetype(segment.endFrame - 1) * kHop + kFrameSize;
            EXPECT_TRUE(sameBits(output, *input, from, start));
            // The last window's tail is corrected too, not only up to its start hop.
            EXPECT_FALSE(sameBits(output, *input, qsizetype(segment.endFrame) * kHop, end - kRate / 125));
            from = end;
        }
        EXPECT_TRUE(sameBits(output, *input, from, input->size()));
    }
}

TEST_F(PitchEditor, StrengthZeroLeavesTheClipBitIdentical)
{
    dialog->findChild<QSlider *>()->setValue(0);
    apply();
    EXPECT_TRUE(sameBits(dialog->correctedSamples(), *input, 0, input->size()));
}

TEST_F(PitchEditor, UpTwiceOnASegmentRendersTwoSemitonesHigher)
{
    const QPoint at = segmentCentre(0);
    sendMouse(*dialog, QEvent::MouseButtonPress, at, Qt::LeftButton);
    sendMouse(*dialog, QEvent::MouseButtonRelease, at, Qt::NoButton);
    QTest::keyClick(dialog.get(), Qt::Key_Up);
    QTest::keyClick(dialog.get(), Qt::Key_Up);
    EXPECT_EQ(dialog->correctionSegments()[0].midiNote, kNotes[0] + 2);
    apply();
    const std::vector<double> cents = measuredCents(dialog->correctedSamples(), nominalHz(2));
    ASSERT_EQ(cents.size(), 3u);
    EXPECT_NEAR(cents[0], 0.0, 5.0);
    EXPECT_NEAR(cents[1], 0.0, 5.0);
}

// A drag past an octave stops where the shifter stops, so the bar shows what is rendered.
TEST_F(PitchEditor, DragBeyondAnOctaveStopsAtTheRenderableNote)
{
    struct Case
    {
        int rows;
        int note;
    };
    // The A3 is detected near 56.7: the reachable notes are 45 to 68.
    const Case cases[] = {{30, 68}, {-30, 45}, {3, 60}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rows);
        const QPoint at = segmentCentre(0);
        sendMouse(*dialog, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(*dialog, QEvent::MouseMove, at - QPoint(0, c.rows * 24), Qt::LeftButton);
        sendMouse(*dialog, QEvent::MouseButtonRelease, at - QPoint(0, c.rows * 24), Qt::NoButton);
        const PitchCorrectionSegment &segment = dialog->correctionSegments()[0];
        EXPECT_EQ(segment.midiNote, c.note);
        EXPECT_LE(std::fabs(segment.shiftSemitones), 12.0f);
        EXPECT_FLOAT_EQ(segment.targetHz, float(noteHz(c.note)));
        // Back to the note it came from for the next row.
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        dialog = std::make_unique<PitchCorrectionDialog>(*input, kRate);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
}
