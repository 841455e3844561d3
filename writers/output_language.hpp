// An output language: what sets it apart from the others, as one row of
// the table of languages (writers/languages.hpp), and what writes one
// scene's files in it. Each language lives in a folder of its own under
// writers/ and only spells the scene as drawn; the run opens, writes and
// puts in place the files of every language alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "drawing/draw.hpp"
#include "drawing/drawn_scene.hpp"
#include "writers/common/output_file.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

// The names of one scene's files in a language.
struct output_names {
    std::string base_name;   // the output name without extension, as given
    std::string scene_path;  // the base name and the scene file's extension
    std::string mesh_path;   // the base name and the mesh file's extension
};

// One scene's files in a language, made ready from the scene as drawn.
struct language_writer {
    virtual ~language_writer() = default;
    // Writes the scene file's text into `out`, which the caller opened and
    // commits.
    virtual void write_scene(output_file& out) = 0;
    // Cuts the mesh file into parts for `threads` threads (the caller's
    // included) and returns how many there are; every part is then made
    // with format_mesh_part, in any order, on any of those threads.
    virtual std::size_t cut_mesh(std::size_t threads) = 0;
    // Appends the text of part `part` to `text`, on the thread numbered
    // `thread` (0 to threads - 1, each thread calling with one number).
    virtual void format_mesh_part(std::size_t part, std::size_t thread, text_block& text) = 0;
    // The faces that part `part` draws, for the progress.
    virtual std::uint64_t mesh_part_faces(std::size_t part) const = 0;
};

// What a language turns on of the choices the command line offers. The
// last three are the view of a first picture; --file-view leaves them off.
struct implied_choices {
    bool materials = false;  // each face in its own material
    bool smoothing = false;  // normals that follow the smoothing groups
    bool frame = false;      // a file without cameras seen whole
    bool headlight = false;  // a light at the eye when the scene has none
    bool instances = false;  // the keyframer's copies of meshes
};

struct output_language {
    std::string_view name;             // as --format takes it
    std::string_view summary;          // what the usage text says of it
    std::string_view manual;           // what the man page says of it, in roff
    std::string_view scene_extension;  // of the scene file, after the base name
    std::string_view mesh_extension;   // of the mesh file
    implied_choices implies;
    language_abilities abilities;  // what the drawing follows
    // The files of a scene are put in place together or not at all; else
    // each is put in place when it is complete, whatever became of the
    // other.
    bool all_or_nothing = false;
    // The mesh file is written before the scene file (a scene file that
    // says how long the meshes are).
    bool mesh_first = false;
    // The scene file names its mesh file (and image copies) by file name
    // alone: they go to the folder the scene file really lands in, also
    // when its name is a symbolic link into another folder.
    bool mesh_beside_scene = false;
    // Why files of the base name `base_name` cannot be written in this
    // language (a sentence for a warning), or empty when they can.
    std::string (*output_name_problem)(const std::string& base_name) = nullptr;
    // The writer of the scene `d` under the names `names`.
    std::unique_ptr<language_writer> (*prepare)(const drawn_scene& d, const output_names& names) = nullptr;
};

}  // namespace tessvert
