// --crease and --instances through the real binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/pov_conversion.hpp"

using namespace chunks;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

namespace {

// A box of 8 shared vertices; with `one_group`, its 12 faces all in
// smoothing group 1.
bytes box_scene(bool one_group = false) {
    chunk box = box_object("box", {0, 0, 0}, {2, 2, 2}, "m");
    if (one_group) {
        bytes masks;
        for (int j = 0; j < 12; ++j) append_u32(masks, 1);
        box.children.at(0).children.at(1).children.push_back(make(0x4150, masks));  // in the face list
    }
    return serialize(
        primary({version(3), editor({material({material_name("m"), diffuse(color24(200, 10, 10))}), box})}));
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
    // With --smoothing too, groups that say nothing leave the angle to
    // decide, whatever the number of threads.
    write_file(dir / "grouped.3ds", box_scene(true));
    for (const char* threads : {"1", "4"}) {
        const std::vector<std::string> args = {"-i",       "grouped.3ds", "-o",        "grouped", "--smoothing",
                                               "--crease", "45",          "--threads", threads};
        ASSERT_EQ(e2e::run(dir.path, args).exit_code, 1) << threads;
        EXPECT_TRUE(read_file(dir / "grouped.inc") == read_file(dir / "flat.inc")) << "--threads " << threads;
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

namespace {

// A unit cube shown four times: as stored, moved along x, moved and turned
// a quarter about z, moved and scaled twice.
bytes four_cubes(bool with_keyframer, std::vector<chunk> more = {}) {
    std::vector<chunk> items = {material({material_name("m"), diffuse(color24(10, 200, 10))}),
                                box_object("cube", {0, 0, 0}, {1, 1, 1}, "m")};
    items.insert(items.end(), more.begin(), more.end());
    std::vector<chunk> top = {version(3), editor(items)};
    if (with_keyframer)
        top.push_back(make(0xB000, {},
                           {object_node(0, "cube", 0xFFFF, {0, 0, 0}), object_node(1, "cube", 0xFFFF, {3, 0, 0}),
                            object_node(2, "cube", 0xFFFF, {3, 3, 0}, {1.5707964f, 0, 0, 1}),
                            object_node(3, "cube", 0xFFFF, {0, 3, 0}, {0, 0, 0, 0}, {2, 2, 2})}));
    return serialize(primary(top));
}

// Per surface line of the mesh include: the box around its vertices.
std::vector<std::string> boxes_of(const std::string& inc) {
    std::vector<std::string> boxes;
    std::vector<double> lo, hi;
    const auto flush = [&] {
        if (lo.empty()) return;
        char text[160];
        std::snprintf(text, sizeof text, "%.3f %.3f %.3f .. %.3f %.3f %.3f", lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
        boxes.push_back(text);
        lo.clear();
        hi.clear();
    };
    std::istringstream in(inc);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("surface", 0) == 0) flush();
        for (std::size_t at = line.find("vertex <"); at != std::string::npos; at = line.find("vertex <", at + 1)) {
            std::istringstream v(line.substr(at + 8));
            double p[3];
            v >> p[0] >> p[1] >> p[2];
            if (lo.empty()) lo.assign(p, p + 3), hi.assign(p, p + 3);
            for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
        }
    }
    flush();
    return boxes;
}

TEST(Instances, FourCubesWhereTheKeyframerPutsThem) {
    temp_dir dir;
    write_file(dir / "four.3ds", four_cubes(true));
    write_file(dir / "one.3ds", four_cubes(false));
    const e2e::result shown = e2e::run(dir.path, {"-i", "four.3ds", "-o", "shown", "--instances"});
    ASSERT_EQ(shown.exit_code, 1) << shown.out;
    EXPECT_EQ(testkit::warning_lines(shown.out, false).size(), 0u) << shown.out;
    const std::string inc = read_file(dir / "shown.inc");
    EXPECT_EQ(boxes_of(inc), (std::vector<std::string>{
                                 "0.000 0.000 0.000 .. 1.000 1.000 1.000", "3.000 0.000 0.000 .. 4.000 1.000 1.000",
                                 "3.000 2.000 0.000 .. 4.000 3.000 1.000", "0.000 3.000 0.000 .. 2.000 5.000 2.000"}));
    // Every copy in the object's colour; the statistics count the faces
    // written and the file's one object.
    EXPECT_EQ(testkit::lines_with(inc, "surface{color 0.039216 0.784314 0.039216").size(), 4u);
    const auto stats = testkit::parse_statistics(shown.out);
    ASSERT_TRUE(stats.has_value());
    EXPECT_EQ(testkit::number_after(shown.out, "Number of faces:"), 48);
    EXPECT_EQ(testkit::number_after(shown.out, "Number of objects:"), 1);

    // Without --instances: the file's mesh once, byte for byte the output
    // of the file without a keyframer, and one advice line that -q leaves
    // out.
    const e2e::result plain = e2e::run(dir.path, {"-i", "four.3ds", "-o", "plain"});
    const e2e::result none = e2e::run(dir.path, {"-i", "one.3ds", "-o", "none"});
    EXPECT_EQ(read_file(dir / "plain.inc"), read_file(dir / "none.inc"));
    const std::string advice = " Warning: the keyframer shows 1 mesh more than once; --instances adds those copies";
    EXPECT_EQ(testkit::lines_with(plain.out, advice).size(), 1u) << plain.out;
    EXPECT_EQ(testkit::lines_with(none.out, advice).size(), 0u) << none.out;
    EXPECT_EQ(e2e::run(dir.path, {"-i", "four.3ds", "-o", "quiet", "-q"}).out, "");
    // --faithful shows them.
    ASSERT_EQ(e2e::run(dir.path, {"-i", "four.3ds", "-o", "faithful", "--faithful"}).exit_code, 1);
    EXPECT_EQ(boxes_of(read_file(dir / "faithful.inc")).size(), 4u);
}

TEST(Instances, CorpusFilesShowEveryCube) {
    if (e2e::shared_dir().empty()) GTEST_SKIP() << "no ../shared";
    const auto corpus = e2e::shared_dir() / "corpus" / "3ds" / "online3dviewer";
    temp_dir dir;
    for (const auto& [name, cubes] :
         std::vector<std::pair<std::string, std::size_t>>{{"cube_four_instances", 4},
                                                          {"cube_two_instances", 2},
                                                          {"cube_hierarchy", 8},
                                                          {"cube_instance_scale_rotation", 4}}) {
        const e2e::result r =
            e2e::run(dir.path, {"-i", (corpus / (name + ".3ds")).string(), "-o", name, "--instances"});
        ASSERT_EQ(r.exit_code, 1) << r.out;
        const std::vector<std::string> boxes = boxes_of(read_file(dir / (name + ".inc")));
        EXPECT_EQ(boxes.size(), cubes) << name;
        // No two cubes in one place.
        EXPECT_EQ(std::set<std::string>(boxes.begin(), boxes.end()).size(), cubes) << name;
    }
}

// Seen from above, the POV-Ray scene places the declared cube four times
// (--instances, which the format implies): green in each quarter of the
// picture, and only in the lower left one with --file-view.
// Green pixels of the POV-Ray picture of `file` (converted with the
// `options`) seen from above, in its quarters: lower left, lower right,
// upper right, upper left.
std::vector<int> green_quarters(const temp_dir& dir, const std::string& file, const std::vector<std::string>& options) {
    const pov::render_result r = pov::convert_and_render(dir.path, file, "s", options, {}, 80, 60).render;
    std::vector<int> count(4, 0);
    for (int y = 0; y < r.picture.height; ++y)
        for (int x = 0; x < r.picture.width; ++x) {
            const auto c = r.picture.at(x, y);
            if (c[1] < 100 || c[0] > c[1] / 2 || c[2] > c[1] / 2) continue;
            const bool right = 2 * x >= r.picture.width, lower = 2 * y >= r.picture.height;
            ++count[lower ? (right ? 1 : 0) : (right ? 2 : 3)];
        }
    return count;
}

const std::vector<chunk> seen_from_above = {named_object("Eye", {camera({2, 2.5f, 12}, {2, 2.5f, 0}, 0, 35)}),
                                            named_object("Lamp", {light({2, 2.5f, 12}, {color24(255, 255, 255)})})};

TEST(Instances, PovRayPlacesTheDeclaredMeshWhereTheKeyframerPutsIt) {
    REQUIRE_POVRAY();
    temp_dir dir;
    write_file(dir / "four.3ds", four_cubes(true, seen_from_above));
    const auto quarters = [&](const std::vector<std::string>& options) {
        return green_quarters(dir, "four.3ds", options);
    };
    const std::vector<int> shown = quarters({"--instances"});
    for (int q = 0; q < 4; ++q) EXPECT_GT(shown[q], 20) << "quarter " << q;
    // The scaled cube, twice as wide, covers about four times the pixels.
    EXPECT_GT(shown[3], 2 * shown[0]);
    const std::vector<int> once = quarters({"--file-view"});
    EXPECT_GT(once[0], 20);
    EXPECT_EQ(once[1] + once[2] + once[3], 0);
    EXPECT_NE(testkit::read_file(dir / "s.pov").find("object { "), std::string::npos);
}

// A cube whose only keyframer node puts it elsewhere than its mesh data:
// drawn where the data puts it, with advice that names the option, or,
// with --placement keyframer, where the node puts it (in the .vrx too, its
// vertices moved).
TEST(Instances, WithKeyframerPlacementTheFirstNodePlacesItsMeshToo) {
    REQUIRE_POVRAY();
    temp_dir dir;
    std::vector<chunk> items = {material({material_name("m"), diffuse(color24(10, 200, 10))}),
                                box_object("cube", {0, 0, 0}, {1, 1, 1}, "m")};
    items.insert(items.end(), seen_from_above.begin(), seen_from_above.end());
    write_file(
        dir / "moved.3ds",
        serialize(primary({version(3), editor(items), make(0xB000, {}, {object_node(0, "cube", 0xFFFF, {3, 3, 0})})})));
    const std::vector<int> mesh = green_quarters(dir, "moved.3ds", {});
    EXPECT_GT(mesh[0], 20);
    EXPECT_EQ(mesh[1] + mesh[2] + mesh[3], 0);
    const std::vector<int> keyframer = green_quarters(dir, "moved.3ds", {"--placement", "keyframer"});
    EXPECT_GT(keyframer[2], 20);
    EXPECT_EQ(keyframer[0] + keyframer[1] + keyframer[3], 0);

    const std::string advice =
        " Warning: the keyframer's frame 0 places 1 object elsewhere than its mesh data; --placement keyframer draws "
        "it there\n";
    const e2e::result as_stored = e2e::run(dir.path, {"-i", "moved.3ds", "-o", "v"});
    EXPECT_NE(as_stored.out.find(advice), std::string::npos) << as_stored.out;
    const e2e::result placed = e2e::run(dir.path, {"-i", "moved.3ds", "-o", "v", "--placement", "keyframer"});
    EXPECT_EQ(placed.out.find(advice), std::string::npos) << placed.out;
    EXPECT_EQ(boxes_of(read_file(dir / "v.inc")), std::vector<std::string>{"3.000 3.000 0.000 .. 4.000 4.000 1.000"});
}

// A copy of a mesh whose own matrix scales it by 1e7, and a copy that its
// node scales by 1e-7: their matrices hold entries near 1e-7, which six
// decimals would make 0, a singular matrix. Both meshes are a cube of 1e6
// (POV-Ray draws meshes up to about that size), so each copy is a cube of
// 0.1, on the left and on the right; the meshes as stored lie behind the eye.
TEST(Instances, PovRayReadsBackMatricesOfTinyScales) {
    REQUIRE_POVRAY();
    temp_dir dir;
    chunk big = box_object("big", {0, 0, 1e5f}, {1e6f, 1e6f, 1.1e6f}, "m");
    big.children[0].children.push_back(make(0x4160, f32s({1e7f, 0, 0, 0, 1e7f, 0, 0, 0, 1e7f, 0, 0, 1e5f})));
    const std::vector<chunk> items = {material({material_name("m"), diffuse(color24(10, 200, 10))}), big,
                                      box_object("huge", {0, 0, 1e5f}, {1e6f, 1e6f, 1.1e6f}, "m"),
                                      named_object("Eye", {camera({0.125f, 0.05f, 0.6f}, {0.125f, 0.05f, 0}, 0, 35)}),
                                      named_object("Lamp", {light({0.125f, 0.05f, 0.6f}, {color24(255, 255, 255)})})};
    const chunk keyframer =
        make(0xB000, {},
             {object_node(0, "big", 0xFFFF, {0, 0, 0}), object_node(1, "big", 0xFFFF, {0, 0, 0}),
              object_node(2, "huge", 0xFFFF, {0, 0, 0}),
              object_node(3, "huge", 0xFFFF, {0.15f, 0, 0}, {0, 0, 0, 0}, {1e-7f, 1e-7f, 1e-7f}, {0, 0, 1e5f})});
    write_file(dir / "tiny.3ds", serialize(primary({version(3), editor(items), keyframer})));
    const e2e::result run = e2e::run(dir.path, {"-i", "tiny.3ds", "-o", "s", "--format", "pov", "--instances"});
    ASSERT_EQ(run.exit_code, 1) << run.out;
    const pov::render_result r = pov::render(dir.path, "s.pov", 80, 60);
    EXPECT_CLEAN_RENDER(r);
    int left = 0, right = 0;
    for (int y = 0; y < r.picture.height; ++y)
        for (int x = 0; x < r.picture.width; ++x) {
            const auto c = r.picture.at(x, y);
            if (c[1] >= 100 && c[0] <= c[1] / 2 && c[2] <= c[1] / 2) ++(2 * x < r.picture.width ? left : right);
        }
    // Each cube covers about a sixteenth of the picture.
    EXPECT_GT(left, 150);
    EXPECT_GT(right, 150);
}

}  // namespace
