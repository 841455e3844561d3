#include "app/run.hpp"

#include <cstdio>

#include "app/options.hpp"
#include "reader/loader.hpp"
#include "writers/mesh_include.hpp"
#include "writers/scene_file.hpp"

namespace tessvert {

namespace {

void print_statistics(const run_options& o, const scene& s, std::int32_t written_faces) {
    std::printf("\n Scene statistics for %s\n", o.input_path.c_str());
    std::printf("    Number of cameras:\t\t%d\n", s.camera_count);
    std::printf("    Number of lights:\t\t%d\n", s.light_count);
    std::printf("    Number of materials:\t%d\n", s.material_count);
    std::printf("    Number of objects:\t\t%d\n", s.object_count);
    std::printf("    Number of faces:\t\t%d\n", written_faces);
}

}  // namespace

int run(int argc, const char* const* argv) {
    run_options options;
    print_banner();
    if (parse_command_line(argc, argv, options) == parse_result::usage) {
        print_usage();
        return -1;
    }
    if (options.input_given == 0) {
        std::printf("\n No input file specified.\n");
        return 0;
    }

    scene s = init_scene();
    if (load_scene_file(s, options.input_path, options.triangle_mode == 0 ? 1 : 0) == 0) {
        std::printf(" An error occured\n");
        return 0;
    }
    view_setup view = setup_initial_view(s, options.camera_select);

    // Each writer runs whatever became of the other; a file that could not
    // be written turns the exit code to 0 so that scripts see the failure.
    std::int32_t written_faces = 0;
    bool scene_ok = write_scene_file(view, s, options.scene_path, options.include_path, options.base_name);
    bool mesh_ok = write_mesh_include(s, options.include_path, options.triangle_mode, written_faces);
    print_statistics(options, s, written_faces);
    return scene_ok && mesh_ok ? 1 : 0;
}

}  // namespace tessvert
