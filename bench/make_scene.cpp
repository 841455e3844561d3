// Writes a big valid 3DS scene for the benchmark:
//   make_scene [--groups] FACES OUTPUT.3ds
// --groups: several material groups and smoothing groups per object.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"

int main(int argc, char** argv) {
    tessvert_bench::scene_kind kind = tessvert_bench::scene_kind::plain;
    if (argc == 4 && std::strcmp(argv[1], "--groups") == 0) {
        kind = tessvert_bench::scene_kind::groups;
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_scene [--groups] FACES OUTPUT.3ds\n");
        return 2;
    }
    char* end = nullptr;
    unsigned long long faces = std::strtoull(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || faces == 0 || faces > 100000000ULL) {
        std::fprintf(stderr, "make_scene: FACES must be a number from 1 to 100000000\n");
        return 2;
    }
    if (!testkit::write_file(argv[2], tessvert_bench::make_bench_scene(faces, kind))) {
        std::fprintf(stderr, "make_scene: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
