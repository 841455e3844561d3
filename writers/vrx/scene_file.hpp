// The scene description file: the initial view, every camera of the file,
// the render settings, the lights and the line that includes the meshes.
#pragma once

#include <string>

#include "drawing/drawn_scene.hpp"
#include "writers/common/output_file.hpp"

namespace tessvert {

// Writes the file's text into `out`, which the caller opened and commits:
// the initial view, every camera of the file in file order (each that is not
// finite as the default view), the settings, the lights and the headlight.
void write_scene_file(const drawn_scene& d, output_file& out, const std::string& include_path,
                      const std::string& base_name);

}  // namespace tessvert
