// Where a point lands in the picture of a camera, worked out the way a
// renderer builds the camera from its position, look-at point, up (0, 0, 1),
// horizontal field of view and aspect ratio: for checking framed views
// independently of how the converter computes them.
#pragma once

#include <cmath>
#include <numbers>

namespace testkit {

struct picture_point {
    double depth = 0;  // along the view direction; above 0 in front of the eye
    double x = 0;      // share of the half-width: -1 and 1 are the picture's edges
    double y = 0;      // share of the half-height
};

inline picture_point project(const double eye[3], const double look_at[3], double fov_degrees, double aspect,
                             const double p[3]) {
    auto unit = [](double v[3]) {
        const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int k = 0; k < 3; ++k) v[k] /= n;
    };
    double forward[3] = {look_at[0] - eye[0], look_at[1] - eye[1], look_at[2] - eye[2]};
    unit(forward);
    const double up[3] = {0, 0, 1};
    double right[3] = {forward[1] * up[2] - forward[2] * up[1], forward[2] * up[0] - forward[0] * up[2],
                       forward[0] * up[1] - forward[1] * up[0]};
    unit(right);
    const double upward[3] = {right[1] * forward[2] - right[2] * forward[1],
                              right[2] * forward[0] - right[0] * forward[2],
                              right[0] * forward[1] - right[1] * forward[0]};
    const double d[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    auto dot = [&d](const double v[3]) { return d[0] * v[0] + d[1] * v[1] + d[2] * v[2]; };
    const double half_width = std::tan(fov_degrees / 2 * std::numbers::pi / 180);
    picture_point r;
    r.depth = dot(forward);
    r.x = dot(right) / (r.depth * half_width);
    r.y = dot(upward) / (r.depth * half_width / aspect);
    return r;
}

}  // namespace testkit
