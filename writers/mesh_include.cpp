#include "writers/mesh_include.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "writers/text_output.hpp"

namespace tessvert {

namespace {

// Objects without any material are written in a light grey, so that they
// stay visible against the black background of the settings block.
constexpr std::uint8_t no_material_grey = 204;

// A corner's text is the same in every face that names the same vertex with
// the same normal, so each (vertex, normal) is formatted once, the first
// time a face names it, and copied after that. Its vertex text and its
// normal text lie next to each other in the arena.
struct corner_text {
    std::uint32_t offset;       // start of "vertex <x y z> " in the arena; not_yet: not formatted
    std::uint16_t vertex_size;  // length of that text
    std::uint16_t normal_size;  // length of "normal <x y z> " after it; 0: not finite or not wanted
};

struct corner_texts {
    static constexpr std::uint32_t not_yet = std::numeric_limits<std::uint32_t>::max();
    // The first `used` bytes hold texts and the copy_block bytes after them
    // are zeros (see format_corner). The arena keeps its room from one object
    // to the next and is never cleared as a whole: memory it does not fill
    // is never touched.
    std::unique_ptr<char[]> arena;
    std::size_t capacity = 0;
    std::size_t used = 0;
    // Per vertex, with its vertex normal (or none); per entry of the
    // object's smooth_normals, with that normal: each entry belongs to one
    // vertex, so it stands for one (vertex, normal).
    std::vector<corner_text> corners;
    std::vector<corner_text> smooth_corners;
};

constexpr char vertex_prefix[] = "vertex <";
constexpr char normal_prefix[] = "normal <";
// The longest "<prefix><x y z> ".
constexpr std::size_t item_max = sizeof vertex_prefix - 1 + 3 * number_text_max + 4;
// A corner's texts are copied as one block of this size when they fit in
// it: a fixed-size copy is a few vector moves instead of a call. The arena
// and the output keep this much room past their last text.
constexpr std::size_t copy_block = 128;
// Room the texts of one vertex may need.
constexpr std::size_t corner_max = 2 * item_max + copy_block;
// Arena bytes a vertex takes in a typical scene: enough room for a whole
// object at once, without copying it as it grows.
constexpr std::size_t corner_typical = 96;

// Grows the arena to at least `room` free bytes past its texts.
void make_room(corner_texts& t, std::size_t room) {
    if (t.capacity - t.used >= room) return;
    std::size_t capacity = std::max(2 * t.capacity, t.used + room);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (t.used > 0) std::memcpy(grown.get(), t.arena.get(), t.used);
    t.arena = std::move(grown);
    t.capacity = capacity;
}

// Appends "<prefix><x y z> " at the end of the arena's texts and returns its
// length; the caller made room for item_max bytes.
std::uint16_t append_item(corner_texts& t, const char* prefix, std::size_t prefix_size, const vec3& v) {
    char* start = t.arena.get() + t.used;
    char* p = start;
    std::memcpy(p, prefix, prefix_size);
    p += prefix_size;
    p += format_number(v.x, p);
    *p++ = ' ';
    p += format_number(v.y, p);
    *p++ = ' ';
    p += format_number(v.z, p);
    *p++ = '>';
    *p++ = ' ';
    std::size_t size = static_cast<std::size_t>(p - start);
    t.used += size;
    return static_cast<std::uint16_t>(size);
}

void prepare_corners(corner_texts& t, std::size_t vertex_count, std::size_t smooth_count) {
    t.used = 0;
    t.corners.assign(vertex_count, corner_text{corner_texts::not_yet, 0, 0});
    t.smooth_corners.assign(smooth_count, corner_text{corner_texts::not_yet, 0, 0});
    make_room(t, vertex_count * corner_typical + corner_max);
}

void copy_corner(char* to, const char* from, std::size_t n) {
    if (n <= copy_block)
        std::memcpy(to, from, copy_block);
    else
        std::memcpy(to, from, n);
}

// Formats a corner of vertex `i` with `normal`, null when the corners carry
// no normal.
corner_text format_corner(corner_texts& t, const vec3* vertices, std::uint32_t i, const vec3* normal) {
    make_room(t, corner_max);
    corner_text c{static_cast<std::uint32_t>(t.used), 0, 0};
    c.vertex_size = append_item(t, vertex_prefix, sizeof vertex_prefix - 1, vertices[i]);
    // The renderer cannot read a non-finite normal; such corners make their
    // face a flat triangle.
    if (normal != nullptr && std::isfinite(normal->x) && std::isfinite(normal->y) && std::isfinite(normal->z))
        c.normal_size = append_item(t, normal_prefix, sizeof normal_prefix - 1, *normal);
    // A block copy of the last texts reads past them: it reads zeros.
    std::memset(t.arena.get() + t.used, 0, copy_block);
    return c;
}

// A run of faces to write: plain arrays, nothing else.
struct face_run {
    const face* faces = nullptr;  // in the order they are written
    std::size_t face_count = 0;
    const vec3* vertices = nullptr;
    const vec3* vertex_normals = nullptr;  // per vertex; null for flat triangles
    // Null, or three per face of `faces`, one per corner a, b, c: an index
    // into smooth_normals, or use_vertex_normal.
    const std::uint32_t* corner_normals = nullptr;
    const vec3* smooth_normals = nullptr;
};

// The texts of corner k of face j of the run, whose vertex is i.
corner_text corner_of(corner_texts& t, const face_run& run, std::size_t j, int k, std::uint32_t i) {
    const std::uint32_t id =
        run.corner_normals == nullptr ? use_vertex_normal : run.corner_normals[3 * j + static_cast<std::size_t>(k)];
    corner_text& c = id == use_vertex_normal ? t.corners[i] : t.smooth_corners[id];
    if (c.offset == corner_texts::not_yet) {
        const vec3* normal = id != use_vertex_normal         ? run.smooth_normals + id
                             : run.vertex_normals != nullptr ? run.vertex_normals + i
                                                             : nullptr;
        c = format_corner(t, run.vertices, i, normal);
    }
    return c;
}

// Writes one triangle statement per face of the run, in its order. The
// corner texts of `t` must have been prepared for the run's vertices.
void put_faces(output_file& out, const face_run& run, corner_texts& t) {
    static constexpr char smooth_head[] = "smooth_triangle {";
    static constexpr char flat_head[] = "triangle {";
    const bool smooth = run.vertex_normals != nullptr;
    for (std::size_t j = 0; j < run.face_count; ++j) {
        const face& f = run.faces[j];
        const std::uint32_t corner[3] = {f.a, f.b, f.c};
        corner_text c[3];
        for (int k = 0; k < 3; ++k) c[k] = corner_of(t, run, j, k, corner[k]);
        const bool with_normals = smooth && c[0].normal_size != 0 && c[1].normal_size != 0 && c[2].normal_size != 0;
        std::size_t n[3];
        for (int k = 0; k < 3; ++k) n[k] = c[k].vertex_size + (with_normals ? c[k].normal_size : 0);
        char* p = reserve_output(out, sizeof smooth_head + 1 + n[0] + n[1] + n[2] + copy_block);
        char* start = p;
        if (with_normals) {
            std::memcpy(p, smooth_head, sizeof smooth_head - 1);
            p += sizeof smooth_head - 1;
        } else {
            std::memcpy(p, flat_head, sizeof flat_head - 1);
            p += sizeof flat_head - 1;
        }
        const char* arena = t.arena.get();
        for (int k = 0; k < 3; ++k) {
            copy_corner(p, arena + c[k].offset, n[k]);
            p += n[k];
        }
        *p++ = '}';
        *p++ = '\n';
        out.used += static_cast<std::size_t>(p - start);
    }
}

using rgb = std::array<std::uint8_t, 3>;

void put_surface_line(output_file& out, const rgb& colour) {
    put_text(out, "surface{color ");
    put_number(out, colour[0] * byte_to_channel);
    put_text(out, " ");
    put_number(out, colour[1] * byte_to_channel);
    put_text(out, " ");
    put_number(out, colour[2] * byte_to_channel);
    put_text(out, " ambient 0.5 diffuse 0.75}\n");
}

// The colour of an object as a whole: its material's, grey without any.
rgb object_colour(const scene& s, const mesh_object& o) {
    if (s.material_count == 0) return {no_material_grey, no_material_grey, no_material_grey};
    return s.materials[static_cast<std::size_t>(o.material_index)].diffuse;
}

// An object's faces (and corner normals) reordered into its material
// blocks, each block's faces in file order, the blocks in the order of
// their first faces; reused from one object to the next.
struct material_blocks {
    std::vector<std::int32_t> block_of;   // per material + 1 (0: none); -1: no block yet
    std::vector<std::int32_t> materials;  // per block, its material
    std::vector<std::size_t> ends;        // per block, one past its last face
    std::vector<face> faces;
    std::vector<std::uint32_t> corner_normals;
};

void sort_into_blocks(material_blocks& b, const scene& s, const mesh_object& o, bool with_corner_normals) {
    b.block_of.resize(s.materials.size() + 1, -1);
    b.materials.clear();
    std::vector<std::size_t> counts;
    std::vector<std::int32_t> block_of_face(o.faces.size());
    for (std::size_t j = 0; j < o.faces.size(); ++j) {
        const std::int32_t m = o.face_materials[j];
        std::int32_t& block = b.block_of[static_cast<std::size_t>(m + 1)];
        if (block < 0) {
            block = static_cast<std::int32_t>(b.materials.size());
            b.materials.push_back(m);
            counts.push_back(0);
        }
        ++counts[static_cast<std::size_t>(block)];
        block_of_face[j] = block;
    }
    for (std::int32_t m : b.materials) b.block_of[static_cast<std::size_t>(m + 1)] = -1;
    // Each face to the next place of its block.
    std::vector<std::size_t> next(counts.size());
    b.ends.resize(counts.size());
    std::size_t at = 0;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        next[k] = at;
        at += counts[k];
        b.ends[k] = at;
    }
    b.faces.resize(o.faces.size());
    b.corner_normals.resize(with_corner_normals ? 3 * o.faces.size() : 0);
    for (std::size_t j = 0; j < o.faces.size(); ++j) {
        const std::size_t to = next[static_cast<std::size_t>(block_of_face[j])]++;
        b.faces[to] = o.faces[j];
        if (with_corner_normals) std::copy_n(&o.corner_normals[3 * j], 3, &b.corner_normals[3 * to]);
    }
}

void put_object(output_file& out, const scene& s, const mesh_object& o, bool smooth, const mesh_options& options,
                corner_texts& t, material_blocks& blocks) {
    face_run run;
    run.faces = o.faces.data();
    run.face_count = o.faces.size();
    run.vertices = o.vertices.data();
    if (smooth) run.vertex_normals = o.normals.data();
    const bool corner_normals =
        smooth && options.smoothing && !o.faces.empty() && o.corner_normals.size() == 3 * o.faces.size();
    if (corner_normals) {
        run.corner_normals = o.corner_normals.data();
        run.smooth_normals = o.smooth_normals.data();
    }
    prepare_corners(t, o.vertices.size(), corner_normals ? o.smooth_normals.size() : 0);

    if (!options.materials || o.faces.empty() || o.face_materials.size() != o.faces.size()) {
        put_surface_line(out, object_colour(s, o));
        put_faces(out, run, t);
        return;
    }
    sort_into_blocks(blocks, s, o, corner_normals);
    std::size_t begin = 0;
    for (std::size_t k = 0; k < blocks.materials.size(); ++k) {
        const std::int32_t m = blocks.materials[k];
        put_surface_line(out,
                         m == no_material ? object_colour(s, o) : s.materials[static_cast<std::size_t>(m)].diffuse);
        face_run block = run;
        block.faces = blocks.faces.data() + begin;
        block.face_count = blocks.ends[k] - begin;
        if (corner_normals) block.corner_normals = blocks.corner_normals.data() + 3 * begin;
        put_faces(out, block, t);
        begin = blocks.ends[k];
    }
}

}  // namespace

void write_mesh_include(const scene& s, output_file& out, std::int32_t triangle_mode, std::int32_t& written_faces,
                        reporter& /*report*/, const mesh_options& options) {
    corner_texts texts;
    material_blocks blocks;
    for (const mesh_object& o : s.objects) {
        put_object(out, s, o, triangle_mode == 0, options, texts, blocks);
        written_faces += o.face_count;
    }
}

}  // namespace tessvert
