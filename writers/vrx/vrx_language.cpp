#include "writers/vrx/vrx_language.hpp"

#include <vector>

#include "writers/common/parts.hpp"
#include "writers/vrx/mesh_include.hpp"
#include "writers/vrx/scene_file.hpp"

namespace tessvert {

namespace {

// Faces in the smallest part the mesh file is cut into for several threads.
constexpr std::size_t least_part_faces = 256;

struct vrx_writer final : language_writer {
    vrx_writer(const drawn_scene& d, const output_names& names) : d(d), names(names), layout(lay_out_mesh(d)) {}

    void write_scene(output_file& out) override { write_scene_file(d, out, names.mesh_path, names.base_name); }

    std::size_t cut_mesh(std::size_t threads) override {
        const scene& s = *d.file;
        std::uint64_t weight = s.objects.size();
        for (const mesh_object& o : s.objects) weight += o.faces.size();
        cuts = tessvert::cut_mesh(s, part_size_for(threads, weight, least_part_faces, default_part_faces));
        formatters.resize(threads);
        // On one thread the parts come in order: an object's texts are kept
        // from one part to the next.
        formatters[0].keep_texts = threads == 1;
        return cuts.size() - 1;
    }

    void format_mesh_part(std::size_t k, std::size_t thread, text_block& text) override {
        tessvert::format_mesh_part(*d.file, layout, cuts[k], cuts[k + 1], formatters[thread], text);
    }

    std::uint64_t mesh_part_faces(std::size_t k) const override { return faces_between(*d.file, cuts[k], cuts[k + 1]); }

    const drawn_scene& d;
    const output_names names;
    const mesh_layout layout;
    std::vector<mesh_position> cuts;
    std::vector<mesh_formatter> formatters;
};

std::unique_ptr<language_writer> prepare(const drawn_scene& d, const output_names& names) {
    return std::make_unique<vrx_writer>(d, names);
}

// The scene file quotes the output name and the mesh file's name: a double
// quote or a control character in them would end the string or the line.
std::string output_name_problem(const std::string& base_name) {
    for (const char c : base_name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || byte < 0x20 || byte == 0x7F)
            return "the output name holds a double quote or a control character, which would break the quoted "
                   "names in the scene file; nothing was converted";
    }
    return {};
}

}  // namespace

const output_language vrx_language{
    .name = "vrx",
    .summary = "NAME.vrx and NAME.inc, the scene text (the default)",
    .manual = R"roff(The default: the scene file
.I NAME.vrx
and the mesh include
.IR NAME.inc ,
everything as without the option.
)roff",
    .scene_extension = ".vrx",
    .mesh_extension = ".inc",
    .implies = {},
    // The scene file has no way to place a mesh again, to turn the scene,
    // to say that a light is off or that it is a spotlight: each copy is
    // written as a mesh of its own, turned numbers are written, every light
    // as an unflagged point light.
    .abilities = {.places_copies = false,
                  .writes_lights_off = true,
                  .turns_scene = false,
                  .draws_spotlights = false,
                  .image_type = nullptr,
                  .reader_name = {}},
    .all_or_nothing = false,
    .mesh_first = false,
    .output_name_problem = output_name_problem,
    .prepare = prepare,
};

}  // namespace tessvert
