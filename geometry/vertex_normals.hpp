// Vertex normals for smooth triangles: the unit vector of the sum of the
// (unnormalised) vectors of the faces that use a vertex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/vec3_ops.hpp"
#include "model/scene.hpp"

namespace tessvert {

// The face's unnormalised vector: (V0 - V2) x (V2 - V1).
vec3 face_vector(const std::vector<vec3>& vertices, const face& f);
inline vec3 face_vector(const vec3* vertices, const face& f) {
    return vec3_cross(vec3_sub(vertices[f.a], vertices[f.c]), vec3_sub(vertices[f.c], vertices[f.b]));
}

// The normal of k faces whose vectors add up to `sum` (added in ascending
// face order, starting from +0): sum times 1 / -k, normalised. k = 0
// divides by +0 and gives NaN.
vec3 normal_of_sum(vec3 sum, std::uint32_t k);

// The vertex normals of `vertex_count` vertices from `face_count` faces, into
// `normals` (resized to vertex_count): plain arrays, so that they can be
// computed from an object's arrays while its record moves.
// Precondition: every face index is below vertex_count.
void compute_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                     std::vector<vec3>& normals);

// Fills `normals` of one object with vertex_count entries.
// Precondition: every face index is below vertex_count.
void compute_object_normals(mesh_object& object);

}  // namespace tessvert
