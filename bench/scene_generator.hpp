// Big valid 3DS scenes for the benchmark, built with the tests' chunk
// builder: one material, a camera, a light, then mesh objects of at most
// 65 535 faces each, alternately a wavy grid and a sphere, with shared
// vertices and non-round coordinates.
#pragma once

#include <cstdint>

#include "testkit/chunk_builder.hpp"

namespace tessvert_bench {

// Faces of one full object: face and vertex counts are 16-bit in the file.
inline constexpr std::uint32_t max_object_faces = 65535;

// The whole file of a scene of exactly `face_count` faces (at least 1).
// The same count always gives the same bytes.
chunks::bytes make_bench_scene(std::uint64_t face_count);

// The whole file of a scene that stresses the material look-up: `megabytes`
// MB of materials all named "a", then one triangle whose face list holds as
// many bytes of material groups, each naming the absent material "b".
chunks::bytes make_group_scene(std::uint64_t megabytes);

}  // namespace tessvert_bench
