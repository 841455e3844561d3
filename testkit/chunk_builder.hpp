// Builds 3DS chunk trees for tests, examples and benchmarks: a chunk is an
// id, its own payload bytes and its children; its length is computed unless
// a test sets a (wrong) one on purpose.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace chunks {

using bytes = std::vector<std::uint8_t>;

struct chunk {
    std::uint16_t id = 0;
    bytes payload;  // the chunk's own data, before its children
    std::vector<chunk> children;
    std::optional<std::uint32_t> length;  // declared length; computed when empty
    bytes trailer;                        // raw bytes after the children, inside the chunk
};

inline void append_u16(bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void append_u32(bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void append_f32(bytes& out, float v) {
    append_u32(out, std::bit_cast<std::uint32_t>(v));
}
inline void append_cstr(bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}
inline void append_bytes(bytes& out, const bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// Payload builders.
inline bytes u16(std::uint16_t v) {
    bytes b;
    append_u16(b, v);
    return b;
}
inline bytes u32(std::uint32_t v) {
    bytes b;
    append_u32(b, v);
    return b;
}
inline bytes f32s(std::initializer_list<float> values) {
    bytes b;
    for (float v : values) append_f32(b, v);
    return b;
}
inline bytes cstr(const std::string& s) {
    bytes b;
    append_cstr(b, s);
    return b;
}
inline bytes cat(std::initializer_list<bytes> parts) {
    bytes b;
    for (const bytes& p : parts) append_bytes(b, p);
    return b;
}

inline void serialize_into(bytes& out, const chunk& c) {
    std::size_t start = out.size();
    append_u16(out, c.id);
    append_u32(out, 0);
    append_bytes(out, c.payload);
    for (const chunk& child : c.children) serialize_into(out, child);
    append_bytes(out, c.trailer);
    std::uint32_t length = c.length ? *c.length : static_cast<std::uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i) out[start + 2 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

inline bytes serialize(const chunk& c) {
    bytes out;
    serialize_into(out, c);
    return out;
}

// Chunk constructors for the ids the converter knows.
inline chunk make(std::uint16_t id, bytes payload = {}, std::vector<chunk> children = {}) {
    chunk c;
    c.id = id;
    c.payload = std::move(payload);
    c.children = std::move(children);
    return c;
}
inline chunk primary(std::vector<chunk> children) {
    return make(0x4D4D, {}, std::move(children));
}
inline chunk editor(std::vector<chunk> children) {
    return make(0x3D3D, {}, std::move(children));
}
inline chunk version(std::uint32_t v) {
    return make(0x0002, u32(v));
}
inline chunk named_object(const std::string& name, std::vector<chunk> children) {
    return make(0x4000, cstr(name), std::move(children));
}
inline chunk triangle_mesh(std::vector<chunk> children) {
    return make(0x4100, {}, std::move(children));
}

struct xyz {
    float x, y, z;
};
inline chunk vertex_list(const std::vector<xyz>& vertices) {
    bytes b = u16(static_cast<std::uint16_t>(vertices.size()));
    for (const xyz& v : vertices) append_bytes(b, f32s({v.x, v.y, v.z}));
    return make(0x4110, b);
}
struct abc {
    std::uint16_t a, b, c, flags = 0;
};
// Material groups and other children of the face list follow the faces.
inline chunk face_list(const std::vector<abc>& faces, std::vector<chunk> children = {}) {
    bytes b = u16(static_cast<std::uint16_t>(faces.size()));
    for (const abc& f : faces) {
        append_u16(b, f.a);
        append_u16(b, f.b);
        append_u16(b, f.c);
        append_u16(b, f.flags);
    }
    return make(0x4120, b, std::move(children));
}
inline chunk material_group(const std::string& material, const std::vector<std::uint16_t>& faces = {}) {
    bytes b = cstr(material);
    append_u16(b, static_cast<std::uint16_t>(faces.size()));
    for (std::uint16_t f : faces) append_u16(b, f);
    return make(0x4130, b);
}
inline chunk mapping_coords(const std::vector<std::pair<float, float>>& uv) {
    bytes b = u16(static_cast<std::uint16_t>(uv.size()));
    for (auto [u, v] : uv) append_bytes(b, f32s({u, v}));
    return make(0x4140, b);
}
inline chunk color24(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return make(0x0011, bytes{r, g, b});
}
inline chunk color_float(float r, float g, float b) {
    return make(0x0010, f32s({r, g, b}));
}
inline chunk light(xyz position, std::vector<chunk> children = {}) {
    return make(0x4600, f32s({position.x, position.y, position.z}), std::move(children));
}
inline chunk spotlight(xyz target, float hotspot, float falloff, std::vector<chunk> children = {}) {
    return make(0x4610, f32s({target.x, target.y, target.z, hotspot, falloff}), std::move(children));
}
inline chunk camera(xyz position, xyz target, float bank, float lens, std::vector<chunk> children = {}) {
    return make(0x4700, f32s({position.x, position.y, position.z, target.x, target.y, target.z, bank, lens}),
                std::move(children));
}
inline chunk material(std::vector<chunk> children) {
    return make(0xAFFF, {}, std::move(children));
}
inline chunk material_name(const std::string& name) {
    return make(0xA000, cstr(name));
}
// A material entry: its name, then `more` (its colours, maps, ...).
inline chunk named_material(const std::string& name, std::vector<chunk> more = {}) {
    more.insert(more.begin(), material_name(name));
    return material(std::move(more));
}
inline chunk diffuse(chunk color) {
    return make(0xA020, {}, {std::move(color)});
}
inline chunk texture_map(std::vector<chunk> children) {
    return make(0xA200, {}, std::move(children));
}
inline chunk map_name(const std::string& name) {
    return make(0xA300, cstr(name));
}

// An axis-aligned box of one material: 8 shared vertices and 12 faces,
// counter-clockwise seen from outside.
inline chunk box_object(const std::string& name, xyz lo, xyz hi, const std::string& material) {
    std::vector<xyz> v = {
        {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
        {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z},
    };
    std::vector<abc> f = {
        {0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
        {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7},
    };
    return named_object(name, {triangle_mesh({vertex_list(v), face_list(f, {material_group(material)})})});
}

// `depth` chunks of `id`, each the only child of the one before, around
// `inner`: built front to back, without recursion, so any depth can be made.
inline bytes nested(std::uint16_t id, std::size_t depth, const bytes& inner) {
    bytes out;
    out.reserve(6 * depth + inner.size());
    for (std::size_t i = 0; i < depth; ++i) {
        append_u16(out, id);
        append_u32(out, static_cast<std::uint32_t>(6 * (depth - i) + inner.size()));
    }
    append_bytes(out, inner);
    return out;
}

// A (w+1) x (h+1) grid of vertices with 2*w*h faces in one named object:
// coordinates that are not round (a gentle wave around the height z0),
// texture coordinates per vertex, and one material group that lists every
// face.
inline chunk grid_object(const std::string& name, int w, int h, float z0, const std::string& material) {
    std::vector<xyz> v;
    std::vector<std::pair<float, float>> uv;
    v.reserve(static_cast<std::size_t>((w + 1) * (h + 1)));
    for (int j = 0; j <= h; ++j)
        for (int i = 0; i <= w; ++i) {
            v.push_back(
                {i * 0.731f - 17.3f, j * 0.617f + 2.9f, z0 + 0.37f * std::sin(0.21f * i) * std::cos(0.17f * j)});
            uv.push_back(
                {static_cast<float>(i) / static_cast<float>(w), static_cast<float>(j) / static_cast<float>(h)});
        }
    std::vector<abc> f;
    std::vector<std::uint16_t> group;
    f.reserve(static_cast<std::size_t>(2 * w * h));
    auto at = [w](int i, int j) { return static_cast<std::uint16_t>(j * (w + 1) + i); };
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            f.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), 7});
            f.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1), 7});
        }
    for (std::size_t k = 0; k < f.size(); ++k) group.push_back(static_cast<std::uint16_t>(k));
    return named_object(
        name, {triangle_mesh({vertex_list(v), mapping_coords(uv), face_list(f, {material_group(material, group)})})});
}

// A keyframer track of one key at frame 0 holding `values`.
inline chunk track(std::uint16_t id, std::initializer_list<float> values) {
    return make(id, cat({u16(0), u32(0), u32(0), u32(1), u32(0), u16(0), f32s(values)}));
}

// A keyframer object node (0xB002) showing `name` with the first keys of
// its tracks.
inline chunk object_node(std::uint16_t id, const std::string& name, std::uint16_t parent,
                         std::initializer_list<float> position, std::initializer_list<float> rotation = {0, 0, 0, 0},
                         std::initializer_list<float> scale = {1, 1, 1},
                         std::initializer_list<float> pivot = {0, 0, 0}) {
    return make(0xB002, {},
                {make(0xB030, u16(id)), make(0xB010, cat({cstr(name), u16(0), u16(0), u16(parent)})),
                 make(0xB013, f32s(pivot)), track(0xB020, position), track(0xB021, rotation), track(0xB022, scale)});
}

}  // namespace chunks
