// The command line: options, their defaults, banner and usage text.
#pragma once

#include <cstdint>
#include <string>

namespace tessvert {

struct run_options {
    std::string input_path = "model.3ds";
    std::string scene_path = "model.vrx";
    std::string include_path = "model.inc";
    std::string base_name = "model";
    std::int32_t camera_select = 0;  // index into the scene's cameras
    std::int32_t triangle_mode = 0;  // 1: flat triangles, no normals
    std::int32_t input_given = 0;    // how many -i options were seen
};

enum class parse_result { run, usage };

// Applies the arguments after the program's name, left to right. Returns
// `usage` for no arguments, a help option, an unrecognised option or an
// option missing its value; parsing stops there.
parse_result parse_command_line(int argc, const char* const* argv, run_options& options);

// The -c value: leading white space, an optional sign, then decimal digits
// up to the first non-digit (none gives 0); saturated to the 32-bit range,
// then 1 added, still saturated.
std::int32_t camera_select_from_text(const char* text);

void print_banner();
void print_usage();

}  // namespace tessvert
