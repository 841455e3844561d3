// Reads a 3DS file into the scene.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Work a caller may do while the file is read.
struct load_watcher {
    // Called once the file has been found to begin with the primary
    // chunk, before anything in it is read, with the length the chunk
    // declares.
    std::function<void(std::uint32_t)> scene_found;
    // Called on the reading thread with an object's index once its named
    // object chunk has been read: the reader changes none of that object's
    // arrays afterwards, and their storage stays where it is (the record
    // itself moves as more objects are added).
    std::function<void(std::size_t)> object_read;
    // Called once whatever the load, before its outcome is decided: once
    // the chunk tree has been read, or at once when the file cannot be
    // opened or is no scene. Whatever reads the objects' arrays must be
    // done when it returns, as a failed load empties the scene.
    std::function<void()> reading_done;
};

// What became of a load.
enum class load_result {
    loaded,              // read whole
    ended_past_primary,  // a chunk runs past the primary chunk's end: read up to there
    ended_in_chunk,      // the file ends inside a chunk: read up to there
    not_opened,          // the file could not be opened
    not_a_scene,         // it does not begin with the primary chunk
    read_failed,         // a read failed: nothing is converted
    too_little_data,     // arrays declared far beyond what the file holds: nothing is converted
    too_many_records,    // objects and materials far beyond what the file's size warrants: nothing is converted
};

// Whether a load with that result gives a scene to convert.
inline bool converted(load_result r) {
    return r == load_result::loaded || r == load_result::ended_past_primary || r == load_result::ended_in_chunk;
}

struct load_outcome {
    load_result result = load_result::loaded;
    // The system's error number of a failed open or read (a directory
    // opens, then fails its first read: not_a_scene), else 0.
    int system_error = 0;
    // not_a_scene without a system error: the first bytes of the file, the
    // header's and up to ten more.
    unsigned char first_bytes[16] = {};
    std::size_t first_byte_count = 0;
};

// Loads the `size` bytes at `data` into the empty scene `s` as
// load_scene_file does; the bytes stay there while they are read.
load_outcome load_scene_bytes(scene& s, const unsigned char* data, std::size_t size, reporter& report,
                              const load_watcher& watcher = {});

// Loads the file at `path` into the empty scene `s`, reading it from the
// start without reading it whole first. A file that ends inside a chunk
// is read up to there. When the load fails, the scene is left empty. The
// warnings of the chunks go to `report`; what became of the load is
// returned, for the caller to tell. The faces are stored as the file gives
// them: remove_invalid_faces checks them afterwards.
load_outcome load_scene_file(scene& s, const std::string& path, reporter& report, const load_watcher& watcher = {});

// Removes, from every object, the faces that name a vertex at or beyond its
// vertex_count, keeping the order of the others; one warning per object.
void remove_invalid_faces(scene& s, reporter& report);

// Removes, from every object, the faces with a corner whose coordinates are
// not all finite (NaN or infinite), keeping the order of the others; one
// warning per object. Every face must name vertices the object has: run it
// after remove_invalid_faces.
void remove_nonfinite_faces(scene& s, reporter& report);

// Whether neither of the two above would remove a face of `o`: every face
// names vertices the object has, whose coordinates are finite. Reads only
// the object, so objects may be checked at the same time.
bool faces_are_sound(const mesh_object& o);

// The same of an object's arrays: its faces and its vertex_count vertices.
bool faces_are_sound(const face* faces, std::size_t face_count, const vec3* vertices, std::size_t vertex_count);

}  // namespace tessvert
