// The cameras as drawn: the initial view and each camera of the file, with
// the numbers the scene files carry.
#pragma once

#include <cstdint>

#include "geometry/framing.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

struct view_setup {
    double position[3] = {0, 0, 0};
    double look_at[3] = {0, 0, 0};
    double up[3] = {0, 0, 1};
    double fov = 0;
    double bank = 0;  // the camera's roll in degrees, when a camera gives the view
    // Why --frame was asked for and the default view is used all the same
    // (frame_scene's reason); nullptr otherwise.
    const char* framing_refused = nullptr;
    bool framed = false;  // the framed view is the initial view
};

// What the scene files say of a light or a camera: the renderer cannot
// read a number that is not finite, so a light that would need one is left
// out and such a camera is written as the default view.
struct written_light {
    double position[3], color[3];  // the colour: the float one, else the 24-bit one
    bool finite;
};

written_light light_as_written(const light& l);

struct written_camera {
    double position[3] = {default_eye_coordinate, default_eye_coordinate, default_eye_coordinate};
    double look_at[3] = {0, 0, 0};
    double fov = default_fov;
    double bank = 0;
    bool finite = false;  // false: the default view stands for the camera
};

written_camera camera_as_written(const camera& c);

// The camera at `camera_index` gives the view; without one (an index that
// names no camera, as for a file without cameras) the view is the default
// view: (20, 20, 20) looking at the origin with a 40 degree field of view.
// A camera whose numbers are not all finite gives the default view too.
// With `framed` (frame_scene's view of what is drawn), a file without
// cameras (any file, with `over_cameras`) is seen from the framed view
// instead, unless it was refused.
view_setup setup_initial_view(const scene& s, std::int32_t camera_index, const std::optional<framed_view>& framed,
                              bool over_cameras = false);

// One warning for the file when some light is left out of the scene file
// (its position or colour is not finite), and one when some camera is
// written as the default view (its position, target or field of view is
// not finite).
void report_non_finite_lights_and_cameras(const scene& s, reporter& report);

}  // namespace tessvert
