#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <unistd.h>

#include "geometry/lens.hpp"
#include "geometry/vertex_normals.hpp"
#include "testkit/console.hpp"
#include "testkit/files.hpp"
#include "testkit/vrx_blocks.hpp"
#include "tests/drawn_for_test.hpp"
#include "tests/mixed_scene.hpp"
#include "tests/reader_input.hpp"
#include "writers/common/output_file.hpp"
#include "writers/common/parts.hpp"
#include "writers/common/text_output.hpp"
#include "writers/vrx/mesh_include.hpp"

using namespace tessvert;
namespace fs = std::filesystem;

namespace {

// A directory of the test's own; `dir / name` is a path in it, as text.
struct scratch_dir {
    testkit::temp_dir dir;
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

std::string slurp(const std::string& p) {
    return testkit::read_file(p);
}

// One object: the vertices (0,0,0), (1,0,0), (0,1,0) and the face 0, 1, 2.
scene one_triangle_scene(bool with_material) {
    scene s = init_scene();
    if (with_material) {
        append_material(s);
        s.materials.back().diffuse = {255, 128, 0};
    }
    append_object(s);
    mesh_object& o = s.objects.back();
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    o.faces = {{0, 1, 2}};
    return s;
}

std::string write_mesh(scene& s, const scratch_dir& dir, int triangle_mode, std::int32_t& faces) {
    testkit::recorder recorded;
    output_file out;
    EXPECT_TRUE(open_output(out, dir / "model.inc"));
    const drawn_scene d = drawn_for_test::draw(s, {.triangle_mode = triangle_mode});
    drawn_for_test::write_mesh(vrx_language, d, out);
    faces += static_cast<std::int32_t>(d.counts.faces);
    bool ok = commit_output_or_report(out, " All objects successfully dumped to: ", recorded.report);
    std::string console = recorded.text();
    EXPECT_TRUE(ok);
    EXPECT_EQ(console, " All objects successfully dumped to: " + (dir / "model.inc") + "\n");
    return slurp(dir / "model.inc");
}

const std::string orange_surface = "surface{color 1.000000 0.501961 0.000000 ambient 0.5 diffuse 0.75}\n";

}  // namespace

TEST(MeshInclude, FlatTriangleWorkedExample) {
    scratch_dir dir;
    scene s = one_triangle_scene(true);
    std::int32_t faces = 0;
    std::string text = write_mesh(s, dir, 1, faces);
    const std::string face_line =
        "triangle {vertex <0.000000 0.000000 0.000000> vertex <1.000000 0.000000 0.000000> "
        "vertex <0.000000 1.000000 0.000000> }\n";
    EXPECT_EQ(orange_surface.size() - 1, 66u);
    EXPECT_EQ(face_line.size() - 1, 119u);
    EXPECT_EQ(text, orange_surface + face_line);
    EXPECT_EQ(faces, 1);
}

TEST(MeshInclude, SmoothTriangleWorkedExampleHasNoSignOnZeroNormals) {
    scratch_dir dir;
    scene s = one_triangle_scene(true);
    for (mesh_object& o : s.objects) compute_object_normals(o);
    ASSERT_TRUE(std::signbit(s.objects[0].normals[0].x));  // the normals are (-0, -0, 1)
    std::int32_t faces = 0;
    std::string text = write_mesh(s, dir, 0, faces);
    const std::string face_line =
        "smooth_triangle {vertex <0.000000 0.000000 0.000000> normal <0.000000 0.000000 1.000000> "
        "vertex <1.000000 0.000000 0.000000> normal <0.000000 0.000000 1.000000> "
        "vertex <0.000000 1.000000 0.000000> normal <0.000000 0.000000 1.000000> }\n";
    EXPECT_EQ(face_line.size() - 1, 234u);
    EXPECT_EQ(text, orange_surface + face_line);
    EXPECT_EQ(faces, 1);
}

TEST(MeshInclude, SceneWithoutObjectsGivesAnEmptyFile) {
    scratch_dir dir;
    scene s = init_scene();
    std::int32_t faces = 0;
    EXPECT_EQ(write_mesh(s, dir, 0, faces), "");
    EXPECT_EQ(faces, 0);
}

TEST(MeshInclude, ObjectsWithoutAnyMaterialAreLightGrey) {
    scratch_dir dir;
    scene s = one_triangle_scene(false);
    std::int32_t faces = 0;
    std::string text = write_mesh(s, dir, 1, faces);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1),
              "surface{color 0.800000 0.800000 0.800000 ambient 0.5 diffuse 0.75}\n");
}

TEST(MeshInclude, EachObjectBlockFollowsItsOwnSurfaceLine) {
    scratch_dir dir;
    scene s = one_triangle_scene(true);
    append_material(s);
    s.materials.back().diffuse = {0, 0, 255};
    append_object(s);  // no faces: its surface line stands alone
    s.objects.back().material_index = 1;
    append_object(s);
    mesh_object& third = s.objects.back();
    third.vertices = {{-1.5f, 0.0078125f, 2}, {3, -0.0000001f, 4}};
    third.faces = {{0, 1, 1}, {1, 0, 0}};  // a vertex named twice is written twice
    std::int32_t faces = 0;
    std::string text = write_mesh(s, dir, 1, faces);
    EXPECT_EQ(faces, 3);
    EXPECT_EQ(text, orange_surface +
                        "triangle {vertex <0.000000 0.000000 0.000000> vertex <1.000000 0.000000 0.000000> "
                        "vertex <0.000000 1.000000 0.000000> }\n"
                        "surface{color 0.000000 0.000000 1.000000 ambient 0.5 diffuse 0.75}\n" +
                        orange_surface +
                        "triangle {vertex <-1.500000 0.007813 2.000000> vertex <3.000000 -0.000000 4.000000> "
                        "vertex <3.000000 -0.000000 4.000000> }\n"
                        "triangle {vertex <3.000000 -0.000000 4.000000> vertex <-1.500000 0.007813 2.000000> "
                        "vertex <-1.500000 0.007813 2.000000> }\n");
}

TEST(MeshInclude, FaceWithANonFiniteNormalIsWrittenFlat) {
    scratch_dir dir;
    scene s = one_triangle_scene(true);
    mesh_object& o = s.objects[0];
    // A degenerate face on the same vertices: all its corners get NaN normals
    // only when every face at a vertex is degenerate, so use its own vertex.
    o.vertices.push_back({5, 5, 5});
    o.faces.push_back({3, 3, 3});
    for (mesh_object& o : s.objects) compute_object_normals(o);
    ASSERT_TRUE(std::isnan(o.normals[3].x));
    std::int32_t faces = 0;
    std::string text = write_mesh(s, dir, 0, faces);
    EXPECT_EQ(faces, 2);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_NE(text.find("\ntriangle {vertex <5.000000 5.000000 5.000000> vertex <5.000000 5.000000 5.000000> "
                        "vertex <5.000000 5.000000 5.000000> }\n"),
              std::string::npos);
}

// Cuts of units of {3, 0, 5} items with a head each into parts of 4, of
// {4, 0, 4} without heads (an empty unit makes no part of its own), and of
// {2} into parts of 0 (taken as 1).
TEST(Parts, EachPartHoldsItsItemsAtMostAndEachHeadStaysWithItsFirstItem) {
    const auto cuts = [](std::vector<std::uint64_t> items, std::uint64_t head, std::size_t part) {
        std::vector<std::pair<std::uint32_t, std::uint64_t>> got;
        for (const part_place& p : cut_units(
                 items.size(), [&](std::size_t u) { return items[u]; }, head, part))
            got.emplace_back(p.unit, p.item);
        return got;
    };
    using cut_list = std::vector<std::pair<std::uint32_t, std::uint64_t>>;
    EXPECT_EQ(cuts({3, 0, 5}, 1, 4), (cut_list{{0, 0}, {1, 0}, {2, 2}, {3, 0}}));
    EXPECT_EQ(cuts({4, 0, 4}, 0, 4), (cut_list{{0, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(cuts({2}, 1, 0), (cut_list{{0, 0}, {0, 1}, {1, 0}}));
}

TEST(OutputFile, AMissingDirectoryReportsTheOpeningErrorAndWhy) {
    scratch_dir dir;
    output_file out;
    EXPECT_FALSE(open_output(out, dir / "nowhere/model.inc"));
    testkit::recorder recorded;
    EXPECT_FALSE(commit_output_or_report(out, "written: ", recorded.report));
    EXPECT_EQ(recorded.text(), "There was an error when opening the file: " + (dir / "nowhere/model.inc") +
                                   "\n Warning: " + (dir / "nowhere/model.inc") + ": No such file or directory\n");
}

namespace {

using testkit::camera_block;

const std::string settings_block = testkit::settings_block("model");

std::string write_scene(scene s, std::int32_t camera_select, const scratch_dir& dir, std::string* console) {
    testkit::recorder recorded;
    const drawn_scene d = drawn_for_test::draw(s, {.camera = camera_select});
    output_file out;
    EXPECT_TRUE(open_output(out, dir / "model.vrx"));
    drawn_for_test::write_scene(vrx_language, d, out);
    bool ok = commit_output_or_report(out, " All parameters successfully dumped to: ", recorded.report);
    *console = recorded.text();
    EXPECT_TRUE(ok);
    return slurp(dir / "model.vrx");
}

}  // namespace

TEST(SceneFile, NoCameraNoLightGivesTheDefaultView) {
    scratch_dir dir;
    std::string console;
    std::string text = write_scene(init_scene(), 0, dir, &console);
    EXPECT_EQ(text, camera_block("20.000000 20.000000 20.000000", "0.000000 0.000000 0.000000", "40.000000") +
                        "\n[All cameras from the file are listed below]\n\n[\n]\n" + settings_block +
                        "\ninclude \"model.inc\"\n");
    EXPECT_EQ(console, " All parameters successfully dumped to: " + (dir / "model.vrx") + "\n");
}

TEST(SceneFile, CamerasAreListedInFileOrderAndTheSelectedOneGivesTheView) {
    scratch_dir dir;
    scene s = init_scene();
    append_camera(s);
    s.cameras.back() = camera{{100, -50, 30}, {0, 0, 10}, 0, 50};
    append_camera(s);
    s.cameras.back() = camera{{1, 2, 3}, {4, 5, 6}, 0, 10};
    std::string console;
    const std::string first =
        camera_block("100.000000 -50.000000 30.000000", "0.000000 0.000000 10.000000", "39.148937");
    const std::string second = camera_block("1.000000 2.000000 3.000000", "4.000000 5.000000 6.000000", "97.872342");
    const std::string list = "\n[All cameras from the file are listed below]\n\n[\n" + first + second + "]\n";
    EXPECT_EQ(write_scene(s, 0, dir, &console), first + list + settings_block + "\ninclude \"model.inc\"\n");
    EXPECT_EQ(write_scene(s, 1, dir, &console), second + list + settings_block + "\ninclude \"model.inc\"\n");
}

TEST(SceneFile, LightsUseTheirFloatColourOrElseTheir24BitColour) {
    scratch_dir dir;
    scene s = init_scene();
    append_light(s);
    s.lights.back().position = {1, -2.5f, 0};
    s.lights.back().color = {1.0f, 0.5f, 0.25f};
    s.lights.back().has_float_color = 1;
    s.lights.back().color24 = {9, 9, 9};  // a float colour wins
    append_light(s);
    s.lights.back().color24 = {255, 128, 0};
    append_light(s);  // no colour at all
    std::string console;
    std::string text = write_scene(s, 0, dir, &console);
    const std::string lights =
        "light\n{\n\tposition <1.000000 -2.500000 0.000000>\n\tcolor 1.000000 0.500000 0.250000\n"
        "\tattenuation_type \"none\"\n}\n"
        "light\n{\n\tposition <0.000000 0.000000 0.000000>\n\tcolor 1.000000 0.501961 0.000000\n"
        "\tattenuation_type \"none\"\n}\n"
        "light\n{\n\tposition <0.000000 0.000000 0.000000>\n\tcolor 0.000000 0.000000 0.000000\n"
        "\tattenuation_type \"none\"\n}\n";
    EXPECT_NE(text.find(settings_block + lights + "\ninclude \"model.inc\"\n"), std::string::npos) << text;
}

TEST(OutputFile, AFailedCommitKeepsTheOlderFileAndLeavesNoTemporary) {
    scratch_dir dir;
    std::string path = dir / "out.txt";
    { std::ofstream(path) << "old contents"; }
    output_file out;
    ASSERT_TRUE(open_output(out, path));
    put_text(out, "new contents");
    out.write_failed = true;  // as after a write refused by a full disk
    EXPECT_FALSE(commit_output(out));
    EXPECT_EQ(slurp(path), "old contents");
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.dir.path)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

TEST(OutputFile, AnUncommittedOutputIsRemovedWhenDropped) {
    scratch_dir dir;
    {
        output_file out;
        ASSERT_TRUE(open_output(out, dir / "out.txt"));
        put_text(out, "partial");
    }
    EXPECT_TRUE(fs::is_empty(dir.dir.path));
}

TEST(OutputFile, LongTextsCrossTheBufferWhole) {
    scratch_dir dir;
    std::string big(3 * 1024 * 1024 + 17, 'x');
    for (std::size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>('a' + i % 26);
    output_file out;
    ASSERT_TRUE(open_output(out, dir / "big.txt"));
    put_text(out, big);
    put_text(out, "end");
    ASSERT_TRUE(commit_output(out));
    EXPECT_EQ(slurp(dir / "big.txt"), big + "end");
}

TEST(MeshParts, TheTextsOfAnyCutMakeTheWholeFile) {
    // One formatter makes every part, as a thread does: what it keeps from
    // one part or object to the next must never show in the text.
    for (const bool faithful : {false, true})
        for (const int triangle_mode : {0, 1}) {
            SCOPED_TRACE(std::string(faithful ? "faithful" : "default") + (triangle_mode ? ", flat" : ", smooth"));
            run_options options;
            options.triangle_mode = triangle_mode;
            options.materials = options.smoothing = faithful;
            reader_input::loaded l = reader_input::load_with(mixed::scene_bytes(), options);
            ASSERT_EQ(l.result, 1) << l.out;
            const drawn_scene d = drawn_for_test::draw(
                l.scene, {.triangle_mode = triangle_mode, .materials = faithful, .smoothing = faithful});
            scratch_dir dir;
            output_file out;
            ASSERT_TRUE(open_output(out, dir / "whole.inc"));
            drawn_for_test::write_mesh(vrx_language, d, out);
            ASSERT_TRUE(commit_output(out));
            const std::string whole = slurp(dir / "whole.inc");
            const auto faces = static_cast<std::int32_t>(d.counts.faces);
            ASSERT_GT(faces, 15000);

            const mesh_layout layout = lay_out_mesh(d);
            // The formatter keeps an object's texts from one part to the next
            // or not, as the writer on one thread or several does.
            for (const auto& [part_faces, keep] : {std::pair<std::size_t, bool>{1, false},
                                                   {1, true},
                                                   {2, false},
                                                   {97, false},
                                                   {97, true},
                                                   {256, false},
                                                   {4096, false},
                                                   {4096, true},
                                                   {100000, false}}) {
                SCOPED_TRACE("parts of " + std::to_string(part_faces) + " faces" + (keep ? ", texts kept" : ""));
                const std::vector<mesh_position> cuts = cut_mesh(l.scene, part_faces);
                EXPECT_GE(cuts.size() - 1, static_cast<std::size_t>(faces) / part_faces);
                mesh_formatter formatter;
                formatter.keep_texts = keep;
                std::string joined;
                for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
                    EXPECT_TRUE(cuts[k].object < cuts[k + 1].object ||
                                (cuts[k].object == cuts[k + 1].object && cuts[k].face < cuts[k + 1].face));
                    text_block text;
                    format_mesh_part(l.scene, layout, cuts[k], cuts[k + 1], formatter, text);
                    joined.append(text.data.get(), text.used);
                }
                EXPECT_TRUE(joined == whole);
            }
        }
}
