// Normals per face corner that keep the edges hard where two faces meet at
// more than a crease angle, for files whose smoothing groups say nothing.
#pragma once

#include <cstddef>

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// More distinct (face normal, smoothing mask) pairs than this among the
// faces at one vertex (a cone's tip, a hostile fan) make the vertex too
// costly to split: every corner there keeps the plain vertex normal.
inline constexpr std::size_t max_normals_at_vertex = 256;

// The cosine a crease angle of `degrees` (0 to 180) compares with.
double crease_cosine(double degrees);

// Fills corner_normals and smooth_normals of `object`. The corner (face f,
// vertex i) gets the plain vertex normal's steps (face vectors added from +0
// in ascending face order, each face once, then divided by minus their count
// and normalised) over only the faces at i whose own normals are within the
// crease angle of f's (cosine of the angle between them at least
// `cosine`); a face without a direction (zero area) is within any angle.
// With `use_masks` and a mask for every face, a face must also share a
// smoothing group bit with f, and a face of mask 0 is alone at its three
// corners. Where those faces are all the faces at i, the corner takes the
// vertex normal (use_vertex_normal), bit for bit. Returns whether some
// vertex had more than max_normals_at_vertex distinct pairs.
// Preconditions: every face index is below vertex_count, and `normals`
// holds the object's vertex normals (compute_object_normals).
bool compute_crease_normals(mesh_object& object, double cosine, bool use_masks);

// That warning, once per run, naming `first`, the first object with such a
// vertex.
void report_too_many_normals(const mesh_object& first, reporter& report);

// Whether the smoothing groups of `object` say nothing of its shape: it has
// faces, and no mask for them, or every mask 0, or one mask for all.
bool groups_say_nothing(const mesh_object& object);

}  // namespace tessvert
