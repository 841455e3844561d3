// Arrays that are filled whole right after they are made: their pages are
// asked of the system in one call. Each page an array touches for the
// first time otherwise costs a trap into the kernel of its own, which on
// large scenes (and in virtual machines most) is a fair share of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessvert {

// Makes the whole pages within [at, at + bytes) present and writable in
// one call where the system offers it; does nothing for less than 64 KiB,
// or where it cannot (the pages then come one by one as they are touched).
inline void populate_pages(void* at, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t page = 4096;  // whole pages of any larger size are whole 4 KiB pages too
    constexpr std::size_t least = 16 * page;
    const auto start = reinterpret_cast<std::uintptr_t>(at);
    const std::uintptr_t from = (start + page - 1) & ~(page - 1);
    const std::uintptr_t to = (start + bytes) & ~(page - 1);
    if (to > from && to - from >= least) (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)at;
    (void)bytes;
#endif
}

// Room for `n` elements in `v`; when that takes new memory, the pages of
// its first `filled` elements (at most n) past those `v` holds are made
// present: those the caller is about to write. Room `v` already has was
// touched before and is left alone.
template <typename T>
void reserve_populated(std::vector<T>& v, std::size_t n, std::size_t filled) {
    if (v.capacity() >= n) return;
    v.reserve(n);
    if (filled > n) filled = n;
    if (filled > v.size()) populate_pages(v.data() + v.size(), (filled - v.size()) * sizeof(T));
}

template <typename T>
void reserve_populated(std::vector<T>& v, std::size_t n) {
    reserve_populated(v, n, n);
}

}  // namespace tessvert
