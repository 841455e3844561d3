// Vector operations used by the vertex normals. Each widens its float
// operands to double, does all of its arithmetic in double, and rounds each
// component of its result to float once, when it is stored.
#pragma once

#include "model/scene.hpp"

namespace tessvert {

vec3 vec3_sub(vec3 a, vec3 b);
vec3 vec3_add(vec3 a, vec3 b);
// v times r, r = 1 / s computed once in double (s = +0 gives r = +inf).
vec3 vec3_div(vec3 v, float s);
vec3 vec3_cross(vec3 a, vec3 b);
// v times 1 / sqrt((z*z + y*y) + x*x), summed in that order, all in double.
vec3 vec3_normalize(vec3 v);

}  // namespace tessvert
