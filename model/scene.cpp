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

}  // namespace tessvert
