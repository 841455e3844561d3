// Vertex normals for smooth triangles: the unit vector of the sum of the
// (unnormalised) vectors of the faces that use a vertex.
#pragma once

#include "model/scene.hpp"

namespace tessvert {

// Fills `normals` of one object with vertex_count entries.
// Precondition: every face index is below vertex_count.
void compute_object_normals(mesh_object& object);

// Runs compute_object_normals over every object of the scene, in order.
void compute_vertex_normals(scene& s);

}  // namespace tessvert
