// Writes a big valid 3DS scene for the benchmark:
//   make_scene FACES OUTPUT.3ds
// or the material-group scene of MB megabytes each of materials and groups:
//   make_scene groups:MB OUTPUT.3ds
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_scene FACES OUTPUT.3ds | make_scene groups:MB OUTPUT.3ds\n");
        return 2;
    }
    const bool groups = std::strncmp(argv[1], "groups:", 7) == 0;
    const char* number = argv[1] + (groups ? 7 : 0);
    const unsigned long long most = groups ? 256 : 100000000ULL;
    char* end = nullptr;
    unsigned long long count = std::strtoull(number, &end, 10);
    if (end == number || *end != '\0' || count == 0 || count > most) {
        std::fprintf(stderr, "make_scene: %s must be a number from 1 to %llu\n", groups ? "MB" : "FACES", most);
        return 2;
    }
    const chunks::bytes scene =
        groups ? tessvert_bench::make_group_scene(count) : tessvert_bench::make_bench_scene(count);
    if (!testkit::write_file(argv[2], scene)) {
        std::fprintf(stderr, "make_scene: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
