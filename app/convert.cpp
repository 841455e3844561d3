#include "app/convert.hpp"

#include "geometry/vertex_normals.hpp"
#include "reader/loader.hpp"
#include "writers/mesh_include.hpp"
#include "writers/scene_file.hpp"

namespace tessvert {

bool read_scene(const run_options& options, scene& s, reporter& report) {
    if (load_scene_file(s, options.input_path, report) == 0) return false;
    remove_invalid_faces(s, report);
    if (options.triangle_mode == 0) {
        tessvert::report(report, message_kind::progress, " Computing normals...\n");
        compute_vertex_normals(s);
    }
    return true;
}

conversion_result convert(const run_options& options, scene& s, reporter& report) {
    conversion_result result;
    if (!read_scene(options, s, report)) {
        tessvert::report(report, message_kind::error, " An error occured\n");
        return result;
    }
    result.loaded = true;
    const view_setup view = setup_initial_view(s, options.camera_select, report);

    // Each writer runs whatever became of the other; a file that could not
    // be written turns the exit code to 0 so that scripts see the failure.
    const bool scene_ok =
        write_scene_file(view, s, options.scene_path, options.include_path, options.base_name, report);
    const bool mesh_ok =
        write_mesh_include(s, options.include_path, options.triangle_mode, result.written_faces, report);
    result.exit_code = scene_ok && mesh_ok ? 1 : 0;
    return result;
}

}  // namespace tessvert
