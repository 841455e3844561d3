// The scene description file: the initial view, every camera of the file,
// the render settings, the lights and the line that includes the meshes.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/framing.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

struct view_setup {
    double position[3] = {0, 0, 0};
    double look_at[3] = {0, 0, 0};
    double up[3] = {0, 0, 1};
    double fov = 0;
    double bank = 0;  // the camera's roll in degrees, when a camera gives the view
    // A white light at `position`, written after the file's lights.
    bool headlight = false;
    // Why --frame was asked for and the default view is used all the same
    // (frame_scene's reason); nullptr otherwise.
    const char* framing_refused = nullptr;
    bool framed = false;  // the framed view is the initial view
};

// Opt-in changes to the initial view and the lights.
struct view_choices {
    bool frame = false;      // a file without cameras gets the framed view (frame_scene)
    bool headlight = false;  // a white light at the eye when the file gives no light to write
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
// With `choices.frame`, a file without cameras is seen from the framed view
// instead when it has a finite vertex. With `choices.headlight`, the view
// carries a headlight when no light of the file is written.
view_setup setup_initial_view(const scene& s, std::int32_t camera_index, const view_choices& choices = {});

// One warning for the file when some light is left out of the scene file
// (its position or colour is not finite), and one when some camera is
// written as the default view (its position, target or field of view is
// not finite).
void report_non_finite_lights_and_cameras(const scene& s, reporter& report);

// Writes the file's text into `out`, which the caller opened and commits:
// the initial view, every camera of the file in file order (each that is not
// finite as the default view), the settings, every finite light and the
// headlight the view asks for.
void write_scene_file(const view_setup& view, const scene& s, output_file& out, const std::string& include_path,
                      const std::string& base_name);

}  // namespace tessvert
