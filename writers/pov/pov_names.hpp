// What both POV-Ray files name: the identifier of each object and of each
// material, and the texture each face is drawn with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/scene.hpp"

namespace tessvert {

// Identifiers made from the names in the file: letters, digits and
// underscores ("O_" or "T_" then the name, every other byte an underscore,
// at most 40 bytes before a "_2", "_3"... that makes it unique). The
// capital letter keeps each apart from POV-Ray's keywords, which are all
// lower case, and from the scene file's own "Camera" and "No_material".
struct pov_names {
    std::vector<std::string> objects;    // one per object of the scene
    std::vector<std::string> materials;  // one per material of the scene
    // Per material (or none at all): the identifier of its texture with its
    // map laid on by mapping coordinates ("U_" then the name), empty for a
    // material whose map is not written.
    std::vector<std::string> mapped_materials;
};

pov_names make_pov_names(const scene& s);

// Names the mapped textures of the materials whose `mapped` entry is not 0.
void name_mapped_materials(const scene& s, const std::vector<std::uint8_t>& mapped, pov_names& names);

// The texture of faces that have no material and belong to an object of
// no material: light grey, like the other output's.
inline constexpr char no_material_texture[] = "No_material";

}  // namespace tessvert
