#include "writers/gltf/gltf_mesh.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "drawing/drawn_normals.hpp"
#include "writers/common/parts.hpp"

namespace tessvert {

namespace {

constexpr std::uint32_t unused = std::numeric_limits<std::uint32_t>::max();

// Where a mesh vertex's normal comes from: the kind in the top two bits,
// then the index of a vertex normal, a smooth normal or a face drawn flat.
// An object has at most 65 535 faces and vertices (16-bit counts).
constexpr std::uint32_t kind_shift = 30;
constexpr std::uint32_t from_vertex = 0, from_smooth = 1, from_face = 2;

constexpr std::uint32_t normal_ref(std::uint32_t kind, std::uint32_t index) {
    return kind << kind_shift | index;
}

// The unit normal `ref` names, in double precision; a face without area
// stands up along +z (it is not seen, whatever its normal).
std::array<double, 3> normal_direction(const mesh_object& o, std::uint32_t ref) {
    const std::uint32_t index = ref & ((1u << kind_shift) - 1);
    double n[3] = {0, 0, 1};
    switch (ref >> kind_shift) {
    case from_vertex:
    case from_smooth: {
        const vec3& v = (ref >> kind_shift) == from_vertex ? o.normals[index] : o.smooth_normals[index];
        n[0] = v.x, n[1] = v.y, n[2] = v.z;
        break;
    }
    default:
        if (!face_unit_normal(o, o.faces[index], n)) n[0] = 0, n[1] = 0, n[2] = 1;
        break;
    }
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    return {n[0] / length, n[1] / length, n[2] / length};
}

std::array<float, 3> as_floats(const std::array<double, 3>& v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

std::uint32_t corner_vertex(const face& f, int k) {
    return k == 0 ? f.a : k == 1 ? f.b : f.c;
}

// The mesh vertices of one object while they are made: per object vertex
// a chain of its mesh vertices, each with its normal as written.
struct vertex_chains {
    std::vector<std::uint32_t> head, next;
    std::vector<std::array<float, 3>> normal;
};

// The mesh vertex of object vertex `v` whose normal is `value`, made when
// there is none.
std::uint32_t vertex_with_normal(gltf_object_layout& l, vertex_chains& c, std::uint32_t v, std::uint32_t ref,
                                 const std::array<float, 3>& value) {
    for (std::uint32_t i = c.head[v]; i != unused; i = c.next[i])
        if (c.normal[i] == value) return i;
    const auto i = static_cast<std::uint32_t>(l.source.size());
    l.source.push_back(v);
    l.normal_of.push_back(ref);
    c.normal.push_back(value);
    c.next.push_back(c.head[v]);
    c.head[v] = i;
    return i;
}

void lay_out_vertices(const drawn_scene& d, const mesh_object& o, gltf_object_layout& l) {
    const std::size_t n = o.faces.size();
    l.at_vertex.assign(o.vertices.size(), unused);
    if (!d.smooth) {
        for (const face& f : o.faces)
            for (int k = 0; k < 3; ++k) {
                std::uint32_t& at = l.at_vertex[corner_vertex(f, k)];
                if (at != unused) continue;
                at = static_cast<std::uint32_t>(l.source.size());
                l.source.push_back(corner_vertex(f, k));
            }
        return;
    }
    l.corner_normals = d.corner_normals && o.corner_normals.size() == 3 * n;
    l.at_smooth.assign(l.corner_normals ? o.smooth_normals.size() : 0, unused);
    vertex_chains chains;
    chains.head.assign(o.vertices.size(), unused);
    for (std::size_t j = 0; j < n; ++j) {
        const face& f = o.faces[j];
        if (drawn_flat(o, l.corner_normals, j)) {
            const std::uint32_t ref = normal_ref(from_face, static_cast<std::uint32_t>(j));
            const std::array<float, 3> value = as_floats(normal_direction(o, ref));
            gltf_flat_face& flat = l.flat.emplace_back();
            flat.face = static_cast<std::uint32_t>(j);
            for (int k = 0; k < 3; ++k) flat.corner[k] = vertex_with_normal(l, chains, corner_vertex(f, k), ref, value);
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = corner_vertex(f, k);
            const std::uint32_t id = l.corner_normals ? o.corner_normals[3 * j + k] : use_vertex_normal;
            std::uint32_t& at = id == use_vertex_normal ? l.at_vertex[v] : l.at_smooth[id];
            if (at != unused) continue;
            const std::uint32_t ref =
                id == use_vertex_normal ? normal_ref(from_vertex, v) : normal_ref(from_smooth, id);
            at = vertex_with_normal(l, chains, v, ref, as_floats(normal_direction(o, ref)));
        }
    }
}

// The faces of each material, in the order of their first faces.
void lay_out_primitives(const drawn_scene& d, const mesh_object& o, gltf_object_layout& l,
                        std::vector<std::int32_t>& slot_of) {
    const scene& s = *d.file;
    std::vector<std::uint32_t> slot_of_face(o.faces.size());
    for (std::size_t j = 0; j < o.faces.size(); ++j) {
        const std::int32_t m = face_material(s, o, j);
        std::int32_t& slot = slot_of[static_cast<std::size_t>(m + 1)];
        if (slot < 0) {
            slot = static_cast<std::int32_t>(l.primitives.size());
            l.primitives.push_back({m, 0, 0, false});
        }
        ++l.primitives[static_cast<std::size_t>(slot)].faces;
        slot_of_face[j] = static_cast<std::uint32_t>(slot);
    }
    std::uint32_t first = 0;
    for (gltf_primitive& p : l.primitives) {
        slot_of[static_cast<std::size_t>(p.material + 1)] = -1;
        p.first = first;
        first += p.faces;
    }
    if (l.primitives.size() > 1) {
        l.order.resize(o.faces.size());
        std::vector<std::uint32_t> next(l.primitives.size());
        for (std::size_t p = 0; p < next.size(); ++p) next[p] = l.primitives[p].first;
        for (std::size_t j = 0; j < o.faces.size(); ++j)
            l.order[next[slot_of_face[j]]++] = static_cast<std::uint32_t>(j);
    }
    const bool coords = mapping_coords_usable(o);
    for (gltf_primitive& p : l.primitives) {
        p.mapped = coords && p.material != no_material && !look_of(d, p.material).map.image.empty();
        l.uv = l.uv || p.mapped;
    }
}

// The position of object vertex `v` in mesh `m`.
std::array<double, 3> position(const mesh_object& o, const gltf_mesh& m, std::uint32_t v) {
    const vec3& p = o.vertices[v];
    if (!m.placed) return {p.x, p.y, p.z};
    const placement& t = m.matrix;
    std::array<double, 3> out{};
    for (int k = 0; k < 3; ++k) out[k] = p.x * t[k] + p.y * t[3 + k] + p.z * t[6 + k] + t[9 + k];
    return out;
}

// The bounds of the mesh's positions as written; false when one is not a
// finite single-precision number.
bool bound(const mesh_object& o, const gltf_object_layout& l, gltf_mesh& m) {
    m.min.fill(std::numeric_limits<float>::max());
    m.max.fill(std::numeric_limits<float>::lowest());
    for (const std::uint32_t v : l.source) {
        const std::array<float, 3> p = as_floats(position(o, m, v));
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(p[k])) return false;
            m.min[k] = std::min(m.min[k], p[k]);
            m.max[k] = std::max(m.max[k], p[k]);
        }
    }
    return true;
}

// The inverse transpose of the matrix's 3 x 3 part, which turns normals;
// false when it has none.
bool normal_matrix_of(const placement& t, std::array<double, 9>& n, bool& mirrored) {
    // Row r, column c of the 3 x 3 part is t[3 * c + r] (its columns are the
    // images of the axes).
    const auto a = [&](int r, int c) { return t[static_cast<std::size_t>(3 * c + r)]; };
    const double det = a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) -
                       a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
                       a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
    if (!(det != 0) || !std::isfinite(det)) return false;
    mirrored = det < 0;
    // The inverse transpose is the cofactor matrix over the determinant.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            n[static_cast<std::size_t>(3 * r + c)] = (a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1)) / det;
        }
    return true;
}

std::uint64_t mesh_items(const gltf_layout& layout, std::size_t k) {
    const gltf_object_layout& l = layout.objects[layout.meshes[k].object];
    const std::uint64_t n = l.source.size();
    return n * (1 + (layout.smooth ? 1 : 0) + (l.uv ? 1 : 0)) + l.faces;
}

// Little-endian values at a cursor.
char* put_u32(char* p, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, 4);
    } else {
        for (int b = 0; b < 4; ++b) p[b] = static_cast<char>(v >> (8 * b));
    }
    return p + 4;
}

char* put_u16(char* p, std::uint32_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
    return p + 2;
}

char* put_f32(char* p, double v) {
    return put_u32(p, std::bit_cast<std::uint32_t>(static_cast<float>(v)));
}

// The mesh vertex of corner `k` of face `j`.
std::uint32_t corner_of(const mesh_object& o, const gltf_object_layout& l, std::uint32_t j, int k) {
    if (!l.flat.empty()) {
        const auto flat = std::lower_bound(l.flat.begin(), l.flat.end(), j,
                                           [](const gltf_flat_face& f, std::uint32_t face) { return f.face < face; });
        if (flat != l.flat.end() && flat->face == j) return flat->corner[static_cast<std::size_t>(k)];
    }
    if (l.corner_normals) {
        const std::uint32_t id = o.corner_normals[3 * static_cast<std::size_t>(j) + static_cast<std::size_t>(k)];
        if (id != use_vertex_normal) return l.at_smooth[id];
    }
    return l.at_vertex[corner_vertex(o.faces[j], k)];
}

// The bytes of items [lo, hi) of mesh `k`.
void format_mesh_items(const drawn_scene& d, const gltf_layout& layout, std::size_t k, std::uint64_t lo,
                       std::uint64_t hi, text_block& out) {
    const gltf_mesh& m = layout.meshes[k];
    const mesh_object& o = d.file->objects[m.object];
    const gltf_object_layout& l = layout.objects[m.object];
    const std::uint64_t n = l.source.size();
    char* const start = reserve_text(out, (hi - lo) * 12 + 4 * l.primitives.size());
    char* p = start;
    std::uint64_t base = 0;
    for (std::uint64_t i = std::max(lo, base); i < std::min(hi, base + n); ++i) {
        const std::array<double, 3> v = position(o, m, l.source[i - base]);
        for (const double c : v) p = put_f32(p, c);
    }
    base += n;
    if (layout.smooth) {
        for (std::uint64_t i = std::max(lo, base); i < std::min(hi, base + n); ++i) {
            std::array<double, 3> v = normal_direction(o, l.normal_of[i - base]);
            if (m.placed) {
                const std::array<double, 9>& t = m.normal_matrix;
                const std::array<double, 3> w{t[0] * v[0] + t[1] * v[1] + t[2] * v[2],
                                              t[3] * v[0] + t[4] * v[1] + t[5] * v[2],
                                              t[6] * v[0] + t[7] * v[1] + t[8] * v[2]};
                const double length = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
                v = length > 0 && std::isfinite(length)
                        ? std::array<double, 3>{w[0] / length, w[1] / length, w[2] / length}
                        : std::array<double, 3>{0, 0, 1};
            }
            for (const double c : v) p = put_f32(p, c);
        }
        base += n;
    }
    if (l.uv) {
        // glTF's mapping coordinates start at the image's top left corner,
        // 3D Studio's at its bottom left.
        for (std::uint64_t i = std::max(lo, base); i < std::min(hi, base + n); ++i) {
            const std::size_t v = l.source[i - base];
            p = put_f32(p, o.tex_coords[2 * v]);
            p = put_f32(p, 1.0 - static_cast<double>(o.tex_coords[2 * v + 1]));
        }
        base += n;
    }
    const bool wide = n > 0xFFFF;
    for (const gltf_primitive& prim : l.primitives) {
        const std::uint64_t from = std::max(lo, base), to = std::min(hi, base + prim.faces);
        for (std::uint64_t i = from; i < to; ++i) {
            const std::uint64_t at = prim.first + (i - base);
            const auto j = static_cast<std::uint32_t>(l.order.empty() ? at : l.order[at]);
            std::uint32_t c[3] = {corner_of(o, l, j, 0), corner_of(o, l, j, 1), corner_of(o, l, j, 2)};
            if (m.mirrored) std::swap(c[1], c[2]);
            for (const std::uint32_t v : c) p = wide ? put_u32(p, v) : put_u16(p, v);
        }
        // Each primitive's indices end on a 4-byte boundary.
        if (to == base + prim.faces && from < to && !wide && prim.faces % 2 == 1) p = put_u16(p, 0);
        base += prim.faces;
    }
    out.used += static_cast<std::size_t>(p - start);
}

}  // namespace

bool split_placement(const placement& m, gltf_node_placement& into) {
    std::array<double, 3> axis[3];
    for (int a = 0; a < 3; ++a) {
        for (int k = 0; k < 3; ++k) axis[a][k] = m[static_cast<std::size_t>(3 * a + k)];
        const double length = std::sqrt(axis[a][0] * axis[a][0] + axis[a][1] * axis[a][1] + axis[a][2] * axis[a][2]);
        if (!(length > 0) || !std::isfinite(length)) return false;
        into.scale[a] = length;
        for (double& c : axis[a]) c /= length;
    }
    const auto dot = [](const std::array<double, 3>& x, const std::array<double, 3>& y) {
        return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
    };
    constexpr double square = 1e-6;
    if (std::fabs(dot(axis[0], axis[1])) > square || std::fabs(dot(axis[0], axis[2])) > square ||
        std::fabs(dot(axis[1], axis[2])) > square)
        return false;
    // The third axis must be the cross product of the first two: no mirror.
    const std::array<double, 3> cross{axis[0][1] * axis[1][2] - axis[0][2] * axis[1][1],
                                      axis[0][2] * axis[1][0] - axis[0][0] * axis[1][2],
                                      axis[0][0] * axis[1][1] - axis[0][1] * axis[1][0]};
    if (dot(cross, axis[2]) <= 0) return false;
    for (int k = 0; k < 3; ++k) {
        into.translation[k] = m[static_cast<std::size_t>(9 + k)];
        if (!std::isfinite(into.translation[k])) return false;
    }
    // The rotation matrix (columns: the unit axes) as a quaternion.
    const auto r = [&](int row, int col) { return axis[col][row]; };
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    std::array<double, 4>& q = into.rotation;
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        q = {(r(2, 1) - r(1, 2)) / s, (r(0, 2) - r(2, 0)) / s, (r(1, 0) - r(0, 1)) / s, s / 4};
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2 * std::sqrt(1 + r(0, 0) - r(1, 1) - r(2, 2));
        q = {s / 4, (r(0, 1) + r(1, 0)) / s, (r(0, 2) + r(2, 0)) / s, (r(2, 1) - r(1, 2)) / s};
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2 * std::sqrt(1 + r(1, 1) - r(0, 0) - r(2, 2));
        q = {(r(0, 1) + r(1, 0)) / s, s / 4, (r(1, 2) + r(2, 1)) / s, (r(0, 2) - r(2, 0)) / s};
    } else {
        const double s = 2 * std::sqrt(1 + r(2, 2) - r(0, 0) - r(1, 1));
        q = {(r(0, 2) + r(2, 0)) / s, (r(1, 2) + r(2, 1)) / s, s / 4, (r(1, 0) - r(0, 1)) / s};
    }
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& c : q) c /= length;
    return true;
}

gltf_layout lay_out_gltf(const drawn_scene& d) {
    constexpr placement unmoved{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const scene& s = *d.file;
    gltf_layout layout;
    layout.smooth = d.smooth;
    layout.objects.resize(s.objects.size());
    layout.mesh_of.assign(s.objects.size(), -1);
    layout.object_placed.assign(s.objects.size(), 0);
    layout.object_nodes.resize(s.objects.size());
    std::vector<std::int32_t> slot_of(s.materials.size() + 1, -1);
    for (std::size_t i = 0; i < s.objects.size(); ++i) {
        const mesh_object& o = s.objects[i];
        gltf_object_layout& l = layout.objects[i];
        l.faces = static_cast<std::uint32_t>(o.faces.size());
        if (l.faces == 0) continue;
        lay_out_primitives(d, o, l, slot_of);
        lay_out_vertices(d, o, l);
        gltf_mesh m;
        m.object = static_cast<std::uint32_t>(i);
        const bool moved = i < d.object_placements.size() && d.object_placements[i] != unmoved;
        if (moved && split_placement(d.object_placements[i], layout.object_nodes[i])) {
            layout.object_placed[i] = 1;
        } else if (moved) {
            // A placement that cannot be applied (it flattens the mesh, or
            // puts it past single precision) leaves the mesh as stored.
            m.placed = true;
            m.matrix = d.object_placements[i];
            if (!normal_matrix_of(m.matrix, m.normal_matrix, m.mirrored) || !bound(o, l, m)) m = gltf_mesh{};
            m.object = static_cast<std::uint32_t>(i);
        }
        if (!m.placed) bound(o, l, m);  // the file's own numbers are finite floats
        layout.mesh_of[i] = static_cast<std::int32_t>(layout.meshes.size());
        layout.meshes.push_back(m);
    }
    layout.nodes.resize(d.copies.size());
    for (std::size_t c = 0; c < d.copies.size(); ++c) {
        const drawn_copy& copy = d.copies[c];
        std::int32_t& held = layout.copy_mesh.emplace_back(-2);
        if (layout.objects[copy.object].faces == 0) continue;
        if (split_placement(copy.matrix, layout.nodes[c])) {
            held = -1;
            continue;
        }
        gltf_mesh m;
        m.object = copy.object;
        m.placed = true;
        m.matrix = copy.matrix;
        if (!normal_matrix_of(copy.matrix, m.normal_matrix, m.mirrored) ||
            !bound(s.objects[copy.object], layout.objects[copy.object], m))
            continue;
        held = static_cast<std::int32_t>(layout.meshes.size());
        layout.meshes.push_back(m);
    }
    for (std::size_t k = 0; k < layout.meshes.size(); ++k) {
        layout.meshes[k].offset = layout.bytes;
        layout.bytes = mesh_blocks(layout, k).end;
    }
    return layout;
}

gltf_mesh_blocks mesh_blocks(const gltf_layout& layout, std::size_t k) {
    const gltf_mesh& m = layout.meshes[k];
    const gltf_object_layout& l = layout.objects[m.object];
    gltf_mesh_blocks b;
    b.vertices = static_cast<std::uint32_t>(l.source.size());
    b.index_size = b.vertices > 0xFFFF ? 4 : 2;
    std::uint64_t at = m.offset;
    b.positions = at;
    at += 12 * std::uint64_t{b.vertices};
    if (layout.smooth) {
        b.normals = at;
        at += 12 * std::uint64_t{b.vertices};
    }
    if (l.uv) {
        b.uvs = at;
        at += 8 * std::uint64_t{b.vertices};
    }
    for (const gltf_primitive& p : l.primitives) {
        b.indices.push_back(at);
        at += (3 * std::uint64_t{p.faces} * b.index_size + 3) / 4 * 4;
    }
    b.end = at;
    return b;
}

std::vector<gltf_position> cut_gltf_buffer(const gltf_layout& layout, std::size_t part_items) {
    const auto items = [&](std::size_t k) { return mesh_items(layout, k); };
    std::vector<gltf_position> cuts;
    for (const part_place& p : cut_units(layout.meshes.size(), items, 0, part_items)) cuts.push_back({p.unit, p.item});
    return cuts;
}

std::uint64_t gltf_faces_between(const gltf_layout& layout, gltf_position from, gltf_position to) {
    std::uint64_t faces = 0;
    for (std::size_t k = from.mesh; k < layout.meshes.size() && k <= to.mesh; ++k) {
        const std::uint64_t n = mesh_items(layout, k);
        const std::uint64_t first = n - layout.objects[layout.meshes[k].object].faces;
        const std::uint64_t lo = std::max(k == from.mesh ? from.item : 0, first);
        const std::uint64_t hi = k == to.mesh ? to.item : n;
        if (lo < hi) faces += hi - lo;
    }
    return faces;
}

void format_gltf_part(const drawn_scene& d, const gltf_layout& layout, gltf_position from, gltf_position to,
                      text_block& out) {
    for (std::size_t k = from.mesh; k < layout.meshes.size() && (k < to.mesh || (k == to.mesh && to.item > 0)); ++k) {
        const std::uint64_t lo = k == from.mesh ? from.item : 0;
        const std::uint64_t hi = k == to.mesh ? to.item : mesh_items(layout, k);
        if (lo < hi) format_mesh_items(d, layout, k, lo, hi, out);
    }
}

}  // namespace tessvert
