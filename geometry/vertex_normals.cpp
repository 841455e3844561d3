// Vertex normals in one pass over the faces.
//
// A vertex's normal is defined by walking every face in ascending order and
// adding the vectors of the faces that name the vertex, starting from +0.
// Accumulating per vertex while walking the faces once gives each vertex the
// same adds in the same order, so the float bits are the same, in
// O(vertices + faces) instead of O(vertices * faces).
#include "geometry/vertex_normals.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/vec3_ops.hpp"
#include "model/populate.hpp"

namespace tessvert {

vec3 face_vector(const std::vector<vec3>& vertices, const face& f) {
    return face_vector(vertices.data(), f);
}

vec3 normal_of_sum(vec3 sum, std::uint32_t k) {
    // -(float)0 would be -0; no face divides by +0 instead, giving +inf,
    // 0 * inf = NaN, and so a NaN normal.
    const float s = k == 0 ? 0.0f : -static_cast<float>(k);
    return vec3_normalize(vec3_div(sum, s));
}

void compute_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                     std::vector<vec3>& normals) {
    assert(std::all_of(faces, faces + face_count, [&](const face& f) { return face_in_range(f, vertex_count); }));
    // Running sums start at +0 so that a vertex whose only face vectors are
    // -0 keeps the sign the adds give it. They are kept where the normals
    // go, each replaced by its normal at the end.
    std::vector<vec3>& sums = normals;
    reserve_populated(sums, vertex_count);
    sums.assign(vertex_count, vec3{0.0f, 0.0f, 0.0f});
    std::vector<std::uint32_t> counts(vertex_count, 0);

    for (std::size_t j = 0; j < face_count; ++j) {
        const face& f = faces[j];
        const vec3 fv = face_vector(vertices, f);
        // A face that names a vertex twice or thrice counts once for it.
        sums[f.a] = vec3_add(sums[f.a], fv);
        ++counts[f.a];
        if (f.b != f.a) {
            sums[f.b] = vec3_add(sums[f.b], fv);
            ++counts[f.b];
        }
        if (f.c != f.a && f.c != f.b) {
            sums[f.c] = vec3_add(sums[f.c], fv);
            ++counts[f.c];
        }
    }

    for (std::size_t i = 0; i < vertex_count; ++i) normals[i] = normal_of_sum(sums[i], counts[i]);
}

void compute_object_normals(mesh_object& object) {
    const std::size_t vertex_count = object.vertex_count() > 0 ? static_cast<std::size_t>(object.vertex_count()) : 0;
    compute_normals(object.faces.data(), object.faces.size(), object.vertices.data(), vertex_count, object.normals);
}

}  // namespace tessvert
