// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to a project file as one clip's embedded audio, so every run reaches
// the channel decoding instead of stopping at the document around it. The first byte picks
// the form: bits 0-1 the number of channel entries, bit 2 number arrays instead of Base64,
// bit 3 strings long enough to be decoded while the file streams by, bits 4-7 the sample
// rate. The rest, split at "|", is the channels' text (for number arrays, float32 bits).
#include "FuzzInput.h"
#include "project/ProjectFile.h"

#include <QBuffer>
#include <QByteArrayList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int sampleRates[16] = {44100, 48000, 8000, 96000, 768000, 1, 0, -1, 22050, 2000000000, 11025, 32000,
                                 88200, 192000, 384000, 16000};

// A JSON string of `text` read as Latin-1, as the file writer would put it.
QByteArray jsonString(const QByteArray &text)
{
    QByteArray quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\')
            quoted += "\\u00" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            quoted += c;
    }
    return quoted + '"';
}

QByteArray numberArray(const QByteArray &bits)
{
    QByteArrayList numbers;
    for (qsizetype at = 0; at + 4 <= bits.size(); at += 4) {
        float value;
        std::memcpy(&value, bits.constData() + at, 4);
        // JSON has no infinities or NaN: the file writer would never put them there either.
        numbers << (std::isfinite(value) ? QByteArray::number(double(value), 'g', 9) : QByteArray("0"));
    }
    return '[' + numbers.join(',') + ']';
}

bool consistent(const AudioClip &clip)
{
    if (clip.sampleRate <= 0 || (!clip.stereoSamples.isEmpty() && clip.stereoSamples.size() != 2 * clip.samples.size()))
        return false;
    for (const QList<float> *list : {&clip.samples, &clip.stereoSamples})
        for (float value : *list)
            if (!std::isfinite(value))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int form = data[0];
    const bool numbers = form & 4;
    // Past this length a Base64 string is taken out of the text and decoded as it is read.
    const QByteArray longPrefix = form & 8 ? QByteArray(64 * 1024 + 4, 'A') : QByteArray();
    const QByteArrayList texts =
        QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split('|');

    QByteArrayList channels;
    for (int i = 0; i < (form & 3); ++i) {
        const QByteArray text = i < texts.size() ? texts[i] : QByteArray();
        channels << (numbers ? numberArray(text) : jsonString(longPrefix + text));
    }
    // Written out directly: building a long string through QJsonDocument would cost the
    // fuzzer most of its time.
    const QByteArray document = R"({"version": "1.0.0", "tracks": [{"audioBlocks": [{"audioData": {"type": "embedded", )"
                                + QByteArray(numbers ? "" : R"("format": "float32_base64", )") + R"("sampleRate": )"
                                + QByteArray::number(sampleRates[form >> 4]) + R"(, "channels": [)"
                                + channels.join(',') + "]}}]}]}";
    QBuffer file;
    file.setData(document);
    file.open(QIODevice::ReadOnly);
    ProjectData loaded;
    if (ProjectFile::read(file, loaded) == ProjectFile::LoadResult::Loaded)
        for (const TrackData &t : loaded.tracks)
            for (const AudioClip &clip : t.audioClips)
                if (!consistent(clip))
                    __builtin_trap();
    return 0;
}
