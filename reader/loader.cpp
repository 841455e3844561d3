#include "reader/loader.hpp"

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

// Reads the scene from the opened stream `r.stream`.
load_outcome load_scene(chunk_reader& r, scene& s, const load_watcher& watcher) {
    load_outcome outcome;
    // Bytes after the primary chunk's declared end are never read, not even
    // into the buffer: an input that never ends (a pipe) is read exactly to
    // there, and no byte count can pass 4 GiB.
    limit_byte_stream(r.stream, 6);
    chunk_header primary_header;
    read_chunk_header(r, primary_header);
    if (primary_header.consumed < 6 || primary_header.id != chunk_id::primary) {
        outcome.result = load_result::not_a_scene;
        outcome.system_error = r.stream.error;  // a directory opens, and fails its first read
        if (outcome.system_error == 0) {
            // The header's bytes as the file holds them, then up to ten more.
            unsigned char* first = outcome.first_bytes;
            for (int i = 0; i < 2; ++i) first[i] = static_cast<unsigned char>(primary_header.id >> (8 * i));
            for (int i = 0; i < 4; ++i) first[2 + i] = static_cast<unsigned char>(primary_header.length >> (8 * i));
            std::size_t n = primary_header.consumed;
            if (n == 6) {
                limit_byte_stream(r.stream, sizeof outcome.first_bytes - 6);
                n += read_bytes(r.stream, first + 6, sizeof outcome.first_bytes - 6);
            }
            outcome.first_byte_count = n;
        }
        close_byte_stream(r.stream);
        if (watcher.reading_done) watcher.reading_done();
        return outcome;
    }
    if (watcher.scene_found) watcher.scene_found(primary_header.length);
    limit_byte_stream(r.stream, primary_header.length > 6 ? primary_header.length - 6u : 0u);
    parse_main_chunks(r, s, primary_header, 1);
    close_byte_stream(r.stream);
    if (watcher.reading_done) watcher.reading_done();
    if (r.stream.error != 0) {
        // A failed read is no end of file: nothing of a half-read scene is
        // converted.
        outcome.result = load_result::read_failed;
        outcome.system_error = r.stream.error;
    } else if (r.over_budget) {
        outcome.result = r.records_over_budget ? load_result::too_many_records : load_result::too_little_data;
    } else if (r.stream.limit_reached) {
        outcome.result = load_result::ended_past_primary;
    } else if (r.stream.ended) {
        outcome.result = load_result::ended_in_chunk;
    }
    if (!converted(outcome.result)) s = init_scene();
    return outcome;
}

}  // namespace

load_outcome load_scene_bytes(scene& s, const unsigned char* data, std::size_t size, reporter& report,
                              const load_watcher& watcher) {
    chunk_reader r{report};
    r.watcher = &watcher;
    open_byte_buffer(r.stream, data, size);
    return load_scene(r, s, watcher);
}

load_outcome load_scene_file(scene& s, const std::string& path, reporter& report, const load_watcher& watcher) {
    chunk_reader r{report};
    r.watcher = &watcher;
    if (!open_byte_stream(r.stream, path)) {
        if (watcher.reading_done) watcher.reading_done();
        return {load_result::not_opened, r.stream.error};
    }
    return load_scene(r, s, watcher);
}

}  // namespace tessvert
