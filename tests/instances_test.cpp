// Placements of the keyframer's instances: hierarchy, pivot, mesh matrix
// and the faulty nodes that add no copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "geometry/instances.hpp"
#include "geometry/vertex_normals.hpp"
#include "model/scene.hpp"
#include "testkit/console.hpp"

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
    o.vertex_count = 3;
    o.faces = {{0, 2, 1}};
    o.face_count = 1;
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
    s.nodes[2].scale = {2, 2, 2};
    s.nodes[2].rotation = {static_cast<float>(M_PI / 2), 0, 0, 1};
    testkit::recorder console;
    place_instances(s, console.report);
    EXPECT_EQ(console.text(), "");
    ASSERT_EQ(s.instances.size(), 2u);
    EXPECT_EQ(s.instances[0].node, 1u);
    expect_near(placed(s, 0, 1), {3, 1, 1});
    // A key's angle turns clockwise seen down its axis: +x goes to -y.
    expect_near(placed(s, 1, 2), {0, -2, 0});
    expect_near(placed(s, 1, 1), {2, -2, 2});
    EXPECT_EQ(meshes_shown_again(s), 1u);
    // The copies go after the file's objects and leave with them.
    const std::size_t file_objects = add_instance_copies(s);
    EXPECT_EQ(s.objects.size(), 3u);
    remove_instance_copies(s, file_objects);
    EXPECT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(s.object_count, 1);
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
    compute_vertex_normals(s);
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
    EXPECT_EQ(testkit::count_warnings(out, "has a parent that was left out"), 1u) << out;
    EXPECT_EQ(testkit::count_warnings(out, "not finite"), 1u) << out;

    // A mesh matrix without an inverse leaves every copy out.
    s.nodes = {node("box", 0), node("box", 1)};
    s.objects[0].mesh_matrix = {1, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0};
    testkit::recorder flat;
    place_instances(s, flat.report);
    EXPECT_TRUE(s.instances.empty());
    EXPECT_EQ(testkit::count_warnings(flat.text(), "own matrix cannot be inverted"), 1u) << flat.text();
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

}  // namespace
}  // namespace tessvert
