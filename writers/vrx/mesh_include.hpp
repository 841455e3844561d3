// The mesh include file: per object a surface line in its material's
// diffuse colour, then one triangle statement per face (with --materials,
// such a block per material of the object's faces).
//
// The file can be made in parts: laid out once (lay_out_mesh), cut into
// parts of about the same number of faces (cut_mesh), and each part's text
// made on its own (format_mesh_part), by any thread, into a block of memory.
// The parts' texts, put one after the other in order, are the whole file,
// byte for byte the same however it was cut.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "drawing/drawn_scene.hpp"
#include "model/scene.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

// Faces in a part of the file when it is made part by part: about 1 MB of
// text.
inline constexpr std::size_t default_part_faces = 4096;

// A block of an object: a surface line in `colour`, then the faces at
// positions [start of the block, end) of the object's written order.
struct mesh_block {
    std::array<std::uint8_t, 3> colour{};
    std::uint32_t end = 0;
};

// Faces that follow one another in the file and are written one after the
// other: from face `first` on, up to the position `end` of the object's
// written order (the run before ends where this one starts).
struct face_run {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
};

// How one object is written.
struct object_layout {
    // The object's faces in the order they are written, as runs; empty:
    // file order. Faces of one material usually come in runs, so that this
    // is much shorter than a face number per face.
    std::vector<face_run> runs;
    // Its blocks in written order, each starting where the one before ends;
    // empty: one block of every face in the object's own colour.
    std::vector<mesh_block> blocks;
    std::array<std::uint8_t, 3> colour{};  // the object's own colour
};

// What the whole file holds and how: one entry per object of the scene.
struct mesh_layout {
    bool smooth = true;           // smooth triangles (the objects' normals computed)
    bool corner_normals = false;  // smooth, and the objects' corner normals where they have them
    std::vector<object_layout> objects;
};

// A place in the file: in object `object`, before the face at `face` of its
// written order. {object count, 0} is the end of the file. A part of the
// file, from one place to the next, holds the surface lines of the blocks
// that start in it and the faces in it.
struct mesh_position {
    std::uint32_t object = 0;
    std::uint32_t face = 0;
};

// What the text of one part is made with: the corner texts of the object
// at hand. One per thread, kept from one part to the next.
struct mesh_formatter {
    struct corner_text {
        std::uint32_t offset;       // start of "vertex <x y z> " in the arena; not_yet: not formatted
        std::uint16_t vertex_size;  // length of that text
        std::uint16_t normal_size;  // length of "normal <x y z> " after it; 0: not finite or not wanted
    };
    // The first `used` bytes hold texts, and the bytes after them are
    // zeros up to a copy block (see the writer). Only what a part fills is
    // ever touched.
    std::unique_ptr<char[]> arena;
    std::size_t capacity = 0;
    std::size_t used = 0;
    // Per vertex, with its vertex normal (or none); per entry of the
    // object's smooth_normals, with that normal: each entry belongs to one
    // vertex, so it stands for one (vertex, normal). The entries formatted
    // for the object at hand are listed, to be cleared after it.
    std::vector<corner_text> corners;
    std::vector<corner_text> smooth_corners;
    std::vector<std::uint32_t> filled_corners;
    std::vector<std::uint32_t> filled_smooth_corners;
    // With corner normals, per vertex: where in the arena its vertex text
    // already is (normal_size unused), so that the corners of one vertex
    // with different normals format it once.
    std::vector<corner_text> vertex_texts;
    std::vector<std::uint32_t> filled_vertex_texts;
    // Whether the texts of an object written out of file order (in
    // material blocks, whose faces share vertices with the other blocks')
    // are kept from one part to the next of the same object, and of which
    // object they are (and whether with vertex and corner normals). The
    // writer on one thread keeps them; each of several threads would keep a
    // copy of its own for a share of the parts.
    bool keep_texts = false;
    const void* object = nullptr;
    int object_normals = 0;
};

// Lays out the file as `d` draws it: smooth triangles with the objects'
// normals (their corner normals where they have them), or flat triangles;
// each object as one block in its colour, or, when faces are drawn in their
// own materials, one block per material of its faces, in the order of each
// block's first face (faces without a material form a block in the
// object's colour).
mesh_layout lay_out_mesh(const drawn_scene& d);

// The places where the file is cut into parts, in order: first {0, 0}, last
// the end of the file. Each part holds at most `part_faces` faces (at least
// 1 is taken), an object counting as one more for its surface line.
std::vector<mesh_position> cut_mesh(const scene& s, std::size_t part_faces);

// The faces in the part [from, to).
std::uint64_t faces_between(const scene& s, mesh_position from, mesh_position to);

// Appends the text of the part [from, to) of the objects of `s` to `out`.
// A face with a corner whose normal is not finite is written flat.
// Precondition: every face index is below its object's vertex_count.
void format_mesh_part(const scene& s, const mesh_layout& layout, mesh_position from, mesh_position to,
                      mesh_formatter& formatter, text_block& out);

}  // namespace tessvert
