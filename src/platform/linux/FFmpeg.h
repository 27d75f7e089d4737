#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

// FFmpeg's libraries, opened on first use. Linked into the program they would
// load at every start, and with them a hundred more (every format, protocol
// and codec they know), for a run that may record nothing. The functions the
// audio code calls, by their own names and types.
namespace FFmpeg {

#define ZELVAN_FFMPEG(name) decltype(&::name) name = nullptr
struct Api {
    ZELVAN_FFMPEG(av_dict_free);
    ZELVAN_FFMPEG(av_dict_set);
    ZELVAN_FFMPEG(av_frame_alloc);
    ZELVAN_FFMPEG(av_frame_free);
    ZELVAN_FFMPEG(av_frame_get_buffer);
    ZELVAN_FFMPEG(av_frame_unref);
    ZELVAN_FFMPEG(av_log_set_level);
    ZELVAN_FFMPEG(av_rescale_q);
    ZELVAN_FFMPEG(av_strerror);
    ZELVAN_FFMPEG(av_new_packet);
    ZELVAN_FFMPEG(av_packet_alloc);
    ZELVAN_FFMPEG(av_packet_free);
    ZELVAN_FFMPEG(av_packet_rescale_ts);
    ZELVAN_FFMPEG(av_packet_unref);
    ZELVAN_FFMPEG(avcodec_alloc_context3);
    ZELVAN_FFMPEG(avcodec_find_decoder);
    ZELVAN_FFMPEG(avcodec_find_encoder_by_name);
    ZELVAN_FFMPEG(avcodec_free_context);
    ZELVAN_FFMPEG(avcodec_open2);
    ZELVAN_FFMPEG(avcodec_parameters_from_context);
    ZELVAN_FFMPEG(avcodec_parameters_to_context);
    ZELVAN_FFMPEG(avcodec_receive_frame);
    ZELVAN_FFMPEG(avcodec_receive_packet);
    ZELVAN_FFMPEG(avcodec_send_frame);
    ZELVAN_FFMPEG(avcodec_send_packet);
    ZELVAN_FFMPEG(av_find_best_stream);
    ZELVAN_FFMPEG(av_read_frame);
    ZELVAN_FFMPEG(av_write_frame);
    ZELVAN_FFMPEG(av_write_trailer);
    ZELVAN_FFMPEG(avformat_alloc_output_context2);
    ZELVAN_FFMPEG(avformat_close_input);
    ZELVAN_FFMPEG(avformat_find_stream_info);
    ZELVAN_FFMPEG(avformat_free_context);
    ZELVAN_FFMPEG(avformat_new_stream);
    ZELVAN_FFMPEG(avformat_open_input);
    ZELVAN_FFMPEG(avformat_write_header);
    ZELVAN_FFMPEG(avio_closep);
    ZELVAN_FFMPEG(avio_flush);
    ZELVAN_FFMPEG(avio_open);
    ZELVAN_FFMPEG(swr_alloc_set_opts2);
    ZELVAN_FFMPEG(swr_convert);
    ZELVAN_FFMPEG(swr_free);
    ZELVAN_FFMPEG(swr_get_out_samples);
    ZELVAN_FFMPEG(swr_init);
};
#undef ZELVAN_FFMPEG

// Keeps the libraries loaded while it lives, loading them if need be (throws
// MediaError when one of them or a function cannot be had); when the last one
// goes they are unloaded. Everything that holds FFmpeg's objects, or calls it,
// holds one: after a recording the libraries would otherwise stay for good.
class Use {
public:
    Use();
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
};

// The functions, while some Use lives.
const Api& api();
// The same once loaded, else null: for clean-up, where nothing was made before.
const Api* loaded();

} // namespace FFmpeg
