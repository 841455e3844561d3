#include "model/scene.hpp"

#include <algorithm>
#include <cmath>

namespace tessvert {

scene init_scene() {
    return scene{};
}

const char* other_map_kind(std::uint16_t chunk_id) {
    switch (chunk_id) {
    case 0xA204:
        return "specular map";
    case 0xA210:
        return "opacity map";
    case 0xA220:
        return "reflection map";
    case 0xA230:
        return "bump map";
    case 0xA33A:
        return "second texture map";
    case 0xA33C:
        return "shininess map";
    case 0xA33D:
        return "self-illumination map";
    case 0xA33E:
        return "texture mask";
    case 0xA340:
        return "second texture mask";
    case 0xA342:
        return "opacity mask";
    case 0xA344:
        return "bump mask";
    case 0xA346:
        return "shininess mask";
    case 0xA348:
        return "specular mask";
    case 0xA34A:
        return "self-illumination mask";
    case 0xA34C:
        return "reflection mask";
    default:
        return "map";
    }
}

void append_light(scene& s) {
    s.lights.emplace_back();
}

void append_camera(scene& s) {
    s.cameras.emplace_back();
}

void append_material(scene& s) {
    s.materials.emplace_back();
}

void append_object(scene& s) {
    s.objects.emplace_back();
}

bool mapping_coords_usable(const mesh_object& o) {
    return !o.vertices.empty() && o.tex_coords.size() == 2 * o.vertices.size() &&
           std::all_of(o.tex_coords.begin(), o.tex_coords.end(), [](float f) { return std::isfinite(f); });
}

namespace {

// Keeps, in order, the runs of `per_face` values of the faces that `keep`
// keeps. An array that does not hold `per_face` values for every face
// belongs to no face: it is emptied, so that it cannot seem to after the
// removal.
template <typename T>
void keep_per_face(std::vector<T>& values, const std::vector<std::uint8_t>& keep, std::size_t per_face) {
    if (values.size() != keep.size() * per_face) {
        values.clear();
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (keep[i] == 0) continue;
        for (std::size_t k = 0; k < per_face; ++k) values[kept * per_face + k] = values[i * per_face + k];
        ++kept;
    }
    values.resize(kept * per_face);
}

}  // namespace

std::size_t keep_faces(mesh_object& o, const std::vector<std::uint8_t>& keep) {
    keep_per_face(o.smoothing, keep, 1);
    keep_per_face(o.face_materials, keep, 1);
    keep_per_face(o.corner_normals, keep, 3);
    const std::size_t before = o.faces.size();
    keep_per_face(o.faces, keep, 1);
    return before - o.faces.size();
}

}  // namespace tessvert
