// libFuzzer target: arbitrary bytes as a 3DS file, through the whole load
// (with vertex normals), the initial view, the scene description file and the
// mesh include file in both modes, as one conversion does them.
//
// Besides the sanitizers' reports, the target stops (traps) when the loaded
// scene breaks an invariant that the writers rely on, when a writer fails to
// write into its private directory, or when a temporary output file is left
// behind.
//
// The converter's console text goes to /dev/null unless TESSVERT_FUZZ_VERBOSE
// is set; libFuzzer reports on standard error.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/scene.hpp"
#include "reader/loader.hpp"
#include "writers/mesh_include.hpp"
#include "writers/scene_file.hpp"

namespace {

// The private directory of this fuzzing process, made once.
struct workspace {
    std::string dir;
    std::string input;
    std::string scene_path;
    std::string smooth_include;
    std::string flat_include;
};

workspace& work() {
    static workspace w;
    return w;
}

void remove_workspace() {
    const workspace& w = work();
    if (w.dir.empty()) return;
    if (DIR* d = ::opendir(w.dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            ::unlink((w.dir + "/" + e->d_name).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(w.dir.c_str());
}

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_convert: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

void write_input(const std::string& path, const std::uint8_t* data, std::size_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create the input file");
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        check(n > 0, "cannot write the input file");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The invariants of a loaded scene that the geometry and the writers rely
// on (model/scene.hpp and the loader's face validation).
void check_scene(const tessvert::scene& s) {
    check(s.camera_count == static_cast<std::int32_t>(s.cameras.size()), "camera count");
    check(s.light_count == static_cast<std::int32_t>(s.lights.size()), "light count");
    check(s.material_count == static_cast<std::int32_t>(s.materials.size()), "material count");
    check(s.object_count == static_cast<std::int32_t>(s.objects.size()), "object count");
    for (const tessvert::mesh_object& o : s.objects) {
        check(o.vertex_count >= 0 && o.vertex_count <= 65535, "vertex count range");
        check(o.vertices.size() == static_cast<std::size_t>(o.vertex_count), "vertex array size");
        check(o.faces.size() == static_cast<std::size_t>(o.face_count), "face array size");
        check(o.tex_coords.size() == 2 * static_cast<std::size_t>(o.tex_vertex_count), "mapping array size");
        check(o.normals.size() == o.vertices.size(), "normal array size");
        check(o.name.size() <= tessvert::object_name_max, "object name length");
        for (const tessvert::face& f : o.faces) {
            const auto n = static_cast<std::uint32_t>(o.vertex_count);
            check(f.a < n && f.b < n && f.c < n, "a face names a vertex the object does not have");
        }
        if (s.material_count > 0) check(o.material_index >= 0 && o.material_index < s.material_count, "material index");
    }
    for (const tessvert::material& m : s.materials) {
        check(m.name.size() <= tessvert::material_name_max, "material name length");
        check(m.map_name.size() <= tessvert::material_name_max, "map name length");
    }
}

// Nothing but the input and the three outputs may be in the directory.
void check_no_leftovers(const workspace& w) {
    DIR* d = ::opendir(w.dir.c_str());
    check(d != nullptr, "cannot list the work directory");
    int others = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name == "in.3ds" || name == "out.vrx" || name == "out.inc" ||
            name == "flat.inc")
            continue;
        std::fprintf(stderr, "fuzz_convert: left behind: %s\n", name.c_str());
        ++others;
    }
    ::closedir(d);
    check(others == 0, "an output's temporary file remains after the run");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("TESSVERT_FUZZ_VERBOSE") == nullptr) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tessvert-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    check(::mkdtemp(buf.data()) != nullptr, "cannot make the work directory");
    workspace& w = work();
    w.dir = buf.data();
    w.input = w.dir + "/in.3ds";
    w.scene_path = w.dir + "/out.vrx";
    w.smooth_include = w.dir + "/out.inc";
    w.flat_include = w.dir + "/flat.inc";
    std::atexit(remove_workspace);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const workspace& w = work();
    write_input(w.input, data, size);

    tessvert::scene s = tessvert::init_scene();
    const int loaded = tessvert::load_scene_file(s, w.input, 1);
    check(loaded == 0 || loaded == 1, "load result");
    if (loaded == 0) {
        check(s.objects.empty() && s.materials.empty() && s.cameras.empty() && s.lights.empty(),
              "a failed load filled the scene");
        return 0;
    }
    check_scene(s);

    // The camera choice comes from the input too: its last byte picks a
    // camera of the file or an index that names none (the fallback).
    std::int32_t camera_select = 0;
    if (size > 0 && s.camera_count > 0) {
        const std::uint8_t pick = data[size - 1];
        camera_select = pick < 128 ? pick % s.camera_count : static_cast<std::int32_t>(pick) - 200;
    }
    const tessvert::view_setup view = tessvert::setup_initial_view(s, camera_select);

    check(tessvert::write_scene_file(view, s, w.scene_path, w.smooth_include, "out"), "scene file not written");
    std::int64_t faces = 0;
    for (const tessvert::mesh_object& o : s.objects) faces += o.face_count;
    std::int32_t written_smooth = 0;
    check(tessvert::write_mesh_include(s, w.smooth_include, 0, written_smooth), "smooth mesh file not written");
    check(written_smooth == faces, "smooth mode wrote another face count");
    std::int32_t written_flat = 0;
    check(tessvert::write_mesh_include(s, w.flat_include, 1, written_flat), "flat mesh file not written");
    check(written_flat == faces, "flat mode wrote another face count");
    check_no_leftovers(w);
    return 0;
}
