// Through the real binary: outputs reached through relative links in
// another folder, --faithful against its four options, a suggestion tie,
// and the runner's own limit on a child that hangs.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <unistd.h>

#include "run_binary.hpp"
#include "tests/mixed_scene.hpp"

namespace {

namespace fs = std::filesystem;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

// Materials in groups, smoothing masks, no light and no camera.
chunks::bytes unlit_scene() {
    using namespace chunks;
    return serialize(primary({editor({
        material({material_name("Red"), diffuse(color24(255, 0, 0))}),
        material({material_name("Blue"), diffuse(color24(0, 0, 255))}),
        mixed::sheet("Sheet", 30, 3),
        box_object("Box", {-1, -1, -1}, {1, 2, 0.5f}, "Blue"),
    })}));
}

}  // namespace

TEST(Outputs, RelativeLinksInTheOutputFolderAreFollowedFromThatFolder) {
    temp_dir dir;
    write_file(dir / "in.3ds", unlit_scene());
    fs::create_directory(dir / "sub");
    const e2e::result plain = e2e::run(dir.path, {"-i", "in.3ds", "-o", "sub/model"});
    ASSERT_EQ(plain.exit_code, 1) << plain.out;
    const std::string vrx = read_file(dir / "sub/model.vrx");
    const std::string inc = read_file(dir / "sub/model.inc");
    fs::remove(dir / "sub/model.vrx");
    fs::remove(dir / "sub/model.inc");

    // sub/model.vrx names sub/real.vrx; sub/model.inc names sub/in.3ds, an
    // older file that only shares its name with the input here.
    write_file(dir / "sub/real.vrx", chunks::bytes{'o', 'l', 'd'});
    write_file(dir / "sub/in.3ds", chunks::bytes{'o', 'l', 'd'});
    fs::create_symlink("real.vrx", dir / "sub/model.vrx");
    fs::create_symlink("in.3ds", dir / "sub/model.inc");
    const e2e::result r = e2e::run(dir.path, {"-i", "in.3ds", "-o", "sub/model"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(testkit::list_files(dir.path), (std::vector<std::string>{"in.3ds", "sub"}));
    EXPECT_EQ(testkit::list_files(dir / "sub"),
              (std::vector<std::string>{"in.3ds", "model.inc", "model.vrx", "real.vrx"}));
    EXPECT_TRUE(fs::is_symlink(dir / "sub/model.vrx"));
    EXPECT_TRUE(fs::is_symlink(dir / "sub/model.inc"));
    const chunks::bytes input = unlit_scene();
    EXPECT_EQ(read_file(dir / "in.3ds"), std::string(input.begin(), input.end()));
    EXPECT_EQ(read_file(dir / "sub/real.vrx"), vrx);
    EXPECT_EQ(read_file(dir / "sub/in.3ds"), inc);

    // The input itself behind a relative link in the same folder is refused.
    write_file(dir / "sub/scene.3ds", unlit_scene());
    fs::remove(dir / "sub/model.inc");
    fs::create_symlink("scene.3ds", dir / "sub/model.inc");
    const e2e::result same = e2e::run(dir.path, {"-i", "sub/scene.3ds", "-o", "sub/model"});
    EXPECT_EQ(same.exit_code, 0) << same.out;
    EXPECT_NE(same.out.find(" is the input file sub/scene.3ds; nothing was converted\n"), std::string::npos)
        << same.out;
    EXPECT_EQ(read_file(dir / "sub/scene.3ds"), std::string(input.begin(), input.end()));
}

TEST(CommandLine, FaithfulIsItsFourOptionsOnAFileWithoutLights) {
    temp_dir dir;
    write_file(dir / "in.3ds", unlit_scene());
    // Each run in a folder of its own, with the same names.
    const auto convert = [&](const std::string& folder, std::vector<std::string> options) {
        fs::create_directory(dir / folder);
        for (const char* a : {"-i", "../in.3ds", "-o", "model"}) options.emplace_back(a);
        const e2e::result r = e2e::run(dir / folder, options);
        EXPECT_EQ(r.exit_code, 1) << r.out;
        return std::vector<std::string>{r.out, read_file(dir / folder / "model.vrx"),
                                        read_file(dir / folder / "model.inc")};
    };
    const auto faithful = convert("faithful", {"--faithful"});
    const auto four = convert("four", {"--materials", "--smoothing", "--frame", "--headlight"});
    EXPECT_EQ(faithful[0], four[0]);
    EXPECT_TRUE(faithful[1] == four[1]) << faithful[1] << "\n---\n" << four[1];
    EXPECT_TRUE(faithful[2] == four[2]);
    // Each of the four shows in this file.
    for (const char* left_out : {"--materials", "--smoothing", "--frame", "--headlight"}) {
        SCOPED_TRACE(std::string("without ") + left_out);
        std::vector<std::string> three = {"--materials", "--smoothing", "--frame", "--headlight"};
        std::erase(three, left_out);
        const auto fewer = convert(left_out + 2, three);
        EXPECT_TRUE(fewer[1] != four[1] || fewer[2] != four[2]);
    }
}

TEST(CommandLine, ATieBetweenSuggestionsGoesToTheOptionFirstInTheUsage) {
    // "--hel" begins --help; "--heap" is one edit from --help and from the
    // start of --headlight, which comes later in the usage.
    temp_dir dir;
    for (const std::string arg : {"--hel", "--heap"}) {
        const e2e::result r = e2e::run(dir.path, {arg});
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_NE(r.out.find(" Warning: \"" + arg + "\" is not an option; did you mean --help?\n"), std::string::npos)
            << r.out;
    }
}

TEST(RunBinary, AChildStillRunningAtTheLimitIsKilledAndTheTestFails) {
    temp_dir dir;
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    e2e::result r;
    // The pipe never ends: the converter waits for more of the file.
    EXPECT_NONFATAL_FAILURE(
        r = e2e::run(dir.path, {"-i", "/dev/stdin"}, e2e::limits{.hang_seconds = 1, .standard_input = input[0]}),
        "hung: tessvert -i /dev/stdin was still running after 1 s and was killed");
    ::close(input[0]);
    ::close(input[1]);
    EXPECT_EQ(r.signal, SIGKILL);
}
