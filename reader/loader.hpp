// Reads a 3DS file into the scene.
#pragma once

#include <string>

#include "model/scene.hpp"

namespace tessvert {

// Returns 1 when the file was read (the scene is filled, invalid faces are
// removed and, when `compute_normals` is 1, vertex normals computed), 0 when
// it could not be opened, does not begin with the primary chunk, or declares
// vertex and mapping arrays far beyond what it holds (max_unfilled_bytes; the
// scene is then left empty); a message has then been printed. A file that ends inside a chunk is read up to there,
// with a warning.
int load_scene_file(scene& s, const std::string& path, int compute_normals);

}  // namespace tessvert
