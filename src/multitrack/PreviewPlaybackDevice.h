// SPDX-License-Identifier: GPL-3.0-or-later
// The source a piano roll's audio sink pulls from: the live output of the track's instrument.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>

class LiveAudioPlayer;
class PianoSampler;
class SF2Sampler;

// Read-only and endless: every read is filled, with silence when nothing sounds, so the sink
// never runs dry. Reads come from the sink on the thread that owns it (the GUI thread); the
// instruments guard their own state. Only one consumer may render an instrument's live
// output: while the live player runs it does, and this device then plays silence, so the
// notes the piano roll sends are heard through the player instead.
class PreviewPlaybackDevice : public QIODevice
{
    Q_OBJECT

public:
    // Both instruments are borrowed and may be null; they must outlive the device.
    PreviewPlaybackDevice(SF2Sampler *sf2Sampler, PianoSampler *pianoSampler, QObject *parent);

    // The format the sink plays; the instrument's 16-bit stereo is converted to it.
    void setOutputFormat(const QAudioFormat &format);
    // The player that renders the same instruments when it runs; null for none.
    void setLivePlayer(const LiveAudioPlayer *player) { livePlayer = player; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool rendersItself() const;
    void renderStereo(short *out, int frames);

    SF2Sampler *sf2Sampler;
    PianoSampler *pianoSampler;
    const LiveAudioPlayer *livePlayer = nullptr;
    QAudioFormat format;
    QByteArray block;  // one chunk of 16-bit stereo, sized once
};
