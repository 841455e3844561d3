// The workers' share of the reading: while the main thread reads the file,
// each object read is checked and given its vertex normals on a worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/runtime/workers.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Loads the file into `s` as load_scene_file does, with the same result and
// messages. Meanwhile the pool's workers take each object as soon as it is
// read: when no face of it is to be removed (faces_are_sound), it gets its
// vertex normals (when `smooth`), computed from its arrays into a vector
// of their own and put in place once the file is read. `ready` then has an
// entry per object, 1 for each that is sound and has its normals; the
// others are left to the caller. A worker that runs out of memory stops
// taking objects, which the caller then finds not ready.
int load_with_workers(scene& s, const std::string& path, reporter& report, worker_pool& pool, bool smooth,
                      std::vector<std::uint8_t>& ready);

}  // namespace tessvert
