// The image files that texture maps name: found beside the 3DS file the way
// users store them, and copied beside the output so that the scene reads
// them from its own folder. A copy follows the rules of the output files:
// it is written to a temporary, put in place together with the outputs, and
// never replaces a different file.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "writers/common/output_file.hpp"

namespace tessvert {

// Whether two names are equal when ASCII letters are compared without
// regard to case, as names of files saved on DOS are.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// The file name part of a map name: what follows its last '/' or '\' (or a
// DOS drive's "C:"), as names saved on other systems carry them.
std::string map_file_part(std::string_view map_name);

// The image that `map_name` names, beside the 3DS file `input_path`: the
// path of the regular file in that folder whose name equals the map name's
// file part, compared without regard to ASCII case (an exact match first);
// else, for a name in DOS's 8.3 form with a stem of 8 characters, the one
// file whose longer name was cut to it ("UVTRANSF.PNG" for
// "UVTransformTestImg.png"). Empty when there is none.
std::string find_map_image(const std::string& input_path, std::string_view map_name);

// The folder of `path` ("." for a bare name), for names relative to it.
std::string folder_of(const std::string& path);

// Where the copy of `source` goes in `out_dir`: `wanted` when no file has
// that name there, or the file there holds the same bytes (it is then used
// as it is: `reuse`); otherwise the first free or identical one of
// "stem-2.ext", "stem-3.ext", ... Names in `taken` (given to other images
// of this run) are passed over. `name` is empty when no name was found.
struct copy_plan {
    std::string name;
    bool reuse = false;
};
copy_plan plan_copy(const std::string& out_dir, const std::string& wanted, const std::string& source,
                    const std::set<std::string>& taken);

// Writes the bytes of `source` to a temporary for `target` (open_output)
// and finishes it. False, with `out.error` set, when the source could not
// be read or the temporary not written; the temporary is then removed.
bool write_image_copy(output_file& out, const std::string& source, const std::string& target);

}  // namespace tessvert
