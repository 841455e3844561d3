// Framing: the default view's eye looks along -(1, 1, 1), up (0, 0, 1). Seen
// from the eye, a point q (taken from the look-at point) lies
// `along` = q . (1, 1, 1) / sqrt(3) nearer than the look-at point; its
// offsets in the picture are `across` = q . (-1, 1, 0) / sqrt(2) and
// `upward` = q . (-1, -1, 2) / sqrt(6), neither of which depends on the eye's
// distance d. (The other sides swap these three directions: see
// axes_of.) Its depth is d - along, so
// it projects within the share s of the half-width and half-height when
//   d - along >= |across| / (s tan(fov / 2))  and
//   d - along >= |upward| / (s tan(fov / 2) / aspect),
// and the smallest d is the largest such bound over the vertices.
#include "geometry/framing.hpp"

#include "geometry/instances.hpp"
#include "model/number_format.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>

namespace tessvert {

namespace {

// A side's directions, as whole numbers (unit length once divided by their
// lengths): towards the eye, right and up in the picture, and the up the
// camera is given.
struct view_axes {
    double toward_eye[3], right[3], upward[3], camera_up[3];
};

view_axes axes_of(view_direction direction) {
    switch (direction) {
    case view_direction::front:
        return {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 1}};
    case view_direction::back:
        return {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, 1}};
    case view_direction::left:
        return {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, 1}};
    case view_direction::right:
        return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}};
    case view_direction::top:
        return {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}};
    case view_direction::bottom:
        return {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}, {0, -1, 0}};
    case view_direction::iso:
        break;
    }
    return {{1, 1, 1}, {-1, 1, 0}, {-1, -1, 2}, {0, 0, 1}};
}

// q . a, the terms added x, y, z; and z, x, y for the upward offset, the
// order the default view has always added them in, so that its numbers
// stay the same to the last bit.
double dot(const double a[3], const double q[3]) {
    return a[0] * q[0] + a[1] * q[1] + a[2] * q[2];
}
double dot_z_first(const double a[3], const double q[3]) {
    return a[2] * q[2] + a[0] * q[0] + a[1] * q[1];
}

double length(const double a[3]) {
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

// "In front of the eye" asks for a depth above zero, which a vertex on the
// axis of the view would otherwise get only in the limit (the bound for it is
// its `along` alone). Every vertex is kept at least this share of the
// scene's radius (half its bounding box's diagonal) in front of the eye,
// which also keeps it in front once the eye and the look-at point are
// written with six decimals. The vertices that set the distance of an
// ordinary scene lie at the border of the picture, far deeper than that, so
// there the bound changes nothing.
constexpr double least_depth_share = 0.01;

// Calls `visit` with every finite point of the sets, placed.
template <typename Visit>
void for_each_point(const std::vector<framed_points>& sets, Visit visit) {
    for (const framed_points& set : sets)
        for (std::size_t i = 0; i < set.count; ++i) {
            const vec3 v = set.matrix != nullptr ? place_point(*set.matrix, set.vertices[i]) : set.vertices[i];
            if (is_finite(v)) visit(v);
        }
}

// `value` as a renderer reads it back after it is written with six
// decimals: a single-precision number.
double as_written(double value) {
    return static_cast<double>(static_cast<float>(as_read_back(value)));
}

// Where `p` lands in the picture seen from `eye` towards `look_at`, up
// `up`: whether it is in front of the eye and within the picture.
bool in_picture(const double eye[3], const double look_at[3], const double up_given[3], const double p[3]) {
    double forward[3] = {look_at[0] - eye[0], look_at[1] - eye[1], look_at[2] - eye[2]};
    const double length = std::hypot(forward[0], forward[1], forward[2]);
    for (double& f : forward) f /= length;
    const double* u = up_given;
    double right[3] = {forward[1] * u[2] - forward[2] * u[1], forward[2] * u[0] - forward[0] * u[2],
                       forward[0] * u[1] - forward[1] * u[0]};  // forward x up
    // hypot(x, 0) is |x| exactly: (x, y, 0) has the length of (x, y).
    const double right_length = std::hypot(std::hypot(right[0], right[1]), right[2]);
    if (right_length == 0) return false;
    for (double& r : right) r /= right_length;
    const double up[3] = {right[1] * forward[2] - right[2] * forward[1], right[2] * forward[0] - right[0] * forward[2],
                          right[0] * forward[1] - right[1] * forward[0]};
    const double q[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    const double depth = q[0] * forward[0] + q[1] * forward[1] + q[2] * forward[2];
    const double half_width = std::tan(default_fov / 2 * std::numbers::pi / 180);
    const double x = (q[0] * right[0] + q[1] * right[1] + q[2] * right[2]) / half_width;
    const double y = (q[0] * up[0] + q[1] * up[1] + q[2] * up[2]) / (half_width / view_aspect_ratio);
    return depth > 0 && std::abs(x) <= depth && std::abs(y) <= depth;
}

// Why `view` of the scene cannot be written as it was worked out; nullptr
// when it can.
const char* why_refused(const std::vector<framed_points>& sets, const framed_view& view) {
    for (const double p : view.position)
        if (!(std::abs(p) <= FLT_MAX)) return "the framed eye would lie beyond the range of single-precision numbers";
    double eye[3], look_at[3];
    bool apart = false;
    for (int k = 0; k < 3; ++k) {
        eye[k] = as_written(view.position[k]);
        look_at[k] = as_written(view.look_at[k]);
        apart = apart || eye[k] != look_at[k];
    }
    if (!apart) return "written with six decimals, the framed eye would be the point it looks at";
    // The vertices as the mesh file gives them, with six decimals too.
    const char* refused = nullptr;
    for_each_point(sets, [&](const vec3& v) {
        const double p[3] = {as_written(v.x), as_written(v.y), as_written(v.z)};
        if (refused == nullptr && !in_picture(eye, look_at, view.up, p))
            refused = "written with six decimals, the framed view would leave vertices out of the picture";
    });
    return refused;
}

}  // namespace

std::optional<framed_view> frame_points(const std::vector<framed_points>& sets, view_direction direction) {
    const view_axes axes = axes_of(direction);
    constexpr double inf = std::numeric_limits<double>::infinity();
    double lo[3] = {inf, inf, inf};
    double hi[3] = {-inf, -inf, -inf};
    bool any = false;
    for_each_point(sets, [&](const vec3& v) {
        const double p[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
        any = true;
    });
    if (!any) return std::nullopt;

    framed_view view;
    for (int k = 0; k < 3; ++k) view.up[k] = axes.camera_up[k];
    double diagonal_squared = 0;
    for (int k = 0; k < 3; ++k) {
        view.look_at[k] = (lo[k] + hi[k]) / 2;
        diagonal_squared += (hi[k] - lo[k]) * (hi[k] - lo[k]);
    }
    const double radius = std::sqrt(diagonal_squared) / 2;

    if (radius == 0) {
        view.distance = 1;  // a single point: nothing gives a scale
    } else {
        const double half_width = framing_share * std::tan(default_fov / 2 * std::numbers::pi / 180);
        const double half_height = half_width / view_aspect_ratio;
        const double least_depth = least_depth_share * radius;
        const double* c = view.look_at;
        // The largest bound is positive: were every bound at most 0, every
        // vertex would lie in a narrow cone behind the look-at point, with
        // every coordinate below the look-at point's along the direction
        // towards the eye, yet the look-at point is the centre of their
        // bounding box. So the eye stays on the side asked for.
        const double along_length = length(axes.toward_eye), across_length = length(axes.right),
                     upward_length = length(axes.upward);
        double distance = 0;
        for_each_point(sets, [&](const vec3& v) {
            const double q[3] = {v.x - c[0], v.y - c[1], v.z - c[2]};
            const double along = dot(axes.toward_eye, q) / along_length;
            const double across = std::abs(dot(axes.right, q)) / across_length;
            const double upward = std::abs(dot_z_first(axes.upward, q)) / upward_length;
            const double depth = std::max({across / half_width, upward / half_height, least_depth});
            distance = std::max(distance, along + depth);
        });
        view.distance = distance;
    }
    const double step = view.distance / length(axes.toward_eye);
    for (int k = 0; k < 3; ++k) view.position[k] = view.look_at[k] + step * axes.toward_eye[k];
    view.refused = why_refused(sets, view);
    return view;
}

std::optional<framed_view> frame_scene(const scene& s) {
    std::vector<framed_points> sets;
    for (const mesh_object& o : s.objects) sets.push_back({o.vertices.data(), o.vertices.size(), nullptr});
    return frame_points(sets);
}

}  // namespace tessvert
