#pragma once

#include <cstddef>

namespace FileIO {
// Writes all `size` bytes to the descriptor, retrying short and interrupted
// writes; false when the descriptor refuses more.
bool writeAll(int fd, const char* data, std::size_t size);
} // namespace FileIO
