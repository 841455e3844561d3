// The look of each material as drawn, and which materials the drawn faces
// use.
#pragma once

#include "drawing/drawn_scene.hpp"
#include "model/scene.hpp"

namespace tessvert {

// The grey of faces without any material: light, so that it shows against
// a black background.
inline constexpr std::uint8_t no_material_grey = 204;

// The chunk of a reflection map, whose amount is the look's reflection.
inline constexpr std::uint16_t reflection_map_chunk = 0xA220;

// The look of material `m`, its maps not yet resolved (resolve_maps):
// - the diffuse, ambient and specular colours as channels: the file's
//   floats, unrounded and clamped to 0..1, when it gives them all finite,
//   else its bytes (the diffuse bytes kept as they are, for a language
//   that writes bytes);
// - the transparency;
// - a highlight whose brightness is the shininess strength (the shininess
//   in a file without one) times the specular colour's mean channel (the
//   strength alone without a specular colour), none for a shininess of 0,
//   and whose tightness is the shininess;
// - the self-illumination;
// - the reflection: a reflection map's amount.
material_look look_of_material(const material& m);

// Fills d.looks, d.no_material and which of them the drawn faces use.
void draw_looks(const scene& s, drawn_scene& d);

// Whether faces are drawn and every one of them is black but for its
// highlights: a black diffuse colour, no self-illumination, and no texture
// or self-illumination map shown (for a language that does not resolve
// maps, d.counts.maps_resolved false, a texture map the material names
// counts as shown).
bool only_highlights_show(const drawn_scene& d);

}  // namespace tessvert
