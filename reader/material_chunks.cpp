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
        for (std::uint32_t c = 0; c < 3 && 4 * (c + 1) <= kept; ++c) {
            m.diffuse_float[c] = load_f32(payload + 4 * c);
            m.diffuse[c] = float_channel_to_byte(m.diffuse_float[c]);
        }
        m.has_float_diffuse = kept >= 12;
    } else {
        for (std::uint32_t c = 0; c < 3 && c < kept; ++c) m.diffuse[c] = payload[c];
        m.has_float_diffuse = 0;
    }
}

// A colour property of the material, kept as bytes like the diffuse colour
// and, when the file gives it in floats, as those floats too.
bool read_material_color(chunk_reader& r, chunk_header& h, std::array<std::uint8_t, 3>& color,
                         std::array<float, 3>& floats, std::uint8_t& has_floats) {
    std::array<float, 3> rgb{};
    bool in_floats = false;
    if (!read_color_property(r, h, rgb, &in_floats)) return false;
    for (int c = 0; c < 3; ++c) color[c] = float_channel_to_byte(rgb[c]);
    if (in_floats) floats = rgb;
    has_floats = in_floats;
    return true;
}

// The placement sub-chunk `id` of a map, its data `size` bytes at `data`:
// its amount (0x0030, a 16-bit whole percentage; 0x0031, a float fraction),
// tiling flags, scale, offset or rotation is set in `t` when the data holds
// it whole and, for a float, finite. False, and nothing set, when `id` is
// no placement sub-chunk (with a size of 0 it only says which it is).
bool set_map_placement(std::uint16_t id, const unsigned char* data, std::uint32_t size, texture_map& t) {
    float* value = nullptr;
    switch (id) {
    case chunk_id::int_percentage:
        if (size >= 2) t.amount = static_cast<float>(static_cast<std::int16_t>(load_u16(data)));
        return true;
    case chunk_id::float_percentage:
        if (size >= 4 && std::isfinite(load_f32(data))) t.amount = 100.0f * load_f32(data);
        return true;
    case chunk_id::map_tiling:
        if (size >= 2) t.tiling = load_u16(data);
        return true;
    case chunk_id::map_u_scale:
        value = &t.u_scale;
        break;
    case chunk_id::map_v_scale:
        value = &t.v_scale;
        break;
    case chunk_id::map_u_offset:
        value = &t.u_offset;
        break;
    case chunk_id::map_v_offset:
        value = &t.v_offset;
        break;
    case chunk_id::map_rotation:
        value = &t.rotation;
        break;
    default:
        return false;
    }
    if (size >= 4 && std::isfinite(load_f32(data))) *value = load_f32(data);
    return true;
}

// The children of a texture map that place it: its amount, tiling, scale,
// offset and rotation. False for any other id.
bool read_map_placement(chunk_reader& r, texture_map& t, chunk_header& child) {
    if (!set_map_placement(child.id, nullptr, 0, t)) return false;
    unsigned char payload[4] = {};
    const std::uint32_t kept = read_payload(r, child, payload, sizeof payload);
    set_map_placement(child.id, payload, kept, t);
    return true;
}

// The placement of another map, from the sub-chunks of its payload held
// in memory (`size` bytes), as read_map_placement reads a texture map's.
void other_map_placement(const unsigned char* payload, std::uint32_t size, texture_map& t) {
    for (std::uint32_t at = 0; size - at >= 6;) {
        const std::uint32_t length = load_u32(payload + at + 2);
        if (length < 6 || length > size - at) return;
        set_map_placement(load_u16(payload + at), payload + at + 6, length - 6, t);
        at += length;
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
// the stream), then searched in memory for its file name, its amount and
// its placement.
void read_other_map(chunk_reader& r, material& m, chunk_header& h) {
    unsigned char payload[other_map_bytes_kept];
    const std::uint32_t kept = read_payload(r, h, payload, sizeof payload);
    other_map map;
    map.chunk_id = h.id;
    map.placement.present = true;
    other_map_placement(payload, kept, map.placement);
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
            read_material_color(r, child, m.ambient, m.ambient_float, m.has_float_ambient);
            return true;
        case chunk_id::specular:
            if (read_material_color(r, child, m.specular, m.specular_float, m.has_float_specular)) m.has_specular = 1;
            return true;
        case chunk_id::shininess:
            read_amount_property(r, child, m.shininess);
            return true;
        case chunk_id::shininess_strength:
            if (read_amount_property(r, child, m.shininess_strength)) m.has_shininess_strength = 1;
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
