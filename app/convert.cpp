#include "app/convert.hpp"

#include <string>

#include "geometry/corner_normals.hpp"
#include "geometry/vertex_normals.hpp"
#include "reader/face_materials.hpp"
#include "reader/loader.hpp"
#include "writers/mesh_include.hpp"
#include "writers/scene_file.hpp"

namespace tessvert {

namespace {

// "first", "second", ... "tenth", then "11th", "22nd", "103rd".
std::string ordinal(std::int64_t n) {
    static const char* const words[] = {"first", "second",  "third",  "fourth", "fifth",
                                        "sixth", "seventh", "eighth", "ninth",  "tenth"};
    if (n >= 1 && n <= 10) return words[n - 1];
    const std::int64_t tens = n % 100;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

// What -c asked for, in the user's numbering: -c N is camera N + 2.
std::string asked_camera(std::int32_t camera_select) {
    if (camera_select < 0) return "no camera (-c -1 is the first)";
    return "the " + ordinal(static_cast<std::int64_t>(camera_select) + 1) + " camera";
}

}  // namespace

std::int32_t choose_camera(const run_options& options, const scene& s, reporter& report) {
    const std::string given = "-c " + options.camera_text;
    std::int32_t index = options.camera_select;
    std::string used;
    if (s.camera_count == 0) {
        index = -1;
        used = "the file has no camera, so the default view is used";
    } else if (index < 0 || index >= s.camera_count) {
        report_warning(report, given + " asks for " + asked_camera(options.camera_select) + "; the file has " +
                                   std::to_string(s.camera_count) + "; the first camera gives the initial view");
        index = 0;
        used = "the file has no such camera, so the first one is used";
    } else {
        used = "the " + ordinal(index + 1) + " camera gives the initial view";
    }
    if (!options.camera_text_whole)
        report_warning(report, "-c \"" + options.camera_text + "\" is not a whole number; it is read as -c " +
                                   std::to_string(static_cast<std::int64_t>(options.camera_select) - 1) + ": " + used);
    return index;
}

bool read_scene(const run_options& options, scene& s, reporter& report) {
    if (load_scene_file(s, options.input_path, report) == 0) return false;
    // The material groups number the faces as read: resolved before any
    // face is removed, the materials then follow the faces.
    if (options.materials) assign_face_materials(s, report);
    remove_invalid_faces(s, report);
    if (options.triangle_mode == 0) {
        tessvert::report(report, message_kind::progress, " Computing normals...\n");
        compute_vertex_normals(s);
        if (options.smoothing) compute_smoothing_normals(s, report);
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
    const view_setup view = setup_initial_view(s, choose_camera(options, s, report));

    // Each writer runs whatever became of the other; a file that could not
    // be written turns the exit code to 0 so that scripts see the failure.
    const bool scene_ok =
        write_scene_file(view, s, options.scene_path, options.include_path, options.base_name, report);
    const bool mesh_ok = write_mesh_include(s, options.include_path, options.triangle_mode, result.written_faces,
                                            report, mesh_options{options.materials, options.smoothing});
    result.exit_code = scene_ok && mesh_ok ? 1 : 0;
    return result;
}

}  // namespace tessvert
