// The scene description file: the initial view, every camera of the file,
// the render settings, the lights and the line that includes the meshes.
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

struct view_setup {
    double position[3] = {0, 0, 0};
    double look_at[3] = {0, 0, 0};
    double up[3] = {0, 0, 1};
    double fov = 0;
};

// The camera at `camera_index` gives the view; without one (an index that
// names no camera, as for a file without cameras) the view is (20, 20, 20)
// looking at the origin with a 40 degree field of view.
view_setup setup_initial_view(const scene& s, std::int32_t camera_index);

// Writes the file's text into `out`, which the caller opened and commits.
// `report` takes what the writer may have to say about the scene.
void write_scene_file(const view_setup& view, const scene& s, output_file& out, const std::string& include_path,
                      const std::string& base_name, reporter& report);

}  // namespace tessvert
