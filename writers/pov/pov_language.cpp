#include "writers/pov/pov_language.hpp"

#include <vector>

#include "writers/common/parts.hpp"
#include "writers/pov/pov_mesh.hpp"
#include "writers/pov/pov_names.hpp"
#include "writers/pov/pov_scene.hpp"
#include "writers/pov/pov_uv_map.hpp"

namespace tessvert {

namespace {

// Items in the smallest part the mesh file is cut into for several threads.
constexpr std::size_t least_part_items = 256;

// The file name of `path`, as a line of one file names the other beside it.
std::string file_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

pov_names names_of(const drawn_scene& d) {
    pov_names names = make_pov_names(*d.file);
    std::vector<std::uint8_t> mapped(d.looks.size(), 0);
    for (std::size_t m = 0; m < mapped.size(); ++m) mapped[m] = d.looks[m].shows_image();
    name_mapped_materials(*d.file, mapped, names);
    return names;
}

struct pov_writer final : language_writer {
    pov_writer(const drawn_scene& d, const output_names& files)
        : d(d), files(files), names(names_of(d)), layout(lay_out_pov_mesh(*d.file, d.smooth ? 0 : 1)) {}

    void write_scene(output_file& out) override {
        write_pov_scene(d, names, layout, out, file_name(files.mesh_path), file_name(files.base_name));
    }

    std::size_t cut_mesh(std::size_t threads) override {
        std::uint64_t weight = 0;
        for (std::size_t i = 0; i < layout.objects.size(); ++i) weight += 1 + pov_object_items(layout, i);
        cuts = cut_pov_mesh(layout, part_size_for(threads, weight, least_part_items, default_pov_part_items));
        formatters.resize(threads);
        return cuts.size() - 1;
    }

    void format_mesh_part(std::size_t k, std::size_t thread, text_block& text) override {
        format_pov_mesh_part(*d.file, names, layout, cuts[k], cuts[k + 1], formatters[thread], text);
    }

    std::uint64_t mesh_part_faces(std::size_t k) const override {
        return pov_faces_between(layout, cuts[k], cuts[k + 1]);
    }

    const drawn_scene& d;
    const output_names files;
    const pov_names names;
    const pov_mesh_layout layout;
    std::vector<pov_position> cuts;
    std::vector<pov_mesh_formatter> formatters;
};

std::unique_ptr<language_writer> prepare(const drawn_scene& d, const output_names& names) {
    return std::make_unique<pov_writer>(d, names);
}

// The include line names the mesh file by its file name, in a POV-Ray
// string, which carries neither a double quote nor a control character
// plainly, and POV-Ray 3.7 neither undoes a backslash in a file name nor
// opens a file whose name holds bytes beyond ASCII. Folders above the file
// are not named, so any name is fine for them.
std::string output_name_problem(const std::string& base_name) {
    for (const char c : file_name(base_name)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || byte < 0x20 || byte >= 0x7F)
            return "the output file's name " + printable(file_name(base_name)) +
                   " holds a double quote, a backslash, a control character or a byte beyond ASCII, which "
                   "POV-Ray 3.7 cannot open from the scene's include line; nothing was converted";
    }
    return {};
}

}  // namespace

const output_language pov_language{
    .name = "pov",
    .summary = "NAME.pov and NAME.mesh.inc, a POV-Ray 3.7 scene with texture maps",
    .manual = R"roff(A POV-Ray 3.7 scene,
.I NAME.pov
and the meshes in
.IR NAME.mesh.inc ,
ready for
.B povray +W1024 +H768 +A NAME.pov
in the folder that holds both. It carries each face's material and the
smoothing groups' normals (as
.B \-\-materials \-\-smoothing
give them), the materials' shading and maps, spotlights, the light
multipliers, the ambient light and the background colour; a light flagged
off is left out. It frames the view, adds a headlight and the keyframer's
copies as
.BR \-\-frame ,
.B \-\-headlight
and
.B \-\-instances
do, unless
.BR \-\-file\-view .
Coordinates are the file's own, right-handed with z up (turned upright by
.B Upright
with
.BR \-\-up );
each camera turns POV-Ray's view to match (its sky is the scene's up,
turned by the camera's bank; its right vector is negated). Camera 0 is the
initial view (the one
.BR \-c ,
the default view or the framing gives); cameras 1 to N are the file's in
file order, chosen with
.B Declare=Camera=N
on POV-Ray's command line. The headlight is a white light at the initial
view's eye, written when no light of the file is.
)roff",
    .scene_extension = ".pov",
    .mesh_extension = ".mesh.inc",
    // Each face in its material, and the hard edges of the smoothing
    // groups: a picture shows them. And a picture should show the model
    // on the first try: framed, lit, with every copy (--file-view turns
    // these three off).
    .implies = {.materials = true, .smoothing = true, .frame = true, .headlight = true, .instances = true},
    .abilities = {.places_copies = true,
                  .writes_lights_off = false,
                  .turns_scene = true,
                  .draws_spotlights = true,
                  .image_type = pov_image_type,
                  .reader_name = "POV-Ray"},
    .all_or_nothing = true,
    .mesh_first = false,
    .mesh_beside_scene = true,
    .output_name_problem = output_name_problem,
    .prepare = prepare,
};

}  // namespace tessvert
