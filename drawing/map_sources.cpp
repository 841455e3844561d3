#include "drawing/map_sources.hpp"

#include <map>
#include <set>

#include "writers/common/image_types.hpp"
#include "writers/common/map_images.hpp"

namespace tessvert {

namespace {

std::string quoted(std::string_view name) {
    std::string q = "\"";
    q += printable(name);
    q += '"';
    return q;
}

// Mapping coordinates whose count differs from the object's vertex count,
// or that hold a number that is not finite, are not used: one warning per
// object.
void check_mapping_coords(const scene& s, reporter& report) {
    for (const mesh_object& o : s.objects) {
        if (o.faces.empty() || o.tex_coords.empty() || mapping_coords_usable(o)) continue;
        const std::string why = o.tex_coords.size() != 2 * o.vertices.size()
                                    ? std::to_string(o.tex_coords.size() / 2) + " mapping coordinates for its " +
                                          std::to_string(o.vertices.size()) + " vertices"
                                    : "a mapping coordinate that is not a finite number";
        report_warning(report, "object \"" + printable(o.name) + "\" has " + why + "; they are not used");
    }
}

// Per material: 1 when faces of an object with mapping coordinates use it.
// Each object whose faces use a mapped material but that has no mapping
// coordinates gets its warning here.
std::vector<std::uint8_t> materials_mapped_by_faces(const scene& s, reporter& report) {
    std::vector<std::uint8_t> used(s.materials.size(), 0);
    for (const mesh_object& o : s.objects) {
        std::int32_t unmapped = no_material;
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            const std::int32_t m = face_material(s, o, j);
            if (m == no_material || s.materials[static_cast<std::size_t>(m)].map_name.empty()) continue;
            if (mapping_coords_usable(o))
                used[static_cast<std::size_t>(m)] = 1;
            else if (unmapped == no_material)
                unmapped = m;
        }
        if (unmapped != no_material)
            report_warning(report, "object " + quoted(o.name) +
                                       " has no mapping coordinates for the texture map of "
                                       "material " +
                                       quoted(s.materials[static_cast<std::size_t>(unmapped)].name) +
                                       "; it is drawn in the diffuse colours of its materials");
    }
    return used;
}

// One warning per kind of the other maps, naming the first material that
// holds one and how many do.
void report_other_maps(const scene& s, reporter& report) {
    std::map<std::uint16_t, std::pair<const material*, std::size_t>> kinds;
    for (const material& m : s.materials)
        for (const other_map& map : m.other_maps) {
            auto& [first, count] = kinds[map.chunk_id];
            if (first == nullptr) first = &m;
            ++count;
        }
    for (const auto& [id, seen] : kinds) {
        const std::string kind = other_map_kind(id);
        std::string line = "the " + kind + " of material " + quoted(seen.first->name);
        if (seen.second > 1) line += " and of " + std::to_string(seen.second - 1) + " more";
        report_warning(report, line + " is not converted (only texture maps are)");
    }
}

// The name a copy of `source` takes: its own, with every byte that a
// POV-Ray string cannot carry plainly (a double quote, a backslash, a
// control character, a byte past ASCII) made an underscore.
std::string copy_name(const std::string& source) {
    std::string name = source.substr(source.rfind('/') + 1);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || byte < 0x20 || byte >= 0x7F) c = '_';
    }
    return name;
}

// The names of the copies made so far: each taken once, and each image
// found copied once whatever names find it.
struct copies_made {
    std::set<std::string> taken;
    std::map<std::string, drawn_map> of_image;  // image found -> its copy
};

constexpr char drawn_plain[] = "; the material is drawn in its diffuse colour";

// A map whose image cannot be read: the image's own name carries the
// system's reason.
void report_unreadable(const std::string& what, const std::string& image, int error, reporter& report) {
    report_warning(report, what + " cannot be read" + drawn_plain);
    report_system_reason(report, image, error);
}

// The image's format from its content, in the words of the language that
// shows it (`type_of`); empty, with a warning that says why the map cannot
// be shown, when it holds none that `reader_name` reads. An image of
// another format than its name says is read as what it holds.
std::string_view checked_format(const image_source& source, const std::string& path, std::string_view named,
                                const std::string& what, image_type_reader type_of, std::string_view reader_name,
                                reporter& report) {
    int error = 0;
    const std::string_view held = image_source_format(source, error);
    const std::string_view type = held.empty() ? std::string_view{} : type_of(held);
    const std::string reader(reader_name);
    if (error != 0) {
        report_unreadable(what, path, error, report);
    } else if (held.empty() && source.size == 0) {
        report_warning(report, what + " is an empty file" + drawn_plain);
    } else if (type.empty() && (named.empty() || held == named)) {
        report_warning(report, what + " is of a type " + reader + " cannot read" + drawn_plain);
    } else if (type.empty()) {
        report_warning(report, what + " does not hold a " + std::string(named) +
                                   " image, as its name says, nor another that " + reader + " reads" + drawn_plain);
    } else if (!named.empty() && held != named) {
        report_warning(report, what + " holds a " + std::string(held) + " image, not a " + std::string(named) +
                                   " one as its name says; it is read as " + std::string(held));
    }
    return error != 0 ? std::string_view{} : type;
}

// The image a map shows, found beside the 3DS file, checked, and copied to
// `place` (a temporary among `plan.copies`, unless an identical file is
// there); empty, with a warning that says why, when it cannot be shown.
drawn_map show_map_image(const std::string& input_path, const std::string& map_name, const copy_place& place,
                         const std::string& what, image_type_reader type_of, std::string_view reader_name,
                         std::deque<image_copy>& copies, copies_made& made, reporter& report) {
    const map_image_found found = find_map_image(input_path, map_name);
    if (found.path.empty()) {
        if (found.other.empty())
            report_warning(report, what + " is not beside the 3DS file (in " + printable(folder_of(input_path)) + ")" +
                                       drawn_plain);
        else
            report_warning(report, what + " finds " + printable(found.other) + ", which is " +
                                       std::string(found.other_kind) + ", not an image file" + drawn_plain);
        return {};
    }
    if (const auto copied = made.of_image.find(found.path); copied != made.of_image.end())
        return copied->second;  // another name of an image already copied
    image_source source;
    int error = 0;
    if (!open_image_source(source, found.path, error)) {
        report_unreadable(what, found.path, error, report);
        return {};
    }
    const std::string_view type = checked_format(source, found.path, image_format_named(map_file_part(map_name)), what,
                                                 type_of, reader_name, report);
    if (type.empty()) return {};
    image_copy& copy = copies.emplace_back();
    const copy_plan where = plan_copy(place, place.prefix + copy_name(found.path), source, made.taken, copy.claim);
    if (where.name.empty()) {
        report_warning(report, what + " finds no free name for its copy in " + printable(place.folder) + drawn_plain);
    } else if (!where.reuse && !write_image_copy(copy.file, source, place.folder + "/" + where.name, error)) {
        if (error != 0) {
            report_unreadable(what, found.path, error, report);
        } else {
            report_warning(report, what + " could not be copied to " + printable(place.folder) + drawn_plain);
            report_system_reason(report, copy.file.path, copy.file.error);
        }
    } else {
        if (where.reuse) copies.pop_back();  // nothing to put in place
        made.taken.insert(where.name);
        return made.of_image[found.path] = {where.name, type, {}};
    }
    copies.pop_back();  // no temporary: its claim given up
    return {};
}

}  // namespace

void resolve_maps(const scene& s, const std::string& input_path, const copy_place& place, image_type_reader type_of,
                  std::string_view reader_name, drawn_scene& d, reporter& report) {
    check_mapping_coords(s, report);
    d.counts.maps_resolved = true;
    report_other_maps(s, report);
    const std::vector<std::uint8_t> used = materials_mapped_by_faces(s, report);
    // Each map name is looked up once: materials that share it share the
    // image, its copy and its warning.
    std::map<std::string, drawn_map> done;
    copies_made made;
    for (std::size_t m = 0; m < s.materials.size(); ++m) {
        if (used[m] == 0) continue;
        const std::string& map_name = s.materials[m].map_name;
        const auto known = done.find(map_name);
        if (known != done.end()) {
            d.looks[m].map = known->second;
            d.looks[m].map.placement = s.materials[m].texture;
            ++(known->second.image.empty() ? d.counts.maps_missing : d.counts.maps_shown);
            continue;
        }
        drawn_map& chosen = done[map_name];
        const std::string what = "the texture map " + quoted(map_name) + " of material " + quoted(s.materials[m].name);
        chosen = show_map_image(input_path, map_name, place, what, type_of, reader_name, d.image_copies, made, report);
        d.looks[m].map = chosen;
        d.looks[m].map.placement = s.materials[m].texture;
        ++(chosen.image.empty() ? d.counts.maps_missing : d.counts.maps_shown);
    }
}

bool commit_map_copies(std::deque<image_copy>& copies, reporter& report) {
    bool all = true;
    for (image_copy& image : copies) {
        output_file& copy = image.file;
        if (commit_output_as_new(copy)) continue;
        tessvert::report(report, message_kind::error, "There was an error when writing the file: " + copy.path + "\n");
        if (copy.error != 0) report_system_reason(report, copy.path, copy.error);
        all = false;
    }
    return all;
}

}  // namespace tessvert
