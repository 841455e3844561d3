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
    // Bytes in memory to read instead of a file (open_byte_buffer), and how
    // many of them the buffer has taken.
    bool from_memory = false;
    const unsigned char* memory = nullptr;
    std::size_t memory_size = 0;
    std::size_t memory_taken = 0;
    std::vector<unsigned char> buffer;
    std::size_t pos = 0;
    std::size_t end = 0;
    // Set once a read delivered fewer bytes than asked: the file ended
    // early, the limit was reached, or a read failed. Every level of the
    // descent stops when it is set.
    bool ended = false;
    // The errno of the read() that failed (an I/O error, not the end of the
    // file); 0 while none did.
    int error = 0;
    // How many more bytes the stream may take from the file; the stream ends
    // there as at the end of the file, and never reads ahead past it.
    std::uint64_t allowed = UINT64_MAX;
    // Set when the stream ended at `allowed` rather than at the file's end.
    bool limit_reached = false;
    // Bytes delivered so far, skipped ones included.
    std::uint64_t delivered = 0;
};

// Opens `path` for reading; false when it cannot be opened, with `error`
// holding the errno of the failed open.
bool open_byte_stream(byte_stream& s, const std::string& path);
// Reads the `size` bytes at `data`, which stay there while it is read, as
// if they were a file's.
void open_byte_buffer(byte_stream& s, const unsigned char* data, std::size_t size);
void close_byte_stream(byte_stream& s);

// From now on at most `n` more bytes are delivered, those already buffered
// included.
void limit_byte_stream(byte_stream& s, std::uint64_t n);

// Reads up to `n` bytes into `dst` (or discards them when `dst` is null) and
// returns how many were delivered; fewer than `n` sets `ended`.
std::uint32_t read_bytes(byte_stream& s, void* dst, std::uint32_t n);

}  // namespace tessvert
