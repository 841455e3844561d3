// The real binary as a user meets it: one version everywhere, why a load
// failed, output names, exit codes for scripts, the advice line, batches
// and the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "testkit/terminal_screen.hpp"
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

// A unit box's corners and its 12 faces.
const std::vector<xyz> box_corners = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                      {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const std::vector<abc> box_faces = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                    {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};

// A box in two materials, one of them mapped, its sides in six smoothing
// groups; no light, no camera.
bytes rich_scene() {
    const std::vector<xyz>& v = box_corners;
    const std::vector<abc>& f = box_faces;
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

// The run's lines without the banner, the seconds of the summary blanked.
std::string without_seconds(std::string out) {
    return std::regex_replace(out, std::regex(" [0-9]+\\.[0-9]+ seconds"), " S seconds");
}

// Whether every pair in `batch_dir` equals a single-file run's pair of the
// same input, written with -o into a folder of that name in `single_cwd`.
void expect_pairs_of_single_runs(const fs::path& cwd, const std::string& out_folder,
                                 const std::vector<std::string>& inputs) {
    temp_dir single;
    fs::create_directories(single / out_folder);
    for (const std::string& input : inputs) {
        const fs::path in = fs::path(input).is_absolute() ? fs::path(input) : cwd / input;
        const auto r = e2e::run(single.path, {"-i", in.string(), "-o", out_folder + "/", "--threads", "2"});
        ASSERT_EQ(r.exit_code, 1) << input << r.out;
        const std::string stem = fs::path(input).stem().string();
        for (const char* ext : {".vrx", ".inc"})
            EXPECT_EQ(read_file(cwd / out_folder / (stem + ext)), read_file(single / out_folder / (stem + ext)))
                << input << ext;
    }
}

TEST(Version, TheBinaryTheManPageAndTheReadmeTellOneVersion) {
    temp_dir dir;
    const auto r = e2e::run(dir.path, {"--version"});
    const std::vector<std::string> binary = versions_in(r.out);
    ASSERT_EQ(binary.size(), 1u) << r.out;
    EXPECT_EQ(binary[0], TESSVERT_VERSION_TEXT);
    const fs::path source = TESSVERT_SOURCE_DIR;
    for (const fs::path& doc : {fs::path(TESSVERT_MAN_PAGE), source / "README.md"}) {
        const std::vector<std::string> found = versions_in(read_file(doc));
        EXPECT_FALSE(found.empty()) << doc;
        for (const std::string& v : found) EXPECT_EQ(v, binary[0]) << doc;
    }
}

// The man page's list of output languages is made from their table: each
// language the usage text names has its paragraph there.
TEST(Usage, TheManPageTellsEveryOutputLanguageTheUsageTextNames) {
    temp_dir dir;
    const std::string usage = e2e::run(dir.path, {"--help"}).out;
    const std::string man = read_file(TESSVERT_MAN_PAGE);
    EXPECT_EQ(man.find("@LANGUAGES@"), std::string::npos);
    std::size_t languages = 0;
    std::istringstream lines(usage.substr(usage.find("  --format F")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.starts_with("    ")) {
        const std::string name = line.substr(4, line.find(' ', 4) - 4);
        EXPECT_NE(man.find(".TP\n.B " + name + "\n"), std::string::npos) << name;
        ++languages;
    }
    EXPECT_GE(languages, 3u) << usage;
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
    EXPECT_EQ(tiny.out,
              " Warning: the primary chunk declares 2 bytes, fewer than its own 6-byte header: the file holds no "
              "scene\n" +
                  testkit::nothing_drawn_warning + "\n");
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
    // A folder that does not exist is made, as --batch makes its own.
    const auto missing = e2e::run(dir.path, {"-i", "in/cars.v2/car.3ds", "-o", "new/er/"});
    EXPECT_EQ(missing.exit_code, 1) << missing.out;
    EXPECT_EQ(list_files(dir / "new" / "er"), (std::vector<std::string>{"car.inc", "car.vrx"}));
    // One that cannot be made is named before the input is read.
    write_file(dir / "plain", as_bytes("a file, not a folder\n"));
    const auto blocked = e2e::run(dir.path, {"-i", "in/cars.v2/car.3ds", "-o", "plain/sub/"});
    EXPECT_EQ(blocked.exit_code, 0);
    EXPECT_EQ(blocked.out, e2e::banner + std::string(" Warning: the folder plain/sub/ cannot be made: Not a directory; "
                                                     "nothing was converted\n"));
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
    // Wherever it stands, also after the wrong option, but not as a value.
    EXPECT_EQ(e2e::run(dir.path, {"--nonsense", "--posix-exit"}).exit_code, 2);
    EXPECT_EQ(e2e::run(dir.path, {"-i", "car.3ds", "-c", "--help", "--posix-exit"}).exit_code, 0);
    EXPECT_EQ(e2e::run(dir.path, {"-o", "--posix-exit", "--nonsense"}).exit_code, 255);
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
        // A POV-Ray scene shows the materials, the groups and the maps; it
        // frames and lights a scene unless told to keep the file's view.
        {{"--format", "pov", "--file-view"}, light + "; " + camera},
    };
    for (const auto& [options, expected] : cases) {
        std::vector<std::string> args = {"-i", "rich.3ds"};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1);
        // One line, after the reading messages and before the files' lines
        // (the POV-Ray scene says too that the map's image is missing).
        std::vector<std::string> advice = testkit::warning_lines(r.out);
        std::erase_if(advice, [](const std::string& line) { return !testkit::is_advice_line(line); });
        EXPECT_EQ(advice, std::vector<std::string>{" Warning: " + expected}) << r.out;
        EXPECT_EQ(testkit::count_warnings(r.out), options.size() == 3 ? 1u : 0u) << r.out;
        EXPECT_LT(r.out.find(" Warning: "), r.out.find(" All parameters successfully dumped to: "));
    }
    // A quiet run leaves the line out, and a file that the default output
    // shows whole gets none: a group that lists no face colours nothing,
    // whatever material it names.
    EXPECT_EQ(e2e::run(dir.path, {"-i", "rich.3ds", "-q"}).out, "");
    EXPECT_TRUE(testkit::warning_lines(e2e::run(dir.path, {"-i", "plain.3ds"}).out).empty());
    std::vector<std::uint16_t> every_face(box_faces.size());
    for (std::size_t j = 0; j < every_face.size(); ++j) every_face[j] = static_cast<std::uint16_t>(j);
    write_file(dir / "one_colour.3ds",
               serialize(primary({editor({
                   material({material_name("Red"), diffuse(color24(200, 20, 20))}),
                   material({material_name("Blue"), diffuse(color24(20, 20, 200))}),
                   named_object("Box", {triangle_mesh({vertex_list(box_corners),
                                                       face_list(box_faces, {material_group("Red", every_face),
                                                                             material_group("Blue")})})}),
                   named_object("Cam", {chunks::camera({10, -10, 5}, {0, 0, 0}, 0, 50)}),
                   named_object("Sun", {chunks::light({10, 20, 30}, {color_float(1, 1, 1)})}),
               })})));
    EXPECT_TRUE(testkit::warning_lines(e2e::run(dir.path, {"-i", "one_colour.3ds"}).out).empty());
}

TEST(UnreadInputs, OneWarningSaysWhatASingleConversionLeavesUnread) {
    temp_dir dir;
    write_file(dir / "a.3ds", plain_scene());
    write_file(dir / "b.3ds", plain_scene(2));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-i", "a.3ds", "-i", "b.3ds"},
         " Warning: -i was given 2 times: only the last, b.3ds, is read; --batch OUTDIR converts every file given"},
        {{"-i", "a.3ds", "b.3ds"},
         " Warning: \"b.3ds\" is not read: one file is converted at a time; --batch OUTDIR converts every file given"},
        {{"-i", "a.3ds", "t2"},
         " Warning: \"t2\" is not read; an output name is given with -o, as in: tessvert -i a.3ds -o t2"},
        {{"-i", "a.3ds", "-o", "x", "t2"}, " Warning: \"t2\" is not read"},
    };
    for (const auto& [args, warning] : cases) {
        const auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(testkit::warning_lines(r.out), std::vector<std::string>{warning});
    }
}

TEST(Batch, ThreeFilesOneBrokenGiveALineEachInOrderASummaryAndTheGoodPairs) {
    temp_dir dir;
    fs::create_directories(dir / "in");
    // The first file takes longest: the lines keep the input order anyway.
    write_file(dir / "in" / "b.3ds",
               serialize(primary(
                   {editor({make(0x3D3E, u32(3)), material({material_name("Red"), diffuse(color24(200, 20, 20))}),
                            grid_object("Grid", 150, 150, 0, "Red")})})));
    write_file(dir / "in" / "broken.3ds", as_bytes("not a scene\n"));
    write_file(dir / "in" / "a.3ds", plain_scene(5));
    // Given out of name order; one thread and two threads say the same.
    const std::vector<std::string> args = {"--batch", "out", "in/b.3ds", "in/broken.3ds", "-i", "in/a.3ds"};
    std::vector<std::string> two = args;
    two.insert(two.end(), {"--threads", "2"});
    const auto r = e2e::run(dir.path, two);
    EXPECT_EQ(r.exit_code, 0);  // one failed
    EXPECT_EQ(
        without_seconds(r.out),
        e2e::banner + std::string(" Warning: in/b.3ds: the file has no light: --headlight adds one; the file has no "
                                  "camera: the default view from (20, 20, 20) is used; --frame frames the "
                                  "whole scene\n"
                                  " Warning: in/b.3ds: 45000 faces written to out/b.vrx and out/b.inc\n"
                                  " Warning: in/broken.3ds: not a 3DS file, which begins with 4D 4D: it begins "
                                  "with 6E 6F 74 20 61 20 73 63 (text)\n"
                                  " Warning: in/broken.3ds: not converted: Unable to load PRIMARY chuck from "
                                  "file: in/broken.3ds!\n"
                                  " Warning: in/a.3ds: 12 faces written to out/a.vrx and out/a.inc\n"
                                  " Warning: batch: 2 of 3 files converted, 1 failed, 45012 faces, S seconds\n"));
    EXPECT_EQ(list_files(dir / "out"), (std::vector<std::string>{"a.inc", "a.vrx", "b.inc", "b.vrx"}));
    expect_pairs_of_single_runs(dir.path, "out", {"in/a.3ds", "in/b.3ds"});
    // Another output language names its files as a single run does.
    const auto pov = e2e::run(dir.path, {"--batch", "pov", "in/a.3ds", "--format", "pov"});
    EXPECT_EQ(pov.exit_code, 1) << pov.out;
    EXPECT_EQ(list_files(dir / "pov"), (std::vector<std::string>{"a.mesh.inc", "a.pov"}));
    std::vector<std::string> one = args;
    one.insert(one.end(), {"--threads", "1"});
    EXPECT_EQ(without_seconds(e2e::run(dir.path, one).out), without_seconds(r.out));

    // Quiet: only the warnings and errors, each naming its file.
    std::vector<std::string> quiet = args;
    quiet.push_back("-q");
    EXPECT_EQ(
        e2e::run(dir.path, quiet).out,
        " Warning: in/broken.3ds: not a 3DS file, which begins with 4D 4D: it begins with 6E 6F 74 20 61 20 73 63 "
        "(text)\n Warning: in/broken.3ds: not converted: Unable to load PRIMARY chuck from file: "
        "in/broken.3ds!\n");
    // Every file converted: exit status 1, or 0 with --posix-exit.
    EXPECT_EQ(e2e::run(dir.path, {"--batch", "out", "in/a.3ds", "in/b.3ds"}).exit_code, 1);
    const auto posix = e2e::run(dir.path, {"--batch", "out", "in/a.3ds", "in/b.3ds", "--posix-exit"});
    EXPECT_EQ(posix.exit_code, 0);
    EXPECT_EQ(e2e::run(dir.path, {"--batch", "out", "in/a.3ds", "in/broken.3ds", "--posix-exit"}).exit_code, 1);
}

// A file that draws nothing is converted, with a warning; with
// --posix-exit it is no success, and a batch names it apart. The faces of
// a file that failed are no part of the batch's total.
TEST(Batch, AFileThatDrawsNothingAndOneThatFailsAreCountedApart) {
    temp_dir dir;
    write_file(dir / "fails.3ds", plain_scene());
    write_file(dir / "good.3ds", plain_scene());
    write_file(dir / "bare.3ds",
               serialize(primary({editor({named_object("Cam", {camera({1, 1, 1}, {0, 0, 0}, 0, 50)})})})));
    const auto single = e2e::run(dir.path, {"-i", "bare.3ds", "-q"});
    EXPECT_EQ(single.exit_code, 1);
    EXPECT_EQ(single.out, testkit::nothing_drawn_warning + "\n");
    EXPECT_EQ(e2e::run(dir.path, {"-i", "bare.3ds", "--posix-exit"}).exit_code, 1);
    EXPECT_EQ(e2e::run(dir.path, {"-i", "good.3ds", "--posix-exit"}).exit_code, 0);

    // The first file's scene file cannot be put in place.
    const e2e::limits lim = e2e::with_fault_shim({"TESSVERT_FAULT_RENAME_CALL=1"});
    const std::vector<std::string> args = {"--batch", "out", "fails.3ds", "good.3ds", "bare.3ds", "--threads", "1"};
    const auto batch = e2e::run(dir.path, args, lim);
    EXPECT_EQ(batch.exit_code, 0);
    EXPECT_EQ(testkit::lines_with(without_seconds(batch.out), " Warning: batch"),
              std::vector<std::string>{" Warning: batch: 2 of 3 files converted, 1 failed, 12 faces, S seconds"});
    EXPECT_NE(batch.out.find(" Warning: bare.3ds: " + testkit::nothing_drawn_warning.substr(10) + "\n"),
              std::string::npos)
        << batch.out;
    std::vector<std::string> posix = args;
    posix.push_back("--posix-exit");
    const auto strict = e2e::run(dir.path, posix, lim);
    EXPECT_EQ(strict.exit_code, 1);
    EXPECT_EQ(testkit::lines_with(without_seconds(strict.out), " Warning: batch"),
              std::vector<std::string>{
                  " Warning: batch: 1 of 3 files converted, 1 failed, 1 with nothing drawn, 12 faces, S seconds"});
}

TEST(Batch, AFolderStandsForTheThreeDsFilesDirectlyInsideItInNameOrder) {
    temp_dir dir;
    fs::create_directories(dir / "models" / "deeper");
    write_file(dir / "models" / "Zed.3DS", plain_scene(1));
    write_file(dir / "models" / "alpha.3ds", plain_scene(2));
    write_file(dir / "models" / "Mid.3Ds", plain_scene(3));
    write_file(dir / "models" / "readme.txt", as_bytes("not a model\n"));
    write_file(dir / "models" / "deeper" / "inner.3ds", plain_scene(4));
    fs::create_directories(dir / "nothing");
    const auto r = e2e::run(dir.path, {"--batch", "made/here", "models", "nothing/"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(testkit::lines_with(without_seconds(r.out), " Warning: "),
              (std::vector<std::string>{
                  " Warning: nothing/ holds no .3ds file",
                  " Warning: models/Mid.3Ds: 12 faces written to made/here/Mid.vrx and made/here/Mid.inc",
                  " Warning: models/Zed.3DS: 12 faces written to made/here/Zed.vrx and made/here/Zed.inc",
                  " Warning: models/alpha.3ds: 12 faces written to made/here/alpha.vrx and made/here/alpha.inc",
                  " Warning: batch: 3 of 3 files converted, 0 failed, 36 faces, S seconds"}));
    expect_pairs_of_single_runs(dir.path, "made/here", {"models/Mid.3Ds", "models/Zed.3DS", "models/alpha.3ds"});
}

TEST(Batch, WrongUsageIsNamedBeforeAnythingIsRead) {
    temp_dir dir;
    fs::create_directories(dir / "x");
    write_file(dir / "car.3ds", plain_scene());
    write_file(dir / "x" / "car.3DS", plain_scene());
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--batch", "out", "car.3ds", "x"},
         " Warning: --batch: car.3ds and x/car.3DS would both be written as out/car.vrx and out/car.inc; nothing was "
         "converted"},
        {{"--batch", "out", "car.3ds", "-o", "cars"},
         " Warning: --batch writes each file's outputs into its folder, named after the file; -o cannot be given with "
         "it"},
        {{"--batch", "out"}, " Warning: --batch out has no input: give 3DS files, or folders that hold them"},
    };
    for (const auto& [args, why] : cases) {
        const auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_EQ(testkit::warning_lines(r.out), std::vector<std::string>{why});
        EXPECT_NE(r.out.find(" Usage: tessvert [options]"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

// The temporaries of an interrupted batch, and whatever else is in `dir`.
std::vector<std::string> leftovers(const fs::path& dir) {
    std::vector<std::string> names = list_files(dir);
    std::erase_if(names, [](const std::string& n) { return !n.ends_with(".tmp"); });
    return names;
}

TEST(Batch, AnInterruptKeepsTheFilesCommittedAndCommitsNoneInFlight) {
    temp_dir dir;
    for (const char* name : {"a", "b", "c"}) write_file(dir / (std::string(name) + ".3ds"), plain_scene());
    // The interrupt comes to the process, as from the terminal, at the
    // chosen write (each small file's outputs take one write each).
    const auto interrupt_at_write = [](const char* call) {
        return e2e::with_fault_shim({std::string("TESSVERT_FAULT_WRITE_CALL=") + call,
                                     "TESSVERT_FAULT_SIGNAL=" + std::to_string(SIGINT), "TESSVERT_FAULT_TO_PROCESS=1"});
    };
    // While the second file writes.
    const auto r =
        e2e::run(dir.path, {"--batch", "out", "a.3ds", "b.3ds", "c.3ds", "--threads", "1"}, interrupt_at_write("3"));
    EXPECT_EQ(r.signal, SIGINT) << r.out;
    EXPECT_EQ(list_files(dir / "out"), (std::vector<std::string>{"a.inc", "a.vrx"}));
    expect_pairs_of_single_runs(dir.path, "out", {"a.3ds"});
    EXPECT_TRUE(leftovers(dir / "out").empty());
    // However late the thread that takes the signal acts on it, no file is
    // put in place after the signal came.
    e2e::limits late = interrupt_at_write("3");
    late.environment.push_back("TESSVERT_FAULT_SLOW_SIGNALS=50");
    const auto slow = e2e::run(dir.path, {"--batch", "slow", "a.3ds", "b.3ds", "c.3ds", "--threads", "1"}, late);
    EXPECT_EQ(slow.signal, SIGINT) << slow.out;
    EXPECT_EQ(list_files(dir / "slow"), (std::vector<std::string>{"a.inc", "a.vrx"}));
    // With files side by side, none is left half written either.
    const auto side =
        e2e::run(dir.path, {"--batch", "side", "a.3ds", "b.3ds", "c.3ds", "--threads", "3"}, interrupt_at_write("2"));
    EXPECT_EQ(side.signal, SIGINT) << side.out;
    std::vector<std::string> files = list_files(dir / "side");
    for (const std::string& f : files) EXPECT_TRUE(f.ends_with(".vrx") || f.ends_with(".inc")) << f;
    for (const char* stem : {"a", "b", "c"})
        EXPECT_EQ(fs::exists(dir / "side" / (std::string(stem) + ".vrx")),
                  fs::exists(dir / "side" / (std::string(stem) + ".inc")))
            << stem;
}

TEST(Batch, TheCorpusInOneRunGivesTheSinglePairs) {
    const fs::path shared = e2e::shared_dir();
    if (shared.empty()) GTEST_SKIP() << "../shared is absent";
    temp_dir dir;
    std::vector<std::string> args = {"--batch", "out", "--threads", "2"};
    for (const auto& entry : fs::directory_iterator(shared / "corpus" / "3ds"))
        if (entry.is_directory()) args.push_back(entry.path().string());
    const auto r = e2e::run(dir.path, args);
    std::vector<std::string> converted;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        if (entry.path().extension() == ".vrx") converted.push_back(entry.path().stem().string());
    ASSERT_FALSE(converted.empty()) << r.out;
    std::vector<std::string> inputs;
    for (std::size_t i = 4; i < args.size(); ++i)
        for (const auto& entry : fs::directory_iterator(args[i]))
            if (std::find(converted.begin(), converted.end(), entry.path().stem().string()) != converted.end() &&
                (entry.path().extension() == ".3ds" || entry.path().extension() == ".3DS"))
                inputs.push_back(entry.path().string());
    EXPECT_EQ(inputs.size(), converted.size());
    expect_pairs_of_single_runs(dir.path, "out", inputs);
}

// Opens the FIFO for writing once the reader has it open (at most ten
// seconds later); -1 when it never does.
int open_fifo_writer(const fs::path& fifo) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, 0);
            return fd;
        }
        ::usleep(10'000);
    }
    return -1;
}

// Feeds `data` into the FIFO that the run reads, its first chunk header at
// once and the rest a second and a half later: a run that lasts.
void feed_slowly(const fs::path& fifo, const bytes& data) {
    const int fd = open_fifo_writer(fifo);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, data.data(), 6), 6);
    ::usleep(1'500'000);
    ASSERT_EQ(::write(fd, data.data() + 6, data.size() - 6), static_cast<ssize_t>(data.size() - 6));
    ::close(fd);
}

// Runs tessvert in `cwd` on a pseudo-terminal, feeding the FIFO slowly, and
// returns what the terminal received.
std::string run_on_terminal(const fs::path& cwd, const std::vector<std::string>& args, const fs::path& fifo,
                            const bytes& data) {
    termios raw{};
    ::cfmakeraw(&raw);  // line ends as written
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, &raw, nullptr);
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        e2e::exec_binary(args);
    }
    EXPECT_GT(pid, 0);
    if (pid <= 0) return {};
    feed_slowly(fifo, data);
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return seen;
}

// The console text with the progress lines and their clearing taken out.
std::string without_progress(const std::string& seen) {
    return std::regex_replace(seen, std::regex("\r( Warning: progress: [^\r\n]*| *\r)"), "");
}

// What a terminal shows of `seen`: while the last progress line stands,
// that line on a row of its own below the messages; once it is cleared, the
// rows of `log`, as if it had never been there.
void expect_screens(const std::string& seen, const std::string& log) {
    if (!testkit::tmux_installed()) {
        const char* ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true") FAIL() << "tmux is not installed";
        GTEST_SKIP() << "tmux is not installed (Debian: apt-get install tmux): the screen is not checked";
    }
    const std::size_t last = seen.rfind("\r Warning: progress: ");
    ASSERT_NE(last, std::string::npos) << seen;
    const std::size_t cleared = seen.find('\r', last + 1);
    std::string line = seen.substr(last + 1, cleared - last - 1);
    line.erase(line.find_last_not_of(' ') + 1);
    const std::optional<std::vector<std::string>> during = testkit::terminal_screen(seen.substr(0, cleared));
    ASSERT_TRUE(during.has_value());
    ASSERT_FALSE(during->empty());
    EXPECT_EQ(during->back(), line);
    const std::vector<std::string> rows = testkit::rows_of(log);
    const std::vector<std::string> above(during->begin(), during->end() - 1);
    EXPECT_TRUE(above.size() < rows.size() && std::equal(above.begin(), above.end(), rows.begin()))
        << testkit::joined(*during);
    EXPECT_EQ(testkit::terminal_screen(seen), rows);
}

TEST(Progress, ALineOnATerminalAfterASecondRewrittenAndCleared) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "a second's timing is not kept under the thread sanitizer; the other builds run it";
#endif
    temp_dir dir;
    const bytes data = plain_scene();
    ASSERT_EQ(::mkfifo((dir / "slow.3ds").c_str(), 0600), 0);
    const std::string seen = run_on_terminal(dir.path, {"-i", "slow.3ds"}, dir / "slow.3ds", data);
    EXPECT_NE(seen.find("\r Warning: progress: converting the file"), std::string::npos) << seen;
    // Cleared before the next message: the lines read as without it.
    temp_dir plain;
    write_file(plain / "slow.3ds", data);
    const auto unhurried = e2e::run(plain.path, {"-i", "slow.3ds"});
    EXPECT_EQ(without_progress(seen), unhurried.out);
    expect_screens(seen, unhurried.out);

    // In a batch it counts the files, and the faces the writers wrote.
    write_file(dir / "a.3ds", data);
    write_file(dir / "b.3ds", data);
    const std::string batch = run_on_terminal(
        dir.path, {"--batch", "out", "a.3ds", "b.3ds", "slow.3ds", "--threads", "1"}, dir / "slow.3ds", data);
    EXPECT_NE(batch.find("\r Warning: progress: 2 of 3 files converted, 24 faces written"), std::string::npos) << batch;
    EXPECT_EQ(testkit::lines_with(without_progress(batch), " Warning: progress").size(), 0u) << batch;
    expect_screens(batch, without_progress(batch));
    EXPECT_EQ(list_files(dir / "out").size(), 6u);

    // Never in a log, nor with -q on a terminal.
    for (const auto& args :
         {std::vector<std::string>{"-i", "slow.3ds"}, std::vector<std::string>{"-i", "slow.3ds", "-q"}}) {
        std::string out;
        if (args.size() == 2) {
            const pid_t pid = e2e::spawn(dir.path, args);
            feed_slowly(dir / "slow.3ds", data);
            int status = 0;
            ::waitpid(pid, &status, 0);
            out = e2e::collect(status, dir.path).out;
            EXPECT_EQ(out, unhurried.out);
        } else {
            out = run_on_terminal(dir.path, args, dir / "slow.3ds", data);
            EXPECT_EQ(out, "");
        }
        EXPECT_EQ(out.find("progress"), std::string::npos) << out;
    }
}

}  // namespace
