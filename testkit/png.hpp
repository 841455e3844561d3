// A PNG file of an RGB picture, its pixels stored uncompressed: for tests
// that need an image in a format every reader takes.
#pragma once

#include <cstdint>
#include <string>

namespace testkit {

namespace png_detail {

inline std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        c ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

inline void put_u32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}

inline void chunk(std::string& out, const char* type, const std::string& data) {
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    out += typed;
    put_u32(out, crc32(typed));
}

}  // namespace png_detail

// `rgb`: 3 bytes a pixel, row by row from the top; at most 21 845 pixels a
// row.
inline std::string png_of(int width, int height, const std::string& rgb) {
    using namespace png_detail;
    std::string raw;  // each row after its filter byte 0
    for (int y = 0; y < height; ++y) raw += '\0' + rgb.substr(static_cast<std::size_t>(3 * width * y), 3 * width);
    // zlib: one stored deflate block per 65 535 bytes, then the Adler-32.
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z += raw.substr(at, n);
        if (raw.empty()) break;
    }
    std::uint32_t a = 1, b = 0;
    for (const char ch : raw) {
        a = (a + static_cast<unsigned char>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    put_u32(z, b << 16 | a);
    std::string header;
    put_u32(header, static_cast<std::uint32_t>(width));
    put_u32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    std::string out = "\x89PNG\r\n\x1a\n";
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", "");
    return out;
}

}  // namespace testkit
