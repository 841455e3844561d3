// Corner normals in one pass over the faces, then one walk over the
// vertices where masks differ.
//
// Most vertices are used by faces of a single non-zero mask: every corner
// there takes the vertex normal, found in the first pass. At the other
// vertices the faces are listed once, in ascending order. A corner's normal
// depends only on its vertex and its face's mask, so each distinct mask at
// such a vertex is summed once over that list, in list order, and the result
// goes to every corner at the vertex whose face carries that mask: the adds
// are those of the definition, in its order, in O(masks x faces) per vertex
// with at most max_masks_at_vertex masks.
#include "geometry/corner_normals.hpp"

#include <array>
#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/corner_steps.hpp"
#include "geometry/vec3_ops.hpp"
#include "geometry/vertex_normals.hpp"

namespace tessvert {

namespace {

using corner_steps::each_distinct_vertex;
using corner_steps::set_corners;

// What the faces at a vertex carry.
enum class vertex_masks : std::uint8_t { unused, one, several };

// The vertices to be walked, in ascending order, and the faces that use
// each, each face once, in ascending order: those of walked[k] are
// faces[start[k] .. start[k + 1]). Only the walked vertices have lists, so
// that an object whose masks differ along a few borders needs little.
struct vertex_faces {
    std::vector<std::uint32_t> walked;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> faces;
};

constexpr std::uint32_t not_walked = ~std::uint32_t{0};

// Lists the faces of vf.walked; `slot` holds, per vertex, its place in
// vf.walked or not_walked. One pass over the faces notes each use of a
// walked vertex, which are then sorted by vertex, each vertex's faces
// staying in ascending order.
void list_vertex_faces(const face* faces, std::size_t face_count, const std::vector<std::uint32_t>& slot,
                       vertex_faces& vf) {
    struct use {
        std::uint32_t slot, face;
    };
    std::vector<use> uses;
    for (std::size_t j = 0; j < face_count; ++j)
        each_distinct_vertex(faces[j], [&](std::uint32_t v) {
            if (slot[v] != not_walked) uses.push_back({slot[v], static_cast<std::uint32_t>(j)});
        });
    const std::size_t walked_count = vf.walked.size();
    vf.start.assign(walked_count + 1, 0);
    for (const use& u : uses) ++vf.start[u.slot + 1];
    for (std::size_t k = 0; k < walked_count; ++k) vf.start[k + 1] += vf.start[k];
    vf.faces.resize(uses.size());
    std::vector<std::uint32_t> next(vf.start.begin(), vf.start.end() - 1);
    for (const use& u : uses) vf.faces[next[u.slot]++] = u.face;
}

// A new entry of smooth_normals; its index.
std::uint32_t add_normal(std::vector<vec3>& smooth_normals, const vec3& n) {
    smooth_normals.push_back(n);
    return static_cast<std::uint32_t>(smooth_normals.size() - 1);
}

}  // namespace

bool compute_corner_normals(mesh_object& o) {
    assert(faces_in_range(o) && o.normals.size() == o.vertices.size());
    o.corner_normals.clear();
    o.smooth_normals.clear();
    if (o.smoothing.size() != o.faces.size()) return false;
    return compute_corner_normals(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size(),
                                  o.smoothing.data(), o.corner_normals, o.smooth_normals);
}

bool compute_corner_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                            const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                            std::vector<vec3>& smooth_normals) {
    smooth_normals.clear();
    // First pass: which vertices have faces of one mask only.
    std::vector<vertex_masks> kind(vertex_count, vertex_masks::unused);
    std::vector<std::uint32_t> first_mask(vertex_count, 0);
    for (std::size_t j = 0; j < face_count; ++j)
        each_distinct_vertex(faces[j], [&](std::uint32_t v) {
            if (kind[v] == vertex_masks::unused) {
                kind[v] = vertex_masks::one;
                first_mask[v] = mask[j];
            } else if (first_mask[v] != mask[j]) {
                kind[v] = vertex_masks::several;
            }
        });
    corner_normals.assign(3 * face_count, use_vertex_normal);
    // The vertices to walk: several masks, or faces of mask 0 only. Their
    // places in the walk take the place of the first masks.
    vertex_faces vf;
    std::vector<std::uint32_t>& slot = first_mask;
    for (std::size_t v = 0; v < vertex_count; ++v) {
        const bool walk = kind[v] == vertex_masks::several || (kind[v] == vertex_masks::one && first_mask[v] == 0);
        slot[v] = walk ? static_cast<std::uint32_t>(vf.walked.size()) : not_walked;
        if (walk) vf.walked.push_back(static_cast<std::uint32_t>(v));
    }
    kind = {};
    list_vertex_faces(faces, face_count, slot, vf);

    // The face vectors of the faces at the vertex at hand, computed the
    // first time one of its sums needs them: a face is computed again at
    // each of its walked vertices, which keeps the table as short as one
    // vertex's list.
    std::vector<vec3> vectors;
    const std::uint32_t* list = nullptr;
    std::size_t listed = 0;  // the vectors in `vectors` are those of list[0 .. listed)
    const auto vector_of = [&](const std::uint32_t* j) -> const vec3& {
        const auto at = static_cast<std::size_t>(j - list);
        while (listed <= at) {
            vectors[listed] = face_vector(vertices, faces[list[listed]]);
            ++listed;
        }
        return vectors[at];
    };

    bool too_many_masks = false;
    std::array<std::uint32_t, max_masks_at_vertex> masks;
    for (std::size_t k = 0; k < vf.walked.size(); ++k) {
        const std::uint32_t v = vf.walked[k];
        const std::uint32_t* first = vf.faces.data() + vf.start[k];
        const std::uint32_t* last = vf.faces.data() + vf.start[k + 1];
        if (first == last) continue;
        list = first;
        listed = 0;
        if (vectors.size() < static_cast<std::size_t>(last - first))
            vectors.resize(static_cast<std::size_t>(last - first));

        std::size_t distinct = 0;
        bool hostile = false;
        for (const std::uint32_t* j = first; j != last && !hostile; ++j) {
            std::size_t d = 0;
            while (d < distinct && masks[d] != mask[*j]) ++d;
            if (d < distinct) continue;
            if (distinct == max_masks_at_vertex)
                hostile = true;
            else
                masks[distinct++] = mask[*j];
        }
        if (hostile) {  // every corner keeps the vertex normal
            too_many_masks = true;
            continue;
        }

        for (std::size_t d = 0; d < distinct; ++d) {
            const std::uint32_t m = masks[d];
            if (m == 0) {
                // The face alone; every face of mask 0 has its own normal.
                for (const std::uint32_t* j = first; j != last; ++j)
                    if (mask[*j] == 0)
                        set_corners(faces, corner_normals, *j, v,
                                    add_normal(smooth_normals,
                                               normal_of_sum(vec3_add(vec3{0.0f, 0.0f, 0.0f}, vector_of(j)), 1)));
                continue;
            }
            // When every face at the vertex shares a bit with m, the steps
            // are those of the vertex normal, on the same faces in the same
            // order: the corners keep it.
            std::size_t sharing = 0;
            for (const std::uint32_t* j = first; j != last; ++j) sharing += (mask[*j] & m) != 0;
            if (sharing == static_cast<std::size_t>(last - first)) continue;
            vec3 sum{0.0f, 0.0f, 0.0f};
            for (const std::uint32_t* j = first; j != last; ++j)
                if ((mask[*j] & m) != 0) sum = vec3_add(sum, vector_of(j));
            const std::uint32_t id =
                add_normal(smooth_normals, normal_of_sum(sum, static_cast<std::uint32_t>(sharing)));
            for (const std::uint32_t* j = first; j != last; ++j)
                if (mask[*j] == m) set_corners(faces, corner_normals, *j, v, id);
        }
    }
    return too_many_masks;
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
