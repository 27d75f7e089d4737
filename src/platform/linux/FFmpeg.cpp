#include "platform/linux/FFmpeg.h"

#include "platform/MediaError.h"

#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

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
int users = 0;
// In the order they were opened; closed the other way round.
std::vector<void*> libraries;

void unload()
{
    a = Api{};
    done = false;
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it)
        ::dlclose(*it);
    libraries.clear();
}

void load()
{
    if (done)
        return;
    try {
        libraries.push_back(open("avutil", LIBAVUTIL_VERSION_MAJOR));
        libraries.push_back(open("avcodec", LIBAVCODEC_VERSION_MAJOR));
        libraries.push_back(open("avformat", LIBAVFORMAT_VERSION_MAJOR));
        libraries.push_back(open("swresample", LIBSWRESAMPLE_VERSION_MAJOR));
        void* const avutil = libraries[0];
        void* const avcodec = libraries[1];
        void* const avformat = libraries[2];
        void* const swresample = libraries[3];
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
    } catch (...) {
        // The next use tries again.
        unload();
        throw;
    }
    done = true;
    // The encoder's statistics lines are noise on a user's terminal.
    a.av_log_set_level(AV_LOG_ERROR);
}

} // namespace

Use::Use()
{
    const std::lock_guard lock(mutex);
    load();
    ++users;
}

Use::~Use()
{
    const std::lock_guard lock(mutex);
    if (--users == 0)
        unload();
}

const Api* loaded()
{
    const std::lock_guard lock(mutex);
    return done ? &a : nullptr;
}

const Api& api()
{
    const std::lock_guard lock(mutex);
    // Called without a Use it loads for good, as before; every caller has one.
    load();
    return a;
}

} // namespace FFmpeg
