#pragma once

#include <string>

extern "C" {
#include <libavutil/error.h>
}

// FFmpeg's text for one of its error codes.
inline std::string avText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}
