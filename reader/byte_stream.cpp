#include "reader/byte_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tessvert {

namespace {

#ifdef TESSVERT_SMALL_IO_BUFFERS
constexpr std::size_t block_size = 1 << 12;
#else
constexpr std::size_t block_size = 1 << 18;
#endif

// Refills the buffer; false at end of file or on a read error.
bool refill(byte_stream& s) {
    for (;;) {
        ssize_t got = ::read(s.fd, s.buffer.data(), s.buffer.size());
        if (got > 0) {
            s.pos = 0;
            s.end = static_cast<std::size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        return false;
    }
}

}  // namespace

bool open_byte_stream(byte_stream& s, const std::string& path) {
    s.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (s.fd < 0) return false;
    s.buffer.resize(block_size);
    s.pos = s.end = 0;
    s.ended = false;
    return true;
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
    return delivered;
}

}  // namespace tessvert
