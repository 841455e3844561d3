// The glTF scene (--format gltf): its files read back (copies, vertices
// split by their normals, indices, materials, images), checked by the
// Khronos validator, and rendered by Blender's Cycles: colours, the
// picture's orientation, a texture map's quarters, a spotlight's cone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

#include "testkit/chunk_builder.hpp"
#include "testkit/png.hpp"
#include "testkit/quarters.hpp"
#include "tests/gltf_files.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::json;
using testkit::write_file;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

chunk named_material(const std::string& name, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                     std::vector<chunk> more = {}) {
    std::vector<chunk> children{material_name(name), diffuse(color24(r, g, b))};
    for (chunk& c : more) children.push_back(std::move(c));
    return material(std::move(children));
}

chunk percent(std::uint16_t id, std::uint16_t value) {
    return make(id, {}, {make(0x0030, u16(value))});
}

chunk lamp(const std::string& name, xyz at, std::vector<chunk> children = {}) {
    children.insert(children.begin(), color_float(1, 1, 1));
    return named_object(name, {light(at, children)});
}

// Converts `scene` (written as NAME.3ds in `dir`) to NAME.gltf and
// NAME.bin with the options; the console.
std::string convert(const fs::path& dir, const std::string& name, const bytes& scene,
                    std::vector<std::string> options = {}) {
    write_file(dir / (name + ".3ds"), scene);
    std::vector<std::string> args = {"-i", name + ".3ds", "-o", name, "--format", "gltf"};
    args.insert(args.end(), options.begin(), options.end());
    const e2e::result r = e2e::run(dir, args);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    return r.out;
}

// Seen from (0, -20, 0) towards the origin, z up: a red box right of the
// line of sight and a green one above it.
bytes axes_scene() {
    return serialize(primary({version(3), editor({named_material("Red", 255, 0, 0), named_material("Green", 0, 255, 0),
                                                  box_object("Right", {3, -1, -1}, {5, 1, 1}, "Red"),
                                                  box_object("Above", {-1, -1, 3}, {1, 1, 5}, "Green"),
                                                  named_object("Eye", {camera({0, -20, 0}, {0, 0, 0}, 0, 35)}),
                                                  lamp("Lamp", {0, -20, 0})})}));
}

// A white floor 60 x 60 at z = 0 seen from (0, -30, 30), lit by `light`.
bytes floor_scene(chunk light) {
    const std::vector<xyz> corners = {{-30, -30, 0}, {30, -30, 0}, {30, 30, 0}, {-30, 30, 0}};
    return serialize(primary(
        {version(3), editor({named_material("White", 255, 255, 255),
                             named_object("Floor", {triangle_mesh({vertex_list(corners),
                                                                   face_list({{0, 1, 2}, {0, 2, 3}},
                                                                             {material_group("White", {0, 1})})})}),
                             named_object("Eye", {camera({0, -30, 30}, {0, 0, 0}, 0, 35)}), light})}));
}

// The square x, z in 0..1 at y = 0, mapping coordinates (x, z), seen
// straight on by a camera at y = -2.5 beside a light; a white material of
// the map `map` (with `placement` among its children) and `more`.
bytes square_scene(const std::string& map, std::vector<chunk> placement = {}, std::vector<chunk> more = {}) {
    std::vector<chunk> texture{make(0x0030, u16(100)), map_name(map)};
    for (chunk& c : placement) texture.push_back(std::move(c));
    more.insert(more.begin(), texture_map(std::move(texture)));
    return serialize(primary({editor({
        named_material("Paper", 255, 255, 255, std::move(more)),
        named_object("Square", {triangle_mesh({
                                   vertex_list({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}),
                                   mapping_coords({{0, 0}, {1, 0}, {1, 1}, {0, 1}}),
                                   face_list({{0, 1, 2}, {0, 2, 3}}, {material_group("Paper", {0, 1})}),
                               })}),
        named_object("Eye", {camera({0.5f, -2.5f, 0.5f}, {0.5f, 0, 0.5f}, 0, 35)}),
        lamp("Lamp", {0.5f, -2.5f, 0.5f}),
    })}));
}

// An orange box of full self-illumination facing the camera, no light.
bytes glow_scene() {
    return serialize(primary({editor({named_material("Glow", 200, 100, 50, {percent(0xA084, 100)}),
                                      box_object("Box", {-1, -1, -1}, {1, 1, 1}, "Glow"),
                                      named_object("Eye", {camera({0, -10, 0}, {0, 0, 0}, 0, 35)})})}));
}

// A w x h grid of cells at z = height(x, y), every face of smoothing mask
// 0 (each face its own normal).
bytes grid_scene(int w, int h, float (*height)(int, int)) {
    std::vector<xyz> v;
    for (int j = 0; j <= h; ++j)
        for (int i = 0; i <= w; ++i) v.push_back({static_cast<float>(i), static_cast<float>(j), height(i, j)});
    std::vector<abc> f;
    bytes masks;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const auto at = [w](int x, int y) { return static_cast<std::uint16_t>(y * (w + 1) + x); };
            f.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            f.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
            append_u32(masks, 0);
            append_u32(masks, 0);
        }
    return serialize(primary(
        {editor({named_object("Grid", {triangle_mesh({vertex_list(v), face_list(f, {make(0x4150, masks)})})})})}));
}

// A unit cube as stored, a copy turned a quarter about z, one under a
// parent scaled along x and turned 45 degrees (a shear), one mirrored.
bytes copies_scene() {
    const std::vector<chunk> items = {named_material("m", 10, 200, 10), box_object("cube", {0, 0, 0}, {1, 1, 1}, "m")};
    const chunk keyframer = make(
        0xB000, {},
        {object_node(0, "cube", 0xFFFF, {0, 0, 0}), object_node(1, "cube", 0xFFFF, {3, 3, 0}, {1.5707964f, 0, 0, 1}),
         object_node(7, "$$$DUMMY", 0xFFFF, {0, 0, 0}, {0, 0, 0, 0}, {2, 1, 1}),
         object_node(8, "cube", 7, {0, 0, 0}, {0.7853982f, 0, 0, 1}),
         object_node(9, "cube", 0xFFFF, {-3, 0, 0}, {0, 0, 0, 0}, {-1, 1, 1})});
    return serialize(primary({version(3), editor(items), keyframer}));
}

std::size_t count_nodes_of_mesh(const json& doc, std::size_t mesh) {
    std::size_t n = 0;
    for (const json& node : doc["nodes"].items) n += node.has("mesh") && node["mesh"].index() == mesh;
    return n;
}

// Per triangle of the primitive: whether its corners turn about its first
// corner's normal counter-clockwise (the front face glTF sees).
bool front_faces_outward(const gltf::file& f, const json& primitive) {
    const std::vector<double> p = f.accessor(primitive["attributes"]["POSITION"].index());
    const std::vector<double> n = f.accessor(primitive["attributes"]["NORMAL"].index());
    const std::vector<double> idx = f.accessor(primitive["indices"].index());
    for (std::size_t t = 0; t < idx.size(); t += 3) {
        const auto a = static_cast<std::size_t>(idx[t]), b = static_cast<std::size_t>(idx[t + 1]),
                   c = static_cast<std::size_t>(idx[t + 2]);
        double u[3], v[3];
        for (int k = 0; k < 3; ++k) u[k] = p[3 * b + k] - p[3 * a + k], v[k] = p[3 * c + k] - p[3 * a + k];
        const double cross[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        if (cross[0] * n[3 * a] + cross[1] * n[3 * a + 1] + cross[2] * n[3 * a + 2] <= 0) return false;
    }
    return true;
}

// Authored with y up, seen from (0, 10, 20), above and in front: a red
// box above the origin (+y) and a green one to its right (+x).
bytes upright_scene() {
    return serialize(primary({version(3), editor({named_material("Red", 255, 0, 0), named_material("Green", 0, 255, 0),
                                                  box_object("Above", {-1, 3, -1}, {1, 5, 1}, "Red"),
                                                  box_object("Right", {3, -1, -1}, {5, 1, 1}, "Green"),
                                                  named_object("Eye", {camera({0, 10, 20}, {0, 0, 0}, 0, 35)}),
                                                  lamp("Lamp", {0, 10, 20})})}));
}

// A white box seen from (0, -10, 0) whose only light, a narrow spotlight
// in front of it, points away from it: it lights nothing.
bytes unlit_scene() {
    return serialize(primary({version(3), editor({named_material("White", 255, 255, 255),
                                                  box_object("Box", {-1, -1, -1}, {1, 1, 1}, "White"),
                                                  named_object("Eye", {camera({0, -10, 0}, {0, 0, 0}, 0, 35)}),
                                                  lamp("Away", {0, -3, 0}, {spotlight({0, -20, 0}, 10, 15)})})}));
}

// A green cube at the origin, seen from (0, -20, 0), whose keyframer node
// puts it 4 units to the right.
bytes moved_scene() {
    const std::vector<chunk> items = {
        named_material("m", 10, 200, 10), box_object("cube", {-1, -1, -1}, {1, 1, 1}, "m"),
        named_object("Eye", {camera({0, -20, 0}, {0, 0, 0}, 0, 35)}), lamp("Lamp", {0, -20, 0})};
    return serialize(
        primary({version(3), editor(items), make(0xB000, {}, {object_node(0, "cube", 0xFFFF, {4, 0, 0})})}));
}

}  // namespace

TEST(GltfFiles, CopiesAreNodesOfTheirMeshUnlessTheirMatrixShearsOrMirrorsIt) {
    testkit::temp_dir dir;
    convert(dir.path, "copies", copies_scene(), {"--instances"});
    const gltf::file f = gltf::read(dir / "copies.gltf");
    // The cube's mesh, then the sheared and the mirrored copy's.
    ASSERT_EQ(f.doc["meshes"].size(), 3u);
    EXPECT_EQ(count_nodes_of_mesh(f.doc, 0), 2u);
    const json& turned = f.doc["nodes"][f.doc["nodes"].size() - 3];
    ASSERT_EQ(turned["mesh"].index(), 0u);
    // A quarter turn about z, clockwise seen from above as 3D Studio's keys turn.
    EXPECT_NEAR(turned["rotation"][2].value, -std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(turned["rotation"][3].value, std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(turned["translation"][0].value, 3, 1e-6);
    // The sheared copy's positions: the cube turned 45 degrees clockwise,
    // then stretched twice along x.
    const json& sheared = f.doc["accessors"][f.doc["meshes"][1]["primitives"][0]["attributes"]["POSITION"].index()];
    const double r = std::sqrt(2.0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(sheared["min"][k].value, (std::array<double, 3>{0, -r / 2, 0})[k], 1e-5);
        EXPECT_NEAR(sheared["max"][k].value, (std::array<double, 3>{2 * r, r / 2, 1})[k], 1e-5);
    }
    // The front faces of every mesh face outward, the mirrored one's too.
    for (std::size_t m = 0; m < 3; ++m)
        EXPECT_TRUE(front_faces_outward(f, f.doc["meshes"][m]["primitives"][0])) << "mesh " << m;
}

TEST(GltfFiles, VerticesAreSplitOnlyWhereTheirCornersNormalsDifferAndIndicesWidenPast65535) {
    testkit::temp_dir dir;
    // 200 x 150 cells: 60 000 faces on 30 351 vertices, each face flat.
    convert(dir.path, "flat", grid_scene(200, 150, [](int, int) { return 0.0f; }));
    convert(dir.path, "wavy",
            grid_scene(200, 150, [](int i, int j) { return std::sin(0.3f * i) * std::cos(0.2f * j); }));
    const gltf::file flat = gltf::read(dir / "flat.gltf"), wavy = gltf::read(dir / "wavy.gltf");
    const json& flat_primitive = flat.doc["meshes"][0]["primitives"][0];
    const json& wavy_primitive = wavy.doc["meshes"][0]["primitives"][0];
    // On the plane every face has the normal (0, 0, 1): no vertex is split.
    EXPECT_EQ(flat.doc["accessors"][flat_primitive["attributes"]["POSITION"].index()]["count"].index(), 30351u);
    EXPECT_EQ(flat.doc["accessors"][flat_primitive["indices"].index()]["componentType"].value, 5123);
    // On the waves each corner has its face's normal: more than 65 535
    // vertices, u32 indices, each face flat.
    const std::size_t count = wavy.doc["accessors"][wavy_primitive["attributes"]["POSITION"].index()]["count"].index();
    EXPECT_GT(count, 65535u);
    EXPECT_EQ(wavy.doc["accessors"][wavy_primitive["indices"].index()]["componentType"].value, 5125);
    const std::vector<double> idx = wavy.accessor(wavy_primitive["indices"].index());
    const std::vector<double> n = wavy.accessor(wavy_primitive["attributes"]["NORMAL"].index());
    ASSERT_EQ(idx.size(), 180000u);
    for (std::size_t t = 0; t < idx.size(); t += 3)
        for (int c = 1; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(n[3 * static_cast<std::size_t>(idx[t + c]) + k], n[3 * static_cast<std::size_t>(idx[t]) + k]);
    EXPECT_EQ(*std::max_element(idx.begin(), idx.end()), static_cast<double>(count - 1));
}

TEST(GltfFiles, TheSameBytesOnAnyNumberOfThreads) {
    testkit::temp_dir dir;
    write_file(dir / "wavy.3ds",
               grid_scene(200, 150, [](int i, int j) { return std::sin(0.3f * i) * std::cos(0.2f * j); }));
    for (const char* threads : {"1", "2", "7"}) {
        fs::create_directory(dir / threads);
        const e2e::result r = e2e::run(
            dir.path, {"-i", "wavy.3ds", "-o", std::string(threads) + "/w", "--format", "gltf", "--threads", threads});
        ASSERT_EQ(r.exit_code, 1) << r.out;
    }
    const std::string one = testkit::read_file(dir / "1" / "w.bin");
    EXPECT_EQ(one.size(), gltf::read(dir / "1" / "w.gltf").doc["buffers"][0]["byteLength"].index());
    for (const char* other : {"2", "7"}) {
        EXPECT_TRUE(one == testkit::read_file(dir / other / "w.bin")) << other;
        EXPECT_EQ(testkit::read_file(dir / "1" / "w.gltf"), testkit::read_file(dir / other / "w.gltf"));
    }
}

TEST(GltfFiles, MaterialsSayTransparencyGlowHighlightAndBothSidesUnderNamesInUtf8) {
    testkit::temp_dir dir;
    const bytes scene = serialize(primary({editor({
        named_material(
            "Glass", 255, 128, 0,
            {percent(0xA050, 40), percent(0xA084, 100), percent(0xA040, 80), percent(0xA041, 100), make(0xA081)}),
        named_material("Caf\xE9\x01", 0, 0, 255),
        box_object("a", {0, 0, 0}, {1, 1, 1}, "Glass"),
        box_object("b", {2, 0, 0}, {3, 1, 1}, "Caf\xE9\x01"),
    })}));
    // The scene names its buffer file by a URI that carries any name.
    convert(dir.path, "m 1%", scene);
    const gltf::file f = gltf::read(dir / "m 1%.gltf");
    EXPECT_EQ(f.doc["buffers"][0]["uri"].text, "m%201%25.bin");
    EXPECT_EQ(f.doc["asset"]["generator"].text, "tessvert " TESSVERT_VERSION_TEXT);
    const json& glass = f.doc["materials"][0];
    const json& matte = f.doc["materials"][1];
    EXPECT_EQ(glass["name"].text, "Glass");
    const json& base = glass["pbrMetallicRoughness"]["baseColorFactor"];
    EXPECT_NEAR(base[0].value, 1.0, 1e-9);
    EXPECT_NEAR(base[1].value, 0.2158605, 1e-6);  // 128 / 255 in sRGB, linear
    EXPECT_NEAR(base[3].value, 0.6, 1e-6);        // 40% transparent
    EXPECT_EQ(glass["alphaMode"].text, "BLEND");
    EXPECT_TRUE(glass["doubleSided"].flag);
    EXPECT_NEAR(glass["emissiveFactor"][1].value, base[1].value, 1e-9);
    EXPECT_LT(glass["pbrMetallicRoughness"]["roughnessFactor"].value, 0.5);
    EXPECT_EQ(matte["name"].text, "Caf\xC3\xA9\x01");  // Latin-1 made UTF-8, the control escaped
    EXPECT_NE(testkit::read_file(dir / "m 1%.gltf").find("\"Caf\xC3\xA9\\u0001\""), std::string::npos);
    EXPECT_FALSE(matte.has("doubleSided"));
    EXPECT_FALSE(matte.has("alphaMode"));
    EXPECT_EQ(matte["pbrMetallicRoughness"]["roughnessFactor"].value, 1.0);
    EXPECT_EQ(matte["pbrMetallicRoughness"]["metallicFactor"].value, 0.0);
}

TEST(GltfFiles, OnlyPngAndJpegImagesAreShownTheirNamesAsRelativeUris) {
    testkit::temp_dir dir;
    put(dir / "my map.png", testkit::png_of(16, 16, testkit::quarters_rgb()));
    // A PPM under a PNG's name: its bytes say what it is.
    put(dir / "fake.png", testkit::quarters_ppm());
    const std::string shown = convert(dir.path, "shown", square_scene("MY MAP.PNG", {}, {}));
    const std::string half = convert(dir.path, "half", square_scene("my map.png", {make(0x0030, u16(50))}));
    const std::string fake = convert(dir.path, "fake", square_scene("fake.png"));
    const std::string turned =
        convert(dir.path, "turned", square_scene("my map.png", {make(0xA35C, f32s({30})), make(0xA354, f32s({2}))}));
    const gltf::file f = gltf::read(dir / "shown.gltf");
    EXPECT_EQ(f.doc["images"][0]["uri"].text, "shown-my%20map.png");
    EXPECT_EQ(shown.find("Warning"), std::string::npos) << shown;
    EXPECT_NE(half.find(" Warning: the texture map \"my map.png\" of material \"Paper\" shows 50% of its image, "
                        "which glTF 2.0 cannot say: the image is shown whole\n"),
              std::string::npos)
        << half;
    EXPECT_NE(
        fake.find(" Warning: the texture map \"fake.png\" of material \"Paper\" does not hold a png image, as its "
                  "name says, nor another that glTF 2.0 reads; the material is drawn in its diffuse colour\n"),
        std::string::npos)
        << fake;
    EXPECT_FALSE(gltf::read(dir / "fake.gltf").doc.has("images"));
    EXPECT_NE(turned.find(" Warning: the texture map \"my map.png\" of material \"Paper\" is turned and scaled "
                          "unequally along u and v, which glTF 2.0 cannot say: it is scaled along its turned axes "
                          "instead\n"),
              std::string::npos)
        << turned;
}

namespace {

// Every scene of the tests above and below, converted into `dir`: their
// .gltf files.
std::vector<fs::path> test_scenes(const fs::path& dir) {
    put(dir / "quarters.png", testkit::png_of(16, 16, testkit::quarters_rgb()));
    const auto turned = [](float degrees) { return make(0xA35C, f32s({degrees})); };
    const std::vector<std::pair<std::string, bytes>> scenes = {
        {"axes", axes_scene()},
        {"spot", floor_scene(lamp("Spot", {0, 0, 20}, {spotlight({0, 0, 0}, 20, 30)}))},
        {"point", floor_scene(lamp("Point", {0, 0, 20}))},
        {"quarters", square_scene("QUARTERS.PNG")},
        {"turned", square_scene("quarters.png", {turned(90)})},
        {"glow", glow_scene()},
        // Moved half the image to the right: its right half on the left,
        // repeated or (the mirror flag) turned over.
        {"moved", square_scene("quarters.png", {make(0xA358, f32s({0.5f}))})},
        {"mirrored", square_scene("quarters.png", {make(0xA358, f32s({0.5f})), make(0xA351, u16(0x0002))})},
        {"copies", copies_scene()},
        {"upright", upright_scene()},
        {"unlit", unlit_scene()},
        {"studio", unlit_scene()},
        {"placed", moved_scene()},
    };
    // glow has no light and stays so (--file-view: no headlight).
    const std::map<std::string, std::vector<std::string>> options = {{"copies", {"--instances"}},
                                                                     {"glow", {"--file-view"}},
                                                                     {"upright", {"--up", "y"}},
                                                                     {"studio", {"--lights", "studio"}},
                                                                     {"placed", {"--placement", "keyframer"}}};
    std::vector<fs::path> files;
    for (const auto& [name, scene] : scenes) {
        const auto given = options.find(name);
        convert(dir, name, scene, given == options.end() ? std::vector<std::string>{} : given->second);
        files.push_back(dir / (name + ".gltf"));
    }
    return files;
}

int brightness(const std::array<int, 3>& c) {
    return std::max({c[0], c[1], c[2]});
}

// Mean column and row of the pixels that pass `is`, and how many.
template <typename Is>
std::array<double, 3> where(const testkit::picture& p, Is&& is) {
    std::array<double, 3> s{0, 0, 0};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (is(p.at(x, y))) s = {s[0] + x, s[1] + y, s[2] + 1};
    if (s[2] > 0) s[0] /= s[2], s[1] /= s[2];
    return s;
}

// The colours near the centres of the four quarters, top left first.
std::string quarters_seen(const testkit::picture& p) {
    std::string seen;
    for (const int dy : {-1, 1})
        for (const int dx : {-1, 1})
            seen +=
                testkit::colour_name(p.at(p.width / 2 + dx * p.width / 10, p.height / 2 + dy * p.height / 10), 150, 60);
    return seen;
}

}  // namespace

TEST(GltfValidator, EveryTestSceneIsValidWithoutAWarning) {
    REQUIRE_VALIDATOR();
    testkit::temp_dir dir;
    const std::vector<fs::path> files = test_scenes(dir.path);
    EXPECT_EQ(gltf::validation_problems(files, dir.path), "");
}

TEST(GltfBlender, ColoursOrientationTextureMapAndSpotlightAsCyclesRendersThem) {
    REQUIRE_BLENDER();
    testkit::temp_dir dir;
    const std::vector<fs::path> files = test_scenes(dir.path);
    constexpr int width = 80, height = 60;
    std::string log;
    const std::vector<testkit::picture> p = gltf::render(files, dir.path, width, height, log);
    for (const testkit::picture& picture : p) ASSERT_EQ(picture.width, width) << log;
    // axes: the red box right of the line of sight, the green one above it.
    const auto red = where(p[0], [](const std::array<int, 3>& c) { return c[0] > 120 && c[1] < 50 && c[2] < 50; });
    const auto green = where(p[0], [](const std::array<int, 3>& c) { return c[1] > 120 && c[0] < 50 && c[2] < 50; });
    ASSERT_GT(red[2], 20);
    ASSERT_GT(green[2], 20);
    EXPECT_GT(red[0], 0.6 * width);
    EXPECT_NEAR(red[1], height / 2.0, 0.1 * height);
    EXPECT_LT(green[1], 0.4 * height);
    EXPECT_NEAR(green[0], width / 2.0, 0.1 * width);
    // spot and point: the cone lights the floor below it and not its edge.
    const auto lit = [](const std::array<int, 3>& c) { return brightness(c) > 40; };
    EXPECT_GT(brightness(p[1].at(width / 2, height / 2)), 100);
    EXPECT_LT(brightness(p[1].at(width / 8, height / 2)), 5);
    EXPECT_GT(brightness(p[2].at(width / 8, height / 2)), 40);
    EXPECT_LT(where(p[1], lit)[2], where(p[2], lit)[2] / 4);
    // quarters: the image upright; turned a quarter counter-clockwise.
    EXPECT_EQ(quarters_seen(p[3]), "RGBY");
    EXPECT_EQ(quarters_seen(p[4]), "GYRB");
    EXPECT_EQ(quarters_seen(p[6]), "GRYB");
    EXPECT_EQ(quarters_seen(p[7]), "RRBB");
    // glow: a material lit by itself alone shows its own colour.
    const std::array<int, 3> glow = p[5].at(width / 2, height / 2);
    EXPECT_NEAR(glow[0], 200, 4);
    EXPECT_NEAR(glow[1], 100, 4);
    EXPECT_NEAR(glow[2], 50, 4);
    // upright (--up y): what was authored above stands above, its camera's
    // up turned with it.
    const auto red_up = where(p[9], [](const std::array<int, 3>& c) { return c[0] > 120 && c[1] < 50 && c[2] < 50; });
    const auto green_right =
        where(p[9], [](const std::array<int, 3>& c) { return c[1] > 120 && c[0] < 50 && c[2] < 50; });
    ASSERT_GT(red_up[2], 20);
    ASSERT_GT(green_right[2], 20);
    EXPECT_LT(red_up[1], 0.4 * height);
    EXPECT_GT(green_right[0], 0.6 * width);
    // unlit and studio: the file's light shows nothing, the studio rig
    // (--lights studio) the whole front of the box.
    EXPECT_LT(brightness(p[10].at(width / 2, height / 2)), 10);
    EXPECT_GT(brightness(p[11].at(width / 2, height / 2)), 60);
    // placed (--placement keyframer): the cube where its node puts it.
    const auto moved = where(p[12], [](const std::array<int, 3>& c) { return c[1] > 120 && c[0] < 60 && c[2] < 60; });
    ASSERT_GT(moved[2], 20);
    EXPECT_GT(moved[0], 0.6 * width);
}
