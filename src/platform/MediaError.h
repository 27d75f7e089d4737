#pragma once

#include "platform/Error.h"

// A failure of the media backend (open, decode, encode, write), described so
// that the file is named where there is one.
struct MediaError : Error {
    using Error::Error;
};

// The file opened but holds no audio stream.
struct NoAudioStream : MediaError {
    using MediaError::MediaError;
};
