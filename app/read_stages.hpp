// The stages an object goes through between the file and the writers, one
// record of state per object. read_scene (app/convert.hpp) runs them in
// order: the file read, the materials resolved, the normals of the objects
// that lose no face (on the workers), the face checks with their warnings
// (in file order), the normals left.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "app/runtime/workers.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

enum class object_stage : std::uint8_t {
    pending,   // read; nothing is known of its faces yet
    unsound,   // a face of it is to be removed: left to the face checks
    sound,     // no face to be removed; its vertex normals are in place when wanted
    finished,  // every normal it gets is in place
};

struct object_state {
    object_stage stage = object_stage::pending;
    bool too_many_masks = false;  // a vertex with more distinct smoothing masks than are followed
    // While the file is read only: the object's arrays as the reader handed
    // them over, and the vertex normals (and with --smoothing the corner
    // normals) a worker made of them.
    std::span<const face> faces;
    std::span<const vec3> vertices;
    std::span<const std::uint32_t> smoothing;
    std::vector<vec3> early_normals;
    std::vector<std::uint32_t> early_corner_normals;
    std::vector<vec3> early_smooth_normals;
};

// A deque: a worker keeps a record while more are added as objects are read.
using object_states = std::deque<object_state>;

// What the normals stages compute: vertex normals (`smooth`), then corner
// normals from the smoothing groups (`smoothing`), or from the crease
// angle whose cosine is `crease_cos` (`crease`; the groups too with
// `smoothing`).
struct normals_wanted {
    bool smooth = true;
    bool smoothing = false;
    bool crease = false;
    double crease_cos = 0.0;
};

// Loads `path` into the empty scene `s` with load_scene_file, the console
// told that it is read and what became of it, and gives `state` one
// record per object; false when the load failed. With
// `pool`, a worker takes each object as soon as it is read: checked, and
// when sound given its vertex normals and, when the smoothing groups are
// followed without a crease angle, its corner normals, put in place once the
// file is read.
// An object whose normals ran out of memory on the worker stays pending.
// With `bytes`, those are read instead of the file, `path` naming them in
// the messages.
bool read_objects(const std::string& path, const std::vector<unsigned char>* bytes, scene& s, reporter& report,
                  worker_pool* pool, normals_wanted wanted, object_states& state);

// Each object not finished is checked, and when sound given its normals;
// on the workers of `pool` when it has any. An object whose normals run out
// of memory is left as it was (its partial normals dropped), for the last
// stage to compute again.
void normals_of_sound_objects(scene& s, worker_pool* pool, normals_wanted wanted, object_states& state);

// Whether some object is not finished: only then can a face check remove
// a face.
bool some_object_left(const object_states& state);

// Gives every object not finished its normals, the faces checks done. With
// workers, an object that runs out of memory on one is computed again on
// the calling thread, after the others and in file order, where a second
// failure is thrown: so the run fails only where a one-thread run fails.
// Then the warning of the first object with too many smoothing masks.
void remaining_normals(scene& s, worker_pool* pool, normals_wanted wanted, object_states& state, reporter& report);

}  // namespace tessvert
