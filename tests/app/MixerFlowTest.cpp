// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer inside the main window: its edits land in the tracks, are heard at once while
// playing and in the mixdown, and the track headers and strips agree after each page switch.
#include "AppTestSupport.h"

#include "app/MainWindow.h"
#include "engine/MultiTrackAudioEngine.h"
#include "multitrack/MixerPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include "PumpedAudioBackend.h"

#include <QAction>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int rate = 44100;

QList<float> sine(double hz, float amplitude, int frames)
{
    QList<float> samples(frames);
    for (int i = 0; i < frames; ++i)
        samples[i] = amplitude * float(std::sin(2.0 * M_PI * hz * i / rate));
    return samples;
}

class MixerFlow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.show();
        window.openNewProject(QStringLiteral("multi"), rate, 16, false);
        multi = window.findChild<MultiTrackEditorPage *>();
        mixer = window.findChild<MixerPage *>();
        for (QAction *action : window.findChildren<QAction *>())
            if (action->text() == QStringLiteral("调音台(&M)"))
                mixerAction = action;
        multi->addTrack(TrackType::Audio, sine(440.0, 0.25f, rate), rate, QString(), {});
        multi->addTrack(TrackType::Audio, sine(1000.0, 0.25f, rate), rate, QString(), {});
    }

    QWidget *currentPage()
    {
        return qobject_cast<QStackedWidget *>(window.centralWidget())->currentWidget();
    }

    void showMixer()
    {
        mixerAction->trigger();
        ASSERT_EQ(currentPage(), mixer);
    }

    void showTracks()
    {
        mixerAction->trigger();
        ASSERT_EQ(currentPage(), multi);
    }

    TemporarySettingsStore store;
    MainWindow window;
    MultiTrackEditorPage *multi = nullptr;
    MixerPage *mixer = nullptr;
    QAction *mixerAction = nullptr;
};

} // namespace

TEST_F(MixerFlow, HeadersAndStripsShowEachOthersEdits)
{
    showMixer();
    mixer->trackStrips()[1].soloButton->click();
    mixer->trackStrips()[0].fader->setValue(120);
    EXPECT_TRUE(multi->document().tracks[1].solo);
    showTracks();
    TrackHeaderWidget *second = multi->trackRows[1]->header;
    EXPECT_TRUE(second->soloButton->isChecked());
    EXPECT_EQ(multi->trackRows[0]->header->volumeSlider->value(), 120);
    EXPECT_EQ(multi->document().tracks[0].volume, 1.2f) << "showing the headers writes nothing back";
    EXPECT_TRUE(multi->document().tracks[1].solo);

    multi->trackRows[0]->header->muteButton->click();
    showMixer();
    EXPECT_TRUE(mixer->trackStrips()[0].muteButton->isChecked());
    EXPECT_TRUE(mixer->trackStrips()[1].soloButton->isChecked());
    EXPECT_EQ(mixer->trackStrips()[0].fader->value(), 120);
}

TEST_F(MixerFlow, TheMixdownFollowsTheFaderAndTheSolo)
{
    showMixer();
    mixer->trackStrips()[1].fader->setValue(120);
    ASSERT_EQ(multi->document().tracks[1].volume, 1.2f);

    // Centre pan sends 0.707 of each track's gain to both sides.
    const QList<float> first = sine(440.0, 0.25f, rate);
    const QList<float> second = sine(1000.0, 0.25f, rate);
    QList<float> mix;
    int mixRate = 0;
    ASSERT_TRUE(multi->renderMixdown(mix, mixRate));
    ASSERT_EQ(mix.size(), 2 * rate);
    for (int i = 0; i < rate; i += 7) {
        const float expected = (first[i] * 0.8f + second[i] * 1.2f) * 0.707f;
        ASSERT_NEAR(mix[2 * i], expected, 1e-6f) << i;
        ASSERT_NEAR(mix[2 * i + 1], expected, 1e-6f) << i;
    }

    mixer->trackStrips()[1].soloButton->click();
    ASSERT_TRUE(multi->renderMixdown(mix, mixRate));
    for (int i = 0; i < rate; i += 7)
        ASSERT_NEAR(mix[2 * i], second[i] * 1.2f * 0.707f, 1e-6f) << "only the solo track: " << i;
}

TEST_F(MixerFlow, AFaderMoveIsHeardInTheNextBlock)
{
    auto device = std::make_unique<PumpedAudioBackend>();
    PumpedAudioBackend *backend = device.get();
    delete multi->document().engine;
    multi->document().engine = new MultiTrackAudioEngine(std::move(device));
    multi->document().engine->initialize(rate, 512);
    multi->document().tracks[0].muted = true;
    multi->renderPlaybackSlots();
    ASSERT_TRUE(multi->document().engine->startPlayback(0.0));
    showMixer();

    // Each block's peak against the 1 kHz sine's 0.25 x gain x 0.707.
    const auto blockPeak = [backend] {
        const std::optional<std::vector<float>> block = backend->pump(512);
        float peak = 0.0f;
        for (const float v : block.value_or(std::vector<float>{}))
            peak = std::max(peak, std::fabs(v));
        return peak;
    };
    EXPECT_NEAR(blockPeak(), 0.25f * 0.8f * 0.707f, 2e-3f);
    mixer->trackStrips()[1].fader->setValue(40);
    EXPECT_NEAR(blockPeak(), 0.25f * 0.4f * 0.707f, 2e-3f);
    mixer->trackStrips()[1].muteButton->click();
    EXPECT_EQ(blockPeak(), 0.0f);
    multi->document().engine->stopPlayback();
}

TEST_F(MixerFlow, TogglingTheMixerChangesNothingAndLeavesNoWidgetsBehind)
{
    multi->document().tracks[0].volume = 0.53f;
    multi->document().tracks[1].pan = -0.29f;
    showMixer();
    showTracks();
    const std::vector<TrackData> before = multi->document().tracks;
    const qsizetype baseline = window.findChildren<QWidget *>().size();
    for (int i = 0; i < 20; ++i) {
        showMixer();
        showTracks();
    }
    EXPECT_EQ(multi->document().tracks, before);
    EXPECT_EQ(multi->document().tracks[0].volume, 0.53f);
    EXPECT_EQ(window.findChildren<QWidget *>().size(), baseline);
}
