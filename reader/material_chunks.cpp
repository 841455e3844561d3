#include <cmath>

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

// A float channel in [0, 1] (NaN as 0) to a byte, halves away from zero.
std::uint8_t float_channel_to_byte(float f) {
    double v = std::isnan(f) ? 0.0 : std::fmin(std::fmax(static_cast<double>(f), 0.0), 1.0);
    return static_cast<std::uint8_t>(std::lround(v * 255.0));
}

// Only the first colour sub-chunk is read here; any further sub-chunks of
// the 0xA020 chunk are met by the material level as siblings.
void read_diffuse(chunk_reader& r, material& m, chunk_header& h) {
    if (remaining(h) < 6) {  // no room for a sub-chunk header
        skip_chunk(r, h);
        return;
    }
    unsigned char payload[12] = {};
    std::uint32_t kept = read_subchunk(r, payload, sizeof payload, h);
    std::uint16_t id = r.secondary_header.id;
    if (id == chunk_id::float_color || id == chunk_id::float_color_gamma) {
        for (std::uint32_t c = 0; c < 3 && 4 * (c + 1) <= kept; ++c)
            m.diffuse[c] = float_channel_to_byte(load_f32(payload + 4 * c));
    } else {
        for (std::uint32_t c = 0; c < 3 && c < kept; ++c) m.diffuse[c] = payload[c];
    }
}

// A colour property of the material, kept as bytes like the diffuse colour.
bool read_material_color(chunk_reader& r, chunk_header& h, std::array<std::uint8_t, 3>& color) {
    std::array<float, 3> rgb{};
    if (!read_color_property(r, h, rgb)) return false;
    for (int c = 0; c < 3; ++c) color[c] = float_channel_to_byte(rgb[c]);
    return true;
}

}  // namespace

void parse_material_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level) {
    read_children(r, parent, [&](chunk_header& child) {
        material& m = s.materials.back();
        switch (child.id) {
        case chunk_id::material_name:
            read_payload_text(r, child, m.name, material_name_max);
            return true;
        case chunk_id::diffuse:
            read_diffuse(r, m, child);
            return true;
        case chunk_id::ambient:
            read_material_color(r, child, m.ambient);
            return true;
        case chunk_id::specular:
            if (read_material_color(r, child, m.specular)) m.has_specular = 1;
            return true;
        case chunk_id::shininess:
            read_amount_property(r, child, m.shininess);
            return true;
        case chunk_id::shininess_strength:
            read_amount_property(r, child, m.shininess_strength);
            return true;
        case chunk_id::transparency:
            read_amount_property(r, child, m.transparency);
            return true;
        case chunk_id::self_illumination:
            read_amount_property(r, child, m.self_illumination);
            return true;
        case chunk_id::texture_map:
            open_level(r, child, level, [&] { parse_material_chunks(r, s, child, level + 1); });
            return true;
        case chunk_id::map_name:
            read_payload_text(r, child, m.map_name, material_name_max);
            return true;
        default:
            return false;
        }
    });
}

}  // namespace tessvert
