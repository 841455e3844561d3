#include "drawing/map_sources.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "writers/common/image_types.hpp"
#include "writers/common/map_images.hpp"

namespace tessvert {

namespace {

std::string in_quotes(std::string_view name) {
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

// A map of a material that shows an image: its kind, its name, where it
// lies, and where the look keeps it.
struct image_map {
    const char* kind = nullptr;
    const std::string* name = nullptr;
    const texture_map* placement = nullptr;
    drawn_map material_look::*slot = nullptr;
    bool texture = false;  // the texture map, which the statistics count
};

// The maps of `m` that show an image, the texture map first.
std::vector<image_map> image_maps_of(const material& m) {
    std::vector<image_map> maps;
    if (!m.map_name.empty()) maps.push_back({"texture map", &m.map_name, &m.texture, &material_look::map, true});
    // The bump, opacity, specular and self-illumination maps' chunks.
    constexpr std::pair<std::uint16_t, drawn_map material_look::*> kinds[] = {
        {0xA230, &material_look::bump},
        {0xA210, &material_look::opacity},
        {0xA204, &material_look::specular_map},
        {0xA33D, &material_look::self_illumination_map}};
    for (const other_map& other : m.other_maps)
        for (const auto& [chunk_id, slot] : kinds)
            if (other.chunk_id == chunk_id && !other.name.empty())
                maps.push_back({other_map_kind(chunk_id), &other.name, &other.placement, slot, false});
    return maps;
}

// Whether the maps of the chunk `chunk_id` are drawn: those that show an
// image, and the reflection map, whose amount is drawn.
bool drawn_kind(std::uint16_t chunk_id) {
    return chunk_id == 0xA230 || chunk_id == 0xA210 || chunk_id == 0xA204 || chunk_id == 0xA33D || chunk_id == 0xA220;
}

// Per material: 1 when faces of an object with mapping coordinates use it.
// Each object whose faces use a material with an image map but that has no
// mapping coordinates gets its warning here.
std::vector<std::uint8_t> materials_mapped_by_faces(const scene& s, reporter& report) {
    std::vector<std::uint8_t> used(s.materials.size(), 0);
    std::vector<std::uint8_t> has_maps(s.materials.size(), 0);
    for (std::size_t m = 0; m < s.materials.size(); ++m) has_maps[m] = !image_maps_of(s.materials[m]).empty();
    for (const mesh_object& o : s.objects) {
        std::int32_t unmapped = no_material;
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            const std::int32_t m = face_material(s, o, j);
            if (m == no_material || has_maps[static_cast<std::size_t>(m)] == 0) continue;
            if (mapping_coords_usable(o))
                used[static_cast<std::size_t>(m)] = 1;
            else if (unmapped == no_material)
                unmapped = m;
        }
        if (unmapped != no_material) {
            const material& m = s.materials[static_cast<std::size_t>(unmapped)];
            report_warning(report, "object " + in_quotes(o.name) + " has no mapping coordinates for the " +
                                       image_maps_of(m).front().kind + " of material " + in_quotes(m.name) +
                                       "; it is drawn in the diffuse colours of its materials");
        }
    }
    return used;
}

// One warning per kind of the maps that are not drawn, naming the first
// material that holds one and how many do.
void report_other_maps(const scene& s, reporter& report) {
    std::map<std::uint16_t, std::pair<const material*, std::size_t>> kinds;
    for (const material& m : s.materials)
        for (const other_map& map : m.other_maps) {
            if (drawn_kind(map.chunk_id)) continue;
            auto& [first, count] = kinds[map.chunk_id];
            if (first == nullptr) first = &m;
            ++count;
        }
    for (const auto& [id, seen] : kinds) {
        const std::string kind = other_map_kind(id);
        std::string line = "the " + kind + " of material " + in_quotes(seen.first->name);
        if (seen.second > 1) line += " and of " + std::to_string(seen.second - 1) + " more";
        report_warning(report, line +
                                   " is not converted (only texture, bump, opacity, specular, self-illumination and "
                                   "reflection maps are)");
    }
}

// Where a missing map was looked for, for its warning.
std::string searched_text(const map_search& search) {
    const std::string own = printable(folder_of(search.input_path));
    if (search.folders.empty()) return "is not beside the 3DS file (in " + own + ")";
    std::string text = "is in none of the folders searched (" + own;
    for (std::size_t i = 0; i < search.folders.size(); ++i)
        text += (i + 1 == search.folders.size() ? " and " : ", ") + printable(search.folders[i]);
    return text + (search.folders.size() == 1 ? " with its subfolders)" : " with their subfolders)");
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

// How a material is drawn when its texture map cannot be shown, and when
// another of its maps cannot be.
constexpr char texture_left_out[] = "; the material is drawn in its diffuse colour";
constexpr char map_left_out[] = "; the material is drawn without it";

// A map whose image cannot be read: the image's own name carries the
// system's reason.
void report_unreadable(const std::string& what, const char* drawn_plain, const std::string& image, int error,
                       reporter& report) {
    report_warning(report, what + " cannot be read" + drawn_plain);
    report_system_reason(report, image, error);
}

// The image's format from its content, in the words of the language that
// shows it (`type_of`); empty, with a warning that says why the map cannot
// be shown, when it holds none that `reader_name` reads. An image of
// another format than its name says is read as what it holds.
std::string_view checked_format(const image_source& source, const std::string& path, std::string_view named,
                                const std::string& what, const char* drawn_plain, image_type_reader type_of,
                                std::string_view reader_name, reporter& report) {
    int error = 0;
    const std::string_view held = image_source_format(source, error);
    const std::string_view type = held.empty() ? std::string_view{} : type_of(held);
    const std::string reader(reader_name);
    if (error != 0) {
        report_unreadable(what, drawn_plain, path, error, report);
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

// The image a map shows, found in `folders` (those `search` names), checked
// (`drawn_plain` says how the material is drawn when it cannot be), and copied to
// `place` (a temporary among `plan.copies`, unless an identical file is
// there); empty, with a warning that says why, when it cannot be shown.
drawn_map show_map_image(const map_search& search, const std::vector<std::string>& folders, const std::string& map_name,
                         const copy_place& place, const std::string& what, const char* drawn_plain,
                         image_type_reader type_of, std::string_view reader_name, std::deque<image_copy>& copies,
                         copies_made& made, reporter& report) {
    const map_image_found found = find_map_in(folders, map_name);
    if (found.path.empty()) {
        if (found.other.empty())
            report_warning(report, what + " " + searched_text(search) + drawn_plain);
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
        report_unreadable(what, drawn_plain, found.path, error, report);
        return {};
    }
    const std::string_view type = checked_format(source, found.path, image_format_named(map_file_part(map_name)), what,
                                                 drawn_plain, type_of, reader_name, report);
    if (type.empty()) return {};
    image_copy& copy = copies.emplace_back();
    const copy_plan where = plan_copy(place, place.prefix + copy_name(found.path), source, made.taken, copy.claim);
    if (where.name.empty()) {
        report_warning(report, what + " finds no free name for its copy in " + printable(place.folder) + drawn_plain);
    } else if (!where.reuse && !write_image_copy(copy.file, source, place.folder + "/" + where.name, error)) {
        if (error != 0) {
            report_unreadable(what, drawn_plain, found.path, error, report);
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

std::vector<std::string> map_folders_of(const map_search& search) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders{folder_of(search.input_path)};
    std::size_t listed = 0;
    for (const std::string& top : search.folders) {
        folders.push_back(top);
        // Depth first, each folder's subfolders in name order.
        std::vector<std::string> stack{top};
        while (!stack.empty()) {
            const std::string folder = stack.back();
            stack.pop_back();
            std::vector<std::string> below;
            std::error_code error;
            for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
                std::error_code kind_error;
                if (it->is_directory(kind_error) && !it->is_symlink(kind_error)) below.push_back(it->path().string());
            }
            std::sort(below.begin(), below.end());
            for (auto it = below.rbegin(); it != below.rend() && listed < max_map_folders; ++it, ++listed)
                stack.push_back(*it);
            if (folder != top) folders.push_back(folder);
        }
    }
    return folders;
}

map_image_found find_map_in(const std::vector<std::string>& folders, std::string_view map_name) {
    map_image_found first;
    for (const std::string& folder : folders) {
        // find_map_image looks in the folder of the path it is given.
        map_image_found found = find_map_image(folder + "/", map_name);
        if (!found.path.empty()) return found;
        if (first.other.empty()) first = std::move(found);
    }
    return first;
}

void resolve_maps(const scene& s, const map_search& search, const copy_place& place, image_type_reader type_of,
                  std::string_view reader_name, drawn_scene& d, reporter& report) {
    check_mapping_coords(s, report);
    d.counts.maps_resolved = true;
    report_other_maps(s, report);
    const std::vector<std::uint8_t> used = materials_mapped_by_faces(s, report);
    const std::vector<std::string> folders = map_folders_of(search);
    // Each map name is looked up once: maps that share it share the
    // image, its copy and its warning.
    std::map<std::string, drawn_map> done;
    copies_made made;
    for (std::size_t m = 0; m < s.materials.size(); ++m) {
        if (used[m] == 0) continue;
        for (const image_map& map : image_maps_of(s.materials[m])) {
            const std::string& map_name = *map.name;
            const auto [known, fresh] = done.try_emplace(map_name);
            if (fresh) {
                const std::string what = std::string("the ") + map.kind + " " + in_quotes(map_name) + " of material " +
                                         in_quotes(s.materials[m].name);
                known->second = show_map_image(search, folders, map_name, place, what,
                                               map.texture ? texture_left_out : map_left_out, type_of, reader_name,
                                               d.image_copies, made, report);
            }
            drawn_map& slot = d.looks[m].*map.slot;
            slot = known->second;
            slot.placement = *map.placement;
            if (map.texture) ++(known->second.image.empty() ? d.counts.maps_missing : d.counts.maps_shown);
        }
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
