#include "reader/loader.hpp"

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

int load_scene_file(scene& s, const std::string& path, reporter& report) {
    chunk_reader r{report};
    if (!open_byte_stream(r.stream, path)) {
        tessvert::report(report, message_kind::error, " Unable to find the file: " + path + "!\n");
        return 0;
    }
    chunk_header primary_header;
    read_chunk_header(r, primary_header);
    if (primary_header.consumed < 6 || primary_header.id != chunk_id::primary) {
        tessvert::report(report, message_kind::error, "  Unable to load PRIMARY chuck from file: " + path + "!\n");
        close_byte_stream(r.stream);
        return 0;
    }
    tessvert::report(report, message_kind::progress, "\n Reading " + path + "...\n");
    // Bytes after the primary chunk's declared end are never looked at.
    parse_main_chunks(r, s, primary_header, 1);
    close_byte_stream(r.stream);
    if (r.over_budget) {
        report_warning(report,
                       "the file declares far more vertices and mapping coordinates than it holds;"
                       " it is not converted");
        s = init_scene();
        return 0;
    }
    if (r.stream.ended) report_warning(report, "the file ends inside a chunk; what was read up to there is converted");
    return 1;
}

}  // namespace tessvert
