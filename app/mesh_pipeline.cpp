#include "app/mesh_pipeline.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

namespace tessvert {

namespace {

// Parts in flight: part k is formatted into slot k % window, and it is
// taken only once part k - window has been written, so a slot holds one
// part at a time. The text of a slot belongs to the thread formatting it
// until `ready` is set, then to the writer until it is cleared, both under
// the mutex. A part whose formatting ran out of memory is marked `failed`
// and left to the writer, which formats it again alone.
struct slot {
    text_block text;
    bool ready = false;
    bool failed = false;
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
    std::size_t formatters = 0;          // workers in format_parts
    bool stop = false;                   // no more parts: a write failed, or a thread threw
    // A part ran out of memory: the workers take no more parts, and the
    // writer formats the rest (the failed part again) on its own.
    bool alone = false;
};

bool may_take(const ordered_parts& p) {
    return !p.stop && p.next_part < p.parts && p.next_part < p.next_write + p.window;
}

// Formats part k into its slot without the lock (the caller holds it) and
// marks it ready; out of memory, marks it failed and leaves the rest to the
// writer alone.
void format_part_k(ordered_parts& p, std::size_t k, std::unique_lock<std::mutex>& lock, mesh_formatter& formatter) {
    slot& into = p.slots[k % p.window];
    lock.unlock();
    bool formatted = false;
    try {
        into.text.used = 0;
        p.format_part(p.s, p.layout, p.cuts[k], p.cuts[k + 1], formatter, into.text);
        formatted = true;
    } catch (const std::bad_alloc&) {
        formatter = mesh_formatter{};  // its memory goes back before the part is tried again
    }
    lock.lock();
    if (formatted) {
        into.ready = true;
        if (k == p.next_write) p.part_ready.notify_one();
        return;
    }
    into.failed = true;
    p.alone = true;
    p.part_ready.notify_all();
    p.room.notify_all();
}

// Takes the next part (the caller holds the lock and saw may_take) and
// formats it.
void format_next(ordered_parts& p, std::unique_lock<std::mutex>& lock, mesh_formatter& formatter) {
    format_part_k(p, p.next_part++, lock, formatter);
}

// After an exception every thread stops waiting.
void stop_all(ordered_parts& p, std::unique_lock<std::mutex>& lock) {
    if (!lock.owns_lock()) lock.lock();
    p.stop = true;
    p.part_ready.notify_all();
    p.room.notify_all();
}

void format_parts(ordered_parts& p) {
    std::unique_lock lock(p.mutex);
    ++p.formatters;
    try {
        mesh_formatter formatter;
        for (;;) {
            p.room.wait(lock, [&] { return p.stop || p.alone || p.next_part >= p.parts || may_take(p); });
            if (p.alone || !may_take(p)) break;
            format_next(p, lock, formatter);
        }
    } catch (...) {
        --p.formatters;
        stop_all(p, lock);
        throw;
    }
    // The formatter's memory is given back: the writer may be waiting for it.
    --p.formatters;
    p.part_ready.notify_all();
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
                // Alone, a text is not kept for a part to come: its memory
                // goes back.
                if (p.alone) next.text = text_block{};
                ++p.next_write;
                if (out.write_failed) p.stop = true;
                p.room.notify_all();
            } else if (next.failed || (p.alone && may_take(p) && p.next_part == p.next_write)) {
                // After a part ran out of memory, the rest is formatted
                // here alone, once the workers are gone and their memory
                // with them; out of memory again, the writing fails.
                p.part_ready.wait(lock, [&] { return p.formatters == 0; });
                if (!next.failed) ++p.next_part;
                next.failed = false;
                format_part_k(p, p.next_write, lock, formatter);
                if (next.failed) throw std::bad_alloc();
            } else if (!p.alone && may_take(p)) {
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
    for (const mesh_object& o : s.objects) written_faces += o.face_count;
}

}  // namespace tessvert
