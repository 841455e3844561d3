// The POV-Ray scene (--format pov), rendered by the real POV-Ray: colours,
// the picture's orientation, lights, cameras chosen when rendering, the
// background; the files' text for one small scene; the same files on any
// number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/mixed_scene.hpp"
#include "tests/pov_pictures.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::read_file;
using testkit::write_file;
namespace fs = std::filesystem;

namespace {

using pov::blue;
using pov::brightness;
using pov::find;
using pov::green;
using pov::height;
using pov::lamp;
using pov::red;
using pov::render_scene;
using pov::spot;
using pov::width;

// Seen from (0, -20, 0) towards the origin, z up: a red box right of the
// line of sight and a green one above it.
bytes axes_scene(float bank = 0, std::vector<chunk> more = {}) {
    std::vector<chunk> items = {named_material("Red", {diffuse(color24(255, 0, 0))}),
                                named_material("Green", {diffuse(color24(0, 255, 0))}),
                                box_object("Right", {3, -1, -1}, {5, 1, 1}, "Red"),
                                box_object("Above", {-1, -1, 3}, {1, 1, 5}, "Green"),
                                named_object("Eye", {camera({0, -20, 0}, {0, 0, 0}, bank, 35)}),
                                lamp("Lamp", {0, -20, 0})};
    items.insert(items.end(), more.begin(), more.end());
    return serialize(primary({version(3), editor(items)}));
}

// A square `size` across centred on (x, y, z), facing up, in `material`.
chunk square(const std::string& name, const std::string& material, float x, float y, float z, float size) {
    const float h = size / 2;
    const std::vector<xyz> corners = {{x - h, y - h, z}, {x + h, y - h, z}, {x + h, y + h, z}, {x - h, y + h, z}};
    return named_object(
        name,
        {triangle_mesh({vertex_list(corners), face_list({{0, 1, 2}, {0, 2, 3}}, {material_group(material, {0, 1})})})});
}

// A white floor 60 x 60 at z = 0 seen from (0, -30, 30), lit by `light`.
bytes floor_scene(chunk light, std::vector<chunk> more = {}) {
    std::vector<chunk> items = {named_material("White", {diffuse(color24(255, 255, 255))}),
                                square("Floor", "White", 0, 0, 0, 60),
                                named_object("Eye", {camera({0, -30, 30}, {0, 0, 0}, 0, 35)}), std::move(light)};
    items.insert(items.end(), more.begin(), more.end());
    return serialize(primary({version(3), editor(items)}));
}

}  // namespace

TEST(PovRender, AMaterialKeepsItsColourAndThePictureIsNeitherMirroredNorUpsideDown) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const pov::render_result r = render_scene(dir, axes_scene());
    const spot right = find(r.picture, red), above = find(r.picture, green);
    ASSERT_GT(right.count, 50);
    ASSERT_GT(above.count, 50);
    EXPECT_GT(right.x, 0.6 * width);  // right of the line of sight: right half
    EXPECT_NEAR(right.y, height / 2.0, 0.1 * height);
    EXPECT_LT(above.y, 0.4 * height);  // above it: top half
    EXPECT_NEAR(above.x, width / 2.0, 0.1 * width);
}

TEST(PovRender, ACameraBankRollsThePictureAboutTheLineOfSight) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    // Rolled a quarter turn clockwise as seen from behind: what was above
    // the line of sight is now on the left, what was right of it above.
    const pov::render_result r = render_scene(dir, axes_scene(90));
    const spot right = find(r.picture, red), above = find(r.picture, green);
    ASSERT_GT(right.count, 50);
    ASSERT_GT(above.count, 50);
    EXPECT_LT(above.x, 0.4 * width);
    EXPECT_NEAR(above.y, height / 2.0, 0.1 * height);
    EXPECT_LT(right.y, 0.4 * height);
}

// Camera 0, the initial view, is what renders without a choice: with -c 0
// the file's second camera, not its first. The file's cameras are chosen on
// POV-Ray's command line.
TEST(PovRender, TheInitialViewByDefaultAndEachCameraOfTheFileOnPovRaysCommandLine) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    // Camera 2 looks from the other side: the red box is on the left.
    const bytes scene =
        axes_scene(0, {named_object("Back", {camera({0, 20, 0}, {0, 0, 0}, 0, 35)}), lamp("Lamp2", {0, 20, 0})});
    // The one scene rendered four times at once, each in a folder of its own.
    write_file(dir / "s.3ds", scene);
    ASSERT_EQ(e2e::run(dir.path, {"-i", "s.3ds", "-o", "s", "--format", "pov", "-c", "0"}).exit_code, 1);
    std::vector<fs::path> folders = {dir.path};
    for (const char* k : {"1", "2", "3"}) {
        folders.push_back(dir / k);
        fs::create_directory(folders.back());
        for (const char* file : {"s.pov", "s.mesh.inc"}) fs::copy_file(dir / file, folders.back() / file);
    }
    const std::vector<pov::render_result> pictures = pov::render_all(
        folders, "s.pov", width, height, {{}, {"Declare=Camera=2"}, {"Declare=Camera=1"}, {"Declare=Camera=7"}});
    const pov::render_result &initial = pictures[0], &back = pictures[1], &first = pictures[2], &none = pictures[3];
    EXPECT_CLEAN_RENDER(initial);
    const spot red_box = find(initial.picture, red), green_box = find(initial.picture, green);
    ASSERT_GT(red_box.count, 50);
    EXPECT_LT(red_box.x, 0.4 * width);
    EXPECT_LT(green_box.y, 0.4 * height);
    EXPECT_CLEAN_RENDER(back);
    EXPECT_TRUE(back.picture.rgb == initial.picture.rgb);

    EXPECT_CLEAN_RENDER(first);
    EXPECT_GT(find(first.picture, red).x, 0.6 * width);

    // A number that names no camera: the initial view, and POV-Ray says so.
    EXPECT_TRUE(none.picture.rgb == initial.picture.rgb);
    ASSERT_EQ(none.complaints.size(), 1u) << none.log;
    EXPECT_NE(none.complaints[0].find("Camera 7 is not a camera of this"), std::string::npos) << none.complaints[0];
}

TEST(PovRender, ASpotlightLightsItsConeAndNotTheRest) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    // From 40 units up, full cone angles of 20 and 30 degrees: full light
    // within 10 degrees of the axis, none past 15. Three tiles on the floor
    // lie 7, 13 and 17 degrees off it.
    const std::vector<chunk> tiles = {named_material("Red", {diffuse(color24(255, 0, 0))}),
                                      named_material("Green", {diffuse(color24(0, 255, 0))}),
                                      named_material("Blue", {diffuse(color24(0, 0, 255))}),
                                      square("In", "Red", 5, 0, 0.01f, 1),
                                      square("Edge", "Green", 9.2f, 0, 0.01f, 1),
                                      square("Out", "Blue", 12.4f, 0, 0.01f, 1)};
    const pov::render_result spot_lit =
        render_scene(dir, floor_scene(lamp("Spot", {0, 0, 40}, {spotlight({0, 0, 0}, 20, 30)}), tiles));
    const pov::render_result point_lit = render_scene(dir, floor_scene(lamp("Point", {0, 0, 40}), tiles));
    // The mean brightness, in each picture, of the pixels where the point
    // light shows a tile of that colour.
    const auto tile_brightness = [&](bool (*colour)(const std::array<int, 3>&)) {
        double spot = 0, point = 0;
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (colour(point_lit.picture.at(x, y))) {
                    spot += brightness(spot_lit.picture.at(x, y));
                    point += brightness(point_lit.picture.at(x, y));
                    ++n;
                }
        EXPECT_GT(n, 4);
        return std::pair{spot / std::max(n, 1), point / std::max(n, 1)};
    };
    const auto [in_spot, in_point] = tile_brightness(red);
    EXPECT_GT(in_spot, 0.9 * in_point);
    const auto [edge_spot, edge_point] = tile_brightness(green);
    EXPECT_GT(edge_spot, 0.05 * edge_point);
    EXPECT_LT(edge_spot, 0.8 * edge_point);
    const auto [out_spot, out_point] = tile_brightness(blue);
    EXPECT_GT(out_point, 100);
    EXPECT_LT(out_spot, 3);
}

TEST(PovRender, ALightFlaggedOffLeavesTheSceneDark) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    // No headlight stands in for it (--file-view). A multiplier of 0.25
    // dims the light against the same light at 1.
    const std::vector<pov::render_result> pictures =
        pov::render_scenes(dir, {{floor_scene(lamp("Off", {0, 0, 20}, {make(0x4620)})), {"--file-view"}},
                                 {floor_scene(lamp("Dim", {0, 0, 20}, {make(0x465B, f32s({0.25f}))})), {}},
                                 {floor_scene(lamp("Full", {0, 0, 20})), {}}});
    const pov::render_result &off = pictures[0], &dim = pictures[1], &full = pictures[2];
    EXPECT_CLEAN_RENDER(off);
    EXPECT_EQ(find(off.picture, [](const std::array<int, 3>& c) { return brightness(c) > 0; }).count, 0);
    EXPECT_GT(brightness(full.picture.at(width / 2, height / 2)),
              1.5 * brightness(dim.picture.at(width / 2, height / 2)));
    EXPECT_GT(brightness(dim.picture.at(width / 2, height / 2)), 20);
}

TEST(PovRender, TheBackgroundColourShowsWhenTheFileSaysToUseIt) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const chunk blue = make(0x1200, {}, {color_float(0, 0, 1)});
    const std::vector<pov::render_result> pictures =
        pov::render_scenes(dir, {{axes_scene(0, {blue, make(0x1201)}), {}}, {axes_scene(0, {blue}), {}}});
    EXPECT_EQ(pictures[0].picture.at(2, 2), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(pictures[1].picture.at(2, 2), (std::array<int, 3>{0, 0, 0}));
}

namespace {

// Two faces at a fold, in different smoothing groups (so their shared
// corners take two normals), an unused vertex, and a shiny, half
// transparent material; an object named like a keyword and another of the
// same name; a camera, a spotlight, an ambient light and a background.
bytes small_scene() {
    const std::vector<xyz> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {7, 7, 7}};
    const auto pct = [](std::uint16_t p) { return make(0x0030, u16(p)); };
    return serialize(primary(
        {version(3),
         editor(
             {make(0x2100, {}, {color_float(0.1f, 0.2f, 0.3f)}), make(0x1200, {}, {color24(0, 0, 255)}), make(0x1201),
              material({material_name("Red glass"), make(0xA010, {}, {color24(51, 0, 0)}), diffuse(color24(255, 0, 0)),
                        make(0xA030, {}, {color24(255, 255, 255)}), make(0xA040, {}, {pct(50)}),
                        make(0xA041, {}, {pct(80)}), make(0xA050, {}, {pct(40)}), make(0xA084, {}, {pct(10)})}),
              named_object("box", {triangle_mesh({vertex_list(v), face_list({{0, 1, 2}, {0, 3, 1}},
                                                                            {material_group("Red glass", {0}),
                                                                             make(0x4150, cat({u32(1), u32(2)}))})})}),
              named_object("box",
                           {triangle_mesh({vertex_list({{2, 0, 0}, {3, 0, 0}, {2, 1, 0}}), face_list({{0, 1, 2}})})}),
              named_object("Eye", {camera({0, -10, 2}, {0, 0, 0}, 0, 50)}),
              named_object("Spot", {light({0, 0, 10}, {color24(255, 255, 255), spotlight({0, 0, 0}, 40, 60),
                                                       make(0x465B, f32s({2}))})})})}));
}

// What the two files hold: the vertices used, each once; per corner the
// normal of its smoothing group; the second face, in no material group,
// in the object's material; the spotlight's half angles and multiplier.
const char* const small_pov = R"pov(// small.pov: a 3DS scene for POV-Ray 3.7; its meshes are in small.mesh.inc.
// Render it in the folder that holds both files:
//   povray +W1024 +H768 +A small.pov
// Camera 0 is the initial view and the default; camera 1 is the file's.
// Choose one on the command line, for example:
//   povray +W1024 +H768 +A Declare=Camera=1 small.pov
// Coordinates are the 3DS file's own: right-handed, z up.
#version 3.7;

global_settings { assumed_gamma 1.0 ambient_light rgb <0.100000, 0.200000, 0.300000> }
background { srgb <0.000000, 0.000000, 1.000000> }

#ifndef (Camera)
  #declare Camera = 0;
#end
#if (Camera < 0 | Camera > 1 | Camera != int(Camera))
  #warning concat("Camera ", str(Camera, 0, (Camera = int(Camera) ? 0 : -1)), " is not a camera of this scene (0 to 1); the initial view is used")
  #declare Camera = 0;
#end
#switch (Camera)
  #case (0)
  camera {
    location <0.000000, -10.000000, 2.000000>
    look_at <0.000000, 0.000000, 0.000000>
    sky <0.000000, 0.196116, 0.980581>
    right -4/3*x
    up y
    angle 39.148937
  }
  #break
  #case (1)
  camera {
    location <0.000000, -10.000000, 2.000000>
    look_at <0.000000, 0.000000, 0.000000>
    sky <0.000000, 0.196116, 0.980581>
    right -4/3*x
    up y
    angle 39.148937
  }
  #break
#end

light_source {
  <0.000000, 0.000000, 10.000000>
  rgb <2.000000, 2.000000, 2.000000>
  spotlight
  point_at <0.000000, 0.000000, 0.000000>
  radius 20.000000
  falloff 30.000000
  tightness 0
}

#declare T_Red_glass = texture { pigment { srgbf <1.000000, 0.000000, 0.000000, 0.400000> } finish { ambient srgb <0.200000, 0.000000, 0.000000> diffuse 1 specular 0.800000 roughness 0.019802 emission 0.100000 } }

#include "small.mesh.inc"

object { O_box }
object { O_box_2 }
)pov";

const char* const small_inc = R"pov(#declare O_box = mesh2 {
  vertex_vectors { 4,
    <0.000000,0.000000,0.000000>,
    <1.000000,0.000000,0.000000>,
    <0.000000,1.000000,0.000000>,
    <0.000000,0.000000,1.000000>
  }
  normal_vectors { 8,
    <0.000000,0.707107,0.707107>,
    <0.000000,0.707107,0.707107>,
    <0.000000,0.000000,1.000000>,
    <0.000000,1.000000,0.000000>,
    <0.000000,0.000000,1.000000>,
    <0.000000,1.000000,0.000000>,
    <0.000000,0.000000,1.000000>,
    <0.000000,1.000000,0.000000>
  }
  texture_list { 1,
    texture { T_Red_glass }
  }
  face_indices { 2,
    <0,1,2>,0,
    <0,3,1>,0
  }
  normal_indices { 2,
    <4,6,2>,
    <5,3,7>
  }
}
#declare O_box_2 = mesh2 {
  vertex_vectors { 3,
    <2.000000,0.000000,0.000000>,
    <3.000000,0.000000,0.000000>,
    <2.000000,1.000000,0.000000>
  }
  normal_vectors { 3,
    <0.000000,0.000000,1.000000>,
    <0.000000,0.000000,1.000000>,
    <0.000000,0.000000,1.000000>
  }
  texture_list { 1,
    texture { T_Red_glass }
  }
  face_indices { 1,
    <0,1,2>,0
  }
  normal_indices { 1,
    <0,1,2>
  }
}
)pov";

}  // namespace

TEST(PovFiles, TheSceneAndMeshFilesOfASmallScene) {
    testkit::temp_dir dir;
    write_file(dir / "s.3ds", small_scene());
    // The default language's pair of the same name stays whole beside it.
    ASSERT_EQ(e2e::run(dir.path, {"-i", "s.3ds", "-o", "small"}).exit_code, 1);
    const std::string vrx_mesh = read_file(dir / "small.inc");
    const e2e::result r = e2e::run(dir.path, {"-i", "s.3ds", "-o", "small", "--format", "pov"});
    ASSERT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(" All parameters successfully dumped to: small.pov\n All objects successfully dumped to: "
                         "small.mesh.inc\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(e2e::list_files(dir.path),
              (std::vector<std::string>{"s.3ds", "small.inc", "small.mesh.inc", "small.pov", "small.vrx"}));
    EXPECT_EQ(read_file(dir / "small.inc"), vrx_mesh);
    EXPECT_EQ(read_file(dir / "small.pov"), small_pov);
    EXPECT_EQ(read_file(dir / "small.mesh.inc"), small_inc);
}

TEST(PovFiles, AFileNamePovRayCannotIncludeIsRefusedBeforeReadingButAFolderAboveItMayHoldAnything) {
    testkit::temp_dir dir;
    write_file(dir / "s.3ds", small_scene());
    // The include line names the mesh file by its own name: POV-Ray 3.7
    // opens no name beyond ASCII, and keeps a backslash as it is.
    for (const std::string name : {"t\xC3\xA9", "a\\b"}) {
        SCOPED_TRACE(name);
        const e2e::result r = e2e::run(dir.path, {"-i", "s.3ds", "-o", name, "--format", "pov"});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        ASSERT_EQ(testkit::count_warnings(r.out), 1u) << r.out;
        EXPECT_NE(r.out.find("POV-Ray 3.7 cannot open from the scene's include line; nothing was converted"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("Reading"), std::string::npos) << r.out;
        EXPECT_EQ(e2e::list_files(dir.path), std::vector<std::string>{"s.3ds"});
    }
    std::filesystem::create_directory(dir / "d\xC3\xA9j\xC3\xA0");
    const e2e::result r = e2e::run(dir.path, {"-i", "s.3ds", "-o", "d\xC3\xA9j\xC3\xA0/t", "--format", "pov"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(testkit::count_warnings(r.out), 0u) << r.out;
    EXPECT_NE(read_file(dir / "d\xC3\xA9j\xC3\xA0" / "t.pov").find("#include \"t.mesh.inc\""), std::string::npos);
}

// A scene's two files are saved together or not at all: a mesh file
// beside an older scene file would declare other names than it uses.
TEST(PovFiles, WhenOneFileCannotBeWrittenNeitherReplacesTheOlderPair) {
    testkit::temp_dir dir;
    write_file(dir / "s.3ds", small_scene());
    {
        std::ofstream(dir / "x.pov") << "older scene";
        std::ofstream(dir / "x.mesh.inc") << "older meshes";
    }
    e2e::limits full_disk;
    // The scene file's text is the first write to a file.
    full_disk.environment = {std::string("LD_PRELOAD=") + TESSVERT_FAULT_SHIM, "TESSVERT_FAULT_WRITE_CALL=1",
                             "TESSVERT_FAULT_ERRNO=28"};
    const char* asan = std::getenv("ASAN_OPTIONS");
    full_disk.environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
    const e2e::result r = e2e::run(dir.path, {"-i", "s.3ds", "-o", "x", "--format", "pov"}, full_disk);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("There was an error when writing the file: x.pov\n Warning: x.pov: No space left on device\n"
                         " Warning: x.mesh.inc was not saved: the files of a scene are saved together or not at all\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(dir / "x.pov"), "older scene");
    EXPECT_EQ(read_file(dir / "x.mesh.inc"), "older meshes");
    EXPECT_EQ(e2e::list_files(dir.path), (std::vector<std::string>{"s.3ds", "x.mesh.inc", "x.pov"}));
}

TEST(PovFiles, TheSameFilesOnAnyNumberOfThreadsAndTheyRenderCleanly) {
    testkit::temp_dir dir;
    write_file(dir / "mixed.3ds", mixed::scene_bytes());
    for (const char* mode : {"", "-t"}) {
        SCOPED_TRACE(mode);
        const auto convert = [&](const char* threads) {
            std::vector<std::string> args = {"-i", "mixed.3ds", "-o", "m", "--format", "pov", "--threads", threads};
            if (*mode != '\0') args.push_back(mode);
            const e2e::result r = e2e::run(dir.path, args);
            EXPECT_EQ(r.exit_code, 1) << r.out;
            return std::vector<std::string>{r.out, read_file(dir / "m.pov"), read_file(dir / "m.mesh.inc")};
        };
        const std::vector<std::string> one = convert("1");
        EXPECT_NE(one[2].find("#declare O_Sheet = mesh2"), std::string::npos);
        for (const char* threads : {"2", "7"}) EXPECT_EQ(convert(threads), one) << "--threads " << threads;
        if (!pov::povray_installed() && std::getenv("CI") == nullptr) continue;
        const pov::render_result r = pov::render(dir.path, "m.pov", 64, 48);
        EXPECT_CLEAN_RENDER(r);
    }
}

TEST(PovRender, SelfIlluminationShowsWithoutLightAndTransparencyLetsTheBackgroundThrough) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    // No light at all: only the self-illuminated box shows; the blue
    // background shows through the transparent one, tinted by its colour.
    const auto pct = [](std::uint16_t p) { return make(0x0030, u16(p)); };
    const bytes scene = serialize(primary(
        {version(3),
         editor({make(0x1200, {}, {color_float(0, 0, 1)}), make(0x1201),
                 material({material_name("Glow"), diffuse(color24(255, 0, 0)), make(0xA084, {}, {pct(100)})}),
                 material({material_name("Glass"), diffuse(color24(0, 255, 255)), make(0xA050, {}, {pct(100)})}),
                 box_object("Lit", {3, -1, -1}, {5, 1, 1}, "Glow"),
                 box_object("Clear", {-5, -1, -1}, {-3, 1, 1}, "Glass"),
                 named_object("Eye", {camera({0, -20, 0}, {0, 0, 0}, 0, 35)})})}));
    const pov::render_result r = render_scene(dir, scene);
    const spot glow = find(r.picture, red);
    EXPECT_GT(glow.count, 50);
    EXPECT_GT(glow.x, 0.6 * width);
    // The clear box is where the left box would be: the background's blue,
    // through a cyan filter, still blue.
    const spot left_blue = find(r.picture, [](const std::array<int, 3>& c) { return c[2] > 200 && c[0] < 30; });
    EXPECT_EQ(left_blue.count, width * height - glow.count);
}
