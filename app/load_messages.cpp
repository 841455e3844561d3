#include "app/load_messages.hpp"

#include <algorithm>

#include "reader/file_signatures.hpp"

namespace tessvert {

void report_not_a_3ds_file(reporter& report, const unsigned char* bytes, std::size_t n) {
    if (n == 0) {
        report_warning(report, "the file is empty");
        return;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    const std::size_t shown = std::min<std::size_t>(n, 8);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) hex += ' ';
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    if (n < 6) {
        report_warning(report, "the file holds only " + std::to_string(n) + (n == 1 ? " byte" : " bytes") + " (" + hex +
                                   "), fewer than the 6 of a chunk header");
        return;
    }
    std::string what = "not a 3DS file, which begins with 4D 4D: it begins with " + hex;
    const std::string name = plain_format_name(bytes, std::min<std::size_t>(n, 16));
    if (!name.empty()) what += " (" + name + ")";
    report_warning(report, what);
}

void report_scene_found(const std::string& path, std::uint32_t declared_length, reporter& report) {
    tessvert::report(report, message_kind::progress, "\n Reading " + path + "...\n");
    if (declared_length < 6)
        report_warning(report, "the primary chunk declares " + std::to_string(declared_length) +
                                   " bytes, fewer than its own 6-byte header: the file holds no scene");
}

void report_load_outcome(const load_outcome& outcome, const std::string& path, reporter& report) {
    switch (outcome.result) {
    case load_result::loaded:
        return;
    case load_result::ended_past_primary:
        report_warning(report,
                       "a chunk runs past the declared end of the primary chunk; what was read up to there is"
                       " converted");
        return;
    case load_result::ended_in_chunk:
        report_warning(report, "the file ends inside a chunk; what was read up to there is converted");
        return;
    case load_result::not_opened:
        tessvert::report(report, message_kind::error, " Unable to find the file: " + path + "!\n");
        report_system_reason(report, path, outcome.system_error);
        return;
    case load_result::not_a_scene:
        tessvert::report(report, message_kind::error, "  Unable to load PRIMARY chuck from file: " + path + "!\n");
        if (outcome.system_error != 0)
            report_system_reason(report, path, outcome.system_error);
        else
            report_not_a_3ds_file(report, outcome.first_bytes, outcome.first_byte_count);
        return;
    case load_result::read_failed:
        report_system_reason(report, path, outcome.system_error);
        return;
    case load_result::too_little_data:
        report_warning(report,
                       "the file declares far more vertices and mapping coordinates than it holds; it is not"
                       " converted");
        return;
    case load_result::too_many_records:
        report_warning(report,
                       "the objects and materials of the file would take far more memory than its size warrants;"
                       " it is not converted");
        return;
    }
}

}  // namespace tessvert
