// An output file that appears whole or not at all: the text goes to a
// temporary file in the same directory, through a large buffer, and is
// renamed onto the final name only when every write and the close succeeded.
// On failure, or when the object is destroyed before commit, the temporary
// is removed and an older file of that name stays as it was.
//
// When the name is a symbolic link, the file it points to is replaced, in
// that file's own directory, and the link stays. The temporary is called
// "tessvert-<pid>-<n>.tmp", short enough to fit wherever the final name
// fits; it is recorded among the live temporaries (live_temporaries.hpp)
// while it exists. A new file gets mode 0666 less the umask; a replaced
// file keeps its permission bits.
//
// A name (or a link's final target) that is a FIFO or a character device
// is written in place, with no temporary and no rename: a reader of the
// pipe gets the text, and a device node such as /dev/null stays a device.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include <sys/stat.h>

namespace tessvert {

struct output_file {
    std::string path;         // the name as given, for messages
    bool opened = false;      // open_output succeeded
    int dir_fd = -1;          // the directory of the file that is replaced
    std::string target_name;  // that file's name in it, symbolic links followed
    std::string temp_name;    // the temporary's name in it; empty when there is none
    bool in_place = false;    // a FIFO or a character device, written directly
    int live_entry = -1;      // the temporary's entry among the live temporaries
    int fd = -1;
    // Text not written yet, in memory that is taken when the first text is
    // put in it (none for text written straight with write_output).
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    bool write_failed = false;
    int error = 0;  // errno of the first call that failed (open, write, close, rename); 0 if none

    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file();
};

// The file that writing `path` writes: the path itself, or where its chain
// of symbolic links ends (a file that may not exist yet), relative links
// taken from the folder of the link.
std::string follow_links(const std::string& path);

// Whether an existing file of this mode is written in place: a FIFO or a
// character device.
inline bool writes_in_place(unsigned mode) {
    return S_ISFIFO(mode) || S_ISCHR(mode);
}

// Creates the temporary file for `path`; false (with `error` set) when it
// cannot be created.
bool open_output(output_file& out, const std::string& path);

// Removes the temporary, if any, and forgets what was written: `out` is
// as before open_output, which may open it again.
void discard_output(output_file& out);

// The size of an output's buffer: few write calls for big scenes.
#ifdef TESSVERT_SMALL_IO_BUFFERS
inline constexpr std::size_t output_buffer_size = std::size_t{1} << 16;
#else
inline constexpr std::size_t output_buffer_size = std::size_t{1} << 20;
#endif

// Writes the buffer out; afterwards it is empty.
void flush_output(output_file& out);

// Writes the buffer out, and takes its memory if it has none.
void make_output_room(output_file& out);

// Writes the buffer out, then `n` bytes from `data` straight to the file,
// without copying them. After a failed write nothing more is written.
void write_output(output_file& out, const char* data, std::size_t n);

// Room for at least `n` more bytes at buffer.get() + used; n must not
// exceed output_buffer_size.
inline char* reserve_output(output_file& out, std::size_t n) {
    if (out.buffer == nullptr || output_buffer_size - out.used < n) make_output_room(out);
    return out.buffer.get() + out.used;
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
        std::size_t n = std::min(text.size() - at, output_buffer_size);
        put_text(out, text.data() + at, n);
        at += n;
    }
}

// Flushes and closes the temporary, leaving it to be renamed. False when any
// write or the close failed; the temporary is then removed.
bool finish_output(output_file& out);

// Finishes the output if that is not done yet, then renames the temporary
// onto the final name. False when the output was not opened, or when any
// write, the close or the rename failed; the temporary is then removed.
bool commit_output(output_file& out);

// As commit_output, but never replaces a file: false (error EEXIST) when a
// file of the final name appeared since it was chosen.
bool commit_output_as_new(output_file& out);

}  // namespace tessvert
