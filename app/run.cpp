#include "app/run.hpp"

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/convert.hpp"
#include "app/options.hpp"
#include "app/runtime/signals.hpp"
#include "app/runtime/workers.hpp"
#include "writers/live_temporaries.hpp"

#ifndef TESSVERT_VERSION
#define TESSVERT_VERSION "0.0.0"
#endif

namespace tessvert {

namespace {

void print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The console: every message is printed as it arrives, but a quiet run
// shows only warnings and errors.
reporter console_reporter(bool quiet) {
    return reporter{[quiet](message_kind kind, std::string_view text) {
        if (!quiet || kind == message_kind::warning || kind == message_kind::error) print(text);
    }};
}

void report_statistics(reporter& console, const run_options& o, const scene& s, const conversion_result& result) {
    std::string text =
        "\n Scene statistics for " + o.input_path + "\n    Number of cameras:\t\t" + std::to_string(s.camera_count()) +
        "\n    Number of lights:\t\t" + std::to_string(s.light_count()) + "\n    Number of materials:\t" +
        std::to_string(s.material_count()) + "\n    Number of objects:\t\t" + std::to_string(s.object_count()) +
        "\n    Number of faces:\t\t" + std::to_string(result.written_faces) + "\n";
    if (o.format == output_format::pov)
        text += "    Number of texture maps:\t" + std::to_string(result.maps_written) +
                "\n    Number of missing maps:\t" + std::to_string(result.maps_missing) + "\n";
    report(console, message_kind::progress, text);
}

// A bare argument that names a file was most likely meant as the input.
void report_bare_input(reporter& console, const run_options& options) {
    for (const std::string& arg : options.bare_arguments) {
        std::error_code ec;
        if (arg.empty() || !std::filesystem::exists(arg, ec) || std::filesystem::is_directory(arg, ec)) continue;
        report_warning(console, "\"" + arg + "\" is not read: give the input file with -i, as in: tessvert -i " + arg);
        return;
    }
}

}  // namespace

int run(int argc, const char* const* argv) {
    // Every line reaches a log file as soon as it is printed, so a log of an
    // interrupted run holds everything said up to then.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    install_signal_handlers();
    limit_thread_memory();

    run_options options;
    std::string problem;
    const parse_result parsed = parse_command_line(argc, argv, options, &problem);
    if (parsed == parse_result::version) {
        print("tessvert " TESSVERT_VERSION "\n");
        return 0;
    }
    reporter console = console_reporter(options.quiet);
    report(console, message_kind::progress, banner_text());
    if (parsed == parse_result::usage) {
        if (!problem.empty()) report_warning(console, problem);
        report(console, message_kind::error, usage_text());
        return -1;
    }
    if (options.input_given == 0) {
        report_bare_input(console, options);
        report(console, message_kind::error, "\n No input file specified.\n");
        return 0;
    }

    if (!outputs_may_be_written(options, console)) return 0;

    scene s = init_scene();
    const conversion_result result = convert(options, s, console);
    if (!result.loaded) return 0;
    report_statistics(console, options, s, result);
    return result.exit_code;
}

}  // namespace tessvert
