// The mesh include file made by several threads: its parts are formatted
// by the pool's workers and the calling thread, and the calling thread
// writes them in order while the next ones are formatted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "app/runtime/workers.hpp"
#include "model/scene.hpp"
#include "writers/mesh_include.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// Faces in the smallest part a scene is cut into for several threads.
inline constexpr std::size_t least_part_faces = 256;

// What formats one part: format_mesh_part, or a stand-in that fails.
using part_formatter =
    std::function<void(const scene&, const mesh_layout&, mesh_position, mesh_position, mesh_formatter&, text_block&)>;

// Writes the same bytes into `out` as write_mesh_include, and counts the
// same `written_faces`. The texts in memory are bounded: one part per
// thread and one more (64 in all), each of at most default_part_faces
// faces, whatever the size of the file. After a failed write nothing more
// is formatted. Every write is made on the calling thread. When formatting
// a part throws (out of memory), every thread stops and the exception is
// thrown here; `out` is left for its owner to discard.
void write_mesh_include_on_workers(const scene& s, output_file& out, std::int32_t triangle_mode,
                                   std::int32_t& written_faces, const mesh_options& options, worker_pool& pool,
                                   const part_formatter& format_part = format_mesh_part);

}  // namespace tessvert
