// The number format of both output files: the "%f" conversion of a double
// with six decimals and no exponent, with two fixed details: an exact zero of
// either sign is written 0.000000, and a value exactly halfway between two
// six-decimal results is rounded away from zero (0.0078125 -> 0.007813).
// A non-zero negative value that rounds to zero keeps its sign (-0.000000).
// Non-finite values are written as "%f" writes them: nan, -nan, inf, -inf.
#pragma once

#include <cstddef>

namespace tessvert {

// Room for the longest result: -DBL_MAX has 309 integer digits.
inline constexpr std::size_t number_text_max = 320;

// Writes the text of `value` to `out`, which must have room for
// number_text_max characters; returns the number of characters written.
// No terminating NUL is written.
std::size_t format_number(double value, char* out);

// The number a reader of the text of `value` gets back, as a double: what a
// renderer sees of a number this program wrote.
double as_read_back(double value);

// Whether the text of `value` reads as zero (0.000000 or -0.000000): true
// for every finite value below half a millionth in size, and for a value of
// exactly half a millionth when the double falls below it.
bool written_as_zero(double value);

}  // namespace tessvert
