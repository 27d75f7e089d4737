#pragma once

#include "platform/linux/FFmpeg.h"

#include <string>

// FFmpeg's text for one of its error codes.
inline std::string avText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    FFmpeg::api().av_strerror(code, text, sizeof text);
    return text;
}
