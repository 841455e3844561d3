// The lights as drawn: the file's, the studio rig made from the initial
// view, and whether the file's lights light anything at all.
#pragma once

#include <array>
#include <vector>

#include "drawing/draw.hpp"
#include "drawing/drawn_scene.hpp"
#include "model/scene.hpp"

namespace tessvert {

// The studio rig's strengths, as white light (the ambient as the scene's
// ambient light): a key light, a weaker fill, a top light from behind that
// puts highlights on what faces up and rims the model, and a soft ambient.
// With the file's lights (--lights both) each is taken
// `rig_share_beside_file` times.
inline constexpr double studio_key = 0.75;
inline constexpr double studio_fill = 0.35;
inline constexpr double studio_top = 0.45;
inline constexpr double studio_ambient = 0.15;
inline constexpr double rig_share_beside_file = 0.5;

// Appends the file's lights that the language writes (those whose numbers
// are finite; of those flagged off only when it writes them) to d.lights,
// in file order, and counts those it would write were their numbers finite
// in d.lights_drawable.
void draw_file_lights(const scene& s, const language_abilities& language, drawn_scene& d);

// The studio rig for a view from `eye` towards `look_at`, `up` being up in
// the picture: a key light above the eye and to its left, a fill at the
// eye's height to its right, both as far from the eye as the eye is from
// what it looks at, and a top light that far above what it looks at, a
// little behind it; their strengths times `share`. Point lights, in the
// axes of the view's numbers.
std::array<drawn_light, 3> studio_rig(const double eye[3], const double look_at[3], const double up[3], double share);

// Where a drawn mesh stands: object `object` of the scene, its vertices
// placed by `matrix` (null: as stored).
struct placed_mesh {
    std::size_t object = 0;
    const placement* matrix = nullptr;
};

// Whether some light of `lights` lights some face of the meshes: the
// light is on the face's front side (its corners counter-clockwise) and,
// for a spotlight when `spots` says the language draws them, a corner of
// the face lies within its falloff cone. What stands between a light and a
// face is not looked at. Stops at the first face lit.
bool some_face_lit(const scene& s, const std::vector<placed_mesh>& meshes, const std::vector<drawn_light>& lights,
                   bool spots);

}  // namespace tessvert
