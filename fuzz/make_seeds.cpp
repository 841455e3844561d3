// Writes the fuzzer's seed corpus into a directory: valid 3DS scenes built
// with the chunk builder (meshes with shared vertices and material groups,
// materials with float and 24-bit colours and texture maps, cameras, point
// and spot lights, nested editor chunks, keyframer data), and mutations of
// each: wrong declared lengths (0, 5, one off, 0xFFFFFFFF) on chosen
// chunks, cuts at chosen offsets, and flipped bytes. Deterministic.
//
//   make_seeds DIRECTORY
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/files.hpp"

using namespace chunks;

namespace {

chunk named_material(const std::string& name, chunk colour, const std::string& map = "") {
    std::vector<chunk> children = {material_name(name), diffuse(std::move(colour))};
    if (!map.empty()) children.push_back(texture_map({make(0x0030, u16(100)), map_name(map)}));
    return material(std::move(children));
}

std::vector<chunk> valid_scenes() {
    std::vector<chunk> scenes;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    // A small furnished scene: shared vertices, two materials, a camera and a light.
    scenes.push_back(primary({
        version(3),
        editor({
            make(0x3D3E, u32(3)),
            named_material("Oak", color24(150, 96, 52)),
            named_material("Stone", color_float(0.62f, 0.6f, 0.55f), "stone.gif"),
            grid_object("Floor", 3, 2, 0.0f, "Stone"),
            box_object("Top", {-12, -8, 14}, {12, 8, 16}, "Oak"),
            box_object("Leg", {-11, -7, 0}, {-9, -5, 14}, "Oak"),
            named_object("Camera01", {camera({60.5f, -72.25f, 41.0f}, {0, 0, 10}, 0, 35)}),
            named_object("Light01", {light({-30, -45, 80}, {color_float(1.0f, 0.95f, 0.85f)})}),
        }),
        make(0xB000, {}, {make(0xB00A, cat({u16(5), cstr("MAXSCENE")}))}),
    }));

    // A larger grid for the normals, no material at all.
    scenes.push_back(primary({editor({grid_object("Terrain", 7, 6, 2.5f, "none")})}));

    // Cameras and lights of every kind.
    scenes.push_back(primary({
        version(4),
        editor({
            named_object("CamA", {camera({1, 2, 3}, {0, 0, 0}, 0, 50)}),
            named_object("CamB", {camera({-5.5f, 0.125f, 9}, {1, 1, 1}, 12.5f, 15)}),
            named_object("CamC", {camera({0, 0, 10}, {0, 0, 0}, 0, 0)}),
            named_object("Omni", {light({1, 2, 3}, {color24(255, 128, 0)})}),
            named_object("Spot", {light({0, 0, 50}, {color_float(0.5f, 0.25f, 1), spotlight({0, 0, 0}, 20, 40)})}),
            named_object("Off", {light({4, 4, 4}, {color_float(1, 1, 1), make(0x4620), color24(1, 2, 3)})}),
            named_object("Camera in a mesh", {triangle_mesh({camera({3, 3, 3}, {1, 0, 0}, 0, 28)})}),
        }),
    }));

    // Materials: gamma colour, two colour sub-chunks, texture maps, long names.
    std::string long_name(300, 'M');
    scenes.push_back(primary({editor({
        material(
            {material_name("Gamma"), make(0xA020, {}, {make(0x0013, f32s({2.0f, -1.0f, nan})), color24(9, 9, 9)})}),
        named_material(long_name, color24(1, 2, 3), std::string(280, 't')),
        named_material("Blue", color_float(0, 0, 1), "blue.tga"),
        box_object("Box", {0, 0, 0}, {1, 1, 1}, "Blue"),
        box_object(std::string(270, 'o'), {0, 0, 0}, {2, 2, 2}, long_name.substr(0, 254)),
    })}));

    // Nested editor chunks, objects directly in the primary chunk, an empty editor.
    scenes.push_back(primary({
        named_object("Direct", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})}),
        editor({editor({editor({box_object("Deep", {1, 1, 1}, {2, 3, 4}, "x")})})}),
        editor({}),
        named_material("Late", color24(7, 7, 7)),
    }));

    // Degenerate and invalid faces, non-finite coordinates, a second vertex list.
    scenes.push_back(primary({editor({
        named_object("Odd", {triangle_mesh({
                                vertex_list({{0, 0, 0}, {nan, 1, 0}, {inf, -inf, 0}, {1, 1, 1}}),
                                face_list({{0, 1, 2}, {0, 0, 0}, {3, 3, 1}, {0, 9, 1}, {65535, 65535, 65535}}),
                                vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 2}}),
                            })}),
        named_object("NoVertices", {face_list({{0, 1, 2}})}),
    })}));

    // Odd framing: lengths below 6 and over-long vertex payloads.
    chunk short_unknown = make(0x1234, bytes{1, 2, 3});
    short_unknown.length = 3;
    chunk long_vertices = vertex_list({{1, 2, 3}});
    long_vertices.trailer = bytes(20, 0xAB);
    scenes.push_back(primary({editor({short_unknown, named_object("Long", {long_vertices, face_list({{0, 0, 0}})})})}));

    // Editor chunks nested past the deepest level that is read, then an
    // object that is read.
    scenes.push_back(make(0x4D4D, nested(0x3D3D, 260, serialize(box_object("Deep", {0, 0, 0}, {1, 1, 1}, "x"))),
                          {box_object("Shallow", {0, 0, 0}, {2, 1, 1}, "x")}));

    // Per-face materials and smoothing groups: groups naming a later
    // material, no material and faces beyond the list; masks with shared
    // bits, a zero mask, and an object whose masks are one short.
    bytes masks;
    for (std::uint32_t m : {1u, 3u, 2u, 0u, 0x80000002u, 4u}) append_u32(masks, m);
    const std::vector<xyz> ring = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {1, 1, 0}};
    const std::vector<abc> fan = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}, {1, 5, 2}, {0, 0, 5}};
    scenes.push_back(primary({editor({
        named_material("Early", color24(10, 20, 30)),
        named_object("Groups", {triangle_mesh({vertex_list(ring), face_list(fan, {material_group("Late", {0, 2, 4}),
                                                                                  material_group("Early", {1, 2, 9}),
                                                                                  material_group("Nothing", {5}),
                                                                                  make(0x4150, masks)})})}),
        named_object("Short", {triangle_mesh({vertex_list(ring), face_list(fan, {make(0x4150, u32(1))})})}),
        named_material("Late", color_float(0.5f, 0.5f, 0.5f)),
    })}));

    // A keyframer hierarchy: a mesh shown again under a dummy, nodes of a
    // camera, its target and a light, a mesh hung on the camera, and nodes
    // without ids numbered by their place.
    const auto node = [](std::uint16_t kind, const std::string& name, std::uint16_t parent, std::vector<chunk> more) {
        more.insert(more.begin(), make(0xB010, cat({cstr(name), u16(0), u16(0), u16(parent)})));
        return make(kind, {}, std::move(more));
    };
    scenes.push_back(primary({
        editor({box_object("Box", {0, 0, 0}, {1, 1, 1}, "x"),
                named_object("Camera01", {camera({10, 10, 10}, {0, 0, 0}, 0, 35)})}),
        make(0xB000, {},
             {node(0xB003, "Camera01", 0xFFFF, {track(0xB020, {10, 10, 10})}),
              node(0xB004, "Camera01", 0xFFFF, {track(0xB020, {0, 0, 0})}), object_node(2, "Box", 0xFFFF, {0, 0, 0}),
              object_node(3, "$$$DUMMY", 0xFFFF, {5, 0, 0}, {0.5f, 0, 0, 1}, {2, 2, 2}),
              object_node(4, "Box", 3, {0, 3, 0}, {0, 0, 0, 0}, {1, 1, 1}, {0.5f, 0.5f, 0.5f}),
              node(0xB005, "Omni", 0xFFFF, {track(0xB020, {1, 2, 3})}),
              node(0xB002, "Box", 0, {make(0xB011, cstr("OnTheCamera")), track(0xB020, {0, 0, 1})}),
              node(0xB002, "Box", 3, {track(0xB020, {1, 1, 1}), track(0xB022, {1, -1, 1})})}),
    }));

    // An empty primary chunk.
    scenes.push_back(primary({}));
    return scenes;
}

// Every chunk of a tree, in file order.
void collect(chunk& c, std::vector<chunk*>& all) {
    all.push_back(&c);
    for (chunk& child : c.children) collect(child, all);
}

struct writer {
    std::string dir;
    int count = 0;
    bool ok = true;
    void put(const bytes& data) {
        char name[32];
        std::snprintf(name, sizeof name, "/seed-%04d.3ds", count++);
        ok = testkit::write_file(dir + name, data) && ok;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
        return 2;
    }
    writer out{argv[1]};
    std::mt19937 rng(20240607u);
    auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };

    for (chunk& scene : valid_scenes()) {
        const bytes whole = serialize(scene);
        out.put(whole);

        // Wrong declared lengths on a few chunks of the tree.
        std::vector<chunk*> all;
        collect(scene, all);
        const std::uint32_t wrong[] = {0, 5, 6, 0xFFFFFFFFu};
        for (int k = 0; k < 6 && !all.empty(); ++k) {
            chunk* c = all[pick(all.size())];
            const std::uint32_t real = static_cast<std::uint32_t>(serialize(*c).size());
            const std::uint32_t lengths[] = {wrong[pick(4)], real - 1, real + 1};
            c->length = lengths[pick(3)];
            out.put(serialize(scene));
            c->length.reset();
        }

        // Cuts: at a chunk header, inside one, one byte short of the end.
        if (whole.size() > 8) {
            for (std::size_t cut :
                 {std::size_t{3}, std::size_t{8}, whole.size() / 3, whole.size() / 2, whole.size() - 1})
                out.put(bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        }

        // A few flipped bytes.
        for (int k = 0; k < 4 && whole.size() > 6; ++k) {
            bytes flipped = whole;
            for (int i = 0; i < 3; ++i)
                flipped[6 + pick(flipped.size() - 6)] ^= static_cast<std::uint8_t>(1u << pick(8));
            out.put(flipped);
        }
    }
    if (!out.ok) {
        std::fprintf(stderr, "make_seeds: cannot write into %s\n", argv[1]);
        return 1;
    }
    std::printf("make_seeds: %d seeds written to %s\n", out.count, argv[1]);
    return 0;
}
