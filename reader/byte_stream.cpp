#include "reader/byte_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessvert {

namespace {

#ifdef TESSVERT_SMALL_IO_BUFFERS
constexpr std::size_t block_size = 1 << 12;
#else
constexpr std::size_t block_size = 1 << 18;
#endif

// Whether the input has bytes left after what was read of it. A regular
// file says so by its size. A pipe or a terminal is asked without reading
// and without waiting: it has ended only when it holds nothing more and
// its writer is gone; bytes waiting, or a writer that may still write, go on.
bool file_goes_on(const byte_stream& s) {
    if (s.from_memory) return s.memory_taken < s.memory_size;
    struct stat st {};
    if (::fstat(s.fd, &st) != 0) return false;
    if (S_ISREG(st.st_mode)) {
        const off_t at = ::lseek(s.fd, 0, SEEK_CUR);
        return at >= 0 && at < st.st_size;
    }
    pollfd p{s.fd, POLLIN, 0};
    if (::poll(&p, 1, 0) != 1) return true;
    return (p.revents & POLLIN) != 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

// Refills the buffer with at most `allowed` bytes; false at the limit, at
// end of file or on a read error (whose errno is kept).
bool refill(byte_stream& s) {
    if (s.allowed == 0) {
        // A file that ends right there ended, whatever the limit.
        s.limit_reached = file_goes_on(s);
        return false;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(s.buffer.size(), s.allowed));
    if (s.from_memory) {
        const std::size_t got = std::min(want, s.memory_size - s.memory_taken);
        if (got == 0) return false;
        std::memcpy(s.buffer.data(), s.memory + s.memory_taken, got);
        s.memory_taken += got;
        s.pos = 0;
        s.end = got;
        s.allowed -= got;
        return true;
    }
    for (;;) {
        ssize_t got = ::read(s.fd, s.buffer.data(), want);
        if (got > 0) {
            s.pos = 0;
            s.end = static_cast<std::size_t>(got);
            s.allowed -= static_cast<std::uint64_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) s.error = errno;
        return false;
    }
}

}  // namespace

bool open_byte_stream(byte_stream& s, const std::string& path) {
    s.from_memory = false;
    s.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    s.error = s.fd < 0 ? errno : 0;
    if (s.fd < 0) return false;
    s.buffer.resize(block_size);
    s.pos = s.end = 0;
    s.ended = false;
    s.allowed = UINT64_MAX;
    s.limit_reached = false;
    s.delivered = 0;
    return true;
}

void open_byte_buffer(byte_stream& s, const unsigned char* data, std::size_t size) {
    s.fd = -1;
    s.from_memory = true;
    s.memory = data;
    s.memory_size = size;
    s.memory_taken = 0;
    s.error = 0;
    s.buffer.resize(block_size);
    s.pos = s.end = 0;
    s.ended = false;
    s.allowed = UINT64_MAX;
    s.limit_reached = false;
}

void limit_byte_stream(byte_stream& s, std::uint64_t n) {
    const std::size_t buffered = s.end - s.pos;
    if (n < buffered) {
        s.end = s.pos + static_cast<std::size_t>(n);
        s.allowed = 0;
    } else {
        s.allowed = n - buffered;
    }
}

void close_byte_stream(byte_stream& s) {
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
}

std::uint32_t read_bytes(byte_stream& s, void* dst, std::uint32_t n) {
    auto* out = static_cast<unsigned char*>(dst);
    std::uint32_t delivered = 0;
    while (delivered < n) {
        if (s.pos == s.end && (s.ended || !refill(s))) {
            s.ended = true;
            break;
        }
        std::size_t take = std::min<std::size_t>(n - delivered, s.end - s.pos);
        if (out) std::memcpy(out + delivered, s.buffer.data() + s.pos, take);
        s.pos += take;
        delivered += static_cast<std::uint32_t>(take);
    }
    s.delivered += delivered;
    return delivered;
}

}  // namespace tessvert
