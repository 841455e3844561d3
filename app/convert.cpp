#include "app/convert.hpp"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "app/early_objects.hpp"
#include "app/mesh_pipeline.hpp"
#include "app/runtime/signals.hpp"
#include "geometry/corner_normals.hpp"
#include "geometry/vertex_normals.hpp"
#include "reader/face_materials.hpp"
#include "reader/loader.hpp"
#include "writers/mesh_include.hpp"
#include "writers/output_file.hpp"
#include "writers/scene_file.hpp"
#include "writers/text_output.hpp"

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

// Whether the two paths name one existing file, symbolic links followed.
bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Faces of a scene for each worker it starts: a worker keeps a table of
// its object's vertices and a part's text, which a smaller share would not
// repay.
constexpr std::size_t faces_per_worker = 2048;

// The workers a scene's work can use besides the main thread: as many as
// the threads allow, one for each faces_per_worker faces.
std::size_t workers_for(const scene& s, std::int32_t threads) {
    std::size_t weight = s.objects.size();
    for (const mesh_object& o : s.objects) weight += o.faces.size();
    return std::min<std::size_t>(static_cast<std::size_t>(threads_to_use(threads)) - 1, weight / faces_per_worker);
}

}  // namespace

bool outputs_may_be_written(const run_options& options, reporter& report) {
    for (const char c : options.base_name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || byte < 0x20 || byte == 0x7F) {
            report_warning(report,
                           "the output name holds a double quote or a control character, which would break the "
                           "quoted names in the scene file; nothing was converted");
            return false;
        }
    }
    for (const std::string* output : {&options.scene_path, &options.include_path}) {
        if (same_file(*output, options.input_path)) {
            report_warning(report, "the output file " + *output + " is the input file " + options.input_path +
                                       "; nothing was converted");
            return false;
        }
    }
    if (same_file(options.scene_path, options.include_path)) {
        report_warning(report, "the output files " + options.scene_path + " and " + options.include_path +
                                   " are one file; nothing was converted");
        return false;
    }
    return true;
}

std::int32_t choose_camera(const run_options& options, const scene& s, reporter& report) {
    const std::string given = "-c " + options.camera_text;
    std::int32_t index = options.camera_select;
    std::string used;
    if (s.camera_count() == 0) {
        index = -1;
        used = "the file has no camera, so the default view is used";
        if (!options.frame)
            tessvert::report(report, message_kind::advice,
                             " Warning: the file has no camera: the default view from (20, 20, 20) is used;"
                             " --frame frames the whole scene\n");
    } else if (index < 0 || index >= s.camera_count()) {
        report_warning(report, given + " asks for " + asked_camera(options.camera_select) + "; the file has " +
                                   std::to_string(s.camera_count()) + "; the first camera gives the initial view");
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

bool read_scene(const run_options& options, scene& s, reporter& report, worker_pool* pool) {
    const bool smooth = options.triangle_mode == 0;
    // With threads, a worker checks each object and computes its normals
    // while the rest of the file is read.
    std::vector<std::uint8_t> ready;
    if (pool != nullptr && threads_to_use(options.threads) > 1) {
        start_workers(*pool, 1);
        if (load_with_workers(s, options.input_path, report, *pool, smooth, ready) == 0) return false;
    } else if (load_scene_file(s, options.input_path, report) == 0) {
        return false;
    }
    ready.resize(s.objects.size(), 0);
    // The material groups number the faces as read: resolved before any
    // face is removed, the materials then follow the faces.
    if (options.materials) assign_face_materials(s, report);
    if (pool != nullptr) start_workers(*pool, workers_for(s, options.threads));

    // Each object's normals are its own, and most objects lose no face: on
    // the threads, each object not ready yet is checked and, when no face
    // of it is to be removed, given its normals at once. The objects that
    // lose faces are then handled in the order the messages say: the faces
    // removed, with their warnings, then the normals.
    std::vector<std::uint8_t> done(s.objects.size(), 0), too_many_masks(s.objects.size(), 0);
    const auto give_normals = [&](std::size_t i, bool with_vertex_normals) {
        if (!smooth) return;
        if (with_vertex_normals) compute_object_normals(s.objects[i]);
        if (options.smoothing) too_many_masks[i] = compute_corner_normals(s.objects[i]);
    };
    try {
        for_each_index(pool, s.objects.size(), [&](std::size_t i) {
            if (ready[i] == 0 && !faces_are_sound(s.objects[i])) return;
            give_normals(i, ready[i] == 0);
            done[i] = 1;
        });
    } catch (const std::bad_alloc&) {
        // The messages that come before the normals still come before the
        // failure is reported.
        remove_invalid_faces(s, report);
        remove_nonfinite_faces(s, report);
        if (smooth) tessvert::report(report, message_kind::progress, " Computing normals...\n");
        throw;
    }
    std::vector<std::size_t> left;
    for (std::size_t i = 0; i < s.objects.size(); ++i)
        if (done[i] == 0) left.push_back(i);
    if (!left.empty()) {
        remove_invalid_faces(s, report);
        remove_nonfinite_faces(s, report);
    }
    if (smooth) {
        tessvert::report(report, message_kind::progress, " Computing normals...\n");
        for_each_index(pool, left.size(), [&](std::size_t k) { give_normals(left[k], true); });
        const auto first = std::find(too_many_masks.begin(), too_many_masks.end(), 1);
        if (first != too_many_masks.end())
            report_too_many_masks(s.objects[static_cast<std::size_t>(first - too_many_masks.begin())], report);
    }
    return true;
}

conversion_result convert(const run_options& options, scene& s, reporter& report) {
    conversion_result result;
    worker_pool pool;
    if (!read_scene(options, s, report, &pool)) {
        tessvert::report(report, message_kind::error, " An error occured\n");
        return result;
    }
    result.loaded = true;
    const std::int32_t camera_index = choose_camera(options, s, report);
    report_non_finite_lights_and_cameras(s, report);
    const view_setup view = setup_initial_view(s, camera_index, view_choices{options.frame, options.headlight});

    // Each file is written to a temporary of its own whatever became of the
    // other; a file that could not be written turns the exit code to 0 so
    // that scripts see the failure.
    output_file scene_out, mesh_out;
    if (open_output(scene_out, options.scene_path)) {
        write_scene_file(view, s, scene_out, options.include_path, options.base_name);
        finish_output(scene_out);
    }
    if (open_output(mesh_out, options.include_path)) {
        const mesh_options views{options.materials, options.smoothing};
        if (pool.threads.empty())
            write_mesh_include(s, mesh_out, options.triangle_mode, result.written_faces, views);
        else
            write_mesh_include_on_workers(s, mesh_out, options.triangle_mode, result.written_faces, views, pool);
        finish_output(mesh_out);
    }
    // Only when both are complete is each put in place and its line
    // printed, the scene file's first. An interruption before this leaves
    // both older files; one during it waits until both are in place.
    const termination_signals_held held;
    const bool scene_ok = commit_output_or_report(scene_out, " All parameters successfully dumped to: ", report);
    const bool mesh_ok = commit_output_or_report(mesh_out, " All objects successfully dumped to: ", report);
    result.exit_code = scene_ok && mesh_ok ? 1 : 0;
    return result;
}

}  // namespace tessvert
