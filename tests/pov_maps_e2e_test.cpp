// Texture maps through the real binary and the real POV-Ray: a square of
// the 3DS file, seen straight on by the file's camera, mapped with an image
// of four coloured quarters that the test writes beside the 3DS file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

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

// Converts each scene of `jobs` (as in/sceneK.3ds, with its options) into
// outK/, renders them all at once and returns what their quarters show;
// `consoles` gets the binary's output of each.
std::vector<std::string> quarters_rendered_at_once(
    const e2e::temp_dir& dir, const std::vector<std::pair<ch::bytes, std::vector<std::string>>>& jobs,
    std::vector<std::string>& consoles) {
    std::vector<fs::path> folders;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::string n = std::to_string(k);
        fs::create_directory(dir / ("out" + n));
        EXPECT_TRUE(testkit::write_file(dir / "in" / ("scene" + n + ".3ds"), jobs[k].first));
        std::vector<std::string> args = {"-i", "in/scene" + n + ".3ds", "-o", "out" + n + "/scene", "--format", "pov"};
        args.insert(args.end(), jobs[k].second.begin(), jobs[k].second.end());
        const e2e::result r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1) << r.out;
        consoles.push_back(r.out);
        folders.push_back(dir / ("out" + n));
    }
    std::vector<std::string> seen;
    for (const pov::render_result& r : pov::render_all(folders, "scene.pov", 160, 120)) {
        EXPECT_CLEAN_RENDER(r);
        seen.push_back(quarters_seen(r.picture));
    }
    return seen;
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
    // The copy is named after its scene, so that no render takes its name.
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "scene-quarters.ppm"), testkit::quarters_ppm());
    // The converter leaves the pair and the copy, nothing else (POV-Ray its
    // home and log).
    EXPECT_EQ(
        e2e::list_files(d.dir / "out"),
        (std::vector<std::string>{"povray-home", "render.log", "scene-quarters.ppm", "scene.mesh.inc", "scene.pov"}));
}

TEST(PovMaps, ADifferentFileOfTheImagesNameIsKeptAndTheCopyTakesAnotherName) {
    REQUIRE_POVRAY();
    scene_dirs d;
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("quarters.ppm")));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    put(d.dir / "out" / "scene-quarters.ppm", "P6\n1 1\n255\n\x10\x20\x30");
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "scene-quarters.ppm"), "P6\n1 1\n255\n\x10\x20\x30");
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "scene-quarters-2.ppm"), testkit::quarters_ppm());
    // A second run finds its own copy and makes no other.
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_FALSE(fs::exists(d.dir / "out" / "scene-quarters-3.ppm"));
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
    EXPECT_EQ(testkit::read_file(d.dir / "out" / "scene-say _hi_.ppm"), testkit::quarters_ppm());
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
    const std::string inc = testkit::read_file(d.dir / "out" / "scene.mesh.inc");
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
        const std::string inc = testkit::read_file(dir / "out.mesh.inc");
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
    const std::string map = " Warning: the texture map \"quarters.ppm\" of material \"Paper\" ";
    const std::string plain = "; the material is drawn in its diffuse colour\n";
    for (const auto& [fault, said] :
         {std::pair{e2e::with_fault_shim({"TESSVERT_FAULT_WRITE_CALL=1", "TESSVERT_FAULT_ERRNO=28"}),
                    map + "could not be copied to out" + plain +
                        " Warning: out/scene-quarters.ppm: No space left on device\n"},
          std::pair{e2e::with_fault_shim({read_after}),
                    map + "cannot be read" + plain + " Warning: in/quarters.ppm: Input/output error\n"}}) {
        SCOPED_TRACE(said);
        const e2e::result failed = e2e::run(d.dir.path, args, fault);
        EXPECT_EQ(failed.exit_code, 1) << failed.out;
        EXPECT_NE(failed.out.find(said), std::string::npos) << failed.out;
        EXPECT_NE(failed.out.find("    Number of texture maps:\t0\n    Number of missing maps:\t1\n"),
                  std::string::npos)
            << failed.out;
        EXPECT_EQ(e2e::list_files(d.dir / "out"), (std::vector<std::string>{"scene.mesh.inc", "scene.pov"}));
        fs::remove(d.dir / "out" / "scene.mesh.inc");
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
    EXPECT_EQ(e2e::list_files(d.dir / "out"),
              (std::vector<std::string>{"scene-quarters.ppm", "scene.mesh.inc", "scene.pov"}));
}

// What a file holds decides how it is read, not its name: a TGA named
// .png is shown; an empty file and 200 MB of zeros (a hole in the file,
// which takes no disk) are no images, are not copied, and leave the
// diffuse colour.
TEST(PovMaps, AnImageIsReadAsWhatItHoldsAndWhatIsNoImageIsNotCopied) {
    REQUIRE_POVRAY();
    scene_dirs d;
    put(d.dir / "in" / "quarters.png", testkit::quarters_tga());
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("QUARTERS.PNG")));
    std::string console;
    EXPECT_EQ(quarters_rendered(d.dir, console), "RGBY");
    EXPECT_NE(console.find(" Warning: the texture map \"QUARTERS.PNG\" of material \"Paper\" holds a tga image, not a "
                           "png one as its name says; it is read as tga\n"),
              std::string::npos)
        << console;
    put(d.dir / "in" / "empty.png", "");
    put(d.dir / "in" / "zeros.png", "");
    fs::resize_file(d.dir / "in" / "zeros.png", std::uintmax_t{200} << 20);
    const std::pair<std::string, std::string> not_images[] = {
        {"empty.png", " is an empty file"},
        {"zeros.png", " does not hold a png image, as its name says, nor another that POV-Ray reads"}};
    for (const auto& [name, why] : not_images) {
        ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene(name)));
        EXPECT_EQ(quarters_rendered(d.dir, console), "WWWW");
        EXPECT_NE(console.find(" Warning: the texture map \"" + name + "\" of material \"Paper\"" + why +
                               "; the material is drawn in its diffuse colour\n"),
                  std::string::npos)
            << console;
    }
    EXPECT_EQ(
        e2e::list_files(d.dir / "out"),
        (std::vector<std::string>{"povray-home", "render.log", "scene-quarters.png", "scene.mesh.inc", "scene.pov"}));
}

// A link planted beside the 3DS file (as an unpacked archive may hold) is
// not followed, and what stands under a map's name is told; a private
// image gives a private copy.
TEST(PovMaps, OnlyRegularFilesBesideTheInputAreReadAndCopiesAreNoMoreReadable) {
    scene_dirs d;
    fs::create_symlink("/proc/self/environ", d.dir / "in" / "env.ppm");
    fs::create_directory(d.dir / "in" / "stone.ppm");
    const std::vector<std::string> args{"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"};
    const std::pair<std::string, std::string> odd[] = {
        {"ENV.PPM", "in/env.ppm, which is a symbolic link, which is not followed"},
        {"stone.ppm", "in/stone.ppm, which is a directory"}};
    for (const auto& [name, what] : odd) {
        ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene(name)));
        const e2e::result r = e2e::run(d.dir.path, args);
        EXPECT_EQ(r.exit_code, 1) << r.out;
        EXPECT_NE(r.out.find(" Warning: the texture map \"" + name + "\" of material \"Paper\" finds " + what +
                             ", not an image file; the material is drawn in its diffuse colour\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(e2e::list_files(d.dir / "out"), (std::vector<std::string>{"scene.mesh.inc", "scene.pov"}));
    }
    put(d.dir / "in" / "private.ppm", testkit::quarters_ppm());
    fs::permissions(d.dir / "in" / "private.ppm", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("private.ppm")));
    const mode_t umask_before = ::umask(022);
    const e2e::result r = e2e::run(d.dir.path, args);
    ::umask(umask_before);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(fs::status(d.dir / "out" / "scene-private.ppm").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

// An image that cannot be read is named, not its copy; a copy that cannot
// be put in place takes the scene with it: nothing of the scene is saved.
TEST(PovMaps, AnImageThatCannotBeReadOrPutInPlace) {
    scene_dirs d;
    const ch::bytes scene = square_scene("quarters.ppm");
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", scene));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    const std::vector<std::string> args{"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"};
    // Every read after the 3DS file's bytes fails.
    const e2e::result unread =
        e2e::run(d.dir.path, args, e2e::with_fault_shim({"TESSVERT_FAULT_READ_AFTER=" + std::to_string(scene.size())}));
    EXPECT_EQ(unread.exit_code, 1) << unread.out;
    EXPECT_NE(unread.out.find(" Warning: the texture map \"quarters.ppm\" of material \"Paper\" cannot be read; the "
                              "material is drawn in its diffuse colour\n Warning: in/quarters.ppm: Input/output "
                              "error\n"),
              std::string::npos)
        << unread.out;
    fs::remove(d.dir / "out" / "scene.pov");
    fs::remove(d.dir / "out" / "scene.mesh.inc");
    // The copy is put in place first: a file of its name appeared meanwhile.
    const e2e::result taken =
        e2e::run(d.dir.path, args, e2e::with_fault_shim({"TESSVERT_FAULT_RENAME_CALL=1", "TESSVERT_FAULT_ERRNO=17"}));
    EXPECT_EQ(taken.exit_code, 0);
    EXPECT_NE(taken.out.find("There was an error when writing the file: out/scene-quarters.ppm\n Warning: "
                             "out/scene-quarters.ppm: File exists\n"),
              std::string::npos)
        << taken.out;
    EXPECT_TRUE(e2e::list_files(d.dir / "out").empty());
}

// An output name that is a link into another folder: the scene file is
// written where the link ends, and its mesh file and images beside it.
TEST(PovMaps, AllOfASceneGoesToTheFolderItsFileIsWrittenTo) {
    REQUIRE_POVRAY();
    scene_dirs d;
    fs::create_directory(d.dir / "real");
    fs::create_symlink("../real/linked.pov", d.dir / "out" / "scene.pov");
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "scene.3ds", square_scene("quarters.ppm")));
    put(d.dir / "in" / "quarters.ppm", testkit::quarters_ppm());
    const e2e::result r = e2e::run(d.dir.path, {"-i", "in/scene.3ds", "-o", "out/scene", "--format", "pov"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find(" All objects successfully dumped to: out/../real/scene.mesh.inc\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(e2e::list_files(d.dir / "out"), std::vector<std::string>{"scene.pov"});
    EXPECT_TRUE(fs::is_symlink(d.dir / "out" / "scene.pov"));
    EXPECT_EQ(e2e::list_files(d.dir / "real"),
              (std::vector<std::string>{"linked-quarters.ppm", "linked.pov", "scene.mesh.inc"}));
    const pov::render_result rendered = pov::render(d.dir / "real", "linked.pov", 160, 120);
    EXPECT_CLEAN_RENDER(rendered);
    EXPECT_EQ(quarters_seen(rendered.picture), "RGBY");
}

namespace {

// A child process that is killed when a test ends before it was waited for.
struct child_guard {
    pid_t pid;
    bool reaped = false;
    ~child_guard() {
        if (reaped) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// Waits up to a minute for `done`; whether it came.
template <typename F>
bool wait_for(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// The image the scene file `pov` shows: the name in its image_map.
std::string image_shown(const std::string& pov) {
    std::smatch m;
    return std::regex_search(pov, m, std::regex("ppm \"([^\"]+)\"")) ? m[1].str() : "";
}

}  // namespace

// Two files of a batch, converted at once, whose copies want one name:
// "a" shows x-y.ppm and "a-x" shows y.ppm, both copied as a-x-y.ppm. The
// first file is held between choosing its copy's name and putting it in
// place (its mesh file is a FIFO that the test drains only once the second
// file is saved), and the second is read only once the first has chosen
// (its 3DS file is a FIFO too). Each scene keeps its own image.
TEST(PovMaps, TwoFilesOfABatchThatWantOneCopyNameAtOnceEachKeepTheirOwnImage) {
    scene_dirs d;
    put(d.dir / "in" / "x-y.ppm", testkit::quarters_ppm());
    put(d.dir / "in" / "y.ppm", "P6\n1 1\n255\n\x10\x20\x30");
    ASSERT_TRUE(testkit::write_file(d.dir / "in" / "a.3ds", square_scene("x-y.ppm")));
    ASSERT_EQ(::mkfifo((d.dir / "in" / "a-x.3ds").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((d.dir / "out" / "a.mesh.inc").c_str(), 0600), 0);
    child_guard child{
        e2e::spawn(d.dir.path, {"--batch", "out", "in/a.3ds", "in/a-x.3ds", "--format", "pov", "--threads", "2"})};
    // The first file's copy is written to its temporary: its name is chosen.
    ASSERT_TRUE(wait_for([&] {
        const std::vector<std::string> names = e2e::list_files(d.dir / "out");
        return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".tmp"); });
    }));
    const ch::bytes second = square_scene("y.ppm");
    std::ofstream(d.dir / "in" / "a-x.3ds", std::ios::binary)
        .write(reinterpret_cast<const char*>(second.data()), static_cast<std::streamsize>(second.size()));
    ASSERT_TRUE(wait_for([&] { return fs::exists(d.dir / "out" / "a-x.pov"); }));
    const std::string mesh = testkit::read_file(d.dir / "out" / "a.mesh.inc");  // lets the first file go on
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    child.reaped = true;
    const e2e::result r = e2e::collect(status, d.dir.path);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(mesh.find("mesh2"), std::string::npos);
    for (const auto& [scene, source] : {std::pair{"a.pov", "x-y.ppm"}, std::pair{"a-x.pov", "y.ppm"}}) {
        const std::string image = image_shown(testkit::read_file(d.dir / "out" / scene));
        ASSERT_FALSE(image.empty()) << scene;
        EXPECT_TRUE(testkit::read_file(d.dir / "out" / image) == testkit::read_file(d.dir / "in" / source))
            << scene << " shows " << image;
    }
}

namespace {

// Whether `inner` is `outer` or lies in it.
bool lies_in(const fs::path& inner, const fs::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

// A folder for a test outside /tmp and the home folder, which Debian's
// POV-Ray reads whole: beside the build, else /var/tmp; empty when
// neither is.
fs::path outside_open_folders() {
    for (const fs::path& parent : {fs::path(e2e::binary_path()).parent_path(), fs::path("/var/tmp")}) {
        std::error_code ec;
        const fs::path real = fs::canonical(parent, ec);
        if (ec) continue;
        bool open = false;
        for (const char* folder : std::initializer_list<const char*>{"/tmp", std::getenv("HOME")})
            if (folder != nullptr && fs::exists(folder) && lies_in(real, fs::canonical(folder))) open = true;
        if (!open) return real;
    }
    return {};
}

}  // namespace

// Debian's POV-Ray may read, for a scene outside the home folder and /tmp,
// only the current folder and not its subfolders ("read+write = ." in
// /etc/povray/3.7/povray.conf): the copies lie beside the scene, and the
// scene renders in such a folder. Whether this POV-Ray does restrict its
// reads there is found out and said; the copies are shown either way. And
// the picture that rendering one scene of a batch writes (cube.ppm beside
// cube.pov) never replaces the copy that another scene shows, though its
// map is named cube.ppm too.
TEST(PovMaps, CopiesBesideTheSceneRenderOutsideTheOpenFoldersAndNoRenderTakesTheirName) {
    REQUIRE_POVRAY();
    const fs::path parent = outside_open_folders();
    if (parent.empty()) GTEST_SKIP() << "no folder outside /tmp and the home folder to render in";
    const e2e::temp_dir dir(parent);
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "out" / "sub");
    put(dir / "out" / "sub" / "probe.ppm", testkit::quarters_ppm());
    put(dir / "out" / "probe.pov",
        "#version 3.7;\nglobal_settings { assumed_gamma 1.0 }\ncamera { location <0, 0, -1> look_at 0 }\n"
        "plane { z, 0 pigment { image_map { ppm \"sub/probe.ppm\" } } }\n");
    const bool subfolders_read = pov::render(dir / "out", "probe.pov", 8, 6).status == 0;
    const std::string conf = testkit::read_file("/etc/povray/3.7/povray.conf");
    std::cout << "[ NOTE     ] rendering in " << dir.path.string() << "; /etc/povray/3.7/povray.conf "
              << (conf.find("\nrestricted") != std::string::npos ? "restricts" : "does not restrict")
              << " reads; this POV-Ray " << (subfolders_read ? "reads" : "does not read")
              << " an image in a subfolder there\n";
    fs::remove_all(dir / "out");

    ASSERT_TRUE(testkit::write_file(dir / "in" / "cube.3ds", square_scene("")));
    ASSERT_TRUE(testkit::write_file(dir / "in" / "other.3ds", square_scene("cube.ppm")));
    put(dir / "in" / "cube.ppm", testkit::quarters_ppm());
    const e2e::result r = e2e::run(dir.path, {"--batch", "out", "in/cube.3ds", "in/other.3ds", "--format", "pov"});
    ASSERT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(e2e::list_files(dir / "out"),
              (std::vector<std::string>{"cube.mesh.inc", "cube.pov", "other-cube.ppm", "other.mesh.inc", "other.pov"}));
    // Rendered as `povray +FP cube.pov` names its picture.
    pov::render(dir / "out", "cube.pov", 16, 12, {"+Ocube.ppm"});
    ASSERT_TRUE(fs::exists(dir / "out" / "cube.ppm"));
    const pov::render_result other = pov::render(dir / "out", "other.pov", 160, 120);
    EXPECT_CLEAN_RENDER(other);
    EXPECT_EQ(quarters_seen(other.picture), "RGBY");
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
    const auto square = [&](std::vector<ch::chunk> more, bool lit = true) {
        return square_scene("", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, std::move(more),
                            lit ? std::optional<ch::xyz>(ch::xyz{0.5f, -2.5f, 0.5f}) : std::nullopt);
    };
    const auto pct = [](std::uint16_t p) { return ch::make(0x0030, ch::u16(p)); };
    // A dark grey square, shininess 30%, strength 100%.
    const std::vector<ch::chunk> shiny = {ch::diffuse(ch::color24(40, 40, 40)),
                                          ch::make(0xA030, {}, {ch::color24(255, 255, 255)}),
                                          ch::make(0xA040, {}, {pct(30)}), ch::make(0xA041, {}, {pct(100)})};
    std::vector<ch::chunk> mapped = shiny;
    mapped.push_back(map_chunk(0xA204, "HALF.PPM"));
    std::vector<std::string> consoles;
    const std::vector<std::string> seen = quarters_rendered_at_once(
        d.dir,
        {{square({map_chunk(0xA210, "HALF.PPM")}), {}},
         {square({ch::diffuse(ch::color24(255, 0, 0)), map_chunk(0xA33D, "HALF.PPM")}, false), {"--file-view"}},
         {square(shiny), {}},
         {square(mapped), {}}},
        consoles);
    // Opacity, self-illumination, the highlight alone, the specular map.
    EXPECT_EQ(seen, (std::vector<std::string>{"KWKW", "KRKR", "WWWW", "KWKW"}));
    EXPECT_EQ(consoles[0].find("Warning"), std::string::npos) << consoles[0];
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
