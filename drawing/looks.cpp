#include "drawing/looks.hpp"

#include <algorithm>

namespace tessvert {

namespace {

std::array<double, 3> channels(const std::array<std::uint8_t, 3>& c) {
    return {c[0] * byte_to_channel, c[1] * byte_to_channel, c[2] * byte_to_channel};
}

// A colour as channels: its floats, unrounded and clamped to 0..1, when the
// file gives them and they are all finite; else its bytes.
std::array<double, 3> channels(const std::array<std::uint8_t, 3>& bytes, const std::array<float, 3>& floats,
                               bool in_floats) {
    if (!in_floats || !is_finite(vec3{floats[0], floats[1], floats[2]})) return channels(bytes);
    std::array<double, 3> c{};
    for (std::size_t k = 0; k < 3; ++k) c[k] = std::clamp(static_cast<double>(floats[k]), 0.0, 1.0);
    return c;
}

// The first other map of the kind `chunk_id`, or null.
const other_map* map_of_kind(const material& m, std::uint16_t chunk_id) {
    for (const other_map& map : m.other_maps)
        if (map.chunk_id == chunk_id) return &map;
    return nullptr;
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
    look.diffuse = channels(m.diffuse, m.diffuse_float, m.has_float_diffuse != 0);
    look.ambient = channels(m.ambient, m.ambient_float, m.has_float_ambient != 0);
    look.specular = m.has_specular != 0 ? channels(m.specular, m.specular_float, m.has_float_specular != 0)
                                        : std::array<double, 3>{1, 1, 1};
    look.transparency = m.transparency;
    // 3D Studio's earliest files have no shininess strength: one value gave
    // the highlight both its size and its brightness.
    look.highlight = m.has_shininess_strength != 0 ? m.shininess_strength : m.shininess;
    if (m.has_specular)
        look.highlight *= m.has_float_specular != 0
                              ? (look.specular[0] + look.specular[1] + look.specular[2]) / 3
                              : (m.specular[0] + m.specular[1] + m.specular[2]) * byte_to_channel / 3;
    if (m.shininess == 0) look.highlight = 0;
    look.shininess = m.shininess;
    look.self_illumination = m.self_illumination;
    if (const other_map* reflection = map_of_kind(m, reflection_map_chunk))
        look.reflection = std::clamp(static_cast<double>(reflection->placement.amount) / 100.0, 0.0, 1.0);
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

bool only_highlights_show(const drawn_scene& d) {
    if (d.grey_used) return false;
    bool some = false;
    for (std::size_t m = 0; m < d.looks.size(); ++m) {
        if (d.used[m] == 0) continue;
        some = true;
        const material_look& look = d.looks[m];
        const bool map_shown =
            d.counts.maps_resolved ? !look.map.image.empty() : !d.file->materials[m].map_name.empty();
        // Below half of the darkest step that eight bits can show.
        const bool black =
            std::all_of(look.diffuse.begin(), look.diffuse.end(), [](double c) { return c < 0.5 * byte_to_channel; });
        if (!black || look.self_illumination > 0 || map_shown || !look.self_illumination_map.image.empty())
            return false;
    }
    return some;
}

}  // namespace tessvert
