// Reads a binary PPM picture (P6, 8 bits a channel, comments allowed in
// the header), as renderers write it, for tests that look at pixels.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testkit {

struct picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // row by row from the top, 3 bytes a pixel

    // A pixel; one outside the picture (as in an empty picture, when the
    // renderer failed) throws, so that the test fails instead of crashing.
    std::array<int, 3> at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height)
            throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                                    ") outside a picture of " + std::to_string(width) + " x " + std::to_string(height));
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The picture in `data`, or an empty one (width 0) when it is not a P6
// picture of 8-bit channels that holds all its pixels.
inline picture parse_ppm(const std::string& data) {
    picture p;
    std::size_t at = 0;
    const auto next_number = [&]() -> long {
        for (;;) {
            while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) ++at;
            if (at < data.size() && data[at] == '#') {
                while (at < data.size() && data[at] != '\n') ++at;
                continue;
            }
            break;
        }
        long value = -1;
        while (at < data.size() && std::isdigit(static_cast<unsigned char>(data[at])) && value < 1000000)
            value = (value < 0 ? 0 : value * 10) + (data[at++] - '0');
        return value;
    };
    if (data.compare(0, 2, "P6") != 0) return p;
    at = 2;
    const long w = next_number(), h = next_number(), max = next_number();
    if (w <= 0 || h <= 0 || max != 255 || at >= data.size()) return p;
    ++at;  // the one white-space byte before the pixels
    const std::size_t size = 3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (data.size() - at < size) return p;
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + size));
    return p;
}

}  // namespace testkit
