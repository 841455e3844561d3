// The real binary as a user meets it: one version everywhere, why a load
// failed, output names, exit codes for scripts, the advice line, batches
// and the progress line.
#include <gtest/gtest.h>

#include <regex>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::list_files;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

namespace fs = std::filesystem;

namespace {

// A small scene with a camera and a light: no advice for it.
bytes plain_scene(float offset = 0) {
    return serialize(primary({editor({
        make(0x3D3E, u32(3)),  // the editor's first child, read past
        material({material_name("Red"), diffuse(color24(200, 20, 20))}),
        box_object("Box", {offset, 0, 0}, {offset + 1, 1, 1}, "Red"),
        named_object("Cam", {camera({10, -10, 5}, {0, 0, 0}, 0, 50)}),
        named_object("Sun", {light({10, 20, 30}, {color_float(1, 1, 1)})}),
    })}));
}

// A box in two materials, one of them mapped, its sides in six smoothing
// groups; no light, no camera.
bytes rich_scene() {
    const std::vector<xyz> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<abc> f = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
    bytes masks;
    for (std::uint32_t i = 0; i < 12; ++i) append_u32(masks, 1u << (i / 2));
    std::vector<std::pair<float, float>> uv(8, {0.5f, 0.5f});
    return serialize(primary({editor({
        make(0x3D3E, u32(3)),
        material({material_name("Red"), diffuse(color24(200, 20, 20))}),
        material({material_name("Wood"), diffuse(color24(120, 80, 40)), texture_map({map_name("wood.png")})}),
        named_object("Box", {triangle_mesh(
                                {vertex_list(v), mapping_coords(uv),
                                 face_list(f, {material_group("Red", {0, 1, 2, 3, 4, 5}),
                                               material_group("Wood", {6, 7, 8, 9, 10, 11}), make(0x4150, masks)})})}),
    })}));
}

bytes as_bytes(const std::string& text) {
    return bytes(text.begin(), text.end());
}

// Every "tessvert X.Y..." in a text, X.Y... only.
std::vector<std::string> versions_in(const std::string& text) {
    static const std::regex pattern("tessvert ([0-9]+(\\.[0-9]+)+)");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) found.push_back((*it)[1]);
    return found;
}

TEST(Version, TheBinaryTheManPageAndTheReadmeTellOneVersion) {
    temp_dir dir;
    const auto r = e2e::run(dir.path, {"--version"});
    const std::vector<std::string> binary = versions_in(r.out);
    ASSERT_EQ(binary.size(), 1u) << r.out;
    EXPECT_EQ(binary[0], TESSVERT_VERSION_TEXT);
    const fs::path source = TESSVERT_SOURCE_DIR;
    for (const char* doc : {"doc/tessvert.1", "README.md"}) {
        const std::vector<std::string> found = versions_in(read_file(source / doc));
        EXPECT_FALSE(found.empty()) << doc;
        for (const std::string& v : found) EXPECT_EQ(v, binary[0]) << doc;
    }
}

TEST(LoadFailure, AWarningAfterTheFailureLinesSaysWhy) {
    temp_dir dir;
    write_file(dir / "empty.3ds", {});
    write_file(dir / "notes.3ds", as_bytes("solid cube\nfacet normal 0 0 1\n"));
    write_file(dir / "zipped.3ds", {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0, 1, 2});
    write_file(dir / "short.3ds", {0x4D, 0x4D, 0x10});
    write_file(dir / "odd.3ds", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    const std::string failed = " An error occured\n";
    const std::pair<const char*, std::string> cases[] = {
        {"empty.3ds", " Warning: the file is empty\n"},
        {"notes.3ds",
         " Warning: not a 3DS file, which begins with 4D 4D: it begins with 73 6F 6C 69 64 20 63 75 (text)\n"},
        {"zipped.3ds",
         " Warning: not a 3DS file, which begins with 4D 4D: it begins with 50 4B 03 04 14 00 00 00 (a ZIP archive)\n"},
        {"short.3ds", " Warning: the file holds only 3 bytes (4D 4D 10), fewer than the 6 of a chunk header\n"},
        {"odd.3ds", " Warning: not a 3DS file, which begins with 4D 4D: it begins with 01 02 03 04 05 06 07\n"},
    };
    for (const auto& [name, why] : cases) {
        const auto r = e2e::run(dir.path, {"-i", name});
        EXPECT_EQ(r.out,
                  e2e::banner + std::string("  Unable to load PRIMARY chuck from file: ") + name + "!\n" + why + failed)
            << name;
        EXPECT_EQ(r.exit_code, 0);
    }
    // A primary chunk shorter than its header holds nothing: the empty
    // scene is converted, with the reason.
    write_file(dir / "tiny.3ds", {0x4D, 0x4D, 0x02, 0, 0, 0, 0xAA, 0xBB});
    const auto tiny = e2e::run(dir.path, {"-i", "tiny.3ds", "-q"});
    EXPECT_EQ(
        tiny.out,
        " Warning: the primary chunk declares 2 bytes, fewer than its own 6-byte header: the file holds no scene\n");
    EXPECT_EQ(tiny.exit_code, 1);
}

TEST(OutputName, AFolderTakesTheInputsNameWithoutItsExtension) {
    temp_dir dir;
    fs::create_directories(dir / "in" / "cars.v2");
    fs::create_directories(dir / "out");
    write_file(dir / "in" / "cars.v2" / "car.3ds", plain_scene());
    // The -o value may stand before -i.
    const auto r = e2e::run(dir.path, {"-o", "out/", "-i", "in/cars.v2/car.3ds"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(list_files(dir / "out"), (std::vector<std::string>{"car.inc", "car.vrx"}));
    EXPECT_NE(read_file(dir / "out" / "car.vrx").find("include \"out/car.inc\""), std::string::npos);
    // The same as a plain base name in that folder.
    const auto plain = e2e::run(dir.path, {"-i", "in/cars.v2/car.3ds", "-o", "car"});
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_EQ(read_file(dir / "car.inc"), read_file(dir / "out" / "car.inc"));
    // A folder that does not exist: the system's reason, nothing written.
    const auto missing = e2e::run(dir.path, {"-i", "in/cars.v2/car.3ds", "-o", "nowhere/"});
    EXPECT_EQ(missing.exit_code, 0);
    EXPECT_NE(missing.out.find("nowhere/car.vrx: No such file or directory"), std::string::npos) << missing.out;
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST(ExitStatus, PosixExitGivesZeroOneAndTwo) {
    temp_dir dir;
    write_file(dir / "car.3ds", plain_scene());
    write_file(dir / "text.3ds", as_bytes("hello world\n"));
    fs::create_directories(dir / "locked");
    struct expectation {
        std::vector<std::string> args;
        int specified, posix;
    };
    const expectation cases[] = {
        {{"-i", "car.3ds"}, 1, 0},
        {{"-i", "text.3ds"}, 0, 1},
        {{"-i", "missing.3ds"}, 0, 1},
        {{"-i", "car.3ds", "-o", "no/such/folder"}, 0, 1},
        {{"-i", "car.3ds", "--bogus"}, 255, 2},
        {{"-i"}, 255, 2},
        {{"-c", "1"}, 0, 2},  // no input
    };
    for (const expectation& e : cases) {
        EXPECT_EQ(e2e::run(dir.path, e.args).exit_code, e.specified) << e.args[0] << " " << e.args.back();
        std::vector<std::string> posix = e.args;
        posix.insert(posix.begin(), "--posix-exit");
        EXPECT_EQ(e2e::run(dir.path, posix).exit_code, e.posix) << e.args[0] << " " << e.args.back();
    }
    EXPECT_EQ(e2e::run(dir.path, {"--posix-exit", "--version"}).exit_code, 0);
}

TEST(Advice, OneLineSaysWhatTheDefaultOutputLeavesOutAndEachOptionTakesItsPartAway) {
    temp_dir dir;
    write_file(dir / "rich.3ds", rich_scene());
    write_file(dir / "plain.3ds", plain_scene());
    const std::string materials = "several materials in material groups (--materials)";
    const std::string smoothing = "smoothing groups (--smoothing)";
    const std::string maps = "texture maps (--format pov)";
    const std::string light = "the file has no light: --headlight adds one";
    const std::string camera =
        "the file has no camera: the default view from (20, 20, 20) is used; --frame frames the whole scene";
    const std::string shows = "the output does not show the file's ";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, shows + materials + ", " + smoothing + ", " + maps + "; " + light + "; " + camera},
        {{"--materials"}, shows + smoothing + ", " + maps + "; " + light + "; " + camera},
        {{"--smoothing"}, shows + materials + ", " + maps + "; " + light + "; " + camera},
        {{"-t"}, shows + materials + ", " + maps + "; " + light + "; " + camera},
        {{"--headlight"}, shows + materials + ", " + smoothing + ", " + maps + "; " + camera},
        {{"--frame"}, shows + materials + ", " + smoothing + ", " + maps + "; " + light},
        {{"--faithful"}, shows + maps},
    };
    for (const auto& [options, expected] : cases) {
        std::vector<std::string> args = {"-i", "rich.3ds"};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1);
        // One line, after the reading messages and before the files' lines.
        EXPECT_EQ(testkit::warning_lines(r.out), std::vector<std::string>{" Warning: " + expected}) << r.out;
        EXPECT_LT(r.out.find(" Warning: "), r.out.find(" All parameters successfully dumped to: "));
    }
    // A quiet run leaves the line out, and a file that the default output
    // shows whole gets none.
    EXPECT_EQ(e2e::run(dir.path, {"-i", "rich.3ds", "-q"}).out, "");
    EXPECT_TRUE(testkit::warning_lines(e2e::run(dir.path, {"-i", "plain.3ds"}).out).empty());
}

}  // namespace
