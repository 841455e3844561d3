// The image files that texture maps name: found beside the 3DS file the way
// users store them, and copied beside the output so that the scene reads
// them from its own folder. A copy follows the rules of the output files:
// it is written to a temporary, put in place together with the outputs, and
// never replaces a different file.
//
// Only regular files are read, reached without following a symbolic link
// and without leaving the 3DS file's folder: a map name never reads a file
// that a link planted beside the input points to. A copy is never more
// readable than the image it copies.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "writers/common/output_file.hpp"

namespace tessvert {

// Whether two names are equal when ASCII letters are compared without
// regard to case, as names of files saved on DOS are.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// The file name part of a map name: what follows its last '/' or '\' (or a
// DOS drive's "C:"), as names saved on other systems carry them.
std::string map_file_part(std::string_view map_name);

// What a map name finds in the folder of the 3DS file.
struct map_image_found {
    // The regular file in that folder whose name equals the map name's file
    // part, compared without regard to ASCII case (an exact match first);
    // else, for a name in DOS's 8.3 form with a stem of 8 characters, the
    // one regular file whose longer name was cut to it ("UVTRANSF.PNG" for
    // "UVTransformTestImg.png"). A symbolic link is no regular file here.
    // Empty when there is none.
    std::string path;
    // When there is none: an entry of that name that is not a regular file
    // (exact match first), and what it is ("a directory", "a symbolic
    // link", "a FIFO", ...); empty when there is none either.
    std::string other;
    std::string_view other_kind;
};
map_image_found find_map_image(const std::string& input_path, std::string_view map_name);

// The folder of `path` ("." for a bare name), for names relative to it.
std::string folder_of(const std::string& path);

// An image file opened for reading: its descriptor, size and permission
// bits. Closed when it goes.
struct image_source {
    int fd = -1;
    std::uint64_t size = 0;
    mode_t mode = 0;

    image_source() = default;
    image_source(const image_source&) = delete;
    image_source& operator=(const image_source&) = delete;
    ~image_source();
};

// Opens the regular file `path` for reading without following a symbolic
// link at its last step and without waiting for a FIFO's writer. False,
// with `error` set to the system's reason, when it cannot be opened or is
// not a regular file.
bool open_image_source(image_source& source, const std::string& path, int& error);

// The image format its content says (image_types.hpp); empty when it holds
// none, or when it cannot be read (`error` is then the system's reason).
// Reads its first bytes only.
std::string_view image_source_format(const image_source& source, int& error);

// The names copies take while they are being written, shared by the
// conversions of one run: two conversions that write into one folder at
// once never choose one name for two different images.
struct copy_name_claims {
    std::mutex mutex;
    std::set<std::string> paths;
};

// A name claimed for a copy; given up when it goes.
struct copy_name_claim {
    copy_name_claims* claims = nullptr;
    std::string path;

    copy_name_claim() = default;
    copy_name_claim(const copy_name_claim&) = delete;
    copy_name_claim& operator=(const copy_name_claim&) = delete;
    ~copy_name_claim();
};

// A copy being written, and the claim on its name.
struct image_copy {
    output_file file;
    copy_name_claim claim;
};

// Where the copies of a scene's images go: the folder the scene file is
// really written to (its symbolic links followed), under names that begin
// with the scene file's name without its extension and a '-'. A render of
// the scene, STEM.png beside it, can then never take a copy's name.
struct copy_place {
    std::string folder;
    std::string prefix;
    copy_name_claims* claims = nullptr;  // null: no other conversion writes at the same time
};
copy_place copies_beside(const std::string& scene_path, copy_name_claims* claims);

// The name a scene's mesh file is written under, so that it lies beside
// the scene file that includes it by its file name: `include_path`, or,
// when the scene file is a link into another folder, the same file name
// in that folder.
std::string mesh_file_beside(const std::string& scene_path, const std::string& include_path);

// Where the copy of `source` goes in `place.folder`: `wanted` when no file
// has that name there, or the file there holds the same bytes (it is then
// used as it is: `reuse`); otherwise the first free or identical one of
// "stem-2.ext", "stem-3.ext", ... Names in `taken` (given to other images
// of this run) or claimed by another conversion are passed over, and so is
// a name that a scene there ("NAME.pov" for "NAME.png") renders to. A
// name that is not reused is claimed in `claim`. `name` is empty when no
// name was found.
struct copy_plan {
    std::string name;
    bool reuse = false;
};
copy_plan plan_copy(const copy_place& place, const std::string& wanted, const image_source& source,
                    const std::set<std::string>& taken, copy_name_claim& claim);

// Writes the bytes of `source` to a temporary for `target` (open_output),
// no more readable than the source, and finishes it. False, with
// `out.error` set, when the temporary could not be written, or with
// `read_error` set when the source could not be read; the temporary is
// then removed.
bool write_image_copy(output_file& out, const image_source& source, const std::string& target, int& read_error);

}  // namespace tessvert
