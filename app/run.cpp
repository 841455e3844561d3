#include "app/run.hpp"

#include <cstdio>
#include <string>

#include "app/convert.hpp"
#include "app/options.hpp"

namespace tessvert {

namespace {

void print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The console: every message of the conversion is printed as it arrives.
reporter console_reporter() {
    return reporter{[](message_kind, std::string_view text) { print(text); }};
}

void print_statistics(const run_options& o, const scene& s, std::int32_t written_faces) {
    print("\n Scene statistics for " + o.input_path + "\n");
    print("    Number of cameras:\t\t" + std::to_string(s.camera_count) + "\n");
    print("    Number of lights:\t\t" + std::to_string(s.light_count) + "\n");
    print("    Number of materials:\t" + std::to_string(s.material_count) + "\n");
    print("    Number of objects:\t\t" + std::to_string(s.object_count) + "\n");
    print("    Number of faces:\t\t" + std::to_string(written_faces) + "\n");
}

}  // namespace

int run(int argc, const char* const* argv) {
    run_options options;
    print_banner();
    if (parse_command_line(argc, argv, options) == parse_result::usage) {
        print_usage();
        return -1;
    }
    if (options.input_given == 0) {
        print("\n No input file specified.\n");
        return 0;
    }

    reporter console = console_reporter();
    scene s = init_scene();
    const conversion_result result = convert(options, s, console);
    if (!result.loaded) return 0;
    print_statistics(options, s, result.written_faces);
    return result.exit_code;
}

}  // namespace tessvert
