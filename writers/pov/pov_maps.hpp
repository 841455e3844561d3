// What the POV-Ray scene makes of the materials' texture maps: which image
// each map shows, found beside the 3DS file and copied beside the scene;
// the warnings for maps that cannot be shown; the copies put in place with
// the scene.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "model/report.hpp"
#include "model/scene.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// The image a material's map shows: its name in the scene's folder and its
// POV-Ray type; both empty when the material is drawn in its diffuse
// colour alone.
struct pov_material_map {
    std::string image;
    std::string_view type;
};

struct pov_map_plan {
    std::vector<pov_material_map> materials;  // one per material of the scene
    std::size_t written = 0;                  // maps of used materials that the scene shows
    std::size_t missing = 0;                  // maps of used materials it cannot show
    std::deque<output_file> copies;           // images to put beside the scene
};

// For the materials that faces of objects with mapping coordinates use:
// finds each map's image beside `input_path`, checks that POV-Ray can read
// its type, and writes its copy for the folder `output_dir` to a
// temporary (none when an identical file is there already; another name
// when a different one is). Reports one warning per map that cannot be
// shown, saying why; one per object whose faces use a mapped material but
// that has no mapping coordinates; and one per kind of the other maps that
// the file holds, which are not converted.
void plan_pov_maps(const scene& s, const std::string& input_path, const std::string& output_dir, pov_map_plan& plan,
                   reporter& report);

// Puts each copy in place under its name, never replacing a file; false
// when one failed (its error reported).
bool commit_map_copies(pov_map_plan& plan, reporter& report);

}  // namespace tessvert
