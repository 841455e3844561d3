// One conversion, from the 3DS file to the two output files.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>
#include <vector>

#include "app/options.hpp"
#include "app/progress.hpp"
#include "app/runtime/workers.hpp"
#include "drawing/drawn_scene.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

struct conversion_result {
    // 1: the scene was read and both files written; 0: nothing or not
    // everything was converted (a load failure, an output not written).
    int exit_code = 0;
    bool loaded = false;  // false: the load failed and nothing was written
    std::int32_t written_faces = 0;
    // For a language that shows texture maps (maps_resolved): the maps the
    // scene shows, and those of materials it uses that it cannot show (not
    // found, or of a type the language cannot read).
    bool maps_resolved = false;
    std::int32_t maps_written = 0;
    std::int32_t maps_missing = 0;
};

// Whether the outputs may be written, checked before anything is read:
// not when the output name holds a double quote or a control character
// (they would break the scene file's quoted names), nor when an output file
// is the input file or both outputs are one file (symbolic links followed
// to the end, also to a file not there yet), nor when an output is a
// directory, a socket, a block device or another file that is neither
// regular nor written in place (a FIFO, a character device). Reports one
// warning that says why when they may not.
bool outputs_may_be_written(const run_options& options, reporter& report);

// The reading half of a conversion, in the stages of app/read_stages.hpp:
// loads `options.input_path` into the empty scene `s`, gives each face its
// material (--materials), gives the objects that lose no face their normals,
// removes the faces that name missing vertices, then those with a
// non-finite vertex coordinate, and gives the other objects their normals:
// vertex normals unless triangle mode is on, and corner normals from the
// smoothing groups (--smoothing). False when the load failed (its message
// has been reported). With a `pool` and more than one thread in
// `options.threads`, a worker takes each object while the file is read,
// and the normals are then shared out among the workers that
// `options.threads` allows and the scene can use. The messages and the
// scene are the same whatever the number of threads.
bool read_scene(const run_options& options, scene& s, reporter& report, worker_pool* pool = nullptr);

// The same of the bytes of a file in memory, named `options.input_path` in
// the messages.
bool read_scene_bytes(const run_options& options, const std::vector<unsigned char>& bytes, scene& s, reporter& report,
                      worker_pool* pool = nullptr);

// After read_scene: a warning when --crease is given with -t, which
// ignores it; with --smoothing and no --crease, one advice line when an
// object's smoothing groups say nothing of its edges (none, every mask 0,
// or one mask for every face), pointing to --crease.
void report_crease_notes(const run_options& options, const scene& s, reporter& report);

// Without --instances, one advice line when the keyframer shows some mesh
// more than once.
void report_shown_again(const run_options& options, const scene& s, reporter& report);

// The camera that gives the initial view: the one at camera_select when
// the file has it, else the first; -1 when the file has no camera.
std::int32_t choose_camera(const run_options& options, const scene& s);

// What the choice of `view` says: a warning that names the camera the user
// asked for in their own -c numbering when the file has no such camera, one
// that names a -c value that is not a whole number and the view it gave,
// and why --frame gave the default view when it did.
void report_camera_choice(const run_options& options, const scene& s, const view_setup& view, reporter& report);

// The advice line: what the file holds that the output does not show, each
// with the option that shows it (several materials in material groups,
// smoothing groups that make hard edges, texture maps in a language that
// shows them), and whether the scene drawn lacks a light (the file has none,
// or all are flagged off where the language leaves those out) or the file a
// camera, with the option that makes up for it. An option given removes its
// part; nothing is reported when no part is left.
void report_left_out(const run_options& options, const drawn_scene& d, reporter& report);

// The whole conversion: read_scene, then the initial view, the scene file
// and the mesh include, each written to a temporary; then both are renamed
// onto their names, the termination signals held. Every message goes to
// `report`, " An error occured" after a failed load included. The scene
// keeps what was read, for the statistics. The work is shared among the
// threads that `options.threads` asks for (0: as many as the process has
// CPUs); the files and messages are the same whatever their number, and
// with 1 no thread is started.
// What the run shares with its conversions.
struct conversion_share {
    // When set: its faces_total is set once the scene is read, and the mesh
    // writer advances its faces_written.
    run_progress* progress = nullptr;
    // When set: held shared while the outputs are put in place, so that
    // whoever holds it alone knows no conversion is between its renames.
    // With it, once a termination signal is pending or `interrupted` is
    // set, no output is opened or put in place: they are removed instead.
    std::shared_mutex* commits = nullptr;
    const std::atomic<bool>* interrupted = nullptr;
    // When set: the names of the images being copied by every conversion
    // of the run, so that two never take one name.
    copy_name_claims* copy_names = nullptr;
};

conversion_result convert(const run_options& options, scene& s, reporter& report, const conversion_share& share = {});

// The same of the bytes of a file in memory, named `options.input_path` in
// the messages.
conversion_result convert_bytes(const run_options& options, const std::vector<unsigned char>& bytes, scene& s,
                                reporter& report, const conversion_share& share = {});

}  // namespace tessvert
