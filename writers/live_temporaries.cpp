#include "writers/live_temporaries.hpp"

#include <atomic>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tessvert {

namespace {

struct live_entry {
    std::atomic<bool> in_use{false};
    int dir_fd = -1;
    char name[256] = {};
};

static_assert(std::atomic<bool>::is_always_lock_free, "entries are read from a signal handler");

// A run has two outputs and, in the POV-Ray format, a copy of each image
// its texture maps use; the rest is room to spare.
live_entry entries[256];

}  // namespace

int record_live_temporary(int dir_fd, const char* name) {
    const std::size_t length = std::strlen(name);
    if (length >= sizeof entries[0].name) return -1;
    for (int i = 0; i < static_cast<int>(sizeof entries / sizeof entries[0]); ++i) {
        live_entry& e = entries[i];
        if (e.in_use.load(std::memory_order_acquire)) continue;
        // The handler looks at an entry only once it is in use, and only
        // the main thread records and forgets entries: fill it, then
        // publish it.
        e.dir_fd = dir_fd;
        std::memcpy(e.name, name, length + 1);
        e.in_use.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void forget_live_temporary(int entry) {
    if (entry >= 0) entries[entry].in_use.store(false, std::memory_order_release);
}

void remove_live_temporaries() {
    for (live_entry& e : entries)
        if (e.in_use.load(std::memory_order_acquire)) ::unlinkat(e.dir_fd, e.name, 0);
}

}  // namespace tessvert
