// The test image of texture maps, and names for the colours seen where it
// is rendered: 16 x 16 pixels of four coloured quarters, from the top left
// red, green; below them blue, yellow. Any flip or turn of it shows.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace testkit {

// The image's pixels, 3 bytes each, row by row from the top.
inline std::string quarters_rgb() {
    std::string out;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool right = x >= 8, bottom = y >= 8;
            out += bottom == right ? '\xff' : '\0';
            out += right ? '\xff' : '\0';
            out += bottom && !right ? '\xff' : '\0';
        }
    return out;
}

// The image as a binary PPM.
inline std::string quarters_ppm() {
    return "P6\n16 16\n255\n" + quarters_rgb();
}

// The same image as an uncompressed 24-bit TGA, its rows from the top.
inline std::string quarters_tga() {
    std::string out("\0\0\x02\0\0\0\0\0\0\0\0\0\x10\0\x10\0\x18\x20", 18);
    const std::string ppm = quarters_ppm();
    for (std::size_t i = ppm.size() - 16 * 16 * 3; i < ppm.size(); i += 3) out += {ppm[i + 2], ppm[i + 1], ppm[i]};
    return out;
}

// 'R', 'G', 'B', 'Y' (yellow), 'W' (white), 'K' (black) for a colour whose
// channels are each clearly on (above `on`) or off (below `off`); '?' for
// any other.
inline char colour_name(const std::array<int, 3>& c, int on = 200, int off = 55) {
    const auto bit = [&](int v) { return v > on ? 1 : v < off ? 0 : -1; };
    const int r = bit(c[0]), g = bit(c[1]), b = bit(c[2]);
    if (r < 0 || g < 0 || b < 0) return '?';
    static constexpr char names[2][2][2] = {{{'K', 'B'}, {'G', '?'}}, {{'R', '?'}, {'Y', 'W'}}};
    return names[r][g][b];
}

}  // namespace testkit
