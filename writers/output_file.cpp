#include "writers/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace tessvert {

namespace {

#ifdef TESSVERT_SMALL_IO_BUFFERS
constexpr std::size_t buffer_size = 1 << 16;
#else
constexpr std::size_t buffer_size = 1 << 20;  // few write calls for big scenes
#endif

void discard_temp(output_file& out) {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    if (!out.temp_path.empty()) ::unlink(out.temp_path.c_str());
    out.temp_path.clear();
}

}  // namespace

output_file::~output_file() {
    discard_temp(*this);
}

bool open_output(output_file& out, const std::string& path) {
    out.path = path;
    out.used = 0;
    out.write_failed = false;
    // A name of this process's own, so that concurrent runs and a temporary
    // left by a killed run never collide with this one.
    std::string stem = path + ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + std::to_string(attempt);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            out.fd = fd;
            out.temp_path = candidate;
            out.buffer.resize(buffer_size);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

void flush_output(output_file& out) {
    const char* p = out.buffer.data();
    std::size_t left = out.used;
    out.used = 0;
    while (left > 0 && !out.write_failed) {
        ssize_t n = ::write(out.fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            out.write_failed = true;  // the rest of the text is dropped
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

bool commit_output(output_file& out) {
    flush_output(out);
    bool ok = !out.write_failed;
    if (::close(out.fd) != 0) ok = false;
    out.fd = -1;
    if (ok && ::rename(out.temp_path.c_str(), out.path.c_str()) != 0) ok = false;
    if (ok)
        out.temp_path.clear();
    else
        discard_temp(out);
    return ok;
}

}  // namespace tessvert
