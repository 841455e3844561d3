#include "app/read_stages.hpp"

#include <condition_variable>
#include <mutex>
#include <new>
#include <type_traits>

#include "app/load_messages.hpp"
#include "geometry/corner_normals.hpp"
#include "geometry/crease_normals.hpp"
#include "geometry/vertex_normals.hpp"
#include "reader/loader.hpp"

namespace tessvert {

// A worker reads an object's arrays while the reader adds more objects:
// the vector of objects then moves each record, which must take the
// arrays' storage along instead of copying it.
static_assert(std::is_nothrow_move_constructible_v<mesh_object>,
              "the arrays of an object read must stay where they are as more objects are added");

namespace {

// The objects handed over while the file is read, and the workers taking
// them in turn.
struct early_queue {
    early_queue(object_states& s, normals_wanted w) : state(s), wanted(w) {}
    object_states& state;
    normals_wanted wanted;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;     // the next record to take
    std::size_t working = 0;  // records taken and not finished
    bool reading = true;      // more records may come
    bool stopped = false;     // the reading failed: no more are taken
};

// Checks one object from the arrays it was handed over with; its normals
// go into the record, as the object itself may move meanwhile. The corner
// normals of the smoothing groups are made here too, unless a crease angle
// is wanted (that pass works on the object itself).
void check_early(object_state& o, normals_wanted wanted, corner_scratch& scratch) {
    if (!faces_are_sound(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size())) {
        o.stage = object_stage::unsound;
        return;
    }
    try {
        if (!wanted.smooth) {
            o.stage = object_stage::sound;
            return;
        }
        if (wanted.smoothing && !wanted.crease && o.smoothing.size() == o.faces.size()) {
            o.too_many_masks = compute_normals_and_corners(o.faces.data(), o.faces.size(), o.vertices.data(),
                                                           o.vertices.size(), o.smoothing.data(), o.early_normals,
                                                           o.early_corner_normals, o.early_smooth_normals, scratch);
        } else {
            compute_normals(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size(), o.early_normals);
        }
        o.stage = wanted.smoothing && !wanted.crease ? object_stage::finished : object_stage::sound;
    } catch (const std::bad_alloc&) {
        // Left pending: a later stage computes it again.
        o.too_many_masks = false;
        o.early_normals = {};
        o.early_corner_normals = {};
        o.early_smooth_normals = {};
    }
}

void work_on(early_queue& q) {
    corner_scratch scratch;  // this thread's, for every object it takes
    std::unique_lock lock(q.mutex);
    for (;;) {
        q.changed.wait(lock, [&] { return q.stopped || q.next < q.state.size() || !q.reading; });
        if (q.stopped || q.next >= q.state.size()) return;
        object_state& o = q.state[q.next++];
        ++q.working;
        lock.unlock();
        check_early(o, q.wanted, scratch);
        lock.lock();
        --q.working;
        q.changed.notify_all();
    }
}

// No more records come: the reading thread takes its share of those left
// (none after an exception), and returns once no worker uses an object's
// arrays.
void stop_reading(early_queue& q, bool help) {
    {
        const std::lock_guard lock(q.mutex);
        q.reading = false;
        if (!help) q.stopped = true;
    }
    q.changed.notify_all();
    if (help) work_on(q);
    std::unique_lock lock(q.mutex);
    q.changed.wait(lock, [&] { return q.working == 0; });
}

// Loads the file at `path`, or `bytes` when given; the console is told
// what became of it.
bool load(const std::string& path, const std::vector<unsigned char>* bytes, scene& s, reporter& report,
          load_watcher watcher = {}) {
    watcher.scene_found = [&](std::uint32_t length) { report_scene_found(path, length, report); };
    const load_outcome outcome = bytes == nullptr ? load_scene_file(s, path, report, watcher)
                                                  : load_scene_bytes(s, bytes->data(), bytes->size(), report, watcher);
    report_load_outcome(outcome, path, report);
    return converted(outcome.result);
}

bool load_with_workers(const std::string& path, const std::vector<unsigned char>* bytes, scene& s, reporter& report,
                       worker_pool& pool, normals_wanted wanted, object_states& state) {
    early_queue q(state, wanted);
    load_watcher watcher;
    watcher.object_read = [&](std::size_t i) {
        const mesh_object& o = s.objects[i];
        {
            const std::lock_guard lock(q.mutex);
            state.resize(i + 1);
            state[i].faces = o.faces;
            state[i].vertices = o.vertices;
            state[i].smoothing = o.smoothing;
        }
        q.changed.notify_one();
    };
    watcher.reading_done = [&] { stop_reading(q, true); };
    bool loaded = false;
    run_on_workers(
        pool, [&] { work_on(q); },
        [&] {
            try {
                loaded = load(path, bytes, s, report, watcher);
            } catch (...) {
                stop_reading(q, false);
                throw;
            }
        });
    return loaded;
}

bool wants_corners(normals_wanted wanted) {
    return wanted.smooth && (wanted.crease || wanted.smoothing);
}

// The corner normals of an object with its vertex normals; whether some
// vertex had too many of them to follow.
bool corner_normals_of(mesh_object& object, normals_wanted wanted, corner_scratch& scratch) {
    if (wanted.crease) return compute_crease_normals(object, wanted.crease_cos, wanted.smoothing);
    return compute_corner_normals(object, scratch);
}

// Brings object `i` as far as it goes without a face removed: checked, its
// vertex normals, its corner normals. Out of memory, it stays at the stage
// it had reached, without the normals it was computing.
void advance_sound(mesh_object& object, object_state& o, normals_wanted wanted, corner_scratch& scratch) {
    if (o.stage == object_stage::pending) {
        if (!faces_are_sound(object)) {
            o.stage = object_stage::unsound;
            return;
        }
        if (wanted.smooth && wanted.smoothing && !wanted.crease && object.smoothing.size() == object.faces.size()) {
            // The vertex and corner normals in one pass.
            try {
                o.too_many_masks = compute_normals_and_corners(
                    object.faces.data(), object.faces.size(), object.vertices.data(), object.vertices.size(),
                    object.smoothing.data(), object.normals, object.corner_normals, object.smooth_normals, scratch);
            } catch (const std::bad_alloc&) {
                object.normals = {};
                object.corner_normals = {};
                object.smooth_normals = {};
                return;
            }
            o.stage = object_stage::finished;
            return;
        }
        if (wanted.smooth) {
            try {
                compute_object_normals(object);
            } catch (const std::bad_alloc&) {
                object.normals = {};
                return;
            }
        }
        o.stage = object_stage::sound;
    }
    if (o.stage != object_stage::sound) return;
    if (wants_corners(wanted)) {
        try {
            o.too_many_masks = corner_normals_of(object, wanted, scratch);
        } catch (const std::bad_alloc&) {
            object.corner_normals = {};
            object.smooth_normals = {};
            return;
        }
    }
    o.stage = object_stage::finished;
}

// The normals of an object whose faces have been checked: its vertex
// normals unless it has them, then its corner normals.
void finish(mesh_object& object, object_state& o, normals_wanted wanted) {
    if (wanted.smooth) {
        if (o.stage != object_stage::sound) {
            compute_object_normals(object);
            o.stage = object_stage::sound;
        }
        if (wants_corners(wanted)) {
            corner_scratch scratch;
            o.too_many_masks = corner_normals_of(object, wanted, scratch);
        }
    }
    o.stage = object_stage::finished;
}

}  // namespace

bool read_objects(const std::string& path, const std::vector<unsigned char>* bytes, scene& s, reporter& report,
                  worker_pool* pool, normals_wanted wanted, object_states& state) {
    state.clear();
    if (pool != nullptr) {
        start_workers(*pool, 1);
        if (!load_with_workers(path, bytes, s, report, *pool, wanted, state)) return false;
    } else if (!load(path, bytes, s, report)) {
        return false;
    }
    state.resize(s.objects.size());
    for (std::size_t i = 0; i < state.size(); ++i) {
        object_state& o = state[i];
        o.faces = {};
        o.vertices = {};
        o.smoothing = {};
        mesh_object& object = s.objects[i];
        if ((o.stage == object_stage::sound || o.stage == object_stage::finished) && wanted.smooth)
            object.normals = std::move(o.early_normals);
        if (o.stage == object_stage::finished) {
            object.corner_normals = std::move(o.early_corner_normals);
            object.smooth_normals = std::move(o.early_smooth_normals);
        }
        o.early_normals = {};
        o.early_corner_normals = {};
        o.early_smooth_normals = {};
    }
    return true;
}

void normals_of_sound_objects(scene& s, worker_pool* pool, normals_wanted wanted, object_states& state) {
    // On one thread, one set of buffers serves every object.
    corner_scratch shared;
    const bool alone = pool == nullptr || pool->threads.empty();
    for_each_index(pool, s.objects.size(), [&](std::size_t i) {
        if (state[i].stage == object_stage::finished) return;
        corner_scratch own;
        advance_sound(s.objects[i], state[i], wanted, alone ? shared : own);
    });
}

bool some_object_left(const object_states& state) {
    for (const object_state& o : state)
        if (o.stage != object_stage::finished) return true;
    return false;
}

void remaining_normals(scene& s, worker_pool* pool, normals_wanted wanted, object_states& state, reporter& report) {
    std::vector<std::size_t> left;
    for (std::size_t i = 0; i < state.size(); ++i)
        if (state[i].stage != object_stage::finished) left.push_back(i);
    if (pool != nullptr && !pool->threads.empty()) {
        for_each_index(pool, left.size(), [&](std::size_t k) {
            mesh_object& object = s.objects[left[k]];
            try {
                finish(object, state[left[k]], wanted);
            } catch (const std::bad_alloc&) {
                // Computed again below, alone, from where it stopped.
                if (state[left[k]].stage != object_stage::sound) object.normals = {};
                object.corner_normals = {};
                object.smooth_normals = {};
            }
        });
    }
    for (const std::size_t i : left)
        if (state[i].stage != object_stage::finished) finish(s.objects[i], state[i], wanted);
    for (std::size_t i = 0; i < state.size(); ++i)
        if (state[i].too_many_masks) {
            if (wanted.crease)
                report_too_many_normals(s.objects[i], report);
            else
                report_too_many_masks(s.objects[i], report);
            break;
        }
}

}  // namespace tessvert
