// The look of each material as drawn, and which materials the drawn faces
// use.
#pragma once

#include "drawing/drawn_scene.hpp"
#include "model/scene.hpp"

namespace tessvert {

// The grey of faces without any material: light, so that it shows against
// a black background.
inline constexpr std::uint8_t no_material_grey = 204;

// The look of material `m`, its map not yet resolved (resolve_maps):
// - the diffuse colour, and the ambient colour, as channels;
// - the transparency;
// - a highlight whose brightness is the shininess strength times the
//   specular colour's mean channel (the strength alone without a specular
//   colour), and whose tightness is the shininess;
// - the self-illumination.
material_look look_of_material(const material& m);

// Fills d.looks, d.no_material and which of them the drawn faces use.
void draw_looks(const scene& s, drawn_scene& d);

}  // namespace tessvert
