// Vertex normals and corner normals in one pass over the faces that sums
// both, then one pass to hand the corners their normals.
//
// Most vertices are used by faces of a single non-zero mask: every corner
// there takes the vertex normal, and the pass sums nothing else for them. A
// corner's normal depends only on its vertex and its face's mask. Where the
// masks at a vertex are few and share no bit, the faces that share a bit
// with a face's mask are those of that very mask: each mask's sum is taken
// as the faces are met in ascending order, the adds of the definition in
// its order. The first mask's sum is the vertex's own until a second mask
// comes. At the other vertices (mask 0, more masks, masks sharing bits) the
// faces are listed once, in ascending order, and each distinct mask is
// summed over that list: in O(masks x faces) per vertex with at most
// max_masks_at_vertex masks.
#include "geometry/corner_normals.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/corner_steps.hpp"
#include "geometry/vec3_ops.hpp"
#include "geometry/vertex_normals.hpp"
#include "model/populate.hpp"

namespace tessvert {

namespace {

using corner_steps::each_distinct_vertex;
using corner_steps::set_corners;
using walked_vertex = corner_scratch::walked_vertex;

constexpr std::uint32_t not_walked = ~std::uint32_t{0};
// In place of a vertex's first new normal: its corners are given theirs
// by its walk.
constexpr std::uint32_t set_by_walk = use_vertex_normal - 1;

// Adds the face of mask `m` and vector `fv` to the sums of walked vertex
// `w`, or lists `w` when its masks are not few and apart. Returns the
// place of `m` among the vertex's masks (0 once it is listed).
std::uint32_t add_to_sums(walked_vertex& w, std::uint32_t m, const vec3& fv) {
    std::size_t d = 0;
    while (d < w.used && w.masks[d] != m) ++d;
    if (d == w.used) {
        if (m == 0 || w.used == w.masks.size()) {
            w.listed = true;
            return 0;
        }
        for (std::size_t e = 0; e < w.used; ++e)
            if ((w.masks[e] & m) != 0) {
                w.listed = true;
                return 0;
            }
        w.masks[d] = m;
        w.counts[d] = 0;
        w.sums[d] = vec3{0.0f, 0.0f, 0.0f};
        ++w.used;
    }
    w.sums[d] = vec3_add(w.sums[d], fv);
    ++w.counts[d];
    return static_cast<std::uint32_t>(d);
}

// The faces listed at a vertex and what its walk needs; `place` and
// `vectors` hold room for one entry per face.
struct listed_walk {
    const face* faces;
    const vec3* vertices;
    const std::uint32_t* mask;
    std::vector<std::uint32_t>& corner_normals;
    std::vector<vec3>& normals;
    std::vector<std::uint8_t>& place;
    std::vector<vec3>& vectors;
};

// Gives every corner at vertex v, whose faces are listed[0 .. count) in
// ascending order, its normal; false when the faces carry more than
// max_masks_at_vertex distinct masks (every corner keeps the vertex
// normal).
bool walk_listed(listed_walk& w, std::uint32_t v, const std::uint32_t* listed, std::size_t count) {
    if (w.place.size() < count) {
        w.place.resize(count);
        w.vectors.resize(count);
    }
    const auto add_normal = [&](const vec3& n) {
        w.normals.push_back(n);
        return static_cast<std::uint32_t>(w.normals.size() - 1);
    };
    // Per distinct mask in order of first use: the mask, the sum and count
    // of the faces that share a bit with it, and the normal its corners
    // take; per face listed, the place of its mask among them.
    std::array<std::uint32_t, max_masks_at_vertex> masks;
    std::array<std::uint32_t, max_masks_at_vertex> ids;
    std::size_t distinct = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const std::uint32_t m = w.mask[listed[j]];
        std::size_t d = 0;
        while (d < distinct && masks[d] != m) ++d;
        if (d == distinct) {
            if (distinct == max_masks_at_vertex) {
                for (std::size_t i = 0; i < count; ++i)
                    set_corners(w.faces, w.corner_normals, listed[i], v, use_vertex_normal);
                return false;
            }
            masks[distinct++] = m;
        }
        w.place[j] = static_cast<std::uint8_t>(d);
        w.vectors[j] = face_vector(w.vertices, w.faces[listed[j]]);
    }
    for (std::size_t d = 0; d < distinct; ++d) {
        const std::uint32_t m = masks[d];
        ids[d] = use_vertex_normal;
        if (m == 0) {
            // The face alone; every face of mask 0 has its own normal.
            for (std::size_t j = 0; j < count; ++j)
                if (w.place[j] == d)
                    set_corners(w.faces, w.corner_normals, listed[j], v,
                                add_normal(normal_of_sum(vec3_add(vec3{0.0f, 0.0f, 0.0f}, w.vectors[j]), 1)));
            continue;
        }
        std::uint32_t sharing = 0;
        vec3 sum{0.0f, 0.0f, 0.0f};
        for (std::size_t j = 0; j < count; ++j)
            if ((w.mask[listed[j]] & m) != 0) {
                sum = vec3_add(sum, w.vectors[j]);
                ++sharing;
            }
        // When every face at the vertex shares a bit with m, the steps are
        // those of the vertex normal, on the same faces in the same order:
        // the corners keep it.
        if (sharing != count) ids[d] = add_normal(normal_of_sum(sum, sharing));
    }
    for (std::size_t j = 0; j < count; ++j) {
        const std::size_t d = w.place[j];
        if (masks[d] != 0) set_corners(w.faces, w.corner_normals, listed[j], v, ids[d]);
    }
    return true;
}

// The pass over the faces: per vertex the sum (into `vertex_sums`) and
// count of all its faces' vectors, as the vertex normals take them, its
// first face's mask, and for a vertex of several masks (or of mask 0) a
// walked record; per corner, into `corner_normals`, the place of its
// face's mask among its vertex's masks (where they are few and apart).
void sum_faces(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
               const std::uint32_t* mask, std::vector<vec3>& vertex_sums, std::vector<std::uint32_t>& corner_normals,
               corner_scratch& scratch) {
    // Running sums start at +0, as the vertex normals' do.
    reserve_populated(vertex_sums, vertex_count);
    vertex_sums.assign(vertex_count, vec3{0.0f, 0.0f, 0.0f});
    scratch.counts.assign(vertex_count, 0);
    scratch.first_mask.resize(vertex_count);
    scratch.slot.assign(vertex_count, not_walked);
    scratch.walked.clear();
    // A vertex is walked once at most: room for all of them at once, so that
    // the records are never copied as they come (the pages are touched only
    // as records are added).
    scratch.walked.reserve(vertex_count);
    corner_normals.clear();
    reserve_populated(corner_normals, 3 * face_count);
    vec3* const sums = vertex_sums.data();
    std::uint32_t* const counts = scratch.counts.data();
    std::uint32_t* const first_mask = scratch.first_mask.data();
    std::uint32_t* const slot = scratch.slot.data();
    std::vector<walked_vertex>& walked = scratch.walked;
    const auto walk = [&walked, slot](std::uint32_t v) -> walked_vertex& {
        slot[v] = static_cast<std::uint32_t>(walked.size());
        walked.push_back(walked_vertex{0, {}, {}, {}, 0, false});
        return walked.back();
    };
    for (std::size_t j = 0; j < face_count; ++j) {
        const face& f = faces[j];
        const vec3 fv = face_vector(vertices, f);
        const std::uint32_t m = mask[j];
        const std::uint32_t named[3] = {f.a, f.b, f.c};
        std::uint32_t place[3];
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v = named[k];
            // A face that names a vertex twice or thrice counts once for it.
            if (k > 0 && v == f.a) {
                place[k] = place[0];
                continue;
            }
            if (k == 2 && v == f.b) {
                place[k] = place[1];
                continue;
            }
            place[k] = 0;
            if (counts[v] == 0) {
                first_mask[v] = m;
                if (m == 0) walk(v).listed = true;
            } else if (slot[v] != not_walked) {
                walked_vertex& w = walked[slot[v]];
                if (!w.listed) place[k] = add_to_sums(w, m, fv);
            } else if (m != first_mask[v]) {
                // A second mask: the first one's faces so far are all the
                // vertex's, summed as its own.
                walked_vertex& w = walk(v);
                w.masks[0] = first_mask[v];
                w.counts[0] = counts[v];
                w.sums[0] = sums[v];
                w.used = 1;
                place[k] = add_to_sums(w, m, fv);
            }
            sums[v] = vec3_add(sums[v], fv);
            ++counts[v];
        }
        for (const std::uint32_t p : place) corner_normals.push_back(p);
    }
}

// Given the sums and places of sum_faces, the corner normals: listed
// vertices walked, the others' masks given their normals in vertex order,
// then each corner its mask's. Returns whether some vertex had more than
// max_masks_at_vertex distinct masks.
bool hand_out_corners(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                      const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                      std::vector<vec3>& smooth_normals, corner_scratch& scratch) {
    assert(corner_normals.size() == 3 * face_count);
    smooth_normals.clear();
    const std::vector<std::uint32_t>& slot = scratch.slot;
    std::vector<walked_vertex>& walked = scratch.walked;
    if (walked.empty()) {
        std::fill(corner_normals.begin(), corner_normals.end(), use_vertex_normal);
        return false;
    }

    // As many new normals as there can be: a listed vertex has at most one
    // a face. The faces of the listed vertices, each face once, in ascending
    // order: those of the k-th listed vertex are faces[start[k] ..
    // start[k + 1]); its place among them is in its first_id for now.
    std::vector<std::uint32_t>& start = scratch.start;
    std::vector<std::uint32_t>& listed_faces = scratch.faces;
    start.clear();
    std::size_t most = 0;
    std::uint32_t listed = 0;
    for (std::size_t v = 0; v < vertex_count; ++v) {
        if (slot[v] == not_walked) continue;
        walked_vertex& w = walked[slot[v]];
        if (!w.listed) {
            most += w.used;
            continue;
        }
        w.first_id = static_cast<std::uint32_t>(start.size());
        start.push_back(listed);
        listed += scratch.counts[v];
    }
    most += listed;
    if (!start.empty()) {
        listed_faces.resize(listed);
        std::vector<std::uint32_t>& next = scratch.counts;  // where each listed vertex's next face goes
        for (std::size_t v = 0; v < vertex_count; ++v)
            if (slot[v] != not_walked && walked[slot[v]].listed) next[v] = start[walked[slot[v]].first_id];
        for (std::size_t j = 0; j < face_count; ++j)
            each_distinct_vertex(faces[j], [&](std::uint32_t v) {
                if (slot[v] != not_walked && walked[slot[v]].listed)
                    listed_faces[next[v]++] = static_cast<std::uint32_t>(j);
            });
        start.push_back(listed);
    }

    // The new normals in vertex order, each vertex's in the order of its
    // masks' first use, in memory taken once.
    reserve_populated(smooth_normals, most);
    std::vector<std::uint8_t> place;
    std::vector<vec3> vectors;
    listed_walk walk{faces, vertices, mask, corner_normals, smooth_normals, place, vectors};
    bool too_many_masks = false;
    // Per vertex, in place of its first mask: its first new normal, or
    // use_vertex_normal, or set_by_walk.
    std::uint32_t* const first_id = scratch.first_mask.data();
    for (std::size_t v = 0; v < vertex_count; ++v) {
        if (slot[v] == not_walked) {
            first_id[v] = use_vertex_normal;
            continue;
        }
        walked_vertex& w = walked[slot[v]];
        if (w.listed) {
            const std::uint32_t k = w.first_id;
            too_many_masks |= !walk_listed(walk, static_cast<std::uint32_t>(v), listed_faces.data() + start[k],
                                           start[k + 1] - start[k]);
            first_id[v] = set_by_walk;
            continue;
        }
        // Masks apart: the faces that share a bit with a face's mask are
        // those of the mask, never all the faces at the vertex.
        first_id[v] = static_cast<std::uint32_t>(smooth_normals.size());
        for (std::size_t d = 0; d < w.used; ++d) smooth_normals.push_back(normal_of_sum(w.sums[d], w.counts[d]));
    }

    // The corners at vertices of masks apart take their mask's normal, the
    // place of the mask that sum_faces left in the corner counted from the
    // vertex's first (a vertex named twice by a face gets it at both
    // corners).
    std::uint32_t* const corners = corner_normals.data();
    for (std::size_t j = 0; j < face_count; ++j) {
        const std::uint32_t named[3] = {faces[j].a, faces[j].b, faces[j].c};
        for (std::size_t k = 0; k < 3; ++k) {
            const std::uint32_t first = first_id[named[k]];
            std::uint32_t& corner = corners[3 * j + k];
            if (first == use_vertex_normal)
                corner = use_vertex_normal;
            else if (first != set_by_walk)
                corner += first;
        }
    }
    return too_many_masks;
}

}  // namespace

bool compute_corner_normals(mesh_object& o, corner_scratch& scratch) {
    assert(faces_in_range(o) && o.normals.size() == o.vertices.size());
    o.corner_normals.clear();
    o.smooth_normals.clear();
    if (o.smoothing.size() != o.faces.size()) return false;
    return compute_corner_normals(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size(),
                                  o.smoothing.data(), o.corner_normals, o.smooth_normals, scratch);
}

bool compute_corner_normals(mesh_object& o) {
    corner_scratch scratch;
    return compute_corner_normals(o, scratch);
}

bool compute_corner_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                            const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                            std::vector<vec3>& smooth_normals) {
    corner_scratch scratch;
    return compute_corner_normals(faces, face_count, vertices, vertex_count, mask, corner_normals, smooth_normals,
                                  scratch);
}

bool compute_corner_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                            const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                            std::vector<vec3>& smooth_normals, corner_scratch& scratch) {
    std::vector<vec3> vertex_sums;
    sum_faces(faces, face_count, vertices, vertex_count, mask, vertex_sums, corner_normals, scratch);
    return hand_out_corners(faces, face_count, vertices, vertex_count, mask, corner_normals, smooth_normals, scratch);
}

bool compute_normals_and_corners(const face* faces, std::size_t face_count, const vec3* vertices,
                                 std::size_t vertex_count, const std::uint32_t* mask, std::vector<vec3>& normals,
                                 std::vector<std::uint32_t>& corner_normals, std::vector<vec3>& smooth_normals,
                                 corner_scratch& scratch) {
    // The sums are kept where the normals go, each replaced by its normal.
    sum_faces(faces, face_count, vertices, vertex_count, mask, normals, corner_normals, scratch);
    for (std::size_t v = 0; v < vertex_count; ++v) normals[v] = normal_of_sum(normals[v], scratch.counts[v]);
    return hand_out_corners(faces, face_count, vertices, vertex_count, mask, corner_normals, smooth_normals, scratch);
}

void report_too_many_masks(const mesh_object& first, reporter& report) {
    report_warning(report, "object \"" + printable(first.name) + "\": faces of more than " +
                               std::to_string(max_masks_at_vertex) +
                               " different smoothing groups meet at a vertex; every corner at such a vertex"
                               " (in any object) takes the plain vertex normal");
}

vec3 corner_normal(const mesh_object& o, std::size_t j, int k) {
    const face& f = o.faces[j];
    const std::uint32_t vertex = k == 0 ? f.a : k == 1 ? f.b : f.c;
    if (o.corner_normals.size() != 3 * o.faces.size()) return o.normals[vertex];
    const std::uint32_t id = o.corner_normals[3 * j + static_cast<std::size_t>(k)];
    return id == use_vertex_normal ? o.normals[vertex] : o.smooth_normals[id];
}

}  // namespace tessvert
