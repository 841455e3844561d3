#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"
#include "reader/loader.hpp"

namespace tessvert {

namespace {

void read_version(chunk_reader& r, chunk_header& h) {
    // Only the low 16 bits are compared; missing bytes count as 0.
    unsigned char v[2] = {0, 0};
    read_payload(r, h, v, 2);
    if (load_u16(v) > 3)
        report(r.report, message_kind::warning, " This 3DS file is over version 3 so it may load incorrectly\n");
}

}  // namespace

// Everything not handled here is read past.
void parse_main_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level) {
    read_children(r, parent, [&](chunk_header& child) {
        switch (child.id) {
        case chunk_id::version:
            read_version(r, child);
            return true;
        case chunk_id::editor:
            open_level(r, child, level, [&] { parse_main_chunks(r, s, child, level + 1); });
            return true;
        case chunk_id::named_object:
            open_level(r, child, level, [&] {
                append_object(s);
                count_record(r, sizeof(mesh_object));
                read_string(r, child, s.objects.back().name, object_name_max);
                parse_object_chunks(r, s, child, level + 1);
                if (r.watcher != nullptr && r.watcher->object_read) r.watcher->object_read(s.objects.size() - 1);
            });
            return true;
        case chunk_id::keyframer:
            read_keyframer(r, s, child);
            return true;
        case chunk_id::ambient_light:
            read_color_property(r, child, s.ambient_light);
            return true;
        case chunk_id::background_color:
            read_color_property(r, child, s.background);
            return true;
        case chunk_id::use_background_color:
            s.use_background = 1;
            skip_chunk(r, child);
            return true;
        case chunk_id::material_entry:
            open_level(r, child, level, [&] {
                append_material(s);
                // and, once its name is looked up, a node of the name index
                count_record(r, sizeof(material) + 64);
                parse_material_chunks(r, s, child, level + 1);
            });
            return true;
        default:
            return false;
        }
    });
}

}  // namespace tessvert
