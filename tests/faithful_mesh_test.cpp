// --materials and --smoothing through the real binary: the mesh include
// file of built scenes, read next to the default output of the same scene.
#include <gtest/gtest.h>

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

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string surface(const std::string& rgb) {
    return "surface{color " + rgb + " ambient 0.5 diffuse 0.75}";
}

// The texts between "normal <" and ">" of a triangle statement.
std::vector<std::string> normals_in(const std::string& line) {
    std::vector<std::string> found;
    for (std::size_t at = line.find("normal <"); at != std::string::npos; at = line.find("normal <", at + 1))
        found.push_back(line.substr(at + 8, line.find('>', at) - at - 8));
    return found;
}

struct conversion {
    e2e::result run;
    std::string inc;
    std::string vrx;
};

// Converts in.3ds in `dir` to out.vrx and out.inc with `options`.
conversion convert(const temp_dir& dir, const std::vector<std::string>& options) {
    std::vector<std::string> args = {"-i", "in.3ds", "-o", "out"};
    args.insert(args.end(), options.begin(), options.end());
    conversion c{e2e::run(dir.path, args), read_file(dir / "out.inc"), read_file(dir / "out.vrx")};
    return c;
}

}  // namespace

TEST(MaterialsOption, EachMaterialOfAnObjectIsABlockInTheOrderOfItsFirstFace) {
    // Face 2 is in no group; "Green" is defined after the object, so only
    // --materials finds it. The object's own colour is that of its last
    // group naming an earlier material, Blue; the face without a material
    // keeps it, in a block of its own. "Far" names faces it does not have.
    const std::vector<xyz> strip = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5f}, {0, 2, 0}, {1, 2, 0.25f}};
    const std::vector<abc> faces = {{0, 1, 2}, {1, 3, 2}, {2, 3, 4}, {3, 5, 4}, {4, 5, 0}};
    temp_dir dir;
    write_file(
        dir / "in.3ds",
        serialize(primary({editor({
            material({material_name("Red"), diffuse(color24(255, 0, 0))}),
            material({material_name("Blue"), diffuse(color24(0, 0, 255))}),
            named_object("Two", {triangle_mesh({vertex_list(strip), face_list(faces, {material_group("Red", {0, 3}),
                                                                                      material_group("Green", {4}),
                                                                                      material_group("Blue", {1})})})}),
            named_object("Far", {triangle_mesh(
                                    {vertex_list(strip), face_list({{0, 1, 2}}, {material_group("Red", {0, 5, 6})})})}),
            named_object("Lamp", {light({0, 0, 9})}),
            material({material_name("Green"), diffuse(color24(0, 255, 0))}),
        })})));
    const std::string red = surface("1.000000 0.000000 0.000000"), blue = surface("0.000000 0.000000 1.000000"),
                      green = surface("0.000000 1.000000 0.000000");
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, std::vector<std::string>{"-t"}}) {
        SCOPED_TRACE(mode.empty() ? "smooth" : "flat");
        const conversion plain = convert(dir, mode);
        std::vector<std::string> options = mode;
        options.push_back("--materials");
        const conversion coloured = convert(dir, options);
        ASSERT_EQ(coloured.run.exit_code, 1) << coloured.run.out;

        // The default: one block per object, each face as a line of its own.
        const std::vector<std::string> d = lines_of(plain.inc);
        ASSERT_EQ(d.size(), 9u) << plain.inc;
        EXPECT_EQ(d[0], blue);
        EXPECT_EQ(d[6], red);
        EXPECT_EQ(d[8], red);  // the light's object: the first material
        const std::vector<std::string> expected = {red,  d[1],  d[4], blue, d[2], blue,
                                                   d[3], green, d[5], red,  d[7], red};
        std::string text;
        for (const std::string& line : expected) text += line + "\n";
        EXPECT_EQ(coloured.inc, text);

        // The statistics and the rest of the console are the default's, but
        // for one warning about "Far".
        EXPECT_EQ(testkit::parse_statistics(coloured.run.out), testkit::parse_statistics(plain.run.out));
        EXPECT_EQ(testkit::count_warnings(plain.run.out), 0u) << plain.run.out;
        ASSERT_EQ(testkit::count_warnings(coloured.run.out), 1u) << coloured.run.out;
        EXPECT_EQ(testkit::warning_lines(coloured.run.out)[0],
                  " Warning: object \"Far\": 2 face numbers of its material groups are beyond its 1 faces;"
                  " they were ignored");
        EXPECT_EQ(coloured.vrx, plain.vrx);
    }
}

TEST(SmoothingOption, ACubeWithSixSmoothingGroupsGetsFaceNormals) {
    // Each side of the box is one smoothing group, so every corner gets its
    // side's normal: three normals at each vertex. A thirteenth face names
    // a vertex twice, alone in its group: its normals cannot be computed
    // and it is written flat.
    const xyz lo{-1, -2, -3}, hi{2, 1.5f, 0.5f};
    const std::vector<xyz> v = {
        {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
        {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z},
    };
    const std::vector<abc> f = {
        {0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4}, {1, 2, 6},
        {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}, {0, 6, 0},
    };
    const std::vector<std::string> side_normal = {
        "0.000000 0.000000 -1.000000", "0.000000 0.000000 1.000000", "0.000000 -1.000000 0.000000",
        "1.000000 0.000000 0.000000",  "0.000000 1.000000 0.000000", "-1.000000 0.000000 0.000000",
    };
    const auto cube = [&](bool six_groups) {
        bytes masks;
        for (std::size_t j = 0; j < f.size(); ++j) append_u32(masks, six_groups ? 1u << (j / 2) : 0x10u);
        return serialize(primary(
            {editor({named_object("Cube", {triangle_mesh({vertex_list(v), face_list(f, {make(0x4150, masks)})})})})}));
    };
    temp_dir dir;
    write_file(dir / "in.3ds", cube(true));
    const conversion hard = convert(dir, {"--smoothing"});
    ASSERT_EQ(hard.run.exit_code, 1) << hard.run.out;
    const std::vector<std::string> lines = lines_of(hard.inc);
    ASSERT_EQ(lines.size(), 14u) << hard.inc;
    for (std::size_t j = 0; j < 12; ++j) {
        SCOPED_TRACE(lines[j + 1]);
        EXPECT_EQ(lines[j + 1].rfind("smooth_triangle {", 0), 0u);
        EXPECT_EQ(normals_in(lines[j + 1]), std::vector<std::string>(3, side_normal[j / 2]));
    }
    EXPECT_EQ(lines[13].rfind("triangle {vertex <", 0), 0u) << lines[13];
    EXPECT_TRUE(normals_in(lines[13]).empty()) << lines[13];
    // The default smooths over every edge.
    const conversion plain = convert(dir, {});
    EXPECT_NE(normals_in(lines_of(plain.inc)[1]), normals_in(lines[1]));
    EXPECT_EQ(testkit::parse_statistics(hard.run.out), testkit::parse_statistics(plain.run.out));

    // Flat triangles have no normals to change.
    EXPECT_EQ(convert(dir, {"-t", "--smoothing"}).inc, convert(dir, {"-t"}).inc);

    // One group for every face: the default output, byte for byte.
    write_file(dir / "in.3ds", cube(false));
    const conversion one_group = convert(dir, {"--smoothing"});
    const conversion one_group_default = convert(dir, {});
    EXPECT_EQ(one_group.inc, one_group_default.inc);
    // ... and one advice line more, pointing to --crease.
    std::string advised = one_group_default.run.out;
    const std::string advice =
        " Warning: the smoothing groups of object \"Cube\" say nothing of its edges (none, all 0, or one group for "
        "every face); --crease 45 keeps edges sharper than 45 degrees hard\n";
    advised.insert(advised.find(" Warning: the file has no light"), advice);
    EXPECT_EQ(one_group.run.out, advised);
}

TEST(MaterialsAndSmoothing, ACubeOfTwoMaterialsAndSixSmoothingGroupsLineByLine) {
    // A unit cube, one smoothing group per side; Red names the first two
    // faces of every other side pair, Blue the rest. Each material is one
    // block in the order of its first face, each corner has its side's
    // normal, and the object's own colour (the last group naming an earlier
    // material) does not show.
    const std::vector<xyz> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<abc> f = {
        {0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
        {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7},
    };
    bytes masks;
    for (std::size_t j = 0; j < f.size(); ++j) append_u32(masks, 1u << (j / 2));
    temp_dir dir;
    write_file(
        dir / "in.3ds",
        serialize(primary({editor({
            material({material_name("Red"), diffuse(color24(255, 0, 0))}),
            material({material_name("Blue"), diffuse(color24(0, 0, 255))}),
            named_object("Cube",
                         {triangle_mesh({vertex_list(v), face_list(f, {material_group("Red", {0, 1, 4, 5, 8, 9}),
                                                                       material_group("Blue", {2, 3, 6, 7, 10, 11}),
                                                                       make(0x4150, masks)})})}),
        })})));
    const conversion both = convert(dir, {"--materials", "--smoothing"});
    ASSERT_EQ(both.run.exit_code, 1) << both.run.out;
    const std::string expected =
        "surface{color 1.000000 0.000000 0.000000 ambient 0.5 diffuse 0.75}\n"
        "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 0.000000 -1.000000> vertex <1.000000 "
        "1.000000 0.000000> normal <0.000000 0.000000 -1.000000> vertex <1.000000 0.000000 0.000000> normal <0.000000 "
        "0.000000 -1.000000> }\n"
        "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 0.000000 -1.000000> vertex <0.000000 "
        "1.000000 0.000000> normal <0.000000 0.000000 -1.000000> vertex <1.000000 1.000000 0.000000> normal <0.000000 "
        "0.000000 -1.000000> }\n"
        "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 -1.000000 0.000000> vertex <1.000000 "
        "0.000000 0.000000> normal <0.000000 -1.000000 0.000000> vertex <1.000000 0.000000 1.000000> normal <0.000000 "
        "-1.000000 0.000000> }\n"
        "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 -1.000000 0.000000> vertex <1.000000 "
        "0.000000 1.000000> normal <0.000000 -1.000000 0.000000> vertex <0.000000 0.000000 1.000000> normal <0.000000 "
        "-1.000000 0.000000> }\n"
        "smooth_triangle {vertex <1.000000 1.000000 0.000000> normal <0.000000 1.000000 0.000000> vertex <0.000000 "
        "1.000000 0.000000> normal <0.000000 1.000000 0.000000> vertex <0.000000 1.000000 1.000000> normal <0.000000 "
        "1.000000 0.000000> }\n"
        "smooth_triangle {vertex <1.000000 1.000000 0.000000> normal <0.000000 1.000000 0.000000> vertex <0.000000 "
        "1.000000 1.000000> normal <0.000000 1.000000 0.000000> vertex <1.000000 1.000000 1.000000> normal <0.000000 "
        "1.000000 0.000000> }\n"
        "surface{color 0.000000 0.000000 1.000000 ambient 0.5 diffuse 0.75}\n"
        "smooth_triangle {vertex <0.000000 0.000000 1.000000> normal <0.000000 0.000000 1.000000> vertex <1.000000 "
        "0.000000 1.000000> normal <0.000000 0.000000 1.000000> vertex <1.000000 1.000000 1.000000> normal <0.000000 "
        "0.000000 1.000000> }\n"
        "smooth_triangle {vertex <0.000000 0.000000 1.000000> normal <0.000000 0.000000 1.000000> vertex <1.000000 "
        "1.000000 1.000000> normal <0.000000 0.000000 1.000000> vertex <0.000000 1.000000 1.000000> normal <0.000000 "
        "0.000000 1.000000> }\n"
        "smooth_triangle {vertex <1.000000 0.000000 0.000000> normal <1.000000 0.000000 0.000000> vertex <1.000000 "
        "1.000000 0.000000> normal <1.000000 0.000000 0.000000> vertex <1.000000 1.000000 1.000000> normal <1.000000 "
        "0.000000 0.000000> }\n"
        "smooth_triangle {vertex <1.000000 0.000000 0.000000> normal <1.000000 0.000000 0.000000> vertex <1.000000 "
        "1.000000 1.000000> normal <1.000000 0.000000 0.000000> vertex <1.000000 0.000000 1.000000> normal <1.000000 "
        "0.000000 0.000000> }\n"
        "smooth_triangle {vertex <0.000000 1.000000 0.000000> normal <-1.000000 0.000000 0.000000> vertex <0.000000 "
        "0.000000 0.000000> normal <-1.000000 0.000000 0.000000> vertex <0.000000 0.000000 1.000000> normal <-1.000000 "
        "0.000000 0.000000> }\n"
        "smooth_triangle {vertex <0.000000 1.000000 0.000000> normal <-1.000000 0.000000 0.000000> vertex <0.000000 "
        "0.000000 1.000000> normal <-1.000000 0.000000 0.000000> vertex <0.000000 1.000000 1.000000> normal <-1.000000 "
        "0.000000 0.000000> }\n";
    EXPECT_EQ(both.inc, expected);
    // The scene file and the console are the default's, but for the advice
    // on what the default output leaves out.
    const conversion plain = convert(dir, {});
    EXPECT_EQ(both.vrx, plain.vrx);
    const auto without_advice = [](const std::string& out) {
        std::string kept;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (!testkit::is_advice_line(line)) kept += line + "\n";
        return kept;
    };
    EXPECT_EQ(without_advice(both.run.out), without_advice(plain.run.out));
}
