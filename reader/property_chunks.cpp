#include <algorithm>
#include <cmath>

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

// The first bytes of a property chunk's payload; the rest is read past, so
// that the chunk is read to its declared end exactly as if it were skipped.
struct payload_head {
    unsigned char bytes[64];
    std::uint32_t size = 0;
};

payload_head read_head(chunk_reader& r, chunk_header& h) {
    payload_head p;
    p.size = read_payload(r, h, p.bytes, sizeof p.bytes);
    return p;
}

// Calls `take(id, data, size)` for each sub-chunk held whole or in part by
// the head, in order, until it returns true; a sub-chunk's data is cut
// where its declared length or the head ends.
template <typename Take>
bool find_subchunk(const payload_head& p, Take&& take) {
    std::uint32_t at = 0;
    while (p.size - at >= 6) {
        const std::uint16_t id = load_u16(p.bytes + at);
        const std::uint32_t length = load_u32(p.bytes + at + 2);
        if (length < 6) return false;
        const std::uint32_t size = std::min(length - 6, p.size - at - 6);
        if (take(id, p.bytes + at + 6, size)) return true;
        if (length > p.size - at) return false;
        at += length;
    }
    return false;
}

}  // namespace

bool read_color_property(chunk_reader& r, chunk_header& h, std::array<float, 3>& rgb, bool* in_floats) {
    const payload_head p = read_head(r, h);
    return find_subchunk(p, [&](std::uint16_t id, const unsigned char* data, std::uint32_t size) {
        if ((id == chunk_id::float_color || id == chunk_id::float_color_gamma) && size >= 12) {
            for (int c = 0; c < 3; ++c) rgb[c] = load_f32(data + 4 * c);
            if (in_floats != nullptr) *in_floats = true;
            return true;
        }
        if ((id == chunk_id::color24 || id == chunk_id::color24_gamma) && size >= 3) {
            for (int c = 0; c < 3; ++c) rgb[c] = static_cast<float>(data[c] / 255.0);
            if (in_floats != nullptr) *in_floats = false;
            return true;
        }
        return false;
    });
}

bool read_amount_property(chunk_reader& r, chunk_header& h, float& amount) {
    const payload_head p = read_head(r, h);
    float value = 0.0f;
    const bool found = find_subchunk(p, [&](std::uint16_t id, const unsigned char* data, std::uint32_t size) {
        if (id == chunk_id::int_percentage && size >= 2) {
            value = static_cast<float>(static_cast<std::int16_t>(load_u16(data)) / 100.0);
            return true;
        }
        if (id == chunk_id::float_percentage && size >= 4) {
            value = load_f32(data);
            return true;
        }
        return false;
    });
    if (!found) return false;
    amount = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return true;
}

}  // namespace tessvert
