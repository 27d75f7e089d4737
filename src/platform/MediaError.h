#pragma once

#include <stdexcept>

// A failure of the media backend (open, decode, encode, write); what() is a
// readable description that names the file where there is one.
struct MediaError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file opened but holds no audio stream.
struct NoAudioStream : MediaError {
    using MediaError::MediaError;
};
