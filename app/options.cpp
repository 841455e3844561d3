#include "app/options.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

#include "writers/common/map_images.hpp"

namespace tessvert {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class option_id {
    help,
    version,
    camera,
    triangle,
    input,
    output,
    materials,
    smoothing,
    frame,
    headlight,
    instances,
    faithful,
    threads,
    crease,
    format,
    quiet,
    batch,
    posix_exit,
    lights,
    up,
    view,
    placement,
    maps,
    file_view
};

struct option_spec {
    option_id id;
    const char* short_form;  // empty when the option has none
    const char* long_form;
    const char* value;  // what its value is, for messages; null for a flag
};

// In the order of the usage text, which breaks ties between suggestions.
constexpr std::array<option_spec, 24> options_table{{
    {option_id::input, "-i", "--input", "the 3DS file"},
    {option_id::output, "-o", "--output", "the output name"},
    {option_id::camera, "-c", "--camera", "a camera number"},
    {option_id::triangle, "-t", "--triangle", nullptr},
    {option_id::help, "-?", "--help", nullptr},
    {option_id::materials, "", "--materials", nullptr},
    {option_id::smoothing, "", "--smoothing", nullptr},
    {option_id::frame, "", "--frame", nullptr},
    {option_id::headlight, "", "--headlight", nullptr},
    {option_id::instances, "", "--instances", nullptr},
    {option_id::faithful, "", "--faithful", nullptr},
    {option_id::threads, "", "--threads", "a thread count"},
    {option_id::crease, "", "--crease", "an angle in degrees"},
    {option_id::lights, "", "--lights", "file, studio or both"},
    {option_id::up, "", "--up", "an axis"},
    {option_id::view, "", "--view", "a side to look from"},
    {option_id::placement, "", "--placement", "mesh or keyframer"},
    {option_id::maps, "", "--maps", "a folder of map images"},
    {option_id::file_view, "", "--file-view", nullptr},
    {option_id::format, "", "--format", "an output language"},
    {option_id::quiet, "-q", "--quiet", nullptr},
    {option_id::batch, "", "--batch", "the output folder"},
    {option_id::posix_exit, "", "--posix-exit", nullptr},
    {option_id::version, "", "--version", nullptr},
}};

const option_spec* find_option(std::string_view arg) {
    for (const option_spec& o : options_table)
        if (arg == o.short_form || arg == o.long_form) return &o;
    return nullptr;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known long spelling nearest to `arg` within an edit distance of 2,
// first in usage order on ties; an abbreviation ("--tri") is measured
// against the start of each spelling. Empty when none is that near.
std::string nearest_long_option(std::string_view arg) {
    constexpr std::size_t max_distance = 2;
    std::size_t best = max_distance + 1;
    std::string found;
    for (const option_spec& o : options_table) {
        const std::string_view spelling = o.long_form;
        std::size_t d = edit_distance(arg, spelling);
        // Too short an abbreviation matches everything.
        if (arg.size() >= 5 && arg.size() < spelling.size())
            d = std::min(d, edit_distance(arg, spelling.substr(0, arg.size())));
        if (d < best) {
            best = d;
            found = spelling;
        }
    }
    return found;
}

// The languages' names, `between` between them.
std::string language_names(std::string_view between) {
    std::string names;
    for (const output_language* l : output_languages()) {
        if (!names.empty()) names += between;
        names += l->name;
    }
    return names;
}

// The options added to the original set, one line each after the usage
// text, their descriptions in the same column as the others.
std::string added_options_text() {
    constexpr std::pair<const char*, const char*> lines[] = {
        {"--materials", "colour each face in the material its material group names"},
        {"--smoothing", "normals that follow the file's smoothing groups (hard edges)"},
        {"--frame", "frame the whole scene in view when the file has no camera"},
        {"--headlight", "a white light at the eye when the scene has no light"},
        {"--instances", "each mesh also where the keyframer shows it again"},
        {"--faithful", "all five above: the scene as the file holds it"},
        {"--crease DEG", "keep edges hard where faces meet at more than DEG degrees"},
        {"--lights L", "file (default), studio or both: the file's lights, a rig, or both"},
        {"--up AXIS", "the axis up in the model: z (default), y, x, -z, -y or -x"},
        {"--view SIDE", "frame the first view from iso, front, back, left, right, top, bottom"},
        {"--placement P", "mesh (default) or keyframer: where each mesh stands"},
        {"--maps DIR", "look for map images in DIR and its subfolders too (repeatable)"},
        {"--file-view", "no framing, headlight or copies that the format adds by itself"},
        {"--threads N", "worker threads, 1 to 256 (default: the CPUs this run may use)"},
        {"--quiet, -q", "print only warnings and errors"},
        {"--batch OUTDIR", "convert every file (or folder of .3ds files) given into OUTDIR"},
        {"--posix-exit", "exit status 0 when converted, 1 when not, 2 after wrong usage"},
        {"--version", "print the version and stop"},
    };
    std::string text;
    const auto add_line = [&](std::string line, std::string_view description) {
        line.resize(25, ' ');
        text += line;
        text += description;
        text += "\n";
    };
    for (const auto& [spelling, description] : lines) {
        add_line("  " + std::string(spelling), description);
        // --format, and a line for each language it takes, in their place.
        if (std::string_view(spelling) != "--threads N") continue;
        add_line("  --format F", "the output language: " + language_names(", "));
        for (const output_language* l : output_languages()) add_line("    " + std::string(l->name), l->summary);
    }
    return text;
}

std::string in_quotes(std::string_view text) {
    std::string q(1, '"');
    q.append(text);
    q += '"';
    return q;
}

// Why an argument that begins with "-" is not an option.
std::string unknown_option_problem(std::string_view arg) {
    const std::size_t equals = arg.find('=');
    if (equals != std::string_view::npos) {
        const option_spec* o = find_option(arg.substr(0, equals));
        if (o != nullptr && o->value != nullptr)
            return in_quotes(arg) + " is not an option: an option and its value are two arguments; write " +
                   std::string(arg.substr(0, equals)) + " " + std::string(arg.substr(equals + 1));
    }
    std::string problem = in_quotes(arg) + " is not an option";
    const std::string nearest = nearest_long_option(arg.substr(0, equals));
    if (!nearest.empty()) problem += "; did you mean " + nearest + "?";
    return problem;
}

// --threads takes a whole number from 1 to 256.
bool parse_thread_count(const std::string& text, std::int32_t& threads) {
    if (!is_whole_number(text) || text[0] == '-') return false;
    std::int64_t value = 0;
    for (char c : text) {
        if (c == '+') continue;
        value = value * 10 + (c - '0');
        if (value > max_threads) return false;
    }
    if (value < 1) return false;
    threads = static_cast<std::int32_t>(value);
    return true;
}

// The value among `names` (in the order of `values`); false when it is
// none of them.
template <typename Value, std::size_t N>
bool parse_word(const std::string& text, const std::array<std::pair<const char*, Value>, N>& words, Value& value) {
    for (const auto& [name, meaning] : words)
        if (text == name) {
            value = meaning;
            return true;
        }
    return false;
}

// The words of an option, for its message: "a, b or c".
template <typename Value, std::size_t N>
std::string word_list(const std::array<std::pair<const char*, Value>, N>& words) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i)
        list += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(words[i].first);
    return list;
}

constexpr std::array<std::pair<const char*, light_choice>, 3> light_words{
    {{"file", light_choice::file}, {"studio", light_choice::studio}, {"both", light_choice::both}}};
constexpr std::array<std::pair<const char*, up_axis>, 6> up_words{{{"z", up_axis::z},
                                                                   {"y", up_axis::y},
                                                                   {"x", up_axis::x},
                                                                   {"-z", up_axis::minus_z},
                                                                   {"-y", up_axis::minus_y},
                                                                   {"-x", up_axis::minus_x}}};
constexpr std::array<std::pair<const char*, view_direction>, 7> view_words{{{"iso", view_direction::iso},
                                                                            {"front", view_direction::front},
                                                                            {"back", view_direction::back},
                                                                            {"left", view_direction::left},
                                                                            {"right", view_direction::right},
                                                                            {"top", view_direction::top},
                                                                            {"bottom", view_direction::bottom}}};
constexpr std::array<std::pair<const char*, bool>, 2> placement_words{{{"mesh", false}, {"keyframer", true}}};

// Applies one of the options of what the picture shows; returns why its
// value is wrong, or nothing.
std::string apply_picture_option(option_id id, std::string_view arg, std::string value, run_options& options) {
    const auto refused = [&](const std::string& words) {
        return std::string(arg) + " takes " + words + ", not " + in_quotes(value);
    };
    switch (id) {
    case option_id::lights:
        if (!parse_word(value, light_words, options.lights)) return refused(word_list(light_words));
        break;
    case option_id::up:
        if (!parse_word(value, up_words, options.up)) return refused(word_list(up_words));
        break;
    case option_id::view: {
        view_direction side{};
        if (!parse_word(value, view_words, side)) return refused(word_list(view_words));
        options.view = side;
        break;
    }
    case option_id::placement:
        if (!parse_word(value, placement_words, options.keyframer_placement))
            return refused(word_list(placement_words));
        break;
    case option_id::maps:
        options.map_folders.push_back(std::move(value));
        break;
    case option_id::file_view:
        options.file_view = true;
        break;
    default:
        break;
    }
    return {};
}

// --crease takes a number of degrees from 0 to 180, such as 45 or 30.5.
bool parse_crease_angle(const std::string& text, double& degrees) {
    // Digits and one point only: strtod alone would take "0x2d", "1e1" and
    // leading white space too.
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end != begin + text.size() || !(value >= 0.0 && value <= 180.0)) return false;
    degrees = value;
    return true;
}

// Whether --posix-exit stands anywhere on the command line as an option
// (not as another option's value): the exit status of wrong usage depends
// on it, wherever the parsing stops.
bool posix_exit_asked(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const option_spec* o = find_option(argv[i]);
        if (o == nullptr) continue;
        if (o->id == option_id::posix_exit) return true;
        if (o->value != nullptr) ++i;
    }
    return false;
}

}  // namespace

bool is_whole_number(const std::string& text) {
    std::size_t i = text.size() > 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

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

// Sets what option `id`, spelt `arg`, with `value` (empty for an option
// without one) asks for; why the value is wrong usage, or empty.
std::string apply_option(option_id id, const char* arg, std::string value, run_options& options) {
    switch (id) {
    case option_id::help:
    case option_id::version:
        break;  // the caller's
    case option_id::triangle:
        options.triangle_mode = 1;
        break;
    case option_id::camera:
        options.camera_select = camera_select_from_text(value.c_str());
        options.camera_text_whole = is_whole_number(value);
        options.camera_text = std::move(value);
        break;
    case option_id::input:
        options.input_path = value;
        options.inputs.push_back(std::move(value));
        ++options.input_given;
        break;
    case option_id::output:
        options.output_value = std::move(value);
        options.output_given = true;
        break;
    case option_id::materials:
        options.materials = true;
        break;
    case option_id::smoothing:
        options.smoothing = true;
        break;
    case option_id::frame:
        options.frame = true;
        break;
    case option_id::headlight:
        options.headlight = true;
        break;
    case option_id::instances:
        options.instances = true;
        break;
    case option_id::faithful:
        options.materials = options.smoothing = options.frame = options.headlight = options.instances = true;
        break;
    case option_id::threads:
        if (!parse_thread_count(value, options.threads))
            return std::string(arg) + " takes a whole number from 1 to " + std::to_string(max_threads) + ", not " +
                   in_quotes(value);
        break;
    case option_id::crease:
        if (!parse_crease_angle(value, options.crease))
            return std::string(arg) + " takes an angle in degrees from 0 to 180, not " + in_quotes(value);
        break;
    case option_id::format:
        options.language = find_language(value);
        if (options.language == nullptr)
            return std::string(arg) + " takes " + language_names(" or ") + ", not " + in_quotes(value);
        break;
    case option_id::quiet:
        options.quiet = true;
        break;
    case option_id::batch:
        options.batch_folder = std::move(value);
        options.batch = true;
        break;
    case option_id::posix_exit:
        options.posix_exit = true;
        break;
    case option_id::lights:
    case option_id::up:
    case option_id::view:
    case option_id::placement:
    case option_id::maps:
    case option_id::file_view:
        return apply_picture_option(id, arg, std::move(value), options);
    }
    return {};
}

parse_result parse_command_line(int argc, const char* const* argv, run_options& options, std::string* problem) {
    auto wrong = [problem](std::string why) {
        if (problem != nullptr) *problem = std::move(why);
        return parse_result::usage;
    };
    options.input_given = 0;
    options.posix_exit = posix_exit_asked(argc, argv);
    if (argc < 2) return parse_result::usage;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "/?") == 0) return parse_result::usage;
        if (arg[0] != '-') {  // bare words and empty arguments are ignored (but by a batch)
            options.bare_arguments.emplace_back(arg);
            options.inputs.emplace_back(arg);
            continue;
        }
        const option_spec* o = find_option(arg);
        if (o == nullptr) return wrong(unknown_option_problem(arg));
        std::string value;
        if (o->value != nullptr) {
            if (i + 1 >= argc) return wrong(std::string(arg) + " needs a value (" + o->value + ") after it");
            value = argv[++i];
        }
        if (o->id == option_id::help) return parse_result::usage;
        if (o->id == option_id::version) return parse_result::version;
        if (std::string why = apply_option(o->id, arg, std::move(value), options); !why.empty())
            return wrong(std::move(why));
    }
    // After all options: a folder given with -o takes its name from the
    // input, wherever -i stands.
    set_output_base(
        options, options.output_given ? output_base_for(options.output_value, options.input_path) : options.base_name);
    return parse_result::run;
}

std::string output_base_for(const std::string& output_value, const std::string& input_path) {
    if (output_value.empty() || output_value.back() != '/') return output_value;
    return output_value + std::filesystem::path(input_path).stem().string();
}

void set_output_base(run_options& options, std::string base) {
    options.base_name = std::move(base);
    options.scene_path = options.base_name + std::string(options.language->scene_extension);
    options.include_path = options.base_name + std::string(options.language->mesh_extension);
    // A scene that names its mesh file by its file name has it in its own
    // folder, also when the scene file is a link into another.
    if (options.language->mesh_beside_scene)
        options.include_path = mesh_file_beside(options.scene_path, options.include_path);
}

std::string manual_languages() {
    std::string text = ".RS\n";
    for (const output_language* l : output_languages()) {
        text += ".TP\n.B " + std::string(l->name) + "\n";
        text += l->manual;
    }
    return text + ".RE\n";
}

std::string banner_text() {
    return "\n TESSVERT v0.1 beta 3 (win32-intel) - a 3DS to ray tracer scene converter by the tessvert developers\n";
}

std::string usage_text() {
    return std::string(
               "\n Usage: tessvert [options]\n\n"
               " Example: tessvert -i car.3ds -o cartest\n\n"
               " Options:\n"
               "  -i/--input    string   specify the file to open\n"
               "  -o/--output   string   specify the output file (no extension)\n"
               "  -c/--camera   int      specify the initial camera to use\n"
               "  -t/--triangle          triangles as output (default is patches)\n"
               "  -?/--help              this help message\n\n"
               " Report bugs to:         bugs@tessvert.invalid\n"
               " Send suggestions to:    ideas@tessvert.invalid\n") +
           added_options_text();
}

}  // namespace tessvert
