// The normals as drawn: which corner normals a renderer can use, and the
// face's own normal that a face drawn flat shows. Every language that
// carries normals draws the same faces flat.
#pragma once

#include <cstddef>

#include "model/scene.hpp"

namespace tessvert {

// A normal a renderer can use: finite, and not zero once its numbers are
// written with six decimals (a renderer refuses a zero normal).
bool usable_normal(double x, double y, double z);

inline bool usable_normal(const vec3& n) {
    return usable_normal(n.x, n.y, n.z);
}

// The own unit normal of face `f` of `o`, in `n`; false, `n` unusable, when
// the face has no area (or its normal is not usable).
bool face_unit_normal(const mesh_object& o, const face& f, double n[3]);

// The normal of corner `k` (0, 1, 2: a, b, c) of face `j` of `o`: its
// corner normal when `corner_normals` and the object has them, else its
// vertex's normal. The object's normals must have been computed.
inline const vec3& corner_normal(const mesh_object& o, bool corner_normals, std::size_t j, int k) {
    const face& f = o.faces[j];
    const std::uint32_t v = k == 0 ? f.a : k == 1 ? f.b : f.c;
    if (!corner_normals || o.corner_normals.size() != 3 * o.faces.size()) return o.normals[v];
    const std::uint32_t id = o.corner_normals[3 * j + static_cast<std::size_t>(k)];
    return id == use_vertex_normal ? o.normals[v] : o.smooth_normals[id];
}

// Whether face `j` is drawn flat, its own normal at each corner: one of its
// corner normals is not usable.
inline bool drawn_flat(const mesh_object& o, bool corner_normals, std::size_t j) {
    for (int k = 0; k < 3; ++k)
        if (!usable_normal(corner_normal(o, corner_normals, j, k))) return true;
    return false;
}

}  // namespace tessvert
