// Vector operations of the vertex normals, kept in their own translation unit
// so that callers in other files cannot inline them: each result is rounded
// to float inside the function and handed back as a float.
//
// A product of two floats widened to double is exact (48 significant bits),
// so contracting a*b - c*d or a sum of squares into a fused multiply-add
// cannot change a result; the only inexact products (times a reciprocal) are
// followed by the rounding to float, not by an add.
#include "geometry/vec3_ops.hpp"

#include <cmath>

namespace tessvert {

namespace {

// Rounds one component to float once. The empty asm makes the compiler hold
// the float itself in a register (or memory) before anything else sees it, so
// that a caller which does get to inline this (link-time optimisation) cannot
// fold the rounding away when it widens the result to double again; g++ 12's
// SLP vectoriser does exactly that at -O2 for vec3_div followed by
// vec3_normalize. The asm emits no instruction.
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

}  // namespace

vec3 vec3_sub(vec3 a, vec3 b) {
    return store(static_cast<double>(a.x) - static_cast<double>(b.x),
                 static_cast<double>(a.y) - static_cast<double>(b.y),
                 static_cast<double>(a.z) - static_cast<double>(b.z));
}

vec3 vec3_add(vec3 a, vec3 b) {
    return store(static_cast<double>(a.x) + static_cast<double>(b.x),
                 static_cast<double>(a.y) + static_cast<double>(b.y),
                 static_cast<double>(a.z) + static_cast<double>(b.z));
}

vec3 vec3_div(vec3 v, float s) {
    // One reciprocal, kept in double; s = +0 gives +inf and 0 * inf = NaN.
    const double r = 1.0 / static_cast<double>(s);
    return store(static_cast<double>(v.x) * r, static_cast<double>(v.y) * r, static_cast<double>(v.z) * r);
}

vec3 vec3_cross(vec3 a, vec3 b) {
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    return store(ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx);
}

vec3 vec3_normalize(vec3 v) {
    const double x = v.x, y = v.y, z = v.z;
    // The order of the sum fixes the last bit of the length.
    const double q = (z * z + y * y) + x * x;
    const double r = 1.0 / std::sqrt(q);  // q = 0 gives +inf
    return store(x * r, y * r, z * r);
}

}  // namespace tessvert
