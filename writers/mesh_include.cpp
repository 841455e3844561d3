#include "writers/mesh_include.hpp"

#include <algorithm>
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

// A corner's text is the same in every face that names it, so each vertex
// is formatted once, the first time a face names it, and copied after that.
// Its vertex text and its normal text lie next to each other in the arena.
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
    std::vector<corner_text> corners;
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

void prepare_corners(corner_texts& t, std::size_t vertex_count) {
    t.used = 0;
    t.corners.assign(vertex_count, corner_text{corner_texts::not_yet, 0, 0});
    make_room(t, vertex_count * corner_typical + corner_max);
}

void copy_corner(char* to, const char* from, std::size_t n) {
    if (n <= copy_block)
        std::memcpy(to, from, copy_block);
    else
        std::memcpy(to, from, n);
}

void format_corner(corner_texts& t, const mesh_object& o, std::uint32_t i, bool with_normal) {
    make_room(t, corner_max);
    corner_text& c = t.corners[i];
    c.offset = static_cast<std::uint32_t>(t.used);
    c.vertex_size = append_item(t, vertex_prefix, sizeof vertex_prefix - 1, o.vertices[i]);
    if (with_normal) {
        const vec3& n = o.normals[i];
        // The renderer cannot read a non-finite normal; such corners make
        // their face a flat triangle.
        if (std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z))
            c.normal_size = append_item(t, normal_prefix, sizeof normal_prefix - 1, n);
    }
    // A block copy of the last texts reads past them: it reads zeros.
    std::memset(t.arena.get() + t.used, 0, copy_block);
}

void put_surface_line(output_file& out, const scene& s, const mesh_object& o) {
    std::array<std::uint8_t, 3> rgb{no_material_grey, no_material_grey, no_material_grey};
    if (s.material_count > 0) rgb = s.materials[static_cast<std::size_t>(o.material_index)].diffuse;
    put_text(out, "surface{color ");
    put_number(out, rgb[0] * byte_to_channel);
    put_text(out, " ");
    put_number(out, rgb[1] * byte_to_channel);
    put_text(out, " ");
    put_number(out, rgb[2] * byte_to_channel);
    put_text(out, " ambient 0.5 diffuse 0.75}\n");
}

void put_faces(output_file& out, const mesh_object& o, bool smooth, corner_texts& t) {
    static constexpr char smooth_head[] = "smooth_triangle {";
    static constexpr char flat_head[] = "triangle {";
    prepare_corners(t, o.vertices.size());
    for (const face& f : o.faces) {
        const corner_text* c[3];
        const std::uint32_t corner[3] = {f.a, f.b, f.c};
        for (int k = 0; k < 3; ++k) {
            if (t.corners[corner[k]].offset == corner_texts::not_yet) format_corner(t, o, corner[k], smooth);
            c[k] = &t.corners[corner[k]];
        }
        const bool with_normals = smooth && c[0]->normal_size != 0 && c[1]->normal_size != 0 && c[2]->normal_size != 0;
        std::size_t n[3];
        for (int k = 0; k < 3; ++k) n[k] = c[k]->vertex_size + (with_normals ? c[k]->normal_size : 0);
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
            copy_corner(p, arena + c[k]->offset, n[k]);
            p += n[k];
        }
        *p++ = '}';
        *p++ = '\n';
        out.used += static_cast<std::size_t>(p - start);
    }
}

}  // namespace

void write_mesh_include(const scene& s, output_file& out, std::int32_t triangle_mode, std::int32_t& written_faces,
                        reporter& /*report*/) {
    corner_texts texts;
    for (const mesh_object& o : s.objects) {
        put_surface_line(out, s, o);
        put_faces(out, o, triangle_mode == 0, texts);
        written_faces += o.face_count;
    }
}

}  // namespace tessvert
