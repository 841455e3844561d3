// The glTF scene file (NAME.gltf): the JSON that names the buffer file and
// says what its bytes are (accessors, buffer views), the meshes and their
// materials, the images, the cameras and lights, and the nodes that place
// them all under one root node that stands the 3DS scene (z up) in glTF's
// y-up frame.
#pragma once

#include <string>

#include "drawing/drawn_scene.hpp"
#include "writers/gltf/gltf_mesh.hpp"

namespace tessvert {

// The JSON text of the scene `d` laid out as `layout`, whose buffer file is
// `buffer_name` beside it.
std::string gltf_scene_text(const drawn_scene& d, const gltf_layout& layout, const std::string& buffer_name);

// The intensity (candela) of a light of the file's multiplier `multiplier`
// reckoned at `distance`: at that distance it gives the illuminance that
// Blender's import of glTF shows as the brightness the POV-Ray output gives
// at any distance (glTF's lights fall off with the square of the distance).
double gltf_light_intensity(double multiplier, double distance);

}  // namespace tessvert
