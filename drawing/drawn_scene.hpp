// The scene as it will be drawn: one record, built once after the file is
// read (draw_scene), that every output language spells. What the picture
// shows is decided here: the objects and where they stand, the view and the
// cameras, the lights, the look of each material and its image, and the
// counts the console reports. A writer reads this record and no option.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/view.hpp"
#include "model/scene.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"

namespace tessvert {

// A mesh drawn once more, where a keyframer node places it: the mesh's
// vertices as stored go through `matrix` (the images of the axes, then the
// translation).
struct drawn_copy {
    std::uint32_t object = 0;  // index into scene::objects
    placement matrix{};
};

// A light as drawn, in the file's axes.
struct drawn_light {
    double position[3] = {0, 0, 0};
    double color[3] = {0, 0, 0};  // the file's float colour, else its 24-bit one
    double intensity = 1;         // the file's multiplier
    bool spot = false;
    double target[3] = {0, 0, 0};  // where a spotlight points
    double hotspot = 0;            // a spotlight's full cone angles, degrees
    double falloff = 0;
};

// A material's texture map as drawn: the image the scene names, beside the
// scene file, and how it lies on the faces.
struct drawn_map {
    std::string image;      // the image's name in the output's folder; empty: not shown
    std::string_view type;  // the image type, in the output language's words
    texture_map placement;  // offset, scale, rotation, tiling, amount
};

// How a material looks. Colours are channels from 0 to 1 as sRGB; amounts
// are fractions from 0 to 1.
struct material_look {
    std::array<std::uint8_t, 3> colour_bytes{};  // the diffuse colour in 8 bits, as the file gives it
    std::array<double, 3> diffuse{};             // the same colour, as channels
    std::array<double, 3> ambient{};
    double transparency = 0;
    // The highlight: its brightness (the shininess strength times the
    // specular colour's mean channel; 0: none) and how tight it is.
    double highlight = 0;
    double shininess = 0;
    double self_illumination = 0;
    double reflection = 0;   // how much it mirrors its surroundings (a reflection map's amount)
    bool two_sided = false;  // its faces are seen from both sides
    drawn_map map;
};

// Counts of faces and texture maps, for the statistics and the progress.
struct drawn_counts {
    std::uint64_t faces = 0;       // every face drawn, copies included
    std::size_t maps_shown = 0;    // maps of materials faces use, shown
    std::size_t maps_missing = 0;  // such maps that cannot be shown
    bool maps_resolved = false;    // the language shows texture maps: the two counts apply
};

struct drawn_scene {
    // The scene read. Its objects are the meshes to draw: those of the file
    // (the first `file_objects`), then, for a language that cannot place a
    // mesh again, each copy made into a mesh of its own.
    scene* file = nullptr;
    std::size_t file_objects = 0;
    // The meshes drawn again where the language places them by a matrix.
    std::vector<drawn_copy> copies;

    // How faces are drawn: smooth triangles with the objects' normals
    // (else flat), with their corner normals where they have them, and
    // each face in its own material (else each object in one colour).
    bool smooth = true;
    bool corner_normals = false;
    bool face_materials = false;

    // The turn that stands the scene upright (row by row), applied to every
    // object, camera and light: identity unless the model was authored
    // with another axis up. A language with transforms writes it as one;
    // the numbers of the file stay as they are.
    std::array<double, 9> turn{1, 0, 0, 0, 1, 0, 0, 0, 1};

    // The initial view, then the file's cameras in file order.
    view_setup view;
    std::vector<written_camera> cameras;

    // The lights to write, in file order, and the headlight: a white light
    // at the initial view's eye, when the scene would have no light.
    std::vector<drawn_light> lights;
    bool headlight = false;
    // The file's lights that the language would write were their numbers
    // finite: those not flagged off, or all of them when it writes those.
    std::size_t lights_drawable = 0;
    // The editor's environment, as channels: the ambient light and the
    // background (black unless the file says to use its colour).
    std::array<double, 3> ambient_light{};
    std::array<double, 3> background{};

    // One look per material of the file, and the look of faces of no
    // material (light grey, matte). Per material, whether a drawn face
    // uses it; and whether one uses the grey.
    std::vector<material_look> looks;
    material_look no_material;
    std::vector<std::uint8_t> used;
    bool grey_used = false;

    drawn_counts counts;

    // The copies of images the scene names, written to temporaries: put in
    // place with the output files, before them.
    std::deque<image_copy> image_copies;
};

// The material whose look face `j` of `o` is drawn with, or no_material for
// the grey: the face's own material when faces carry theirs; for a face in
// no group, or when they do not, the object's material.
std::int32_t face_material(const scene& s, const mesh_object& o, std::size_t j);

// The look of material `m` (no_material: the grey).
inline const material_look& look_of(const drawn_scene& d, std::int32_t m) {
    return m == no_material ? d.no_material : d.looks[static_cast<std::size_t>(m)];
}

}  // namespace tessvert
