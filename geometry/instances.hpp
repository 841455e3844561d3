// Copies of meshes that the keyframer shows more than once: where each of
// its object nodes puts its mesh at frame 0.
#pragma once

#include <cstddef>

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Faulty nodes that get a warning line each; the others past them share one.
inline constexpr std::size_t max_node_warnings = 100;

// What place_instances places: the copies (every node of a mesh after its
// first), and the first node of each mesh.
struct keyframer_wanted {
    bool copies = true;
    bool first_nodes = false;
};

// Fills s.instances from s.nodes: every object node after the first that
// names a mesh adds that mesh once more (with wanted.first_nodes,
// s.first_nodes gets where the first node of each mesh puts it, alike;
// what is not wanted is left as it was).
// Its placement is the node's world
// matrix at frame 0 (the parents' first keys, then its own: a move to the
// position, a turn by the angle about the axis, a scale), times a move by
// minus its pivot, times the inverse of the mesh's own matrix: it takes the
// mesh's vertices as stored to the copy's. A node's parent is the earlier
// node whose node id (or, without one, whose place in the list) the header
// names. A node that names no mesh (dummies aside), a parent that is not an
// earlier node or whose own place cannot be worked out, a singular mesh matrix or a
// placement that is not finite leaves the copy out (the first node's mesh
// where its data puts it), with one warning that names the node; a node
// that names no mesh is warned of only when copies are wanted.
void place_instances(scene& s, reporter& report, keyframer_wanted wanted = {});

// Places the object's vertices by `m` and turns its normals (vertex and
// corner) by the inverse transpose, made unit again.
void place_object(mesh_object& o, const placement& m);

// `a` after `b`: first b, then a.
placement compose_placements(const placement& a, const placement& b);

// Where `m` puts the point `p`, in single precision: where a copy's vertex
// stands.
vec3 place_point(const placement& m, const vec3& p);

// How many meshes more than one object node names.
std::size_t meshes_shown_again(const scene& s);

// Most faces that the copies may hold together; the instances past it (or
// past max_instances) are
// left out, with one warning (place_instances), so that a few bytes of
// keyframer cannot ask for unbounded memory.
inline constexpr std::size_t max_instance_faces = std::size_t{1} << 22;
// Most copies, whatever their faces: each is an object of its own.
inline constexpr std::size_t max_instances = std::size_t{1} << 16;

// Appends one object per instance after the file's objects: a copy of the
// mesh with its vertices placed, and its normals (vertex and corner)
// turned by the inverse transpose and normalised. Returns how many objects
// the file had, for remove_instance_copies.
std::size_t add_instance_copies(scene& s);

// Removes the objects that add_instance_copies appended.
void remove_instance_copies(scene& s, std::size_t file_objects);

}  // namespace tessvert
