// Mesh records for tests of the geometry: an object of given vertices and
// faces, and vectors compared bit for bit.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include "model/scene.hpp"

namespace testkit {

inline tessvert::mesh_object make_object(std::vector<tessvert::vec3> vertices, std::vector<tessvert::face> faces) {
    tessvert::mesh_object o;
    o.vertices = std::move(vertices);
    o.faces = std::move(faces);
    return o;
}

// Whether two vectors hold the same bits: 0 and -0 differ, as they would in
// a file's text.
inline bool same_bits(tessvert::vec3 a, tessvert::vec3 b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace testkit
