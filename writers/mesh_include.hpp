// The mesh include file: per object a surface line in its material's
// diffuse colour, then one triangle statement per face (with --materials,
// such a block per material of the object's faces).
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// Opt-in views of the scene as the file holds it.
struct mesh_options {
    // Each object as one block per material of its faces (face_materials),
    // in the order of each block's first face; faces without a material
    // form a block in the object's own colour.
    bool materials = false;
    // Smooth triangles take the objects' corner normals where they have
    // them (corner_normals), the vertex normals elsewhere.
    bool smoothing = false;
};

// Writes the file's text into `out`, which the caller opened and commits:
// smooth triangles with vertex normals when `triangle_mode` is 0 (the
// objects' normals must have been computed), flat triangles when it is 1.
// A face with a corner whose normal is not finite is written flat.
// Adds one to `written_faces` per triangle statement. `report` takes what
// the writer may have to say about the scene.
// Precondition: every face index is below its object's vertex_count.
void write_mesh_include(const scene& s, output_file& out, std::int32_t triangle_mode, std::int32_t& written_faces,
                        reporter& report, const mesh_options& options = {});

}  // namespace tessvert
