// What the console says of a load: that it began, and what became of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "reader/loader.hpp"

namespace tessvert {

// The line that the file at `path` is being read, and a warning when its
// primary chunk declares a length too short to hold anything.
void report_scene_found(const std::string& path, std::uint32_t declared_length, reporter& report);

// What became of the load of `path`: nothing when it was read whole, else
// the failure line and why, or the warning of a file read in part.
void report_load_outcome(const load_outcome& outcome, const std::string& path, reporter& report);

// The warning after the loader's failure line for a file whose first `n`
// bytes (at most 16 are looked at) do not begin a primary chunk: the file
// is empty, too short for a chunk header, or something else, shown by its
// first bytes in hex and, when they say it plainly, the format's name.
void report_not_a_3ds_file(reporter& report, const unsigned char* bytes, std::size_t n);

}  // namespace tessvert
