// A file written in parts: its text is cut into parts, each made on its
// own by any thread into a block of memory, and the parts are written in
// order. The same bytes come out however the file was cut and on however
// many threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "writers/common/output_file.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

// Formats part `part` of a file into `text` (empty when called) on the
// thread numbered `thread`: 0 is the calling thread, 1 to the runner's
// workers its workers, each calling with one number only.
using part_format = std::function<void(std::size_t part, std::size_t thread, text_block& text)>;

// Threads to share the work with: `run(work, own)` runs `work` on each of
// its `workers` and `own` on the calling thread at the same time, returns
// when all are done, and throws again what any of them threw.
struct thread_runner {
    std::size_t workers = 0;
    std::function<void(const std::function<void()>& work, const std::function<void()>& own)> run;
};

// Writes the parts [0, parts) of a file into `out` in order, each formatted
// by `format` on this thread; after a failed write nothing more is
// formatted.
void write_parts_here(output_file& out, std::size_t parts, const part_format& format);

// The same, each part formatted by `format` on the runner's workers or the
// calling thread, while the calling thread writes the ones before. One part
// per thread and one more are in memory at a time (64 at most). After a
// failed write nothing more is formatted. Every write is made on the
// calling thread. When a part runs out of memory (std::bad_alloc), the
// workers take no more parts, and once they are done the calling thread
// formats the rest alone, that part again first. When that part runs out
// of memory again, or formatting throws anything else, every thread stops
// and the exception is thrown here.
void write_parts_on_workers(output_file& out, std::size_t parts, const part_format& format,
                            const thread_runner& runner);

// A place in a file made of units (objects, meshes) of items each: in unit
// `unit`, before its item `item`. {unit count, 0} is the end of the file.
struct part_place {
    std::uint32_t unit = 0;
    std::uint64_t item = 0;
};

// The places where a file of `units` units, unit u of items_of(u) items, is
// cut into parts, in order: first {0, 0}, last the end. Each part holds at
// most `part_items` items (at least 1 is taken), a unit counting as `head`
// more for what opens it, which stays in the part of its first item.
std::vector<part_place> cut_units(std::size_t units, const std::function<std::uint64_t(std::size_t)>& items_of,
                                  std::uint64_t head, std::size_t part_items);

// How big to make each part of a file of `weight` items on `threads`
// threads (the caller's included): `most` on one; on several, four parts a
// thread or more, each of `least` to `most` items.
std::size_t part_size_for(std::size_t threads, std::uint64_t weight, std::size_t least, std::size_t most);

}  // namespace tessvert
