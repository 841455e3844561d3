#include "drawing/view.hpp"

#include <cmath>
#include <string>

#include "geometry/lens.hpp"

namespace tessvert {

namespace {

void widen(const vec3& v, double out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

// A light whose file gave no float colour is written in its 24-bit colour.
void light_color(const light& l, double out[3]) {
    for (int c = 0; c < 3; ++c)
        out[c] = l.has_float_color ? static_cast<double>(l.color[c]) : l.color24[c] * byte_to_channel;
}

// "1 light has ...; it was ...", "2 lights have ...; they were ...".
std::string counted(std::size_t n, const char* noun, const std::string& what, const std::string& done) {
    return std::to_string(n) + " " + noun + (n == 1 ? " has " : "s have ") + what + "; " +
           (n == 1 ? "it was " : "they were ") + done;
}

}  // namespace

written_light light_as_written(const light& l) {
    written_light w{};
    widen(l.position, w.position);
    light_color(l, w.color);
    w.finite = is_finite(l.position) && (l.has_float_color == 0 || is_finite(vec3{l.color[0], l.color[1], l.color[2]}));
    return w;
}

written_camera camera_as_written(const camera& c) {
    written_camera w;
    double position[3], target[3];
    widen(c.position, position);
    widen(c.target, target);
    const double fov = lens_to_fov(c.lens);
    if (!is_finite(c.position) || !is_finite(c.target) || !std::isfinite(fov)) return w;
    for (int k = 0; k < 3; ++k) {
        w.position[k] = position[k];
        w.look_at[k] = target[k];
    }
    w.fov = fov;
    w.bank = c.bank;
    w.finite = true;
    return w;
}

view_setup setup_initial_view(const scene& s, std::int32_t camera_index, const std::optional<framed_view>& framed,
                              bool over_cameras) {
    view_setup v;
    written_camera w;  // the default view
    if (camera_index >= 0 && camera_index < s.camera_count())
        w = camera_as_written(s.cameras[static_cast<std::size_t>(camera_index)]);
    for (int k = 0; k < 3; ++k) {
        v.position[k] = w.position[k];
        v.look_at[k] = w.look_at[k];
    }
    v.fov = w.fov;
    v.bank = w.bank;
    if (framed && (s.camera_count() == 0 || over_cameras)) {
        if (framed->refused != nullptr) {
            v.framing_refused = framed->refused;
        } else {
            v.framed = true;
            v.bank = 0;
            v.fov = default_fov;
            for (int k = 0; k < 3; ++k) {
                v.position[k] = framed->position[k];
                v.look_at[k] = framed->look_at[k];
                v.up[k] = framed->up[k];
            }
        }
    }
    return v;
}

void report_non_finite_lights_and_cameras(const scene& s, reporter& report) {
    std::size_t lights = 0, cameras = 0;
    for (const light& l : s.lights) lights += light_as_written(l).finite ? 0 : 1;
    for (const camera& c : s.cameras) cameras += camera_as_written(c).finite ? 0 : 1;
    if (lights != 0)
        report_warning(report, counted(lights, "light", "a position or colour that is not a finite number",
                                       "left out of the scene file"));
    if (cameras != 0)
        report_warning(report,
                       counted(cameras, "camera", "a position, target or field of view that is not a finite number",
                               "written as the default view from (20, 20, 20)"));
}

}  // namespace tessvert
