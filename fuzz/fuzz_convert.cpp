// libFuzzer target: arbitrary bytes as a 3DS file, through the whole
// conversion in both modes (smooth triangles with vertex normals, and flat
// triangles), as the program runs it, then once more with every opt-in view
// on (what --faithful sets: per-face materials, smoothing groups, framing,
// headlight), and once as a POV-Ray scene with those views.
//
// Besides the sanitizers' reports, the target stops (traps) when the loaded
// scene breaks an invariant that the writers rely on, when a writer fails to
// write into its private directory, or when a temporary output file is left
// behind.
//
// The converter's messages are dropped unless TESSVERT_FUZZ_VERBOSE is set,
// when they go to standard error beside libFuzzer's reports.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert.hpp"
#include "model/scene.hpp"

namespace {

// The private directory of this fuzzing process, made once.
struct workspace {
    std::string dir;
    std::string input;
    tessvert::reporter console;
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

// The per-face arrays: each empty or one entry per face (corner normals:
// three), materials naming a material of the scene or none.
void check_face_data(const tessvert::scene& s, const tessvert::mesh_object& o, bool faithful) {
    const std::size_t faces = o.faces.size();
    check(o.smoothing.empty() || o.smoothing.size() == faces, "smoothing mask array size");
    check(o.face_materials.empty() || o.face_materials.size() == faces, "face material array size");
    check(o.corner_normals.empty() || o.corner_normals.size() == 3 * faces, "corner normal array size");
    for (std::uint32_t id : o.corner_normals)
        check(id == tessvert::use_vertex_normal || id < o.smooth_normals.size(), "corner normal index");
    for (std::int32_t m : o.face_materials)
        check(m == tessvert::no_material || (m >= 0 && m < s.material_count()), "face material index");
    for (const tessvert::material_group_entry& g : o.material_groups) {
        check(g.materials_before >= 0 && g.materials_before <= s.material_count(), "materials before a group");
        check(std::size_t{g.first_face} + g.face_numbers <= o.group_faces.size(), "material group face range");
        check(g.name.size() <= tessvert::material_name_max, "material group name length");
    }
    if (!faithful) {
        check(o.face_materials.empty(), "face materials without --materials");
        check(o.corner_normals.empty(), "corner normals without --smoothing");
    } else {
        // Corner normals come with complete masks, and only then.
        check(o.corner_normals.size() == (o.smoothing.size() == faces ? 3 * faces : 0),
              "corner normals without complete smoothing masks, or none with them");
    }
}

// The invariants of a loaded scene that the geometry and the writers rely
// on (model/scene.hpp and the loader's face validation).
void check_scene(const tessvert::scene& s, bool with_normals, bool faithful) {
    for (const tessvert::mesh_object& o : s.objects) {
        check(o.vertices.size() <= 65535 && o.tex_coords.size() % 2 == 0, "vertex and mapping array sizes");
        check(o.normals.size() == (with_normals ? o.vertices.size() : 0), "normal array size");
        check(o.name.size() <= tessvert::object_name_max, "object name length");
        for (const tessvert::face& f : o.faces) {
            const auto n = static_cast<std::uint32_t>(o.vertex_count());
            check(f.a < n && f.b < n && f.c < n, "a face names a vertex the object does not have");
        }
        if (s.material_count() > 0)
            check(o.material_index >= 0 && o.material_index < s.material_count(), "material index");
        check_face_data(s, o, faithful);
    }
    for (const tessvert::material& m : s.materials) {
        check(m.name.size() <= tessvert::material_name_max, "material name length");
        check(m.map_name.size() <= tessvert::material_name_max, "map name length");
    }
}

// How the input is converted: in the default language plain, flat and
// faithful, and faithful in each other language.
struct run_kind {
    std::int32_t triangle_mode;
    bool faithful;
    std::string name;
    const tessvert::output_language* language;
};

std::vector<run_kind> run_kinds() {
    const tessvert::output_language* plain = &tessvert::default_language();
    std::vector<run_kind> kinds{{0, false, "out", plain}, {1, false, "flat", plain}, {0, true, "faithful", plain}};
    for (const tessvert::output_language* l : tessvert::output_languages())
        if (l != plain) kinds.push_back({0, true, std::string(l->name), l});
    return kinds;
}

// Nothing but the outputs may be in the directory.
void check_no_leftovers(const workspace& w) {
    std::vector<std::string> outputs;
    for (const run_kind& kind : run_kinds()) {
        outputs.push_back(kind.name + std::string(kind.language->scene_extension));
        outputs.push_back(kind.name + std::string(kind.language->mesh_extension));
    }
    DIR* d = ::opendir(w.dir.c_str());
    check(d != nullptr, "cannot list the work directory");
    int others = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || std::find(outputs.begin(), outputs.end(), name) != outputs.end()) continue;
        std::fprintf(stderr, "fuzz_convert: left behind: %s\n", name.c_str());
        ++others;
    }
    ::closedir(d);
    check(others == 0, "an output's temporary file remains after the run");
}

// A renderer reads no "nan" or "inf": no number of a text file may be one.
// Files that are not text (a NUL byte in them) are not looked at.
void check_numbers(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        std::fclose(f);
    }
    if (text.find('\0') != std::string::npos) return;
    for (const char* word : {"nan", "inf"})
        for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
            check(at == 0 || std::strchr(" ,<-", text[at - 1]) == nullptr, "an output file holds a non-finite number");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("TESSVERT_FUZZ_VERBOSE") != nullptr)
        work().console.emit = [](tessvert::message_kind, std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stderr);
        };
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tessvert-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    check(::mkdtemp(buf.data()) != nullptr, "cannot make the work directory");
    workspace& w = work();
    w.dir = buf.data();
    w.input = w.dir + "/in.3ds";
    std::atexit(remove_workspace);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    workspace& w = work();
    // Read from memory, named as a file of the work directory (where
    // texture maps would be looked for).
    const std::vector<unsigned char> bytes(data, data + size);
    tessvert::run_options options;
    options.input_path = w.input;
    // The one-core path: no thread is started for an input.
    options.threads = 1;
    // The camera choice comes from the input too: its last byte picks a
    // camera index, most often one that the file has, sometimes one that it
    // has not (the fallback).
    if (size > 0) {
        const std::uint8_t pick = data[size - 1];
        options.camera_select = pick < 128 ? pick % 4 : static_cast<std::int32_t>(pick) - 200;
    }

    for (const run_kind& kind : run_kinds()) {
        const std::int32_t triangle_mode = kind.triangle_mode;
        options.triangle_mode = triangle_mode;
        options.materials = options.smoothing = options.frame = options.headlight = kind.faithful;
        options.language = kind.language;
        tessvert::set_output_base(options, w.dir + "/" + kind.name);
        tessvert::scene s = tessvert::init_scene();
        const tessvert::conversion_result result = tessvert::convert_bytes(options, bytes, s, w.console);
        if (!result.loaded) {
            check(s.objects.empty() && s.materials.empty() && s.cameras.empty() && s.lights.empty(),
                  "a failed load filled the scene");
            check(result.exit_code == 0, "a failed load reported success");
            return 0;
        }
        check_scene(s, triangle_mode == 0, kind.faithful);
        check(result.exit_code == 1, "an output was not written into the work directory");
        // The faces written are the objects' and those of each copy of a
        // mesh that the keyframer shows again (the languages that place
        // copies show them always).
        std::int64_t faces = 0;
        for (const tessvert::mesh_object& o : s.objects) faces += o.face_count();
        for (const tessvert::mesh_instance& copy : s.instances) faces += s.objects[copy.object].face_count();
        check(result.written_faces == faces, "the face count written is not the scene's");
        if (kind.language != &tessvert::default_language()) {
            check_numbers(options.scene_path);
            check_numbers(options.include_path);
        }
    }
    check_no_leftovers(w);
    return 0;
}
