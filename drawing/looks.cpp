#include "drawing/looks.hpp"

namespace tessvert {

namespace {

std::array<double, 3> channels(const std::array<std::uint8_t, 3>& c) {
    return {c[0] * byte_to_channel, c[1] * byte_to_channel, c[2] * byte_to_channel};
}

}  // namespace

std::int32_t face_material(const scene& s, const mesh_object& o, std::size_t j) {
    const std::int32_t m = o.face_materials.size() == o.faces.size() ? o.face_materials[j] : no_material;
    if (m != no_material) return m;
    return s.materials.empty() ? no_material : o.material_index;
}

material_look look_of_material(const material& m) {
    material_look look;
    look.colour_bytes = m.diffuse;
    look.diffuse = channels(m.diffuse);
    look.ambient = channels(m.ambient);
    look.transparency = m.transparency;
    look.highlight = m.shininess_strength;
    if (m.has_specular) look.highlight *= (m.specular[0] + m.specular[1] + m.specular[2]) * byte_to_channel / 3;
    look.shininess = m.shininess;
    look.self_illumination = m.self_illumination;
    look.two_sided = m.two_sided != 0;
    return look;
}

void draw_looks(const scene& s, drawn_scene& d) {
    d.looks.clear();
    for (const material& m : s.materials) d.looks.push_back(look_of_material(m));
    material grey;
    grey.diffuse = {no_material_grey, no_material_grey, no_material_grey};
    d.no_material = look_of_material(grey);
    d.used.assign(s.materials.size(), 0);
    d.grey_used = false;
    const auto use = [&](std::int32_t m) {
        if (m == no_material)
            d.grey_used = true;
        else
            d.used[static_cast<std::size_t>(m)] = 1;
    };
    for (const mesh_object& o : s.objects) {
        if (o.faces.empty()) continue;
        if (o.face_materials.size() != o.faces.size()) {
            use(face_material(s, o, 0));
            continue;
        }
        // Faces of one material come in runs: each run is looked at once.
        std::int32_t last = no_material - 1;
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            if (o.face_materials[j] == last) continue;
            last = o.face_materials[j];
            use(face_material(s, o, j));
        }
    }
}

}  // namespace tessvert
