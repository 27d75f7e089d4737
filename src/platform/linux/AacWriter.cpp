#include "platform/AacWriter.h"

#include "platform/MediaError.h"
#include "platform/linux/AvError.h"
#include "platform/linux/FFmpeg.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr int frameSize = 1024;
// Zero frames sent through the encoder before silent frames are copied, so that
// everything still inside the encoder (its look-ahead) is silence too.
constexpr int64_t warmFrames = 3;

AVCodecContext* openEncoder()
{
    const AVCodec* codec = FFmpeg::api().avcodec_find_encoder_by_name("aac");
    if (!codec)
        throw MediaError("no AAC encoder");
    AVCodecContext* ctx = FFmpeg::api().avcodec_alloc_context3(codec);
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ctx->sample_rate = AacWriter::sampleRate;
    ctx->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    ctx->bit_rate = AacWriter::bitRate;
    ctx->time_base = AVRational{1, AacWriter::sampleRate};
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int rc = FFmpeg::api().avcodec_open2(ctx, codec, nullptr); rc < 0) {
        FFmpeg::api().avcodec_free_context(&ctx);
        throw MediaError("cannot open the AAC encoder: " + avText(rc));
    }
    return ctx;
}

// One encoded frame of digital silence, made once per process by a separate
// encoder with the writers' settings: it decodes to 1024 zeros after silence.
const std::vector<uint8_t>& silentFrame()
{
    static std::once_flag once;
    static std::vector<uint8_t> packet;
    std::call_once(once, [] {
        const FFmpeg::Use use;
        AVCodecContext* ctx = openEncoder();
        AVFrame* frame = FFmpeg::api().av_frame_alloc();
        AVPacket* pkt = FFmpeg::api().av_packet_alloc();
        std::vector<std::vector<uint8_t>> packets;
        for (int i = 0; i <= 6; ++i) {
            if (i < 6) {
                FFmpeg::api().av_frame_unref(frame);
                frame->format = AV_SAMPLE_FMT_FLTP;
                frame->sample_rate = AacWriter::sampleRate;
                frame->ch_layout = AV_CHANNEL_LAYOUT_MONO;
                frame->nb_samples = frameSize;
                frame->pts = int64_t(i) * frameSize;
                FFmpeg::api().av_frame_get_buffer(frame, 0);
                std::memset(frame->data[0], 0, sizeof(float) * frameSize);
                FFmpeg::api().avcodec_send_frame(ctx, frame);
            } else {
                FFmpeg::api().avcodec_send_frame(ctx, nullptr);
            }
            while (FFmpeg::api().avcodec_receive_packet(ctx, pkt) == 0) {
                packets.emplace_back(pkt->data, pkt->data + pkt->size);
                FFmpeg::api().av_packet_unref(pkt);
            }
        }
        // A frame from the middle: neither the first nor the flushed last one.
        if (packets.size() >= 4)
            packet = packets[3];
        FFmpeg::api().av_packet_free(&pkt);
        FFmpeg::api().av_frame_free(&frame);
        FFmpeg::api().avcodec_free_context(&ctx);
    });
    return packet;
}

} // namespace

struct AacWriter::Impl {
    const FFmpeg::Use use; // first in, last out
    std::string path;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    std::vector<float> pending;
    int64_t inputPts = 0; // samples sent to the encoder
    int64_t shift = 0;    // samples of copied silent frames written so far
    int64_t lastPts = INT64_MIN;
    bool open = false;

    void fail(const std::string& what, int rc) { throw MediaError(what + " " + path + ": " + avText(rc)); }

    void writePacket(AVPacket* p)
    {
        p->stream_index = stream->index;
        FFmpeg::api().av_packet_rescale_ts(p, enc->time_base, stream->time_base);
        if (p->pts != AV_NOPTS_VALUE)
            lastPts = p->pts;
        if (const int rc = FFmpeg::api().av_write_frame(fmt, p); rc < 0)
            fail("cannot write", rc);
    }

    void drain()
    {
        for (;;) {
            const int rc = FFmpeg::api().avcodec_receive_packet(enc, pkt);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                fail("cannot encode", rc);
            pkt->pts += shift;
            pkt->dts += shift;
            writePacket(pkt);
            FFmpeg::api().av_packet_unref(pkt);
        }
    }

    void encode(const float* samples, int count)
    {
        FFmpeg::api().av_frame_unref(frame);
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = sampleRate;
        frame->ch_layout = AV_CHANNEL_LAYOUT_MONO;
        frame->nb_samples = count;
        frame->pts = inputPts;
        if (const int rc = FFmpeg::api().av_frame_get_buffer(frame, 0); rc < 0)
            fail("cannot encode", rc);
        std::memcpy(frame->data[0], samples, sizeof(float) * size_t(count));
        if (const int rc = FFmpeg::api().avcodec_send_frame(enc, frame); rc < 0)
            fail("cannot encode", rc);
        inputPts += count;
        drain();
    }

    void encodeWholeFrames()
    {
        size_t used = 0;
        while (pending.size() - used >= size_t(frameSize)) {
            encode(pending.data() + used, frameSize);
            used += frameSize;
        }
        pending.erase(pending.begin(), pending.begin() + ptrdiff_t(used));
    }

    void copySilentFrames(int64_t count)
    {
        const std::vector<uint8_t>& silent = silentFrame();
        if (silent.empty())
            throw MediaError("cannot encode silence");
        for (int64_t i = 0; i < count; ++i) {
            AVPacket* p = FFmpeg::api().av_packet_alloc();
            FFmpeg::api().av_new_packet(p, int(silent.size()));
            std::memcpy(p->data, silent.data(), silent.size());
            p->flags |= AV_PKT_FLAG_KEY;
            const int64_t pts = (lastPts == INT64_MIN
                                     ? -enc->initial_padding
                                     : FFmpeg::api().av_rescale_q(lastPts, stream->time_base, enc->time_base) + frameSize);
            p->pts = p->dts = pts;
            p->duration = frameSize;
            shift += frameSize;
            try {
                writePacket(p);
            } catch (...) {
                FFmpeg::api().av_packet_free(&p);
                throw;
            }
            FFmpeg::api().av_packet_free(&p);
        }
    }

    void release()
    {
        open = false;
        const FFmpeg::Api* ff = FFmpeg::loaded();
        if (!ff)
            return;
        if (fmt) {
            if (fmt->pb)
                ff->avio_closep(&fmt->pb);
            ff->avformat_free_context(fmt);
            fmt = nullptr;
        }
        ff->avcodec_free_context(&enc);
        ff->av_frame_free(&frame);
        ff->av_packet_free(&pkt);
    }
};

AacWriter::AacWriter(const std::string& path)
    : impl_(std::make_unique<Impl>())
{
    Impl& d = *impl_;
    d.path = path;
    // Owner-only like every file of ours; the muxer then reuses the empty file.
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw MediaError("cannot create " + path + ": " + std::strerror(errno));
    ::close(fd);
    try {
        if (const int rc = FFmpeg::api().avformat_alloc_output_context2(&d.fmt, nullptr, "ipod", path.c_str()); rc < 0)
            d.fail("cannot create", rc);
        d.enc = openEncoder();
        d.stream = FFmpeg::api().avformat_new_stream(d.fmt, nullptr);
        d.stream->time_base = AVRational{1, sampleRate};
        FFmpeg::api().avcodec_parameters_from_context(d.stream->codecpar, d.enc);
        if (const int rc = FFmpeg::api().avio_open(&d.fmt->pb, path.c_str(), AVIO_FLAG_WRITE); rc < 0)
            d.fail("cannot create", rc);
        // Fragments of about one second, each flushed to disk as it is finished.
        d.fmt->flags |= AVFMT_FLAG_FLUSH_PACKETS;
        AVDictionary* opts = nullptr;
        FFmpeg::api().av_dict_set(&opts, "movflags", "empty_moov+delay_moov+default_base_moof", 0);
        FFmpeg::api().av_dict_set(&opts, "frag_duration", "1000000", 0);
        FFmpeg::api().av_dict_set(&opts, "use_editlist", "1", 0);
        const int rc = FFmpeg::api().avformat_write_header(d.fmt, &opts);
        FFmpeg::api().av_dict_free(&opts);
        if (rc < 0)
            d.fail("cannot create", rc);
        FFmpeg::api().avio_flush(d.fmt->pb);
        d.frame = FFmpeg::api().av_frame_alloc();
        d.pkt = FFmpeg::api().av_packet_alloc();
        d.open = true;
    } catch (...) {
        d.release();
        throw;
    }
}

AacWriter::~AacWriter()
{
    try {
        close();
    } catch (const MediaError&) {
    }
}

void AacWriter::append(const float* samples, int64_t count)
{
    Impl& d = *impl_;
    if (!d.open)
        throw MediaError("cannot write " + d.path + ": closed");
    if (count <= 0)
        return;
    d.pending.insert(d.pending.end(), samples, samples + count);
    d.encodeWholeFrames();
}

void AacWriter::appendSilence(int64_t count)
{
    Impl& d = *impl_;
    if (!d.open)
        throw MediaError("cannot write " + d.path + ": closed");
    if (count <= 0)
        return;
    // Complete the open frame with zeros first.
    if (!d.pending.empty()) {
        const int64_t fill = std::min<int64_t>(count, frameSize - int64_t(d.pending.size()));
        d.pending.insert(d.pending.end(), size_t(fill), 0.0f);
        count -= fill;
        d.encodeWholeFrames();
    }
    const int64_t whole = count / frameSize;
    const int64_t encoded = std::min(whole, warmFrames);
    static const std::vector<float> zeros(frameSize, 0.0f);
    for (int64_t i = 0; i < encoded; ++i)
        d.encode(zeros.data(), frameSize);
    d.copySilentFrames(whole - encoded);
    d.pending.insert(d.pending.end(), size_t(count - whole * frameSize), 0.0f);
}

void AacWriter::flush()
{
    Impl& d = *impl_;
    if (!d.open || d.lastPts == INT64_MIN)
        return;
    // The muxer's first forced flush writes only the header held back so far;
    // the second writes the samples.
    for (int i = 0; i < 2; ++i) {
        if (const int rc = FFmpeg::api().av_write_frame(d.fmt, nullptr); rc < 0)
            d.fail("cannot write", rc);
    }
    FFmpeg::api().avio_flush(d.fmt->pb);
    if (d.fmt->pb->error < 0)
        d.fail("cannot write", d.fmt->pb->error);
}

void AacWriter::close()
{
    Impl& d = *impl_;
    if (!d.open)
        return;
    try {
        if (!d.pending.empty()) {
            d.encode(d.pending.data(), int(d.pending.size()));
            d.pending.clear();
        }
        if (const int rc = FFmpeg::api().avcodec_send_frame(d.enc, nullptr); rc < 0)
            d.fail("cannot encode", rc);
        d.drain();
        if (const int rc = FFmpeg::api().av_write_trailer(d.fmt); rc < 0)
            d.fail("cannot finish", rc);
    } catch (...) {
        d.release();
        throw;
    }
    d.release();
}
