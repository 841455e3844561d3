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
    ordered_parts(const part_format& format, std::size_t parts, std::size_t window)
        : format(format), parts(parts), window(window), slots(window) {}

    const part_format& format;
    const std::size_t parts;
    const std::size_t window;
    std::vector<slot> slots;

    std::mutex mutex;
    std::condition_variable part_ready;  // the writer waits for the next part
    std::condition_variable room;        // the formatters wait for a free slot
    std::size_t next_part = 0;           // the next part to format
    std::size_t next_write = 0;          // the next part to write
    bool stop = false;                   // no more parts: a write failed, or a thread threw
    std::size_t threads_in = 1;          // the writer is thread 0; each worker takes the next number
    std::size_t formatters = 0;          // workers in format_parts
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
void format_part(ordered_parts& p, std::size_t k, std::unique_lock<std::mutex>& lock, std::size_t thread) {
    slot& into = p.slots[k % p.window];
    lock.unlock();
    bool formatted = false;
    try {
        into.text.used = 0;
        p.format(k, thread, into.text);
        formatted = true;
    } catch (const std::bad_alloc&) {}
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
void format_next(ordered_parts& p, std::unique_lock<std::mutex>& lock, std::size_t thread) {
    format_part(p, p.next_part++, lock, thread);
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
    const std::size_t thread = p.threads_in++;
    ++p.formatters;
    try {
        for (;;) {
            p.room.wait(lock, [&] { return p.stop || p.alone || p.next_part >= p.parts || may_take(p); });
            if (p.alone || !may_take(p)) break;
            format_next(p, lock, thread);
        }
    } catch (...) {
        --p.formatters;
        stop_all(p, lock);
        throw;
    }
    --p.formatters;
    p.part_ready.notify_all();  // the writer may be waiting for the workers to be gone
}

// Writes the parts in order; while the next one is not ready, formats one
// itself if there is room.
void write_parts(ordered_parts& p, output_file& out) {
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
                // here alone, once the workers are gone and their texts
                // with them; out of memory again, the writing fails.
                p.part_ready.wait(lock, [&] { return p.formatters == 0; });
                if (!next.failed) ++p.next_part;
                next.failed = false;
                format_part(p, p.next_write, lock, 0);
                if (next.failed) throw std::bad_alloc();
            } else if (!p.alone && may_take(p)) {
                format_next(p, lock, 0);
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

void write_parts_on_workers(output_file& out, std::size_t parts, const part_format& format, worker_pool& pool) {
    ordered_parts p(format, parts, std::min<std::size_t>(pool.threads.size() + 2, 64));
    run_on_workers(
        pool, [&] { format_parts(p); }, [&] { write_parts(p, out); });
}

std::size_t part_size_for(const worker_pool& pool, std::uint64_t weight, std::size_t least, std::size_t most) {
    const std::uint64_t threads = pool.threads.size() + 1;
    // Four parts a thread or more, so that each has work until the end.
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(weight / (4 * threads), least, most));
}

void write_mesh_include_on_workers(const scene& s, output_file& out, std::int32_t triangle_mode,
                                   std::int32_t& written_faces, const mesh_options& options, worker_pool& pool,
                                   const part_formatter& format_part) {
    std::size_t weight = s.objects.size();
    for (const mesh_object& o : s.objects) weight += o.faces.size();
    const std::size_t part_faces = part_size_for(pool, weight, least_part_faces, default_part_faces);
    const mesh_layout layout = lay_out_mesh(s, triangle_mode, options);
    const std::vector<mesh_position> cuts = cut_mesh(s, part_faces);
    std::vector<mesh_formatter> formatters(pool.threads.size() + 1);
    write_parts_on_workers(
        out, cuts.size() - 1,
        [&](std::size_t k, std::size_t thread, text_block& text) {
            format_part(s, layout, cuts[k], cuts[k + 1], formatters[thread], text);
            if (options.faces_written != nullptr)
                options.faces_written->fetch_add(faces_between(s, cuts[k], cuts[k + 1]), std::memory_order_relaxed);
        },
        pool);
    for (const mesh_object& o : s.objects) written_faces += o.face_count();
}

void write_pov_mesh_on_workers(const scene& s, const pov_names& names, const pov_mesh_layout& layout, output_file& out,
                               std::int32_t& written_faces, worker_pool& pool) {
    std::uint64_t weight = 0;
    for (std::size_t i = 0; i < layout.objects.size(); ++i) weight += 1 + pov_object_items(layout, i);
    const std::size_t part_items = part_size_for(pool, weight, least_part_faces, default_pov_part_items);
    const std::vector<pov_position> cuts = cut_pov_mesh(layout, part_items);
    std::vector<pov_mesh_formatter> formatters(pool.threads.size() + 1);
    write_parts_on_workers(
        out, cuts.size() - 1,
        [&](std::size_t k, std::size_t thread, text_block& text) {
            format_pov_mesh_part(s, names, layout, cuts[k], cuts[k + 1], formatters[thread], text);
        },
        pool);
    for (const mesh_object& o : s.objects) written_faces += static_cast<std::int32_t>(o.faces.size());
}

}  // namespace tessvert
