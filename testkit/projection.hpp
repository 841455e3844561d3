// Where a point lands in the picture of a camera, worked out the way a
// renderer builds the camera from its position, look-at point, up ((0, 0, 1)
// unless given), horizontal field of view and aspect ratio: for checking
// framed views independently of how the converter computes them.
#pragma once

#include <cmath>
#include <numbers>

namespace testkit {

struct picture_point {
    double depth = 0;     // along the view direction; above 0 in front of the eye
    double x = 0, y = 0;  // shares of the half-width and half-height: 1 is the picture's edge
};

inline picture_point project(const double eye[3], const double look_at[3], double fov_degrees, double aspect,
                             const double p[3], const double* up_given = nullptr) {
    auto cross = [](const double a[3], const double b[3], double out[3], bool normalise) {
        out[0] = a[1] * b[2] - a[2] * b[1], out[1] = a[2] * b[0] - a[0] * b[2], out[2] = a[0] * b[1] - a[1] * b[0];
        const double n = normalise ? std::hypot(out[0], out[1], out[2]) : 1;
        for (int k = 0; k < 3; ++k) out[k] /= n;
    };
    const double n = std::hypot(look_at[0] - eye[0], look_at[1] - eye[1], look_at[2] - eye[2]);
    const double forward[3] = {(look_at[0] - eye[0]) / n, (look_at[1] - eye[1]) / n, (look_at[2] - eye[2]) / n};
    const double z_up[3] = {0, 0, 1};
    const double* up = up_given != nullptr ? up_given : z_up;
    double right[3], upward[3];
    cross(forward, up, right, true);
    cross(right, forward, upward, false);
    auto dot = [&](const double v[3]) {
        return (p[0] - eye[0]) * v[0] + (p[1] - eye[1]) * v[1] + (p[2] - eye[2]) * v[2];
    };
    const double half_width = std::tan(fov_degrees / 2 * std::numbers::pi / 180);
    const double depth = dot(forward);
    return {depth, dot(right) / (depth * half_width), dot(upward) / (depth * half_width / aspect)};
}

}  // namespace testkit
