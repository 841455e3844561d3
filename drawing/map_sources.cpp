#include "drawing/map_sources.hpp"

#include <map>
#include <set>

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

}  // namespace

void resolve_maps(const scene& s, const std::string& input_path, const std::string& output_dir,
                  image_type_reader type_of, std::string_view reader_name, drawn_scene& d, reporter& report) {
    check_mapping_coords(s, report);
    d.counts.maps_resolved = true;
    report_other_maps(s, report);
    const std::vector<std::uint8_t> used = materials_mapped_by_faces(s, report);
    // Each map name is looked up once: materials that share it share the
    // image, its copy and its warning.
    std::map<std::string, drawn_map> done;
    std::set<std::string> taken;
    std::map<std::string, std::string> copy_of;  // image found -> the name its copy takes
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
        const std::string fallback = "; the material is drawn in its diffuse colour";
        const std::string source = find_map_image(input_path, map_name);
        const std::string_view type = source.empty() ? std::string_view{} : type_of(source);
        if (source.empty()) {
            report_warning(
                report, what + " is not beside the 3DS file (in " + printable(folder_of(input_path)) + ")" + fallback);
        } else if (type.empty()) {
            report_warning(report, what + " is of a type " + std::string(reader_name) + " cannot read" + fallback);
        } else if (const auto copied = copy_of.find(source); copied != copy_of.end()) {
            chosen = {copied->second, type, {}};  // another name of an image already copied
        } else {
            const copy_plan where = plan_copy(output_dir, copy_name(source), source, taken);
            if (where.name.empty()) {
                report_warning(report,
                               what + " finds no free name for its copy in " + printable(output_dir) + fallback);
            } else if (where.reuse) {
                chosen = {where.name, type, {}};
            } else {
                output_file& copy = d.image_copies.emplace_back();
                if (write_image_copy(copy, source, output_dir + "/" + where.name)) {
                    chosen = {where.name, type, {}};
                } else {
                    report_warning(report, what + " could not be copied to " + printable(output_dir) + fallback);
                    report_system_reason(report, copy.path, copy.error);
                    d.image_copies.pop_back();
                }
            }
            if (!chosen.image.empty()) {
                taken.insert(chosen.image);
                copy_of[source] = chosen.image;
            }
        }
        d.looks[m].map = chosen;
        d.looks[m].map.placement = s.materials[m].texture;
        ++(chosen.image.empty() ? d.counts.maps_missing : d.counts.maps_shown);
    }
}

bool commit_map_copies(std::deque<output_file>& copies, reporter& report) {
    bool all = true;
    for (output_file& copy : copies) {
        if (commit_output_as_new(copy)) continue;
        tessvert::report(report, message_kind::error, "There was an error when writing the file: " + copy.path + "\n");
        if (copy.error != 0) report_system_reason(report, copy.path, copy.error);
        all = false;
    }
    return all;
}

}  // namespace tessvert
