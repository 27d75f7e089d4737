#include "platform/AudioReader.h"

#include "platform/MediaError.h"
#include "platform/linux/AvError.h"
#include "platform/linux/FFmpeg.h"

#include <algorithm>
#include <cstring>

namespace {

// Opens the container and finds its first audio stream; throws MediaError.
AVFormatContext* openInput(const std::string& path, int& streamIndex)
{
    AVFormatContext* fmt = nullptr;
    if (const int rc = FFmpeg::api().avformat_open_input(&fmt, path.c_str(), nullptr, nullptr); rc < 0)
        throw MediaError("cannot open " + path + ": " + avText(rc));
    if (const int rc = FFmpeg::api().avformat_find_stream_info(fmt, nullptr); rc < 0) {
        FFmpeg::api().avformat_close_input(&fmt);
        throw MediaError("cannot read " + path + ": " + avText(rc));
    }
    streamIndex = FFmpeg::api().av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (streamIndex < 0) {
        FFmpeg::api().avformat_close_input(&fmt);
        throw NoAudioStream("no audio in " + path);
    }
    return fmt;
}

} // namespace

struct AudioReader::Impl {
    const FFmpeg::Use use; // first in, last out
    std::string path;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool flushed = false;
    bool ended = false;

    ~Impl()
    {
        const FFmpeg::Api* ff = FFmpeg::loaded();
        if (!ff)
            return;
        ff->swr_free(&swr);
        ff->av_frame_free(&frame);
        ff->av_packet_free(&pkt);
        ff->avcodec_free_context(&dec);
        ff->avformat_close_input(&fmt);
    }

    // Next packet of our stream to the decoder; false once the input has ended.
    // A read error past the first packets is where a cut-off file ends.
    bool feed()
    {
        for (;;) {
            const int rc = FFmpeg::api().av_read_frame(fmt, pkt);
            if (rc < 0) {
                if (!flushed) {
                    flushed = true;
                    FFmpeg::api().avcodec_send_packet(dec, nullptr);
                    return true;
                }
                return false;
            }
            if (pkt->stream_index != stream) {
                FFmpeg::api().av_packet_unref(pkt);
                continue;
            }
            const int sent = FFmpeg::api().avcodec_send_packet(dec, pkt);
            FFmpeg::api().av_packet_unref(pkt);
            // A damaged packet is skipped rather than ending the stream.
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
                throw MediaError("cannot decode " + path + ": " + avText(sent));
            return true;
        }
    }
};

AudioReader::AudioReader(const std::string& path)
    : impl_(std::make_unique<Impl>())
{
    Impl& d = *impl_;
    d.path = path;
    d.fmt = openInput(path, d.stream);
    const AVCodecParameters* par = d.fmt->streams[d.stream]->codecpar;
    const AVCodec* codec = FFmpeg::api().avcodec_find_decoder(par->codec_id);
    if (!codec)
        throw MediaError("no decoder for " + path);
    d.dec = FFmpeg::api().avcodec_alloc_context3(codec);
    FFmpeg::api().avcodec_parameters_to_context(d.dec, par);
    if (const int rc = FFmpeg::api().avcodec_open2(d.dec, codec, nullptr); rc < 0)
        throw MediaError("cannot decode " + path + ": " + avText(rc));
    if (d.dec->sample_rate <= 0 || d.dec->ch_layout.nb_channels <= 0)
        throw MediaError("no audio format in " + path);
    d.pkt = FFmpeg::api().av_packet_alloc();
    d.frame = FFmpeg::api().av_frame_alloc();
}

AudioReader::~AudioReader() = default;

double AudioReader::sampleRate() const
{
    return impl_->dec->sample_rate;
}
int AudioReader::channels() const
{
    return impl_->dec->ch_layout.nb_channels;
}
std::string AudioReader::codec() const
{
    return impl_->dec->codec ? impl_->dec->codec->name : "";
}

bool AudioReader::read(PcmBuffer& block)
{
    Impl& d = *impl_;
    block.sampleRate = sampleRate();
    block.channels = channels();
    block.samples.clear();
    while (!d.ended) {
        const int rc = FFmpeg::api().avcodec_receive_frame(d.dec, d.frame);
        if (rc == AVERROR(EAGAIN)) {
            if (!d.feed())
                d.ended = true;
            continue;
        }
        if (rc == AVERROR_EOF) {
            d.ended = true;
            break;
        }
        if (rc < 0)
            throw MediaError("cannot decode " + d.path + ": " + avText(rc));
        const int count = d.frame->nb_samples;
        const int ch = d.frame->ch_layout.nb_channels;
        if (count <= 0 || ch != block.channels) {
            FFmpeg::api().av_frame_unref(d.frame);
            continue;
        }
        // Encoder priming sits before time 0 (the edit list says so): drop it.
        int skip = 0;
        if (d.frame->pts != AV_NOPTS_VALUE && d.frame->pts < 0) {
            const AVRational tb = d.fmt->streams[d.stream]->time_base;
            skip = int(std::min<int64_t>(count, FFmpeg::api().av_rescale_q(-d.frame->pts, tb, AVRational{1, d.frame->sample_rate})));
        }
        block.samples.resize(size_t(count) * size_t(ch));
        const auto format = AVSampleFormat(d.frame->format);
        if (format == AV_SAMPLE_FMT_FLTP || (format == AV_SAMPLE_FMT_FLT && ch == 1)) {
            // The common case (AAC): copy planes without a converter.
            for (int c = 0; c < ch; ++c) {
                const auto* plane = reinterpret_cast<const float*>(d.frame->extended_data[c]);
                if (ch == 1) {
                    std::memcpy(block.samples.data(), plane, sizeof(float) * size_t(count));
                } else {
                    for (int i = 0; i < count; ++i)
                        block.samples[size_t(i) * ch + c] = plane[i];
                }
            }
        } else {
            if (!d.swr) {
                if (FFmpeg::api().swr_alloc_set_opts2(&d.swr, &d.frame->ch_layout, AV_SAMPLE_FMT_FLT, d.frame->sample_rate,
                                        &d.frame->ch_layout, format, d.frame->sample_rate, 0, nullptr)
                        < 0
                    || FFmpeg::api().swr_init(d.swr) < 0)
                    throw MediaError("cannot convert the samples of " + d.path);
            }
            auto* out = reinterpret_cast<uint8_t*>(block.samples.data());
            const int got = FFmpeg::api().swr_convert(d.swr, &out, count, const_cast<const uint8_t**>(d.frame->extended_data), count);
            if (got < 0)
                throw MediaError("cannot convert the samples of " + d.path);
            block.samples.resize(size_t(got) * size_t(ch));
        }
        FFmpeg::api().av_frame_unref(d.frame);
        block.samples.erase(block.samples.begin(),
                            block.samples.begin()
                                + std::min<ptrdiff_t>(ptrdiff_t(skip) * ch, ptrdiff_t(block.samples.size())));
        if (!block.samples.empty())
            return true;
    }
    return false;
}

double AudioReader::duration(const std::string& path)
{
    const FFmpeg::Use use;
    int stream = -1;
    AVFormatContext* fmt = nullptr;
    try {
        fmt = openInput(path, stream);
    } catch (const MediaError&) {
        return 0;
    }
    // The packets' time stamps, read without decoding: a fragmented file's header
    // holds no length, and a cut-off one has no index at all.
    const AVStream* st = fmt->streams[stream];
    AVPacket* pkt = FFmpeg::api().av_packet_alloc();
    int64_t first = AV_NOPTS_VALUE;
    int64_t last = AV_NOPTS_VALUE;
    while (FFmpeg::api().av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == stream && pkt->pts != AV_NOPTS_VALUE) {
            const int64_t end = pkt->pts + std::max<int64_t>(pkt->duration, 0);
            first = first == AV_NOPTS_VALUE ? pkt->pts : std::min(first, pkt->pts);
            last = last == AV_NOPTS_VALUE ? end : std::max(last, end);
        }
        FFmpeg::api().av_packet_unref(pkt);
    }
    FFmpeg::api().av_packet_free(&pkt);
    double seconds = 0;
    if (first != AV_NOPTS_VALUE) {
        // Encoder priming before time 0 is not part of the sound.
        const int64_t start = std::max<int64_t>(first, st->start_time == AV_NOPTS_VALUE ? first : st->start_time);
        seconds = double(last - std::max<int64_t>(start, 0)) * av_q2d(st->time_base);
    }
    FFmpeg::api().avformat_close_input(&fmt);
    return std::max(seconds, 0.0);
}
