#include <cstdio>

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

void read_version(chunk_reader& r, chunk_header& h) {
    // Only the low 16 bits are compared; missing bytes count as 0.
    unsigned char v[2] = {0, 0};
    read_payload(r, h, v, 2);
    if (load_u16(v) > 3) std::printf(" This 3DS file is over version 3 so it may load incorrectly\n");
}

}  // namespace

void parse_main_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level) {
    chunk_header child;
    while (next_child(r, parent, child)) {
        switch (child.id) {
        case chunk_id::version:
            read_version(r, child);
            break;
        case chunk_id::editor:
            if (may_descend(r, level))
                parse_main_chunks(r, s, child, level + 1);
            else
                skip_chunk(r, child);
            break;
        case chunk_id::named_object:
            if (may_descend(r, level)) {
                append_object(s);
                child.consumed += read_string(r, s.objects.back().name, object_name_max);
                parse_object_chunks(r, s, child, level + 1);
            } else {
                skip_chunk(r, child);
            }
            break;
        case chunk_id::material_entry:
            if (may_descend(r, level)) {
                append_material(s);
                parse_material_chunks(r, s, child, level + 1);
            } else {
                skip_chunk(r, child);
            }
            break;
        default:
            skip_chunk(r, child);  // keyframer data and all else
            break;
        }
        parent.consumed += child.consumed;
    }
}

}  // namespace tessvert
