// Chunk framing of a 3DS file and the reading operations every chunk handler
// uses. A chunk is a 2-byte id, a 4-byte length that covers the whole chunk
// (these 6 header bytes included), then its payload; all little-endian.
//
// Byte accounting: every byte read on behalf of a chunk is added to that
// chunk's `consumed`, and a level of the descent adds each child's `consumed`
// to its parent's. A level therefore ends exactly at its parent's declared
// end, or after a handler's over-read past it. Whatever a handler leaves
// unread inside a chunk is met next by the level above, as a sibling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"
#include "reader/byte_stream.hpp"

namespace tessvert {

struct chunk_header {
    std::uint16_t id = 0;
    std::uint32_t length = 0;
    // Bytes of this chunk read so far, header included. 64 bits, so that no
    // sum of children can wrap past a declared length of up to 4 GiB - 1.
    std::uint64_t consumed = 0;
};

// Deepest level of the descent. The primary chunk's children are level 1;
// a chunk that would open a level below this one is skipped whole.
inline constexpr int max_level = 256;

// Most bytes of vertex and mapping arrays, over a whole load, that their
// chunks' payloads may leave unfilled (zero). Each count allocates its whole
// array whatever the payload holds, so without a bound a few bytes of counts
// could claim unbounded memory (23 bytes of file for 2 MB of arrays). A file
// that ends inside one array stays far below it; past it, the load stops and
// fails.
inline constexpr std::uint64_t max_unfilled_bytes = std::uint64_t{16} << 20;

// The scene's records (an object, a material) take far more memory than
// the few bytes of an empty chunk that makes one: a file of nothing but
// empty named objects would take some 60 times its size. Their bytes may
// reach this much plus record_bytes_per_file_byte for each byte read so
// far; past that, the load stops and fails as for unfilled arrays.
inline constexpr std::uint64_t record_bytes_base = std::uint64_t{4} << 20;
inline constexpr std::uint64_t record_bytes_per_file_byte = 4;

// State of one load, owned by the loader.
struct load_watcher;  // loader.hpp

struct chunk_reader {
    explicit chunk_reader(reporter& to) : report(to) {}
    reporter& report;
    byte_stream stream;
    chunk_header secondary_header;  // used only by read_subchunk
    bool depth_warned = false;
    std::uint64_t unfilled_bytes = 0;  // see max_unfilled_bytes
    std::uint64_t record_bytes = 0;    // see record_bytes_base
    bool over_budget = false;          // unfilled_bytes or record_bytes passed its bound: every level stops
    bool records_over_budget = false;  // record_bytes did
    const load_watcher* watcher = nullptr;  // told of each object read; may be null
};

// Counts the memory of a new record; past the bound the descent stops, as
// at the end of the file, and the load fails.
inline void count_record(chunk_reader& r, std::uint64_t bytes) {
    r.record_bytes += bytes;
    if (r.record_bytes > record_bytes_base + record_bytes_per_file_byte * r.stream.delivered)
        r.over_budget = r.records_over_budget = true;
}

// Whether every level of the descent stops: the file ended, or the arrays
// went over their budget.
inline bool reading_stopped(const chunk_reader& r) {
    return r.stream.ended || r.over_budget;
}

// Payload bytes the header declares beyond what has been read of it; 0 when
// the chunk has been read to (or past) its declared end.
inline std::uint32_t remaining(const chunk_header& h) {
    return h.consumed < h.length ? static_cast<std::uint32_t>(h.length - h.consumed) : 0;
}

// Reads the next 6 bytes into `h`; `consumed` is the number delivered.
void read_chunk_header(chunk_reader& r, chunk_header& h);

// Starts the next child of `parent`: reads its header into `child` and
// returns true, or returns false when the level ends because the parent has
// been read to its declared end or reading stopped. A header cut short by
// the end of the file is counted in the parent and not acted on. The caller
// handles the child, then adds the child's `consumed` to the parent's; the
// handlers leave both steps to read_children.
bool next_child(chunk_reader& r, chunk_header& parent, chunk_header& child);

// Reads and discards the rest of the chunk's payload.
void skip_chunk(chunk_reader& r, chunk_header& h);

// Reads up to `n` bytes into `dst` and counts them in `h`; returns how many
// the file delivered.
std::uint32_t read_counted(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t n);

// Reads `n` bytes of fixed data into `dst` (zero-filling what the file does
// not deliver) and counts them in `h`.
void read_fixed(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t n);

// Reads the rest of the chunk's payload: its first `capacity` bytes go to
// `dst`, the others are read and discarded. Returns the bytes stored.
std::uint32_t read_payload(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t capacity);

// Reads a NUL-terminated string byte by byte, stopping at the end of the
// file; keeps its first `max_keep` characters in `dst`. Counts the bytes
// taken from the file, the terminator included, in `h`.
void read_string(chunk_reader& r, chunk_header& h, std::string& dst, std::size_t max_keep);

// Reads the rest of a chunk's payload as a NUL-terminated text of at most
// `max_keep` characters (a payload without NUL ends where it ends).
void read_payload_text(chunk_reader& r, chunk_header& h, std::string& dst, std::size_t max_keep);

// Reads the next chunk, whatever its id, into the reader's secondary header:
// the first `capacity` bytes of its payload into `target`, the rest read and
// discarded. Adds the sub-chunk's `consumed` to `enclosing`. Returns the
// bytes stored.
std::uint32_t read_subchunk(chunk_reader& r, void* target, std::uint32_t capacity, chunk_header& enclosing);

// Whether a chunk that opens a level may be descended at `level`; reports a
// warning the first time it may not.
bool may_descend(chunk_reader& r, int level);

// One level of the descent: reads the children of `parent` one by one.
// `handle(child)` acts on a child and returns false for an id that it does
// not know, which is then skipped whole. Every child's bytes are credited to
// the parent, so the level ends at the parent's declared end, after a
// handler's over-read past it, or where reading stopped.
template <typename Handle>
void read_children(chunk_reader& r, chunk_header& parent, Handle&& handle) {
    chunk_header child;
    while (next_child(r, parent, child)) {
        if (!handle(child)) skip_chunk(r, child);
        parent.consumed += child.consumed;
    }
}

// For a child chunk that opens a level of its own, met at `level`: runs
// `parse()` (which reads the child's children at level + 1) when the depth
// allows, or else skips the child whole, with one warning per load.
template <typename Parse>
void open_level(chunk_reader& r, chunk_header& child, int level, Parse&& parse) {
    if (may_descend(r, level))
        parse();
    else
        skip_chunk(r, child);
}

// Little-endian decoding of bytes already read.
inline std::uint16_t load_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
float load_f32(const unsigned char* p);

}  // namespace tessvert
