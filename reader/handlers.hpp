// The handlers of the levels of the 3DS chunk tree. Each level reads the
// children of its parent header one by one, dispatches on the child's id and
// skips what it does not know; `level` is the level of those children (the
// primary chunk's children are level 1).
#pragma once

#include <array>

#include "model/scene.hpp"
#include "reader/chunk_stream.hpp"

namespace tessvert {

// Children of the primary chunk 0x4D4D and of editor chunks 0x3D3D.
void parse_main_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level);

// Children of a named object 0x4000 or triangle mesh 0x4100; fills the last
// object of the scene.
void parse_object_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level);
void read_vertex_list(chunk_reader& r, mesh_object& object, chunk_header& h);
void read_face_list(chunk_reader& r, mesh_object& object, chunk_header& h);
void read_material_group(chunk_reader& r, const scene& s, mesh_object& object, chunk_header& h);
// Smoothing groups 0x4150: one 32-bit mask per face of the face list.
void read_smoothing_groups(chunk_reader& r, mesh_object& object, chunk_header& h);
void read_mapping_coords(chunk_reader& r, mesh_object& object, chunk_header& h);
// The mesh matrix 0x4160: twelve floats.
void read_mesh_matrix(chunk_reader& r, mesh_object& object, chunk_header& h);

// The keyframer 0xB000: its payload is read whole, as a skipped chunk's
// would be, and its object nodes are appended to the scene's nodes.
void read_keyframer(chunk_reader& r, scene& s, chunk_header& h);

// Children of a material entry 0xAFFF or texture map 0xA200; fills the last
// material of the scene.
void parse_material_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level);

// Fill the last light / camera of the scene from the chunk whose header was
// just read.
void read_light(chunk_reader& r, scene& s, chunk_header& h);
void read_camera(chunk_reader& r, scene& s, chunk_header& h);

// Colour and amount properties (a material's colours and percentages, the
// ambient light, the background colour): the first colour sub-chunk (float
// or 24-bit, channels as fractions) or the first percentage sub-chunk (a
// whole percentage or a float fraction, clamped to [0, 1], NaN as 0) of
// the chunk's payload. The chunk is read to its declared end exactly, as
// an unknown chunk is skipped; false, and nothing set, when no such
// sub-chunk is held whole. `in_floats`, when given, says whether the colour
// came from a float sub-chunk.
bool read_color_property(chunk_reader& r, chunk_header& h, std::array<float, 3>& rgb, bool* in_floats = nullptr);
bool read_amount_property(chunk_reader& r, chunk_header& h, float& amount);

}  // namespace tessvert
