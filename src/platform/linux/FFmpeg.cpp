#include "platform/linux/FFmpeg.h"

#include "platform/MediaError.h"

#include <dlfcn.h>
#include <mutex>
#include <string>

namespace FFmpeg {

namespace {

// The library of one major version, as the headers built against name it.
void* open(const char* name, int major)
{
    const std::string file = std::string("lib") + name + ".so." + std::to_string(major);
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle)
        throw MediaError(QStringLiteral("FFmpeg could not be loaded: ") + QString::fromLocal8Bit(::dlerror()));
    return handle;
}

template <typename F>
void get(F& function, void* library, const char* name)
{
    function = reinterpret_cast<F>(::dlsym(library, name));
    if (!function)
        throw MediaError(QStringLiteral("FFmpeg lacks ") + QLatin1String(name));
}

} // namespace

namespace {

Api a;
std::mutex mutex;
bool done = false;

} // namespace

const Api* loaded()
{
    const std::lock_guard lock(mutex);
    return done ? &a : nullptr;
}

const Api& api()
{
    const std::lock_guard lock(mutex);
    if (done)
        return a;
    {
        void* const avutil = open("avutil", LIBAVUTIL_VERSION_MAJOR);
        void* const avcodec = open("avcodec", LIBAVCODEC_VERSION_MAJOR);
        void* const avformat = open("avformat", LIBAVFORMAT_VERSION_MAJOR);
        void* const swresample = open("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
        get(a.av_dict_free, avutil, "av_dict_free");
        get(a.av_dict_set, avutil, "av_dict_set");
        get(a.av_frame_alloc, avutil, "av_frame_alloc");
        get(a.av_frame_free, avutil, "av_frame_free");
        get(a.av_frame_get_buffer, avutil, "av_frame_get_buffer");
        get(a.av_frame_unref, avutil, "av_frame_unref");
        get(a.av_log_set_level, avutil, "av_log_set_level");
        get(a.av_rescale_q, avutil, "av_rescale_q");
        get(a.av_strerror, avutil, "av_strerror");
        get(a.av_new_packet, avcodec, "av_new_packet");
        get(a.av_packet_alloc, avcodec, "av_packet_alloc");
        get(a.av_packet_free, avcodec, "av_packet_free");
        get(a.av_packet_rescale_ts, avcodec, "av_packet_rescale_ts");
        get(a.av_packet_unref, avcodec, "av_packet_unref");
        get(a.avcodec_alloc_context3, avcodec, "avcodec_alloc_context3");
        get(a.avcodec_find_decoder, avcodec, "avcodec_find_decoder");
        get(a.avcodec_find_encoder_by_name, avcodec, "avcodec_find_encoder_by_name");
        get(a.avcodec_free_context, avcodec, "avcodec_free_context");
        get(a.avcodec_open2, avcodec, "avcodec_open2");
        get(a.avcodec_parameters_from_context, avcodec, "avcodec_parameters_from_context");
        get(a.avcodec_parameters_to_context, avcodec, "avcodec_parameters_to_context");
        get(a.avcodec_receive_frame, avcodec, "avcodec_receive_frame");
        get(a.avcodec_receive_packet, avcodec, "avcodec_receive_packet");
        get(a.avcodec_send_frame, avcodec, "avcodec_send_frame");
        get(a.avcodec_send_packet, avcodec, "avcodec_send_packet");
        get(a.av_find_best_stream, avformat, "av_find_best_stream");
        get(a.av_read_frame, avformat, "av_read_frame");
        get(a.av_write_frame, avformat, "av_write_frame");
        get(a.av_write_trailer, avformat, "av_write_trailer");
        get(a.avformat_alloc_output_context2, avformat, "avformat_alloc_output_context2");
        get(a.avformat_close_input, avformat, "avformat_close_input");
        get(a.avformat_find_stream_info, avformat, "avformat_find_stream_info");
        get(a.avformat_free_context, avformat, "avformat_free_context");
        get(a.avformat_new_stream, avformat, "avformat_new_stream");
        get(a.avformat_open_input, avformat, "avformat_open_input");
        get(a.avformat_write_header, avformat, "avformat_write_header");
        get(a.avio_closep, avformat, "avio_closep");
        get(a.avio_flush, avformat, "avio_flush");
        get(a.avio_open, avformat, "avio_open");
        get(a.swr_alloc_set_opts2, swresample, "swr_alloc_set_opts2");
        get(a.swr_convert, swresample, "swr_convert");
        get(a.swr_free, swresample, "swr_free");
        get(a.swr_get_out_samples, swresample, "swr_get_out_samples");
        get(a.swr_init, swresample, "swr_init");
    }
    // A load that failed threw above, and the next call tries again.
    done = true;
    return a;
}

} // namespace FFmpeg
