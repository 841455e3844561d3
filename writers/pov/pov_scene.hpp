// The POV-Ray scene file: how to render it, the global settings and the
// background, every camera (chosen with Declare=Camera=N), the lights, the
// materials' textures, the line that includes the meshes and the objects
// placed.
#pragma once

#include <string>
#include <vector>

#include "drawing/drawn_scene.hpp"
#include "writers/common/output_file.hpp"
#include "writers/pov/pov_mesh.hpp"
#include "writers/pov/pov_names.hpp"

namespace tessvert {

// Camera 0 is the initial view; 1 to N are the file's cameras in file order.
// The file's right-handed, z-up axes are kept: each camera's sky is its up
// direction (+z, turned about the line of sight by the camera's bank; +y
// for a line of sight along z) and its right vector is negated, which
// turns POV-Ray's left-handed picture into the file's.
//
// `include_name` is the mesh file's name as the include line gives it.
// The mesh file's `layout` says which objects it declares.
//
// A material with a mapped texture (names.mapped_materials) is declared
// twice: plain, and with the image of its map laid on by mapping
// coordinates.
void write_pov_scene(const drawn_scene& d, const pov_names& names, const pov_mesh_layout& layout, output_file& out,
                     const std::string& include_name, const std::string& base_name);

}  // namespace tessvert
