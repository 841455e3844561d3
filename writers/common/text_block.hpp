// Text made in memory before it is written: a block that grows as text is
// appended, and the appenders every output language uses, all in the one
// number format (model/number_format.hpp).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "model/number_format.hpp"

namespace tessvert {

// Grows the memory at `data`, of `capacity` bytes of which the first `used`
// hold text, to at least `room` free bytes past them (by doubling, and by
// 64 kB at the least).
void make_room(std::unique_ptr<char[]>& data, std::size_t& capacity, std::size_t used, std::size_t room);

// Text made in memory, room added as it grows; kept from one part of a file
// to the next so that its memory is touched once.
struct text_block {
    std::unique_ptr<char[]> data;
    std::size_t capacity = 0;
    std::size_t used = 0;
};

// Room for at least `n` more bytes at the end of the text; returns where
// they start (the caller adds what it writes to `used`).
inline char* reserve_text(text_block& out, std::size_t n) {
    make_room(out.data, out.capacity, out.used, n);
    return out.data.get() + out.used;
}

inline void put_text(text_block& out, const char* text, std::size_t n) {
    std::memcpy(reserve_text(out, n), text, n);
    out.used += n;
}

template <std::size_t N>
inline void put_text(text_block& out, const char (&text)[N]) {
    put_text(out, text, N - 1);
}

inline void put_text(text_block& out, const std::string& text) {
    put_text(out, text.data(), text.size());
}

inline void put_number(text_block& out, double value) {
    out.used += format_number(value, reserve_text(out, number_text_max));
}

inline void append_number(std::string& out, double value) {
    char digits[number_text_max];
    out.append(digits, format_number(value, digits));
}

inline void append_count(std::string& out, std::uint64_t value) {
    char digits[24];
    out.append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

// "<x, y, z>"
inline void append_vector(std::string& out, double x, double y, double z) {
    out += '<';
    append_number(out, x);
    out += ", ";
    append_number(out, y);
    out += ", ";
    append_number(out, z);
    out += '>';
}

}  // namespace tessvert
