// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer page: strip layout, value texts, what each control reports, and rebuilds that
// neither write values back nor leave widgets behind.
#include "document/ProjectDocument.h"
#include "multitrack/MixerPage.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <gtest/gtest.h>

#include <cmath>

namespace {

TrackData trackWith(float volume, float pan, const QString &name = QStringLiteral("T"))
{
    TrackData track;
    track.name = name;
    track.color = QColor(0x3a, 0x86, 0xff);
    track.volume = volume;
    track.pan = pan;
    return track;
}

// The widgets of the strip row, left to right: 'S' strip, '|' thin separator, 'W' wide one,
// 'M' the Master strip, '.' the trailing stretch.
std::string rowShape(const MixerPage &page, QHBoxLayout *layout)
{
    std::string shape;
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *widget = layout->itemAt(i)->widget();
        if (!widget) {
            shape += '.';
        } else if (widget == page.master().widget) {
            shape += 'M';
        } else if (auto *frame = qobject_cast<QFrame *>(widget); frame && frame->frameShape() == QFrame::VLine) {
            shape += frame->styleSheet().contains(QStringLiteral("max-width: 2px")) ? 'W' : '|';
        } else {
            shape += 'S';
        }
    }
    return shape;
}

QHBoxLayout *rowOf(const MixerPage &page)
{
    // The strips' layout is the one whose parent holds the Master strip.
    return qobject_cast<QHBoxLayout *>(page.master().widget->parentWidget()->layout());
}

} // namespace

TEST(MixerPage, StripsThenSeparatorsThenMaster)
{
    const struct
    {
        int trackCount;
        const char *shape;
    } cases[] = {{3, "S|S|S|WM."}, {0, "WM."}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.trackCount);
        std::vector<TrackData> tracks(size_t(c.trackCount), trackWith(0.8f, 0.0f));
        ProjectDocument document;
        MixerPage page(document, nullptr);
        page.setTracks(&tracks);
        EXPECT_EQ(page.trackStrips().size(), size_t(c.trackCount));
        EXPECT_EQ(rowShape(page, rowOf(page)), c.shape);
        EXPECT_EQ(page.master().nameLabel->text(), "Master");
        EXPECT_EQ(page.master().trackIndex, -1);
        EXPECT_EQ(page.master().panSlider, nullptr);
        EXPECT_EQ(page.master().muteButton, nullptr);
        EXPECT_TRUE(page.master().insertSlots.empty());
    }

    ProjectDocument document;

    MixerPage page(document, nullptr);
    page.setTracks(nullptr);
    EXPECT_EQ(page.master().widget, nullptr) << "no track list: not even a Master strip";
}

TEST(MixerPage, StripsShowTheTrackValues)
{
    const struct
    {
        float volume;
        float pan;
        int fader;
        const char *db;
        int panPosition;
        const char *panLabel;
    } cases[] = {
        {0.8f, -0.25f, 80, "-1.9 dB", -25, "L25"},
        {1.5f, 0.5f, 150, "3.5 dB", 50, "R50"},
        {1.0f, 0.0f, 100, "0.0 dB", 0, "C"},
        {0.0f, -1.0f, 0, "-inf", -100, "L100"},
        {0.53f, 0.29f, 53, "-5.5 dB", 29, "R29"},  // nearest positions, not truncated ones
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.volume);
        std::vector<TrackData> tracks{trackWith(c.volume, c.pan, QStringLiteral("鼓"))};
        tracks[0].muted = true;
        ProjectDocument document;
        MixerPage page(document, nullptr);
        page.setTracks(&tracks);
        const MixerPage::ChannelStrip &strip = page.trackStrips().at(0);
        EXPECT_EQ(strip.fader->value(), c.fader);
        EXPECT_EQ(strip.volumeLabel->text(), c.db);
        EXPECT_EQ(strip.panSlider->value(), c.panPosition);
        EXPECT_EQ(strip.panLabel->text(), c.panLabel);
        EXPECT_EQ(strip.nameLabel->text(), "鼓");
        EXPECT_TRUE(strip.muteButton->isChecked());
        EXPECT_FALSE(strip.soloButton->isChecked());
    }
}

TEST(MixerPage, TextRules)
{
    // dB against 20 log10(g) computed here, pan against the slider position.
    const struct
    {
        float gain;
        const char *text;
    } gains[] = {{0.0005f, "-inf"}, {0.001f, "-60.0 dB"}, {0.0f, "-inf"}, {-0.5f, "-inf"},
                 {1.2f, "1.6 dB"},  {0.8f, "-1.9 dB"},    {1.5f, "3.5 dB"}, {std::nanf(""), "-inf"}};
    for (const auto &g : gains) {
        SCOPED_TRACE(g.gain);
        EXPECT_EQ(MixerPage::volToDb(g.gain), g.text);
    }
    const struct
    {
        int position;
        const char *text;
    } pans[] = {{-1, "C"}, {0, "C"}, {1, "C"}, {-2, "L2"}, {2, "R2"}, {-100, "L100"}, {37, "R37"}};
    for (const auto &p : pans) {
        SCOPED_TRACE(p.position);
        EXPECT_EQ(MixerPage::panTextForPosition(p.position), p.text);
        EXPECT_EQ(MixerPage::panText(p.position / 100.0f), p.text);
    }
    EXPECT_EQ(MixerPage::panText(-0.5f), "L50");
}

TEST(MixerPage, ControlsReportTheirTrackAndValue)
{
    std::vector<TrackData> tracks(3, trackWith(0.8f, 0.0f));
    ProjectDocument document;
    MixerPage page(document, nullptr);
    page.setTracks(&tracks);
    QSignalSpy volume(&page, &MixerPage::trackVolumeChanged);
    QSignalSpy pan(&page, &MixerPage::trackPanChanged);
    QSignalSpy mute(&page, &MixerPage::trackMuteChanged);
    QSignalSpy solo(&page, &MixerPage::trackSoloChanged);

    // Each strip's controls act on its own labels, though the records were moved into the list.
    for (int i = 0; i < 3; ++i) {
        const MixerPage::ChannelStrip &strip = page.trackStrips()[size_t(i)];
        strip.fader->setValue(100 + 10 * i);
        strip.panSlider->setValue(-2 - i);
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const MixerPage::ChannelStrip &strip = page.trackStrips()[size_t(i)];
        EXPECT_EQ(strip.volumeLabel->text(), MixerPage::volToDb((100 + 10 * i) / 100.0f));
        EXPECT_EQ(strip.panLabel->text(), QStringLiteral("L%1").arg(2 + i));
        EXPECT_EQ(volume.at(i).at(0).toInt(), i);
        EXPECT_EQ(volume.at(i).at(1).toFloat(), (100 + 10 * i) / 100.0f);
        EXPECT_EQ(pan.at(i).at(1).toFloat(), (-2 - i) / 100.0f);
    }
    EXPECT_EQ(page.trackStrips()[1].volumeLabel->text(), "0.8 dB");
    page.trackStrips()[0].fader->setValue(120);
    EXPECT_EQ(volume.last().at(1).toFloat(), 1.2f);
    EXPECT_EQ(page.trackStrips()[0].volumeLabel->text(), "1.6 dB");

    page.trackStrips()[2].muteButton->click();
    page.trackStrips()[2].muteButton->click();
    page.trackStrips()[1].soloButton->click();
    ASSERT_EQ(mute.size(), 2);
    EXPECT_EQ(mute.at(0), (QList<QVariant>{2, true}));
    EXPECT_EQ(mute.at(1), (QList<QVariant>{2, false}));
    EXPECT_EQ(solo.at(0), (QList<QVariant>{1, true}));

    // The Master fader changes only its own label and gain.
    const qsizetype before = volume.size();
    page.master().fader->setValue(50);
    EXPECT_EQ(volume.size(), before);
    EXPECT_EQ(page.master().volumeLabel->text(), "-6.0 dB");
    EXPECT_EQ(page.masterGain(), 0.5f);
    EXPECT_EQ(tracks[0].volume, 0.8f) << "the page edits nothing itself";
}

TEST(MixerPage, EightInsertSlotsShowTheTrackPlugins)
{
    std::vector<TrackData> tracks{trackWith(0.8f, 0.0f)};
    tracks[0].insertPluginPaths = {QStringLiteral("/usr/lib/vst3/ZamComp.vst3")};
    ProjectDocument document;
    MixerPage page(document, nullptr);
    page.setTracks(&tracks);
    QSignalSpy add(&page, &MixerPage::addPluginRequested);
    QSignalSpy editor(&page, &MixerPage::pluginEditorRequested);
    const std::vector<MixerPage::InsertSlot> &inserts = page.trackStrips()[0].insertSlots;
    ASSERT_EQ(inserts.size(), 8u);
    for (int j = 0; j < 8; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(inserts[size_t(j)].numberLabel->text(), QString::number(j + 1));
        EXPECT_EQ(inserts[size_t(j)].nameButton->text(), j == 0 ? "ZamComp" : "+");
        EXPECT_EQ(inserts[size_t(j)].bypassButton->isHidden(), j != 0);
    }
    inserts[3].nameButton->click();
    inserts[0].nameButton->click();
    EXPECT_EQ(add.size(), 1);
    ASSERT_EQ(editor.size(), 1);
    EXPECT_EQ(editor.at(0).at(2).toString(), "/usr/lib/vst3/ZamComp.vst3");
}

TEST(MixerPage, RebuildsWriteNothingBackAndLeaveNoWidgetsBehind)
{
    std::vector<TrackData> tracks{trackWith(0.53f, -0.29f), trackWith(1.17f, 0.03f)};
    ProjectDocument document;
    MixerPage page(document, nullptr);
    // Wired as the shell wires it: whatever the strips report lands in the records.
    QObject::connect(&page, &MixerPage::trackVolumeChanged, [&](int i, float g) { tracks[size_t(i)].volume = g; });
    QObject::connect(&page, &MixerPage::trackPanChanged, [&](int i, float p) { tracks[size_t(i)].pan = p; });
    page.setTracks(&tracks);
    const qsizetype baseline = page.findChildren<QWidget *>().size();
    const std::vector<TrackData> before = tracks;
    for (int i = 0; i < 20; ++i)
        page.refreshFromData();
    EXPECT_EQ(tracks, before);
    EXPECT_EQ(tracks[0].volume, 0.53f);
    EXPECT_EQ(page.findChildren<QWidget *>().size(), baseline);

    tracks.pop_back();
    page.refreshFromData();
    EXPECT_LT(page.findChildren<QWidget *>().size(), baseline);
}
