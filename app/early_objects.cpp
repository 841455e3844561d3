#include "app/early_objects.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>

#include "geometry/vertex_normals.hpp"
#include "reader/loader.hpp"

namespace tessvert {

namespace {

// An object as the reader handed it over: its arrays, which stay where they
// are while the file is read, and what the worker made of them.
struct early_object {
    std::size_t index = 0;
    const face* faces = nullptr;
    std::size_t face_count = 0;
    const vec3* vertices = nullptr;
    std::size_t vertex_count = 0;
    bool sound = false;
    std::vector<vec3> normals;
};

struct early_objects {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<early_object> objects;  // a deque: taken entries stay where they are as more come
    std::size_t next = 0;              // the next entry to take
    std::size_t working = 0;           // entries taken and not finished
    bool reading = true;               // more entries may come
    bool failed = false;               // a worker ran out of memory: no more are taken
};

void work_on(early_objects& e, bool smooth) {
    std::unique_lock lock(e.mutex);
    for (;;) {
        e.changed.wait(lock, [&] { return e.failed || e.next < e.objects.size() || !e.reading; });
        if (e.failed || e.next >= e.objects.size()) return;
        early_object& o = e.objects[e.next++];
        ++e.working;
        lock.unlock();
        bool failed = false;
        try {
            o.sound = faces_are_sound(o.faces, o.face_count, o.vertices, o.vertex_count);
            if (o.sound && smooth) compute_normals(o.faces, o.face_count, o.vertices, o.vertex_count, o.normals);
        } catch (const std::bad_alloc&) {
            o.sound = false;  // the caller computes it again, and reports the failure if it recurs
            failed = true;
        }
        lock.lock();
        if (failed) e.failed = true;
        --e.working;
        e.changed.notify_all();
    }
}

// No more entries come: the reading thread takes its share of those left
// (none after an exception), and returns once no worker uses an object's
// arrays.
void stop_reading(early_objects& e, bool smooth, bool help) {
    {
        const std::lock_guard lock(e.mutex);
        e.reading = false;
        if (!help) e.failed = true;
    }
    e.changed.notify_all();
    if (help) work_on(e, smooth);
    std::unique_lock lock(e.mutex);
    e.changed.wait(lock, [&] { return e.working == 0; });
}

}  // namespace

int load_with_workers(scene& s, const std::string& path, reporter& report, worker_pool& pool, bool smooth,
                      std::vector<std::uint8_t>& ready) {
    early_objects e;
    load_watcher watcher;
    watcher.object_read = [&](std::size_t i) {
        const mesh_object& o = s.objects[i];
        {
            const std::lock_guard lock(e.mutex);
            e.objects.push_back({i, o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size(), false, {}});
        }
        e.changed.notify_one();
    };
    watcher.reading_done = [&] { stop_reading(e, smooth, true); };
    int loaded = 0;
    run_on_workers(
        pool, [&] { work_on(e, smooth); },
        [&] {
            try {
                loaded = load_scene_file(s, path, report, watcher);
            } catch (...) {
                stop_reading(e, smooth, false);
                throw;
            }
            stop_reading(e, smooth, true);  // also when the file could not be opened
        });
    ready.assign(s.objects.size(), 0);
    if (loaded == 0) return 0;
    for (early_object& o : e.objects) {
        if (!o.sound || o.index >= s.objects.size()) continue;
        if (smooth) s.objects[o.index].normals = std::move(o.normals);
        ready[o.index] = 1;
    }
    return loaded;
}

}  // namespace tessvert
