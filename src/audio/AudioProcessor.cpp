// SPDX-License-Identifier: GPL-3.0-or-later
// The clip container, its load and save dispatch and the per-format glue: error texts,
// timing log lines and the rule that turns decoded frames into the clip fields.
#include "audio/AudioProcessor.h"

#include "audio/DecodedAudio.h"
#include "audio/FlacDecoder.h"
#include "audio/FlacEncoder.h"
#include "audio/Mp3Decoder.h"
#include "audio/Mp3Encoder.h"
#include "audio/OggVorbisDecoder.h"
#include "audio/ParallelRanges.h"
#include "audio/SaveFile.h"
#include "audio/WavCodec.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

// Reads frames [first, first + count) of the data chunk straight into the clip and its mono
// mix, in slices: an hour-long file never needs its stored bytes and its floats in memory at
// once, and each slice's floats are still in cache when mixed and summarised. Returns the
// frames read, fewer when the file ends early.
qint64 readWavFrames(const QString &filePath, const WavCodec::Layout &layout, DecodedAudio &decoded,
                     qint64 first, qint64 count)
{
    QFile file(filePath);
    const qint64 frameBytes = layout.bytesPerFrame();
    if (!file.open(QIODevice::ReadOnly) || !file.seek(layout.dataOffset + first * frameBytes))
        return 0;
    const qint64 sliceFrames = std::max<qint64>(1, (qint64(1) << 17) / frameBytes);
    QByteArray slice(sliceFrames * frameBytes, Qt::Uninitialized);
    qint64 framesRead = 0;
    while (framesRead < count) {
        const qint64 frames = std::min(sliceFrames, count - framesRead);
        const qint64 got = file.read(slice.data(), frames * frameBytes) / frameBytes;
        if (got <= 0)
            break;
        const qint64 at = first + framesRead;
        WavCodec::decode(slice.constData(), layout,
                         std::span<float>(decoded.interleaved.data() + at * layout.channels,
                                          size_t(got * layout.channels)));
        decoded.mix(at, got);
        framesRead += got;
        if (got < frames)
            break;
    }
    return framesRead;
}

// Times the steps of one compressed load for its "[TAG] step: N ms, ..." debug lines.
class LoadSteps
{
public:
    explicit LoadSteps(const char *tag) : tag(tag) { timer.start(); }

    // The line of the step just done: the milliseconds since the start or the last restart,
    // restarting the count when `restart`. The caller adds what the step produced.
    QDebug step(const char *name, bool restart)
    {
        const qint64 ms = restart ? timer.restart() : timer.elapsed();
        return qDebug().noquote() << QStringLiteral("[%1] %2:").arg(QLatin1String(tag), QLatin1String(name)) << ms;
    }

private:
    const char *tag;
    QElapsedTimer timer;
};

// The whole file in memory, logged as the "readAll" step; nothing if it cannot be opened.
std::optional<QByteArray> readWholeFile(const QString &filePath, LoadSteps &steps)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    file.close();
    steps.step("readAll", true) << "ms, size:" << bytes.size();
    return bytes;
}

QString lowerSuffix(const QString &filePath)
{
    return QFileInfo(filePath).suffix().toLower();
}

QList<float> mixToMono(const QList<float> &interleaved, int channels)
{
    QList<float> mono = uninitialisedFloats(interleaved.size() / channels);
    mixFramesToMono(interleaved.constData(), mono.data(), mono.size(), channels);
    return mono;
}

// What a WAV header can describe: block align and byte rate must fit their fields.
bool validWavArguments(int sampleRate, int channels, int bitDepth)
{
    if (!WavCodec::supportedBitDepth(bitDepth) || sampleRate <= 0 || sampleRate > int(WavCodec::maxSampleRate)
        || channels <= 0)
        return false;
    const qint64 blockAlign = qint64(channels) * (bitDepth / 8);
    return blockAlign <= 0xFFFF && blockAlign * sampleRate <= 0xFFFFFFFFLL;
}

// The text of a write or commit of `file` that failed part-way: the file was created, so
// the reason is the system's (a full disk, the file size limit), not the creation.
QString writeFailed(const QString &filePath, const SaveFile &file)
{
    return AudioProcessor::tr("写入文件失败: %1 (%2)").arg(filePath, file.failureReason());
}

// Writes through a temporary file beside the target and renames it over the target only
// when everything was written, so a failed save never destroys an existing file.
// `fill` returns an empty text on success, else the error to report.
QString writeReplacingFile(const QString &filePath, const std::function<QString(SaveFile &)> &fill)
{
    SaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return AudioProcessor::tr("无法创建文件: %1").arg(filePath);
    const QString error = fill(file);
    if (!error.isEmpty()) {
        file.cancelWriting();
        return error;
    }
    if (file.error() != QFileDevice::NoError || !file.commitWhole())
        return writeFailed(filePath, file);
    return {};
}

// The same, with a failure reported through `processor`'s errorOccurred. True when saved.
bool writeReplacing(AudioProcessor &processor, const QString &filePath,
                    const std::function<QString(SaveFile &)> &fill)
{
    const QString error = writeReplacingFile(filePath, fill);
    if (error.isEmpty())
        return true;
    emit processor.errorOccurred(error);
    return false;
}

} // namespace

AudioProcessor::AudioProcessor(QObject *parent) : QObject(parent) {}

AudioProcessor::~AudioProcessor() = default;

qint64 AudioProcessor::getDuration() const
{
    if (samples.isEmpty() || sampleRate == 0 || channels == 0)
        return 0;
    return qint64(samples.size()) / channels * 1000 / sampleRate;
}

void AudioProcessor::clear()
{
    samples.clear();
    stereoSamples.clear();
    peakSummaries.clear();
    loadWarning.clear();
    sampleRate = 44100;
    channels = 2;
}

bool AudioProcessor::loadAudioFile(const QString &filePath)
{
    clear();
    const QString suffix = lowerSuffix(filePath);
    if (suffix == QLatin1String("wav"))
        return loadWavFile(filePath);
    if (suffix == QLatin1String("mp3"))
        return loadMp3File(filePath);
    if (suffix == QLatin1String("flac"))
        return loadFlacFile(filePath);
    if (suffix == QLatin1String("ogg"))
        return loadOggFile(filePath);
    emit errorOccurred(tr("不支持的音频格式: %1").arg(suffix));
    return false;
}

bool AudioProcessor::saveAudioFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                                   int channels, int bitDepth)
{
    const QString suffix = lowerSuffix(filePath);
    if (suffix == QLatin1String("wav"))
        return saveWavFile(filePath, samples, sampleRate, channels, bitDepth);
    if (suffix == QLatin1String("mp3")) {
        // MP3 holds one or two channels; wider layouts are mixed down to mono.
        if (channels <= 2)
            return saveMp3File(filePath, samples, sampleRate, std::max(channels, 1));
        return saveMp3File(filePath, mixToMono(samples, channels), sampleRate);
    }
    if (suffix == QLatin1String("flac"))
        return saveFlacFile(filePath, samples, sampleRate, channels, bitDepth);
    emit errorOccurred(tr("不支持保存的音频格式: %1").arg(suffix));
    return false;
}

bool AudioProcessor::acceptDecoded(const QString &filePath, DecodedAudio &&decoded)
{
    sampleRate = decoded.sampleRate;
    channels = decoded.channels;
    if (decoded.channels == 1) {
        samples = std::move(decoded.interleaved);
        stereoSamples.clear();
    } else {
        samples = std::move(decoded.mono);
        if (decoded.channels == 2)
            stereoSamples = std::move(decoded.interleaved);
        else
            stereoSamples.clear();
    }
    peakSummaries = std::move(decoded.summaries);
    decoded = {};
    const qint64 durationMs = (samples.isEmpty() || sampleRate == 0)
        ? 0 : qint64(samples.size()) * 1000 / sampleRate;
    emit audioLoaded(filePath, sampleRate, channels, durationMs);
    return true;
}

bool AudioProcessor::failLoad(const QString &message)
{
    // A failed load leaves what the dispatch reset, whatever the loader got to.
    clear();
    emit errorOccurred(message);
    return false;
}

bool AudioProcessor::refuseDecoded(const QString &format, const QString &notThisFormat, const DecodedAudio &decoded,
                                   const QString &filePath)
{
    const FormatChange &change = decoded.change;
    QString cause;
    switch (decoded.failure) {
    case DecodeFailure::FormatChanged:
        if (change.toRate != change.fromRate)
            return failLoad(tr("%1文件中途改变采样率 (%2 Hz → %3 Hz)，无法加载: %4")
                                .arg(format).arg(change.fromRate).arg(change.toRate).arg(filePath));
        return failLoad(tr("%1文件中途改变声道数 (%2 → %3)，无法加载: %4")
                            .arg(format).arg(change.fromChannels).arg(change.toChannels).arg(filePath));
    case DecodeFailure::Unreadable:
        cause = tr("无法读取文件");
        break;
    case DecodeFailure::NotThisFormat:
        cause = notThisFormat;
        break;
    case DecodeFailure::DamagedHeader:
        cause = tr("文件头不完整或已损坏");
        break;
    case DecodeFailure::UnsupportedVersion:
        cause = tr("不支持的编码版本");
        break;
    case DecodeFailure::DecoderFailed:
        cause = tr("解码库出错");
        break;
    case DecodeFailure::None:
    case DecodeFailure::NoAudio:
        cause = tr("没有可解码的音频");
        break;
    }
    return failLoad(tr("%1解码失败 (%2): %3").arg(format, cause, filePath));
}

bool AudioProcessor::loadWavFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return failLoad(tr("无法打开文件: %1").arg(filePath));

    const WavCodec::Layout layout = WavCodec::parse(file);
    switch (layout.error) {
    case WavCodec::Error::None:
        break;
    case WavCodec::Error::HeaderTooShort:
        return failLoad(tr("WAV文件头损坏: %1").arg(filePath));
    case WavCodec::Error::NotWave:
        return failLoad(tr("不是有效的WAV文件: %1").arg(filePath));
    case WavCodec::Error::BadFmtChunk:
        return failLoad(tr("WAV fmt chunk损坏: %1").arg(filePath));
    case WavCodec::Error::NoData:
        return failLoad(tr("WAV文件中没有找到音频数据: %1").arg(filePath));
    case WavCodec::Error::NoChannels:
        return failLoad(tr("WAV文件声道数为0: %1").arg(filePath));
    case WavCodec::Error::BadSampleRate:
        return failLoad(tr("WAV文件采样率无效 (%1 Hz): %2").arg(layout.sampleRate).arg(filePath));
    case WavCodec::Error::UnsupportedEncoding:
        return failLoad(tr("不支持的WAV编码 (格式 0x%1, %2 位): %3")
                            .arg(layout.formatCode, 4, 16, QLatin1Char('0'))
                            .arg(layout.bitsPerSample)
                            .arg(filePath));
    }

    file.close();
    DecodedAudio decoded({.summarise = summariseWhileLoading});
    decoded.start(layout.channels, int(layout.sampleRate), layout.frames());
    const qint64 frames = layout.frames();
    const auto readRange = [&](qint64 first, qint64 count, bool) {
        return readWavFrames(filePath, layout, decoded, first, count) == count;
    };
    const int threads = ParallelRanges::threadsForValues(frames * layout.channels);
    // A file that shrank while loading keeps the frames that were there, as one thread reads them.
    const qint64 framesRead = ParallelRanges::run(frames, threads, readRange)
        ? frames : readWavFrames(filePath, layout, decoded, 0, frames);
    decoded.finish(framesRead * layout.channels);
    if (framesRead < layout.declaredFrames()) {
        const auto seconds = [&layout](qint64 frameCount) {
            return QString::number(double(frameCount) / layout.sampleRate, 'f', 2);
        };
        loadWarning = tr("WAV文件不完整: 只读到%1秒音频，文件头声明%2秒").arg(seconds(framesRead), seconds(layout.declaredFrames()));
    }
    return acceptDecoded(filePath, std::move(decoded));
}

bool AudioProcessor::saveWavFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                                 int channels, int bitDepth)
{
    if (!validWavArguments(sampleRate, channels, bitDepth)) {
        emit errorOccurred(tr("无法保存音频: 参数无效 (采样率 %1, 声道 %2, 位深 %3)")
                               .arg(sampleRate).arg(channels).arg(bitDepth));
        return false;
    }
    if (!WavCodec::fitsRiff(samples.size(), bitDepth)) {
        emit errorOccurred(tr("音频数据超过4GB，无法保存为WAV: %1").arg(filePath));
        return false;
    }
    return writeReplacing(*this, filePath, [&](SaveFile &file) -> QString {
        const QByteArray header = WavCodec::header(samples.size(), sampleRate, channels, bitDepth);
        // Converted in slices, several at once, so a long clip never needs a second
        // full-size copy.
        constexpr qsizetype slice = 1 << 16;
        const auto convert = [&](qint64 index, QByteArray &bytes) {
            const qsizetype first = index * slice;
            bytes.resize(0); // keeps the buffer
            WavCodec::appendSamples(bytes, std::span<const float>(samples.constData() + first,
                                                                  std::min(slice, samples.size() - first)), bitDepth);
        };
        const auto write = [&](const QByteArray &bytes) { return file.write(bytes) == bytes.size(); };
        if (!write(header)
            || !ParallelRanges::writeInOrder((samples.size() + slice - 1) / slice,
                                             ParallelRanges::threadsForValues(samples.size()), convert, write))
            return writeFailed(filePath, file);
        return {};
    });
}

bool AudioProcessor::loadMp3File(const QString &filePath)
{
    LoadSteps steps("MP3");
    std::optional<QByteArray> bytes = readWholeFile(filePath, steps);
    if (!bytes)
        return failLoad(tr("无法打开文件: %1").arg(filePath));

    DecodedAudio decoded = Mp3Decoder::decode(*bytes, {.summarise = summariseWhileLoading});
    bytes.reset();
    steps.step("decode", true) << "ms, frames:" << decoded.frames() << "rate:" << decoded.sampleRate
                               << "ch:" << decoded.channels;
    if (decoded.frames() == 0)
        return refuseDecoded(QStringLiteral("MP3"), tr("没有找到MP3音频帧"), decoded, filePath);
    if (decoded.skippedFrames > 0)
        loadWarning = tr("MP3文件中有%1个损坏的帧，已跳过").arg(decoded.skippedFrames);

    const bool ok = acceptDecoded(filePath, std::move(decoded));
    steps.step("mono convert", false) << "ms, samples:" << samples.size();
    return ok;
}

bool AudioProcessor::loadFlacFile(const QString &filePath)
{
    LoadSteps steps("FLAC");
    DecodedAudio decoded = FlacDecoder::decodeFile(filePath, {.summarise = summariseWhileLoading});
    steps.step("decode", false) << "ms, frames:" << decoded.frames() << "rate:" << decoded.sampleRate
                                << "ch:" << decoded.channels;
    if (decoded.frames() == 0)
        return refuseDecoded(QStringLiteral("FLAC"), tr("不是有效的FLAC文件"), decoded, filePath);

    const bool ok = acceptDecoded(filePath, std::move(decoded));
    steps.step("mono convert", false) << "ms, samples:" << samples.size();
    return ok;
}

bool AudioProcessor::loadOggFile(const QString &filePath)
{
    LoadSteps steps("OGG");
    const std::optional<QByteArray> bytes = readWholeFile(filePath, steps);
    if (!bytes)
        return failLoad(tr("无法打开文件: %1").arg(filePath));

    const QString noVorbis = tr("没有找到Vorbis音频流");
    OggVorbisDecoder decoder;
    if (!decoder.open(*bytes))
        return refuseDecoded(QStringLiteral("OGG"), noVorbis, DecodedAudio::failed(decoder.failure()), filePath);
    steps.step("info", true) << "ms, frames:" << decoder.streamLengthFrames() << "rate:" << decoder.sampleRate()
                             << "ch:" << decoder.channels();

    DecodedAudio decoded = decoder.decodeAll({.summarise = summariseWhileLoading});
    // The stream length in the last page is not trusted: an empty decode is a failure.
    if (decoded.frames() == 0)
        return refuseDecoded(QStringLiteral("OGG"), noVorbis, decoded, filePath);

    const bool ok = acceptDecoded(filePath, std::move(decoded));
    steps.step("decode done", false) << "ms, samples:" << samples.size();
    return ok;
}

bool AudioProcessor::saveMp3File(const QString &filePath, const QList<float> &samples, int sampleRate,
                                 int channels)
{
    Mp3Encoder encoder;
    if (!encoder.isValid()) {
        emit errorOccurred(tr("MP3编码器初始化失败"));
        return false;
    }
    if (sampleRate <= 0 || !encoder.configure(sampleRate, channels)) {
        emit errorOccurred(tr("MP3编码器参数设置失败"));
        return false;
    }
    return writeReplacing(*this, filePath, [&](SaveFile &file) -> QString {
        switch (encoder.encode(samples, file)) {
        case Mp3Encoder::Result::Ok:
            return {};
        case Mp3Encoder::Result::EncoderFailed:
            return tr("MP3编码失败");
        case Mp3Encoder::Result::WriteFailed:
            break;
        }
        return writeFailed(filePath, file);
    });
}

bool AudioProcessor::saveFlacFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                                  int channels, int bitDepth)
{
    // Checked before the target is touched, so a refused save leaves an existing file alone.
    // An empty list writes no frame, so any count STREAMINFO can hold will do.
    if (!samples.isEmpty() && channels != 1 && channels != 2) {
        emit errorOccurred(tr("FLAC编码仅支持1或2声道"));
        return false;
    }
    if (channels < 1 || channels > 8 || !FlacEncoder::supportedSampleRate(sampleRate)) {
        emit errorOccurred(tr("无法保存音频: 参数无效 (采样率 %1, 声道 %2, 位深 %3)")
                               .arg(sampleRate).arg(channels).arg(bitDepth));
        return false;
    }
    const int bitsPerSample = bitDepth == 24 ? 24 : 16;
    return writeReplacing(*this, filePath, [&](SaveFile &file) -> QString {
        if (!FlacEncoder::write(file, samples, sampleRate, channels, bitsPerSample))
            return writeFailed(filePath, file);
        return {};
    });
}
