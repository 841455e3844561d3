#include "app/convert.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "app/mesh_pipeline.hpp"
#include "app/read_stages.hpp"
#include "app/runtime/signals.hpp"
#include "geometry/crease_normals.hpp"
#include "geometry/instances.hpp"
#include "reader/loader.hpp"
#include "reader/materials.hpp"
#include "writers/map_images.hpp"
#include "writers/mesh_include.hpp"
#include "writers/output_file.hpp"
#include "writers/pov/pov_maps.hpp"
#include "writers/pov/pov_mesh.hpp"
#include "writers/pov/pov_scene.hpp"
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

// The file a name stands for, symbolic links followed to the end: by
// device and inode when it exists, else by the real path of its folder and
// its own name (a file not there yet), so that two names of one file to be
// are known as one too.
struct file_identity {
    bool exists = false;
    struct stat st {};
    std::string where;  // when it does not exist: the folder's real path, '/', the name
};

file_identity identify(const std::string& path) {
    file_identity id;
    const std::string target = follow_links(path);
    if (::stat(target.c_str(), &id.st) == 0) {
        id.exists = true;
        return id;
    }
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char* real = ::realpath(dir.c_str(), nullptr);
    id.where = std::string(real != nullptr ? real : dir) + "/" + name;
    std::free(real);
    return id;
}

bool same_file(const file_identity& a, const file_identity& b) {
    if (a.exists != b.exists) return false;
    if (a.exists) return a.st.st_dev == b.st.st_dev && a.st.st_ino == b.st.st_ino;
    return a.where == b.where;
}

// Why an existing output cannot be written: it is not a regular file, nor
// a pipe or a character device, which are written in place; empty when it
// can be.
std::string why_not_writable(const file_identity& id) {
    if (!id.exists || S_ISREG(id.st.st_mode) || writes_in_place(id.st.st_mode)) return "";
    if (S_ISDIR(id.st.st_mode)) return "a directory";
    if (S_ISSOCK(id.st.st_mode)) return "a socket";
    if (S_ISBLK(id.st.st_mode)) return "a block device";
    return "not a regular file";
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
    const file_identity input = identify(options.input_path);
    const file_identity scene = identify(options.scene_path), include = identify(options.include_path);
    for (const auto& [output, id] :
         {std::pair{&options.scene_path, &scene}, std::pair{&options.include_path, &include}}) {
        const std::string why = why_not_writable(*id);
        if (!why.empty()) {
            report_warning(report, "the output file " + *output + " is " + why + "; nothing was converted");
            return false;
        }
        if (input.exists && same_file(*id, input)) {
            report_warning(report, "the output file " + *output + " is the input file " + options.input_path +
                                       "; nothing was converted");
            return false;
        }
    }
    if (same_file(scene, include)) {
        report_warning(report, "the output files " + options.scene_path + " and " + options.include_path +
                                   " are one file; nothing was converted");
        return false;
    }
    return true;
}

std::int32_t choose_camera(const run_options& options, const scene& s) {
    if (s.camera_count() == 0) return -1;
    const std::int32_t index = options.camera_select;
    return index < 0 || index >= s.camera_count() ? 0 : index;
}

void report_camera_choice(const run_options& options, const scene& s, const view_setup& view, reporter& report) {
    const std::string given = "-c " + options.camera_text;
    const std::int32_t index = options.camera_select;
    std::string used;
    if (s.camera_count() == 0) {
        // The advice line on what the output leaves out carries the
        // camera-less hint.
        used = view.framed ? "the file has no camera, so the framed view is used"
                           : "the file has no camera, so the default view is used";
    } else if (index < 0 || index >= s.camera_count()) {
        // A value that is not a number gets one warning, below, that says
        // both how it was read and which camera that gave.
        if (options.camera_text_whole)
            report_warning(report, given + " asks for " + asked_camera(options.camera_select) + "; the file has " +
                                       std::to_string(s.camera_count()) + "; the first camera gives the initial view");
        used = "the file has no such camera, so the first one is used";
    } else {
        used = "the " + ordinal(index + 1) + " camera gives the initial view";
    }
    if (!options.camera_text_whole)
        report_warning(report, "-c \"" + options.camera_text + "\" is not a whole number; it is read as -c " +
                                   std::to_string(static_cast<std::int64_t>(options.camera_select) - 1) + ": " + used);
    if (view.framing_refused != nullptr)
        report_warning(report, std::string("--frame: ") + view.framing_refused + "; the default view is used");
}

namespace {

// Whether a run that shares its commits has been interrupted.
bool interrupted(const conversion_share& share) {
    return termination_pending() || (share.interrupted != nullptr && share.interrupted->load());
}

// open_output, but under the shared commits, none once the run is
// interrupted: whoever holds the commits alone then knows that every
// temporary there will be is already recorded.
bool open_unless_interrupted(output_file& out, const std::string& path, const conversion_share& share) {
    if (share.commits == nullptr) return open_output(out, path);
    const std::shared_lock opening(*share.commits);
    return !interrupted(share) && open_output(out, path);
}

// Whether the smoothing groups make hard edges: a face in no group, or two
// faces of an object in different groups. The default output smooths every
// object all over.
bool holds_hard_edges(const scene& s) {
    for (const mesh_object& o : s.objects) {
        if (o.smoothing.empty()) continue;
        const std::uint32_t first = o.smoothing.front();
        if (first == 0 ||
            std::any_of(o.smoothing.begin(), o.smoothing.end(), [&](std::uint32_t m) { return m != first; }))
            return true;
    }
    return false;
}

}  // namespace

void report_left_out(const run_options& options, const scene& s, reporter& report) {
    std::vector<std::string> shown_by_options;
    if (!options.materials && groups_name_several_materials(s))
        shown_by_options.emplace_back("several materials in material groups (--materials)");
    if (!options.smoothing && options.triangle_mode == 0 && holds_hard_edges(s))
        shown_by_options.emplace_back("smoothing groups (--smoothing)");
    if (options.format != output_format::pov &&
        std::any_of(s.objects.begin(), s.objects.end(), [](const mesh_object& o) { return o.has_texture != 0; }))
        shown_by_options.emplace_back("texture maps (--format pov)");
    std::vector<std::string> clauses;
    if (!shown_by_options.empty()) {
        std::string clause = "the output does not show the file's ";
        for (std::size_t i = 0; i < shown_by_options.size(); ++i) clause += (i > 0 ? ", " : "") + shown_by_options[i];
        clauses.push_back(clause);
    }
    if (!options.headlight && s.lights.empty()) clauses.emplace_back("the file has no light: --headlight adds one");
    if (!options.frame && s.cameras.empty())
        clauses.emplace_back(
            "the file has no camera: the default view from (20, 20, 20) is used; --frame frames the whole scene");
    if (clauses.empty()) return;
    std::string line = " Warning: ";
    for (std::size_t i = 0; i < clauses.size(); ++i) line += (i > 0 ? "; " : "") + clauses[i];
    tessvert::report(report, message_kind::advice, line + "\n");
}

namespace {

bool read_input(const run_options& options, const std::vector<unsigned char>* bytes, scene& s, reporter& report,
                worker_pool* pool) {
    const normals_wanted wanted{options.triangle_mode == 0, options.smoothing, options.crease >= 0.0,
                                options.crease >= 0.0 ? crease_cosine(options.crease) : 0.0};
    object_states state;
    // With threads, a worker checks each object and computes its vertex
    // normals while the rest of the file is read.
    worker_pool* early = pool != nullptr && threads_to_use(options.threads) > 1 ? pool : nullptr;
    if (!read_objects(options.input_path, bytes, s, report, early, wanted, state)) return false;
    // The material groups number the faces as read: resolved before any
    // face is removed, the materials then follow the faces.
    resolve_materials(s, options.materials, report);
    // Most objects lose no face: each is given its normals at once, on
    // every worker the scene can use.
    if (pool != nullptr) start_workers(*pool, workers_for(s, options.threads));
    normals_of_sound_objects(s, pool, wanted, state);
    // The others, in the order the messages say: the faces removed, with
    // their warnings, then the normals.
    if (some_object_left(state)) {
        remove_invalid_faces(s, report);
        remove_nonfinite_faces(s, report);
    }
    if (wanted.smooth) {
        tessvert::report(report, message_kind::progress, " Computing normals...\n");
        remaining_normals(s, pool, wanted, state, report);
    }
    return true;
}

}  // namespace

void report_crease_notes(const run_options& options, const scene& s, reporter& report) {
    if (options.crease >= 0.0 && options.triangle_mode != 0)
        report_warning(report, "--crease is ignored with -t: flat triangles carry no normals");
    if (!options.smoothing || options.crease >= 0.0 || options.triangle_mode != 0) return;
    for (const mesh_object& o : s.objects)
        if (groups_say_nothing(o)) {
            tessvert::report(report, message_kind::advice,
                             " Warning: the smoothing groups of object \"" + printable(o.name) +
                                 "\" say nothing of its edges (none, all 0, or one group for every face); "
                                 "--crease 45 keeps edges sharper than 45 degrees hard\n");
            return;
        }
}

std::size_t show_instances(const run_options& options, scene& s, reporter& report) {
    if (options.instances) {
        place_instances(s, report);
        // A POV-Ray scene places the declared mesh again; the other
        // format writes each copy out.
        if (options.format == output_format::pov) return s.objects.size();
        return add_instance_copies(s);
    }
    const std::size_t again = meshes_shown_again(s);
    if (again > 0)
        tessvert::report(report, message_kind::advice,
                         " Warning: the keyframer shows " + std::to_string(again) + (again == 1 ? " mesh" : " meshes") +
                             " more than once; --instances adds those copies\n");
    return s.objects.size();
}

namespace {

// The file name of `path`, for a line of one output that names the other
// beside it.
std::string file_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The scene file and the mesh include, each written to its temporary.
void write_vrx_files(const run_options& options, const scene& s, const view_setup& view, output_file& scene_out,
                     output_file& mesh_out, worker_pool& pool, conversion_result& result,
                     const conversion_share& share) {
    if (open_unless_interrupted(scene_out, options.scene_path, share)) {
        write_scene_file(view, s, scene_out, options.include_path, options.base_name);
        finish_output(scene_out);
    }
    if (open_unless_interrupted(mesh_out, options.include_path, share)) {
        const mesh_options views{options.materials, options.smoothing || options.crease >= 0.0,
                                 share.progress != nullptr ? &share.progress->faces_written : nullptr};
        if (pool.threads.empty())
            write_mesh_include(s, mesh_out, options.triangle_mode, result.written_faces, views);
        else
            write_mesh_include_on_workers(s, mesh_out, options.triangle_mode, result.written_faces, views, pool);
        finish_output(mesh_out);
    }
}

// The POV-Ray scene and mesh files, each written to its temporary, and
// the copies of the images their texture maps show.
void write_pov_files(const run_options& options, const scene& s, const view_setup& view, output_file& scene_out,
                     output_file& mesh_out, worker_pool& pool, conversion_result& result, pov_map_plan& maps,
                     reporter& report, const conversion_share& share) {
    const std::string include_name = file_name(options.include_path);
    if (std::any_of(include_name.begin(), include_name.end(), [](char c) { return (c & 0x80) != 0; }))
        report_warning(report,
                       "POV-Ray 3.7 cannot open a file whose name holds bytes beyond ASCII, as the include "
                       "line of " +
                           options.scene_path + " names " + include_name +
                           "; rename both files and that line to render it");
    pov_names names = make_pov_names(s);
    plan_pov_maps(s, options.input_path, folder_of(options.scene_path), maps, report);
    std::vector<std::uint8_t> mapped(s.materials.size(), 0);
    for (std::size_t m = 0; m < mapped.size(); ++m) mapped[m] = !maps.materials[m].image.empty();
    name_mapped_materials(s, mapped, names);
    result.maps_written = static_cast<std::int32_t>(maps.written);
    result.maps_missing = static_cast<std::int32_t>(maps.missing);
    const pov_mesh_layout layout = lay_out_pov_mesh(s, options.triangle_mode);
    if (open_unless_interrupted(scene_out, options.scene_path, share)) {
        write_pov_scene(view, s, names, layout, scene_out, include_name, file_name(options.base_name),
                        options.headlight, maps.materials);
        finish_output(scene_out);
    }
    if (open_unless_interrupted(mesh_out, options.include_path, share)) {
        if (pool.threads.empty())
            write_pov_mesh(s, names, layout, mesh_out, result.written_faces);
        else
            write_pov_mesh_on_workers(s, names, layout, mesh_out, result.written_faces, pool);
        finish_output(mesh_out);
    }
}

}  // namespace

bool read_scene(const run_options& options, scene& s, reporter& report, worker_pool* pool) {
    return read_input(options, nullptr, s, report, pool);
}

bool read_scene_bytes(const run_options& options, const std::vector<unsigned char>& bytes, scene& s, reporter& report,
                      worker_pool* pool) {
    return read_input(options, &bytes, s, report, pool);
}

namespace {

conversion_result convert_input(const run_options& given, const std::vector<unsigned char>* bytes, scene& s,
                                reporter& report, const conversion_share& share) {
    run_progress* const progress = share.progress;
    conversion_result result;
    worker_pool pool;
    // A POV-Ray scene carries each face's material and the smoothing groups.
    run_options options = given;
    if (options.format == output_format::pov) options.materials = options.smoothing = true;
    if (!read_input(options, bytes, s, report, &pool)) {
        tessvert::report(report, message_kind::error, " An error occured\n");
        return result;
    }
    result.loaded = true;
    // The POV-Ray writer does not count its faces as it goes.
    if (progress != nullptr && options.format != output_format::pov) {
        std::uint64_t faces = 0;
        for (const mesh_object& o : s.objects) faces += o.faces.size();
        progress->faces_total.store(faces, std::memory_order_relaxed);
    }
    report_crease_notes(given, s, report);  // advice only for an explicit --smoothing
    const std::size_t file_objects = show_instances(options, s, report);
    report_left_out(options, s, report);
    const view_setup view =
        setup_initial_view(s, choose_camera(options, s), view_choices{options.frame, options.headlight});
    report_camera_choice(options, s, view, report);
    report_non_finite_lights_and_cameras(s, report);

    // Each file is written to a temporary of its own whatever became of the
    // other; a file that could not be written turns the exit code to 0 so
    // that scripts see the failure.
    output_file scene_out, mesh_out;
    pov_map_plan maps;
    if (options.format == output_format::pov) check_mapping_coords(s, report);
    const auto write_outputs = [&](reporter& to) {
        if (options.format == output_format::pov) {
            write_pov_files(options, s, view, scene_out, mesh_out, pool, result, maps, to, share);
            // The copies count as faces written, as in the other format.
            for (const mesh_instance& instance : s.instances)
                result.written_faces += static_cast<std::int32_t>(s.objects[instance.object].faces.size());
        } else {
            write_vrx_files(options, s, view, scene_out, mesh_out, pool, result, share);
        }
    };
    try {
        write_outputs(report);
    } catch (const std::bad_alloc&) {
        // A pipe or a device has its text already: it is not written twice.
        if (pool.threads.empty() || scene_out.in_place || mesh_out.in_place) throw;
        // Out of memory with workers (the mesh writer already went on
        // alone when a part ran out): they end, their stacks and texts with
        // them, and both files are written again on this thread alone, as a
        // run on one thread writes them. What the writers had to say was
        // said the first time.
        stop_workers(pool);
        discard_output(scene_out);
        discard_output(mesh_out);
        maps.materials.clear();
        maps.copies.clear();  // their temporaries removed
        maps.written = maps.missing = 0;
        result.written_faces = 0;
        reporter said_already;
        write_outputs(said_already);
    }
    // Only when both are complete is each put in place, the images first: a
    // scene in place always finds its images. An interruption before this
    // leaves both older files; one during it waits until both are in place.
    // Nothing is printed while the signals wait (a console that stops
    // draining must not hold them off): what there is to say waits too.
    const auto complete = [](const output_file& out) {
        return out.in_place ? out.opened && out.error == 0 : !out.temp_name.empty();
    };
    std::vector<std::pair<message_kind, std::string>> held_messages;
    reporter hold{[&](message_kind kind, std::string_view text) { held_messages.emplace_back(kind, text); }};
    bool maps_ok = true, scene_committed = false, mesh_committed = false;
    {
        const termination_signals_held held;
        // In a batch, nothing is put in place once the run is interrupted.
        std::shared_lock<std::shared_mutex> committing;
        if (share.commits != nullptr) {
            committing = std::shared_lock(*share.commits);
            if (interrupted(share)) return result;
        }
        if (complete(scene_out) && complete(mesh_out)) maps_ok = commit_map_copies(maps, hold);
        scene_committed = commit_output(scene_out);
        mesh_committed = commit_output(mesh_out);
    }
    for (const auto& [kind, text] : held_messages) tessvert::report(report, kind, text);
    // Each file's line, the scene file's first.
    const bool scene_ok =
        report_output_outcome(scene_out, scene_committed, " All parameters successfully dumped to: ", report);
    const bool mesh_ok =
        report_output_outcome(mesh_out, mesh_committed, " All objects successfully dumped to: ", report);
    result.exit_code = maps_ok && scene_ok && mesh_ok ? 1 : 0;
    remove_instance_copies(s, file_objects);
    return result;
}

}  // namespace

conversion_result convert(const run_options& options, scene& s, reporter& report, const conversion_share& share) {
    return convert_input(options, nullptr, s, report, share);
}

conversion_result convert_bytes(const run_options& options, const std::vector<unsigned char>& bytes, scene& s,
                                reporter& report, const conversion_share& share) {
    return convert_input(options, &bytes, s, report, share);
}

}  // namespace tessvert
