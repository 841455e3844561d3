// Numbers and the writers' shared messages, on top of output_file.
#pragma once

#include <cstdint>
#include <string>

#include "model/number_format.hpp"
#include "model/report.hpp"
#include "writers/common/output_file.hpp"

namespace tessvert {

inline void put_number(output_file& out, double value) {
    out.used += format_number(value, reserve_output(out, number_text_max));
}

// Reports how an output that open_output was asked to open went, once
// commit_output has returned `committed`: `success_text` followed by the
// file's name, or the opening or the writing error followed by the
// system's reason.
inline bool report_output_outcome(const output_file& out, bool committed, const char* success_text, reporter& report) {
    if (!out.opened) {
        tessvert::report(report, message_kind::error, "There was an error when opening the file: " + out.path + "\n");
        report_system_reason(report, out.path, out.error);
        return false;
    }
    if (committed) {
        tessvert::report(report, message_kind::progress, success_text + out.path + "\n");
        return true;
    }
    tessvert::report(report, message_kind::error, "There was an error when writing the file: " + out.path + "\n");
    if (out.error != 0) report_system_reason(report, out.path, out.error);
    return false;
}

// Commits an output and reports how it went.
inline bool commit_output_or_report(output_file& out, const char* success_text, reporter& report) {
    const bool committed = commit_output(out);
    return report_output_outcome(out, committed, success_text, report);
}

}  // namespace tessvert
