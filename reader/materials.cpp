#include "reader/materials.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/populate.hpp"

namespace tessvert {

namespace {

// Each name maps to its first material: emplace keeps the first.
std::unordered_map<std::string_view, std::int32_t> first_material_of_name(const scene& s) {
    std::unordered_map<std::string_view, std::int32_t> first;
    for (std::size_t i = 0; i < s.materials.size(); ++i)
        first.emplace(s.materials[i].name, static_cast<std::int32_t>(i));
    return first;
}

// Counts in `ignored` the face numbers beyond the object's faces.
void assign_face_materials(mesh_object& o, const material_group_entry& g, std::int32_t material, std::size_t& ignored) {
    for (std::size_t k = g.first_face; k < std::size_t{g.first_face} + g.face_numbers; ++k) {
        const std::uint16_t f = o.group_faces[k];
        if (f < o.face_materials.size())
            o.face_materials[f] = material;
        else
            ++ignored;
    }
}

}  // namespace

void resolve_materials(scene& s, bool per_face, reporter& report) {
    const auto first_of_name = first_material_of_name(s);
    for (mesh_object& o : s.objects) {
        o.face_materials.clear();
        o.material_index = o.has_texture = 0;
        if (o.material_groups.empty()) continue;
        if (per_face) {
            reserve_populated(o.face_materials, o.faces.size());
            o.face_materials.assign(o.faces.size(), no_material);
        }
        std::size_t ignored = 0;
        for (const material_group_entry& g : o.material_groups) {
            const auto found = first_of_name.find(g.name);
            if (found == first_of_name.end()) continue;
            const std::int32_t m = found->second;
            // The first material of the name is before the group exactly
            // when some material of the name is.
            if (m < g.materials_before) {
                o.material_index = m;
                if (!s.materials[static_cast<std::size_t>(m)].map_name.empty()) o.has_texture = 1;
            }
            if (per_face) assign_face_materials(o, g, m, ignored);
        }
        if (ignored > 0)
            report_warning(report, "object \"" + printable(o.name) + "\": " + std::to_string(ignored) +
                                       " face numbers of its material groups are beyond its " +
                                       std::to_string(o.faces.size()) + " faces; they were ignored");
    }
}

bool groups_name_several_materials(const scene& s) {
    const auto first_of_name = first_material_of_name(s);
    for (const mesh_object& o : s.objects) {
        std::int32_t first = no_material;
        for (const material_group_entry& g : o.material_groups) {
            const auto found = first_of_name.find(g.name);
            if (g.face_numbers == 0 || found == first_of_name.end()) continue;
            if (first == no_material)
                first = found->second;
            else if (found->second != first)
                return true;
        }
    }
    return false;
}

}  // namespace tessvert
