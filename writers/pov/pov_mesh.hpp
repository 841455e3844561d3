// The POV-Ray mesh file: one mesh2 per object that has faces, declared
// under the object's identifier. Each lists the vertices its faces use once
// (vertex_vectors, in the object's vertex order), in smooth mode the
// normals once (normal_vectors: the vertex normals, then the object's
// corner normals, then the own normals of faces drawn flat), the textures
// of its faces (texture_list) and per face its three vertices and its
// texture (face_indices) and, in smooth mode, its three normals
// (normal_indices), and for an object with mapping coordinates its
// uv_vectors and uv_indices. A face with a corner whose normal is not finite or is
// zero is drawn flat, like the other output's flat triangle, with its own
// normal at each corner.
//
// Like the other mesh file it is made in parts: laid out once, cut into
// parts of about the same number of items (a vertex, a normal, a face or a
// face's normals each), each part's text made on its own by any thread; the
// parts put one after the other are the whole file, however it was cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/scene.hpp"
#include "writers/common/text_block.hpp"
#include "writers/pov/pov_names.hpp"

namespace tessvert {

// How one object is written; `faces` 0: not at all.
struct pov_mesh_object {
    std::uint32_t faces = 0;
    std::vector<std::uint32_t> vertices;       // vertex_vectors: the vertex numbers used, ascending
    std::vector<std::uint32_t> written_index;  // per vertex of the object: its place in `vertices`
    std::vector<std::int32_t> textures;        // texture_list: face_material values in order of first use
    bool corner_normals = false;               // the object's corner_normals and smooth_normals apply
    // The object's mapping coordinates are written (uv_vectors, one per
    // written vertex, and per face the indices of its vertices) and its
    // faces take their materials' mapped textures.
    bool uv = false;
    std::vector<std::uint32_t> flat_faces;  // smooth mode: the faces drawn flat, ascending
    // normal_vectors, in smooth mode: vertices + corner normals + flat faces.
    // The object's items are its sections' entries one after the other
    // (vertices, normals, uv vectors, faces, normal indices, uv indices); a
    // part holds a range of them.
    std::uint32_t normal_count = 0;
};

struct pov_mesh_layout {
    bool smooth = true;
    std::vector<pov_mesh_object> objects;
};

// The texture list entries and the vertices and normals used, for every
// object; smooth mode when `triangle_mode` is 0 (the normals must have
// been computed).
pov_mesh_layout lay_out_pov_mesh(const scene& s, std::int32_t triangle_mode);

// Items of an object: what its parts are cut from.
std::uint64_t pov_object_items(const pov_mesh_layout& layout, std::size_t object);

// A place in the file: in object `object`, before its item `item`.
struct pov_position {
    std::uint32_t object = 0;
    std::uint64_t item = 0;
};

// Cuts the file into parts of at most `part_items` items (at least 1), an
// object counting as one more item; first {0, 0}, last {object count, 0}.
std::vector<pov_position> cut_pov_mesh(const pov_mesh_layout& layout, std::size_t part_items);

// The faces in the part [from, to).
std::uint64_t pov_faces_between(const pov_mesh_layout& layout, pov_position from, pov_position to);

// What a thread keeps from one part to the next: per material, its place
// in the texture list of the object at hand.
struct pov_mesh_formatter {
    std::vector<std::int32_t> slot_of;
};

// Appends the text of the part [from, to) to `out`.
void format_pov_mesh_part(const scene& s, const pov_names& names, const pov_mesh_layout& layout, pov_position from,
                          pov_position to, pov_mesh_formatter& formatter, text_block& out);

// Items in a part of the file when it is made part by part.
inline constexpr std::size_t default_pov_part_items = 16384;

}  // namespace tessvert
