// A material as a POV-Ray texture: its pigment and its finish. The one
// place where a material's look is written.
#pragma once

#include <string>
#include <string_view>

#include "drawing/drawn_scene.hpp"

namespace tessvert {

// Appends "texture { pigment { ... } finish { ... } }" for the look `m`:
// - pigment: the diffuse colour, as sRGB; the transparency as its filter
//   (light passes through, tinted by the colour);
// - finish: the ambient colour as the ambient reflection (lit by the
//   scene's ambient light), full diffuse reflection, a highlight whose
//   size follows the shininess (roughness 1 / (1 + 99 shininess)) and whose
//   brightness is the look's highlight, and the self-illumination as
//   emission.
void append_pov_texture(std::string& out, const material_look& m);

// The same texture with the look's map over the diffuse colour
// (pov_uv_map.hpp): the image `image_file` (a quoted POV-Ray string).
void append_pov_mapped_texture(std::string& out, const material_look& m, std::string_view image_file);

}  // namespace tessvert
