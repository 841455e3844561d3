// A material as a POV-Ray texture: its pigment and its finish. The one
// place where a material's look is written.
#pragma once

#include <string>
#include <string_view>

#include "drawing/drawn_scene.hpp"

namespace tessvert {

// `text` as a POV-Ray string, its backslashes doubled.
std::string pov_string(const std::string& text);

// Appends "texture { pigment { ... } finish { ... } }" for the look `m`:
// - pigment: the diffuse colour, as sRGB; the transparency as its filter
//   (light passes through, tinted by the colour);
// - finish: the ambient colour as the ambient reflection (lit by the
//   scene's ambient light), full diffuse reflection, a highlight whose
//   size follows the shininess (roughness 1 / (1 + 99 shininess)) and whose
//   brightness is the look's highlight, the reflection tinted by the
//   specular colour, and the self-illumination as emission.
void append_pov_texture(std::string& out, const material_look& m);

// The same texture with the look's images laid on the faces by their
// mapping coordinates (pov_uv_map.hpp): the texture map over the diffuse
// colour, the bump map as a normal, and the opacity, specular and
// self-illumination maps each as a texture_map over its image's
// brightness, between the texture of its black and that of its white.
void append_pov_mapped_texture(std::string& out, const material_look& m);

}  // namespace tessvert
