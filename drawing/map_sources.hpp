// The images the texture maps show: each found beside the 3DS file, its
// type checked, and copied beside the scene so that the scene reads it from
// its own folder; the warnings for maps that cannot be shown; the copies put
// in place with the scene.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "drawing/drawn_scene.hpp"
#include "model/report.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"

namespace tessvert {

// The type an output language names an image of `format` (what the image
// holds, in the words of image_format_of: "png", "jpeg", "tga", ...) by;
// empty when it reads no image of that format.
using image_type_reader = std::string_view (*)(std::string_view format);

// For the materials that faces of objects with mapping coordinates use:
// finds each map's image beside `input_path` (a regular file, not reached
// through a symbolic link), checks that its content is an image the
// language reads (`type_of`, whatever its name says; `reader_name` names
// the program that reads the scene in the warning when it cannot), and
// writes its copy for `place` to a temporary in d.image_copies (none when
// an identical file is there already; another name when a different one
// is), no more readable than the image. Sets each
// such material's map in d.looks and the map counts. Reports first the
// objects whose mapping coordinates cannot be used, then one warning per
// kind of the other maps that the file holds (which are not shown), one per
// object whose faces use a mapped material but that has no mapping
// coordinates, and one per map that cannot be shown, saying why.
void resolve_maps(const scene& s, const std::string& input_path, const copy_place& place, image_type_reader type_of,
                  std::string_view reader_name, drawn_scene& d, reporter& report);

// Puts each copy in place under its name, never replacing a file; false
// when one failed (its error reported).
bool commit_map_copies(std::deque<image_copy>& copies, reporter& report);

}  // namespace tessvert
