#include <algorithm>
#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "model/populate.hpp"
#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

static_assert(std::endian::native == std::endian::little,
              "vertex and mapping payloads are copied straight into float arrays");
static_assert(sizeof(vec3) == 12);

namespace {

// Counts the bytes of an array that its payload left unfilled; past the
// bound the descent stops, as at the end of the file, and the load fails.
void count_unfilled(chunk_reader& r, std::uint32_t declared, std::uint32_t kept) {
    r.unfilled_bytes += declared - kept;
    if (r.unfilled_bytes > max_unfilled_bytes) r.over_budget = true;
}

std::uint16_t read_count(chunk_reader& r, chunk_header& h) {
    unsigned char raw[2];
    read_fixed(r, h, raw, 2);
    return load_u16(raw);
}

}  // namespace

void parse_object_chunks(chunk_reader& r, scene& s, chunk_header& parent, int level) {
    read_children(r, parent, [&](chunk_header& child) {
        switch (child.id) {
        case chunk_id::triangle_mesh:
            open_level(r, child, level, [&] { parse_object_chunks(r, s, child, level + 1); });
            return true;
        case chunk_id::vertex_list:
            read_vertex_list(r, s.objects.back(), child);
            return true;
        case chunk_id::face_list:
            read_face_list(r, s.objects.back(), child);
            return true;
        case chunk_id::material_group:
            read_material_group(r, s, s.objects.back(), child);
            return true;
        case chunk_id::mapping_coords:
            read_mapping_coords(r, s.objects.back(), child);
            return true;
        case chunk_id::smoothing_groups:
            read_smoothing_groups(r, s.objects.back(), child);
            return true;
        case chunk_id::mesh_matrix:
            read_mesh_matrix(r, s.objects.back(), child);
            return true;
        case chunk_id::light:
            open_level(r, child, level, [&] {
                append_light(s);
                read_light(r, s, child);
            });
            return true;
        case chunk_id::camera:
            // A camera opens no level: its sub-chunks are read past unseen.
            append_camera(s);
            read_camera(r, s, child);
            return true;
        default:
            return false;
        }
    });
}

// Twelve floats; a shorter payload gives no matrix.
void read_mesh_matrix(chunk_reader& r, mesh_object& object, chunk_header& h) {
    unsigned char raw[48];
    if (read_payload(r, h, raw, sizeof raw) < sizeof raw) return;
    for (std::size_t i = 0; i < 12; ++i) object.mesh_matrix[i] = load_f32(raw + 4 * i);
    object.has_mesh_matrix = true;
}

// The count bounds the array; a longer payload is read past, a shorter one
// leaves the last vertices at 0, 0, 0.
void read_vertex_list(chunk_reader& r, mesh_object& object, chunk_header& h) {
    std::uint16_t n = read_count(r, h);
    reserve_populated(object.vertices, n);
    object.vertices.assign(n, vec3{});
    count_unfilled(r, 12u * n, read_payload(r, h, object.vertices.data(), 12u * n));
}

// Reads exactly the count and the faces; the face list's own child chunks
// (material groups among them) stay in the file for the object level.
// The faces pass through a small buffer, a block at a time. What the
// children of an earlier face list said of its faces goes with it.
void read_face_list(chunk_reader& r, mesh_object& object, chunk_header& h) {
    // The groups read so far number the faces of the list this one
    // replaces: they keep only their names.
    for (material_group_entry& g : object.material_groups) g.first_face = g.face_numbers = 0;
    object.group_faces.clear();
    object.smoothing.clear();
    std::uint16_t n = read_count(r, h);
    constexpr std::uint32_t block_faces = 512;
    unsigned char raw[8 * block_faces];
    object.faces.clear();
    // The pages of as many faces as the chunk holds are asked for at once;
    // a count beyond them reads on past the chunk, and its pages come as
    // they are filled.
    reserve_populated(object.faces, n, remaining(h) / 8);
    for (std::uint32_t left = n; left > 0;) {
        std::uint32_t want = left < block_faces ? left : block_faces;
        std::uint32_t got = read_counted(r, h, raw, 8 * want);
        // Only faces read whole are kept when the file ends inside the list.
        for (std::uint32_t i = 0; i + 8 <= got; i += 8)
            object.faces.push_back(
                face{load_u16(raw + i), load_u16(raw + i + 2), load_u16(raw + i + 4)});  // 4th value: flags, dropped
        if (got < 8 * want) break;
        left -= want;
    }
}

// A group is kept whatever it lists: its name alone may give the object
// its colour (resolve_materials), counting only the materials read before
// it.
void read_material_group(chunk_reader& r, const scene& s, mesh_object& object, chunk_header& h) {
    material_group_entry group;
    read_string(r, h, group.name, material_name_max);
    group.materials_before = s.material_count();
    // The face numbers pass through a small buffer: only those the file
    // holds are kept, whatever count the group declares.
    group.first_face = static_cast<std::uint32_t>(object.group_faces.size());
    if (remaining(h) >= 2) {
        const std::uint32_t declared = read_count(r, h);
        constexpr std::uint32_t block_numbers = 512;
        unsigned char raw[2 * block_numbers];
        for (std::uint32_t left = std::min(declared, remaining(h) / 2); left > 0;) {
            const std::uint32_t want = std::min(left, block_numbers);
            const std::uint32_t got = read_counted(r, h, raw, 2 * want);
            for (std::uint32_t i = 0; i + 2 <= got; i += 2) object.group_faces.push_back(load_u16(raw + i));
            if (got < 2 * want) break;
            left -= want;
        }
    }
    skip_chunk(r, h);
    group.face_numbers = static_cast<std::uint32_t>(object.group_faces.size()) - group.first_face;
    object.material_groups.push_back(std::move(group));
}

// Only a chunk that holds a mask for every face of the face list is kept;
// what follows the masks is read past.
void read_smoothing_groups(chunk_reader& r, mesh_object& object, chunk_header& h) {
    object.smoothing.clear();
    const std::uint32_t n = static_cast<std::uint32_t>(object.faces.size());
    if (remaining(h) / 4 >= n) {
        reserve_populated(object.smoothing, n);  // bounded by the faces already read
        constexpr std::uint32_t block_masks = 256;
        unsigned char raw[4 * block_masks];
        for (std::uint32_t left = n; left > 0;) {
            const std::uint32_t want = std::min(left, block_masks);
            const std::uint32_t got = read_counted(r, h, raw, 4 * want);
            for (std::uint32_t i = 0; i + 4 <= got; i += 4) object.smoothing.push_back(load_u32(raw + i));
            if (got < 4 * want) break;
            left -= want;
        }
        if (object.smoothing.size() != n) object.smoothing.clear();  // the file ended inside the masks
    }
    skip_chunk(r, h);
}

void read_mapping_coords(chunk_reader& r, mesh_object& object, chunk_header& h) {
    std::uint16_t n = read_count(r, h);
    object.tex_coords.assign(2u * n, 0.0f);
    count_unfilled(r, 8u * n, read_payload(r, h, object.tex_coords.data(), 8u * n));
}

}  // namespace tessvert
