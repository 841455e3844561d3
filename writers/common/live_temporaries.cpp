#include "writers/common/live_temporaries.hpp"

#include <atomic>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tessvert {

namespace {

// An entry is free, taken by a thread that is filling it in, or live: only
// live entries are read by the handler.
enum : int { free_entry, filling, live };

struct live_entry {
    std::atomic<int> state{free_entry};
    int dir_fd = -1;
    char name[256] = {};
};

static_assert(std::atomic<int>::is_always_lock_free, "entries are read from a signal handler");

// A conversion has two outputs and, in the POV-Ray format, a copy of each
// image its texture maps use; a batch runs up to one conversion a thread.
// The rest is room to spare: a temporary that finds no entry is still
// written and put in place, but an interrupt does not remove it.
live_entry entries[1024];

}  // namespace

int record_live_temporary(int dir_fd, const char* name) {
    const std::size_t length = std::strlen(name);
    if (length >= sizeof entries[0].name) return -1;
    for (int i = 0; i < static_cast<int>(sizeof entries / sizeof entries[0]); ++i) {
        live_entry& e = entries[i];
        // Several threads may record at once: each takes a free entry for
        // itself, fills it, then publishes it to the handler.
        int expected = free_entry;
        if (!e.state.compare_exchange_strong(expected, filling, std::memory_order_acquire)) continue;
        e.dir_fd = dir_fd;
        std::memcpy(e.name, name, length + 1);
        e.state.store(live, std::memory_order_release);
        return i;
    }
    return -1;
}

void forget_live_temporary(int entry) {
    if (entry >= 0) entries[entry].state.store(free_entry, std::memory_order_release);
}

void remove_live_temporaries() {
    for (live_entry& e : entries)
        if (e.state.load(std::memory_order_acquire) == live) ::unlinkat(e.dir_fd, e.name, 0);
}

}  // namespace tessvert
