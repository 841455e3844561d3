#include "app/options.hpp"

#include <cstdio>
#include <cstring>
#include <limits>

namespace tessvert {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t camera_select_from_text(const char* text) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    const char* p = text;
    while (is_space(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > hi + 1) magnitude = hi + 1;  // saturate; keeps the product in range
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > hi) value = hi;
    if (value < lo) value = lo;
    value += 1;
    return static_cast<std::int32_t>(value > hi ? hi : value);
}

parse_result parse_command_line(int argc, const char* const* argv, run_options& options) {
    options.input_given = 0;
    if (argc < 2) return parse_result::usage;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "/?") == 0) return parse_result::usage;
        if (arg[0] != '-') continue;  // bare words and empty arguments are ignored

        auto is = [arg](const char* short_form, const char* long_form) {
            return std::strcmp(arg, short_form) == 0 || std::strcmp(arg, long_form) == 0;
        };
        if (is("-?", "--help")) return parse_result::usage;
        if (is("-t", "--triangle")) {
            options.triangle_mode = 1;
            continue;
        }
        bool camera = is("-c", "--camera");
        bool input = is("-i", "--input");
        bool output = is("-o", "--output");
        if (!camera && !input && !output) return parse_result::usage;
        if (i + 1 >= argc) return parse_result::usage;  // option without its value
        const char* value = argv[++i];
        if (camera) {
            options.camera_select = camera_select_from_text(value);
        } else if (input) {
            options.input_path = value;
            ++options.input_given;
        } else {
            options.base_name = value;
            options.scene_path = options.base_name + ".vrx";
            options.include_path = options.base_name + ".inc";
        }
    }
    return parse_result::run;
}

void print_banner() {
    std::fputs(
        "\n TESSVERT v0.1 beta 3 (win32-intel) - a 3DS to ray tracer scene converter by the tessvert developers\n",
        stdout);
}

void print_usage() {
    std::fputs(
        "\n Usage: tessvert [options]\n\n"
        " Example: tessvert -i car.3ds -o cartest\n\n"
        " Options:\n"
        "  -i/--input    string   specify the file to open\n"
        "  -o/--output   string   specify the output file (no extension)\n"
        "  -c/--camera   int      specify the initial camera to use\n"
        "  -t/--triangle          triangles as output (default is patches)\n"
        "  -?/--help              this help message\n\n"
        " Report bugs to:         bugs@tessvert.invalid\n"
        " Send suggestions to:    ideas@tessvert.invalid\n",
        stdout);
}

}  // namespace tessvert
