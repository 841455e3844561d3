#include "drawing/drawn_normals.hpp"

#include <cmath>

#include "model/number_format.hpp"

namespace tessvert {

bool usable_normal(double x, double y, double z) {
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(z) &&
           !(written_as_zero(x) && written_as_zero(y) && written_as_zero(z));
}

bool face_unit_normal(const mesh_object& o, const face& f, double n[3]) {
    const vec3 &a = o.vertices[f.a], &b = o.vertices[f.b], &c = o.vertices[f.c];
    const double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double v[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    n[0] = u[1] * v[2] - u[2] * v[1];
    n[1] = u[2] * v[0] - u[0] * v[2];
    n[2] = u[0] * v[1] - u[1] * v[0];
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0 && std::isfinite(length))
        for (int k = 0; k < 3; ++k) n[k] /= length;
    return usable_normal(n[0], n[1], n[2]);
}

}  // namespace tessvert
