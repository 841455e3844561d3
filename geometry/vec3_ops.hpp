// Vector operations used by the vertex normals. Each widens its float
// operands to double, does all of its arithmetic in double, and rounds each
// component of its result to float once, when it is stored.
//
// They are defined here so that the normals' loops inline them (as calls
// they cost about half of the normals' time). Inlining cannot change a
// result: every component goes through round_to_float, and a product of two
// floats widened to double is exact (48 significant bits), so contracting
// a*b - c*d or a sum of squares into a fused multiply-add cannot change a
// result either; the only inexact products (times a reciprocal) are
// followed by the rounding to float, not by an add.
#pragma once

#include <cmath>

#include "model/scene.hpp"

namespace tessvert {

namespace vec3_detail {

// Rounds one component to float once. The empty asm makes the compiler hold
// the float itself in a register (or memory) before anything else sees it,
// so that a caller that inlines the operation cannot fold the rounding away
// when it widens the result to double again; g++ 12's SLP vectoriser does
// exactly that at -O2 for vec3_div followed by vec3_normalize. The asm emits
// no instruction.
inline float round_to_float(double d) {
    float f = static_cast<float>(d);
#if defined(__GNUC__) && defined(__x86_64__)
    asm("" : "+x"(f));
#elif defined(__GNUC__) && defined(__aarch64__)
    asm("" : "+w"(f));
#elif defined(__GNUC__)
    asm("" : "+m"(f));
#endif
    return f;
}

inline vec3 store(double x, double y, double z) {
    return vec3{round_to_float(x), round_to_float(y), round_to_float(z)};
}

}  // namespace vec3_detail

inline vec3 vec3_sub(vec3 a, vec3 b) {
    return vec3_detail::store(static_cast<double>(a.x) - static_cast<double>(b.x),
                              static_cast<double>(a.y) - static_cast<double>(b.y),
                              static_cast<double>(a.z) - static_cast<double>(b.z));
}

inline vec3 vec3_add(vec3 a, vec3 b) {
    return vec3_detail::store(static_cast<double>(a.x) + static_cast<double>(b.x),
                              static_cast<double>(a.y) + static_cast<double>(b.y),
                              static_cast<double>(a.z) + static_cast<double>(b.z));
}

// v times r, r = 1 / s computed once in double (s = +0 gives r = +inf and
// 0 * inf = NaN).
inline vec3 vec3_div(vec3 v, float s) {
    const double r = 1.0 / static_cast<double>(s);
    return vec3_detail::store(static_cast<double>(v.x) * r, static_cast<double>(v.y) * r, static_cast<double>(v.z) * r);
}

inline vec3 vec3_cross(vec3 a, vec3 b) {
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    return vec3_detail::store(ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx);
}

// v times 1 / sqrt((z*z + y*y) + x*x), summed in that order (it fixes the
// last bit of the length), all in double (q = 0 gives r = +inf).
inline vec3 vec3_normalize(vec3 v) {
    const double x = v.x, y = v.y, z = v.z;
    const double q = (z * z + y * y) + x * x;
    const double r = 1.0 / std::sqrt(q);
    return vec3_detail::store(x * r, y * r, z * r);
}

}  // namespace tessvert
