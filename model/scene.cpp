#include "model/scene.hpp"

namespace tessvert {

scene init_scene() {
    return scene{};
}

void append_light(scene& s) {
    s.lights.emplace_back();
    ++s.light_count;
}

void append_camera(scene& s) {
    s.cameras.emplace_back();
    ++s.camera_count;
}

void append_material(scene& s) {
    s.materials.emplace_back();
    ++s.material_count;
}

void append_object(scene& s) {
    s.objects.emplace_back();
    ++s.object_count;
}

std::size_t keep_faces(mesh_object& o, const std::vector<std::uint8_t>& keep) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < o.faces.size(); ++i)
        if (keep[i] != 0) o.faces[kept++] = o.faces[i];
    const std::size_t removed = o.faces.size() - kept;
    o.faces.resize(kept);
    o.face_count = static_cast<std::int32_t>(kept);
    return removed;
}

}  // namespace tessvert
