// Big valid 3DS scenes for the benchmark, built with the tests' chunk
// builder: one material (three or four with material groups), a camera, a
// light, then mesh objects of at most 65 535 faces each, alternately a wavy
// grid and a sphere, with shared vertices and non-round coordinates.
#pragma once

#include <cstdint>

#include "testkit/chunk_builder.hpp"

namespace tessvert_bench {

// Faces of one full object: face and vertex counts are 16-bit in the file.
inline constexpr std::uint32_t max_object_faces = 65535;
// Faces of one full object of the bands scene (a 181 x 181 grid's worth).
inline constexpr std::uint32_t bands_object_faces = 64800;

// What the scene's objects hold besides their geometry.
enum class scene_kind {
    plain,  // one material group per object, naming every face; no smoothing groups
    // Per object several material groups (three or four materials in runs
    // of faces) and smoothing groups whose masks change across the object,
    // so that vertices on the borders are shared by faces of different
    // masks (hard edges) and some faces carry two bits (soft transitions).
    groups,
    // Per object, objects of at most bands_object_faces faces, three
    // materials in bands of 97 faces (the faces of a band in the group of
    // material band % 3) and smoothing masks in bands of 64 faces (one bit
    // of four, in turn): hard edges and colour borders run through every
    // object, and a vertex has faces of a few masks and materials.
    bands,
};

// The whole file of a scene of exactly `face_count` faces (at least 1).
// The same count and kind always give the same bytes.
chunks::bytes make_bench_scene(std::uint64_t face_count, scene_kind kind = scene_kind::plain);

// The whole file of a scene that stresses the material look-up: `megabytes`
// MB of materials all named "a", then one triangle whose face list holds as
// many bytes of material groups, each naming the absent material "b".
chunks::bytes make_lookup_scene(std::uint64_t megabytes);

// The whole file of two objects of max_object_faces faces around one
// vertex each: a flat fan (one face direction at the centre) and a cone (a
// direction per face), the worst case of a crease angle at a vertex.
chunks::bytes make_fan_scene();

}  // namespace tessvert_bench
