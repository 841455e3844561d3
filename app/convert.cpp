#include "app/convert.hpp"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "app/read_stages.hpp"
#include "app/runtime/signals.hpp"
#include "drawing/draw.hpp"
#include "drawing/map_sources.hpp"
#include "geometry/crease_normals.hpp"
#include "geometry/instances.hpp"
#include "reader/loader.hpp"
#include "reader/materials.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"
#include "writers/common/parts.hpp"
#include "writers/common/text_output.hpp"
#include "writers/languages.hpp"

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
    if (const std::string problem = options.language->output_name_problem(options.base_name); !problem.empty()) {
        report_warning(report, problem);
        return false;
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
    if (options.view && view.framed && !options.camera_text.empty() && s.camera_count() > 0) {
        report_warning(report, given +
                                   " is not used: --view frames the initial view; the file's cameras stay "
                                   "the scene's further cameras");
        return;
    }
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
        report_warning(report, std::string(options.view ? "--view: " : "--frame: ") + view.framing_refused +
                                   (s.camera_count() > 0 ? "; the chosen camera gives the initial view"
                                                         : "; the default view is used"));
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

void report_left_out(const run_options& options, const drawn_scene& d, reporter& report) {
    const scene& s = *d.file;
    std::vector<std::string> shown_by_options;
    if (!options.materials && groups_name_several_materials(s))
        shown_by_options.emplace_back("several materials in material groups (--materials)");
    if (!options.smoothing && options.triangle_mode == 0 && holds_hard_edges(s))
        shown_by_options.emplace_back("smoothing groups (--smoothing)");
    if (options.language->abilities.image_type == nullptr &&
        std::any_of(s.objects.begin(), s.objects.end(), [](const mesh_object& o) { return o.has_texture != 0; }))
        for (const output_language* other : output_languages())
            if (other->abilities.image_type != nullptr) {
                shown_by_options.push_back("texture maps (--format " + std::string(other->name) + ")");
                break;
            }
    std::vector<std::string> clauses;
    if (!shown_by_options.empty()) {
        std::string clause = "the output does not show the file's ";
        for (std::size_t i = 0; i < shown_by_options.size(); ++i) clause += (i > 0 ? ", " : "") + shown_by_options[i];
        clauses.push_back(clause);
    }
    if (!options.headlight && d.lights_drawable == 0 && options.lights == light_choice::file)
        clauses.emplace_back(s.lights.empty() ? "the file has no light: --headlight adds one"
                                              : "the file's lights are all flagged off: --headlight adds one");
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

void report_shown_again(const run_options& options, const scene& s, reporter& report) {
    if (options.instances) return;
    const std::size_t again = meshes_shown_again(s);
    if (again > 0)
        tessvert::report(report, message_kind::advice,
                         " Warning: the keyframer shows " + std::to_string(again) + (again == 1 ? " mesh" : " meshes") +
                             " more than once; --instances adds those copies\n");
}

namespace {

// The workers of `pool`, for a file written in parts.
thread_runner runner_of(worker_pool& pool) {
    return {pool.threads.size(), [&pool](const std::function<void()>& work, const std::function<void()>& own) {
                run_on_workers(pool, work, own);
            }};
}

// The mesh file of `w`, cut into parts for the pool's threads and the
// calling one, each part's faces counted into the progress once made.
void write_mesh_file(language_writer& w, output_file& out, worker_pool& pool, run_progress* progress) {
    const std::size_t threads = pool.threads.size() + 1;
    const std::size_t parts = w.cut_mesh(threads);
    if (progress != nullptr) {
        std::uint64_t faces = 0;
        for (std::size_t k = 0; k < parts; ++k) faces += w.mesh_part_faces(k);
        progress->faces_total.store(faces, std::memory_order_relaxed);
    }
    const part_format format = [&](std::size_t k, std::size_t thread, text_block& text) {
        w.format_mesh_part(k, thread, text);
        if (progress != nullptr) progress->faces_written.fetch_add(w.mesh_part_faces(k), std::memory_order_relaxed);
    };
    if (threads == 1)
        write_parts_here(out, parts, format);
    else
        write_parts_on_workers(out, parts, format, runner_of(pool));
}

// The language's two files of the scene drawn, each written to a
// temporary, in the language's order.
void write_language_files(const output_language& language, const run_options& options, const drawn_scene& d,
                          output_file& scene_out, output_file& mesh_out, worker_pool& pool,
                          const conversion_share& share) {
    const std::unique_ptr<language_writer> w =
        language.prepare(d, {options.base_name, options.scene_path, options.include_path});
    const auto write_scene = [&] {
        if (!open_unless_interrupted(scene_out, options.scene_path, share)) return;
        w->write_scene(scene_out);
        finish_output(scene_out);
    };
    const auto write_mesh = [&] {
        if (!open_unless_interrupted(mesh_out, options.include_path, share)) return;
        write_mesh_file(*w, mesh_out, pool, share.progress);
        finish_output(mesh_out);
    };
    if (language.mesh_first) {
        write_mesh();
        write_scene();
    } else {
        write_scene();
        write_mesh();
    }
}

// Whether an output is ready to be put in place.
bool complete(const output_file& out) {
    return out.in_place ? out.opened && out.error == 0 : !out.temp_name.empty();
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

// The scene drawn as the options and the language ask, with what the
// console is to hear of it, in order: the keyframer's faulty nodes, the
// advice, the camera chosen, the lights and cameras left out, then the
// texture maps, whose copies claim their names among `copy_names` (may be null).
drawn_scene draw(const run_options& options, scene& s, reporter& report, copy_name_claims* copy_names) {
    const output_language& language = *options.language;
    drawing_choices choices;
    choices.camera = choose_camera(options, s);
    choices.frame = options.frame;
    choices.headlight = options.headlight;
    choices.instances = options.instances;
    choices.keyframer_placement = options.keyframer_placement;
    choices.lights = options.lights;
    choices.up = options.up;
    choices.view = options.view;
    choices.map_folders = options.map_folders;
    choices.smooth = options.triangle_mode == 0;
    choices.corner_normals = options.smoothing || options.crease >= 0.0;
    choices.face_materials = options.materials;
    choices.language = language.abilities;
    drawn_scene d = draw_scene(s, choices, report);
    report_shown_again(options, s, report);
    report_left_out(options, d, report);
    report_camera_choice(options, s, d.view, report);
    report_non_finite_lights_and_cameras(s, report);
    draw_maps(d, choices, options.input_path, copies_beside(options.scene_path, copy_names), report);
    return d;
}

// Writes both files to their temporaries. Out of memory with workers (the
// mesh writer already went on alone when a part ran out), the workers end,
// their stacks and texts with them, and both files are written again on
// this thread alone, as a run on one thread writes them; what there was to
// say was said the first time.
void write_files(const run_options& options, const drawn_scene& d, output_file& scene_out, output_file& mesh_out,
                 worker_pool& pool, const conversion_share& share) {
    try {
        write_language_files(*options.language, options, d, scene_out, mesh_out, pool, share);
    } catch (const std::bad_alloc&) {
        // A pipe or a device has its text already: it is not written twice.
        if (pool.threads.empty() || scene_out.in_place || mesh_out.in_place) throw;
        stop_workers(pool);
        discard_output(scene_out);
        discard_output(mesh_out);
        if (share.progress != nullptr) share.progress->faces_written.store(0, std::memory_order_relaxed);
        write_language_files(*options.language, options, d, scene_out, mesh_out, pool, share);
    }
}

// Once both files are complete, each is put in place, the images first: a
// scene in place always finds its images. A language whose files go
// together puts neither in place unless both (and the images) can be, the
// mesh file first. An interruption before this leaves the older files; one
// during it waits until they are in place. Nothing is printed while the
// signals wait (a console that stops draining must not hold them off):
// what there is to say waits too. Returns whether everything was put in
// place; false too when a batch was interrupted before.
bool put_in_place(const output_language& language, drawn_scene& d, output_file& scene_out, output_file& mesh_out,
                  reporter& report, const conversion_share& share) {
    std::vector<std::pair<message_kind, std::string>> held_messages;
    reporter hold{[&](message_kind kind, std::string_view text) { held_messages.emplace_back(kind, text); }};
    bool images_ok = true, scene_committed = false, mesh_committed = false;
    const bool both = complete(scene_out) && complete(mesh_out);
    {
        const termination_signals_held held;
        // In a batch, nothing is put in place once the run is interrupted.
        std::shared_lock<std::shared_mutex> committing;
        if (share.commits != nullptr) {
            committing = std::shared_lock(*share.commits);
            if (interrupted(share)) return false;
        }
        if (both) images_ok = commit_map_copies(d.image_copies, hold);
        if (!language.all_or_nothing) {
            scene_committed = commit_output(scene_out);
            mesh_committed = commit_output(mesh_out);
        } else if (both && images_ok) {
            mesh_committed = commit_output(mesh_out);
            scene_committed = mesh_committed && commit_output(scene_out);
        }
    }
    for (const auto& [kind, text] : held_messages) tessvert::report(report, kind, text);
    // Each file's line, the scene file's first.
    bool all = images_ok;
    for (const auto& [out, committed, success] :
         {std::tuple{&scene_out, scene_committed, " All parameters successfully dumped to: "},
          std::tuple{&mesh_out, mesh_committed, " All objects successfully dumped to: "}}) {
        if (language.all_or_nothing && !committed && complete(*out)) {
            report_warning(report, out->path + " was not saved: the files of a scene are saved together or not at all");
            discard_output(*out);
            all = false;
            continue;
        }
        all = report_output_outcome(*out, committed, success, report) && all;
    }
    return all;
}

conversion_result convert_input(const run_options& given, const std::vector<unsigned char>* bytes, scene& s,
                                reporter& report, const conversion_share& share) {
    conversion_result result;
    worker_pool pool;
    // What the language shows of the file's own views, it shows always;
    // the view of a first picture unless --file-view says otherwise.
    run_options options = given;
    const implied_choices& implied = options.language->implies;
    options.materials = options.materials || implied.materials;
    options.smoothing = options.smoothing || implied.smoothing;
    options.frame = options.frame || (implied.frame && !options.file_view) || options.view.has_value();
    options.headlight = options.headlight || (implied.headlight && !options.file_view);
    options.instances = options.instances || (implied.instances && !options.file_view);
    if (!read_input(options, bytes, s, report, &pool)) {
        tessvert::report(report, message_kind::error, " An error occured\n");
        return result;
    }
    result.loaded = true;
    report_crease_notes(given, s, report);  // advice only for an explicit --smoothing
    drawn_scene d = draw(options, s, report, share.copy_names);
    result.maps_resolved = d.counts.maps_resolved;
    result.maps_written = static_cast<std::int32_t>(d.counts.maps_shown);
    result.maps_missing = static_cast<std::int32_t>(d.counts.maps_missing);

    // Each file is written to a temporary of its own whatever became of the
    // other; a file that could not be written turns the exit code to 0 so
    // that scripts see the failure.
    output_file scene_out, mesh_out;
    write_files(options, d, scene_out, mesh_out, pool, share);
    // The faces written are those of the mesh file, when it was opened.
    if (mesh_out.opened) result.written_faces = static_cast<std::int32_t>(d.counts.faces);
    result.exit_code = put_in_place(*options.language, d, scene_out, mesh_out, report, share) ? 1 : 0;
    undraw_scene(d);
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
