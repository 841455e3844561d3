// --crease and --instances through the real binary.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

namespace {

bytes box_scene() {
    return serialize(primary({version(3), editor({material({material_name("m"), diffuse(color24(200, 10, 10))}),
                                                  box_object("box", {0, 0, 0}, {2, 2, 2}, "m")})}));
}

// The normals of every smooth triangle line, three per line, as text.
std::vector<std::vector<std::string>> normals_of(const std::string& inc) {
    std::vector<std::vector<std::string>> all;
    std::istringstream in(inc);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("smooth_triangle", 0) != 0) continue;
        std::vector<std::string> n;
        for (std::size_t at = line.find("normal <"); at != std::string::npos; at = line.find("normal <", at + 1))
            n.push_back(line.substr(at + 8, line.find('>', at) - at - 8));
        all.push_back(n);
    }
    return all;
}

TEST(Crease, BoxKeepsItsFlatSidesAt45AndIsRoundWithout) {
    temp_dir dir;
    write_file(dir / "box.3ds", box_scene());
    const e2e::result round = e2e::run(dir.path, {"-i", "box.3ds", "-o", "round"});
    const e2e::result flat = e2e::run(dir.path, {"-i", "box.3ds", "-o", "flat", "--crease", "45"});
    ASSERT_EQ(round.exit_code, 1) << round.out;
    ASSERT_EQ(flat.exit_code, 1) << flat.out;
    const auto round_normals = normals_of(read_file(dir / "round.inc"));
    const auto flat_normals = normals_of(read_file(dir / "flat.inc"));
    ASSERT_EQ(flat_normals.size(), 12u);
    ASSERT_EQ(round_normals.size(), 12u);
    const std::set<std::string> axes = {"1.000000 0.000000 0.000000", "-1.000000 0.000000 0.000000",
                                        "0.000000 1.000000 0.000000", "0.000000 -1.000000 0.000000",
                                        "0.000000 0.000000 1.000000", "0.000000 0.000000 -1.000000"};
    for (std::size_t j = 0; j < 12; ++j) {
        ASSERT_EQ(flat_normals[j].size(), 3u);
        // Each face: one normal, along an axis, at all three corners.
        EXPECT_EQ(flat_normals[j][0], flat_normals[j][1]);
        EXPECT_EQ(flat_normals[j][0], flat_normals[j][2]);
        EXPECT_EQ(axes.count(flat_normals[j][0]), 1u) << flat_normals[j][0];
        // Without a crease angle every corner leans along the diagonal.
        EXPECT_EQ(axes.count(round_normals[j][0]), 0u) << round_normals[j][0];
    }
    // Wide enough an angle gives today's file, byte for byte.
    ASSERT_EQ(e2e::run(dir.path, {"-i", "box.3ds", "-o", "wide", "--crease", "90"}).exit_code, 1);
    EXPECT_EQ(read_file(dir / "wide.inc"), read_file(dir / "round.inc"));
}

TEST(Crease, AdviceWarningAndWrongValues) {
    temp_dir dir;
    write_file(dir / "box.3ds", box_scene());
    // The box has no smoothing groups: --smoothing advises --crease, -q
    // leaves the advice out, --crease needs none.
    const std::string advice = "say nothing of its edges";
    EXPECT_EQ(testkit::count_warnings(e2e::run(dir.path, {"-i", "box.3ds", "--smoothing"}).out, advice), 1u);
    EXPECT_EQ(testkit::count_warnings(e2e::run(dir.path, {"-i", "box.3ds", "--smoothing", "-q"}).out, advice), 0u);
    EXPECT_EQ(
        testkit::count_warnings(e2e::run(dir.path, {"-i", "box.3ds", "--smoothing", "--crease", "30"}).out, advice),
        0u);
    EXPECT_EQ(testkit::count_warnings(e2e::run(dir.path, {"-i", "box.3ds"}).out, advice), 0u);
    const e2e::result flat = e2e::run(dir.path, {"-i", "box.3ds", "-t", "--crease", "30"});
    EXPECT_EQ(flat.exit_code, 1);
    EXPECT_EQ(testkit::count_warnings(flat.out, "--crease is ignored with -t"), 1u) << flat.out;
    for (const char* wrong : {"181", "-1", "abc", "1e1", "0x10", "", "nan"}) {
        const e2e::result r = e2e::run(dir.path, {"-i", "box.3ds", "--crease", wrong});
        EXPECT_EQ(r.exit_code, 255) << wrong;
        EXPECT_NE(r.out.find(" Warning: --crease takes an angle in degrees from 0 to 180, not \"" + std::string(wrong) +
                             "\""),
                  std::string::npos)
            << r.out;
    }
    EXPECT_EQ(e2e::run(dir.path, {"-i", "box.3ds", "--crease", "30.5"}).exit_code, 1);
}

}  // namespace
