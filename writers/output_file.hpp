// An output file that appears whole or not at all: the text goes to a
// temporary file in the same directory, through a large buffer, and is
// renamed onto the final name only when every write and the close succeeded.
// On failure, or when the object is destroyed before commit, the temporary
// is removed and an older file of that name stays as it was.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace tessvert {

struct output_file {
    std::string path;
    std::string temp_path;
    int fd = -1;
    std::vector<char> buffer;
    std::size_t used = 0;
    bool write_failed = false;

    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file();
};

// Creates the temporary file for `path`; false when it cannot be created.
bool open_output(output_file& out, const std::string& path);

// Writes the buffer out; afterwards it is empty.
void flush_output(output_file& out);

// Room for at least `n` more bytes at buffer.data() + used; n must not
// exceed the buffer's size.
inline char* reserve_output(output_file& out, std::size_t n) {
    if (out.buffer.size() - out.used < n) flush_output(out);
    return out.buffer.data() + out.used;
}

inline void put_text(output_file& out, const char* text, std::size_t n) {
    std::memcpy(reserve_output(out, n), text, n);
    out.used += n;
}

template <std::size_t N>
inline void put_text(output_file& out, const char (&text)[N]) {
    put_text(out, text, N - 1);
}

inline void put_text(output_file& out, const std::string& text) {
    // Long texts (a very long -o value) go through the buffer in pieces.
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = std::min(text.size() - at, out.buffer.size());
        put_text(out, text.data() + at, n);
        at += n;
    }
}

// Flushes, closes and renames onto the final name. False when any write, the
// close or the rename failed; the temporary is then removed.
bool commit_output(output_file& out);

}  // namespace tessvert
