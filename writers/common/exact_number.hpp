// Numbers that the renderer must read back exactly, not to six decimals:
// a placement's matrix, whose entries may be far below 1e-6 or far above
// what six decimals keep apart.
#pragma once

#include <charconv>
#include <string>

namespace tessvert {

// The shortest text from which a double-precision read gives `v` back
// (1e-07, 0.1, 12345678.5); 0 for either zero. `v` is finite.
inline void append_exact_number(std::string& out, double v) {
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, v == 0 ? 0.0 : v);
    out.append(text, written.ptr);
}

}  // namespace tessvert
