#include "app/mesh_pipeline.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tessvert {

namespace {

// Parts in flight: part k is formatted into slot k % window, and it is
// taken only once part k - window has been written, so a slot holds one
// part at a time. The text of a slot belongs to the thread formatting it
// until `ready` is set, then to the writer until it is cleared, both under
// the mutex.
struct slot {
    text_block text;
    bool ready = false;
};

struct ordered_parts {
    ordered_parts(const scene& s, const mesh_layout& layout, const std::vector<mesh_position>& cuts, std::size_t window,
                  const part_formatter& format_part)
        : s(s),
          layout(layout),
          cuts(cuts),
          format_part(format_part),
          parts(cuts.size() - 1),
          window(window),
          slots(window) {}

    const scene& s;
    const mesh_layout& layout;
    const std::vector<mesh_position>& cuts;
    const part_formatter& format_part;
    const std::size_t parts;
    const std::size_t window;
    std::vector<slot> slots;

    std::mutex mutex;
    std::condition_variable part_ready;  // the writer waits for the next part
    std::condition_variable room;        // the formatters wait for a free slot
    std::size_t next_part = 0;           // the next part to format
    std::size_t next_write = 0;          // the next part to write
    bool stop = false;                   // no more parts: a write failed, or a thread threw
};

bool may_take(const ordered_parts& p) {
    return !p.stop && p.next_part < p.parts && p.next_part < p.next_write + p.window;
}

// Takes the next part (the caller holds the lock and saw may_take), formats
// it without the lock, and marks it ready.
void format_next(ordered_parts& p, std::unique_lock<std::mutex>& lock, mesh_formatter& formatter) {
    const std::size_t k = p.next_part++;
    slot& into = p.slots[k % p.window];
    lock.unlock();
    into.text.used = 0;
    p.format_part(p.s, p.layout, p.cuts[k], p.cuts[k + 1], formatter, into.text);
    lock.lock();
    into.ready = true;
    if (k == p.next_write) p.part_ready.notify_one();
}

// After an exception every thread stops waiting.
void stop_all(ordered_parts& p, std::unique_lock<std::mutex>& lock) {
    if (!lock.owns_lock()) lock.lock();
    p.stop = true;
    p.part_ready.notify_all();
    p.room.notify_all();
}

void format_parts(ordered_parts& p) {
    mesh_formatter formatter;
    std::unique_lock lock(p.mutex);
    try {
        for (;;) {
            p.room.wait(lock, [&] { return p.stop || p.next_part >= p.parts || may_take(p); });
            if (!may_take(p)) return;
            format_next(p, lock, formatter);
        }
    } catch (...) {
        stop_all(p, lock);
        throw;
    }
}

// Writes the parts in order; while the next one is not ready, formats one
// itself if there is room.
void write_parts(ordered_parts& p, output_file& out) {
    mesh_formatter formatter;
    std::unique_lock lock(p.mutex);
    try {
        while (p.next_write < p.parts && !p.stop) {
            slot& next = p.slots[p.next_write % p.window];
            if (next.ready) {
                lock.unlock();
                write_output(out, next.text.data.get(), next.text.used);
                lock.lock();
                next.ready = false;
                ++p.next_write;
                if (out.write_failed) p.stop = true;
                p.room.notify_all();
            } else if (may_take(p)) {
                format_next(p, lock, formatter);
            } else {
                p.part_ready.wait(lock);
            }
        }
    } catch (...) {
        stop_all(p, lock);
        throw;
    }
}

}  // namespace

void write_mesh_include_on_workers(const scene& s, output_file& out, std::int32_t triangle_mode,
                                   std::int32_t& written_faces, const mesh_options& options, worker_pool& pool,
                                   const part_formatter& format_part) {
    const std::size_t threads = pool.threads.size() + 1;
    std::size_t weight = s.objects.size();
    for (const mesh_object& o : s.objects) weight += o.faces.size();
    // Four parts a thread or more, so that each has work until the end.
    const std::size_t part_faces = std::clamp(weight / (4 * threads), least_part_faces, default_part_faces);
    const mesh_layout layout = lay_out_mesh(s, triangle_mode, options);
    const std::vector<mesh_position> cuts = cut_mesh(s, part_faces);

    ordered_parts p(s, layout, cuts, std::min<std::size_t>(threads + 1, 64), format_part);
    run_on_workers(
        pool, [&] { format_parts(p); }, [&] { write_parts(p, out); });
    for (const mesh_object& o : s.objects) written_faces += o.face_count();
}

}  // namespace tessvert
