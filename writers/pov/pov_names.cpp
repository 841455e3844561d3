#include "writers/pov/pov_names.hpp"

#include <unordered_set>

namespace tessvert {

namespace {

constexpr std::size_t name_max = 40;

std::string identifier(const char* prefix, const std::string& name, std::unordered_set<std::string>& taken) {
    std::string id = prefix;
    for (const char c : name) {
        if (id.size() >= name_max) break;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        id += plain ? c : '_';
    }
    std::string unique = id;
    for (std::size_t n = 2; taken.count(unique) != 0; ++n) unique = id + "_" + std::to_string(n);
    taken.insert(unique);
    return unique;
}

}  // namespace

pov_names make_pov_names(const scene& s) {
    pov_names names;
    std::unordered_set<std::string> taken;
    names.objects.reserve(s.objects.size());
    for (const mesh_object& o : s.objects) names.objects.push_back(identifier("O_", o.name, taken));
    taken.clear();
    names.materials.reserve(s.materials.size());
    for (const material& m : s.materials) names.materials.push_back(identifier("T_", m.name, taken));
    return names;
}

void name_mapped_materials(const scene& s, const std::vector<std::uint8_t>& mapped, pov_names& names) {
    std::unordered_set<std::string> taken;
    names.mapped_materials.assign(s.materials.size(), std::string{});
    for (std::size_t m = 0; m < s.materials.size() && m < mapped.size(); ++m)
        if (mapped[m] != 0) names.mapped_materials[m] = identifier("U_", s.materials[m].name, taken);
}

}  // namespace tessvert
