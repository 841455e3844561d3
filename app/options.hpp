// The command line: options, their defaults, banner and usage text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "writers/languages.hpp"

namespace tessvert {

struct run_options {
    std::string input_path = "model.3ds";
    // The output names: the base name, then each with its file's extension
    // in the output language (set_output_base).
    std::string scene_path = "model" + std::string(default_language().scene_extension);
    std::string include_path = "model" + std::string(default_language().mesh_extension);
    std::string base_name = "model";
    std::int32_t camera_select = 0;  // index into the scene's cameras
    std::int32_t triangle_mode = 0;  // 1: flat triangles, no normals
    std::int32_t input_given = 0;    // how many -i options were seen

    // The last -o value as given; output_given is false when there was none.
    // A value that ends in '/' names a folder (see output_base_for).
    std::string output_value;
    bool output_given = false;

    // The last -c value as given, and whether it was a whole number (an
    // optional sign and digits, nothing else); empty when there was no -c.
    std::string camera_text;
    bool camera_text_whole = true;

    // Arguments that are not options (and not option values), in order.
    std::vector<std::string> bare_arguments;

    // Opt-in views of the scene as the file holds it.
    bool materials = false;  // per-face colours from the material groups
    bool smoothing = false;  // normals that follow the smoothing groups
    bool frame = false;      // a camera-less scene framed in the initial view
    bool headlight = false;  // a white light at the eye when there is none
    bool instances = false;  // the keyframer's further copies of meshes

    // What the picture shows: the lights (--lights), the axis up in the
    // model (--up), the side the initial view is framed from (--view), the
    // keyframer's placement of each mesh (--placement keyframer), folders
    // to look for map images in (--maps), and none of the framing,
    // headlight and copies that the language would add (--file-view).
    light_choice lights = light_choice::file;
    up_axis up = up_axis::z;
    std::optional<view_direction> view;
    bool keyframer_placement = false;
    std::vector<std::string> map_folders;
    bool file_view = false;

    // Edges where faces meet at more than this many degrees stay hard
    // (--crease, 0 to 180); negative: no crease angle.
    double crease = -1.0;

    // The output language (--format); its extensions end the output names.
    const output_language* language = &default_language();

    // --batch: every input converted into this folder.
    bool batch = false;
    std::string batch_folder;
    // The -i values and the bare arguments, in order: the inputs of a batch.
    std::vector<std::string> inputs;

    bool posix_exit = false;  // exit status 0, 1 or 2 as POSIX tools give it

    bool quiet = false;        // only warnings and errors on the console
    std::int32_t threads = 0;  // worker threads; 0: the CPUs the process may use
};

inline constexpr std::int32_t max_threads = 256;

enum class parse_result { run, usage, version };

// Applies the arguments after the program's name, left to right. Returns
// `usage` for no arguments, a help option, an unrecognised option, an option
// missing its value or a --threads value out of range, and `version` for
// --version; parsing stops there. For wrong usage, `problem` receives a
// sentence that names the argument and what is wrong with it.
// --posix-exit is looked for on the whole command line first, so that it
// applies to the exit status of wrong usage wherever it stands.
parse_result parse_command_line(int argc, const char* const* argv, run_options& options,
                                std::string* problem = nullptr);

// The -c value: leading white space, an optional sign, then decimal digits
// up to the first non-digit (none gives 0); saturated to the 32-bit range,
// then 1 added, still saturated.
std::int32_t camera_select_from_text(const char* text);

// Whether `text` is a whole number: an optional sign and at least one
// digit, and nothing else.
bool is_whole_number(const std::string& text);

// The base name an -o value gives for `input_path`: the value as it
// stands, or, when it ends in '/', the input's file name without its
// extension in that folder ("out/" and "dir/car.3ds" give "out/car").
std::string output_base_for(const std::string& output_value, const std::string& input_path);

// Sets the base name and, from it, the names of both output files: the base
// name followed by the language's extension of each (for a language whose
// scene file names its mesh file by file name, the mesh file goes where the
// scene file really lies, when that is a link into another folder). Every
// output name is made here.
void set_output_base(run_options& options, std::string base);

std::string banner_text();

// The man page's list of output languages, in roff: one tagged paragraph
// for each row of the table, in its order.
std::string manual_languages();
std::string usage_text();

}  // namespace tessvert
