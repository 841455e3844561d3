// Why a file was not read as a 3DS file, told from its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/report.hpp"

namespace tessvert {

// What the first bytes of a file plainly say it is ("a ZIP archive",
// "text"), or empty when they say nothing plain. `n` may be anything from
// 0 up; the more bytes, the surer the answer.
std::string plain_format_name(const unsigned char* bytes, std::size_t n);

// The warning after the loader's failure line for a file whose first `n`
// bytes (at most 16 are looked at) do not begin a primary chunk: the file
// is empty, too short for a chunk header, or something else, shown by its
// first bytes in hex and, when they say it plainly, the format's name.
void report_not_a_3ds_file(reporter& report, const unsigned char* bytes, std::size_t n);

}  // namespace tessvert
