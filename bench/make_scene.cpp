// Writes a big valid 3DS scene for the benchmark:
//   make_scene [--groups | --bands] FACES OUTPUT.3ds
// --groups: several material groups and smoothing groups per object;
// --bands: three materials in bands of 97 faces, smoothing masks in bands
// of 64.
// Or the material look-up scene of MB megabytes each of materials and groups:
//   make_scene lookup:MB OUTPUT.3ds
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"

int main(int argc, char** argv) {
    tessvert_bench::scene_kind kind = tessvert_bench::scene_kind::plain;
    if (argc == 4 && (std::strcmp(argv[1], "--groups") == 0 || std::strcmp(argv[1], "--bands") == 0)) {
        kind = argv[1][2] == 'g' ? tessvert_bench::scene_kind::groups : tessvert_bench::scene_kind::bands;
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: make_scene [--groups | --bands] FACES OUTPUT.3ds | make_scene lookup:MB OUTPUT.3ds\n");
        return 2;
    }
    const bool lookup = std::strncmp(argv[1], "lookup:", 7) == 0;
    const char* number = argv[1] + (lookup ? 7 : 0);
    const unsigned long long most = lookup ? 256 : 100000000ULL;
    char* end = nullptr;
    unsigned long long count = std::strtoull(number, &end, 10);
    if (end == number || *end != '\0' || count == 0 || count > most) {
        std::fprintf(stderr, "make_scene: %s must be a number from 1 to %llu\n", lookup ? "MB" : "FACES", most);
        return 2;
    }
    const chunks::bytes scene =
        lookup ? tessvert_bench::make_lookup_scene(count) : tessvert_bench::make_bench_scene(count, kind);
    if (!testkit::write_file(argv[2], scene)) {
        std::fprintf(stderr, "make_scene: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
