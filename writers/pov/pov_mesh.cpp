#include "writers/pov/pov_mesh.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "drawing/drawn_normals.hpp"
#include "drawing/drawn_scene.hpp"
#include "model/number_format.hpp"
#include "writers/common/parts.hpp"

namespace tessvert {

namespace {

constexpr std::uint32_t unused = std::numeric_limits<std::uint32_t>::max();

// What stands in the normal list for a normal no face uses (one that is not
// usable): POV-Ray reads every entry.
constexpr vec3 placeholder_normal{0.0f, 0.0f, 1.0f};

// The face's own unit normal, or the placeholder for a face without area
// (POV-Ray leaves such a face out of the picture, whatever its normals).
void face_normal(const mesh_object& o, const face& f, double n[3]) {
    if (!face_unit_normal(o, f, n)) {
        n[0] = placeholder_normal.x;
        n[1] = placeholder_normal.y;
        n[2] = placeholder_normal.z;
    }
}

// The normal of corner k of face j, as an index: into the object's
// smooth_normals, or use_vertex_normal.
std::uint32_t corner_id(const mesh_object& o, const pov_mesh_object& l, std::size_t j, int k) {
    return l.corner_normals ? o.corner_normals[3 * j + static_cast<std::size_t>(k)] : use_vertex_normal;
}

void lay_out_object(const scene& s, const mesh_object& o, bool smooth, pov_mesh_object& l,
                    std::vector<std::int32_t>& slot_of) {
    const std::size_t n = o.faces.size();
    l.faces = static_cast<std::uint32_t>(n);
    if (n == 0) return;
    l.written_index.assign(o.vertices.size(), unused);
    for (const face& f : o.faces) l.written_index[f.a] = l.written_index[f.b] = l.written_index[f.c] = 0;
    l.vertices.reserve(o.vertices.size());
    for (std::size_t v = 0; v < o.vertices.size(); ++v) {
        if (l.written_index[v] == unused) continue;
        l.written_index[v] = static_cast<std::uint32_t>(l.vertices.size());
        l.vertices.push_back(static_cast<std::uint32_t>(v));
    }
    // A face's texture follows from its material alone: it is looked up
    // where the material changes.
    const bool per_face = o.face_materials.size() == n;
    for (std::size_t j = 0; j < n; ++j) {
        if (j > 0 && (!per_face || o.face_materials[j] == o.face_materials[j - 1])) continue;
        const std::int32_t m = face_material(s, o, j);
        std::int32_t& slot = slot_of[static_cast<std::size_t>(m + 1)];
        if (slot >= 0) continue;
        slot = static_cast<std::int32_t>(l.textures.size());
        l.textures.push_back(m);
    }
    for (std::int32_t m : l.textures) slot_of[static_cast<std::size_t>(m + 1)] = -1;
    l.uv = mapping_coords_usable(o);
    if (!smooth) return;
    l.corner_normals = o.corner_normals.size() == 3 * n;
    // When every normal a corner can take is usable (the vertex normals of
    // the vertices written, the corner normals), no face is drawn flat.
    const auto usable = [](const vec3& normal) { return usable_normal(normal); };
    if (std::all_of(l.vertices.begin(), l.vertices.end(), [&](std::uint32_t v) { return usable(o.normals[v]); }) &&
        (!l.corner_normals || std::all_of(o.smooth_normals.begin(), o.smooth_normals.end(), usable))) {
        l.normal_count =
            static_cast<std::uint32_t>(l.vertices.size() + (l.corner_normals ? o.smooth_normals.size() : 0));
        return;
    }
    for (std::size_t j = 0; j < n; ++j)
        if (drawn_flat(o, l.corner_normals, j)) l.flat_faces.push_back(static_cast<std::uint32_t>(j));
    l.normal_count = static_cast<std::uint32_t>(l.vertices.size() + (l.corner_normals ? o.smooth_normals.size() : 0) +
                                                l.flat_faces.size());
}

// Appending to a part's text.
void put(text_block& out, const char* text, std::size_t size) {
    std::memcpy(reserve_text(out, size), text, size);
    out.used += size;
}

void put(text_block& out, const std::string& text) {
    put(out, text.data(), text.size());
}

template <std::size_t N>
void put(text_block& out, const char (&text)[N]) {
    put(out, text, N - 1);
}

// The items are written straight through a cursor, room for the longest
// made once for a run of them.
constexpr std::size_t vector_item_max = 16 + 3 * number_text_max;
constexpr std::size_t index_item_max = 16 + 4 * 21;
// Items of a section written after one reservation of room.
constexpr std::uint64_t items_at_once = 64;

char* write_literal(char* p, const char* text, std::size_t size) {
    std::memcpy(p, text, size);
    return p + size;
}

// What follows an item: a comma, or the end of its section after the last.
char* write_item_end(char* p, bool last) {
    return last ? write_literal(p, "\n  }\n", 5) : write_literal(p, ",\n", 2);
}

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// One or two digits of v < 100, without a leading zero.
char* write_small(char* p, std::uint32_t v) {
    if (v < 10) {
        *p = static_cast<char>('0' + v);
        return p + 1;
    }
    std::memcpy(p, digit_pairs + 2 * v, 2);
    return p + 2;
}

// Exactly four digits of v < 10000, leading zeros included.
char* write_four(char* p, std::uint32_t v) {
    std::memcpy(p, digit_pairs + 2 * (v / 100), 2);
    std::memcpy(p + 2, digit_pairs + 2 * (v % 100), 2);
    return p + 4;
}

// The decimal digits of `value`, as std::to_chars writes them: the indices
// of a mesh have up to six digits, written two and four at a time (the
// rare longer ones by a call of its own, which keeps this one small).
char* write_long_count(char* p, std::uint64_t value) {
    return std::to_chars(p, p + 21, value).ptr;
}

inline char* write_count(char* p, std::uint64_t value) {
    if (value >= 1000000) return write_long_count(p, value);
    const auto v = static_cast<std::uint32_t>(value);
    if (v < 100) return write_small(p, v);
    if (v < 10000) {
        p = write_small(p, v / 100);
        std::memcpy(p, digit_pairs + 2 * (v % 100), 2);
        return p + 2;
    }
    return write_four(write_small(p, v / 10000), v % 10000);
}

void put_count(text_block& out, std::uint64_t value) {
    out.used += static_cast<std::size_t>(write_count(reserve_text(out, 21), value) - (out.data.get() + out.used));
}

// "    <x,y,z>".
char* write_vector(char* p, double x, double y, double z) {
    p = write_literal(p, "    <", 5);
    p += format_number(x, p);
    *p++ = ',';
    p += format_number(y, p);
    *p++ = ',';
    p += format_number(z, p);
    *p++ = '>';
    return p;
}

// "    <a,b,c>".
char* write_triple(char* p, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    p = write_literal(p, "    <", 5);
    p = write_count(p, a);
    *p++ = ',';
    p = write_count(p, b);
    *p++ = ',';
    p = write_count(p, c);
    *p++ = '>';
    return p;
}

// Items [first, end) of a section of `count`, each written by
// write(p, k) at p (returning its end) and followed by its end; at most
// `item_max` bytes each before the end.
template <typename Write>
void put_items(text_block& out, std::uint64_t first, std::uint64_t end, std::uint64_t count, std::size_t item_max,
               Write&& write) {
    for (std::uint64_t k = first; k < end;) {
        const std::uint64_t stop = std::min(end, k + items_at_once);
        char* const start = reserve_text(out, static_cast<std::size_t>(stop - k) * (item_max + 5));
        char* p = start;
        for (; k < stop; ++k) p = write_item_end(write(p, k), k + 1 == count);
        out.used += static_cast<std::size_t>(p - start);
    }
}

void put_section_head(text_block& out, const char* keyword, std::uint64_t count) {
    put(out, "  ");
    put(out, keyword, std::strlen(keyword));
    put(out, " { ");
    put_count(out, count);
    put(out, ",\n");
}

// "    <u,v>".
char* write_uv(char* p, double u, double v) {
    p = write_literal(p, "    <", 5);
    p += format_number(u, p);
    *p++ = ',';
    p += format_number(v, p);
    *p++ = '>';
    return p;
}

void put_texture_list(text_block& out, const pov_names& names, const pov_mesh_object& l) {
    put_section_head(out, "texture_list", l.textures.size());
    for (std::size_t t = 0; t < l.textures.size(); ++t) {
        put(out, "    texture { ");
        const std::int32_t m = l.textures[t];
        if (m == no_material)
            put(out, no_material_texture);
        else if (l.uv && !names.mapped_materials.empty() &&
                 !names.mapped_materials[static_cast<std::size_t>(m)].empty())
            put(out, names.mapped_materials[static_cast<std::size_t>(m)]);
        else
            put(out, names.materials[static_cast<std::size_t>(m)]);
        put(out, t + 1 < l.textures.size() ? " },\n" : " }\n  }\n");
    }
}

// The objects's sections, in order, and the items of each.
enum section {
    vertex_section,
    normal_section,
    uv_section,
    face_section,
    normal_index_section,
    uv_index_section,
    sections
};

struct object_sections {
    std::uint64_t size[sections] = {};
};

object_sections sections_of(const pov_mesh_layout& layout, const pov_mesh_object& l) {
    object_sections c;
    if (l.faces == 0) return c;
    c.size[vertex_section] = l.vertices.size();
    c.size[face_section] = l.faces;
    if (layout.smooth) {
        c.size[normal_section] = l.normal_count;
        c.size[normal_index_section] = l.faces;
    }
    if (l.uv) {
        c.size[uv_section] = l.vertices.size();
        c.size[uv_index_section] = l.faces;
    }
    return c;
}

// The texture of a face, as face_material gives it, and its slot in the
// object's texture list: faces of one material come in runs, so it is looked
// up where the material changes.
struct face_slots {
    const scene& s;
    const mesh_object& o;
    const pov_mesh_formatter& t;
    bool per_face = o.face_materials.size() == o.faces.size();
    std::int32_t material = 0;
    std::uint64_t slot = 0;
    bool known = false;
    std::uint64_t of(std::uint64_t j) {
        const std::int32_t m = per_face ? o.face_materials[j] : no_material;
        if (!known || m != material) {
            material = m;
            slot = static_cast<std::uint64_t>(t.slot_of[static_cast<std::size_t>(face_material(s, o, j) + 1)]);
            known = true;
        }
        return slot;
    }
};

// The text of items [first, end) of `section`, of `count` items, with the
// section's head before its first item and its end after its last.
void put_section_items(text_block& out, const scene& s, const pov_names& names, const mesh_object& o,
                       const pov_mesh_object& l, const pov_mesh_formatter& t, section sec, std::uint64_t first,
                       std::uint64_t end, std::uint64_t count) {
    const std::size_t V = l.vertices.size();
    const std::uint64_t C = l.corner_normals ? o.smooth_normals.size() : 0;
    switch (sec) {
    case vertex_section:
        if (first == 0) put_section_head(out, "vertex_vectors", count);
        put_items(out, first, end, count, vector_item_max, [&](char* p, std::uint64_t k) {
            const vec3& v = o.vertices[l.vertices[k]];
            return write_vector(p, v.x, v.y, v.z);
        });
        break;
    case normal_section:
        if (first == 0) put_section_head(out, "normal_vectors", count);
        put_items(out, first, end, count, vector_item_max, [&](char* p, std::uint64_t k) {
            vec3 n = placeholder_normal;
            if (k < V) {
                n = o.normals[l.vertices[k]];
            } else if (k < V + C) {
                n = o.smooth_normals[k - V];
            } else {
                double f[3];
                face_normal(o, o.faces[l.flat_faces[k - V - C]], f);
                return write_vector(p, f[0], f[1], f[2]);
            }
            if (!usable_normal(n)) n = placeholder_normal;
            return write_vector(p, n.x, n.y, n.z);
        });
        break;
    case uv_section:
        if (first == 0) put_section_head(out, "uv_vectors", count);
        put_items(out, first, end, count, vector_item_max, [&](char* p, std::uint64_t k) {
            const std::size_t v = l.vertices[k];
            return write_uv(p, o.tex_coords[2 * v], o.tex_coords[2 * v + 1]);
        });
        break;
    case uv_index_section:
        if (first == 0) put_section_head(out, "uv_indices", count);
        put_items(out, first, end, count, index_item_max, [&](char* p, std::uint64_t k) {
            const face& f = o.faces[k];
            return write_triple(p, l.written_index[f.a], l.written_index[f.b], l.written_index[f.c]);
        });
        break;
    case face_section: {
        if (first == 0) {
            put_texture_list(out, names, l);
            put_section_head(out, "face_indices", count);
        }
        face_slots slots{s, o, t};
        put_items(out, first, end, count, index_item_max, [&](char* p, std::uint64_t k) {
            const face& f = o.faces[k];
            p = write_triple(p, l.written_index[f.a], l.written_index[f.b], l.written_index[f.c]);
            *p++ = ',';
            return write_count(p, slots.of(k));
        });
        break;
    }
    case normal_index_section: {
        if (first == 0) put_section_head(out, "normal_indices", count);
        // The faces drawn flat, met in order.
        auto flat = std::lower_bound(l.flat_faces.begin(), l.flat_faces.end(), first);
        put_items(out, first, end, count, index_item_max, [&](char* p, std::uint64_t k) {
            if (flat != l.flat_faces.end() && *flat == k) {
                const std::uint64_t i = V + C + static_cast<std::uint64_t>(flat - l.flat_faces.begin());
                ++flat;
                return write_triple(p, i, i, i);
            }
            const face& f = o.faces[k];
            const std::uint32_t corner[3] = {f.a, f.b, f.c};
            std::uint64_t i[3];
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t id = corner_id(o, l, k, c);
                i[c] = id == use_vertex_normal ? l.written_index[corner[c]] : V + id;
            }
            return write_triple(p, i[0], i[1], i[2]);
        });
        break;
    }
    case sections:
        break;
    }
}

}  // namespace

pov_mesh_layout lay_out_pov_mesh(const scene& s, std::int32_t triangle_mode) {
    pov_mesh_layout layout;
    layout.smooth = triangle_mode == 0;
    layout.objects.resize(s.objects.size());
    std::vector<std::int32_t> slot_of(s.materials.size() + 1, -1);
    for (std::size_t i = 0; i < s.objects.size(); ++i)
        lay_out_object(s, s.objects[i], layout.smooth, layout.objects[i], slot_of);
    return layout;
}

std::uint64_t pov_object_items(const pov_mesh_layout& layout, std::size_t object) {
    const object_sections c = sections_of(layout, layout.objects[object]);
    std::uint64_t items = 0;
    for (std::uint64_t n : c.size) items += n;
    return items;
}

std::uint64_t pov_faces_between(const pov_mesh_layout& layout, pov_position from, pov_position to) {
    std::uint64_t faces = 0;
    for (std::size_t i = from.object; i < layout.objects.size() && i <= to.object; ++i) {
        const object_sections c = sections_of(layout, layout.objects[i]);
        const std::uint64_t first = c.size[vertex_section] + c.size[normal_section] + c.size[uv_section];
        const std::uint64_t lo = std::max(i == from.object ? from.item : 0, first);
        const std::uint64_t hi =
            std::min(i == to.object ? to.item : first + c.size[face_section], first + c.size[face_section]);
        if (lo < hi) faces += hi - lo;
    }
    return faces;
}

std::vector<pov_position> cut_pov_mesh(const pov_mesh_layout& layout, std::size_t part_items) {
    // An object's head counts as one more.
    const auto items = [&](std::size_t i) { return pov_object_items(layout, i); };
    std::vector<pov_position> cuts;
    for (const part_place& p : cut_units(layout.objects.size(), items, 1, part_items)) cuts.push_back({p.unit, p.item});
    return cuts;
}

void format_pov_mesh_part(const scene& s, const pov_names& names, const pov_mesh_layout& layout, pov_position from,
                          pov_position to, pov_mesh_formatter& t, text_block& out) {
    if (t.slot_of.size() != s.materials.size() + 1) t.slot_of.assign(s.materials.size() + 1, -1);
    for (std::size_t i = from.object; i < s.objects.size() && (i < to.object || (i == to.object && to.item > 0)); ++i) {
        const mesh_object& o = s.objects[i];
        const pov_mesh_object& l = layout.objects[i];
        if (l.faces == 0) continue;
        const object_sections c = sections_of(layout, l);
        const std::uint64_t total = pov_object_items(layout, i);
        const std::uint64_t lo = i == from.object ? from.item : 0;
        const std::uint64_t hi = i == to.object ? to.item : total;
        if (lo >= hi) continue;
        for (std::size_t k = 0; k < l.textures.size(); ++k)
            t.slot_of[static_cast<std::size_t>(l.textures[k] + 1)] = static_cast<std::int32_t>(k);
        if (lo == 0) {
            put(out, "#declare ");
            put(out, names.objects[i]);
            put(out, " = mesh2 {\n");
        }
        std::uint64_t start = 0;  // of the section at hand, in the object's items
        for (int sec = 0; sec < sections; ++sec) {
            const std::uint64_t count = c.size[sec];
            const std::uint64_t b = std::max(start, lo), e = std::min(start + count, hi);
            if (b < e)
                put_section_items(out, s, names, o, l, t, static_cast<section>(sec), b - start, e - start, count);
            start += count;
        }
        if (hi == total) put(out, "}\n");
        for (std::int32_t m : l.textures) t.slot_of[static_cast<std::size_t>(m + 1)] = -1;
    }
}

}  // namespace tessvert
