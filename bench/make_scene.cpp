// Writes a big valid 3DS scene for the benchmark:
//   make_scene FACES OUTPUT.3ds
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_scene FACES OUTPUT.3ds\n");
        return 2;
    }
    char* end = nullptr;
    unsigned long long faces = std::strtoull(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || faces == 0 || faces > 100000000ULL) {
        std::fprintf(stderr, "make_scene: FACES must be a number from 1 to 100000000\n");
        return 2;
    }
    if (!testkit::write_file(argv[2], tessvert_bench::make_bench_scene(faces))) {
        std::fprintf(stderr, "make_scene: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
