// The mesh include file: per object a surface line in its material's
// diffuse colour, then one triangle statement per face (with --materials,
// such a block per material of the object's faces).
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"

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

// Writes smooth triangles with vertex normals when `triangle_mode` is 0 (the
// objects' normals must have been computed), flat triangles when it is 1.
// A face with a corner whose normal is not finite is written flat.
// Adds one to `written_faces` per triangle statement. Reports the success
// line or an error line; false when the file could not be written.
// Precondition: every face index is below its object's vertex_count.
bool write_mesh_include(const scene& s, const std::string& include_path, std::int32_t triangle_mode,
                        std::int32_t& written_faces, reporter& report, const mesh_options& options = {});

}  // namespace tessvert
