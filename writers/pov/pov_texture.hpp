// A material as a POV-Ray texture: its pigment and its finish. The one
// place where a material's look is written.
#pragma once

#include <string>
#include <string_view>

#include "model/scene.hpp"

namespace tessvert {

// The grey of faces without any material, as the other output's.
inline constexpr std::uint8_t no_material_grey_byte = 204;

// Appends "texture { pigment { ... } finish { ... } }" for `m`:
// - pigment: the diffuse colour, as sRGB; the transparency as its filter
//   (light passes through, tinted by the colour);
// - finish: the ambient colour as the ambient reflection (lit by the
//   scene's ambient light), full diffuse reflection, a highlight whose
//   size follows the shininess (roughness 1 / (1 + 99 shininess)) and whose
//   brightness follows the shininess strength times the specular colour's
//   mean channel, and the self-illumination as emission.
void append_pov_texture(std::string& out, const material& m);

// The same texture with the material's texture map over the diffuse colour
// (pov_uv_map.hpp): the image `image_file` of POV-Ray type `type`.
void append_pov_mapped_texture(std::string& out, const material& m, std::string_view image_file, std::string_view type);

// The material that stands for faces of no material: light grey, matte.
material no_material_look();

}  // namespace tessvert
