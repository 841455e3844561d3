#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "app/runtime/workers.hpp"

using namespace tessvert;

namespace {

struct parsed {
    parse_result result;
    run_options options;
};

parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tessvert");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    parsed p;
    p.result = parse_command_line(static_cast<int>(argv.size()), argv.data(), p.options);
    return p;
}

}  // namespace

TEST(Options, DefaultsWhenOnlyInputIsGiven) {
    parsed p = parse({"-i", "car.3ds"});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.input_path, "car.3ds");
    EXPECT_EQ(p.options.input_given, 1);
    EXPECT_EQ(p.options.scene_path, "model.vrx");
    EXPECT_EQ(p.options.include_path, "model.inc");
    EXPECT_EQ(p.options.base_name, "model");
    EXPECT_EQ(p.options.camera_select, 0);
    EXPECT_EQ(p.options.triangle_mode, 0);
}

TEST(Options, LongAndShortSpellingsSetTheSameFields) {
    for (auto args :
         {std::vector<std::string>{"-i", "a.3ds", "-o", "out/car", "-c", "2", "-t"},
          std::vector<std::string>{"--input", "a.3ds", "--output", "out/car", "--camera", "2", "--triangle"}}) {
        parsed p = parse(args);
        ASSERT_EQ(p.result, parse_result::run);
        EXPECT_EQ(p.options.input_path, "a.3ds");
        EXPECT_EQ(p.options.scene_path, "out/car.vrx");
        EXPECT_EQ(p.options.include_path, "out/car.inc");
        EXPECT_EQ(p.options.base_name, "out/car");
        EXPECT_EQ(p.options.camera_select, 3);
        EXPECT_EQ(p.options.triangle_mode, 1);
    }
}

TEST(Options, OutputValueIsUsedUnaltered) {
    parsed p = parse({"-o", "car.vrx"});
    EXPECT_EQ(p.options.scene_path, "car.vrx.vrx");
    EXPECT_EQ(p.options.include_path, "car.vrx.inc");
    EXPECT_EQ(p.options.base_name, "car.vrx");
}

// The options of what the picture shows take their words, --maps any
// number of folders; another word is wrong usage that names the words.
TEST(Options, PictureOptionsTakeTheirWordsAndNothingElse) {
    parsed p = parse({"-i", "a.3ds", "--lights", "both", "--up", "-y", "--view", "top", "--placement", "keyframer",
                      "--maps", "lib", "--maps", "more", "--file-view"});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.lights, light_choice::both);
    EXPECT_EQ(p.options.up, up_axis::minus_y);
    EXPECT_EQ(p.options.view, view_direction::top);
    EXPECT_TRUE(p.options.keyframer_placement);
    EXPECT_EQ(p.options.map_folders, (std::vector<std::string>{"lib", "more"}));
    EXPECT_TRUE(p.options.file_view);
    const parsed defaults = parse({"-i", "a.3ds"});
    EXPECT_EQ(defaults.options.lights, light_choice::file);
    EXPECT_EQ(defaults.options.up, up_axis::z);
    EXPECT_FALSE(defaults.options.view.has_value());
    EXPECT_FALSE(defaults.options.keyframer_placement);

    for (const auto& [args, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--lights", "sun"}, "--lights takes file, studio or both, not \"sun\""},
             {{"--up", "Y"}, "--up takes z, y, x, -z, -y or -x, not \"Y\""},
             {{"--view", "side"}, "--view takes iso, front, back, left, right, top or bottom, not \"side\""},
             {{"--placement", "node"}, "--placement takes mesh or keyframer, not \"node\""},
             {{"--maps"}, "--maps needs a value (a folder of map images) after it"}}) {
        std::vector<const char*> argv{"tessvert"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        run_options options;
        std::string problem;
        EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), options, &problem),
                  parse_result::usage);
        EXPECT_EQ(problem, why);
    }
}

TEST(Options, UsageCases) {
    const std::vector<std::vector<std::string>> usage_cases = {
        {},  // no arguments at all
        {"-?"},
        {"--help"},
        {"/?"},
        {"-i", "car.3ds", "/?"},
        {"-i", "car.3ds", "-x"},
        {"-i", "car.3ds", "--help"},
        {"-i", "car.3ds", "-I", "car.3ds"},  // case matters
        {"--input=car.3ds"},
        {"-icar.3ds"},
        {"-"},
        {"--"},
        {"--inp", "car.3ds"},  // no abbreviations
        {"-i"},                // value missing
        {"-i", "car.3ds", "-o"},
        {"-i", "car.3ds", "-c"},
        {"-?", "-i"},
    };
    for (const auto& args : usage_cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(parse(args).result, parse_result::usage) << joined;
    }
}

TEST(Options, HelpStopsParsingAtOnce) {
    // Arguments after the help option are not examined.
    parsed p = parse({"-?", "-i", "car.3ds"});
    EXPECT_EQ(p.result, parse_result::usage);
    EXPECT_EQ(p.options.input_given, 0);
}

TEST(Options, BareWordsAndEmptyArgumentsAreSkipped) {
    parsed p = parse({"car.3ds", "", "x"});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.input_given, 0);
    EXPECT_EQ(p.options.input_path, "model.3ds");
}

TEST(Options, ValueIsTakenEvenWhenItLooksLikeAnOption) {
    parsed p = parse({"-i", "-o"});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.input_path, "-o");
    EXPECT_EQ(p.options.scene_path, "model.vrx");
}

TEST(Options, LastOccurrenceWinsAndInputsAreCounted) {
    parsed p = parse({"-i", "car.3ds", "-i", "boat.3ds", "-o", "a", "-o", "b", "-c", "4", "-c", "1", "-t", "-t"});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.input_path, "boat.3ds");
    EXPECT_EQ(p.options.input_given, 2);
    EXPECT_EQ(p.options.base_name, "b");
    EXPECT_EQ(p.options.camera_select, 2);
    EXPECT_EQ(p.options.triangle_mode, 1);
}

TEST(Options, VeryLongArgumentsAreKeptWhole) {
    std::string long_name(5000, 'a');
    parsed p = parse({"-i", long_name, "-o", long_name});
    ASSERT_EQ(p.result, parse_result::run);
    EXPECT_EQ(p.options.input_path, long_name);
    EXPECT_EQ(p.options.scene_path, long_name + ".vrx");
}

TEST(CameraNumber, ConvertsLikeTextToIntegerThenAddsOne) {
    EXPECT_EQ(camera_select_from_text("0"), 1);
    EXPECT_EQ(camera_select_from_text("1"), 2);
    EXPECT_EQ(camera_select_from_text("-1"), 0);
    EXPECT_EQ(camera_select_from_text("-5"), -4);
    EXPECT_EQ(camera_select_from_text("+7"), 8);
    EXPECT_EQ(camera_select_from_text("  \t\n12"), 13);
    EXPECT_EQ(camera_select_from_text("3abc"), 4);
    EXPECT_EQ(camera_select_from_text("abc"), 1);
    EXPECT_EQ(camera_select_from_text(""), 1);
    EXPECT_EQ(camera_select_from_text("-"), 1);
    EXPECT_EQ(camera_select_from_text("+-3"), 1);
    EXPECT_EQ(camera_select_from_text(" - 3"), 1);
    EXPECT_EQ(camera_select_from_text("0x10"), 1);
    EXPECT_EQ(camera_select_from_text("007"), 8);
}

TEST(CameraNumber, SaturatesAtTheThirtyTwoBitRange) {
    EXPECT_EQ(camera_select_from_text("2147483646"), INT_MAX);
    EXPECT_EQ(camera_select_from_text("2147483647"), INT_MAX);  // the +1 does not overflow
    EXPECT_EQ(camera_select_from_text("2147483648"), INT_MAX);
    EXPECT_EQ(camera_select_from_text("99999999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(camera_select_from_text("-2147483648"), INT_MIN + 1);
    EXPECT_EQ(camera_select_from_text("-2147483649"), INT_MIN + 1);
    EXPECT_EQ(camera_select_from_text("-99999999999999999999999999999999"), INT_MIN + 1);
}

TEST(Threads, WithoutTheOptionTheCpusOfTheAffinityMaskAreUsed) {
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(threads_to_use(0), std::min(CPU_COUNT(&all), 256));
    EXPECT_EQ(threads_to_use(7), 7);
    EXPECT_EQ(threads_to_use(256), 256);
    // Restricted to one CPU, then to two when there are two.
    std::vector<int> cpus;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &all)) cpus.push_back(c);
    for (std::size_t count = 1; count <= std::min<std::size_t>(2, cpus.size()); ++count) {
        cpu_set_t some;
        CPU_ZERO(&some);
        for (std::size_t k = 0; k < count; ++k) CPU_SET(cpus[k], &some);
        ASSERT_EQ(::sched_setaffinity(0, sizeof some, &some), 0);
        EXPECT_EQ(threads_to_use(0), static_cast<std::int32_t>(count));
        EXPECT_EQ(threads_to_use(5), 5);
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
}
