#include "reader/chunk_stream.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tessvert {

float load_f32(const unsigned char* p) {
    return std::bit_cast<float>(load_u32(p));
}

void read_chunk_header(chunk_reader& r, chunk_header& h) {
    unsigned char raw[6] = {};
    h.consumed = read_bytes(r.stream, raw, 6);
    h.id = load_u16(raw);
    h.length = load_u32(raw + 2);
}

bool next_child(chunk_reader& r, chunk_header& parent, chunk_header& child) {
    // Unsigned comparison: a declared length below what was read ends the level.
    if (parent.consumed >= parent.length || reading_stopped(r)) return false;
    read_chunk_header(r, child);
    if (!r.stream.ended) return true;
    parent.consumed += child.consumed;
    return false;
}

void skip_chunk(chunk_reader& r, chunk_header& h) {
    h.consumed += read_bytes(r.stream, nullptr, remaining(h));
}

std::uint32_t read_counted(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t n) {
    std::uint32_t got = read_bytes(r.stream, dst, n);
    h.consumed += got;
    return got;
}

void read_fixed(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t n) {
    std::uint32_t got = read_counted(r, h, dst, n);
    std::memset(static_cast<unsigned char*>(dst) + got, 0, n - got);
}

std::uint32_t read_payload(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t capacity) {
    std::uint32_t rest = remaining(h);
    std::uint32_t kept = read_bytes(r.stream, dst, rest < capacity ? rest : capacity);
    h.consumed += kept;
    skip_chunk(r, h);
    return kept;
}

void read_string(chunk_reader& r, chunk_header& h, std::string& dst, std::size_t max_keep) {
    dst.clear();
    unsigned char c = 0;
    while (read_counted(r, h, &c, 1) == 1 && c != 0)
        if (dst.size() < max_keep) dst.push_back(static_cast<char>(c));
}

void read_payload_text(chunk_reader& r, chunk_header& h, std::string& dst, std::size_t max_keep) {
    // Room for the whole text the payload may hold, never more than max_keep.
    const std::uint32_t room = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining(h), max_keep));
    dst.assign(room, '\0');
    const std::uint32_t kept = read_payload(r, h, dst.data(), room);
    dst.resize(::strnlen(dst.data(), kept));
}

std::uint32_t read_subchunk(chunk_reader& r, void* target, std::uint32_t capacity, chunk_header& enclosing) {
    chunk_header& sub = r.secondary_header;
    read_chunk_header(r, sub);
    std::uint32_t kept = read_payload(r, sub, target, capacity);
    enclosing.consumed += sub.consumed;
    return kept;
}

bool may_descend(chunk_reader& r, int level) {
    if (level < max_level) return true;
    if (!r.depth_warned) {
        report_warning(r.report, "chunks nested deeper than " + std::to_string(max_level) + " levels were skipped");
        r.depth_warned = true;
    }
    return false;
}

}  // namespace tessvert
