#include "reader/chunk_stream.hpp"

#include <array>
#include <bit>
#include <cstdio>
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
    if (parent.consumed >= parent.length || r.stream.ended) return false;
    read_chunk_header(r, child);
    if (!r.stream.ended) return true;
    parent.consumed += child.consumed;
    return false;
}

void skip_chunk(chunk_reader& r, chunk_header& h) {
    h.consumed += read_bytes(r.stream, nullptr, remaining(h));
}

void read_fixed(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t n) {
    std::uint32_t got = read_bytes(r.stream, dst, n);
    std::memset(static_cast<unsigned char*>(dst) + got, 0, n - got);
    h.consumed += got;
}

std::uint32_t read_payload(chunk_reader& r, chunk_header& h, void* dst, std::uint32_t capacity) {
    std::uint32_t rest = remaining(h);
    std::uint32_t kept = read_bytes(r.stream, dst, rest < capacity ? rest : capacity);
    h.consumed += kept;
    skip_chunk(r, h);
    return kept;
}

std::uint32_t read_string(chunk_reader& r, std::string& dst, std::size_t max_keep) {
    dst.clear();
    std::uint32_t taken = 0;
    unsigned char c = 0;
    while (read_bytes(r.stream, &c, 1) == 1) {
        ++taken;
        if (c == 0) break;
        if (dst.size() < max_keep) dst.push_back(static_cast<char>(c));
    }
    return taken;
}

void read_payload_text(chunk_reader& r, chunk_header& h, std::string& dst, std::size_t max_keep) {
    std::array<char, 256> text{};
    std::uint32_t kept = read_payload(r, h, text.data(), static_cast<std::uint32_t>(max_keep));
    dst.assign(text.data(), ::strnlen(text.data(), kept));
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
        std::printf(" Warning: chunks nested deeper than %d levels were skipped\n", max_level);
        r.depth_warned = true;
    }
    return false;
}

}  // namespace tessvert
