#include "reader/loader.hpp"

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"
#include "reader/load_failure.hpp"

namespace tessvert {

namespace {

// The header's bytes as the file holds them, then up to ten more, for the
// warning that says what the file is instead.
void report_not_a_3ds_file(reporter& report, chunk_reader& r, const chunk_header& h) {
    unsigned char first[16] = {};
    for (int i = 0; i < 2; ++i) first[i] = static_cast<unsigned char>(h.id >> (8 * i));
    for (int i = 0; i < 4; ++i) first[2 + i] = static_cast<unsigned char>(h.length >> (8 * i));
    std::size_t n = h.consumed;
    if (n == 6) {
        limit_byte_stream(r.stream, sizeof first - 6);
        n += read_bytes(r.stream, first + 6, sizeof first - 6);
    }
    tessvert::report_not_a_3ds_file(report, first, n);
}

// Reads the scene from the opened stream `r.stream`; `path` names the
// input in the messages.
load_result load_scene(chunk_reader& r, scene& s, const std::string& path, reporter& report,
                       const load_watcher& watcher) {
    // Bytes after the primary chunk's declared end are never read, not even
    // into the buffer: an input that never ends (a pipe) is read exactly to
    // there, and no byte count can pass 4 GiB.
    limit_byte_stream(r.stream, 6);
    chunk_header primary_header;
    read_chunk_header(r, primary_header);
    if (primary_header.consumed < 6 || primary_header.id != chunk_id::primary) {
        tessvert::report(report, message_kind::error, "  Unable to load PRIMARY chuck from file: " + path + "!\n");
        // A directory opens, and fails its first read.
        if (r.stream.error != 0) {
            report_system_reason(report, path, r.stream.error);
        } else {
            report_not_a_3ds_file(report, r, primary_header);
        }
        close_byte_stream(r.stream);
        return load_result::not_a_scene;
    }
    tessvert::report(report, message_kind::progress, "\n Reading " + path + "...\n");
    if (primary_header.length < 6)
        report_warning(report, "the primary chunk declares " + std::to_string(primary_header.length) +
                                   " bytes, fewer than its own 6-byte header: the file holds no scene");
    limit_byte_stream(r.stream, primary_header.length > 6 ? primary_header.length - 6u : 0u);
    parse_main_chunks(r, s, primary_header, 1);
    close_byte_stream(r.stream);
    if (watcher.reading_done) watcher.reading_done();
    if (r.stream.error != 0) {
        // A failed read is no end of file: nothing of a half-read scene is
        // converted.
        report_system_reason(report, path, r.stream.error);
        s = init_scene();
        return load_result::read_failed;
    }
    if (r.over_budget) {
        report_warning(report, r.records_over_budget
                                   ? "the objects and materials of the file would take far more memory than its size"
                                     " warrants; it is not converted"
                                   : "the file declares far more vertices and mapping coordinates than it holds;"
                                     " it is not converted");
        s = init_scene();
        return load_result::too_little_data;
    }
    if (r.stream.limit_reached) {
        report_warning(report,
                       "a chunk runs past the declared end of the primary chunk; what was read up to there is"
                       " converted");
        return load_result::loaded_in_part;
    }
    if (r.stream.ended) {
        report_warning(report, "the file ends inside a chunk; what was read up to there is converted");
        return load_result::loaded_in_part;
    }
    return load_result::loaded;
}

}  // namespace

load_result load_scene_bytes(scene& s, const unsigned char* data, std::size_t size, const std::string& name,
                             reporter& report, const load_watcher& watcher) {
    chunk_reader r{report};
    r.watcher = &watcher;
    open_byte_buffer(r.stream, data, size);
    return load_scene(r, s, name, report, watcher);
}

int load_scene_file(scene& s, const std::string& path, reporter& report, const load_watcher& watcher) {
    chunk_reader r{report};
    r.watcher = &watcher;
    if (!open_byte_stream(r.stream, path)) {
        tessvert::report(report, message_kind::error, " Unable to find the file: " + path + "!\n");
        report_system_reason(report, path, r.stream.error);
        return 0;
    }
    return converted(load_scene(r, s, path, report, watcher)) ? 1 : 0;
}

}  // namespace tessvert
