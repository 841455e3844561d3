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
#include "writers/pov/pov_mesh.hpp"

namespace tessvert {

// Faces in the smallest part a scene is cut into for several threads.
inline constexpr std::size_t least_part_faces = 256;

// Formats part `part` of a file into `text` (empty when called) on the
// thread numbered `thread`: 0 is the calling thread, 1 to the pool's size
// its workers, each calling with one number only.
using part_format = std::function<void(std::size_t part, std::size_t thread, text_block& text)>;

// Writes the parts [0, parts) of a file into `out` in order, each formatted
// by `format` on the pool's workers or the calling thread, while the
// calling thread writes the ones before. One part per thread and one more
// are in memory at a time (64 at most). After a failed write nothing more
// is formatted. Every write is made on the calling thread. When a part runs
// out of memory (std::bad_alloc), the workers take no more parts, and once
// they are done the calling thread formats the rest alone, that part again
// first. When that part runs out of memory again, or formatting throws
// anything else, every thread stops and the exception is thrown here.
void write_parts_on_workers(output_file& out, std::size_t parts, const part_format& format, worker_pool& pool);

// How big to make each part of a file of `weight` items on the pool's
// threads: four parts a thread or more, each of `least` to `most` items.
std::size_t part_size_for(const worker_pool& pool, std::uint64_t weight, std::size_t least, std::size_t most);

// What formats one part: format_mesh_part, or a stand-in that fails.
using part_formatter =
    std::function<void(const scene&, const mesh_layout&, mesh_position, mesh_position, mesh_formatter&, text_block&)>;

// Writes the same bytes into `out` as write_mesh_include, and counts the
// same `written_faces`. The texts in memory are bounded: one part per
// thread and one more (64 in all), each of at most default_part_faces
// faces, whatever the size of the file. After a failed write nothing more
// is formatted. Every write is made on the calling thread. A part that
// runs out of memory is handled as write_parts_on_workers says; when the
// writing fails, the exception is thrown here and `out` is left for its
// owner to discard.
void write_mesh_include_on_workers(const scene& s, output_file& out, std::int32_t triangle_mode,
                                   std::int32_t& written_faces, const mesh_options& options, worker_pool& pool,
                                   const part_formatter& format_part = format_mesh_part);

// The POV-Ray mesh file made the same way: the same bytes as
// write_pov_mesh, and the same `written_faces`.
void write_pov_mesh_on_workers(const scene& s, const pov_names& names, const pov_mesh_layout& layout, output_file& out,
                               std::int32_t& written_faces, worker_pool& pool);

}  // namespace tessvert
