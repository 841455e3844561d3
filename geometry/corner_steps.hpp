// Small steps shared by the corner normal passes (smoothing groups and
// crease angle).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/scene.hpp"

namespace tessvert::corner_steps {

// Calls use(v) for each distinct vertex of the face.
template <typename Use>
void each_distinct_vertex(const face& f, Use&& use) {
    use(f.a);
    if (f.b != f.a) use(f.b);
    if (f.c != f.a && f.c != f.b) use(f.c);
}

// Gives every corner of face j (of `faces`) that names vertex v the
// normal `id` in `corner_normals`, three per face.
inline void set_corners(const face* faces, std::vector<std::uint32_t>& corner_normals, std::uint32_t j, std::uint32_t v,
                        std::uint32_t id) {
    const face& f = faces[j];
    std::uint32_t* corners = &corner_normals[3 * static_cast<std::size_t>(j)];
    if (f.a == v) corners[0] = id;
    if (f.b == v) corners[1] = id;
    if (f.c == v) corners[2] = id;
}

}  // namespace tessvert::corner_steps
