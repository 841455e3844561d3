#include "reader/face_materials.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tessvert {

void assign_face_materials(scene& s, reporter& report) {
    // Each name maps to its first material: emplace keeps the first.
    std::unordered_map<std::string_view, std::int32_t> first_of_name;
    for (std::size_t i = 0; i < s.materials.size(); ++i)
        first_of_name.emplace(s.materials[i].name, static_cast<std::int32_t>(i));

    for (mesh_object& o : s.objects) {
        o.face_materials.clear();
        if (o.material_groups.empty()) continue;
        o.face_materials.assign(o.faces.size(), no_material);
        std::size_t ignored = 0;
        for (const material_group_entry& g : o.material_groups) {
            const auto found = first_of_name.find(g.name);
            if (found == first_of_name.end()) continue;
            for (std::size_t k = g.first_face; k < std::size_t{g.first_face} + g.face_numbers; ++k) {
                const std::uint16_t f = o.group_faces[k];
                if (f < o.face_materials.size())
                    o.face_materials[f] = found->second;
                else
                    ++ignored;
            }
        }
        if (ignored > 0)
            report_warning(report, "object \"" + printable(o.name) + "\": " + std::to_string(ignored) +
                                       " face numbers of its material groups are beyond its " +
                                       std::to_string(o.faces.size()) + " faces; they were ignored");
    }
}

}  // namespace tessvert
