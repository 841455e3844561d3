// The glTF buffer file (NAME.bin): per mesh its vertices' positions, their
// normals (smooth mode) and mapping coordinates (when a material of the
// mesh shows its map), then per primitive (the faces of one material) its
// triangles as indices, each block 4-byte aligned, all little-endian.
//
// One mesh per object that has faces. Its vertices are those its faces use,
// split only where the corners at a vertex have different normals: the
// normal of a corner is the one the POV-Ray output gives it (its smoothing
// group's, or the face's own for a face drawn flat). A copy of a mesh
// that a node cannot place (its matrix does not split into a translation,
// a rotation and a scale) is a further mesh, the matrix applied to its
// positions and normals.
//
// Like the other mesh files it is made in parts: laid out once, cut into
// parts of about the same number of items (a vertex's position, its normal,
// its mapping coordinates, a triangle), each part's bytes made on its own by
// any thread; the parts put one after the other are the whole file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "drawing/drawn_scene.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

// The faces of one material in a mesh.
struct gltf_primitive {
    std::int32_t material = no_material;
    std::uint32_t faces = 0;
    std::uint32_t first = 0;  // its first face's place in the object's `order`
    bool mapped = false;      // its material's map is shown through TEXCOORD_0
};

// A face drawn flat: its own normal at its three corners, and so vertices
// of its own where no other corner has that normal.
struct gltf_flat_face {
    std::uint32_t face = 0;
    std::array<std::uint32_t, 3> corner{};  // the mesh's vertices of its corners a, b, c
};

// How an object's faces become a mesh; `faces` 0: no mesh.
struct gltf_object_layout {
    std::uint32_t faces = 0;
    std::vector<std::uint32_t> source;     // per mesh vertex: the object's vertex
    std::vector<std::uint32_t> normal_of;  // per mesh vertex, in smooth mode: where its normal comes from
    std::vector<std::uint32_t> at_vertex;  // per object vertex: its mesh vertex with the vertex normal
    std::vector<std::uint32_t> at_smooth;  // per smooth normal of the object: its mesh vertex
    std::vector<gltf_flat_face> flat;      // ascending
    std::vector<gltf_primitive> primitives;
    std::vector<std::uint32_t> order;  // the faces by primitive, when there are several
    bool corner_normals = false;       // the object's corner normals apply
    bool uv = false;                   // TEXCOORD_0 is written
    std::array<float, 3> min{}, max{};
};

// A mesh of the buffer file: an object's, or the copy of one with its
// matrix applied.
struct gltf_mesh {
    std::uint32_t object = 0;
    bool placed = false;  // `matrix` is applied
    placement matrix{};
    std::array<double, 9> normal_matrix{};  // the inverse transpose of its 3 x 3 part, row by row
    bool mirrored = false;                  // the matrix turns space inside out: each triangle's corners reversed
    std::array<float, 3> min{}, max{};      // of its positions as written
    std::uint64_t offset = 0;               // where its bytes start in the file
};

// A copy of the keyframer placed by a node: translation, rotation (a unit
// quaternion x, y, z, w) and scale.
struct gltf_node_placement {
    std::array<double, 3> translation{};
    std::array<double, 4> rotation{0, 0, 0, 1};
    std::array<double, 3> scale{1, 1, 1};
};

// Splits an affine placement into translation, rotation and scale: false
// when it does not split (its axes are not square to each other, one has
// no length, or it mirrors).
bool split_placement(const placement& m, gltf_node_placement& into);

struct gltf_layout {
    bool smooth = true;
    std::vector<gltf_object_layout> objects;  // one per object of the scene
    std::vector<gltf_mesh> meshes;            // in file order, then the copies with their matrices
    std::vector<std::int32_t> mesh_of;        // per object: its mesh, or -1
    // Per object: whether its node places its mesh (the drawing's
    // object_placements, split into a translation, a rotation and a scale)
    // and that placement; a placement that does not split is applied to
    // the mesh's positions and normals instead.
    std::vector<std::uint8_t> object_placed;
    std::vector<gltf_node_placement> object_nodes;
    // Per copy of the drawn scene: the mesh that holds it with its matrix
    // applied, -1 when a node places the object's mesh (`nodes`), -2 when
    // it is left out (an object without faces, or a position past single
    // precision).
    std::vector<std::int32_t> copy_mesh;
    std::vector<gltf_node_placement> nodes;  // per copy
    std::uint64_t bytes = 0;
};

gltf_layout lay_out_gltf(const drawn_scene& d);

// Where the blocks of mesh `k` lie in the file, in bytes.
struct gltf_mesh_blocks {
    std::uint64_t positions = 0, normals = 0, uvs = 0;  // offsets; normals and uvs only when written
    std::uint32_t vertices = 0;
    std::uint32_t index_size = 2;        // 2 or 4
    std::vector<std::uint64_t> indices;  // per primitive, its offset
    std::uint64_t end = 0;               // past its last block
};
gltf_mesh_blocks mesh_blocks(const gltf_layout& layout, std::size_t k);

// A place in the file: in mesh `mesh`, before its item `item`.
struct gltf_position {
    std::uint32_t mesh = 0;
    std::uint64_t item = 0;
};

// Cuts the file into parts of at most `part_items` items (at least 1);
// first {0, 0}, last {mesh count, 0}.
std::vector<gltf_position> cut_gltf_buffer(const gltf_layout& layout, std::size_t part_items);

// The triangles in the part [from, to).
std::uint64_t gltf_faces_between(const gltf_layout& layout, gltf_position from, gltf_position to);

// Appends the bytes of the part [from, to) to `out`.
void format_gltf_part(const drawn_scene& d, const gltf_layout& layout, gltf_position from, gltf_position to,
                      text_block& out);

// Items in a part of the file when it is made part by part.
inline constexpr std::size_t default_gltf_part_items = 65536;

}  // namespace tessvert
