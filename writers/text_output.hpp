// Numbers and the writers' shared messages, on top of output_file.
#pragma once

#include <cstdint>
#include <string>

#include "model/report.hpp"
#include "writers/number_format.hpp"
#include "writers/output_file.hpp"

namespace tessvert {

// The double nearest to 1/255: a colour byte times this is its channel.
inline constexpr double byte_to_channel = 0.00392156862745098;

inline void put_number(output_file& out, double value) {
    out.used += format_number(value, reserve_output(out, number_text_max));
}

// Opens the output or reports the opening error; false when it failed.
inline bool open_output_or_report(output_file& out, const std::string& path, reporter& report) {
    if (open_output(out, path)) return true;
    tessvert::report(report, message_kind::error, "There was an error when opening the file: " + path + "\n");
    return false;
}

// Commits the output and reports `success_text` followed by the file's name,
// or the writing error.
inline bool commit_output_or_report(output_file& out, const char* success_text, reporter& report) {
    if (commit_output(out)) {
        tessvert::report(report, message_kind::progress, success_text + out.path + "\n");
        return true;
    }
    tessvert::report(report, message_kind::error, "There was an error when writing the file: " + out.path + "\n");
    return false;
}

}  // namespace tessvert
