// The default view of a scene without cameras, and the same view moved so
// that the whole scene is in the picture.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "model/scene.hpp"

namespace tessvert {

// The view a file without cameras gets: from (20, 20, 20) towards the
// origin, up (0, 0, 1), a horizontal field of view of 40 degrees.
inline constexpr double default_eye_coordinate = 20.0;
inline constexpr double default_fov = 40.0;

// The picture's width over its height: the float 1.3333 widened, which is
// written as 1.333300.
inline constexpr double view_aspect_ratio = static_cast<double>(1.3333f);

// How far out of the picture's centre a vertex may project: a share of the
// half-width and of the half-height.
inline constexpr double framing_share = 0.95;

// The sides a framed view may look from, in the scene's axes (z up):
// `iso` from the (1, 1, 1) side, as the default view; `front` from -y,
// looking along +y (3D Studio's front view), `back` from +y, `left` from
// -x, `right` from +x, `top` from +z (+y up in the picture), `bottom`
// from -z (-y up in the picture).
enum class view_direction { iso, front, back, left, right, top, bottom };

struct framed_view {
    double look_at[3] = {0, 0, 0};   // the centre of the vertices' bounding box
    double position[3] = {0, 0, 0};  // look_at + distance * the direction towards the eye
    double up[3] = {0, 0, 1};        // up in the picture: +z, but +y from the top, -y from the bottom
    double distance = 0;
    // Why the framed view cannot be written, so that the default view is
    // used instead; nullptr when it can.
    const char* refused = nullptr;
};

// The default view's direction (or another side's) and field of view, aimed
// at the centre of the bounding box of every finite vertex of every object
// (used by a face or not) and moved back along (1, 1, 1) (the direction
// towards the side's eye) to the smallest distance at which every
// such vertex is in front of the eye and projects within `framing_share` of
// the half-width and half-height. Computed in double. When all those
// vertices coincide the distance is 1; with no finite vertex there is
// nothing to frame and the result is empty.
//
// The view is written with six decimals and read back by a renderer in
// single precision. It is refused (`refused` says why) when, written so,
// the eye and the look-at point would be equal, some of those vertices
// would fall outside the picture or behind the eye, or the eye would lie
// beyond the range of single precision.
std::optional<framed_view> frame_scene(const scene& s);

// Points to frame: `count` vertices from `vertices`, as stored, or placed
// by `matrix` when it is not null (as a copy of a mesh is placed).
struct framed_points {
    const vec3* vertices = nullptr;
    std::size_t count = 0;
    const placement* matrix = nullptr;
};

// frame_scene over the points of `sets` instead of the scene's objects,
// seen from `direction`.
std::optional<framed_view> frame_points(const std::vector<framed_points>& sets,
                                        view_direction direction = view_direction::iso);

}  // namespace tessvert
