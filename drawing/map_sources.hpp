// The images the texture maps show: each found beside the 3DS file, its
// type checked, and copied beside the scene so that the scene reads it from
// its own folder; the warnings for maps that cannot be shown; the copies put
// in place with the scene.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/drawn_scene.hpp"
#include "model/report.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"

namespace tessvert {

// The type an output language names an image of `format` (what the image
// holds, in the words of image_format_of: "png", "jpeg", "tga", ...) by;
// empty when it reads no image of that format.
using image_type_reader = std::string_view (*)(std::string_view format);

// Where map images are looked for: the 3DS file's folder, then each of
// `folders` (--maps) followed by its subfolders, in name order, at any
// depth (symbolic links to folders are not followed into).
struct map_search {
    std::string input_path;
    std::vector<std::string> folders;
};

// Most subfolders listed under all the --maps folders together; a tree
// larger than that is searched as far as that.
inline constexpr std::size_t max_map_folders = 4096;

// The folders `search` looks in, in order.
std::vector<std::string> map_folders_of(const map_search& search);

// The image that `map_name` names in the first of `folders` that holds it
// (find_map_image's rules in each); when none does, what the first folder
// that has an entry of that name holds instead, or nothing.
map_image_found find_map_in(const std::vector<std::string>& folders, std::string_view map_name);

// For the materials that faces of objects with mapping coordinates use:
// finds the image of each map that shows one (the texture map, the bump,
// opacity, specular and self-illumination maps) as `search` says (a
// regular file, not reached through a symbolic link), checks that its
// content is an image the language reads (`type_of`, whatever its name
// says; `reader_name` names the program that reads the scene in the
// warning when it cannot), and writes its copy for `place` to a temporary
// in d.image_copies (none when an identical file is there already;
// another name when a different one is), no more readable than the image.
// Sets each such material's maps in d.looks and the counts of texture
// maps. Reports first the objects whose mapping coordinates cannot be
// used, then one warning per kind of the maps that are not shown at all (a
// second texture, a shininess map, masks), one per object whose faces use
// a mapped material but that has no mapping coordinates, and one per map
// that cannot be shown, saying why.
void resolve_maps(const scene& s, const map_search& search, const copy_place& place, image_type_reader type_of,
                  std::string_view reader_name, drawn_scene& d, reporter& report);

// Puts each copy in place under its name, never replacing a file; false
// when one failed (its error reported).
bool commit_map_copies(std::deque<image_copy>& copies, reporter& report);

}  // namespace tessvert
