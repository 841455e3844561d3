// Appending numbers and vectors to the POV-Ray files' texts, in the number
// format of both outputs.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

#include "writers/number_format.hpp"

namespace tessvert {

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
