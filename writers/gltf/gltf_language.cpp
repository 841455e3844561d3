#include "writers/gltf/gltf_language.hpp"

#include <vector>

#include "writers/common/parts.hpp"
#include "writers/gltf/gltf_json.hpp"
#include "writers/gltf/gltf_mesh.hpp"
#include "writers/gltf/gltf_scene.hpp"

namespace tessvert {

namespace {

// Items in the smallest part the buffer file is cut into for several
// threads.
constexpr std::size_t least_part_items = 1024;

// The file name of `path`, as the scene file names the buffer file beside it.
std::string file_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct gltf_writer final : language_writer {
    gltf_writer(const drawn_scene& d, const output_names& files) : d(d), files(files), layout(lay_out_gltf(d)) {}

    void write_scene(output_file& out) override {
        const std::string text = gltf_scene_text(d, layout, file_name(files.mesh_path));
        write_output(out, text.data(), text.size());
    }

    std::size_t cut_mesh(std::size_t threads) override {
        std::uint64_t weight = 0;
        for (const gltf_mesh& m : layout.meshes) {
            const gltf_object_layout& l = layout.objects[m.object];
            weight += 3 * l.source.size() + l.faces;
        }
        cuts = cut_gltf_buffer(layout, part_size_for(threads, weight, least_part_items, default_gltf_part_items));
        return cuts.size() - 1;
    }

    void format_mesh_part(std::size_t k, std::size_t, text_block& text) override {
        format_gltf_part(d, layout, cuts[k], cuts[k + 1], text);
    }

    std::uint64_t mesh_part_faces(std::size_t k) const override {
        return gltf_faces_between(layout, cuts[k], cuts[k + 1]);
    }

    const drawn_scene& d;
    const output_names files;
    const gltf_layout layout;
    std::vector<gltf_position> cuts;
};

std::unique_ptr<language_writer> prepare(const drawn_scene& d, const output_names& names) {
    return std::make_unique<gltf_writer>(d, names);
}

// The scene file names the buffer file and the images by relative URIs,
// percent-encoded: any file name can be said.
std::string output_name_problem(const std::string&) {
    return {};
}

}  // namespace

const output_language gltf_language{
    .name = "gltf",
    .summary = "NAME.gltf and NAME.bin, a glTF 2.0 scene with texture maps",
    .manual = R"roff(A glTF 2.0 scene,
.I NAME.gltf
(JSON) and its buffers in
.IR NAME.bin ,
for Blender and other glTF readers: the same faces, normals, mapping
coordinates, materials (as pbrMetallicRoughness), cameras and lights
(KHR_lights_punctual, the studio rig's among them) under one root node
that stands the scene upright
.RB ( \-\-up )
and turns the file's z up into glTF's y up; texture maps in PNG or JPEG
only. Like the POV-Ray scene, it frames, lights and copies unless
.BR \-\-file\-view .
)roff",
    .scene_extension = ".gltf",
    .mesh_extension = ".bin",
    // Each face in its material, and the hard edges of the smoothing
    // groups: a picture shows them. And a picture should show the model
    // on the first try: framed, lit, with every copy (--file-view turns
    // these three off).
    .implies = {.materials = true, .smoothing = true, .frame = true, .headlight = true, .instances = true},
    .abilities = {.places_copies = true,
                  .writes_lights_off = false,
                  .turns_scene = true,
                  .draws_spotlights = true,
                  .image_type = gltf_image_type,
                  .reader_name = "glTF 2.0",
                  .blends_map_amount = false,
                  .turns_maps_scaled_unequally = false},
    .all_or_nothing = true,
    // The scene file gives the buffer file's length: the buffers come first.
    .mesh_first = true,
    .mesh_beside_scene = true,
    .output_name_problem = output_name_problem,
    .prepare = prepare,
};

}  // namespace tessvert
