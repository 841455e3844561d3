// The mesh include file made by several threads: its parts are formatted
// by the pool's workers and the calling thread, and the calling thread
// writes them in order while the next ones are formatted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/runtime/workers.hpp"
#include "model/scene.hpp"
#include "writers/mesh_include.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// Faces in the smallest part a scene is cut into for several threads.
inline constexpr std::size_t least_part_faces = 256;

// Writes the same bytes into `out` as write_mesh_include, and counts the
// same `written_faces`. The texts in memory are bounded: one part per
// thread and one more (64 in all), each of at most default_part_faces
// faces, whatever the size of the file. After a failed write nothing more
// is formatted. Every write is made on the calling thread.
void write_mesh_include_on_workers(const scene& s, output_file& out, std::int32_t triangle_mode,
                                   std::int32_t& written_faces, const mesh_options& options, worker_pool& pool);

}  // namespace tessvert
