// The 3DS reader through the loader:
// main level and loader messages, objects and meshes, materials, lights and
// cameras, and a realistic scene read end to end.
#include <gtest/gtest.h>
#include <algorithm>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/scene.hpp"
#include "reader/byte_stream.hpp"
#include "reader/chunk_stream.hpp"
#include "reader/handlers.hpp"
#include "reader/loader.hpp"
#include "reader_input.hpp"
#include "testkit/chunk_builder.hpp"

namespace ch = chunks;
namespace tv = tessvert;
using namespace reader_input;

namespace {

// A chunk whose declared length is set by hand.
ch::chunk with_length(ch::chunk c, std::uint32_t length) {
    c.length = length;
    return c;
}

// The usual frame: primary chunk, one editor chunk, the given chunks in it.
loaded load_editor(std::vector<ch::chunk> children, int compute_normals = 0) {
    return load_bytes(ch::serialize(ch::primary({ch::editor(std::move(children))})), compute_normals);
}

using ch::named_material;

ch::chunk textured_material(const std::string& name, const std::string& map) {
    return ch::material({ch::material_name(name), ch::texture_map({ch::map_name(map)})});
}
ch::chunk mesh_object(const std::string& name, std::vector<ch::chunk> mesh_children) {
    return ch::named_object(name, {ch::triangle_mesh(std::move(mesh_children))});
}
ch::chunk triangle_with_group(const std::string& name, std::vector<ch::chunk> groups) {
    return mesh_object(
        name, {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), ch::face_list({{0, 1, 2}}, std::move(groups))});
}
// The diffuse colour chunk around a colour sub-chunk given as raw payload.
ch::chunk diffuse_raw(std::uint16_t sub_id, ch::bytes payload) {
    return ch::diffuse(ch::make(sub_id, std::move(payload)));
}

using rgb = std::array<std::uint8_t, 3>;

}  // namespace

// ---------------------------------------------------------------------------
// Main level and loader.

TEST(ReaderMain, MissingFileOrNonPrimaryFirstChunkPrintTheirMessageAndFail) {
    {  // missing file prints its message and fails
        const std::string path = testing::TempDir() + "tessvert_rd_no_such_file.3ds";
        std::remove(path.c_str());
        tv::scene s = tv::init_scene();
        testkit::recorder console;
        tv::run_options options;
        options.input_path = path;
        EXPECT_FALSE(tv::read_scene(options, s, console.report));
        std::string out = console.text();
        EXPECT_EQ(out, " Unable to find the file: " + path + "!\n Warning: " + path + ": No such file or directory\n");
        EXPECT_EQ(s.object_count() + s.material_count() + s.light_count() + s.camera_count(), 0);
    }
    {  // a directory opens but cannot be read: its first read says why
        testkit::temp_dir dir;
        const std::string path = dir.path.string();
        tv::scene s = tv::init_scene();
        testkit::recorder console;
        tv::run_options options;
        options.input_path = path;
        EXPECT_FALSE(tv::read_scene(options, s, console.report));
        EXPECT_EQ(console.text(),
                  "  Unable to load PRIMARY chuck from file: " + path + "!\n Warning: " + path + ": Is a directory\n");
    }
    {  // non primary first chunk prints its message and fails
        std::vector<ch::bytes> files = {
            ch::serialize(ch::editor({named_material("A")})),
            ch::serialize(named_material("A")),
            ch::bytes{0x4D, 0x4D, 0x06},  // too short for a header
            ch::bytes{},
        };
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(i);
            loaded l = load_bytes(files[i], 1);
            EXPECT_EQ(l.result, 0);
            // The failure line, then one warning that says why.
            EXPECT_EQ(l.out.rfind("  Unable to load PRIMARY chuck from file: " + l.path + "!\n Warning: ", 0), 0u);
            EXPECT_EQ(std::count(l.out.begin(), l.out.end(), '\n'), 2);
            EXPECT_EQ(l.scene.material_count(), 0);
            EXPECT_TRUE(l.scene.materials.empty());
        }
    }
}

TEST(ReaderMain, PrimaryChunkAloneLoadsAnEmptyScene) {
    loaded l = load_bytes(header(0x4D4D, 6));
    EXPECT_EQ(l.result, 1);
    EXPECT_EQ(l.out, "\n Reading " + l.path + "...\n");
    EXPECT_EQ(l.scene.object_count() + l.scene.material_count() + l.scene.light_count() + l.scene.camera_count(), 0);

    loaded n = load_bytes(header(0x4D4D, 6), 1);
    EXPECT_EQ(n.result, 1);
    EXPECT_EQ(n.out, "\n Reading " + n.path + "...\n Computing normals...\n");
}

TEST(ReaderMain, TheWatcherHearsOfEachObjectOnceItsArraysAreFinal) {
    // A second face list replaces the first; an object holds a light; a
    // nested editor holds the last. 200 objects in all: the records move as
    // they are added, their arrays do not.
    std::vector<ch::chunk> objects = {
        ch::named_object(
            "Twice", {ch::triangle_mesh({ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), ch::face_list({{0, 1, 2}}),
                                         ch::face_list({{0, 1, 2}, {2, 1, 0}})})}),
        ch::named_object("Lamp", {ch::light({1, 2, 3})})};
    for (int i = 0; i < 197; ++i)
        objects.push_back(ch::box_object("Box" + std::to_string(i), {0, 0, 0}, {1, 1, 1}, ""));
    objects.push_back(ch::editor({ch::box_object("Inner", {0, 0, 0}, {2, 2, 2}, "")}));
    for (const bool hollow : {false, true}) {
        SCOPED_TRACE(hollow ? "a file refused for its hollow arrays" : "a file read whole");
        std::vector<ch::chunk> all = objects;
        // 178 objects declaring 65535 vertices each, holding none, make the
        // load fail: the scene is emptied only after reading_done.
        if (hollow)
            for (int i = 0; i < 178; ++i) all.push_back(ch::named_object("H", {ch::make(0x4110, ch::u16(65535))}));
        const ch::bytes file = ch::serialize(ch::primary({ch::editor(all)}));
        tv::scene s = tv::init_scene();
        struct seen {
            const tv::face* faces;
            std::size_t face_count;
        };
        std::vector<seen> heard;
        std::size_t objects_when_done = 0;
        int done_calls = 0;
        tv::load_watcher watcher;
        watcher.object_read = [&](std::size_t i) {
            EXPECT_EQ(i, heard.size());
            EXPECT_EQ(done_calls, 0);
            heard.push_back({s.objects[i].faces.data(), s.objects[i].faces.size()});
        };
        watcher.reading_done = [&] {
            ++done_calls;
            objects_when_done = s.objects.size();
        };
        testkit::recorder console;
        EXPECT_EQ(tv::load_scene_bytes(s, file.data(), file.size(), console.report, watcher).result,
                  hollow ? tv::load_result::too_little_data : tv::load_result::loaded);
        EXPECT_EQ(done_calls, 1);
        EXPECT_EQ(objects_when_done, heard.size());
        if (hollow) {  // reading stops once the arrays are over their budget
            EXPECT_GT(heard.size(), 200u);
            EXPECT_TRUE(s.objects.empty());
            continue;
        }
        ASSERT_EQ(s.objects.size(), heard.size());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            EXPECT_EQ(heard[i].faces, s.objects[i].faces.data()) << i;
            EXPECT_EQ(heard[i].face_count, s.objects[i].faces.size()) << i;
        }
        EXPECT_EQ(heard[0].face_count, 2u);
        EXPECT_EQ(heard[1].face_count, 0u);
    }
    // A file that is no scene, or is not there, is done with at once.
    int done_calls = 0;
    tv::load_watcher watcher;
    watcher.reading_done = [&] { ++done_calls; };
    testkit::recorder console;
    tv::scene s = tv::init_scene();
    const ch::bytes material_alone = ch::serialize(named_material("A"));
    EXPECT_EQ(tv::load_scene_bytes(s, material_alone.data(), material_alone.size(), console.report, watcher).result,
              tv::load_result::not_a_scene);
    EXPECT_EQ(tv::load_scene_file(s, testing::TempDir() + "tessvert_no_such_input.3ds", console.report, watcher).result,
              tv::load_result::not_opened);
    EXPECT_EQ(done_calls, 2);
}

TEST(ReaderMain, EditorsFirstChildIsDispatchedLikeAnyOther) {
    {  // editors first child is dispatched like any other
        loaded m = load_editor({named_material("first"), named_material("second")});
        ASSERT_EQ(m.scene.material_count(), 2);
        EXPECT_EQ(m.scene.materials.at(0).name, "first");
        EXPECT_EQ(m.scene.materials.at(1).name, "second");

        loaded o = load_editor({ch::named_object("first", {}), named_material("m")});
        ASSERT_EQ(o.scene.object_count(), 1);
        EXPECT_EQ(o.scene.objects.at(0).name, "first");
        EXPECT_EQ(o.scene.material_count(), 1);

        // The mesh version chunk that real files put first is skipped.
        loaded v = load_editor({ch::make(0x3D3E, ch::u32(3)), named_material("m")});
        ASSERT_EQ(v.scene.material_count(), 1);
        EXPECT_EQ(v.scene.materials.at(0).name, "m");
    }
    {  // empty editor does not swallow the next chunk
        loaded l = load_bytes(ch::serialize(ch::primary({ch::editor({}), named_material("next")})));
        ASSERT_EQ(l.result, 1);
        ASSERT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.materials.at(0).name, "next");
        EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
    }
}

TEST(ReaderMain, TwoEditorsAndNestedEditorsAreReadInFileOrder) {
    loaded l = load_bytes(ch::serialize(ch::primary(
        {ch::editor({named_material("a"), ch::named_object("o1", {})}),
         ch::editor({named_material("b"), ch::editor({named_material("c")}), ch::named_object("o2", {})})})));
    ASSERT_EQ(l.scene.material_count(), 3);
    EXPECT_EQ(l.scene.materials.at(0).name, "a");
    EXPECT_EQ(l.scene.materials.at(1).name, "b");
    EXPECT_EQ(l.scene.materials.at(2).name, "c");
    ASSERT_EQ(l.scene.object_count(), 2);
    EXPECT_EQ(l.scene.objects.at(0).name, "o1");
    EXPECT_EQ(l.scene.objects.at(1).name, "o2");
}

TEST(ReaderMain, ObjectsAndMaterialsDirectlyInThePrimaryChunkAreRead) {
    loaded l = load_bytes(
        ch::serialize(ch::primary({named_material("top"), triangle_with_group("tri", {ch::material_group("top")})})));
    ASSERT_EQ(l.scene.material_count(), 1);
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).face_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).material_index, 0);
}

TEST(ReaderMain, KeyframerAndBytesAfterThePrimaryChunkHaveNoEffect) {
    ch::chunk keyframer = ch::make(0xB000, {}, {ch::named_object("kf", {}), named_material("kf")});
    ch::bytes data = ch::cat({ch::serialize(ch::primary({ch::editor({named_material("m")}), keyframer})),
                              ch::serialize(ch::primary({named_material("after")})), ch::bytes{1, 2, 3}});
    loaded l = load_bytes(data);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.object_count(), 0);
    EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
}

// ---------------------------------------------------------------------------
// Objects and meshes.

TEST(ReaderObject, VertexListWithExactShortAndLongPayloads) {
    {  // vertex list is read
        loaded l = load_editor({mesh_object("o", {ch::vertex_list({{1, 2, 3}, {4, 5, 6}, {-7, 8.5f, 9}})})});
        ASSERT_EQ(l.scene.object_count(), 1);
        const tv::mesh_object& o = l.scene.objects.at(0);
        ASSERT_EQ(o.vertex_count(), 3);
        ASSERT_EQ(o.vertices.size(), 3u);
        EXPECT_EQ(o.vertices.at(1).y, 5.0f);
        EXPECT_EQ(o.vertices.at(2).x, -7.0f);
        EXPECT_EQ(o.vertices.at(2).y, 8.5f);
    }
    {  // short vertex payload leaves zeros
        ch::chunk v = ch::make(0x4110, ch::cat({ch::u16(3), ch::f32s({1, 2, 3, 4, 5, 6})}));
        loaded l = load_editor({mesh_object("o", {v, ch::face_list({{0, 1, 2}})})});
        const tv::mesh_object& o = l.scene.objects.at(0);
        ASSERT_EQ(o.vertex_count(), 3);
        EXPECT_EQ(o.vertices.at(1).z, 6.0f);
        EXPECT_EQ(o.vertices.at(2).x, 0.0f);
        EXPECT_EQ(o.vertices.at(2).y, 0.0f);
        EXPECT_EQ(o.vertices.at(2).z, 0.0f);
        EXPECT_EQ(o.face_count(), 1);  // the next chunk is read from the right place
    }
    {  // long vertex payload is read past and the next chunk read right
        ch::chunk v = ch::make(0x4110, ch::cat({ch::u16(2), ch::f32s({1, 2, 3, 4, 5, 6, 70, 80, 90, 100})}));
        loaded l = load_editor({mesh_object("o", {v, ch::face_list({{1, 0, 1}})}), named_material("after")});
        const tv::mesh_object& o = l.scene.objects.at(0);
        ASSERT_EQ(o.vertex_count(), 2);
        ASSERT_EQ(o.vertices.size(), 2u);
        EXPECT_EQ(o.vertices.at(1).z, 6.0f);
        ASSERT_EQ(o.face_count(), 1);
        EXPECT_EQ(o.faces.at(0).a, 1u);
        ASSERT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.materials.at(0).name, "after");
        EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
    }
}

TEST(ReaderObject, FaceListConsumesEightBytesPerFaceAndDropsTheFourthValue) {
    {  // face list with count two consumes eighteen payload bytes
        ch::chunk faces = ch::face_list({{0, 1, 2, 7}, {2, 1, 0, 0xFFFF}}, {ch::material_group("m")});
        stream_file f(ch::serialize(faces));
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        tv::mesh_object o;
        tv::read_face_list(f.reader, o, h);
        EXPECT_EQ(h.consumed, 6u + 18u);
        ASSERT_EQ(o.face_count(), 2);
        ASSERT_EQ(o.faces.size(), 2u);
        // The fourth value of each face is dropped.
        EXPECT_EQ(o.faces.at(0).a, 0u);
        EXPECT_EQ(o.faces.at(0).b, 1u);
        EXPECT_EQ(o.faces.at(0).c, 2u);
        EXPECT_EQ(o.faces.at(1).a, 2u);
        EXPECT_EQ(o.faces.at(1).c, 0u);
        // The material group, a child of the face list, is still in the file.
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x4130);
    }
    {  // fourth face value is dropped and indices zero extended
        std::vector<ch::xyz> verts(40000, ch::xyz{0, 0, 0});
        loaded l =
            load_editor({mesh_object("o", {ch::vertex_list(verts), ch::face_list({{1, 2, 3, 7}, {39999, 0, 1, 0}})})});
        const tv::mesh_object& o = l.scene.objects.at(0);
        ASSERT_EQ(o.face_count(), 2);
        EXPECT_EQ(o.faces.at(0).a, 1u);
        EXPECT_EQ(o.faces.at(0).b, 2u);
        EXPECT_EQ(o.faces.at(0).c, 3u);
        EXPECT_EQ(o.faces.at(1).a, 39999u);
    }
    {  // a long face list is read whole and the chunk after it from the right place
        std::vector<ch::abc> faces;
        for (std::uint16_t i = 0; i < 1300; ++i)
            faces.push_back(ch::abc{i, static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(i + 2), 0xABCD});
        std::vector<ch::xyz> verts(1302, ch::xyz{0, 0, 0});
        loaded l =
            load_editor({named_material("m0"), named_material("m1"),
                         mesh_object("o", {ch::vertex_list(verts), ch::face_list(faces, {ch::material_group("m1")})})});
        const tv::mesh_object& o = l.scene.objects.at(0);
        ASSERT_EQ(o.face_count(), 1300);
        ASSERT_EQ(o.faces.size(), 1300u);
        for (std::uint32_t i : {0u, 511u, 512u, 1023u, 1024u, 1299u}) {
            EXPECT_EQ(o.faces.at(i).a, i);
            EXPECT_EQ(o.faces.at(i).c, i + 2);
        }
        EXPECT_EQ(o.material_index, 1);
        EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
    }
}

TEST(ReaderObject, MaterialGroupInsideAFaceListSetsTheMaterial) {
    loaded l = load_editor({named_material("a"), textured_material("b", "b.png"),
                            mesh_object("o", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                              ch::face_list({{0, 1, 2}, {2, 1, 0}}, {ch::make(0x4150, ch::u32(1)),
                                                                                     ch::material_group("b", {0, 1})}),
                                              ch::mapping_coords({{0.5f, 0.25f}})})});
    const tv::mesh_object& o = l.scene.objects.at(0);
    EXPECT_EQ(o.material_index, 1);
    EXPECT_EQ(o.has_texture, 1);
    EXPECT_EQ(o.face_count(), 2);
    EXPECT_EQ(o.tex_vertex_count(), 1);  // the chunk after the face list read right
}

TEST(ReaderObject, MaterialGroupMatchesExactlyCaseSensitivelyAndTheFirstOfEqualNames) {
    {  // material group matches exactly and case sensitively
        loaded l = load_editor({named_material("RED"), named_material("Red"), named_material("Re"),
                                triangle_with_group("a", {ch::material_group("Red")}),
                                triangle_with_group("b", {ch::material_group("red")}),
                                triangle_with_group("c", {ch::material_group("Re")}),
                                triangle_with_group("d", {ch::material_group("Redd")})});
        ASSERT_EQ(l.scene.object_count(), 4);
        EXPECT_EQ(l.scene.objects.at(0).material_index, 1);
        EXPECT_EQ(l.scene.objects.at(1).material_index, 0);
        EXPECT_EQ(l.scene.objects.at(2).material_index, 2);
        EXPECT_EQ(l.scene.objects.at(3).material_index, 0);
        for (const tv::mesh_object& o : l.scene.objects) EXPECT_EQ(o.has_texture, 0);
    }
    {  // material group matches the first of equal names
        loaded l = load_editor({named_material("x"), named_material("same"), textured_material("same", "t.png"),
                                triangle_with_group("o", {ch::material_group("same")})});
        ASSERT_EQ(l.scene.material_count(), 3);
        EXPECT_EQ(l.scene.objects.at(0).material_index, 1);
        EXPECT_EQ(l.scene.objects.at(0).has_texture, 0);
    }
}

TEST(ReaderObject, LaterGroupsOverwriteAndHasTextureIsOnlyEverSet) {
    loaded l = load_editor({named_material("m0"), named_material("m1"), textured_material("m2", "t.png"),
                            triangle_with_group("o", {ch::material_group("m2"), ch::material_group("m1"),
                                                      ch::material_group("nothing")})});
    EXPECT_EQ(l.scene.objects.at(0).material_index, 1);
    EXPECT_EQ(l.scene.objects.at(0).has_texture, 1);
}

TEST(ReaderObject, GroupNamingALaterMaterialMatchesNothing) {
    loaded l = load_editor({named_material("m0"), named_material("m1"),
                            triangle_with_group("o", {ch::material_group("m1"), ch::material_group("later")}),
                            textured_material("later", "t.png")});
    EXPECT_EQ(l.scene.objects.at(0).material_index, 1);
    EXPECT_EQ(l.scene.objects.at(0).has_texture, 0);

    loaded none = load_editor({triangle_with_group("o", {ch::material_group("later")}), named_material("later")});
    EXPECT_EQ(none.scene.objects.at(0).material_index, 0);
    EXPECT_EQ(none.scene.objects.at(0).has_texture, 0);
}

TEST(ReaderObject, GroupsSeeTheMaterialsReadBeforeEachOfThem) {
    // Materials and objects interleaved: each group matches among the
    // materials before it, also those read after an earlier group, and a
    // later material of an equal name never displaces the first.
    loaded l =
        load_editor({named_material("m0"), triangle_with_group("o1", {ch::material_group("m1")}), named_material("m1"),
                     textured_material("m0", "t.png"), triangle_with_group("o2", {ch::material_group("m1")}),
                     triangle_with_group("o3", {ch::material_group("m0")}), named_material("m3"),
                     triangle_with_group("o4", {ch::material_group("m3")})});
    ASSERT_EQ(l.scene.object_count(), 4);
    EXPECT_EQ(l.scene.objects.at(0).material_index, 0);
    EXPECT_EQ(l.scene.objects.at(1).material_index, 1);
    EXPECT_EQ(l.scene.objects.at(2).material_index, 0);
    EXPECT_EQ(l.scene.objects.at(2).has_texture, 0);
    EXPECT_EQ(l.scene.objects.at(3).material_index, 3);
}

TEST(ReaderObject, LongGroupNameIsReadPastAndMatchesOnItsFirst254Bytes) {
    std::string long_name(300, 'g');
    long_name[100] = 'h';
    loaded l = load_editor({named_material("m0"), ch::material({ch::material_name(long_name)}),
                            triangle_with_group("o", {ch::material_group(long_name, {0})}), named_material("after")});
    ASSERT_EQ(l.scene.material_count(), 3);
    EXPECT_EQ(l.scene.materials.at(1).name, long_name.substr(0, 254));
    EXPECT_EQ(l.scene.objects.at(0).material_index, 1);
    EXPECT_EQ(l.scene.materials.at(2).name, "after");
}

TEST(ReaderObject, MappingCoordinatesShortAndLongPayloads) {
    ch::chunk exact = ch::mapping_coords({{0.5f, 0.25f}, {1, 2}});
    ch::chunk shorter = ch::make(0x4140, ch::cat({ch::u16(3), ch::f32s({0.5f, 0.25f, 9})}));
    ch::chunk longer = ch::make(0x4140, ch::cat({ch::u16(1), ch::f32s({0.5f, 0.25f, 9, 9, 9}), ch::bytes{1, 2}}));
    loaded l =
        load_editor({mesh_object("exact", {exact}), mesh_object("short", {shorter, ch::vertex_list({{1, 1, 1}})}),
                     mesh_object("long", {longer, ch::vertex_list({{2, 2, 2}})})});
    ASSERT_EQ(l.scene.object_count(), 3);
    const auto& a = l.scene.objects.at(0);
    ASSERT_EQ(a.tex_vertex_count(), 2);
    ASSERT_EQ(a.tex_coords.size(), 4u);
    EXPECT_EQ(a.tex_coords.at(1), 0.25f);
    EXPECT_EQ(a.tex_coords.at(3), 2.0f);
    const auto& b = l.scene.objects.at(1);
    ASSERT_EQ(b.tex_vertex_count(), 3);
    ASSERT_EQ(b.tex_coords.size(), 6u);
    EXPECT_EQ(b.tex_coords.at(2), 9.0f);
    EXPECT_EQ(b.tex_coords.at(3), 0.0f);
    EXPECT_EQ(b.tex_coords.at(5), 0.0f);
    EXPECT_EQ(b.vertex_count(), 1);
    const auto& c = l.scene.objects.at(2);
    ASSERT_EQ(c.tex_vertex_count(), 1);
    ASSERT_EQ(c.tex_coords.size(), 2u);
    ASSERT_EQ(c.vertex_count(), 1);
    EXPECT_EQ(c.vertices.at(0).x, 2.0f);
}

TEST(ReaderObject, LightAndCameraObjectsCountAsObjectsWithZeroCounts) {
    loaded l = load_editor({ch::named_object("lamp", {ch::light({1, 2, 3})}),
                            ch::named_object("cam", {ch::camera({0, 0, 0}, {1, 1, 1}, 0, 35)})});
    ASSERT_EQ(l.scene.object_count(), 2);
    EXPECT_EQ(l.scene.light_count(), 1);
    EXPECT_EQ(l.scene.camera_count(), 1);
    for (const tv::mesh_object& o : l.scene.objects) {
        EXPECT_EQ(o.vertex_count(), 0);
        EXPECT_EQ(o.face_count(), 0);
        EXPECT_EQ(o.tex_vertex_count(), 0);
        EXPECT_EQ(o.material_index, 0);
        EXPECT_TRUE(o.vertices.empty());
        EXPECT_TRUE(o.faces.empty());
    }
    EXPECT_EQ(l.scene.objects.at(0).name, "lamp");
    EXPECT_EQ(l.scene.objects.at(1).name, "cam");
}

TEST(ReaderObject, LightAndCameraInsideATriangleMeshAreRead) {
    loaded l = load_editor(
        {mesh_object("o", {ch::vertex_list({{1, 1, 1}}), ch::light({4, 5, 6}), ch::camera({1, 2, 3}, {4, 5, 6}, 0, 28),
                           ch::vertex_list({{2, 2, 2}, {3, 3, 3}})})});
    ASSERT_EQ(l.scene.light_count(), 1);
    EXPECT_EQ(l.scene.lights.at(0).position.z, 6.0f);
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 28.0f);
    // A second vertex list replaces the first.
    ASSERT_EQ(l.scene.objects.at(0).vertex_count(), 2);
    EXPECT_EQ(l.scene.objects.at(0).vertices.at(1).x, 3.0f);
}

TEST(ReaderObject, UnknownMeshChunksAreSkippedWithoutEffect) {
    loaded l = load_editor({mesh_object("o", {ch::make(0x4160, ch::f32s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})),
                                              ch::make(0x4165, ch::bytes{1}), ch::vertex_list({{1, 2, 3}})})});
    const tv::mesh_object& o = l.scene.objects.at(0);
    EXPECT_EQ(o.vertex_count(), 1);
    EXPECT_EQ(o.vertices.at(0).z, 3.0f);
    EXPECT_EQ(o.face_count(), 0);
    EXPECT_EQ(o.material_index, 0);
}

TEST(ReaderObject, LongObjectNameKeeps255BytesAndTheStreamStaysInStep) {
    std::string long_name(600, 'n');
    long_name[254] = 'A';
    long_name[255] = 'B';
    loaded l = load_editor({mesh_object(long_name, {ch::vertex_list({{1, 2, 3}})}), named_material("after")});
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).name.size(), 255u);
    EXPECT_EQ(l.scene.objects.at(0).name, long_name.substr(0, 255));
    EXPECT_EQ(l.scene.objects.at(0).vertex_count(), 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
}

TEST(ReaderObject, FacesNamingMissingVerticesAreRemovedInOrderWithOneWarningPerObject) {
    loaded l = load_editor(
        {mesh_object("good",
                     {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), ch::face_list({{0, 1, 2}, {2, 1, 0}})}),
         mesh_object("box", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}),
                             ch::face_list({{0, 1, 2}, {0, 1, 4}, {1, 2, 3}, {4, 0, 1}, {3, 2, 1}, {0, 65535, 1}})}),
         mesh_object("novertices", {ch::face_list({{0, 0, 0}})})},
        1);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.object_count(), 3);
    EXPECT_EQ(l.scene.objects.at(0).face_count(), 2);
    const tv::mesh_object& box = l.scene.objects.at(1);
    ASSERT_EQ(box.face_count(), 3);
    ASSERT_EQ(box.faces.size(), 3u);
    EXPECT_EQ(box.faces.at(0).c, 2u);
    EXPECT_EQ(box.faces.at(1).a, 1u);
    EXPECT_EQ(box.faces.at(2).a, 3u);
    EXPECT_EQ(box.normals.size(), 4u);
    EXPECT_EQ(l.scene.objects.at(2).face_count(), 0);
    EXPECT_TRUE(l.scene.objects.at(2).faces.empty());

    std::vector<std::string> warnings = warning_lines(l.out);
    ASSERT_EQ(warnings.size(), 2u) << l.out;
    EXPECT_NE(warnings[0].find("\"box\""), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(" 3 "), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("\"novertices\""), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[1].find(" 1 "), std::string::npos) << warnings[1];
    // The warnings come before the normals are computed.
    EXPECT_LT(l.out.find(" Warning: "), l.out.find(" Computing normals...\n"));
}

TEST(ReaderObject, FacesWithANonFiniteCornerAreRemovedAfterThoseNamingMissingVertices) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    loaded l = load_editor(
        {mesh_object("odd", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, 0, 0}, {0, -inf, 0}}),
                             ch::face_list({{0, 1, 2}, {0, 1, 3}, {9, 3, 1}, {4, 0, 1}, {1, 2, 0}})}),
         mesh_object("clean", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), ch::face_list({{0, 1, 2}})})},
        1);
    ASSERT_EQ(l.result, 1);
    const tv::mesh_object& odd = l.scene.objects.at(0);
    ASSERT_EQ(odd.face_count(), 2);
    ASSERT_EQ(odd.faces.size(), 2u);
    EXPECT_EQ(odd.faces.at(0).c, 2u);
    EXPECT_EQ(odd.faces.at(1).a, 1u);
    // The normals of the vertices left in faces are those of the clean faces.
    for (std::uint32_t v = 0; v < 3; ++v) EXPECT_EQ(odd.normals.at(v).z, 1.0f) << v;
    EXPECT_EQ(l.scene.objects.at(1).face_count(), 1);

    std::vector<std::string> warnings = warning_lines(l.out);
    ASSERT_EQ(warnings.size(), 2u) << l.out;
    EXPECT_NE(warnings[0].find("\"odd\": 1 faces name a vertex it does not have"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("\"odd\": 2 faces have a vertex coordinate that is not a finite number"),
              std::string::npos)
        << warnings[1];
    EXPECT_LT(l.out.find(warnings[1]), l.out.find(" Computing normals...\n"));
}

// ---------------------------------------------------------------------------
// What the face list's children say of each face: material groups' face
// numbers and smoothing masks.

// The material group layout: name, a declared count, then the numbers the
// payload really holds.
ch::chunk group_declaring(const std::string& name, std::uint16_t declared, const std::vector<std::uint16_t>& numbers) {
    ch::bytes b = ch::cat({ch::cstr(name), ch::u16(declared)});
    for (std::uint16_t n : numbers) ch::append_u16(b, n);
    return ch::make(0x4130, b);
}
ch::chunk masks(const std::vector<std::uint32_t>& values, ch::bytes extra = {}) {
    ch::bytes b;
    for (std::uint32_t v : values) ch::append_u32(b, v);
    ch::append_bytes(b, extra);
    return ch::make(0x4150, b);
}
const std::vector<ch::xyz> four_points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const std::vector<ch::abc> three_faces = {{0, 1, 2}, {0, 1, 3}, {1, 2, 3}};

TEST(ReaderFaceData, GroupsKeepTheFaceNumbersTheirPayloadHoldsAndMasksNeedOneForEachFace) {
    loaded l = load_editor(
        {mesh_object("kept", {ch::vertex_list(four_points),
                              ch::face_list(three_faces,
                                            {ch::material_group("a", {2, 0}), ch::material_group("none"),
                                             group_declaring("short", 5, {1, 9}), group_declaring("long", 1, {2, 7, 7}),
                                             masks({1, 6, 0x80000000u}, ch::bytes{0xEE, 0xEE})}),
                              ch::mapping_coords({{0.5f, 0.5f}})}),
         mesh_object("few masks", {ch::vertex_list(four_points), ch::face_list(three_faces, {masks({1, 2})})}),
         // A second face list replaces the first with what was said of it.
         mesh_object("replaced", {ch::vertex_list(four_points),
                                  ch::face_list(three_faces, {ch::material_group("a", {0}), masks({1, 1, 1})}),
                                  ch::face_list({{0, 1, 2}})})});
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.object_count(), 3);
    const tv::mesh_object& kept = l.scene.objects[0];
    // A group that lists no face is kept for its name; the numbers past the
    // declared count are read past, and the next chunk is read right.
    ASSERT_EQ(kept.material_groups.size(), 4u);
    const std::vector<std::pair<std::string, std::vector<std::uint16_t>>> expected = {
        {"a", {2, 0}}, {"none", {}}, {"short", {1, 9}}, {"long", {2}}};
    for (std::size_t g = 0; g < expected.size(); ++g) {
        const tv::material_group_entry& e = kept.material_groups[g];
        EXPECT_EQ(e.name, expected[g].first);
        EXPECT_EQ(std::vector<std::uint16_t>(kept.group_faces.begin() + e.first_face,
                                             kept.group_faces.begin() + e.first_face + e.face_numbers),
                  expected[g].second)
            << e.name;
    }
    EXPECT_EQ(kept.smoothing, (std::vector<std::uint32_t>{1, 6, 0x80000000u}));
    EXPECT_EQ(kept.tex_vertex_count(), 1);
    EXPECT_TRUE(l.scene.objects[1].smoothing.empty());
    ASSERT_EQ(l.scene.objects[2].material_groups.size(), 1u);
    EXPECT_EQ(l.scene.objects[2].material_groups[0].face_numbers, 0u);
    EXPECT_TRUE(l.scene.objects[2].group_faces.empty());
    EXPECT_TRUE(l.scene.objects[2].smoothing.empty());
    EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
}

TEST(ReaderFaceData, AGroupOfAReplacedFaceListStillGivesTheColourButNoFace) {
    ch::bytes file = ch::serialize(ch::primary({ch::editor(
        {named_material("m0"), named_material("m1"),
         mesh_object("o", {ch::vertex_list(four_points), ch::face_list(three_faces, {ch::material_group("m1", {0})}),
                           ch::face_list(three_faces)})})}));
    tv::run_options options;
    options.materials = true;
    loaded l = load_with(file, options);
    const tv::mesh_object& o = l.scene.objects.at(0);
    EXPECT_EQ(o.material_index, 1);
    EXPECT_EQ(o.face_materials, std::vector<std::int32_t>(3, tv::no_material));
}

TEST(ReaderFaceData, AGroupCountBeyondTheFileAllocatesOnlyWhatTheFileHolds) {
    // The group declares 65535 numbers and a huge length; the file ends
    // after two of them.
    ch::chunk group = with_length(group_declaring("a", 65535, {1, 0}), 0x7FFFFFF0u);
    ch::bytes file = ch::serialize(ch::primary(
        {ch::editor({named_material("a"),
                     mesh_object("o", {ch::vertex_list(four_points), ch::face_list(three_faces, {group})})})}));
    tv::run_options options;
    options.materials = true;
    loaded l = load_with(file, options);
    ASSERT_EQ(l.result, 1);
    const tv::mesh_object& o = l.scene.objects.at(0);
    EXPECT_EQ(o.group_faces, (std::vector<std::uint16_t>{1, 0}));
    EXPECT_LE(o.group_faces.capacity(), 1024u);
    EXPECT_EQ(o.face_materials, (std::vector<std::int32_t>{0, 0, tv::no_material}));
}

TEST(ReaderFaceData, FaceMaterialsFollowTheLastMatchingGroupAndTheRemovalOfFaces) {
    // Face 3 names a missing vertex and is removed after the groups have
    // been resolved against every material of the file.
    const std::vector<ch::abc> faces = {{0, 1, 2}, {0, 1, 3}, {1, 2, 3}, {0, 1, 9}, {3, 2, 1}};
    ch::bytes file = ch::serialize(ch::primary({ch::editor({
        named_material("m0"),
        named_material("dup"),
        mesh_object("o",
                    {ch::vertex_list(four_points),
                     ch::face_list(faces, {ch::material_group("late", {0, 1, 2, 3, 4}),
                                           ch::material_group("dup", {1, 7, 9}), ch::material_group("nothing", {2}),
                                           ch::material_group("m0", {4}), masks({1, 2, 4, 8, 16})})}),
        mesh_object("far", {ch::vertex_list(four_points), ch::face_list(three_faces, {ch::material_group("m0", {3})})}),
        mesh_object("ungrouped", {ch::vertex_list(four_points), ch::face_list(three_faces)}),
        named_material("late"),
        named_material("dup"),
    })}));
    tv::run_options options;
    options.materials = true;
    loaded l = load_with(file, options);
    ASSERT_EQ(l.result, 1);
    const tv::mesh_object& o = l.scene.objects.at(0);
    ASSERT_EQ(o.face_count(), 4);
    EXPECT_EQ(o.face_materials, (std::vector<std::int32_t>{2, 1, 2, 0}));
    EXPECT_EQ(o.smoothing, (std::vector<std::uint32_t>{1, 2, 4, 16}));
    EXPECT_EQ(l.scene.objects.at(1).face_materials,
              (std::vector<std::int32_t>{tv::no_material, tv::no_material, tv::no_material}));
    EXPECT_TRUE(l.scene.objects.at(2).face_materials.empty());
    // The default material of the object is still that of the groups read
    // before it.
    EXPECT_EQ(o.material_index, 0);

    // One warning per object with face numbers beyond its faces, before
    // the one about the removed face.
    const std::vector<std::string> warnings = warning_lines(l.out);
    ASSERT_EQ(warnings.size(), 3u) << l.out;
    EXPECT_NE(warnings[0].find("\"o\": 2 face numbers"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("\"far\": 1 face numbers"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[2].find("\"o\": 1 faces name a vertex"), std::string::npos) << warnings[2];

    // Without --materials nothing is resolved and nothing more is said.
    loaded plain = load_bytes(file);
    EXPECT_TRUE(plain.scene.objects.at(0).face_materials.empty());
    EXPECT_EQ(warning_lines(plain.out).size(), 1u) << plain.out;
}

// ---------------------------------------------------------------------------
// Materials.

TEST(ReaderMaterial, NameOnlyNameWithoutNulAndEmptyEntry) {
    {  // name only and name without nul
        ch::chunk no_nul = ch::material({ch::make(0xA000, ch::bytes{'a', 'b', 'c'})});
        loaded l = load_editor({named_material("plain"), no_nul, named_material("after")});
        ASSERT_EQ(l.scene.material_count(), 3);
        EXPECT_EQ(l.scene.materials.at(0).name, "plain");
        EXPECT_EQ(l.scene.materials.at(0).map_name, "");
        EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{0, 0, 0}));
        EXPECT_EQ(l.scene.materials.at(1).name, "abc");
        EXPECT_EQ(l.scene.materials.at(2).name, "after");
    }
    {  // material entry of length six is counted with empty fields
        loaded l = load_editor({ch::material({}), named_material("next")});
        ASSERT_EQ(l.scene.material_count(), 2);
        EXPECT_EQ(l.scene.materials.at(0).name, "");
        EXPECT_EQ(l.scene.materials.at(0).map_name, "");
        EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{0, 0, 0}));
        EXPECT_EQ(l.scene.materials.at(1).name, "next");
    }
}

TEST(ReaderMaterial, MapNameInsideTextureMapAndDirectlyUnderTheMaterial) {
    loaded l = load_editor({textured_material("a", "wood.png"),
                            ch::material({ch::material_name("b"), ch::map_name("direct.tga")}),
                            ch::material({ch::map_name("first.tga"), ch::texture_map({ch::map_name("second.tga")})})});
    ASSERT_EQ(l.scene.material_count(), 3);
    EXPECT_EQ(l.scene.materials.at(0).map_name, "wood.png");
    EXPECT_EQ(l.scene.materials.at(1).map_name, "direct.tga");
    EXPECT_EQ(l.scene.materials.at(2).map_name, "second.tga");  // later wins
}

TEST(ReaderMaterial, MapNameInAnotherMapChunkIsIgnored) {
    // 0xA210 (opacity map), 0xA230 (bump map): skipped whole.
    loaded l = load_editor({ch::material({ch::material_name("m"), ch::make(0xA210, {}, {ch::map_name("opacity.png")}),
                                          ch::make(0xA230, {}, {ch::map_name("bump.png")})}),
                            triangle_with_group("o", {ch::material_group("m")})});
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "m");
    EXPECT_EQ(l.scene.materials.at(0).map_name, "");
    EXPECT_EQ(l.scene.objects.at(0).has_texture, 0);
}

TEST(ReaderMaterial, TextureMapPlacementIsKeptAndOtherMapsAreRecordedByKind) {
    const ch::chunk placed = ch::texture_map({
        ch::make(0x0030, ch::u16(40)), ch::map_name("BRICK.JPG"), ch::make(0xA351, ch::u16(0x0010)),
        ch::make(0xA354, ch::f32s({2.0f})), ch::make(0xA356, ch::f32s({0.5f})), ch::make(0xA358, ch::f32s({0.25f})),
        ch::make(0xA35A, ch::f32s({-0.75f})), ch::make(0xA35C, ch::f32s({90.0f})),
        ch::make(0xA353, ch::f32s({0.1f})),  // blur: read past
    });
    const float nan = std::numeric_limits<float>::quiet_NaN();
    loaded l = load_editor({
        ch::material({ch::material_name("placed"), placed, ch::make(0xA230, {}, {ch::map_name("bumps.gif")}),
                      ch::make(0xA210, {},
                               {ch::make(0x0030, ch::u16(50)), ch::make(0xA351, ch::u16(0x0002)),
                                ch::make(0xA35C, ch::f32s({45.0f}))}),
                      ch::make(0xA230, {}, {})}),
        // The float fraction, a non-finite scale kept at its default, and
        // placement chunks outside a texture map read past.
        ch::material({ch::make(0xA354, ch::f32s({3.0f})),
                      ch::texture_map({ch::make(0x0031, ch::f32s({0.625f})), ch::make(0xA354, ch::f32s({nan}))})}),
        ch::material({ch::material_name("plain")}),
        triangle_with_group("o", {ch::material_group("placed")}),
    });
    ASSERT_EQ(l.scene.materials.size(), 3u);
    const tv::material& m = l.scene.materials[0];
    EXPECT_EQ(m.map_name, "BRICK.JPG");  // the name is kept as before
    EXPECT_TRUE(m.texture.present);
    EXPECT_EQ(m.texture.amount, 40.0f);
    EXPECT_EQ(m.texture.tiling, 0x0010);
    EXPECT_EQ(m.texture.u_scale, 2.0f);
    EXPECT_EQ(m.texture.v_scale, 0.5f);
    EXPECT_EQ(m.texture.u_offset, 0.25f);
    EXPECT_EQ(m.texture.v_offset, -0.75f);
    EXPECT_EQ(m.texture.rotation, 90.0f);
    // One record per kind, the name when the map gives one.
    ASSERT_EQ(m.other_maps.size(), 2u);
    EXPECT_EQ(m.other_maps[0].chunk_id, 0xA230);
    EXPECT_EQ(m.other_maps[0].name, "bumps.gif");
    EXPECT_STREQ(tv::other_map_kind(m.other_maps[0].chunk_id), "bump map");
    EXPECT_EQ(m.other_maps[1].chunk_id, 0xA210);
    EXPECT_EQ(m.other_maps[1].name, "");
    // Each with its amount and placement, as a texture map's.
    EXPECT_EQ(m.other_maps[0].placement.amount, 100.0f);
    EXPECT_EQ(m.other_maps[1].placement.amount, 50.0f);
    EXPECT_EQ(m.other_maps[1].placement.tiling, 0x0002);
    EXPECT_EQ(m.other_maps[1].placement.rotation, 45.0f);
    EXPECT_EQ(l.scene.objects.at(0).material_index, 0);  // the stream stayed in step

    const tv::texture_map& f = l.scene.materials[1].texture;
    EXPECT_TRUE(f.present);
    EXPECT_EQ(f.amount, 62.5f);
    EXPECT_EQ(f.u_scale, 1.0f);
    EXPECT_FALSE(l.scene.materials[2].texture.present);
    EXPECT_EQ(l.scene.materials[2].texture.amount, 100.0f);
}

TEST(ReaderMaterial, DiffuseKeepsFirstSubchunkAndMeetsTheRestAsSiblings) {
    ch::chunk diff = ch::make(0xA020, {}, {ch::color24(200, 100, 50), ch::color24(1, 2, 3)});
    loaded l = load_editor({ch::material({ch::material_name("m"), diff, ch::texture_map({ch::map_name("tex.png")})}),
                            named_material("after")});
    ASSERT_EQ(l.scene.material_count(), 2);
    EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{200, 100, 50}));
    EXPECT_EQ(l.scene.materials.at(0).map_name, "tex.png");
    EXPECT_EQ(l.scene.materials.at(1).name, "after");

    // Whatever follows the first colour inside the diffuse chunk is read by
    // the material level: a name there names the material.
    ch::chunk named_inside = ch::make(0xA020, {}, {ch::color24(9, 8, 7), ch::material_name("inner")});
    loaded n = load_editor({ch::material({ch::material_name("outer"), named_inside})});
    ASSERT_EQ(n.scene.material_count(), 1);
    EXPECT_EQ(n.scene.materials.at(0).diffuse, (rgb{9, 8, 7}));
    EXPECT_EQ(n.scene.materials.at(0).name, "inner");
}

TEST(ReaderMaterial, FloatColourIsClampedScaledAndRoundedHalfAwayFromZero) {
    struct sample {
        float r, g, b;
        rgb expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<sample> samples = {
        {1.0f, 0.5f, 0.0f, {255, 128, 0}}, {0.25f, 0.75f, 0.1f, {64, 191, 26}},   {-0.5f, 2.0f, nan, {0, 255, 0}},
        {-inf, inf, -0.0f, {0, 255, 0}},   {0.001f, 0.003f, 0.999f, {0, 1, 255}},
    };
    for (std::uint16_t id : {std::uint16_t{0x0010}, std::uint16_t{0x0013}}) {
        for (const sample& s : samples) {
            SCOPED_TRACE(testing::Message() << "id " << id << " " << s.r << " " << s.g << " " << s.b);
            loaded l =
                load_editor({ch::material({ch::material_name("m"), diffuse_raw(id, ch::f32s({s.r, s.g, s.b}))})});
            ASSERT_EQ(l.scene.material_count(), 1);
            EXPECT_EQ(l.scene.materials.at(0).diffuse, s.expected);
        }
    }
}

TEST(ReaderMaterial, OtherColourIdsKeepTheByteRuleAndShortPayloadsSetWhatTheyHave) {
    {  // other colour ids keep the byte rule
        loaded l = load_editor({ch::material({diffuse_raw(0x0012, ch::bytes{7, 8, 9, 10})}),
                                ch::material({diffuse_raw(0x0030, ch::bytes{0, 0, 0x80, 0x3F})})});
        ASSERT_EQ(l.scene.material_count(), 2);
        EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{7, 8, 9}));
        EXPECT_EQ(l.scene.materials.at(1).diffuse, (rgb{0, 0, 0x80}));
    }
    {  // short byte colour sets only the bytes it has
        ch::chunk m = ch::material({ch::diffuse(ch::color24(10, 20, 30)), diffuse_raw(0x0011, ch::bytes{99})});
        loaded l = load_editor({m});
        EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{99, 20, 30}));
    }
}

TEST(ReaderMaterial, FloatSubchunkWithFewerCompleteFloatsSetsOnlyThoseChannels) {
    // A 24-bit colour first, then a second diffuse chunk whose float colour
    // holds one, two or two-and-a-bit floats.
    auto mat = [](ch::bytes payload) {
        return ch::material({ch::diffuse(ch::color24(10, 20, 30)), diffuse_raw(0x0010, std::move(payload))});
    };
    loaded l = load_editor({mat(ch::f32s({1.0f})), mat(ch::f32s({1.0f, 0.5f})),
                            mat(ch::cat({ch::f32s({0.0f, 1.0f}), ch::bytes{0, 0, 0x80}})), mat(ch::bytes{0, 0}),
                            named_material("after")});
    ASSERT_EQ(l.scene.material_count(), 5);
    EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{255, 20, 30}));
    EXPECT_EQ(l.scene.materials.at(1).diffuse, (rgb{255, 128, 30}));
    EXPECT_EQ(l.scene.materials.at(2).diffuse, (rgb{0, 255, 30}));
    EXPECT_EQ(l.scene.materials.at(3).diffuse, (rgb{10, 20, 30}));
    EXPECT_EQ(l.scene.materials.at(4).name, "after");
}

TEST(ReaderMaterial, DiffuseChunkWithoutRoomForASubchunkHeaderLeavesDiffuseUnchanged) {
    for (std::size_t n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        // The payload bytes look like a colour sub-chunk header on purpose.
        ch::bytes payload = ch::bytes{0x11, 0x00, 0x09, 0x00, 0x00, 0x00};
        payload.resize(n);
        ch::chunk m = ch::material({ch::diffuse(ch::color24(10, 20, 30)), ch::make(0xA020, payload),
                                    ch::material_name("named"), ch::map_name("map.png")});
        loaded l = load_editor({m, named_material("after")});
        ASSERT_EQ(l.scene.material_count(), 2);
        EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{10, 20, 30}));
        EXPECT_EQ(l.scene.materials.at(0).name, "named");
        EXPECT_EQ(l.scene.materials.at(0).map_name, "map.png");
        EXPECT_EQ(l.scene.materials.at(1).name, "after");
        EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
    }
    // A declared length below 6 counts as 6 and reads nothing.
    ch::chunk m = ch::material({ch::diffuse(ch::color24(10, 20, 30)), with_length(ch::make(0xA020), 2),
                                ch::diffuse(ch::color24(1, 2, 3)), ch::material_name("named")});
    loaded l = load_editor({m});
    EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{1, 2, 3}));
    EXPECT_EQ(l.scene.materials.at(0).name, "named");
}

TEST(ReaderMaterial, NamesLongerThanTheirFieldKeep254BytesAndTheStreamStaysInStep) {
    std::string long_name(500, 'q');
    long_name[253] = '1';
    long_name[254] = '2';
    std::string long_map(256, 'p');
    loaded l = load_editor({ch::material({ch::material_name(long_name), ch::texture_map({ch::map_name(long_map)}),
                                          ch::diffuse(ch::color24(1, 2, 3))}),
                            named_material("after")});
    ASSERT_EQ(l.scene.material_count(), 2);
    EXPECT_EQ(l.scene.materials.at(0).name, long_name.substr(0, 254));
    EXPECT_EQ(l.scene.materials.at(0).map_name, long_map.substr(0, 254));
    EXPECT_EQ(l.scene.materials.at(0).diffuse, (rgb{1, 2, 3}));
    EXPECT_EQ(l.scene.materials.at(1).name, "after");
}

// ---------------------------------------------------------------------------
// Lights.

TEST(ReaderLight, LightOf18BytesHasPositionOnly) {
    loaded l = load_editor({ch::named_object("lamp", {ch::light({1.5f, -2, 3})}), named_material("after")});
    ASSERT_EQ(l.scene.light_count(), 1);
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.position.x, 1.5f);
    EXPECT_EQ(lt.position.y, -2.0f);
    EXPECT_EQ(lt.position.z, 3.0f);
    EXPECT_EQ(lt.multiplier, 1.0f);
    EXPECT_EQ(lt.is_spot, 0);
    EXPECT_EQ(lt.is_off, 0);
    EXPECT_EQ(lt.has_float_color, 0);
    EXPECT_EQ(lt.color, (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(lt.color24, (rgb{0, 0, 0}));
    EXPECT_EQ(lt.hotspot, 0.0f);
    EXPECT_EQ(l.scene.material_count(), 1);
}

TEST(ReaderLight, FloatColourIsKeptExactly) {
    loaded l = load_editor({ch::named_object("lamp", {ch::light({0, 0, 0}, {ch::color_float(1.0f, 0.5f, 0.25f)})})});
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.color, (std::array<float, 3>{1.0f, 0.5f, 0.25f}));
    EXPECT_EQ(lt.has_float_color, 1);
    // Out of range floats are not clamped for lights.
    loaded big =
        load_editor({ch::named_object("lamp", {ch::light({0, 0, 0}, {ch::color_float(2.0f, -1.0f, 300.0f)})})});
    EXPECT_EQ(big.scene.lights.at(0).color, (std::array<float, 3>{2.0f, -1.0f, 300.0f}));
}

TEST(ReaderLight, TwentyFourBitColourOnlyIsRecordedAsSuch) {
    loaded l = load_editor({ch::named_object("lamp", {ch::light({0, 0, 0}, {ch::color24(255, 128, 1)})})});
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.color24, (rgb{255, 128, 1}));
    EXPECT_EQ(lt.color, (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(lt.has_float_color, 0);

    loaded both = load_editor({ch::named_object(
        "lamp", {ch::light({0, 0, 0}, {ch::color24(255, 128, 1), ch::color_float(0.5f, 0.5f, 0.5f)})})});
    EXPECT_EQ(both.scene.lights.at(0).has_float_color, 1);
    EXPECT_EQ(both.scene.lights.at(0).color24, (rgb{255, 128, 1}));
}

TEST(ReaderLight, SpotlightWithANestedSubchunkThenAColour) {
    // 36 bytes: 6 header, 20 fixed data, one nested sub-chunk of 10 bytes.
    ch::chunk spot = ch::spotlight({7, 8, 9}, 30, 45, {ch::make(0x4656, ch::u32(0x0010FFFF))});
    ASSERT_EQ(ch::serialize(spot).size(), 36u);
    loaded l =
        load_editor({ch::named_object("spot", {ch::light({1, 2, 3}, {spot, ch::color_float(0.25f, 0.5f, 1.0f)})}),
                     named_material("after")});
    ASSERT_EQ(l.scene.light_count(), 1);
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.is_spot, 1);
    EXPECT_EQ(lt.target.x, 7.0f);
    EXPECT_EQ(lt.target.z, 9.0f);
    EXPECT_EQ(lt.hotspot, 30.0f);
    EXPECT_EQ(lt.falloff, 45.0f);
    EXPECT_EQ(lt.color, (std::array<float, 3>{0.25f, 0.5f, 1.0f}));
    EXPECT_EQ(lt.multiplier, 1.0f);
    EXPECT_EQ(l.scene.material_count(), 1);

    // What a spotlight holds behind its fixed data is read at light level:
    // a nested 24-bit colour is the light's colour.
    loaded n = load_editor({ch::named_object(
        "spot", {ch::light({1, 2, 3}, {ch::spotlight({7, 8, 9}, 30, 45, {ch::color24(11, 22, 33)})})})});
    ASSERT_EQ(n.scene.light_count(), 1);
    EXPECT_EQ(n.scene.lights.at(0).is_spot, 1);
    EXPECT_EQ(n.scene.lights.at(0).color24, (rgb{11, 22, 33}));
}

TEST(ReaderLight, LaterSubchunksWin) {
    loaded l = load_editor({ch::named_object(
        "lamp", {ch::light({0, 0, 0}, {ch::color_float(1, 1, 1), ch::color24(1, 2, 3), ch::spotlight({1, 1, 1}, 10, 20),
                                       ch::color_float(0.5f, 0.25f, 0.125f), ch::color24(4, 5, 6),
                                       ch::spotlight({2, 2, 2}, 11, 21)})})});
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.color, (std::array<float, 3>{0.5f, 0.25f, 0.125f}));
    EXPECT_EQ(lt.color24, (rgb{4, 5, 6}));
    EXPECT_EQ(lt.target.y, 2.0f);
    EXPECT_EQ(lt.hotspot, 11.0f);
    EXPECT_EQ(lt.falloff, 21.0f);
}

TEST(ReaderLight, LightOffSetsTheFlagAndTheNextSubchunkIsReadRight) {
    // Header alone, and with a payload of its own.
    for (ch::bytes payload : {ch::bytes{}, ch::bytes{0, 7, 7, 7, 7}}) {
        SCOPED_TRACE(payload.size());
        loaded l = load_editor({ch::named_object("lamp", {ch::light({0, 0, 0}, {ch::make(0x4620, payload),
                                                                                ch::color_float(0.5f, 0.5f, 0.5f)})}),
                                named_material("after")});
        ASSERT_EQ(l.scene.light_count(), 1);
        const tv::light& lt = l.scene.lights.at(0);
        EXPECT_EQ(lt.is_off, 1);
        EXPECT_EQ(lt.has_float_color, 1);
        EXPECT_EQ(lt.color, (std::array<float, 3>{0.5f, 0.5f, 0.5f}));
        ASSERT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.materials.at(0).name, "after");
    }
}

TEST(ReaderLight, UnknownLightSubchunksAreSkipped) {
    loaded l = load_editor({ch::named_object(
        "lamp", {ch::light({0, 0, 0}, {ch::make(0x4659, ch::f32s({5})), ch::make(0x4625, ch::bytes{1, 2, 3}),
                                       ch::color24(9, 8, 7)})})});
    const tv::light& lt = l.scene.lights.at(0);
    EXPECT_EQ(lt.color24, (rgb{9, 8, 7}));
    EXPECT_EQ(lt.multiplier, 1.0f);
}

TEST(ReaderLight, LightShorterThanItsFixedDataStillReadsItAndTheParentCarriesOn) {
    // Declared length 10: the 12 bytes of position are read all the same and
    // no sub-chunk is read; the object then meets the bytes that follow.
    ch::chunk lamp = with_length(ch::light({1, 2, 3}), 10);
    loaded l = load_editor(
        {ch::named_object("lamp", {lamp, ch::light({4, 5, 6}, {ch::color24(1, 1, 1)})}), named_material("after")});
    ASSERT_EQ(l.scene.light_count(), 2);
    EXPECT_EQ(l.scene.lights.at(0).position.z, 3.0f);
    EXPECT_EQ(l.scene.lights.at(0).multiplier, 1.0f);
    EXPECT_EQ(l.scene.lights.at(1).position.x, 4.0f);
    EXPECT_EQ(l.scene.lights.at(1).color24, (rgb{1, 1, 1}));
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
}

// ---------------------------------------------------------------------------
// Cameras.

TEST(ReaderCamera, CameraOf38BytesIsRead) {
    loaded l =
        load_editor({ch::named_object("cam", {ch::camera({1, 2, 3}, {4, 5, 6}, 7.5f, 35)}), named_material("after")});
    ASSERT_EQ(l.scene.camera_count(), 1);
    const tv::camera& c = l.scene.cameras.at(0);
    EXPECT_EQ(c.position.x, 1.0f);
    EXPECT_EQ(c.position.z, 3.0f);
    EXPECT_EQ(c.target.x, 4.0f);
    EXPECT_EQ(c.target.z, 6.0f);
    EXPECT_EQ(c.bank, 7.5f);
    EXPECT_EQ(c.lens, 35.0f);
    EXPECT_EQ(l.scene.material_count(), 1);
}

TEST(ReaderCamera, SubchunksOfACameraAreSkippedAndTheNextChunkReadRight) {
    // 20 bytes of sub-chunks behind the fixed data, one of them a light
    // chunk that the object level would act on if it met it.
    ch::chunk cam = ch::camera({1, 2, 3}, {4, 5, 6}, 0, 50, {ch::make(0x4710), ch::make(0x4600, ch::f32s({1, 2}))});
    ASSERT_EQ(ch::serialize(cam).size(), 58u);
    loaded l = load_editor({ch::named_object("cam", {cam, ch::vertex_list({{8, 8, 8}})}), named_material("after")});
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 50.0f);
    EXPECT_EQ(l.scene.cameras.at(0).target.y, 5.0f);
    EXPECT_EQ(l.scene.light_count(), 0);
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).vertex_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).vertices.at(0).x, 8.0f);
    EXPECT_EQ(l.scene.material_count(), 1);
}

TEST(ReaderCamera, TwoCamerasAreKeptInFileOrder) {
    loaded l = load_editor({ch::named_object("c1", {ch::camera({1, 0, 0}, {0, 0, 0}, 0, 20)}), named_material("m"),
                            ch::named_object("c2", {ch::camera({2, 0, 0}, {0, 0, 0}, 0, 80)})});
    ASSERT_EQ(l.scene.camera_count(), 2);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 20.0f);
    EXPECT_EQ(l.scene.cameras.at(1).lens, 80.0f);
    EXPECT_EQ(l.scene.cameras.at(1).position.x, 2.0f);
    EXPECT_EQ(l.scene.object_count(), 2);
}

TEST(ReaderCamera, CameraShorterThanItsFixedDataStillReadsItAndTheParentCarriesOn) {
    ch::chunk cam = with_length(ch::camera({1, 2, 3}, {4, 5, 6}, 0, 24), 20);
    loaded l = load_editor({ch::named_object("cam", {cam, ch::vertex_list({{8, 8, 8}})}), named_material("after")});
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 24.0f);
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).vertex_count(), 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
    EXPECT_TRUE(warning_lines(l.out).empty()) << l.out;
}

// ---------------------------------------------------------------------------
// A realistic scene read end to end.

TEST(ReaderScene, MultiObjectSceneIsReadWithItsCounts) {
    ch::chunk red = ch::material(
        {ch::material_name("Red"), ch::make(0xA010, {}, {ch::color24(50, 0, 0)}), ch::diffuse(ch::color24(200, 0, 0)),
         ch::make(0xA030, {}, {ch::color24(255, 255, 255)}), ch::make(0xA040, {}, {ch::make(0x0030, ch::u16(40))})});
    ch::chunk wood = ch::material({ch::material_name("Wood"), ch::diffuse(ch::color_float(0.5f, 0.25f, 0.0f)),
                                   ch::texture_map({ch::make(0xA351, ch::u16(0)), ch::map_name("WOOD.JPG")})});
    ch::chunk cube =
        mesh_object("Cube", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                             ch::mapping_coords({{0, 0}, {1, 0}, {1, 1}, {0, 1}}),
                             ch::face_list({{0, 1, 2, 3}, {0, 2, 3, 3}},
                                           {ch::material_group("Wood", {0, 1}), ch::make(0x4150, ch::u32(1))}),
                             ch::make(0x4160, ch::f32s({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}))});
    ch::chunk tri = mesh_object("Tri", {ch::vertex_list({{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}),
                                        ch::face_list({{0, 1, 2}}, {ch::material_group("Red", {0})})});
    ch::chunk plain =
        mesh_object("Plain", {ch::vertex_list({{5, 5, 5}, {6, 5, 5}, {5, 6, 5}}), ch::face_list({{2, 1, 0}})});
    ch::chunk sun = ch::named_object("Sun", {ch::light({10, 20, 30}, {ch::color_float(1, 1, 0.9f)})});
    ch::chunk spot = ch::named_object(
        "Spot",
        {ch::light({0, 0, 10}, {ch::color24(255, 200, 100), ch::spotlight({0, 0, 0}, 20, 40, {ch::make(0x4651, {})}),
                                ch::make(0x4620, {})})});
    ch::chunk cam1 = ch::named_object(
        "Camera01", {ch::camera({0, -10, 5}, {0, 0, 0}, 0, 35, {ch::make(0x4720, ch::f32s({1, 1000}))})});
    ch::chunk cam2 = ch::named_object("Camera02", {ch::camera({10, 0, 5}, {0, 0, 1}, 5, 50)});
    ch::chunk keyframer =
        ch::make(0xB000, {},
                 {ch::make(0xB00A, ch::cstr("MAXSCENE")), ch::make(0xB002, {}, {ch::make(0xB010, ch::cstr("Cube"))})});
    ch::bytes file = ch::serialize(ch::primary(
        {ch::version(3),
         ch::editor({ch::make(0x3D3E, ch::u32(3)), ch::make(0x0100, ch::f32s({1})), red, wood,
                     ch::make(0x1200, {}, {ch::color_float(0, 0, 0)}), cube, tri, plain, sun, spot, cam1, cam2}),
         keyframer}));
    loaded l = load_bytes(file, 1);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.out, "\n Reading " + l.path + "...\n Computing normals...\n");
    const tv::scene& s = l.scene;
    EXPECT_EQ(s.material_count(), 2);
    EXPECT_EQ(s.object_count(), 7);
    EXPECT_EQ(s.light_count(), 2);
    EXPECT_EQ(s.camera_count(), 2);
    ASSERT_EQ(s.materials.size(), 2u);
    ASSERT_EQ(s.objects.size(), 7u);
    EXPECT_EQ(s.materials.at(0).diffuse, (rgb{200, 0, 0}));
    EXPECT_EQ(s.materials.at(1).diffuse, (rgb{128, 64, 0}));
    EXPECT_EQ(s.materials.at(1).map_name, "WOOD.JPG");
    const std::vector<std::string> names = {"Cube", "Tri", "Plain", "Sun", "Spot", "Camera01", "Camera02"};
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(s.objects.at(i).name, names[i]);
    EXPECT_EQ(s.objects.at(0).vertex_count(), 4);
    EXPECT_EQ(s.objects.at(0).face_count(), 2);
    EXPECT_EQ(s.objects.at(0).tex_vertex_count(), 4);
    EXPECT_EQ(s.objects.at(0).material_index, 1);
    EXPECT_EQ(s.objects.at(0).has_texture, 1);
    EXPECT_EQ(s.objects.at(0).normals.size(), 4u);
    EXPECT_EQ(s.objects.at(1).material_index, 0);
    EXPECT_EQ(s.objects.at(1).has_texture, 0);
    EXPECT_EQ(s.objects.at(2).face_count(), 1);
    EXPECT_EQ(s.objects.at(2).faces.at(0).a, 2u);
    int faces = 0;
    for (const tv::mesh_object& o : s.objects) faces += o.face_count();
    EXPECT_EQ(faces, 4);
    EXPECT_EQ(s.lights.at(0).has_float_color, 1);
    EXPECT_EQ(s.lights.at(0).position.y, 20.0f);
    EXPECT_EQ(s.lights.at(1).has_float_color, 0);
    EXPECT_EQ(s.lights.at(1).color24, (rgb{255, 200, 100}));
    EXPECT_EQ(s.lights.at(1).is_spot, 1);
    EXPECT_EQ(s.lights.at(1).is_off, 1);
    EXPECT_EQ(s.lights.at(1).falloff, 40.0f);
    EXPECT_EQ(s.cameras.at(0).position.y, -10.0f);
    EXPECT_EQ(s.cameras.at(0).lens, 35.0f);
    EXPECT_EQ(s.cameras.at(1).bank, 5.0f);
    EXPECT_EQ(s.cameras.at(1).lens, 50.0f);
}

TEST(ReaderMain, BytesInMemoryLoadAsTheSameFileDoes) {
    const ch::bytes whole =
        ch::serialize(ch::primary({ch::editor({named_material("A"), ch::box_object("Box", {0, 0, 0}, {1, 2, 3}, "A"),
                                               ch::named_object("Lamp", {ch::light({1, 1, 1})})})}));
    const ch::bytes cut(whole.begin(), whole.end() - 20);
    const ch::bytes not_a_scene = ch::serialize(named_material("A"));
    testkit::temp_dir dir;
    const std::string path = (dir / "in.3ds").string();
    const struct {
        const ch::bytes* data;
        tv::load_result result;
    } cases[] = {{&whole, tv::load_result::loaded},
                 {&cut, tv::load_result::ended_in_chunk},
                 {&not_a_scene, tv::load_result::not_a_scene}};
    for (const auto& c : cases) {
        testkit::write_file(path, *c.data);
        tv::scene from_file = tv::init_scene(), from_bytes = tv::init_scene();
        testkit::recorder file_console, bytes_console;
        const tv::load_outcome file_outcome = tv::load_scene_file(from_file, path, file_console.report);
        const tv::load_outcome bytes_outcome =
            tv::load_scene_bytes(from_bytes, c.data->data(), c.data->size(), bytes_console.report);
        EXPECT_EQ(bytes_outcome.result, c.result);
        EXPECT_EQ(file_outcome.result, c.result);
        EXPECT_EQ(std::vector<unsigned char>(file_outcome.first_bytes,
                                             file_outcome.first_bytes + file_outcome.first_byte_count),
                  std::vector<unsigned char>(bytes_outcome.first_bytes,
                                             bytes_outcome.first_bytes + bytes_outcome.first_byte_count));
        EXPECT_EQ(bytes_console.text(), file_console.text());
        ASSERT_EQ(from_bytes.object_count(), from_file.object_count());
        for (std::size_t i = 0; i < from_file.objects.size(); ++i) {
            EXPECT_EQ(from_bytes.objects[i].face_count(), from_file.objects[i].face_count());
            EXPECT_EQ(from_bytes.objects[i].vertex_count(), from_file.objects[i].vertex_count());
        }
        EXPECT_EQ(from_bytes.light_count(), from_file.light_count());
    }
}
