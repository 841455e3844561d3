// The pieces of the POV-Ray output called directly: what the reader takes
// for it from the file, the identifiers, the parts of the mesh file.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "app/options.hpp"
#include "drawing/looks.hpp"
#include "geometry/corner_normals.hpp"
#include "geometry/vertex_normals.hpp"
#include "tests/mixed_scene.hpp"
#include "tests/reader_input.hpp"
#include "writers/pov/pov_mesh.hpp"
#include "writers/pov/pov_names.hpp"

namespace ch = chunks;
namespace tv = tessvert;

namespace {

tv::scene load(std::vector<ch::chunk> editor_children) {
    const reader_input::loaded l = reader_input::load_bytes(ch::serialize(ch::primary({ch::editor(editor_children)})));
    EXPECT_EQ(l.result, 1) << l.out;
    return l.scene;
}

ch::chunk percent(std::uint16_t id, std::uint16_t value) {
    return ch::make(id, {}, {ch::make(0x0030, ch::u16(value))});
}

}  // namespace

TEST(PovReader, MaterialShadingLightMultiplierAndEnvironmentAreRead) {
    const tv::scene s = load({
        ch::make(0x2100, {}, {ch::color_float(0.25f, 0.5f, 0.75f)}),
        ch::make(0x1200, {}, {ch::color24(0, 0, 255), ch::color24(9, 9, 9)}),
        ch::make(0x1201),
        ch::material({ch::material_name("M"), ch::make(0xA010, {}, {ch::color24(10, 20, 30)}),
                      ch::diffuse(ch::color24(200, 0, 0)), ch::make(0xA030, {}, {ch::color_float(1, 0.5f, 0)}),
                      percent(0xA040, 40), ch::make(0xA041, {}, {ch::make(0x0031, ch::f32s({0.6f}))}),
                      percent(0xA050, 150), percent(0xA084, 25)}),
        ch::named_object("L", {ch::light({0, 0, 0}, {ch::make(0x465B, ch::f32s({2.5f})), ch::make(0x4620)})}),
    });
    EXPECT_EQ(s.ambient_light, (std::array<float, 3>{0.25f, 0.5f, 0.75f}));
    EXPECT_FLOAT_EQ(s.background[2], 1.0f);  // the first colour sub-chunk
    EXPECT_EQ(s.background[0], 0.0f);
    EXPECT_EQ(s.use_background, 1);
    ASSERT_EQ(s.materials.size(), 1u);
    const tv::material& m = s.materials[0];
    EXPECT_EQ(m.diffuse, (std::array<std::uint8_t, 3>{200, 0, 0}));
    EXPECT_EQ(m.ambient, (std::array<std::uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(m.specular, (std::array<std::uint8_t, 3>{255, 128, 0}));
    EXPECT_EQ(m.has_specular, 1);
    EXPECT_FLOAT_EQ(m.shininess, 0.4f);
    EXPECT_FLOAT_EQ(m.shininess_strength, 0.6f);
    EXPECT_FLOAT_EQ(m.transparency, 1.0f);  // 150 % is clamped
    EXPECT_FLOAT_EQ(m.self_illumination, 0.25f);
    ASSERT_EQ(s.lights.size(), 1u);
    EXPECT_EQ(s.lights[0].multiplier, 2.5f);
    EXPECT_EQ(s.lights[0].is_off, 1);
}

// How materials look: a float colour unrounded and clamped, one that is
// not finite taken from its bytes; the highlight of a file without a
// shininess strength from the shininess, none for a shininess of 0; a
// reflection map's amount as the reflection.
TEST(PovLooks, FloatColoursHighlightsAndReflectionsAsDrawn) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const tv::scene s = load({
        ch::material({ch::material_name("Old"), ch::diffuse(ch::color_float(0.5f, 1.5f, -0.25f)),
                      ch::make(0xA030, {}, {ch::color_float(nan, 1, 1)}), percent(0xA040, 40),
                      ch::make(0xA220, {}, {ch::make(0x0030, ch::u16(90)), ch::map_name("ROOM.CEL")})}),
        ch::material({ch::material_name("Matte"), ch::diffuse(ch::color24(255, 128, 0)), percent(0xA040, 0),
                      percent(0xA041, 100)}),
    });
    ASSERT_EQ(s.materials.size(), 2u);
    const tv::material_look old = tv::look_of_material(s.materials[0]);
    EXPECT_EQ(old.colour_bytes, (std::array<std::uint8_t, 3>{128, 255, 0}));  // the .vrx's colour
    EXPECT_EQ(old.diffuse, (std::array<double, 3>{0.5, 1, 0}));
    EXPECT_EQ(old.specular, (std::array<double, 3>{0, 1, 1}));  // NaN: its bytes
    EXPECT_DOUBLE_EQ(old.highlight, double{s.materials[0].shininess} * (2.0 / 3));
    EXPECT_DOUBLE_EQ(old.reflection, 0.9);
    const tv::material_look matte = tv::look_of_material(s.materials[1]);
    EXPECT_EQ(matte.highlight, 0);
    EXPECT_EQ(matte.reflection, 0);
    EXPECT_DOUBLE_EQ(matte.diffuse[1], 128 * tv::byte_to_channel);
}

TEST(PovReader, APropertyChunkIsReadToItsEndLikeASkippedOne) {
    // An ambient colour whose sub-chunk claims more than the chunk holds,
    // and a multiplier chunk with bytes past its float: what follows each
    // is read as before, and nothing is taken from a cut sub-chunk.
    ch::chunk cut = ch::make(0xA010, ch::bytes{0x11, 0x00, 0x40, 0, 0, 0, 1, 2});
    const tv::scene s = load({
        ch::material({ch::material_name("M"), cut, ch::diffuse(ch::color24(1, 2, 3))}),
        ch::named_object("L", {ch::light({0, 0, 0}, {ch::make(0x465B, ch::cat({ch::f32s({3}), ch::u32(0x00000011)})),
                                                     ch::color24(7, 8, 9)})}),
        ch::material({ch::material_name("After")}),
    });
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.materials[0].ambient, (std::array<std::uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(s.materials[0].diffuse, (std::array<std::uint8_t, 3>{1, 2, 3}));
    EXPECT_EQ(s.materials[1].name, "After");
    EXPECT_EQ(s.lights.at(0).multiplier, 3.0f);
    EXPECT_EQ(s.lights.at(0).color24, (std::array<std::uint8_t, 3>{7, 8, 9}));
}

TEST(PovNames, IdentifiersAreMadeFromNamesUniqueAndNeverKeywords) {
    tv::scene s;
    for (const char* name : {"box", "box", "Left wing", "", "Ünïcode", "box_2"}) {
        tv::append_object(s);
        s.objects.back().name = name;
    }
    tv::append_material(s);
    s.materials.back().name = "box";
    tv::append_material(s);
    s.materials.back().name = std::string(60, 'x');
    const tv::pov_names n = tv::make_pov_names(s);
    EXPECT_EQ(n.objects,
              (std::vector<std::string>{"O_box", "O_box_2", "O_Left_wing", "O_", "O___n__code", "O_box_2_2"}));
    EXPECT_EQ(n.materials[0], "T_box");
    EXPECT_EQ(n.materials[1], "T_" + std::string(38, 'x'));
}

// The whole file made of the parts of `layout` cut into parts of
// `part_items` items.
std::string pov_mesh_text(const tv::scene& s, const tv::pov_mesh_layout& layout, std::size_t part_items) {
    const tv::pov_names names = tv::make_pov_names(s);
    const std::vector<tv::pov_position> cuts = tv::cut_pov_mesh(layout, part_items);
    tv::pov_mesh_formatter formatter;
    tv::text_block text;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
        tv::format_pov_mesh_part(s, names, layout, cuts[k], cuts[k + 1], formatter, text);
    return std::string(text.data.get(), text.used);
}

TEST(PovMesh, TheFileIsTheSameHoweverItIsCut) {
    // Read as a conversion reads it: the faces with a missing or a NaN
    // vertex are removed before the writer. Flat, and smooth with the
    // smoothing groups' normals (every section).
    for (const int triangle_mode : {1, 0}) {
        SCOPED_TRACE(triangle_mode == 1 ? "flat" : "smooth");
        tv::run_options options;
        options.materials = true;
        options.smoothing = triangle_mode == 0;
        options.triangle_mode = triangle_mode;
        const reader_input::loaded l = reader_input::load_with(mixed::scene_bytes(), options);
        ASSERT_EQ(l.result, 1) << l.out;
        const tv::scene& s = l.scene;
        const tv::pov_mesh_layout layout = tv::lay_out_pov_mesh(s, triangle_mode);
        const std::string whole = pov_mesh_text(s, layout, std::size_t{1} << 30);
        for (std::size_t part_items : {std::size_t{1}, std::size_t{7}, std::size_t{1000}})
            EXPECT_TRUE(pov_mesh_text(s, layout, part_items) == whole) << "parts of " << part_items << " items";
        // The vertices of the torn object's faces are listed, its NaN vertex
        // (used by no face left) is not.
        EXPECT_NE(whole.find("#declare O_Torn = mesh2 {\n  vertex_vectors { 4,\n"), std::string::npos);
        EXPECT_EQ(whole.find("nan"), std::string::npos);
        EXPECT_EQ(whole.find("O_Empty"), std::string::npos);
        EXPECT_EQ(whole.find("normal_indices") != std::string::npos, triangle_mode == 0);
    }
}

TEST(PovMesh, AFaceWhoseOwnCornerNormalIsNotUsableIsDrawnFlat) {
    // A sliver of mask 0 (its corners take its own normal, which has no
    // direction) beside two sound faces that give each of its vertices a
    // usable vertex normal: it alone is drawn flat, its normal after the 5
    // vertex normals and the 6 corner normals (at vertices 0, 1 and 3 those
    // of mask 1, then the sliver's own).
    tv::scene s = tv::init_scene();
    tv::append_object(s);
    tv::mesh_object& o = s.objects.back();
    o.name = "Fold";
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}};
    o.faces = {{0, 1, 2}, {1, 3, 4}, {0, 1, 3}};
    o.smoothing = {1, 1, 0};
    tv::compute_object_normals(o);
    tv::compute_corner_normals(o);
    ASSERT_EQ(o.smooth_normals.size(), 6u);
    const std::string text = pov_mesh_text(s, tv::lay_out_pov_mesh(s, 0), 1000);
    EXPECT_NE(text.find("normal_vectors { 12,"), std::string::npos) << text;
    EXPECT_NE(text.find("normal_indices { 3,\n    <5,7,2>,\n    <7,9,4>,\n    <11,11,11>\n"), std::string::npos)
        << text;
}

TEST(PovOptions, FormatNamesTheSceneFileWhereverItStandsAndTakesOnlyItsTwoValues) {
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"tessvert", "-o", "out/x", "--format", "pov"},
          std::vector<const char*>{"tessvert", "--format", "pov", "-o", "out/x"}}) {
        tv::run_options o;
        ASSERT_EQ(tv::parse_command_line(static_cast<int>(args.size()), args.data(), o), tv::parse_result::run);
        EXPECT_EQ(o.scene_path, "out/x.pov");
        EXPECT_EQ(o.include_path, "out/x.mesh.inc");
    }
    tv::run_options plain;
    const char* vrx[] = {"tessvert", "--format", "vrx"};
    ASSERT_EQ(tv::parse_command_line(3, vrx, plain), tv::parse_result::run);
    EXPECT_EQ(plain.scene_path, "model.vrx");
    tv::run_options wrong;
    std::string problem;
    const char* bad[] = {"tessvert", "--format", "POV"};
    EXPECT_EQ(tv::parse_command_line(3, bad, wrong, &problem), tv::parse_result::usage);
    EXPECT_EQ(problem, "--format takes vrx or pov or gltf, not \"POV\"");
}
