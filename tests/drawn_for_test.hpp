// The writers' side of a run, for unit tests: a scene drawn as a run with
// the given choices draws it, and a language's files of it.
#pragma once

#include <cstdint>
#include <string>

#include "drawing/draw.hpp"
#include "writers/common/parts.hpp"
#include "writers/output_language.hpp"
#include "writers/vrx/vrx_language.hpp"

namespace drawn_for_test {

namespace tv = tessvert;

struct choices {
    int triangle_mode = 0;
    bool materials = false;   // each face in its own material
    bool smoothing = false;   // the objects' corner normals where they have them
    std::int32_t camera = 0;  // the file's camera of the initial view, when it has one
    const tv::output_language* language = &tv::vrx_language;
};

inline tv::drawn_scene draw(tv::scene& s, const choices& c = {}) {
    tv::drawing_choices d;
    d.camera = s.cameras.empty() ? -1 : c.camera;
    d.smooth = c.triangle_mode == 0;
    d.corner_normals = c.smoothing;
    d.face_materials = c.materials;
    d.language = c.language->abilities;
    tv::reporter quiet;
    return tv::draw_scene(s, d, quiet);
}

// Writes the language's mesh file of `d` into `out`, which the caller
// opened, its parts made on this thread.
inline void write_mesh(const tv::output_language& language, const tv::drawn_scene& d, tv::output_file& out) {
    const auto w = language.prepare(
        d, {"model", "model" + std::string(language.scene_extension), "model" + std::string(language.mesh_extension)});
    tv::write_parts_here(out, w->cut_mesh(1), [&](std::size_t k, std::size_t thread, tv::text_block& text) {
        w->format_mesh_part(k, thread, text);
    });
}

// The same, the scene file.
inline void write_scene(const tv::output_language& language, const tv::drawn_scene& d, tv::output_file& out) {
    language
        .prepare(d, {"model", "model" + std::string(language.scene_extension),
                     "model" + std::string(language.mesh_extension)})
        ->write_scene(out);
}

}  // namespace drawn_for_test
