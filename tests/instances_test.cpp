// Placements of the keyframer's instances: hierarchy, pivot, mesh matrix
// and the faulty nodes that add no copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "geometry/instances.hpp"
#include "geometry/vertex_normals.hpp"
#include "model/scene.hpp"
#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/reader_input.hpp"

namespace tessvert {
namespace {

// One object "box": a unit cube's corners (0,0,0) and (1,1,1) and a third
// vertex, one face.
scene box_scene() {
    scene s = init_scene();
    append_object(s);
    mesh_object& o = s.objects.back();
    o.name = "box";
    o.vertices = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}};
    o.faces = {{0, 2, 1}};
    return s;
}

keyframe_node node(const std::string& name, std::int32_t id, std::uint16_t parent = 0xFFFF, vec3 position = {}) {
    keyframe_node n;
    n.name = name;
    n.id = id;
    n.parent = parent;
    n.position = position;
    return n;
}

// Where instance k puts vertex v of the box.
vec3 placed(const scene& s, std::size_t k, std::size_t v) {
    scene copy = s;
    const std::size_t file_objects = add_instance_copies(copy);
    return copy.objects[file_objects + k].vertices[v];
}

void expect_near(vec3 got, vec3 want) {
    EXPECT_NEAR(got.x, want.x, 1e-5);
    EXPECT_NEAR(got.y, want.y, 1e-5);
    EXPECT_NEAR(got.z, want.z, 1e-5);
}

TEST(Instances, FirstNodeShowsTheMeshAsStoredTheOthersAddCopies) {
    scene s = box_scene();
    s.nodes = {node("box", 0, 0xFFFF, {5, 5, 5}), node("box", 1, 0xFFFF, {2, 0, 0}), node("box", 2)};
    s.nodes[2].scale = {2, 1, 3};
    s.nodes[2].rotation = {static_cast<float>(M_PI / 2), 0, 0, 1};
    testkit::recorder console;
    place_instances(s, console.report);
    EXPECT_EQ(console.text(), "");
    ASSERT_EQ(s.instances.size(), 2u);
    EXPECT_EQ(s.instances[0].node, 1u);
    expect_near(placed(s, 0, 1), {3, 1, 1});
    // A key's angle turns clockwise seen down its axis: +x goes to -y. The
    // scale stretches the mesh along its own axes, before the turn.
    expect_near(placed(s, 1, 2), {0, -2, 0});
    expect_near(placed(s, 1, 1), {1, -2, 3});
    EXPECT_EQ(meshes_shown_again(s), 1u);
    // The copies go after the file's objects and leave with them.
    const std::size_t file_objects = add_instance_copies(s);
    EXPECT_EQ(s.objects.size(), 3u);
    remove_instance_copies(s, file_objects);
    EXPECT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(s.object_count(), 1);
}

TEST(Instances, ParentPivotAndMeshMatrixPlaceTheCopy) {
    scene s = box_scene();
    // A dummy moved up by 10 holds the copy, which is moved by 2 along x.
    s.nodes = {node("box", 0), node("$$$DUMMY", 7, 0xFFFF, {0, 0, 10}), node("box", 8, 7, {2, 0, 0})};
    testkit::recorder console;
    place_instances(s, console.report);
    ASSERT_EQ(s.instances.size(), 1u) << console.text();
    expect_near(placed(s, 0, 1), {3, 1, 11});

    // The pivot is the point of the mesh that the position puts in place.
    s.nodes[2].pivot = {1, 1, 1};
    place_instances(s, console.report);
    expect_near(placed(s, 0, 1), {2, 0, 10});

    // The mesh was made at (4, 0, 0), turned a quarter about z: its
    // vertices as stored are first taken back through that matrix.
    s.nodes[2].pivot = {};
    s.objects[0].mesh_matrix = {0, 1, 0, -1, 0, 0, 0, 0, 1, 4, 0, 0};
    place_instances(s, console.report);
    ASSERT_EQ(s.instances.size(), 1u);
    // The stored (1, 0, 0) is (0, 3, 0) in the mesh's own frame.
    expect_near(placed(s, 0, 2), {2 + 0, 3, 10});
    EXPECT_EQ(console.text(), "");
}

TEST(Instances, NormalsTurnWithTheCopyAndStayUnit) {
    scene s = box_scene();
    for (mesh_object& o : s.objects) compute_object_normals(o);
    const vec3 before = s.objects[0].normals[0];
    s.nodes = {node("box", 0), node("box", 1)};
    s.nodes[1].scale = {1, 4, 1};
    s.nodes[1].rotation = {static_cast<float>(M_PI), 0, 0, 1};
    testkit::recorder console;
    place_instances(s, console.report);
    add_instance_copies(s);
    const vec3 after = s.objects[1].normals[0];
    // The face lies in the plane y = z, its normal along (0, 1, -1); y
    // stretched 4 times tilts it to (0, 1/4, -1), and the half turn about z
    // to (0, -1/4, -1).
    const double length = std::sqrt(double(after.x) * after.x + double(after.y) * after.y + double(after.z) * after.z);
    EXPECT_NEAR(length, 1.0, 1e-6);
    EXPECT_NEAR(after.z / after.y, before.z / before.y * -4.0, 1e-4);
    EXPECT_NEAR(after.x, 0.0, 1e-6);
}

TEST(Instances, EachFaultyNodeIsLeftOutWithOneWarningThatNamesIt) {
    scene s = box_scene();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    s.nodes = {node("box", 0),
               node("nothing\x1b", 1),  // names no mesh
               node("box", 2, 3),       // a later parent
               node("box", 3, 3),       // itself
               node("box", 4, 40),      // no such node
               node("box", 5, 2),       // a parent left out
               node("box", 6, 0xFFFF, {nan, 0, 0}),
               node("box", 7, 0xFFFF, {1, 0, 0}),  // sound
               node("$$$DUMMY", 8)};
    s.nodes[7].instance_name = "seven";
    testkit::recorder console;
    place_instances(s, console.report);
    ASSERT_EQ(s.instances.size(), 1u);
    EXPECT_EQ(s.instances[0].node, 7u);
    const std::string out = console.text();
    EXPECT_EQ(testkit::count_warnings(out), 6u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "\"nothing\\x1B\" names no mesh"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "names a later node as its parent"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "names itself as its parent"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "names a parent (40) that no node has"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "has a parent whose place cannot be worked out"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "not finite"), 1u) << out;

    // A mesh matrix without an inverse leaves every copy out.
    s.nodes = {node("box", 0), node("box", 1)};
    s.objects[0].mesh_matrix = {1, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0};
    testkit::recorder flat;
    place_instances(s, flat.report);
    EXPECT_TRUE(s.instances.empty());
    EXPECT_EQ(testkit::count_warnings(flat.text(), "own matrix cannot be inverted"), 1u) << flat.text();
}

TEST(Instances, AThousandFaultyNodesGiveAHundredLinesAndOneMore) {
    scene s = box_scene();
    s.nodes.push_back(node("box", 0));
    for (std::int32_t i = 1; i <= 1000; ++i) s.nodes.push_back(node("box", i, static_cast<std::uint16_t>(i)));
    testkit::recorder console;
    place_instances(s, console.report);
    EXPECT_TRUE(s.instances.empty());
    EXPECT_EQ(testkit::count_warnings(console.text()), max_node_warnings + 1);
    EXPECT_EQ(testkit::count_warnings(console.text(), "900 more keyframer nodes"), 1u) << console.text();
}

TEST(Instances, CopiesPastTheFaceBudgetAreLeftOutWithOneWarning) {
    scene s = box_scene();
    s.objects[0].faces.assign(max_instance_faces / 3 + 1, face{0, 2, 1});
    for (std::int32_t i = 0; i < 6; ++i) s.nodes.push_back(node("box", i));
    testkit::recorder console;
    place_instances(s, console.report);
    EXPECT_EQ(s.instances.size(), 2u);
    EXPECT_EQ(testkit::count_warnings(console.text()), 1u) << console.text();
}

// ---------------------------------------------------------------------------
// Reading the keyframer.

namespace ch = chunks;

// A track of one key: frame 0, `spline` flags with their extra floats
// (1.5 each), then `values`.
ch::chunk track(std::uint16_t id, std::uint16_t spline, std::initializer_list<float> values, std::uint32_t keys = 1) {
    ch::bytes b = ch::cat({ch::u16(0), ch::u32(0), ch::u32(0), ch::u32(keys), ch::u32(0), ch::u16(spline)});
    for (unsigned bit = 0; bit < 16; ++bit)
        if ((spline >> bit & 1u) != 0 && bit < 5) ch::append_f32(b, 1.5f);
    ch::append_bytes(b, ch::f32s(values));
    return ch::make(id, b);
}

TEST(KeyframerReader, NodesTracksPivotAndMeshMatrix) {
    using namespace ch;
    const bytes file = serialize(primary(
        {editor({named_object("box", {triangle_mesh({vertex_list({{0, 0, 0}}),
                                                     make(0x4160, f32s({0, 1, 0, -1, 0, 0, 0, 0, 1, 4, 5, 6}))})})}),
         make(
             0xB000, {},
             {make(0xB00A, cat({u16(5), cstr("MAXSCENE"), u32(100)})),
              make(0xB002, {},
                   {make(0xB030, u16(7)), make(0xB010, cat({cstr("box"), u16(0x4000), u16(0), u16(3)})),
                    make(0xB011, cstr("second")), make(0xB013, f32s({1, 2, 3})), make(0xB014, f32s({0, 0, 0, 1, 1, 1})),
                    // Tension, bias and ease from: three extra floats before the value.
                    track(0xB020, 0x15, {4, 5, 6}), track(0xB021, 0, {0.5f, 0, 0, 1}), track(0xB022, 0x1F, {2, 3, 4})}),
              // No keys, and a node header cut before its parent.
              make(0xB002, {}, {make(0xB010, cstr("$$$DUMMY")), track(0xB020, 0, {9, 9, 9}, 0)})})}));
    const reader_input::loaded l = reader_input::load_bytes(file);
    ASSERT_EQ(l.result, 1) << l.out;
    const mesh_object& o = l.scene.objects.at(0);
    EXPECT_TRUE(o.has_mesh_matrix);
    EXPECT_EQ(o.mesh_matrix[9], 4.0f);
    EXPECT_EQ(o.mesh_matrix[3], -1.0f);
    ASSERT_EQ(l.scene.nodes.size(), 2u);
    const keyframe_node& n = l.scene.nodes[0];
    EXPECT_EQ(n.name, "box");
    EXPECT_EQ(n.instance_name, "second");
    EXPECT_EQ(n.id, 7);
    EXPECT_EQ(n.parent, 3);
    EXPECT_EQ(n.pivot.z, 3.0f);
    EXPECT_EQ(n.position.x, 4.0f);
    EXPECT_EQ(n.position.z, 6.0f);
    EXPECT_EQ(n.rotation[0], 0.5f);
    EXPECT_EQ(n.rotation[3], 1.0f);
    EXPECT_EQ(n.scale.x, 2.0f);
    EXPECT_EQ(n.scale.z, 4.0f);
    const keyframe_node& d = l.scene.nodes[1];
    EXPECT_EQ(d.name, "$$$DUMMY");
    EXPECT_EQ(d.id, -1);
    EXPECT_EQ(d.parent, 0xFFFF);
    EXPECT_EQ(d.position.x, 0.0f);
}

// Files without node ids number the nodes by their place among all the
// keyframer's nodes, cameras' and lights' included; a mesh hung on a
// camera is not placed under it.
TEST(KeyframerReader, CameraAndLightNodesCountInTheNumberingButAreNotFollowed) {
    using namespace ch;
    const auto node = [](std::uint16_t kind, const std::string& name, std::uint16_t parent, float z) {
        return make(kind, {},
                    {make(0xB010, cat({cstr(name), u16(0), u16(0), u16(parent)})), track(0xB020, 0, {0, 0, z})});
    };
    const bytes file = serialize(primary(
        {editor({named_object(
             "box", {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2, 7}})})})}),
         make(0xB000, {},
              {node(0xB005, "Light01", 0xFFFF, 0), node(0xB003, "Camera01", 0xFFFF, 0),
               node(0xB002, "box", 0xFFFF, 10),  // node 2
               node(0xB002, "box", 2, 1), node(0xB002, "box", 1, 1)})}));
    reader_input::loaded l = reader_input::load_bytes(file);
    ASSERT_EQ(l.result, 1) << l.out;
    testkit::recorder console;
    place_instances(l.scene, console.report);
    ASSERT_EQ(l.scene.instances.size(), 1u) << console.text();
    EXPECT_EQ(l.scene.instances[0].node, 3u);
    expect_near(place_point(l.scene.instances[0].matrix, {0, 0, 0}), {0, 0, 11});
    EXPECT_EQ(testkit::count_warnings(console.text()), 1u) << console.text();
    EXPECT_EQ(testkit::count_warnings(console.text(), "has a camera's or light's node (1) as its parent"), 1u)
        << console.text();
    EXPECT_EQ(meshes_shown_again(l.scene), 1u);
}

TEST(KeyframerReader, LengthsInsideTheKeyframerCannotReachTheChunksAfterIt) {
    using namespace ch;
    // A node that claims 1000 bytes and a track that claims a million keys
    // but holds none, then an editor with an object.
    bytes keyframer = cat({reader_input::header(0xB002, 1000), reader_input::header(0xB020, 6 + 14), u16(0), u32(0),
                           u32(0), u32(1000000)});
    bytes file;
    append_bytes(file, reader_input::header(0xB000, static_cast<std::uint32_t>(6 + keyframer.size())));
    append_bytes(file, keyframer);
    append_bytes(file, serialize(editor({named_object("after", {triangle_mesh({vertex_list({{1, 2, 3}})})})})));
    bytes whole = reader_input::header(0x4D4D, static_cast<std::uint32_t>(6 + file.size()));
    append_bytes(whole, file);
    const reader_input::loaded l = reader_input::load_bytes(whole);
    ASSERT_EQ(l.result, 1) << l.out;
    EXPECT_EQ(l.out.find("Warning"), std::string::npos) << l.out;
    ASSERT_EQ(l.scene.objects.size(), 1u);
    EXPECT_EQ(l.scene.objects[0].name, "after");
    ASSERT_EQ(l.scene.nodes.size(), 1u);
    EXPECT_EQ(l.scene.nodes[0].position.x, 0.0f);
}

}  // namespace
}  // namespace tessvert
