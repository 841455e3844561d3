// Texture maps through the real binary and the real POV-Ray: a square of
// the 3DS file, seen straight on by the file's camera, mapped with an image
// of four coloured quarters that the test writes beside the 3DS file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/quarters.hpp"
#include "tests/mixed_scene.hpp"
#include "tests/pov_conversion.hpp"

namespace ch = chunks;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The square x, z in 0..1 at y = 0, its mapping coordinates (x, z), facing
// the camera at y = -2.5 with a light beside it (at `lamp`; none when
// empty); a white material whose texture map is `map` (none when empty),
// followed by `more_material`. `uv` replaces the coordinates.
ch::bytes square_scene(const std::string& map,
                       std::vector<std::pair<float, float>> uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                       std::vector<ch::chunk> more_material = {},
                       std::optional<ch::xyz> lamp = ch::xyz{0.5f, -2.5f, 0.5f}) {
    std::vector<ch::chunk> material{ch::material_name("Paper"), ch::diffuse(ch::color24(255, 255, 255))};
    if (!map.empty()) material.push_back(ch::texture_map({ch::make(0x0030, ch::u16(100)), ch::map_name(map)}));
    for (ch::chunk& c : more_material) material.push_back(std::move(c));
    std::vector<ch::chunk> items = {
        ch::material(std::move(material)),
        ch::named_object("Square", {ch::triangle_mesh({
                                       ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}),
                                       ch::mapping_coords(uv),
                                       ch::face_list({{0, 1, 2}, {0, 2, 3}}, {ch::material_group("Paper", {0, 1})}),
                                   })}),
        ch::named_object("Eye", {ch::camera({0.5f, -2.5f, 0.5f}, {0.5f, 0, 0.5f}, 0, 35)})};
    if (lamp) items.push_back(ch::named_object("Lamp", {ch::light(*lamp, {ch::color_float(1, 1, 1)})}));
    return ch::serialize(ch::primary({ch::editor(std::move(items))}));
}

// An image whose left half (u below 0.5) is black and right half white,
// and one of `stripes` black and white stripes across u.
std::string halves_ppm(int stripes = 1) {
    std::string out = "P6\n16 16\n255\n";
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) out.append(3, (x * 2 * stripes / 16) % 2 == 1 ? '\xff' : '\0');
    return out;
}

// A map of the chunk `id` with the image `name` at 100%.
ch::chunk map_chunk(std::uint16_t id, const std::string& name) {
    return ch::make(id, {}, {ch::make(0x0030, ch::u16(100)), ch::map_name(name)});
}

// What the picture shows near the centres of the square's four quarters,
// top left, top right, bottom left, bottom right: 'R', 'G', 'B', 'Y', 'W'
// (white), '?' for anything else.
std::string quarters_seen(const testkit::picture& p) {
    std::string seen;
    for (const int dy : {-1, 1})
        for (const int dx : {-1, 1}) {
            seen +=
                testkit::colour_name(p.at(p.width / 2 + dx * p.width / 10, p.height / 2 + dy * p.height / 10), 180, 60);
        }
    return seen;
}

// Converts in/scene.3ds into out/ with the `options`, renders out/scene.pov
// and returns its picture; `console` gets the binary's output.
testkit::picture rendered_picture(const e2e::temp_dir& dir, std::string& console,
                                  const std::vector<std::string>& options = {}) {
    const pov::conversion_render r = pov::convert_and_render(dir.path, "in/scene.3ds", "out/scene", options);
    console = r.conversion.out;
    return r.render.picture;
}

// The same, what the picture's quarters show.
std::string quarters_rendered(const e2e::temp_dir& dir, std::string& console,
                              const std::vector<std::string>& options = {}) {
    return quarters_seen(rendered_picture(dir, console, options));
}

struct scene_dirs {
    e2e::temp_dir dir;
    scene_dirs() {
        fs::create_directory(dir / "in");
        fs::create_directory(dir / "out");
    }
};

}  // namespace

TEST(PovMaps, AnUpperCaseMapNameFindsItsLowerCaseImageWhichIsCopiedAndShownUpright) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("C:\\MAPS\\QUARTERS.PPM")));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_EQ(console.find("Warning"), std::string::npos) << console;
    EXPECT_NE(console.find("    Number of texture maps:\t1\n    Number of missing maps:\t0\n"), std::string::npos)
        << console;
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "quarters.ppm"), testkit::quarters_ppm());
    // The converter leaves the pair and the copy, nothing else (POV-Ray its
    // home and log).
    EXPECT_EQ(e2e::list_files(d.dir / "out"),
              (std::vector<std::string>{"povray-home", "quarters.ppm", "render.log", "scene.inc", "scene.pov"}));
}

TEST(PovMaps, ADifferentFileOfTheImagesNameIsKeptAndTheCopyTakesAnotherName) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("quarters.ppm")));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    put(d.dir / "out" / "quarters.ppm", "P6\n1 1\n255\n\x10\x20\x30");
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "quarters.ppm"), "P6\n1 1\n255\n\x10\x20\x30");
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "quarters-2.ppm"), testkit::quarters_ppm());
    // A second run finds its own copy and makes no other.
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_FALSE(fs::exists(d.dir / "out" / "quarters-3.ppm"));
}

// A double quote would end the scene's string inside the name: the copy
// carries an underscore for it, and POV-Ray finds the image.
TEST(PovMaps, AQuoteInTheImagesNameBecomesAnUnderscoreInItsCopy) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("say \"hi\".ppm")));
    put(d.dir / "in" / "say \"hi\".ppm", testkit::quarters_ppm());
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_NE(console.find("    Number of texture maps:\t1\n"), std::string::npos) << console;
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "say _hi_.ppm"), testkit::quarters_ppm());
}

TEST(PovMaps, AMissingImageOrUnreadableTypeLeavesTheDiffuseColourWithAWarning) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("GONE.PPM")));
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "WWWW");
    EXPECT_NE(console.find(" Warning: the texture map \"GONE.PPM\" of material \"Paper\" is not beside the 3DS file "
                           "(in in); the material is drawn in its diffuse colour\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("    Number of texture maps:\t0\n    Number of missing maps:\t1\n"), std::string::npos)
        << console;

    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("ANIM.CEL")));
    put(d.dir / "in" / "anim.cel", "not an image POV-Ray reads");
    EXPECT_EQ(quarters_rendered(d.dir, console), "WWWW");
    EXPECT_NE(console.find(" Warning: the texture map \"ANIM.CEL\" of material \"Paper\" is of a type POV-Ray cannot "
                           "read; the material is drawn in its diffuse colour\n"),
              std::string::npos)
        << console;
    EXPECT_FALSE(fs::exists(d.dir / "out" / "anim.cel"));
}

TEST(PovMaps, UnusableMappingCoordinatesAndOtherMapsAreNamedInWarnings) {
    REQUIRE_POVRAY();
    scene_dirs d;
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    std::string console;
    ASSERT_TRUE(
        testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("quarters.ppm", {{0, 0}, {1, 0}, {1, 1}})));
    EXPECT_EQ(quarters_rendered(d.dir, console), "WWWW");
    EXPECT_NE(console.find(" Warning: object \"Square\" has 3 mapping coordinates for its 4 vertices; they are not "
                           "used\n Warning: object \"Square\" has no mapping coordinates for the texture map of "
                           "material \"Paper\"; it is drawn in the diffuse colours of its materials\n"),
              std::string::npos)
        << console;

    // Maps whose images are missing, and a kind that is not converted.
    const std::vector<ch::chunk> others{ch::make(0xA230, {}, {ch::map_name("BUMP.GIF")}),
                                        ch::make(0xA210, {}, {ch::map_name("holes.gif")}),
                                        ch::make(0xA33C, {}, {ch::map_name("shine.gif")})};
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds",
                                    square_scene("quarters.ppm", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, others)));
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_NE(console.find(" Warning: the shininess map of material \"Paper\" is not converted (only texture, bump, "
                           "opacity, specular, self-illumination and reflection maps are)\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find(" Warning: the bump map \"BUMP.GIF\" of material \"Paper\" is not beside the 3DS file (in "
                           "in); the material is drawn without it\n Warning: the opacity map \"holes.gif\" of material "
                           "\"Paper\" is not beside the 3DS file (in in); the material is drawn without it\n"),
              std::string::npos)
        << console;
}

// Per corner, the .inc gives the file's own mapping coordinates.
TEST(PovMaps, EachCornerTakesItsVertexsMappingCoordinates) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds",
                                    square_scene("quarters.ppm", {{0.125f, -2}, {3.5f, 0}, {1, 0.75f}, {0, 1e-7f}})));
    const e2e::result r = e2e::run(d.dir.path, {"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"});
    ASSERT_EQ(r.exit_code, 1) << r.out;
    const std::string inc = testkit::read_file(d.dir / "out" / "scene.inc");
    EXPECT_NE(inc.find("  uv_vectors { 4,\n    <0.125000,-2.000000>,\n    <3.500000,0.000000>,\n    "
                       "<1.000000,0.750000>,\n    <0.000000,0.000000>\n  }\n"),
              std::string::npos)
        << inc;
    EXPECT_NE(inc.find("  uv_indices { 2,\n    <0,1,2>,\n    <0,2,3>\n  }\n"), std::string::npos) << inc;
}

// The uv sections are cut into parts like the others: the files are the
// same on any number of threads.
TEST(PovMaps, MappingCoordinatesAreTheSameWhateverTheThreadCount) {
    e2e::temp_dir dir;
    ASSERT_TRUE(testkit::write_file(dir / "mixed.3ds", mixed::scene_bytes()));
    std::string first_inc, first_out;
    for (const char* threads : {"1", "2", "7"}) {
        SCOPED_TRACE(threads);
        const e2e::result r =
            e2e::run(dir.path, {"-i", "mixed.3ds", "-o", "out", "--format", "pov", "--threads", threads});
        ASSERT_EQ(r.exit_code, 1) << r.out;
        const std::string inc = testkit::read_file(dir / "out.inc");
        if (first_inc.empty()) {
            EXPECT_NE(inc.find("  uv_vectors { 7381,\n    <0.000000,0.000000>,\n    <0.008333,0.000000>,"),
                      std::string::npos);
            EXPECT_NE(inc.find("    <1.000000,1.000000>\n  }\n"), std::string::npos);
            first_inc = inc;
            first_out = r.out;
        }
        EXPECT_TRUE(inc == first_inc);
        EXPECT_EQ(r.out, first_out);
    }
}

// The copy is an output like the others: a failed write leaves no copy and
// no temporary (the map is then missing), and a signal removes it.
TEST(PovMaps, AFailedOrInterruptedCopyLeavesNothingBehind) {
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("quarters.ppm")));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    const std::vector<std::string> args{"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"};
    // The disk full at the first write to a file, the copy's; then the
    // image failing to be read after its first 20 bytes (the 3DS file is
    // read before it).
    const std::string read_after =
        "TESSVERT_FAULT_READ_AFTER=" + std::to_string(fs::file_size(d.dir / "in" / "scene.3ds") + 20);
    for (const auto& [fault, reason] :
         {std::pair{e2e::with_fault_shim({"TESSVERT_FAULT_WRITE_CALL=1", "TESSVERT_FAULT_ERRNO=28"}),
                    "No space left on device"},
          std::pair{e2e::with_fault_shim({read_after}), "Input/output error"}}) {
        SCOPED_TRACE(reason);
        const e2e::result failed = e2e::run(d.dir.path, args, fault);
        EXPECT_EQ(failed.exit_code, 1) << failed.out;
        EXPECT_NE(
            failed.out.find(" Warning: the texture map \"quarters.ppm\" of material \"Paper\" could not be copied "
                            "to out; the material is drawn in its diffuse colour\n Warning: out/quarters.ppm: " +
                            std::string(reason) + "\n"),
            std::string::npos)
            << failed.out;
        EXPECT_NE(failed.out.find("    Number of texture maps:\t0\n    Number of missing maps:\t1\n"),
                  std::string::npos)
            << failed.out;
        EXPECT_EQ(e2e::list_files(d.dir / "out"), (std::vector<std::string>{"scene.inc", "scene.pov"}));
        fs::remove(d.dir / "out" / "scene.inc");
        fs::remove(d.dir / "out" / "scene.pov");
    }

    const e2e::result ended =
        e2e::run(d.dir.path, args, e2e::with_fault_shim({"TESSVERT_FAULT_WRITE_CALL=1", "TESSVERT_FAULT_SIGNAL=15"}));
    EXPECT_EQ(ended.signal, 15) << ended.out;
    EXPECT_TRUE(e2e::list_files(d.dir / "out").empty());
}

// Map names that find one image (the same name, or names that differ in
// case only) share one copy.
TEST(PovMaps, NamesThatFindOneImageShareItsCopy) {
    scene_dirs d;
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    const auto square = [](const std::string& name, const std::string& material) {
        return ch::named_object(
            name, {ch::triangle_mesh({ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}),
                                      ch::mapping_coords({{0, 0}, {1, 0}, {1, 1}, {0, 1}}),
                                      ch::face_list({{0, 1, 2}, {0, 2, 3}}, {ch::material_group(material, {0, 1})})})});
    };
    ASSERT_TRUE(testkit::write_file(
        d.dir / "in" / "scene.3ds",
        ch::serialize(ch::primary({ch::editor({
            ch::material({ch::material_name("Upper"), ch::texture_map({ch::map_name("QUARTERS.PPM")})}),
            ch::material({ch::material_name("Lower"), ch::texture_map({ch::map_name("quarters.ppm")})}),
            ch::material({ch::material_name("Again"), ch::texture_map({ch::map_name("QUARTERS.PPM")})}),
            square("A", "Upper"),
            square("B", "Lower"),
            square("C", "Again"),
        })}))));
    const e2e::result r = e2e::run(d.dir.path, {"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"});
    ASSERT_EQ(r.exit_code, 1) << r.out;
    // Each material that shows the image counts, the one that shares the
    // first one's map name too.
    EXPECT_NE(r.out.find("    Number of texture maps:\t3\n    Number of missing maps:\t0\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(e2e::list_files(d.dir / "out"), (std::vector<std::string>{"quarters.ppm", "scene.inc", "scene.pov"}));
}

// Images that vary a value over the surface, each black on the left half
// and white on the right: the opacity map lets the (black) background
// through where it is black, the self-illumination map makes the unlit
// square glow where it is white, the specular map keeps the highlight of a
// light at the eye where it is white.
TEST(PovMaps, OpacitySelfIlluminationAndSpecularMapsVaryTheSurfaceThroughTheirImages) {
    REQUIRE_POVRAY();
    scene_dirs d;
    put(d.dir / "in" / "half.ppm", halves_ppm());
    std::string console;
    const auto square = [&](std::vector<ch::chunk> more, bool lit = true) {
        ASSERT_TRUE(
            testkit::write_file(d.dir / "in" / "scene.3ds",
                                square_scene("", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, std::move(more),
                                             lit ? std::optional<ch::xyz>(ch::xyz{0.5f, -2.5f, 0.5f}) : std::nullopt)));
    };
    const auto pct = [](std::uint16_t p) { return ch::make(0x0030, ch::u16(p)); };
    square({map_chunk(0xA210, "HALF.PPM")});
    EXPECT_EQ(quarters_rendered(d.dir, console), "KWKW");
    EXPECT_EQ(console.find("Warning"), std::string::npos) << console;

    square({ch::diffuse(ch::color24(255, 0, 0)), map_chunk(0xA33D, "HALF.PPM")}, false);
    EXPECT_EQ(quarters_rendered(d.dir, console, {"--file-view"}), "KRKR");

    // A dark grey square, shininess 30%, strength 100%.
    const std::vector<ch::chunk> shiny = {ch::diffuse(ch::color24(40, 40, 40)),
                                          ch::make(0xA030, {}, {ch::color24(255, 255, 255)}),
                                          ch::make(0xA040, {}, {pct(30)}), ch::make(0xA041, {}, {pct(100)})};
    square(shiny);
    EXPECT_EQ(quarters_rendered(d.dir, console), "WWWW");
    std::vector<ch::chunk> mapped = shiny;
    mapped.push_back(map_chunk(0xA204, "HALF.PPM"));
    square(mapped);
    EXPECT_EQ(quarters_rendered(d.dir, console), "KWKW");
}

// A bump map of stripes, under a light from the left that grazes the
// square, shows the stripes' edges turned towards it and away; without it
// the square is even.
TEST(PovMaps, ABumpMapRaisesTheSurfaceWhereItsImageIsBright) {
    REQUIRE_POVRAY();
    scene_dirs d;
    put(d.dir / "in" / "stripes.ppm", halves_ppm(4));
    std::string console;
    const auto spread = [&](std::vector<ch::chunk> more) {
        EXPECT_TRUE(testkit::write_file(
            d.dir / "in" / "scene.3ds",
            square_scene("", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, std::move(more), ch::xyz{-3, -0.5f, 0.5f})));
        const testkit::picture p = rendered_picture(d.dir, console);
        int lo = 255, hi = 0;
        for (int x = p.width * 2 / 5; x < p.width * 3 / 5; ++x) {
            const auto c = p.at(x, p.height / 2);
            lo = std::min(lo, c[0]);
            hi = std::max(hi, c[0]);
        }
        return std::pair{lo, hi};
    };
    const auto [flat_lo, flat_hi] = spread({});
    EXPECT_GT(flat_lo, 30);  // the square, lit, across the row
    EXPECT_LT(flat_hi - flat_lo, 20);
    const auto [bumpy_lo, bumpy_hi] = spread({map_chunk(0xA230, "stripes.ppm")});
    EXPECT_GT(bumpy_hi - bumpy_lo, 80);
    EXPECT_EQ(console.find("Warning"), std::string::npos) << console;
}

// --maps: a folder searched after the 3DS file's, with its subfolders; the
// warning for a map found nowhere names the folders searched.
TEST(PovMaps, MapFoldersAreSearchedWithTheirSubfoldersAfterTheFilesOwn) {
    REQUIRE_POVRAY();
    scene_dirs d;
    fs::create_directories(d.dir / "library" / "paper" / "old");
    fs::create_directories(d.dir / "empty");
    put(d.dir / "library" / "paper" / "old" / "Quarters.ppm", testkit::quarters_ppm());
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("QUARTERS.PPM")));
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console, {"--maps", "empty", "--maps", "library"}), "RGBY");
    EXPECT_EQ(console.find("Warning"), std::string::npos) << console;

    EXPECT_EQ(quarters_rendered(d.dir, console, {"--maps", "empty"}), "WWWW");
    EXPECT_NE(console.find(" Warning: the texture map \"QUARTERS.PPM\" of material \"Paper\" is in none of the "
                           "folders searched (in and empty with its subfolders); the material is drawn in its diffuse "
                           "colour\n"),
              std::string::npos)
        << console;
    // The 3DS file's own folder comes first.
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    put(d.dir / "library" / "paper" / "old" / "Quarters.ppm", "P6\n1 1\n255\n\xff\xff\xff");
    EXPECT_EQ(quarters_rendered(d.dir, console, {"--maps", "library"}), "RGBY");
}
