// What a first picture shows, rendered by the real POV-Ray: the lights
// (--lights), the axis up in the model (--up), the side the view is framed
// from (--view), and the finish of materials (highlights, reflections).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/pov_pictures.hpp"
#include "tests/render_pov.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using pov::brightness;
using pov::find;
using pov::height;
using pov::render_scene;
using pov::width;
using testkit::read_file;

namespace {

chunk percent_chunk(std::uint16_t id, std::uint16_t percent) {
    return make(id, {}, {make(0x0030, u16(percent))});
}

// A material of the colour that glows by itself: seen whatever the light.
chunk glowing(const std::string& name, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return material({material_name(name), diffuse(color24(r, g, b)), percent_chunk(0xA084, 100)});
}

bool lit(const std::array<int, 3>& c) {
    return brightness(c) > 40;
}

// The number triples of every "<x y z>" in the .vrx or the .inc text that
// follows `word`.
std::vector<std::array<double, 3>> triples_after(const std::string& text, const std::string& word) {
    std::vector<std::array<double, 3>> found;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        std::istringstream in(text.substr(at + word.size()));
        std::array<double, 3> v{};
        in >> v[0] >> v[1] >> v[2];
        found.push_back(v);
    }
    return found;
}

}  // namespace

// A white box whose only light, a spotlight, points away from it: the
// picture is black and one advice line names --lights both; the studio rig
// (alone or beside the file's light) shows the box. The .vrx gets the rig
// as lights of its own. A light inside the box lights no face either: it is
// behind every one of them. A black box shows nothing but highlights.
TEST(PovLights, AFileWhoseLightsLightNothingIsAdvisedAndTheStudioRigShowsIt) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const bytes scene =
        serialize(primary({version(3), editor({named_material("White", {diffuse(color24(255, 255, 255))}),
                                               box_object("Box", {-1, -1, -1}, {1, 1, 1}, "White"),
                                               named_object("Eye", {camera({4, -20, 6}, {0, 0, 0}, 0, 35)}),
                                               pov::lamp("Away", {0, -6, 0}, {spotlight({0, -30, 0}, 20, 30)})})}));
    const std::string advice = "--lights both adds a studio rig";
    std::vector<std::string> consoles;
    const std::vector<pov::render_result> pictures =
        pov::render_scenes(dir, scene, {{}, {"--lights", "studio"}, {"--lights", "both"}}, &consoles);
    EXPECT_CLEAN_RENDER(pictures[0]);
    EXPECT_EQ(find(pictures[0].picture, lit).count, 0);
    EXPECT_EQ(testkit::lines_with(consoles[0], " Warning: no light of the file lights a face").size(), 1u)
        << consoles[0];
    EXPECT_NE(consoles[0].find(advice), std::string::npos) << consoles[0];
    for (std::size_t k = 1; k < pictures.size(); ++k) {
        SCOPED_TRACE(k == 1 ? "studio" : "both");
        EXPECT_CLEAN_RENDER(pictures[k]);
        EXPECT_GT(find(pictures[k].picture, lit).count, 200);
        EXPECT_EQ(consoles[k].find(advice), std::string::npos) << consoles[k];
    }
    std::string console;

    for (const auto& [rig, lights] : {std::pair{"studio", 3u}, std::pair{"both", 4u}}) {
        ASSERT_EQ(e2e::run(dir / "0", {"-i", "s.3ds", "-o", "v", "--lights", rig}).exit_code, 1);
        EXPECT_EQ(triples_after(read_file(dir / "0" / "v.vrx"), "light\n{\n\tposition <").size(), lights) << rig;
    }

    const bytes inside =
        serialize(primary({version(3), editor({named_material("White", {diffuse(color24(255, 255, 255))}),
                                               box_object("Box", {-1, -1, -1}, {1, 1, 1}, "White"),
                                               named_object("Eye", {camera({4, -20, 6}, {0, 0, 0}, 0, 35)}),
                                               pov::lamp("Inside", {0, 0, 0.5f})})}));
    // Flat faces (-t): smooth normals would lean towards it at the corners.
    const pov::render_result dark = render_scene(dir, inside, {"-t"}, {}, &console);
    EXPECT_EQ(find(dark.picture, lit).count, 0);
    EXPECT_NE(console.find(advice), std::string::npos) << console;

    // A black box that has only highlights to show, flat, framed from a
    // corner as a file without a camera is: the headlight at the eye puts
    // none on its faces, turned away from the eye; the advice names the
    // rig, whose lights do.
    const bytes black = serialize(
        primary({version(3), editor({named_material("Black", {diffuse(color24(0, 0, 0)), percent_chunk(0xA040, 60),
                                                              percent_chunk(0xA041, 100)}),
                                     box_object("Box", {-1, -1, -1}, {1, 1, 1}, "Black")})}));
    const auto shines = [](const std::array<int, 3>& c) { return brightness(c) > 20; };
    const std::string black_advice = " Warning: every face is black but for its highlights";
    testkit::temp_dir black_dir;
    consoles.clear();
    const std::vector<pov::render_result> black_pictures =
        pov::render_scenes(black_dir, black, {{"-t"}, {"-t", "--lights", "both"}}, &consoles);
    EXPECT_EQ(find(black_pictures[0].picture, shines).count, 0);
    EXPECT_EQ(testkit::lines_with(consoles[0], black_advice).size(), 1u) << consoles[0];
    EXPECT_NE(consoles[0].find(advice), std::string::npos) << consoles[0];
    EXPECT_GT(find(black_pictures[1].picture, shines).count, 200);
    EXPECT_EQ(consoles[1].find(black_advice), std::string::npos) << consoles[1];

    // Lights and no face: nothing was drawn, which its own line says; no
    // light would show anything, so none is advised.
    testkit::write_file(dir / "bare.3ds", serialize(primary({version(3), editor({pov::lamp("Lamp", {0, 0, 5})})})));
    const e2e::result bare = e2e::run(dir.path, {"-i", "bare.3ds", "-o", "bare", "--format", "pov"});
    EXPECT_NE(bare.out.find(testkit::nothing_drawn_warning), std::string::npos) << bare.out;
    EXPECT_EQ(bare.out.find(advice), std::string::npos) << bare.out;
}

// A figure authored with y up, a red body under a green head, with a
// camera and a light in front of it in the same axes: --up y stands it
// upright, the camera and the light turned with it (a light left where it
// was would shine on it from above, out of the camera's sight). Framed
// without a camera, it lies on its side unless turned. The .vrx gets the
// turned numbers.
TEST(PovUp, AModelAuthoredWithYUpStandsUprightWithItsCameraAndLight) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const std::vector<chunk> figure = {
        named_material("Red", {diffuse(color24(255, 0, 0))}), named_material("Green", {diffuse(color24(0, 255, 0))}),
        box_object("Body", {-1, 0, -1}, {1, 4, 1}, "Red"), box_object("Head", {-1, 5, -1}, {1, 7, 1}, "Green")};
    std::vector<chunk> seen = figure;
    seen.push_back(named_object("Eye", {camera({0, 3.5f, 25}, {0, 3.5f, 0}, 0, 35)}));
    seen.push_back(pov::lamp("Front", {0, 3.5f, 25}));
    const pov::render_result upright = render_scene(dir, serialize(primary({version(3), editor(seen)})), {"--up", "y"});
    EXPECT_CLEAN_RENDER(upright);
    const pov::spot body = find(upright.picture, pov::red), head = find(upright.picture, pov::green);
    ASSERT_GT(body.count, 200);
    ASSERT_GT(head.count, 100);
    EXPECT_LT(head.y, body.y - 0.1 * height);
    EXPECT_NEAR(head.x, body.x, 0.05 * width);
    // It stands in the scene's own z-up world too: a blue floor added at
    // z = 0 lies below the horizon, the sky above it black. The scene is
    // included as a user would: POV-Ray tries "s.pov.inc" first for
    // #include "s.pov", so the mesh file must not take that name.
    const std::string floor_scene =
        "#version 3.7;\n#include \"s.pov\"\nplane { z, -0.01 pigment { rgb <0, 0, 1> } finish { emission 1 } }\n";
    testkit::write_file(dir / "floor.pov", bytes(floor_scene.begin(), floor_scene.end()));
    const pov::render_result floor = pov::render(dir.path, "floor.pov", width, height);
    EXPECT_CLEAN_RENDER(floor);
    EXPECT_TRUE(pov::blue(floor.picture.at(width / 10, height * 9 / 10)));
    EXPECT_EQ(brightness(floor.picture.at(width / 10, height / 10)), 0);

    ASSERT_EQ(e2e::run(dir.path, {"-i", "s.3ds", "-o", "v", "--up", "y"}).exit_code, 1);
    const std::string vrx = read_file(dir / "v.vrx");
    EXPECT_EQ(triples_after(vrx, "position <").front(), (std::array<double, 3>{0, -25, 3.5}));
    EXPECT_EQ(triples_after(vrx, "light\n{\n\tposition <").front(), (std::array<double, 3>{0, -25, 3.5}));
    double top = 0;
    for (const auto& v : triples_after(read_file(dir / "v.inc"), "vertex <")) top = std::max(top, v[2]);
    EXPECT_EQ(top, 7);

    const bytes unseen = serialize(primary({version(3), editor(figure)}));
    const std::vector<pov::render_result> pictures = pov::render_scenes(dir, unseen, {{"--up", "y"}, {}});
    for (const bool turned : {true, false}) {
        SCOPED_TRACE(turned ? "--up y" : "as authored");
        const pov::render_result& r = pictures[turned ? 0 : 1];
        EXPECT_CLEAN_RENDER(r);
        const pov::spot b = find(r.picture, pov::red), h = find(r.picture, pov::green);
        ASSERT_GT(h.count, 50);
        EXPECT_EQ(h.y < b.y - 0.1 * height, turned);
    }
}

// A grey cube with glowing markers beyond it along +x (red), +y (green)
// and +z (blue), and a camera of the file far out along +x: each side
// frames the view from its own direction even so, and the file's camera
// stays camera 1.
TEST(PovView, EachSideFramesTheInitialViewFromItsDirectionAndTheFilesCameraStays) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const bytes scene = serialize(
        primary({version(3), editor({named_material("Grey", {diffuse(color24(128, 128, 128))}),
                                     glowing("Red", 255, 0, 0), glowing("Green", 0, 255, 0), glowing("Blue", 0, 0, 255),
                                     box_object("Cube", {-1, -1, -1}, {1, 1, 1}, "Grey"),
                                     box_object("X", {2, -0.5f, -0.5f}, {3, 0.5f, 0.5f}, "Red"),
                                     box_object("Y", {-0.5f, 2, -0.5f}, {0.5f, 3, 0.5f}, "Green"),
                                     box_object("Z", {-0.5f, -0.5f, 2}, {0.5f, 0.5f, 3}, "Blue"),
                                     named_object("Far", {camera({20, 0, 0}, {0, 0, 0}, 0, 35)})})}));
    // Where each marker is, left or right of the centre and above or below
    // it: -1, +1, or 0 when it is near the centre or hidden.
    struct expected {
        const char* side;
        int red_x, green_x, green_y, blue_y;
    };
    const expected sides[] = {
        {"front", 1, 0, 0, -1}, {"back", -1, 0, 0, -1}, {"left", 0, -1, 0, -1}, {"right", 0, 1, 0, -1},
        {"top", 1, 0, -1, 0},   {"bottom", 1, 0, 1, 0}, {"iso", -1, 1, 1, -1},
    };
    const auto where = [](const pov::spot& s, double at, double size) {
        return s.count < 20 || std::abs(at - size / 2) < 0.1 * size ? 0 : at < size / 2 ? -1 : 1;
    };
    std::vector<std::vector<std::string>> options;
    for (const expected& e : sides) options.push_back({"--view", e.side});
    const std::vector<pov::render_result> pictures = pov::render_scenes(dir, scene, options);
    for (std::size_t k = 0; k < pictures.size(); ++k) {
        const expected& e = sides[k];
        const pov::render_result& r = pictures[k];
        SCOPED_TRACE(e.side);
        EXPECT_CLEAN_RENDER(r);
        const pov::spot red = find(r.picture, pov::red), green = find(r.picture, pov::green),
                        blue = find(r.picture, pov::blue);
        const int seen[4] = {where(red, red.x, width), where(green, green.x, width), where(green, green.y, height),
                             where(blue, blue.y, height)};
        const int wanted[4] = {e.red_x, e.green_x, e.green_y, e.blue_y};
        for (int k = 0; k < 4; ++k)
            if (wanted[k] != 0) {
                EXPECT_EQ(seen[k], wanted[k]) << "marker " << k;
            }
    }
    // The file's camera, from far along +x: the red marker in front of the
    // cube at the centre, green on the right.
    const pov::render_result far = pov::render(dir / "0", "s.pov", width, height, {"Declare=Camera=1"});
    const pov::spot red = find(far.picture, pov::red), green = find(far.picture, pov::green);
    EXPECT_NEAR(red.x, width / 2.0, 0.05 * width);
    EXPECT_GT(green.x, 0.55 * width);
}

// A dark floor seen from one side with a light in the mirror position on
// the other: its highlight shines at the centre. A file without a
// shininess strength gets its highlight from the shininess and the
// specular colour; a shininess of 0 gives none, whatever the strength.
TEST(PovLooks, AHighlightFollowsTheShininessWithOrWithoutAStrength) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const auto floor = [](std::vector<chunk> finish) {
        finish.insert(finish.begin(), {material_name("Floor"), diffuse(color24(40, 40, 40)),
                                       make(0xA030, {}, {color24(255, 255, 255)})});
        const std::vector<xyz> corners = {{-30, -30, 0}, {30, -30, 0}, {30, 30, 0}, {-30, 30, 0}};
        return serialize(primary(
            {version(3),
             editor({material(finish),
                     named_object("Floor", {triangle_mesh(
                                               {vertex_list(corners), face_list({{0, 1, 2}, {0, 2, 3}},
                                                                                {material_group("Floor", {0, 1})})})}),
                     named_object("Eye", {camera({0, -10, 10}, {0, 0, 0}, 0, 35)}), pov::lamp("Lamp", {0, 10, 10})})}));
    };
    const pov::render_result older = render_scene(dir, floor({percent_chunk(0xA040, 50)}));
    EXPECT_CLEAN_RENDER(older);
    EXPECT_GT(brightness(older.picture.at(width / 2, height / 2)), 150);
    EXPECT_LT(brightness(older.picture.at(width / 10, height / 2)), 80);

    const pov::render_result matte = render_scene(dir, floor({percent_chunk(0xA040, 0), percent_chunk(0xA041, 100)}));
    EXPECT_CLEAN_RENDER(matte);
    EXPECT_LT(brightness(matte.picture.at(width / 2, height / 2)), 80);
    EXPECT_EQ(find(matte.picture, [](const std::array<int, 3>& c) { return brightness(c) > 250; }).count, 0);
}

// A float colour is drawn as the file gives it, not as its byte: a very
// dark grey of 0.005 (its byte 1 is 0.0039) beside the byte 1, under a
// light strong enough to tell them apart in eight bits.
TEST(PovLooks, AFloatColourIsDrawnUnrounded) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const bytes scene =
        serialize(primary({version(3), editor({named_material("Float", {diffuse(color_float(0.005f, 0.005f, 0.005f))}),
                                               named_material("Byte", {diffuse(color24(1, 1, 1))}),
                                               box_object("Left", {-3, -1, -1}, {-1, 1, 1}, "Float"),
                                               box_object("Right", {1, -1, -1}, {3, 1, 1}, "Byte"),
                                               named_object("Eye", {camera({0, -20, 0}, {0, 0, 0}, 0, 35)}),
                                               pov::lamp("Lamp", {0, -20, 0}, {make(0x465B, f32s({1000}))})})}));
    const pov::render_result r = render_scene(dir, scene, {"-t"});
    EXPECT_CLEAN_RENDER(r);
    const int left = brightness(r.picture.at(width * 2 / 5, height / 2));
    const int right = brightness(r.picture.at(width * 3 / 5, height / 2));
    EXPECT_GT(right, 60);
    EXPECT_GT(left, right + 8);
}

// A black floor with a reflection map mirrors the glowing red box that
// stands on it: red below the box, where the floor alone is black. The
// map's image is not needed (nor there).
TEST(PovLooks, AReflectionMapMakesTheSurfaceMirrorItsSurroundings) {
    REQUIRE_POVRAY();
    testkit::temp_dir dir;
    const auto scene = [](std::vector<chunk> maps) {
        std::vector<chunk> floor = {material_name("Floor"), diffuse(color24(0, 0, 0)),
                                    make(0xA030, {}, {color24(255, 255, 255)})};
        floor.insert(floor.end(), maps.begin(), maps.end());
        const std::vector<xyz> corners = {{-30, -30, 0}, {30, -30, 0}, {30, 30, 0}, {-30, 30, 0}};
        return serialize(primary(
            {version(3), editor({material(floor), glowing("Red", 255, 0, 0),
                                 named_object("Floor", {triangle_mesh({vertex_list(corners),
                                                                       face_list({{0, 1, 2}, {0, 2, 3}},
                                                                                 {material_group("Floor", {0, 1})})})}),
                                 box_object("Box", {-1, -1, 0}, {1, 1, 2}, "Red"),
                                 named_object("Eye", {camera({0, -12, 3}, {0, 0, 1}, 0, 35)})})}));
    };
    const pov::render_result plain = render_scene(dir, scene({}));
    EXPECT_CLEAN_RENDER(plain);
    int bottom = 0;  // the lowest row of the box
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pov::red(plain.picture.at(x, y))) bottom = y;
    const auto red_below_box = [&](const testkit::picture& p) {
        int below = 0;
        for (int y = bottom + 2; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) below += p.at(x, y)[0] > 60 ? 1 : 0;
        return below;
    };
    const pov::render_result mirror =
        render_scene(dir, scene({make(0xA220, {}, {make(0x0030, u16(90)), map_name("ROOM.CEL")})}));
    EXPECT_CLEAN_RENDER(mirror);
    EXPECT_GT(find(plain.picture, pov::red).count, 300);
    EXPECT_EQ(red_below_box(plain.picture), 0);
    EXPECT_GT(red_below_box(mirror.picture), 200);
}
