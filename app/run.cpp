#include "app/run.hpp"

#include <cstdio>
#include <filesystem>
#include <new>
#include <string>

#include <unistd.h>

#include "app/batch.hpp"
#include "app/convert.hpp"
#include "app/options.hpp"
#include "app/progress.hpp"
#include "app/runtime/signals.hpp"
#include "app/runtime/workers.hpp"

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
reporter console_reporter(bool quiet, console_output& out) {
    return reporter{[quiet, &out](message_kind kind, std::string_view text) {
        if (!quiet || kind == message_kind::warning || kind == message_kind::error) print_message(out, text);
    }};
}

// Whether a progress line may be shown: on a terminal, and not to a quiet
// run. A log or a pipe gets exactly the messages.
bool progress_wanted(const run_options& options) {
    return !options.quiet && ::isatty(STDOUT_FILENO) == 1;
}

void report_statistics(reporter& console, const run_options& o, const scene& s, const conversion_result& result) {
    std::string text =
        "\n Scene statistics for " + o.input_path + "\n    Number of cameras:\t\t" + std::to_string(s.camera_count()) +
        "\n    Number of lights:\t\t" + std::to_string(s.light_count()) + "\n    Number of materials:\t" +
        std::to_string(s.material_count()) + "\n    Number of objects:\t\t" + std::to_string(s.object_count()) +
        "\n    Number of faces:\t\t" + std::to_string(result.written_faces) + "\n";
    if (result.maps_resolved)
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

// Inputs that one conversion leaves unread, said once: several -i (only
// the last is read), more files after -i (as from -i *.3ds), or a word
// meant as the output name (-o forgotten).
void report_unread_inputs(reporter& console, const run_options& options) {
    const auto quoted_arg = [](const std::string& arg) {
        std::string q = "\"";
        q += printable(arg);
        q += '"';
        return q;
    };
    const std::string batch = "; --batch OUTDIR converts every file given";
    if (options.input_given > 1) {
        report_warning(console, "-i was given " + std::to_string(options.input_given) + " times: only the last, " +
                                    printable(options.input_path) + ", is read" + batch);
        return;
    }
    if (options.bare_arguments.empty()) return;
    const std::string& arg = options.bare_arguments.front();
    std::error_code ec;
    if (!arg.empty() && std::filesystem::exists(arg, ec) && !std::filesystem::is_directory(arg, ec)) {
        report_warning(console, quoted_arg(arg) + " is not read: one file is converted at a time" + batch);
    } else if (!options.output_given) {
        report_warning(console, quoted_arg(arg) +
                                    " is not read; an output name is given with -o, as in: "
                                    "tessvert -i " +
                                    printable(options.input_path) + " -o " + printable(arg));
    } else {
        report_warning(console, quoted_arg(arg) + " is not read");
    }
}

// How a run ended, before it is told as an exit status.
enum class outcome { complete, failed, usage, no_input };

// The exit status of an outcome: 1 complete, 0 failed or no input, -1
// wrong usage; with --posix-exit 0 complete, 1 failed, 2 wrong usage or no
// input.
int exit_status(outcome o, bool posix) {
    switch (o) {
    case outcome::complete:
        return posix ? 0 : 1;
    case outcome::failed:
        return posix ? 1 : 0;
    case outcome::usage:
        return posix ? 2 : -1;
    case outcome::no_input:
        return posix ? 2 : 0;
    }
    return 0;
}

// One file, as the options name it.
outcome run_one_file(const run_options& options, reporter& console, console_output& out) {
    if (options.input_given == 0) {
        report_bare_input(console, options);
        report(console, message_kind::error, "\n No input file specified.\n");
        return outcome::no_input;
    }
    report_unread_inputs(console, options);
    // -o dir/ names a folder: made when missing, as --batch makes its own.
    if (options.output_value.ends_with('/') && !make_output_folder(options.output_value, console))
        return outcome::failed;
    if (!outputs_may_be_written(options, console)) return outcome::failed;
    scene s = init_scene();
    run_progress progress;
    progress_display display;
    if (progress_wanted(options)) start_progress(display, out, progress);
    const conversion_result result = convert(options, s, console, {.progress = &progress});
    stop_progress(display, out);
    if (!result.loaded) return outcome::failed;
    const bool drew_nothing = report_nothing_drawn(result, console);
    report_statistics(console, options, s, result);
    // With --posix-exit a run that drew nothing is no complete run.
    return result.exit_code == 1 && !(drew_nothing && options.posix_exit) ? outcome::complete : outcome::failed;
}

outcome run_parsed(parse_result parsed, const run_options& options, const std::string& problem, reporter& console,
                   console_output& out) {
    if (parsed == parse_result::usage) {
        if (!problem.empty()) report_warning(console, problem);
        report(console, message_kind::error, usage_text());
        return outcome::usage;
    }
    if (options.batch) {
        std::string why;
        switch (run_batch(options, console, out, progress_wanted(options), why)) {
        case batch_end::all_converted:
            return outcome::complete;
        case batch_end::some_failed:
            return outcome::failed;
        case batch_end::wrong_usage:
            report_warning(console, why);
            report(console, message_kind::error, usage_text());
            return outcome::usage;
        }
    }
    try {
        return run_one_file(options, console, out);
    } catch (const std::bad_alloc&) {
        // Out of memory anywhere (a memory limit, ulimit -v): the outputs'
        // temporary files are already removed by the unwinding; nothing was
        // converted, and the console says why.
        report_warning(console, "the conversion ran out of memory; nothing was converted");
        report(console, message_kind::error, " An error occured\n");
        return outcome::failed;
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
    console_output out;
    reporter console = console_reporter(options.quiet, out);
    report(console, message_kind::progress, banner_text());
    return exit_status(run_parsed(parsed, options, problem, console, out), options.posix_exit);
}

}  // namespace tessvert
