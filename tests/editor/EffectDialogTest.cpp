// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's effect dialogs: preview, apply and cancel on both lists, the document held
// while a dialog is open, each effect against its formula, noise reduction's failures, and
// tempo detection off the GUI thread.
#include "AudioEditorPageProbe.h"
#include "ShownPage.h"

#include "editor/EffectDialog.h"

#include <QApplication>
#include <QDial>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QSlider>
#include <QThreadPool>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

const QString heldText = QStringLiteral("错误：效果对话框打开中，请先应用或取消");

QList<EffectDialog *> openDialogs()
{
    QList<EffectDialog *> found;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<EffectDialog *>(widget); dialog && dialog->isVisible())
            found << dialog;
    return found;
}

QDialog *openDialogTitled(const QString &title)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible() && dialog->windowTitle() == title)
            return dialog;
    return nullptr;
}

void click(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == text) {
            button->click();
            return;
        }
    ADD_FAILURE() << "no button " << text.toStdString();
}

// Lets closed dialogs delete themselves.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QDoubleSpinBox *spinInGroup(QWidget *dialog, const QString &title)
{
    for (QGroupBox *group : dialog->findChildren<QGroupBox *>())
        if (group->title() == title)
            return group->findChild<QDoubleSpinBox *>();
    return nullptr;
}

double sine(double hz, qsizetype frame, int rate)
{
    return std::sin(2.0 * std::numbers::pi * hz * double(frame) / rate);
}

// Two different tones under seeded noise, left and right.
QList<float> stereoFixture(qsizetype frames, int rate, float noise = 0.1f)
{
    const QList<float> hiss = seededNoise(2 * frames, noise, 17);
    QList<float> pairs(2 * frames);
    for (qsizetype i = 0; i < frames; ++i) {
        pairs[2 * i] = float(0.4 * sine(440.0, i, rate)) + hiss[2 * i];
        pairs[2 * i + 1] = float(0.3 * sine(660.0, i, rate)) + hiss[2 * i + 1];
    }
    return pairs;
}

bool monoIsMeanOfChannels(const QList<float> &mono, const QList<float> &stereo)
{
    if (stereo.size() != 2 * mono.size())
        return false;
    for (qsizetype i = 0; i < mono.size(); ++i)
        if (std::fabs((stereo[2 * i] + stereo[2 * i + 1]) * 0.5f - mono[i]) > 1e-6f)
            return false;
    return true;
}

// Amplitude of the hz component over [from, to) by least squares against a sine and a cosine.
double toneAmplitude(const QList<float> &values, qsizetype from, qsizetype to, double hz, int rate)
{
    double s = 0.0, c = 0.0;
    for (qsizetype i = from; i < to; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * double(i) / rate;
        s += values[i] * std::sin(phase);
        c += values[i] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / double(to - from);
}

double rms(const QList<float> &values, qsizetype from, qsizetype to)
{
    double sum = 0.0;
    for (qsizetype i = from; i < to; ++i)
        sum += double(values[i]) * values[i];
    return std::sqrt(sum / double(to - from));
}

struct DialogCase
{
    const char *title;
    void (AudioEditorPage::*open)();
    const char *undoLabel;
    bool stereo;
    bool preview;
    // Moves a control away from a setting that would leave the audio as it is.
    std::function<void(QDialog *)> set;
};

const DialogCase dialogCases[] = {
    {"增益调整", &AudioEditorPage::showGainDialog, "增益", true, true,
     [](QDialog *d) { d->findChild<QDoubleSpinBox *>()->setValue(6.0); }},
    {"中置声道提取", &AudioEditorPage::showCenterExtractionDialog, "中置声道提取", true, true,
     [](QDialog *d) { spinInGroup(d, QStringLiteral("侧置声道强度"))->setValue(0.5); }},
    {"降噪", &AudioEditorPage::showNoiseReductionDialog, "降噪", true, false,
     [](QDialog *d) { d->findChild<QSlider *>()->setValue(100); }},
    {"声道转换", &AudioEditorPage::showChannelConvertDialog, "声道转换", true, false, nullptr},
    {"声道转换", &AudioEditorPage::showChannelConvertDialog, "声道转换", false, false, nullptr},
    {"混响", &AudioEditorPage::showReverbDialog, "混响", false, true, nullptr},
    {"混响", &AudioEditorPage::showReverbDialog, "混响", true, true, nullptr},
    {"延迟", &AudioEditorPage::showDelayDialog, "延迟", true, true, nullptr},
    {"激励器", &AudioEditorPage::showExciterDialog, "激励器", false, true, nullptr},
    {"激励器", &AudioEditorPage::showExciterDialog, "激励器", true, true, nullptr},
    {"立体声宽度", &AudioEditorPage::showImagerDialog, "立体声宽度", true, true,
     [](QDialog *d) { d->findChild<QDial *>()->setValue(150); }},
};

std::string caseName(const DialogCase &c)
{
    return std::string(c.title) + (c.stereo ? " (stereo)" : " (mono)");
}

class EffectDialogs : public ::testing::Test
{
protected:
    static constexpr int rate = 16000;

    void SetUp() override
    {
        ASSERT_TRUE(showPage(page));
        page.setFocus();
    }

    void TearDown() override
    {
        for (EffectDialog *dialog : openDialogs())
            dialog->reject();
        settle();
    }

    void loadFixture(bool stereo)
    {
        const QList<float> pairs = stereoFixture(3 * rate, rate);
        ASSERT_TRUE(stereo ? page.loadStereoAudioSamples(pairs, rate) : page.loadAudioSamples(pairs.mid(0, 3 * rate), rate));
    }

    // Opens the case's dialog on its fixture (with a noise selection where it needs one).
    QDialog *open(const DialogCase &c)
    {
        loadFixture(c.stereo);
        if (c.open == &AudioEditorPage::showNoiseReductionDialog)
            dragSelection(page, 12, 300);
        (page.*c.open)();
        const QList<EffectDialog *> dialogs = openDialogs();
        if (dialogs.size() != 1 || dialogs.front()->windowTitle() != QString::fromUtf8(c.title))
            return nullptr;
        if (c.set)
            c.set(dialogs.front());
        return dialogs.front();
    }

    // Opens a dialog on the loaded audio; null when none opened.
    QDialog *launch(void (AudioEditorPage::*open)())
    {
        (page.*open)();
        return openDialogs().value(0);
    }

    void apply(QDialog *dialog)
    {
        click(dialog, QStringLiteral("应用"));
        settle();
    }

    AudioEditorPage page;
};

TEST_F(EffectDialogs, CancelEscapeAndWindowCloseRestoreBothListsWithoutAStep)
{
    enum class Way { CancelButton, Escape, WindowClose };
    for (const DialogCase &c : dialogCases) {
        for (Way way : {Way::CancelButton, Way::Escape, Way::WindowClose}) {
            SCOPED_TRACE(caseName(c) + " closed by way " + std::to_string(int(way)));
            QDialog *dialog = open(c);
            ASSERT_NE(dialog, nullptr);
            const QList<float> mono = page.document().samples();
            const QList<float> stereo = page.document().stereoSamples();
            if (c.preview) {
                click(dialog, QStringLiteral("预览"));
                EXPECT_FALSE(sameBits(page.document().samples(), mono) && sameBits(page.document().stereoSamples(), stereo));
            }
            switch (way) {
            case Way::CancelButton:
                click(dialog, QStringLiteral("取消"));
                break;
            case Way::Escape:
                QTest::keyClick(dialog, Qt::Key_Escape);
                break;
            case Way::WindowClose:
                dialog->close();
                break;
            }
            settle();
            EXPECT_TRUE(openDialogs().isEmpty());
            EXPECT_TRUE(sameBits(page.document().samples(), mono));
            EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereo));
            EXPECT_EQ(page.document().undoStack()->count(), 0);
            EXPECT_FALSE(page.document().isMono());
        }
    }
}

TEST_F(EffectDialogs, ApplyIsOneStepOnBothListsThatUndoesAndRedoesBitExactly)
{
    for (const DialogCase &c : dialogCases) {
        SCOPED_TRACE(caseName(c));
        page.document().setMono(!c.stereo);
        QDialog *dialog = open(c);
        ASSERT_NE(dialog, nullptr);
        const QList<float> mono = page.document().samples();
        const QList<float> stereo = page.document().stereoSamples();

        QList<float> previewMono, previewStereo;
        if (c.preview) {
            // Every preview starts again from the opening lists.
            click(dialog, QStringLiteral("预览"));
            previewMono = page.document().samples();
            previewStereo = page.document().stereoSamples();
            click(dialog, QStringLiteral("预览"));
            EXPECT_TRUE(sameBits(page.document().samples(), previewMono));
            EXPECT_TRUE(sameBits(page.document().stereoSamples(), previewStereo));
            EXPECT_EQ(page.document().undoStack()->count(), 0);
        }
        // The one button that applies: "应用", or the conversion's own; the dialog may be gone once it returns.
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            if (button->text() != QStringLiteral("预览") && button->text() != QStringLiteral("取消")) {
                button->click();
                break;
            }
        settle();
        EXPECT_TRUE(openDialogs().isEmpty());

        ASSERT_EQ(page.document().undoStack()->count(), 1);
        EXPECT_EQ(page.document().undoStack()->undoText(), QString::fromUtf8(c.undoLabel));
        const QList<float> afterMono = page.document().samples();
        const QList<float> afterStereo = page.document().stereoSamples();
        if (c.preview) {
            EXPECT_TRUE(sameBits(afterMono, previewMono));
            EXPECT_TRUE(sameBits(afterStereo, previewStereo));
        }
        if (c.open == &AudioEditorPage::showChannelConvertDialog) {
            EXPECT_EQ(page.document().isMono(), c.stereo);
            EXPECT_TRUE(sameBits(afterMono, mono));
        } else {
            EXPECT_FALSE(sameBits(afterMono, mono));
            if (c.stereo) {
                EXPECT_FALSE(sameBits(afterStereo, stereo)) << "the stereo list kept the unprocessed audio";
                EXPECT_TRUE(monoIsMeanOfChannels(afterMono, afterStereo));
            } else {
                EXPECT_TRUE(afterStereo.isEmpty());
            }
        }

        page.stepHistory(false);
        EXPECT_TRUE(sameBits(page.document().samples(), mono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereo));
        EXPECT_EQ(page.document().isMono(), !c.stereo) << "undo restores the mono flag";
        page.stepHistory(true);
        EXPECT_TRUE(sameBits(page.document().samples(), afterMono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), afterStereo));
        if (c.open == &AudioEditorPage::showChannelConvertDialog) {
            EXPECT_EQ(page.document().isMono(), c.stereo);
        }
    }
}

TEST_F(EffectDialogs, AnOpenDialogHoldsTheDocumentUntilItCloses)
{
    loadFixture(true);
    QDialog *dialog = launch(&AudioEditorPage::showGainDialog);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QDoubleSpinBox *>()->setValue(-6.0);
    click(dialog, QStringLiteral("预览"));
    const QList<float> shownMono = page.document().samples();
    const QList<float> shownStereo = page.document().stereoSamples();

    const auto stillShown = [&] {
        EXPECT_TRUE(sameBits(page.document().samples(), shownMono));
        EXPECT_TRUE(sameBits(page.document().stereoSamples(), shownStereo));
        EXPECT_EQ(page.document().undoStack()->count(), 0);
        EXPECT_EQ(AudioEditorPageProbe::status(page), heldText);
    };
    // The preview's refresh dropped the selection; a new one may be made meanwhile.
    dragSelection(page, 100, 300);
    ASSERT_TRUE(AudioEditorPageProbe::waveform1(page)->hasSelection());
    page.setFocus();
    QTest::keyClick(&page, Qt::Key_Delete);
    stillShown();
    QTest::keyClick(&page, Qt::Key_Z, Qt::ControlModifier);
    stillShown();
    page.stepHistory(true);
    stillShown();
    EXPECT_FALSE(page.loadAudioSamples(seededNoise(100, 0.5f, 1), rate));
    stillShown();
    page.onRecordClicked();
    EXPECT_FALSE(AudioEditorPageProbe::isRecording(page));
    stillShown();
    SpectrumAnalyzerWidget *spectrum = AudioEditorPageProbe::spectrum1(page);
    emit spectrum->eraseRequested(SpectralBox{0.0, 1.0, 0.0f, 20000.0f}, {ClipChannel::Mono}, 1.0f);
    stillShown();
    page.showReverbDialog();
    EXPECT_EQ(openDialogs().size(), 1);
    stillShown();

    // Tempo detection only reads a copy, so it still opens.
    page.showTempoDetectionDialog();
    QDialog *tempo = openDialogTitled(QStringLiteral("音频速度检测 (BPM)"));
    ASSERT_NE(tempo, nullptr);
    tempo->close();

    click(dialog, QStringLiteral("取消"));
    settle();
    dragSelection(page, 100, 300);
    QTest::keyClick(&page, Qt::Key_Delete);
    EXPECT_EQ(page.document().undoStack()->count(), 1) << "the page edits again once the dialog is gone";
    QThreadPool::globalInstance()->waitForDone();
}

TEST_F(EffectDialogs, OpeningIsRefusedWhileThereIsNothingToProcess)
{
    for (const DialogCase &c : dialogCases) {
        SCOPED_TRACE(caseName(c));
        (page.*c.open)();
        EXPECT_TRUE(openDialogs().isEmpty());
        EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("没有音频数据"));
    }
    page.loadAudioSamples(seededNoise(rate, 0.5f, 2), rate);
    page.showImagerDialog();
    EXPECT_TRUE(openDialogs().isEmpty());
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("立体声宽度效果需要立体声音频"));

    // Noise reduction without a selection explains itself in a box.
    QString boxTitle;
    QTimer::singleShot(0, [&boxTitle] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
                boxTitle = box->windowTitle();
                box->accept();
            }
    });
    page.showNoiseReductionDialog();
    EXPECT_EQ(boxTitle, QStringLiteral("降噪"));
    EXPECT_TRUE(openDialogs().isEmpty());
}

// ---------------------------------------------------------------- each effect

TEST_F(EffectDialogs, GainPreviewsDoNotAddUpAndApplyScalesBothLists)
{
    loadFixture(true);
    const QList<float> mono = page.document().samples();
    const QList<float> stereo = page.document().stereoSamples();
    QDialog *dialog = launch(&AudioEditorPage::showGainDialog);
    ASSERT_NE(dialog, nullptr);
    auto *gain = dialog->findChild<QDoubleSpinBox *>();
    gain->setValue(6.0);
    click(dialog, QStringLiteral("预览"));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("预览增益: 6.0 dB"));
    gain->setValue(-6.0);
    click(dialog, QStringLiteral("预览"));
    apply(dialog);
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("已应用增益: -6.0 dB"));

    const double factor = std::pow(10.0, -0.3);
    const auto scaled = [factor](const QList<float> &out, const QList<float> &in) {
        if (out.size() != in.size())
            return false;
        for (qsizetype i = 0; i < in.size(); ++i)
            if (std::fabs(out[i] - in[i] * factor) > 2.5e-7 * std::fabs(in[i] * factor) + 1e-12)
                return false;
        return true;
    };
    EXPECT_TRUE(scaled(page.document().samples(), mono));
    EXPECT_TRUE(scaled(page.document().stereoSamples(), stereo));
}

TEST_F(EffectDialogs, DottedQuarterDelayAt120BpmEchoesAtFrame33075)
{
    const int cd = 44100;
    QList<float> impulse(2 * cd, 0.0f);
    impulse[0] = 1.0f;
    page.loadAudioSamples(impulse, cd);
    QDialog *dialog = launch(&AudioEditorPage::showDelayDialog);
    ASSERT_NE(dialog, nullptr);
    bool labelShown = false;
    for (QLabel *label : dialog->findChildren<QLabel *>())
        labelShown |= label->text() == QStringLiteral("延迟时间: 750 ms");
    EXPECT_TRUE(labelShown);
    apply(dialog);
    qsizetype firstEcho = -1;
    for (qsizetype i = 1; i < page.document().samples().size() && firstEcho < 0; ++i)
        if (page.document().samples()[i] != 0.0f)
            firstEcho = i;
    EXPECT_EQ(firstEcho, 33075) << "750 ms at 44.1 kHz";
}

TEST_F(EffectDialogs, ReverbWithoutMixReturnsTheInput)
{
    loadFixture(true);
    const QList<float> mono = page.document().samples();
    const QList<float> stereo = page.document().stereoSamples();
    QDialog *dialog = launch(&AudioEditorPage::showReverbDialog);
    ASSERT_NE(dialog, nullptr);
    QDoubleSpinBox *mix = spinInGroup(dialog, QStringLiteral("干湿比 (Mix)"));
    ASSERT_NE(mix, nullptr);
    mix->setValue(0.0);
    apply(dialog);
    EXPECT_EQ(page.document().undoStack()->count(), 1);
    EXPECT_TRUE(sameBits(page.document().samples(), mono));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereo));
}

TEST_F(EffectDialogs, FullExciterStaysWithinFullScale)
{
    page.loadStereoAudioSamples(stereoFixture(3 * rate, rate, 0.55f), rate);
    QDialog *dialog = launch(&AudioEditorPage::showExciterDialog);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QDial *>()->setValue(100);
    apply(dialog);
    const auto [low, high] = std::minmax_element(page.document().stereoSamples().cbegin(), page.document().stereoSamples().cend());
    EXPECT_GE(*low, -1.0f);
    EXPECT_LE(*high, 1.0f);
    EXPECT_GT(*high, 0.9f) << "the fixture must reach near full scale";
}

TEST_F(EffectDialogs, ZeroWidthMakesBothChannelsEqual)
{
    loadFixture(true);
    QDialog *dialog = launch(&AudioEditorPage::showImagerDialog);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QDial *>()->setValue(0);
    apply(dialog);
    for (qsizetype i = 0; i < page.document().samples().size(); ++i)
        ASSERT_EQ(page.document().stereoSamples()[2 * i], page.document().stereoSamples()[2 * i + 1]) << "frame " << i;
}

TEST_F(EffectDialogs, CentreExtractionKeepsWhatBothChannelsShare)
{
    const qsizetype frames = 2 * rate;
    const QList<float> b = seededNoise(frames, 0.3f, 23);
    QList<float> a(frames), pairs(2 * frames);
    for (qsizetype i = 0; i < frames; ++i) {
        a[i] = float(0.5 * sine(330.0, i, rate));
        pairs[2 * i] = a[i] + b[i];
        pairs[2 * i + 1] = a[i] - b[i];
    }
    page.loadStereoAudioSamples(pairs, rate);
    QDialog *dialog = launch(&AudioEditorPage::showCenterExtractionDialog);
    ASSERT_NE(dialog, nullptr);
    apply(dialog);
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("已应用中置声道提取 (中置=1.00, 侧置=0.00)"));
    ASSERT_EQ(page.document().samples().size(), frames);
    for (qsizetype i = 0; i < frames; ++i) {
        ASSERT_NEAR(page.document().samples()[i], a[i], 1e-6f) << "frame " << i;
        ASSERT_EQ(page.document().stereoSamples()[2 * i], page.document().samples()[i]);
        ASSERT_EQ(page.document().stereoSamples()[2 * i + 1], page.document().samples()[i]);
    }
}

TEST_F(EffectDialogs, NoiseReductionKeepsTheToneAndLowersTheNoise)
{
    // One second of noise, then three seconds of the same noise under a 440 Hz tone.
    const int cd = 44100;
    QList<float> clip = seededNoise(4 * cd, 0.1f, 41);
    for (qsizetype i = cd; i < clip.size(); ++i)
        clip[i] += float(0.5 * sine(440.0, i, cd));
    page.loadAudioSamples(clip, cd);
    dragSelection(page, 12, 200);
    WaveformWidget *view = AudioEditorPageProbe::waveform1(page);
    ASSERT_LT(view->getSelectionEnd(), 0.95) << "the selection must hold noise only";
    QDialog *dialog = launch(&AudioEditorPage::showNoiseReductionDialog);
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QSlider *>()->setValue(100);
    apply(dialog);
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("降噪完成，强度: 100%"));
    ASSERT_EQ(page.document().undoStack()->count(), 1);

    const double toneBefore = toneAmplitude(clip, qsizetype(1.5 * cd), qsizetype(3.5 * cd), 440.0, cd);
    const double toneAfter = toneAmplitude(page.document().samples(), qsizetype(1.5 * cd), qsizetype(3.5 * cd), 440.0, cd);
    EXPECT_NEAR(20.0 * std::log10(toneAfter / toneBefore), 0.0, 1.0);
    const double noiseBefore = rms(clip, qsizetype(0.2 * cd), qsizetype(0.9 * cd));
    const double noiseAfter = rms(page.document().samples(), qsizetype(0.2 * cd), qsizetype(0.9 * cd));
    EXPECT_GE(20.0 * std::log10(noiseBefore / noiseAfter), 5.5);
}

TEST_F(EffectDialogs, NoiseRangeShorterThanAFrameReportsTheFailureAndRecordsNothing)
{
    const int cd = 44100;
    page.loadStereoAudioSamples(stereoFixture(4 * cd, cd), cd);
    const QList<float> mono = page.document().samples();
    const QList<float> stereo = page.document().stereoSamples();
    dragSelection(page, 100, 105);
    WaveformWidget *view = AudioEditorPageProbe::waveform1(page);
    ASSERT_LT((view->getSelectionEnd() - view->getSelectionStart()) * cd, 2048.0);
    QDialog *dialog = launch(&AudioEditorPage::showNoiseReductionDialog);
    ASSERT_NE(dialog, nullptr);
    apply(dialog);
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("降噪失败：噪声样本太短，至少需要 2048 个采样点"));
    EXPECT_EQ(page.document().undoStack()->count(), 0);
    EXPECT_TRUE(sameBits(page.document().samples(), mono));
    EXPECT_TRUE(sameBits(page.document().stereoSamples(), stereo));
}

// ---------------------------------------------------------------- tempo

QList<float> clickTrack(double bpm, int rate, double seconds)
{
    QList<float> clip(qsizetype(seconds * rate), 0.0f);
    const double period = 60.0 / bpm;
    for (double t = 0.0; t + 0.02 < seconds; t += period) {
        const qsizetype start = qsizetype(std::llround(t * rate));
        for (qsizetype i = 0; i < qsizetype(0.02 * rate); ++i)
            clip[start + i] = float(0.8 * sine(1000.0, i, rate));
    }
    return clip;
}

TEST_F(EffectDialogs, TempoOfClickTracksIsFoundOffTheGuiThread)
{
    for (double bpm : {120.0, 97.0}) {
        SCOPED_TRACE(bpm);
        page.loadAudioSamples(clickTrack(bpm, 44100, 12.0), 44100);
        page.showTempoDetectionDialog();
        QDialog *dialog = openDialogTitled(QStringLiteral("音频速度检测 (BPM)"));
        ASSERT_NE(dialog, nullptr);
        QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        ASSERT_EQ(labels.size(), 3);
        EXPECT_EQ(labels[0]->text(), QStringLiteral("正在分析音频，请稍候..."));
        ASSERT_TRUE(waitUntil([&] { return labels[0]->text() != QStringLiteral("正在分析音频，请稍候..."); }, 30000));
        EXPECT_EQ(labels[0]->text(), QStringLiteral("检测完成"));
        const QString shown = labels[1]->text();
        ASSERT_TRUE(shown.endsWith(QStringLiteral(" BPM")));
        EXPECT_NEAR(shown.chopped(4).toDouble(), bpm, 1.0);
        EXPECT_TRUE(labels[2]->text().startsWith(QStringLiteral("置信度: ")));
        click(dialog, QStringLiteral("关闭"));
        settle();
        EXPECT_EQ(openDialogTitled(QStringLiteral("音频速度检测 (BPM)")), nullptr);
    }
}

TEST_F(EffectDialogs, ClosingTheTempoDialogAtOnceLeavesNothingThatTouchesIt)
{
    page.loadAudioSamples(clickTrack(120.0, 44100, 30.0), 44100);
    for (int i = 0; i < 3; ++i) {
        page.showTempoDetectionDialog();
        QDialog *dialog = openDialogTitled(QStringLiteral("音频速度检测 (BPM)"));
        ASSERT_NE(dialog, nullptr);
        dialog->close();
        settle();
    }
    QThreadPool::globalInstance()->waitForDone();
    settle();
    EXPECT_EQ(openDialogTitled(QStringLiteral("音频速度检测 (BPM)")), nullptr);
}

} // namespace
