#include "reader/loader.hpp"

#include <cstdio>

#include "geometry/vertex_normals.hpp"
#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

void print_message(const std::string& message) {
    std::printf(" %s\n", message.c_str());
}

}  // namespace

int load_scene_file(scene& s, const std::string& path, int compute_normals) {
    chunk_reader r;
    if (!open_byte_stream(r.stream, path)) {
        print_message("Unable to find the file: " + path + "!");
        return 0;
    }
    chunk_header primary_header;
    read_chunk_header(r, primary_header);
    if (primary_header.consumed < 6 || primary_header.id != chunk_id::primary) {
        print_message(" Unable to load PRIMARY chuck from file: " + path + "!");
        close_byte_stream(r.stream);
        return 0;
    }
    std::printf("\n Reading %s...\n", path.c_str());
    // Bytes after the primary chunk's declared end are never looked at.
    parse_main_chunks(r, s, primary_header, 1);
    if (r.unfilled_bytes > max_unfilled_bytes) {
        std::printf(
            " Warning: the file declares far more vertices and mapping coordinates than it holds;"
            " it is not converted\n");
        close_byte_stream(r.stream);
        s = init_scene();
        return 0;
    }
    if (r.stream.ended) std::printf(" Warning: the file ends inside a chunk; what was read up to there is converted\n");
    close_byte_stream(r.stream);

    remove_invalid_faces(s);
    if (compute_normals == 1) {
        std::printf(" Computing normals...\n");
        compute_vertex_normals(s);
    }
    return 1;
}

}  // namespace tessvert
