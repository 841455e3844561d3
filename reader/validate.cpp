#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/loader.hpp"

namespace tessvert {

namespace {

// Removes from every object the faces for which `drop(object, face)` holds,
// keeping the order of the others; one warning per object that loses any,
// naming it, the count and `why`.
template <typename Drop>
void remove_faces(scene& s, reporter& report, Drop&& drop, const char* why) {
    for (mesh_object& o : s.objects) {
        // Most objects lose no face: they are only read.
        const auto first = std::find_if(o.faces.begin(), o.faces.end(), [&](const face& f) { return drop(o, f); });
        if (first == o.faces.end()) continue;
        std::vector<std::uint8_t> keep(o.faces.size());
        for (std::size_t i = 0; i < o.faces.size(); ++i) keep[i] = !drop(o, o.faces[i]);
        const std::size_t removed = keep_faces(o, keep);
        report_warning(report, "object \"" + printable(o.name) + "\": " + std::to_string(removed) + why);
    }
}

bool names_missing_vertex(const mesh_object& o, const face& f) {
    return !face_in_range(f, o.vertices.size());
}

// Run after names_missing_vertex was false for the face.
bool has_nonfinite_corner(const mesh_object& o, const face& f) {
    return !face_is_sound(f, o.vertices.data(), o.vertices.size());
}

}  // namespace

bool faces_are_sound(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count) {
    // Two passes in order through memory: the largest vertex number, then,
    // only when some vertex is not finite, whether a face uses one.
    std::uint32_t largest = 0;
    for (std::size_t j = 0; j < face_count; ++j) largest = std::max({largest, faces[j].a, faces[j].b, faces[j].c});
    if (face_count > 0 && largest >= vertex_count) return false;
    if (std::all_of(vertices, vertices + vertex_count, is_finite)) return true;
    return std::all_of(faces, faces + face_count,
                       [&](const face& f) { return face_is_sound(f, vertices, vertex_count); });
}

bool faces_are_sound(const mesh_object& o) {
    return faces_are_sound(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size());
}

// A face naming a vertex the object does not have cannot be written or
// given normals; it is dropped here, once the whole tree has been read.
void remove_invalid_faces(scene& s, reporter& report) {
    remove_faces(s, report, names_missing_vertex, " faces name a vertex it does not have; they were removed");
}

// The renderer cannot read NaN or infinite coordinates, and they would
// spoil the normals of every neighbouring face: such faces are dropped
// before normals are computed. Runs after remove_invalid_faces, so every
// index names a vertex.
void remove_nonfinite_faces(scene& s, reporter& report) {
    remove_faces(s, report, has_nonfinite_corner,
                 " faces have a vertex coordinate that is not a finite number; they were removed");
}

}  // namespace tessvert
