// Texture maps in the POV-Ray output, rendered with the real POV-Ray: a unit
// square whose mapping coordinates equal its x and y, seen straight on and
// filling the picture, mapped with an image of four coloured quarters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "testkit/files.hpp"
#include "testkit/quarters.hpp"
#include "tests/render_pov.hpp"
#include "writers/pov/pov_uv_map.hpp"

using namespace tessvert;

namespace {

// Renders the square with the map placed as `t`, over a white diffuse
// colour, into a 32 x 32 picture.
testkit::picture render_picture(const texture_map& t, double filter = 0) {
    testkit::temp_dir dir;
    const std::string image = testkit::quarters_ppm();
    testkit::write_file(dir / "quarters.ppm", std::vector<std::uint8_t>(image.begin(), image.end()));
    std::string pigment;
    append_pov_map_pigment(pigment, t, "\"quarters.ppm\"", "ppm", "srgb <1, 1, 1>", filter);
    {
        std::ofstream pov(dir / "square.pov");
        pov << "#version 3.7;\nglobal_settings { assumed_gamma 1.0 }\n"
               "camera { orthographic location <0.5, 0.5, -1> look_at <0.5, 0.5, 0> right x up y }\n"
               "mesh2 { vertex_vectors { 4, <0, 0, 0>, <1, 0, 0>, <1, 1, 0>, <0, 1, 0> }\n"
               "  uv_vectors { 4, <0, 0>, <1, 0>, <1, 1>, <0, 1> }\n"
               "  texture_list { 1, texture { pigment { "
            << pigment
            << " } finish { ambient 0 diffuse 0 emission 1 } } }\n"
               "  face_indices { 2, <0, 1, 2>, 0, <0, 2, 3>, 0 }\n"
               "  uv_indices { 2, <0, 1, 2>, <0, 2, 3> } }\n";
    }
    const pov::render_result r = pov::render(dir.path, "square.pov", 32, 32);
    EXPECT_CLEAN_RENDER(r);
    return r.picture;
}

// The colours at the centres of the 4 x 4 cells of the square's picture,
// row by row from the top ("RRGG/...").
std::string render_square(const texture_map& t, double filter = 0) {
    const testkit::picture p = render_picture(t, filter);
    if (p.width != 32 || p.height != 32) return "no picture";
    std::string cells;
    for (int row = 0; row < 4; ++row) {
        if (row > 0) cells += '/';
        for (int col = 0; col < 4; ++col) cells += testkit::colour_name(p.at(8 * col + 4, 8 * row + 4));
    }
    return cells;
}

}  // namespace

// Mapping coordinate (0, 0) is the image's bottom left and (1, 1) its top
// right: the square shows the image upright, unmirrored.
TEST(PovUvMap, TheImageLiesUprightWithItsBottomLeftAtZeroZero) {
    REQUIRE_POVRAY();
    EXPECT_EQ(render_square(texture_map{}), "RRGG/RRGG/BBYY/BBYY");
}

TEST(PovUvMap, ScaleRepeatsTheImageAboutItsCentreAndOnceShowsTheDiffuseColourAround) {
    REQUIRE_POVRAY();
    texture_map twice;
    twice.u_scale = 2;
    // Two images across, the middle of the square the middle of one.
    EXPECT_EQ(render_square(twice), "GRGR/GRGR/YBYB/YBYB");
    texture_map once = twice;
    once.tiling = texture_no_tile;
    EXPECT_EQ(render_square(once), "WRGW/WRGW/WBYW/WBYW");
    once.tiling = texture_decal;
    EXPECT_EQ(render_square(once), "WRGW/WRGW/WBYW/WBYW");
    texture_map half;
    half.u_scale = 0.5f;
    half.v_scale = 0.5f;
    half.tiling = texture_no_tile;  // the image's centre quarter fills the square
    EXPECT_EQ(render_square(half), "RRGG/RRGG/BBYY/BBYY");
}

// The u offset moves the image right, the v offset down, by that fraction
// of its size.
TEST(PovUvMap, OffsetsMoveTheImageRightAndDown) {
    REQUIRE_POVRAY();
    texture_map right;
    right.u_offset = 0.25f;
    EXPECT_EQ(render_square(right), "GRRG/GRRG/YBBY/YBBY");
    texture_map down;
    down.v_offset = 0.25f;
    EXPECT_EQ(render_square(down), "BBYY/RRGG/RRGG/BBYY");
}

TEST(PovUvMap, MirroredTilingTurnsOverEveryOtherCopy) {
    REQUIRE_POVRAY();
    texture_map moved;  // half the image to the right: its right half on the left
    moved.u_offset = 0.5f;
    EXPECT_EQ(render_square(moved), "GGRR/GGRR/YYBB/YYBB");
    moved.tiling = texture_mirror;  // the copy on the left is mirrored
    EXPECT_EQ(render_square(moved), "RRRR/RRRR/BBBB/BBBB");
    moved.u_offset = 0;
    moved.v_offset = 0.5f;
    EXPECT_EQ(render_square(moved), "RRGG/RRGG/RRGG/RRGG");
}

// The rotation turns the image counter-clockwise about its centre.
TEST(PovUvMap, RotationTurnsTheImageAboutItsCentre) {
    REQUIRE_POVRAY();
    texture_map quarter;
    quarter.rotation = 90;
    EXPECT_EQ(render_square(quarter), "GGYY/GGYY/RRBB/RRBB");
    quarter.rotation = -270;
    EXPECT_EQ(render_square(quarter), "GGYY/GGYY/RRBB/RRBB");
    texture_map half;
    half.rotation = 180;
    EXPECT_EQ(render_square(half), "YYBB/YYBB/GGRR/GGRR");
}

TEST(PovUvMap, AnAmountBelowFullBlendsTheImageWithTheDiffuseColour) {
    REQUIRE_POVRAY();
    texture_map t;
    t.amount = 0;
    EXPECT_EQ(render_square(t), "WWWW/WWWW/WWWW/WWWW");
    // The red quarter over white: red stays full, green and blue come
    // from the white alone, the less the more of the image shows.
    int last_green = 256;
    for (const float amount : {25.0f, 50.0f, 75.0f}) {
        t.amount = amount;
        const testkit::picture p = render_picture(t);
        ASSERT_EQ(p.width, 32);
        const auto red_quarter = p.at(4, 4), yellow_quarter = p.at(28, 28);
        EXPECT_GT(red_quarter[0], 250) << amount;
        EXPECT_GT(red_quarter[1], 60) << amount;
        EXPECT_LT(red_quarter[1], last_green - 10) << amount;
        EXPECT_EQ(red_quarter[1], red_quarter[2]) << amount;
        EXPECT_EQ(yellow_quarter[1], 255) << amount;
        EXPECT_EQ(yellow_quarter[2], red_quarter[2]) << amount;
        last_green = red_quarter[1];
    }
}

// A transparent material's image lets the black background through.
TEST(PovUvMap, TheTransparencyFiltersTheImage) {
    REQUIRE_POVRAY();
    EXPECT_EQ(render_square(texture_map{}, 1.0), "KKKK/KKKK/KKKK/KKKK");
}
