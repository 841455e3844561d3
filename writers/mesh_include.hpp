// The mesh include file: per object a surface line in its material's
// diffuse colour, then one triangle statement per face.
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// Writes the file's text into `out`, which the caller opened and commits:
// smooth triangles with vertex normals when `triangle_mode` is 0 (the
// objects' normals must have been computed), flat triangles when it is 1.
// Adds one to `written_faces` per triangle statement. `report` takes what
// the writer may have to say about the scene.
// Precondition: every face index is below its object's vertex_count.
void write_mesh_include(const scene& s, output_file& out, std::int32_t triangle_mode, std::int32_t& written_faces,
                        reporter& report);

}  // namespace tessvert
