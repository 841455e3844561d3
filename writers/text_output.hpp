// Numbers and the writers' shared messages, on top of output_file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "writers/number_format.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// The double nearest to 1/255: a colour byte times this is its channel.
inline constexpr double byte_to_channel = 0.00392156862745098;

inline void put_number(output_file& out, double value) {
    out.used += format_number(value, reserve_output(out, number_text_max));
}

// Opens the output or prints the opening error; false when it failed.
inline bool open_output_or_report(output_file& out, const std::string& path) {
    if (open_output(out, path)) return true;
    std::printf("There was an error when opening the file: %s\n", path.c_str());
    return false;
}

// Commits the output and prints the success line or the writing error.
inline bool commit_output_or_report(output_file& out, const char* success_text) {
    if (commit_output(out)) {
        std::printf(success_text, out.path.c_str());
        return true;
    }
    std::printf("There was an error when writing the file: %s\n", out.path.c_str());
    return false;
}

}  // namespace tessvert
