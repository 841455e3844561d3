// Writes the example scene: a small table on a floor, built from objects that
// share vertices, with two materials, a camera and a light.
//
//   make_example examples/table.3ds
#include <cstdio>

#include "testkit/chunk_builder.hpp"
#include "testkit/files.hpp"

using namespace chunks;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example OUTPUT.3ds\n");
        return 2;
    }
    chunk floor =
        named_object("Floor", {triangle_mesh({vertex_list({{-40, -40, 0}, {40, -40, 0}, {40, 40, 0}, {-40, 40, 0}}),
                                              face_list({{0, 1, 2}, {0, 2, 3}}, {material_group("Stone")})})});
    chunk scene = primary({
        version(3),
        editor({
            material({material_name("Oak"), diffuse(color24(150, 96, 52))}),
            material({material_name("Stone"), diffuse(color_float(0.62f, 0.6f, 0.55f))}),
            floor,
            box_object("TableTop", {-12, -8, 14}, {12, 8, 16}, "Oak"),
            box_object("Leg1", {-11, -7, 0}, {-9, -5, 14}, "Oak"),
            box_object("Leg2", {9, -7, 0}, {11, -5, 14}, "Oak"),
            box_object("Leg3", {9, 5, 0}, {11, 7, 14}, "Oak"),
            box_object("Leg4", {-11, 5, 0}, {-9, 7, 14}, "Oak"),
            named_object("Camera01", {camera({60.5f, -72.25f, 41.0f}, {0, 0, 10}, 0, 35)}),
            named_object("Light01", {light({-30, -45, 80}, {color_float(1.0f, 0.95f, 0.85f)})}),
        }),
    });
    if (!testkit::write_file(argv[1], serialize(scene))) {
        std::fprintf(stderr, "make_example: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
