// SPDX-License-Identifier: GPL-3.0-or-later
// The editor page's equaliser launcher: refusals, every way out of the dialog without a
// change, and Apply as one undo step over both sample lists.
#include "AudioEditorPageProbe.h"
#include "ShownPage.h"

#include "analysis/EqualizerDialog.h"
#include "analysis/ParametricEQWidget.h"
#include "audio/AudioProcessor.h"

#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <functional>

namespace {

QPushButton *button(EqualizerDialog &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

// The same five bands run by the processor itself over `list` with stride `channels`.
QList<float> equalised(const QList<float> &list, int channels, int rate, const ParametricEQWidget &graph)
{
    AudioProcessor processor;
    processor.samples = list;
    processor.sampleRate = rate;
    processor.channels = channels;
    float frequencies[5], gains[5], qs[5];
    int types[5];
    bool enabled[5];
    for (int i = 0; i < 5; ++i) {
        const ParametricEQWidget::EQBand b = graph.band(i);
        frequencies[i] = b.frequency;
        gains[i] = b.gainDb;
        qs[i] = b.q;
        types[i] = b.type;
        enabled[i] = b.enabled;
    }
    processor.applyParametricEQ(frequencies, gains, qs, types, enabled, 5);
    return processor.samples;
}

QList<float> meanOf(const QList<float> &pairs)
{
    QList<float> mono(pairs.size() / 2);
    for (qsizetype i = 0; i < mono.size(); ++i)
        mono[i] = (pairs[2 * i] + pairs[2 * i + 1]) * 0.5f;
    return mono;
}

class EqualizerLauncher : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(showPage(page));
    }

    void load(bool stereo)
    {
        constexpr int rate = 48000;
        if (stereo)
            page.loadStereoAudioSamples(seededNoise(2 * rate, 0.5f, 11), rate);
        else
            page.loadAudioSamples(seededNoise(rate, 0.5f, 12), rate);
    }

    EqualizerDialog *open()
    {
        page.showEqualizerDialog();
        auto *dialog = page.findChild<EqualizerDialog *>();
        if (dialog) {
            dialog->graph()->setBandGain(2, 9.0f);
            dialog->graph()->setBandGain(0, -6.0f);
        }
        return dialog;
    }

    AudioEditorPage page;
};

TEST_F(EqualizerLauncher, RefusesWithoutAudio)
{
    page.showEqualizerDialog();
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("没有音频数据"));
    EXPECT_EQ(page.findChild<EqualizerDialog *>(), nullptr);
}

TEST_F(EqualizerLauncher, EveryWayOutWithoutApplyChangesNothing)
{
    const struct
    {
        const char *name;
        std::function<void(EqualizerDialog &)> leave;
    } ways[] = {
        {"取消", [](EqualizerDialog &d) { button(d, QStringLiteral("取消"))->click(); }},
        {"Escape", [](EqualizerDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"window close", [](EqualizerDialog &d) { d.close(); }},
    };
    for (bool stereo : {false, true}) {
        for (const auto &way : ways) {
            SCOPED_TRACE(testing::Message() << way.name << (stereo ? " stereo" : " mono"));
            load(stereo);
            const QList<float> mono = page.document().samples();
            const QList<float> pairs = page.document().stereoSamples();
            EqualizerDialog *dialog = open();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowModality(), Qt::WindowModal) << "the page must not change under the dialog";
            button(*dialog, QStringLiteral("试听"))->click();
            way.leave(*dialog);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_EQ(page.findChild<EqualizerDialog *>(), nullptr);
            EXPECT_TRUE(sameBits(page.document().samples(), mono));
            EXPECT_TRUE(sameBits(page.document().stereoSamples(), pairs));
            EXPECT_EQ(page.document().undoStack()->count(), 0);
        }
    }
}

TEST_F(EqualizerLauncher, ApplyIsOneStepOverBothListsThatUndoesAndRedoesExactly)
{
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        load(stereo);
        const QList<float> mono = page.document().samples();
        const QList<float> pairs = page.document().stereoSamples();
        EqualizerDialog *dialog = open();
        ASSERT_NE(dialog, nullptr);
        // A stereo clip equalises both channels and plays their mean, as after a load.
        const QList<float> expectedPairs = stereo ? equalised(pairs, 2, page.document().sampleRate(), *dialog->graph()) : QList<float>();
        const QList<float> expectedMono = stereo ? meanOf(expectedPairs) : equalised(mono, 1, page.document().sampleRate(), *dialog->graph());
        button(*dialog, QStringLiteral("应用"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        ASSERT_EQ(page.document().undoStack()->count(), 1);
        EXPECT_EQ(page.document().undoStack()->text(0), QStringLiteral("均衡器"));
        EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("已应用均衡器效果"));
        EXPECT_TRUE(sameBits(page.document().samples(), expectedMono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), expectedPairs));
        EXPECT_FALSE(sameBits(page.document().samples(), mono));

        page.document().undoStack()->undo();
        EXPECT_TRUE(sameBits(page.document().samples(), mono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), pairs));
        page.document().undoStack()->redo();
        EXPECT_TRUE(sameBits(page.document().samples(), expectedMono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), expectedPairs));
    }
}

} // namespace
