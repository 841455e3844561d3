// Normals per face corner that follow the smoothing groups of the 3DS file
// (one 32-bit mask per face): edges between faces that share no group bit
// stay hard.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// More distinct masks than this among the faces at one vertex are taken as
// hostile: every corner at that vertex gets the plain vertex normal.
inline constexpr std::size_t max_masks_at_vertex = 64;

// Fills corner_normals and smooth_normals of `object` when it has a mask
// for every face, and empties them otherwise. The corner (face f, vertex i)
// gets the plain vertex normal's steps (face vectors added from +0 in
// ascending face order, each face once, then divided by minus their count
// and normalised) taken over only the faces that use i and whose mask
// shares a bit with f's; a face whose mask is 0 gets them over itself alone
// at all three corners. Where those faces are all the faces at i, the
// corner takes the vertex normal (use_vertex_normal): the same steps on the
// same faces. So with every mask equal and non-zero, every corner takes its
// vertex normal. Returns whether some vertex had more than
// max_masks_at_vertex distinct masks.
// Preconditions: every face index is below vertex_count, and `normals`
// holds the object's vertex normals (compute_object_normals).
bool compute_corner_normals(mesh_object& object);

// The same from plain arrays, so that they can be computed from an object's
// arrays while its record moves: `mask` holds one mask per face, and the
// corner normals go into `corner_normals` and `smooth_normals`.
// Precondition: every face index is below vertex_count.
bool compute_corner_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                            const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                            std::vector<vec3>& smooth_normals);

// What the corner normals of one object need while they are computed: kept
// by a thread from one object to the next, so that their memory is taken
// (and its pages touched) once, not once per object.
struct corner_scratch {
    // A vertex whose faces carry several masks: its distinct masks in order
    // of first use (at most four), and per mask the sum and count of the
    // vectors of its faces, in ascending face order. A vertex whose faces
    // carry mask 0, more masks, or two masks that share a bit is `listed`
    // instead: its faces are listed and walked.
    struct walked_vertex {
        std::uint32_t first_id;  // listed: its place among the listed vertices
        std::array<std::uint32_t, 4> masks;
        std::array<std::uint32_t, 4> counts;
        std::array<vec3, 4> sums;
        std::uint8_t used;
        bool listed;
    };
    std::vector<vec3> sums;                 // per vertex, of all its faces
    std::vector<std::uint32_t> counts;      // per vertex, its faces
    std::vector<std::uint32_t> first_mask;  // per vertex, its first face's; then its first new normal
    std::vector<std::uint32_t> slot;        // per vertex, its place in `walked`, if any
    std::vector<walked_vertex> walked;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> faces;
};

// The same with `scratch` for the buffers.
bool compute_corner_normals(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count,
                            const std::uint32_t* mask, std::vector<std::uint32_t>& corner_normals,
                            std::vector<vec3>& smooth_normals, corner_scratch& scratch);
bool compute_corner_normals(mesh_object& object, corner_scratch& scratch);

// compute_normals and compute_corner_normals in one: the vertex normals into
// `normals` and the corner normals, bit for bit those two give, in one pass
// over the faces that sums both. Returns whether some vertex had more than
// max_masks_at_vertex distinct masks.
// Precondition: every face index is below vertex_count.
bool compute_normals_and_corners(const face* faces, std::size_t face_count, const vec3* vertices,
                                 std::size_t vertex_count, const std::uint32_t* mask, std::vector<vec3>& normals,
                                 std::vector<std::uint32_t>& corner_normals, std::vector<vec3>& smooth_normals,
                                 corner_scratch& scratch);

// The warning, once per run, naming `first`, the first object where compute_corner_normals
// found a vertex with too many distinct masks.
void report_too_many_masks(const mesh_object& first, reporter& report);

// The normal of corner `k` (0, 1, 2: a, b, c) of face `j` as the
// smoothing groups give it, or the vertex normal when the object has no
// corner normals.
vec3 corner_normal(const mesh_object& object, std::size_t j, int k);

}  // namespace tessvert
