#include "writers/vrx/mesh_include.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "writers/common/parts.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

namespace {

using rgb = std::array<std::uint8_t, 3>;

// A corner's text is the same in every face that names the same vertex with
// the same normal, so each (vertex, normal) is formatted once, the first
// time a face of the part names it, and copied after that. Its vertex text
// and its normal text lie next to each other in the formatter's arena.
using corner_text = mesh_formatter::corner_text;
constexpr std::uint32_t not_yet = std::numeric_limits<std::uint32_t>::max();

constexpr char vertex_prefix[] = "vertex <";
constexpr char normal_prefix[] = "normal <";
// The longest "<prefix><x y z> ".
constexpr std::size_t item_max = sizeof vertex_prefix - 1 + 3 * number_text_max + 4;
// A corner's texts are copied as one block of this size when they fit in
// it: a fixed-size copy is a few vector moves instead of a call. The arena
// and the text keep this much room past their last text.
constexpr std::size_t copy_block = 128;
// Room the texts of one vertex may need.
constexpr std::size_t corner_max = 2 * item_max + copy_block;
// Arena bytes a vertex takes in a typical scene: room for a whole object
// at once, without copying it as it grows.
constexpr std::size_t corner_typical = 96;
// Text bytes a face takes in a typical scene: room for a whole part at once.
constexpr std::size_t smooth_line_typical = 320;
constexpr std::size_t flat_line_typical = 160;

// Appends "<prefix><x y z> " at the end of the arena's texts and returns its
// length; the caller made room for item_max bytes.
std::uint16_t append_item(mesh_formatter& t, const char* prefix, std::size_t prefix_size, const vec3& v) {
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

// Arena bytes beyond which the texts of an object are not kept for its
// next part: room for the texts of the largest objects (65 535 vertices, as
// many corner normals), not for a hostile one.
constexpr std::size_t kept_texts_max = std::size_t{16} << 20;

// Makes the corner tables ready for object `object` of `vertex_count`
// vertices, with vertex normals when `smooth` and `smooth_count` corner
// normals when `corner_normals`. When they may be kept (`keep`) and hold
// this object's texts, they stay; else the entries filled are cleared (the
// others are clear already).
void start_object(mesh_formatter& t, const void* object, bool keep, std::size_t vertex_count, bool smooth,
                  bool corner_normals, std::size_t smooth_count) {
    const int normals = (smooth ? 1 : 0) + (corner_normals ? 2 : 0);
    if (keep && t.object == object && t.object_normals == normals && t.used <= kept_texts_max) return;
    t.object = keep ? object : nullptr;
    t.object_normals = normals;
    for (std::uint32_t i : t.filled_corners) t.corners[i].offset = not_yet;
    for (std::uint32_t i : t.filled_smooth_corners) t.smooth_corners[i].offset = not_yet;
    for (std::uint32_t i : t.filled_vertex_texts) t.vertex_texts[i].offset = not_yet;
    t.filled_corners.clear();
    t.filled_smooth_corners.clear();
    t.filled_vertex_texts.clear();
    if (t.corners.size() < vertex_count) t.corners.resize(vertex_count, corner_text{not_yet, 0, 0});
    if (t.smooth_corners.size() < smooth_count) t.smooth_corners.resize(smooth_count, corner_text{not_yet, 0, 0});
    if (corner_normals && t.vertex_texts.size() < vertex_count)
        t.vertex_texts.resize(vertex_count, corner_text{not_yet, 0, 0});
    t.used = 0;
    make_room(t.arena, t.capacity, 0, (vertex_count + smooth_count) * corner_typical + corner_max);
}

void copy_corner(char* to, const char* from, std::size_t n) {
    if (n <= copy_block)
        std::memcpy(to, from, copy_block);
    else
        std::memcpy(to, from, n);
}

// Appends "normal <x y z> " to the corner `c` whose vertex text ends the
// arena's texts, unless `normal` is null or not finite, and the zeros that
// a block copy of the last texts reads.
void end_corner(mesh_formatter& t, corner_text& c, const vec3* normal) {
    // The renderer cannot read a non-finite normal; such corners make their
    // face a flat triangle.
    if (normal != nullptr && is_finite(*normal))
        c.normal_size = append_item(t, normal_prefix, sizeof normal_prefix - 1, *normal);
    std::memset(t.arena.get() + t.used, 0, copy_block);
}

// Formats a corner of vertex `i` with `normal`, null when the corners carry
// no normal.
corner_text format_corner(mesh_formatter& t, const vec3* vertices, std::uint32_t i, const vec3* normal) {
    make_room(t.arena, t.capacity, t.used, corner_max);
    corner_text c{static_cast<std::uint32_t>(t.used), 0, 0};
    c.vertex_size = append_item(t, vertex_prefix, sizeof vertex_prefix - 1, vertices[i]);
    end_corner(t, c, normal);
    return c;
}

// The same where a vertex may carry several normals: its vertex text is
// formatted for the first of them and copied for the others.
corner_text format_shared_corner(mesh_formatter& t, const vec3* vertices, std::uint32_t i, const vec3* normal) {
    make_room(t.arena, t.capacity, t.used, corner_max);
    corner_text c{static_cast<std::uint32_t>(t.used), 0, 0};
    corner_text& vertex = t.vertex_texts[i];
    if (vertex.offset == not_yet) {
        c.vertex_size = append_item(t, vertex_prefix, sizeof vertex_prefix - 1, vertices[i]);
        vertex = c;
        t.filled_vertex_texts.push_back(i);
    } else {
        std::memcpy(t.arena.get() + t.used, t.arena.get() + vertex.offset, vertex.vertex_size);
        t.used += vertex.vertex_size;
        c.vertex_size = vertex.vertex_size;
    }
    end_corner(t, c, normal);
    return c;
}

// The faces of an object to write: plain arrays, nothing else.
struct face_source {
    const face* faces = nullptr;
    // The written order (null: file order), as object_layout::runs.
    const face_run* runs = nullptr;
    std::size_t run_count = 0;
    const vec3* vertices = nullptr;
    const vec3* vertex_normals = nullptr;  // per vertex; null for flat triangles
    // Null, or three per face, one per corner a, b, c: an index into
    // smooth_normals, or use_vertex_normal.
    const std::uint32_t* corner_normals = nullptr;
    const vec3* smooth_normals = nullptr;
};

// The texts of corner k of face j, whose vertex is i.
corner_text corner_of(mesh_formatter& t, const face_source& src, std::size_t j, int k, std::uint32_t i) {
    const std::uint32_t id =
        src.corner_normals == nullptr ? use_vertex_normal : src.corner_normals[3 * j + static_cast<std::size_t>(k)];
    corner_text& c = id == use_vertex_normal ? t.corners[i] : t.smooth_corners[id];
    if (c.offset == not_yet) {
        const vec3* normal = id != use_vertex_normal         ? src.smooth_normals + id
                             : src.vertex_normals != nullptr ? src.vertex_normals + i
                                                             : nullptr;
        c = src.corner_normals == nullptr ? format_corner(t, src.vertices, i, normal)
                                          : format_shared_corner(t, src.vertices, i, normal);
        if (id == use_vertex_normal)
            t.filled_corners.push_back(i);
        else
            t.filled_smooth_corners.push_back(id);
    }
    return c;
}

// Writes one triangle statement per face of the file's faces [begin, end).
// The corner tables must have been made ready for the object.
void put_face_range(text_block& out, const face_source& src, mesh_formatter& t, std::size_t begin, std::size_t end) {
    static constexpr char smooth_head[] = "smooth_triangle {";
    static constexpr char flat_head[] = "triangle {";
    const bool smooth = src.vertex_normals != nullptr;
    for (std::size_t j = begin; j < end; ++j) {
        const face& f = src.faces[j];
        const std::uint32_t corner[3] = {f.a, f.b, f.c};
        corner_text c[3];
        for (int k = 0; k < 3; ++k) c[k] = corner_of(t, src, j, k, corner[k]);
        const bool with_normals = smooth && c[0].normal_size != 0 && c[1].normal_size != 0 && c[2].normal_size != 0;
        std::size_t n[3];
        for (int k = 0; k < 3; ++k) n[k] = c[k].vertex_size + (with_normals ? c[k].normal_size : 0);
        char* p = reserve_text(out, sizeof smooth_head + 1 + n[0] + n[1] + n[2] + copy_block);
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

// Bytes of a run's arrays fetched ahead: the first few faces of a run.
constexpr std::size_t run_fetch_bytes = 256;

// Asks the processor to bring `bytes` bytes from `at` on into its cache.
void fetch_ahead(const void* at, std::size_t bytes) {
#if defined(__GNUC__)
    for (std::size_t offset = 0; offset < bytes; offset += 64)
        __builtin_prefetch(static_cast<const char*>(at) + offset);
#else
    (void)at;
    (void)bytes;
#endif
}

// Writes one triangle statement per face at the positions [begin, end) of
// the written order, run by run.
void put_faces(text_block& out, const face_source& src, mesh_formatter& t, std::size_t begin, std::size_t end) {
    if (src.runs == nullptr) {
        put_face_range(out, src, t, begin, end);
        return;
    }
    const face_run* run =
        std::partition_point(src.runs, src.runs + src.run_count, [&](const face_run& r) { return r.end <= begin; });
    for (std::size_t at = begin; at < end; ++run) {
        const std::size_t run_start = run == src.runs ? 0 : run[-1].end;
        const std::size_t stop = std::min<std::size_t>(run->end, end);
        // The next run lies elsewhere in the arrays, where the processor
        // would not look ahead by itself: its first faces and corners are
        // asked for while this run is written.
        if (run + 1 < src.runs + src.run_count) {
            const std::size_t next = run[1].first;
            fetch_ahead(src.faces + next, run_fetch_bytes);
            if (src.corner_normals != nullptr) fetch_ahead(src.corner_normals + 3 * next, run_fetch_bytes);
        }
        put_face_range(out, src, t, run->first + (at - run_start), run->first + (stop - run_start));
        at = stop;
    }
}

void put_surface_line(text_block& out, const rgb& colour) {
    put_text(out, "surface{color ");
    put_number(out, colour[0] * byte_to_channel);
    put_text(out, " ");
    put_number(out, colour[1] * byte_to_channel);
    put_text(out, " ");
    put_number(out, colour[2] * byte_to_channel);
    put_text(out, " ambient 0.5 diffuse 0.75}\n");
}

// The colour of an object as a whole: its material's, grey without any.
rgb object_colour(const drawn_scene& d, const mesh_object& o) {
    return look_of(d, d.file->materials.empty() ? no_material : o.material_index).colour_bytes;
}

// The object's faces in its material blocks, each block's faces in file
// order, the blocks in the order of their first faces. `block_of` has an
// entry of -1 per material + 1 (0: none) and is left so. Faces of one
// material usually come in runs: each run is looked up once, and written
// down as one.
void sort_into_blocks(object_layout& l, std::vector<std::int32_t>& block_of, const drawn_scene& d,
                      const mesh_object& o) {
    const std::vector<std::int32_t>& material = o.face_materials;
    const std::size_t n = material.size();
    const auto run_end = [&](std::size_t j) {
        const std::int32_t m = material[j];
        while (++j < n && material[j] == m) {}
        return j;
    };
    // Per block in the order of their first faces: its material, its faces
    // and its runs (then: where its next face is written, and its next run).
    struct block {
        std::int32_t material;
        std::uint32_t faces = 0, runs = 0;
    };
    std::vector<block> blocks;
    for (std::size_t j = 0; j < n;) {
        const std::size_t end = run_end(j);
        std::int32_t& b = block_of[static_cast<std::size_t>(material[j] + 1)];
        if (b < 0) {
            b = static_cast<std::int32_t>(blocks.size());
            blocks.push_back({material[j]});
        }
        block& into = blocks[static_cast<std::size_t>(b)];
        into.faces += static_cast<std::uint32_t>(end - j);
        ++into.runs;
        j = end;
    }
    std::uint32_t at = 0, run = 0;
    for (block& b : blocks) {
        const std::uint32_t faces = b.faces, runs = b.runs;
        b.faces = at;
        b.runs = run;
        at += faces;
        run += runs;
        const std::int32_t m = b.material;
        l.blocks.push_back({m == no_material ? l.colour : look_of(d, m).colour_bytes, at});
    }
    // One block keeps the file order.
    if (blocks.size() > 1) {
        l.runs.resize(run);
        for (std::size_t j = 0; j < n;) {
            const std::size_t end = run_end(j);
            block& b = blocks[static_cast<std::size_t>(block_of[static_cast<std::size_t>(material[j] + 1)])];
            b.faces += static_cast<std::uint32_t>(end - j);
            l.runs[b.runs++] = {static_cast<std::uint32_t>(j), b.faces};
            j = end;
        }
    }
    for (const block& b : blocks) block_of[static_cast<std::size_t>(b.material + 1)] = -1;
}

}  // namespace

mesh_layout lay_out_mesh(const drawn_scene& d) {
    const scene& s = *d.file;
    mesh_layout layout;
    layout.smooth = d.smooth;
    layout.corner_normals = d.corner_normals;
    layout.objects.resize(s.objects.size());
    for (std::size_t i = 0; i < s.objects.size(); ++i) layout.objects[i].colour = object_colour(d, s.objects[i]);
    if (!d.face_materials) return layout;
    std::vector<std::int32_t> block_of(s.materials.size() + 1, -1);
    for (std::size_t i = 0; i < s.objects.size(); ++i) {
        const mesh_object& o = s.objects[i];
        if (!o.faces.empty() && o.face_materials.size() == o.faces.size())
            sort_into_blocks(layout.objects[i], block_of, d, o);
    }
    return layout;
}

std::vector<mesh_position> cut_mesh(const scene& s, std::size_t part_faces) {
    // An object's surface line counts as one more.
    const auto faces = [&](std::size_t i) { return std::uint64_t{s.objects[i].faces.size()}; };
    std::vector<mesh_position> cuts;
    for (const part_place& p : cut_units(s.objects.size(), faces, 1, part_faces))
        cuts.push_back({p.unit, static_cast<std::uint32_t>(p.item)});
    return cuts;
}

void format_mesh_part(const scene& s, const mesh_layout& layout, mesh_position from, mesh_position to,
                      mesh_formatter& t, text_block& out) {
    for (std::size_t i = from.object; i < s.objects.size() && i <= to.object; ++i) assert(faces_in_range(s.objects[i]));
    std::size_t faces = 0;
    for (std::size_t i = from.object; i < s.objects.size() && i <= to.object; ++i)
        faces += (i == to.object ? to.face : s.objects[i].faces.size()) - (i == from.object ? from.face : 0);
    reserve_text(out, faces * (layout.smooth ? smooth_line_typical : flat_line_typical));
    for (std::size_t i = from.object; i < s.objects.size() && (i < to.object || (i == to.object && to.face > 0)); ++i) {
        const mesh_object& o = s.objects[i];
        const object_layout& l = layout.objects[i];
        const std::size_t n = o.faces.size();
        const std::size_t lo = i == from.object ? from.face : 0;
        const bool last = i == to.object;
        const std::size_t hi = last ? to.face : n;

        face_source src;
        src.faces = o.faces.data();
        if (!l.runs.empty()) {
            src.runs = l.runs.data();
            src.run_count = l.runs.size();
        }
        src.vertices = o.vertices.data();
        if (layout.smooth) src.vertex_normals = o.normals.data();
        const bool corner_normals = layout.corner_normals && n > 0 && o.corner_normals.size() == 3 * n;
        if (corner_normals) {
            src.corner_normals = o.corner_normals.data();
            src.smooth_normals = o.smooth_normals.data();
        }
        if (lo < hi)
            start_object(t, &o, t.keep_texts && !l.runs.empty(), o.vertices.size(), layout.smooth, corner_normals,
                         corner_normals ? o.smooth_normals.size() : 0);

        const mesh_block whole{l.colour, static_cast<std::uint32_t>(n)};
        const mesh_block* first = l.blocks.empty() ? &whole : l.blocks.data();
        const mesh_block* blocks_end = l.blocks.empty() ? &whole + 1 : l.blocks.data() + l.blocks.size();
        // The first block that does not end before the part (only an empty
        // object's one block holds no face).
        const mesh_block* block =
            std::partition_point(first, blocks_end - 1, [&](const mesh_block& b) { return b.end <= lo; });
        std::size_t start = block == first ? 0 : block[-1].end;
        for (; block != blocks_end && (!last || start < hi); ++block) {
            if (start >= lo) put_surface_line(out, block->colour);
            const std::size_t b = std::max(start, lo), e = std::min<std::size_t>(block->end, hi);
            if (b < e) put_faces(out, src, t, b, e);
            start = block->end;
        }
    }
}

std::uint64_t faces_between(const scene& s, mesh_position from, mesh_position to) {
    if (from.object == to.object) return to.face - from.face;
    std::uint64_t n = s.objects[from.object].faces.size() - from.face;
    for (std::uint32_t o = from.object + 1; o < to.object; ++o) n += s.objects[o].faces.size();
    if (to.object < s.objects.size()) n += to.face;
    return n;
}

}  // namespace tessvert
