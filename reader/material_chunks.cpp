#include <algorithm>
#include <cmath>
#include <utility>

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

// A percentage sub-chunk's value in percent: 0x0030 holds a 16-bit whole
// percentage, 0x0031 a float fraction. False when the payload is too short
// or the float not finite.
bool read_percent(chunk_reader& r, chunk_header& h, float& percent) {
    unsigned char payload[4] = {};
    const std::uint32_t kept = read_payload(r, h, payload, sizeof payload);
    if (h.id == chunk_id::int_percentage) {
        if (kept < 2) return false;
        percent = static_cast<float>(static_cast<std::int16_t>(load_u16(payload)));
        return true;
    }
    const float f = load_f32(payload);
    if (kept < 4 || !std::isfinite(f)) return false;
    percent = 100.0f * f;
    return true;
}

// A float parameter of a texture map; a short payload or a value that is
// not finite leaves `value` as it was.
void read_map_float(chunk_reader& r, chunk_header& h, float& value) {
    unsigned char payload[4] = {};
    if (read_payload(r, h, payload, sizeof payload) < 4) return;
    const float f = load_f32(payload);
    if (std::isfinite(f)) value = f;
}

// The children of a texture map that place it: its amount, tiling, scale,
// offset and rotation. False for any other id.
bool read_map_placement(chunk_reader& r, texture_map& t, chunk_header& child) {
    switch (child.id) {
    case chunk_id::int_percentage:
    case chunk_id::float_percentage:
        read_percent(r, child, t.amount);
        return true;
    case chunk_id::map_tiling: {
        unsigned char payload[2] = {};
        if (read_payload(r, child, payload, sizeof payload) == 2) t.tiling = load_u16(payload);
        return true;
    }
    case chunk_id::map_u_scale:
        read_map_float(r, child, t.u_scale);
        return true;
    case chunk_id::map_v_scale:
        read_map_float(r, child, t.v_scale);
        return true;
    case chunk_id::map_u_offset:
        read_map_float(r, child, t.u_offset);
        return true;
    case chunk_id::map_v_offset:
        read_map_float(r, child, t.v_offset);
        return true;
    case chunk_id::map_rotation:
        read_map_float(r, child, t.rotation);
        return true;
    default:
        return false;
    }
}

bool is_other_map(std::uint16_t id) {
    return id == chunk_id::specular_map || id == chunk_id::opacity_map || id == chunk_id::reflection_map ||
           id == chunk_id::bump_map || id == chunk_id::second_texture_map || id == chunk_id::shininess_map ||
           id == chunk_id::self_illumination_map ||
           (id >= chunk_id::texture_mask && id <= chunk_id::reflection_mask && id % 2 == 0);
}

// Longest payload of another map searched for its file name; the rest is
// read past unseen.
constexpr std::uint32_t other_map_bytes_kept = 1024;

// Another map of the material, read past whole like any chunk the material
// level does not descend into (so that a damaged inner length cannot move
// the stream), then searched in memory for its file name.
void read_other_map(chunk_reader& r, material& m, chunk_header& h) {
    unsigned char payload[other_map_bytes_kept];
    const std::uint32_t kept = read_payload(r, h, payload, sizeof payload);
    other_map map;
    map.chunk_id = h.id;
    for (std::uint32_t at = 0; at + 6 <= kept;) {
        const std::uint16_t id = load_u16(payload + at);
        const std::uint32_t length = load_u32(payload + at + 2);
        if (length < 6) break;
        if (id == chunk_id::map_name) {
            const std::uint32_t end =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(kept, std::uint64_t{at} + length));
            const unsigned char* text = payload + at + 6;
            map.name.assign(text, std::find(text, static_cast<const unsigned char*>(payload + end), 0));
            if (map.name.size() > material_name_max) map.name.resize(material_name_max);
            break;
        }
        if (length > kept - at) break;
        at += length;
    }
    // One record per kind is all the warnings need; a file that repeats a
    // kind cannot make the list grow.
    for (const other_map& known : m.other_maps)
        if (known.chunk_id == map.chunk_id) return;
    m.other_maps.push_back(std::move(map));
}

// One level of a material: the material entry itself (in_texture_map
// false) or a texture map chunk inside it, whose own children also place
// the map. A texture map met at the material level starts the map's
// placement afresh.
void parse_material_level(chunk_reader& r, scene& s, chunk_header& parent, int level, bool in_texture_map) {
    read_children(r, parent, [&](chunk_header& child) {
        material& m = s.materials.back();
        if (in_texture_map && read_map_placement(r, m.texture, child)) return true;
        if (!in_texture_map && is_other_map(child.id)) {
            read_other_map(r, m, child);
            return true;
        }
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
        case chunk_id::two_sided:
            // Its presence is the flag; a payload, if any, is read past.
            m.two_sided = 1;
            skip_chunk(r, child);
            return true;
        case chunk_id::texture_map:
            if (!in_texture_map) m.texture = texture_map{};
            m.texture.present = true;
            open_level(r, child, level, [&] { parse_material_level(r, s, child, level + 1, true); });
            return true;
        case chunk_id::map_name:
            read_payload_text(r, child, m.map_name, material_name_max);
            return true;
        default:
            return false;
        }
    });
}

}  // namespace

void parse_material_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level) {
    parse_material_level(r, s, parent, level, false);
}

}  // namespace tessvert
