// Texture maps in the POV-Ray output, rendered with the real POV-Ray: a unit
// square whose mapping coordinates equal its x and y, seen straight on and
// filling the picture, mapped with an image of four coloured quarters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/files.hpp"
#include "testkit/quarters.hpp"
#include "tests/render_pov.hpp"
#include "writers/pov/pov_uv_map.hpp"

using namespace tessvert;

namespace {

// Renders the square with the map placed as each of `maps`, over a white
// diffuse colour, into 32 x 32 pictures, several at once.
std::vector<testkit::picture> render_pictures(const std::vector<texture_map>& maps, double filter = 0) {
    testkit::temp_dir root;
    const std::string image = testkit::quarters_ppm();
    std::vector<std::filesystem::path> dirs;
    for (const texture_map& t : maps) {
        const std::filesystem::path dir = root.path / std::to_string(dirs.size());
        dirs.push_back(dir);
        std::filesystem::create_directory(dir);
        testkit::write_file(dir / "quarters.ppm", std::vector<std::uint8_t>(image.begin(), image.end()));
        std::string pigment;
        append_pov_map_pigment(pigment, t, "\"quarters.ppm\"", "ppm", "srgb <1, 1, 1>", filter);
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
    std::vector<testkit::picture> pictures;
    for (const pov::render_result& r : pov::render_all(dirs, "square.pov", 32, 32)) {
        EXPECT_CLEAN_RENDER(r);
        pictures.push_back(r.picture);
    }
    return pictures;
}

// The colours at the centres of the 4 x 4 cells of each square's picture,
// row by row from the top ("RRGG/...").
std::vector<std::string> render_squares(const std::vector<texture_map>& maps, double filter = 0) {
    std::vector<std::string> squares;
    for (const testkit::picture& p : render_pictures(maps, filter)) {
        if (p.width != 32 || p.height != 32) {
            squares.push_back("no picture");
            continue;
        }
        std::string cells;
        for (int row = 0; row < 4; ++row) {
            if (row > 0) cells += '/';
            for (int col = 0; col < 4; ++col) cells += testkit::colour_name(p.at(8 * col + 4, 8 * row + 4));
        }
        squares.push_back(cells);
    }
    return squares;
}

using cells = std::vector<std::string>;

}  // namespace

// Mapping coordinate (0, 0) is the image's bottom left and (1, 1) its top
// right: the square shows the image upright, unmirrored. A transparent
// material's image lets the black background through.
TEST(PovUvMap, TheImageLiesUprightWithItsBottomLeftAtZeroZero) {
    REQUIRE_POVRAY();
    EXPECT_EQ(render_squares({texture_map{}}), cells{"RRGG/RRGG/BBYY/BBYY"});
    EXPECT_EQ(render_squares({texture_map{}}, 1.0), cells{"KKKK/KKKK/KKKK/KKKK"});
}

TEST(PovUvMap, ScaleRepeatsTheImageAboutItsCentreAndOnceShowsTheDiffuseColourAround) {
    REQUIRE_POVRAY();
    texture_map twice;
    twice.u_scale = 2;
    texture_map once = twice;
    once.tiling = texture_no_tile;
    texture_map decal = twice;
    decal.tiling = texture_decal;
    texture_map half;
    half.u_scale = 0.5f;
    half.v_scale = 0.5f;
    half.tiling = texture_no_tile;  // the image's centre quarter fills the square
    // Two images across, the middle of the square the middle of one.
    EXPECT_EQ(render_squares({twice, once, decal, half}),
              (cells{"GRGR/GRGR/YBYB/YBYB", "WRGW/WRGW/WBYW/WBYW", "WRGW/WRGW/WBYW/WBYW", "RRGG/RRGG/BBYY/BBYY"}));
}

// The u offset moves the image right, the v offset down, by that fraction
// of its size.
TEST(PovUvMap, OffsetsMoveTheImageRightAndDown) {
    REQUIRE_POVRAY();
    texture_map right;
    right.u_offset = 0.25f;
    texture_map down;
    down.v_offset = 0.25f;
    EXPECT_EQ(render_squares({right, down}), (cells{"GRRG/GRRG/YBBY/YBBY", "BBYY/RRGG/RRGG/BBYY"}));
}

TEST(PovUvMap, MirroredTilingTurnsOverEveryOtherCopy) {
    REQUIRE_POVRAY();
    texture_map moved;  // half the image to the right: its right half on the left
    moved.u_offset = 0.5f;
    texture_map mirrored = moved;  // the copy on the left is mirrored
    mirrored.tiling = texture_mirror;
    texture_map up = mirrored;
    up.u_offset = 0;
    up.v_offset = 0.5f;
    EXPECT_EQ(render_squares({moved, mirrored, up}),
              (cells{"GGRR/GGRR/YYBB/YYBB", "RRRR/RRRR/BBBB/BBBB", "RRGG/RRGG/RRGG/RRGG"}));
}

// The rotation turns the image counter-clockwise about its centre.
TEST(PovUvMap, RotationTurnsTheImageAboutItsCentre) {
    REQUIRE_POVRAY();
    texture_map quarter;
    quarter.rotation = 90;
    texture_map back = quarter;
    back.rotation = -270;
    texture_map half;
    half.rotation = 180;
    EXPECT_EQ(render_squares({quarter, back, half}),
              (cells{"GGYY/GGYY/RRBB/RRBB", "GGYY/GGYY/RRBB/RRBB", "YYBB/YYBB/GGRR/GGRR"}));
}

TEST(PovUvMap, AnAmountBelowFullBlendsTheImageWithTheDiffuseColour) {
    REQUIRE_POVRAY();
    std::vector<texture_map> maps(4);
    for (std::size_t k = 0; k < maps.size(); ++k) maps[k].amount = 25.0f * static_cast<float>(k);
    const std::vector<testkit::picture> pictures = render_pictures(maps);
    ASSERT_EQ(pictures.size(), 4u);
    for (const testkit::picture& p : pictures) ASSERT_EQ(p.width, 32);
    for (int row = 0; row < 32; row += 8)
        for (int col = 0; col < 32; col += 8) EXPECT_EQ(testkit::colour_name(pictures[0].at(col + 4, row + 4)), 'W');
    // The red quarter over white: red stays full, green and blue come
    // from the white alone, the less the more of the image shows.
    int last_green = 256;
    for (std::size_t k = 1; k < pictures.size(); ++k) {
        const float amount = maps[k].amount;
        const auto red_quarter = pictures[k].at(4, 4), yellow_quarter = pictures[k].at(28, 28);
        EXPECT_GT(red_quarter[0], 250) << amount;
        EXPECT_GT(red_quarter[1], 60) << amount;
        EXPECT_LT(red_quarter[1], last_green - 10) << amount;
        EXPECT_EQ(red_quarter[1], red_quarter[2]) << amount;
        EXPECT_EQ(yellow_quarter[1], 255) << amount;
        EXPECT_EQ(yellow_quarter[2], red_quarter[2]) << amount;
        last_green = red_quarter[1];
    }
}
