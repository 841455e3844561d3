// Sequential, buffered reading of the input file. Nothing seeks: bytes are
// read front to back, and skipped bytes are read and discarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessvert {

struct byte_stream {
    int fd = -1;
    std::vector<unsigned char> buffer;
    std::size_t pos = 0;
    std::size_t end = 0;
    // Set once a read delivered fewer bytes than asked: the file ended
    // early (or could not be read further). Every level of the descent
    // stops when it is set.
    bool ended = false;
};

// Opens `path` for reading; false when it cannot be opened.
bool open_byte_stream(byte_stream& s, const std::string& path);
void close_byte_stream(byte_stream& s);

// Reads up to `n` bytes into `dst` (or discards them when `dst` is null) and
// returns how many were delivered; fewer than `n` sets `ended`.
std::uint32_t read_bytes(byte_stream& s, void* dst, std::uint32_t n);

}  // namespace tessvert
