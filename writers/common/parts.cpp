#include "writers/common/parts.hpp"

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

void write_parts_on_workers(output_file& out, std::size_t parts, const part_format& format,
                            const thread_runner& runner) {
    ordered_parts p(format, parts, std::min<std::size_t>(runner.workers + 2, 64));
    runner.run([&] { format_parts(p); }, [&] { write_parts(p, out); });
}

void write_parts_here(output_file& out, std::size_t parts, const part_format& format) {
    text_block text;
    for (std::size_t k = 0; k < parts; ++k) {
        text.used = 0;
        format(k, 0, text);
        write_output(out, text.data.get(), text.used);
        if (out.write_failed) break;  // the rest would be dropped
    }
}

std::vector<part_place> cut_units(std::size_t units, const std::function<std::uint64_t(std::size_t)>& items_of,
                                  std::uint64_t head, std::size_t part_items) {
    const std::uint64_t part = std::max<std::size_t>(part_items, 1);
    std::vector<part_place> cuts{{0, 0}};
    std::uint64_t taken = 0;  // in the part at hand
    for (std::size_t u = 0; u < units; ++u) {
        const auto unit = static_cast<std::uint32_t>(u);
        const std::uint64_t n = items_of(u);
        // A full part ends before a unit that adds anything.
        if (taken >= part && head + n > 0) {
            cuts.push_back({unit, 0});
            taken = 0;
        }
        taken += head;
        std::uint64_t at = 0;
        while (n - at + taken > part) {
            at += taken < part ? part - taken : 1;
            cuts.push_back({unit, at});
            taken = 0;
        }
        taken += n - at;
    }
    cuts.push_back({static_cast<std::uint32_t>(units), 0});
    return cuts;
}

std::size_t part_size_for(std::size_t threads, std::uint64_t weight, std::size_t least, std::size_t most) {
    // One thread takes the largest parts; several, four parts a thread or
    // more, so that each has work until the end.
    if (threads <= 1) return most;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(weight / (4 * threads), least, most));
}

}  // namespace tessvert
