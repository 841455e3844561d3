// The mesh include file: per object a surface line in its material's
// diffuse colour, then one triangle statement per face.
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Writes smooth triangles with vertex normals when `triangle_mode` is 0 (the
// objects' normals must have been computed), flat triangles when it is 1.
// Adds one to `written_faces` per triangle statement. Reports the success
// line or an error line; false when the file could not be written.
// Precondition: every face index is below its object's vertex_count.
bool write_mesh_include(const scene& s, const std::string& include_path, std::int32_t triangle_mode,
                        std::int32_t& written_faces, reporter& report);

}  // namespace tessvert
