// SPDX-License-Identifier: GPL-3.0-or-later
// The only user of FFmpeg: opening, audio extraction through swresample and picture
// conversion to BGRA through swscale. FFmpeg's headers stay in this file.
#include "video/VideoDemuxer.h"

#include "audio/DecodedAudio.h"
#include "audio/SystemErrorText.h"

#include <QDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

#include <unistd.h>

namespace {

// Our own words for why FFmpeg refused a file: its av_strerror() texts are English.
QString ffmpegError(int code)
{
    switch (code) {
    case AVERROR(ENOENT):
        return QStringLiteral("文件不存在");
    case AVERROR_INVALIDDATA:
        return QStringLiteral("文件内容无法识别或已损坏");
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_PROTOCOL_NOT_FOUND:
        return QStringLiteral("不支持的文件格式");
    case AVERROR_EOF:
        return QStringLiteral("文件不完整");
    default:
        return code < 0 && code > -4096 ? systemErrorText(-code) : QStringLiteral("无法识别的文件错误");
    }
}

// A decoder may leave a stream's layout unspecified; the resampler needs a named one.
AVChannelLayout namedLayout(const AVChannelLayout &layout)
{
    AVChannelLayout named{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&named, layout.nb_channels);
    else
        av_channel_layout_copy(&named, &layout);
    return named;
}

// Far above what compressed sound decodes to (AAC at 32 kbit/s, stereo at 48 kHz, gives 96
// floats a byte), so a real file reserves its sound at once.
constexpr double maxSampleValuesPerFileByte = 128.0;

// Half the machine's memory, in floats: a reservation never fails on a forged duration, and
// a real sound larger than this could not be edited anyway.
double reservableSampleValues()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageBytes = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageBytes > 0 ? double(pages) * double(pageBytes) / sizeof(float) / 2 : double(1 << 28);
}

// A whole sound track is hundreds of megabytes written once: in huge pages it takes a
// fraction of the page faults (on a virtual machine a third of the time).
void adviseHugePagesFor(QList<float> &list)
{
    adviseHugePages(list.data(), std::size_t(list.capacity()) * sizeof(float));
}

// Frees what FFmpeg allocated for one call on every way out.
struct PacketAndFrame
{
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    ~PacketAndFrame()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
    bool valid() const { return packet && frame; }
};

} // namespace

VideoDemuxer::VideoDemuxer(QObject *parent) : QObject(parent) {}

VideoDemuxer::~VideoDemuxer()
{
    close();
}

bool VideoDemuxer::open(const QString &path)
{
    close();
    const int opened = avformat_open_input(&formatContext, path.toUtf8().constData(), nullptr, nullptr);
    if (opened < 0) {
        emit errorOccurred(QStringLiteral("无法打开文件: %1").arg(ffmpegError(opened)));
        return false;
    }
    if (avformat_find_stream_info(formatContext, nullptr) < 0) {
        emit errorOccurred(QStringLiteral("无法读取流信息"));
        close();
        return false;
    }
    for (unsigned i = 0; i < formatContext->nb_streams; ++i) {
        AVStream *stream = formatContext->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO && !audioStream) {
            audioStream = stream;
            audioStreamIndex = int(i);
        } else if (type == AVMEDIA_TYPE_VIDEO && !videoStream) {
            videoStream = stream;
            videoStreamIndex = int(i);
        }
    }
    if (audioStream && !openAudioCodec()) {
        emit errorOccurred(QStringLiteral("无法打开音频解码器"));
        close();
        return false;
    }
    if (videoStream && !openVideoCodec()) {
        emit errorOccurred(QStringLiteral("无法打开视频解码器"));
        close();
        return false;
    }
    // The sound is extracted from its first sample on, so pictures count from there too
    // (MPEG-TS streams start at an arbitrary clock value).
    if (audioStream && audioStream->start_time != AV_NOPTS_VALUE)
        originSeconds = double(audioStream->start_time) * av_q2d(audioStream->time_base);
    else if (formatContext->start_time != AV_NOPTS_VALUE)
        originSeconds = double(formatContext->start_time) / AV_TIME_BASE;
    return true;
}

void VideoDemuxer::close()
{
    swr_free(&resampler);
    sws_freeContext(scaler);
    scaler = nullptr;
    avcodec_free_context(&audioCodecContext);
    avcodec_free_context(&videoCodecContext);
    avformat_close_input(&formatContext);
    audioStream = nullptr;
    videoStream = nullptr;
    audioStreamIndex = -1;
    videoStreamIndex = -1;
    outputChannels = 0;
    outputSampleRate = 0;
    originSeconds = 0.0;
    skipBeforeSeconds = -std::numeric_limits<double>::infinity();
    videoInputEnded = false;
}

namespace {

AVCodecContext *openDecoder(const AVStream *stream, const char *missingWarning)
{
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        qWarning().noquote() << missingWarning << int(stream->codecpar->codec_id);
        return nullptr;
    }
    AVCodecContext *context = avcodec_alloc_context3(codec);
    if (!context)
        return nullptr;
    if (avcodec_parameters_to_context(context, stream->codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    return context;
}

SwrContext *makeResampler(const AVChannelLayout &inLayout, int inFormat, int inRate, int outChannels, int outRate)
{
    AVChannelLayout source = namedLayout(inLayout);
    AVChannelLayout target{};
    av_channel_layout_default(&target, outChannels);
    SwrContext *context = swr_alloc();
    if (context) {
        av_opt_set_chlayout(context, "in_chlayout", &source, 0);
        av_opt_set_int(context, "in_sample_rate", inRate, 0);
        av_opt_set_sample_fmt(context, "in_sample_fmt", AVSampleFormat(inFormat), 0);
        av_opt_set_chlayout(context, "out_chlayout", &target, 0);
        av_opt_set_int(context, "out_sample_rate", outRate, 0);
        av_opt_set_sample_fmt(context, "out_sample_fmt", AV_SAMPLE_FMT_FLT, 0);
        if (swr_init(context) < 0)
            swr_free(&context);
    }
    av_channel_layout_uninit(&source);
    av_channel_layout_uninit(&target);
    return context;
}

} // namespace

bool VideoDemuxer::openAudioCodec()
{
    audioCodecContext = openDecoder(audioStream, "[VideoDemuxer] 找不到音频解码器:");
    if (!audioCodecContext)
        return false;
    outputChannels = audioCodecContext->ch_layout.nb_channels == 1 ? 1 : 2;
    outputSampleRate = audioCodecContext->sample_rate;
    resampler = makeResampler(audioCodecContext->ch_layout, audioCodecContext->sample_fmt,
                              audioCodecContext->sample_rate, outputChannels, outputSampleRate);
    if (!resampler) {
        avcodec_free_context(&audioCodecContext);
        return false;
    }
    return true;
}

bool VideoDemuxer::openVideoCodec()
{
    videoCodecContext = openDecoder(videoStream, "[VideoDemuxer] 找不到视频解码器:");
    return videoCodecContext != nullptr;
}

// ---------------------------------------------------------------- sound

bool VideoDemuxer::matchResampler(const AVFrame *frame, QList<float> &collected)
{
    AVChannelLayout incoming = namedLayout(frame->ch_layout);
    bool same = false;
    if (resampler) {
        int64_t rate = 0;
        AVSampleFormat format = AV_SAMPLE_FMT_NONE;
        AVChannelLayout layout{};
        av_opt_get_int(resampler, "in_sample_rate", 0, &rate);
        av_opt_get_sample_fmt(resampler, "in_sample_fmt", 0, &format);
        av_opt_get_chlayout(resampler, "in_chlayout", 0, &layout);
        same = rate == frame->sample_rate && format == frame->format
            && av_channel_layout_compare(&layout, &incoming) == 0;
        av_channel_layout_uninit(&layout);
    }
    av_channel_layout_uninit(&incoming);
    if (same)
        return true;
    if (resampler)
        appendConverted(nullptr, collected);
    swr_free(&resampler);
    resampler = makeResampler(frame->ch_layout, frame->format, frame->sample_rate, outputChannels, outputSampleRate);
    return resampler != nullptr;
}

void VideoDemuxer::appendConverted(const AVFrame *frame, QList<float> &collected)
{
    const int inputFrames = frame ? frame->nb_samples : 0;
    const int capacity = swr_get_out_samples(resampler, inputFrames);
    if (capacity <= 0)
        return;
    const qsizetype start = collected.size();
    collected.resize(start + qsizetype(capacity) * outputChannels);
    uint8_t *output = reinterpret_cast<uint8_t *>(collected.data() + start);
    const int converted = swr_convert(resampler, &output, capacity,
                                      frame ? const_cast<const uint8_t **>(frame->extended_data) : nullptr,
                                      inputFrames);
    collected.resize(start + qsizetype(std::max(converted, 0)) * outputChannels);
}

void VideoDemuxer::receiveAudioFrames(AVFrame *frame, QList<float> &collected)
{
    while (avcodec_receive_frame(audioCodecContext, frame) == 0) {
        // A stream that changes its channel count, rate or sample format mid-way gets a
        // matching resampler; what the old one held is flushed first.
        if (!matchResampler(frame, collected))
            qWarning() << "[VideoDemuxer] 无法转换音频格式";
        else
            appendConverted(frame, collected);
        av_frame_unref(frame);
    }
}

bool VideoDemuxer::extractAudio(QList<float> &mono, QList<float> &interleaved, int &sampleRate)
{
    if (!audioCodecContext) {
        emit errorOccurred(QStringLiteral("没有音频流"));
        return false;
    }
    mono.clear();
    interleaved.clear();
    sampleRate = outputSampleRate;
    const int sourceChannels = audioCodecContext->ch_layout.nb_channels;

    PacketAndFrame work;
    if (!work.valid())
        return false;
    // The demuxer skips the other streams' data instead of reading it into packets we drop.
    std::vector<AVDiscard> discards;
    for (unsigned i = 0; i < formatContext->nb_streams; ++i) {
        discards.push_back(formatContext->streams[i]->discard);
        if (int(i) != audioStreamIndex)
            formatContext->streams[i]->discard = AVDISCARD_ALL;
    }
    // From the very start: a backward seek to timestamp 0 would skip the AAC priming that
    // MP4 files mark for the decoder to drop, and the first frame would come out as zeros.
    rewind();
    avcodec_flush_buffers(audioCodecContext);

    QList<float> collected = outputChannels == 1 ? std::move(mono) : std::move(interleaved);
    if (const qsizetype expected = expectedSampleValues(); expected > 0) {
        collected.reserve(expected);
        adviseHugePagesFor(collected);
    }

    while (av_read_frame(formatContext, work.packet) >= 0) {
        const bool ours = work.packet->stream_index == audioStreamIndex;
        const int sent = ours ? avcodec_send_packet(audioCodecContext, work.packet) : -1;
        av_packet_unref(work.packet);
        if (sent >= 0)
            receiveAudioFrames(work.frame, collected);
    }
    if (avcodec_send_packet(audioCodecContext, nullptr) >= 0)
        receiveAudioFrames(work.frame, collected);
    if (resampler)
        appendConverted(nullptr, collected);
    avcodec_flush_buffers(audioCodecContext);
    // Streams found while reading (an MPEG-TS file may start a new program part-way) had no
    // setting saved and keep the one they were found with.
    for (std::size_t i = 0; i < discards.size(); ++i)
        formatContext->streams[i]->discard = discards[i];

    if (collected.isEmpty()) {
        emit errorOccurred(QStringLiteral("未能解码到音频数据"));
        return false;
    }
    if (outputChannels == 2) {
        interleaved = std::move(collected);
        const qsizetype frames = interleaved.size() / 2;
        mono.reserve(frames);
        adviseHugePagesFor(mono);
        mono.resize(frames);
        mixFramesToMono(interleaved.constData(), mono.data(), frames, 2);
    } else {
        mono = std::move(collected);
    }
    qDebug().noquote() << "[VideoDemuxer] 音频提取完成: sampleRate=" << sampleRate << "channels=" << sourceChannels
                       << "samples=" << mono.size();
    return true;
}

// ---------------------------------------------------------------- pictures

double VideoDemuxer::secondsOf(const AVFrame *frame) const
{
    int64_t stamp = frame->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE)
        stamp = frame->pts;
    if (stamp == AV_NOPTS_VALUE)
        return 0.0;
    return double(stamp) * av_q2d(videoStream->time_base) - originSeconds;
}

bool VideoDemuxer::receiveVideoFrame(AVFrame *frame, AVPacket *packet)
{
    for (;;) {
        const int received = avcodec_receive_frame(videoCodecContext, frame);
        if (received == 0)
            return true;
        if (received != AVERROR(EAGAIN) || videoInputEnded)
            return false;
        if (av_read_frame(formatContext, packet) < 0) {
            // The end of the file: drain the pictures the decoder still holds back
            // (B-frames keep the last few inside the decoder).
            avcodec_send_packet(videoCodecContext, nullptr);
            videoInputEnded = true;
            continue;
        }
        if (packet->stream_index == videoStreamIndex)
            avcodec_send_packet(videoCodecContext, packet);  // a packet it refuses is skipped
        av_packet_unref(packet);
    }
}

QImage VideoDemuxer::convertPicture(const AVFrame *frame)
{
    // A stream may change its picture size or pixel format: the scaler and the image follow
    // each frame.
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                  frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler)
        return {};
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    uint8_t *const planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

void VideoDemuxer::seekVideo(double seconds)
{
    const double stamp = (seconds + originSeconds) / av_q2d(videoStream->time_base);
    const int64_t target = int64_t(std::trunc(std::clamp(stamp, double(INT64_MIN / 2), double(INT64_MAX / 2))));
    // Picture time 0 and before is the first picture. A timestamp seek cannot be trusted to
    // find it: the sound may start after it, and MPEG-TS seeks ignore key frames, so a file
    // with one key frame would land past it and give no picture at all.
    if (seconds <= 0.0)
        rewind();
    else if (av_seek_frame(formatContext, videoStreamIndex, target, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(formatContext, videoStreamIndex, INT64_MIN, target, INT64_MAX, 0);
    avcodec_flush_buffers(videoCodecContext);
    videoInputEnded = false;
    skipBeforeSeconds = -std::numeric_limits<double>::infinity();
}

QImage VideoDemuxer::decodeFrameAt(double seconds)
{
    if (!videoCodecContext || !videoStream)
        return {};
    seekVideo(seconds);
    double ignored = -1.0;
    return decodeNextFrame(ignored);
}

QImage VideoDemuxer::decodeNextFrame(double &ptsSeconds)
{
    ptsSeconds = -1.0;
    if (!videoCodecContext || !videoStream)
        return {};
    PacketAndFrame work;
    if (!work.valid())
        return {};
    while (receiveVideoFrame(work.frame, work.packet)) {
        const double seconds = secondsOf(work.frame);
        if (seconds >= skipBeforeSeconds) {
            QImage image = convertPicture(work.frame);
            if (!image.isNull())
                ptsSeconds = seconds;
            return image;
        }
        av_frame_unref(work.frame);
    }
    return {};
}

void VideoDemuxer::seekTo(double seconds)
{
    if (!videoCodecContext || !videoStream)
        return;
    seekVideo(seconds);
    // The picture on screen at `seconds` starts less than one frame interval before it.
    const AVRational rate = av_guess_frame_rate(formatContext, videoStream, nullptr);
    const double interval = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
    skipBeforeSeconds = seconds - interval;
}

void VideoDemuxer::flushVideoCodec()
{
    if (videoCodecContext)
        avcodec_flush_buffers(videoCodecContext);
}

// ---------------------------------------------------------------- reading position

void VideoDemuxer::rewind()
{
    avformat_seek_file(formatContext, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
}

qsizetype VideoDemuxer::expectedSampleValues() const
{
    // The header's duration is only a claim: a damaged or hostile file may state years. It
    // sizes the buffer only up to what the file's bytes can plausibly decode to, and to what
    // the machine can reserve; a longer sound grows the buffer as it arrives.
    const double claimed = getDuration() * outputSampleRate * 1.001 * outputChannels + 8192;
    const int64_t fileBytes = formatContext->pb ? avio_size(formatContext->pb) : -1;
    const double plausible = fileBytes > 0 ? double(fileBytes) * maxSampleValuesPerFileByte : 0.0;
    const double expected = std::min({claimed, plausible, reservableSampleValues()});
    return expected >= 1.0 ? qsizetype(expected) : 0;
}

// ---------------------------------------------------------------- queries

int VideoDemuxer::getAudioSampleRate() const
{
    return audioCodecContext ? audioCodecContext->sample_rate : 0;
}

int VideoDemuxer::getAudioChannels() const
{
    return audioCodecContext ? audioCodecContext->ch_layout.nb_channels : 0;
}

int VideoDemuxer::getVideoWidth() const
{
    return videoCodecContext ? videoCodecContext->width : 0;
}

int VideoDemuxer::getVideoHeight() const
{
    return videoCodecContext ? videoCodecContext->height : 0;
}

double VideoDemuxer::getDuration() const
{
    if (!formatContext || formatContext->duration == AV_NOPTS_VALUE || formatContext->duration <= 0)
        return 0.0;
    return double(formatContext->duration) / AV_TIME_BASE;
}
