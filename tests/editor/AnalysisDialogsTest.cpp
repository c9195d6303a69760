// SPDX-License-Identifier: GPL-3.0-or-later
// The page's pitch-correction and compressor dialogs on mono and stereo clips: window-modal,
// dismissing after a preview changes nothing, applying is one undo step over both lists.
#include "AudioEditorPageProbe.h"
#include "ShownPage.h"
#include "Signals.h"

#include "analysis/CompressorDialog.h"
#include "analysis/PitchCorrectionDialog.h"
#include "audio/AudioProcessor.h"

#include <QDialog>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr int kRate = 44100;

// A second of a voice-like A3, 30 cents flat, loud enough for the compressor's defaults.
QList<float> flatVoice(float amplitude)
{
    QList<float> values(kRate);
    const double hz = 220.0 * std::pow(2.0, -30.0 / 1200.0);
    for (int i = 0; i < values.size(); ++i) {
        double value = 0.0;
        for (int k = 1; k <= 4; ++k)
            value += std::sin(2.0 * std::numbers::pi * k * hz * i / kRate) / k;
        values[i] = float(amplitude * value);
    }
    return values;
}


struct Launcher
{
    const char *name;
    void (AudioEditorPage::*open)();
    const char *title;
    const char *previewText;
    const char *label;
};

const Launcher kLaunchers[] = {
    {"pitch", &AudioEditorPage::showPitchCorrectionDialog, "音高修正", "试听", "音高修正"},
    {"compressor", &AudioEditorPage::showCompressorDialog, "动态压缩器", "预览", "压缩器"},
};

enum class Dismiss { CancelButton, Escape, WindowClose };

class AnalysisDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(showPage(page));
    }

    void load(bool stereo)
    {
        // Refused while a dialog still held the document.
        if (stereo)
            ASSERT_TRUE(page.loadStereoAudioSamples(interleave(flatVoice(0.5f), flatVoice(0.3f)), kRate));
        else
            ASSERT_TRUE(page.loadAudioSamples(flatVoice(0.5f), kRate));
    }

    QDialog *open(const Launcher &launcher)
    {
        (page.*launcher.open)();
        for (QDialog *dialog : page.findChildren<QDialog *>()) {
            if (dialog->isVisible() && dialog->windowTitle() == QString::fromUtf8(launcher.title))
                return dialog;
        }
        return nullptr;
    }

    static void press(QDialog *dialog, const char *text)
    {
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QString::fromUtf8(text)) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << text;
    }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    AudioEditorPage page;
};

} // namespace

TEST_F(AnalysisDialogs, DismissingAfterAPreviewLeavesTheClipAndHistoryAlone)
{
    const Dismiss ways[] = {Dismiss::CancelButton, Dismiss::Escape, Dismiss::WindowClose};
    for (const Launcher &launcher : kLaunchers) {
        for (bool stereo : {false, true}) {
            for (Dismiss way : ways) {
                SCOPED_TRACE(testing::Message() << launcher.name << (stereo ? " stereo" : " mono") << " way "
                                                << int(way));
                load(stereo);
                const QList<float> mono = page.document().samples();
                const QList<float> pairs = page.document().stereoSamples();
                const int steps = page.document().undoStack()->count();
                QPointer<QDialog> dialog = open(launcher);
                ASSERT_NE(dialog, nullptr);
                // The page cannot be edited while the dialog holds its copy.
                EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
                EXPECT_FALSE(page.loadAudioSamples(QList<float>(100, 0.1f), kRate));
                press(dialog, launcher.previewText);
                press(dialog, launcher.previewText);
                switch (way) {
                case Dismiss::CancelButton:
                    press(dialog, "取消");
                    break;
                case Dismiss::Escape:
                    QTest::keyClick(dialog, Qt::Key_Escape);
                    break;
                case Dismiss::WindowClose:
                    dialog->close();
                    break;
                }
                flushDeletes();
                EXPECT_TRUE(dialog.isNull());
                EXPECT_TRUE(sameBits(page.document().samples(), mono));
                EXPECT_TRUE(sameBits(page.document().stereoSamples(), pairs));
                EXPECT_EQ(page.document().undoStack()->count(), steps);
            }
        }
    }
}

TEST_F(AnalysisDialogs, ApplyIsOneStepOverBothListsThatUndoesBitExactly)
{
    for (const Launcher &launcher : kLaunchers) {
        for (bool stereo : {false, true}) {
            SCOPED_TRACE(testing::Message() << launcher.name << (stereo ? " stereo" : " mono"));
            load(stereo);
            const QList<float> mono = page.document().samples();
            const QList<float> pairs = page.document().stereoSamples();
            QDialog *dialog = open(launcher);
            ASSERT_NE(dialog, nullptr);
            press(dialog, "应用");
            flushDeletes();

            ASSERT_EQ(page.document().undoStack()->count(), 1);
            EXPECT_EQ(page.document().undoStack()->text(0), QString::fromUtf8(launcher.label));
            EXPECT_FALSE(sameBits(page.document().samples(), mono));
            const QList<float> monoAfter = page.document().samples();
            const QList<float> pairsAfter = page.document().stereoSamples();
            if (stereo) {
                // Both channels processed, and what plays is their mean, as after a load.
                ASSERT_EQ(pairsAfter.size(), 2 * monoAfter.size());
                EXPECT_FALSE(sameBits(pairsAfter, pairs));
                qsizetype mismatches = 0;
                for (qsizetype i = 0; i < monoAfter.size(); ++i)
                    mismatches += monoAfter[i] != (pairsAfter[2 * i] + pairsAfter[2 * i + 1]) * 0.5f;
                EXPECT_EQ(mismatches, 0);
            } else {
                EXPECT_TRUE(pairsAfter.isEmpty());
            }
            expectUndoRedoBitExact(page, mono, pairs);
        }
    }
}

// Each channel of a stereo clip is compressed in place as if it were a clip of its own: the
// louder left channel may not steer the quieter right one's gain, nor take its values.
TEST_F(AnalysisDialogs, TheCompressorTreatsEachStereoChannelAsAClipOfItsOwn)
{
    load(true);
    QDialog *dialog = open(kLaunchers[1]);
    ASSERT_NE(dialog, nullptr);
    press(dialog, "应用");
    flushDeletes();
    ASSERT_EQ(page.document().undoStack()->count(), 1);

    const CompressorDialog::Settings s;
    const float amplitudes[] = {0.5f, 0.3f};
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        AudioProcessor alone;
        alone.samples = flatVoice(amplitudes[c]);
        alone.sampleRate = kRate;
        alone.channels = 1;
        alone.applyCompression(s.thresholdDb, s.ratio, s.attackMs, s.releaseMs, s.makeupDb, s.kneeDb);
        ASSERT_EQ(page.document().stereoSamples().size(), 2 * alone.samples.size());
        qsizetype mismatches = 0;
        for (qsizetype i = 0; i < alone.samples.size(); ++i)
            mismatches += std::bit_cast<quint32>(page.document().stereoSamples()[2 * i + c]) != std::bit_cast<quint32>(alone.samples[i]);
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(AnalysisDialogs, AnEmptyClipOpensNoDialog)
{
    for (const Launcher &launcher : kLaunchers) {
        SCOPED_TRACE(launcher.name);
        EXPECT_EQ(open(launcher), nullptr);
        EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("没有音频数据"));
    }
}
