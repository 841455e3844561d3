#include "drawing/lights.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/instances.hpp"

namespace tessvert {

namespace {

void copy3(const double from[3], double to[3]) {
    for (int k = 0; k < 3; ++k) to[k] = from[k];
}

double dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// `v` made unit; false, and `v` as it was, when it has no direction.
bool normalise(double v[3]) {
    const double length = std::sqrt(dot(v, v));
    if (!(length > 0) || !std::isfinite(length)) return false;
    for (int k = 0; k < 3; ++k) v[k] /= length;
    return true;
}

// A light as the check sees it: where it is and, for a cone, its axis and
// the cosine of its half angle.
struct light_reach {
    double position[3];
    double axis[3];
    double cos_half = -1;  // -1: every direction
};

light_reach reach_of(const drawn_light& l, bool spots) {
    light_reach r{};
    copy3(l.position, r.position);
    double aim[3] = {l.target[0] - l.position[0], l.target[1] - l.position[1], l.target[2] - l.position[2]};
    if (spots && l.spot && normalise(aim) && std::isfinite(l.falloff)) {
        copy3(aim, r.axis);
        // As POV-Ray draws it: a half angle of at most 90 degrees.
        r.cos_half = std::cos(std::clamp(l.falloff / 2.0, 0.0, 90.0) * std::numbers::pi / 180.0);
    }
    return r;
}

bool reaches(const light_reach& r, const double p[3]) {
    if (r.cos_half <= -1) return true;
    const double to[3] = {p[0] - r.position[0], p[1] - r.position[1], p[2] - r.position[2]};
    return dot(to, r.axis) >= r.cos_half * std::sqrt(dot(to, to));
}

}  // namespace

void draw_file_lights(const scene& s, const language_abilities& language, drawn_scene& d) {
    for (const light& l : s.lights) {
        const written_light w = light_as_written(l);
        if (l.is_off == 0 || language.writes_lights_off) ++d.lights_drawable;
        if (!w.finite || (l.is_off != 0 && !language.writes_lights_off)) continue;
        drawn_light& into = d.lights.emplace_back();
        copy3(w.position, into.position);
        copy3(w.color, into.color);
        into.intensity = l.multiplier;
        into.spot = l.is_spot != 0;
        into.target[0] = l.target.x, into.target[1] = l.target.y, into.target[2] = l.target.z;
        into.hotspot = l.hotspot;
        into.falloff = l.falloff;
    }
}

std::array<drawn_light, 3> studio_rig(const double eye[3], const double look_at[3], const double up[3], double share) {
    double forward[3] = {look_at[0] - eye[0], look_at[1] - eye[1], look_at[2] - eye[2]};
    double distance = std::sqrt(dot(forward, forward));
    if (!normalise(forward)) {
        forward[0] = forward[1] = forward[2] = -1 / std::numbers::sqrt3;
        distance = 1;
    }
    double right[3], upward[3];
    cross(forward, up, right);
    if (!normalise(right)) {
        // Looking straight along `up`: any square direction will do.
        const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0};
        cross(forward, std::abs(forward[0]) < 0.9 ? x : y, right);
        normalise(right);
    }
    cross(right, forward, upward);
    // The key above the eye and to its left, the fill at its height to its
    // right: each some 35 to 40 degrees off the line of sight, seen from
    // what the eye looks at. The top light stands above that, a little
    // behind it: seen from the default view's side, the mirror image of the
    // eye in a face that looks up.
    struct place {
        const double* from;
        double back, side, above, strength;
    };
    const place places[3] = {
        {eye, 0.0, -0.5, 0.6, studio_key}, {eye, 0.0, 0.75, 0.0, studio_fill}, {look_at, 0.4, 0.0, 0.9, studio_top}};
    std::array<drawn_light, 3> rig{};
    for (std::size_t i = 0; i < rig.size(); ++i) {
        drawn_light& l = rig[i];
        const place& p = places[i];
        for (int k = 0; k < 3; ++k) {
            l.position[k] = p.from[k] + distance * (p.back * forward[k] + p.side * right[k] + p.above * upward[k]);
            l.color[k] = p.strength * share;
            l.target[k] = look_at[k];
        }
        l.intensity = 1;
        l.studio = true;
    }
    return rig;
}

bool some_face_lit(const scene& s, const std::vector<placed_mesh>& meshes, const std::vector<drawn_light>& lights,
                   bool spots) {
    std::vector<light_reach> reach;
    for (const drawn_light& l : lights) reach.push_back(reach_of(l, spots));
    for (const placed_mesh& m : meshes) {
        const mesh_object& o = s.objects[m.object];
        const auto corner = [&](std::uint32_t i, double out[3]) {
            const vec3 v = m.matrix != nullptr ? place_point(*m.matrix, o.vertices[i]) : o.vertices[i];
            out[0] = v.x, out[1] = v.y, out[2] = v.z;
        };
        for (const face& f : o.faces) {
            if (!face_is_sound(f, o.vertices.data(), o.vertices.size())) continue;
            double a[3], b[3], c[3], ab[3], ac[3], normal[3];
            corner(f.a, a), corner(f.b, b), corner(f.c, c);
            for (int k = 0; k < 3; ++k) ab[k] = b[k] - a[k], ac[k] = c[k] - a[k];
            cross(ab, ac, normal);
            for (const light_reach& r : reach) {
                const double to_light[3] = {r.position[0] - a[0], r.position[1] - a[1], r.position[2] - a[2]};
                if (dot(to_light, normal) > 0 && (reaches(r, a) || reaches(r, b) || reaches(r, c))) return true;
            }
        }
    }
    return false;
}

}  // namespace tessvert
