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

// A light as drawn, in the axes of the objects' numbers (the file's, which
// `turn` stands upright).
struct drawn_light {
    double position[3] = {0, 0, 0};
    double color[3] = {0, 0, 0};  // the file's float colour, else its 24-bit one
    double intensity = 1;         // the file's multiplier
    bool spot = false;
    double target[3] = {0, 0, 0};  // where a spotlight points
    double hotspot = 0;            // a spotlight's full cone angles, degrees
    double falloff = 0;
    bool studio = false;  // a light of the studio rig (--lights), not the file's: a white point light
};

// A map of a material as drawn: the image the scene names, beside the
// scene file, and how it lies on the faces (by their mapping coordinates).
struct drawn_map {
    std::string image;      // the image's name in the output's folder; empty: not shown
    std::string_view type;  // the image type, in the output language's words
    texture_map placement;  // offset, scale, rotation, tiling, amount (percent)
};

// How a material looks. Colours are channels from 0 to 1 as sRGB; amounts
// are fractions from 0 to 1.
struct material_look {
    std::array<std::uint8_t, 3> colour_bytes{};  // the diffuse colour in 8 bits, as the file gives it
    // The same colour as channels: the file's float colour, unrounded and
    // clamped to 0..1, when it gives one whose numbers are all finite;
    // else the bytes.
    std::array<double, 3> diffuse{};
    std::array<double, 3> ambient{};   // the same rule
    std::array<double, 3> specular{};  // the same rule; white when the file gives no specular colour
    double transparency = 0;
    // The highlight: its brightness (0: none) and how tight it is. The
    // brightness is the shininess strength times the specular colour's
    // mean channel (the strength alone without a specular colour); a file
    // without a shininess strength takes the shininess for it; a shininess
    // of 0 gives none.
    double highlight = 0;
    double shininess = 0;
    double self_illumination = 0;
    // How much it mirrors its surroundings, tinted by the specular colour
    // as a metal's reflection is: a reflection map's amount (0: none).
    double reflection = 0;
    bool two_sided = false;  // its faces are seen from both sides
    // Its maps, each laid on the faces by their mapping coordinates and
    // shown only where its image was found (image not empty):
    drawn_map map;  // the texture map: the image over the diffuse colour, by its amount
    // The bump map: the image's brightness as the surface's height, its
    // amount (a percentage, may be negative) as the depth of the bumps.
    drawn_map bump;
    // Images whose brightness varies a value over the surface, from none
    // (black) to the value above (white), blended with that value by the
    // map's amount: the opacity map (black: clear, white: the material's
    // own transparency), the specular map (the highlight) and the
    // self-illumination map (black: none, white: fully self-illuminated).
    drawn_map opacity;
    drawn_map specular_map;
    drawn_map self_illumination_map;
    // Whether faces with mapping coordinates show some image of the look.
    bool shows_image() const {
        return !map.image.empty() || !bump.image.empty() || !opacity.image.empty() || !specular_map.image.empty() ||
               !self_illumination_map.image.empty();
    }
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

    // Where each of the file's objects stands, for a language that places a
    // mesh by a matrix: empty when every object stands where its mesh data
    // puts it; else one matrix per object of the file (file_objects), which
    // places its vertices as stored (identity: as stored). With
    // --placement keyframer, the keyframer's first node of a mesh puts it
    // there. A language that cannot place a mesh gets its vertices placed
    // instead, and this stays empty.
    std::vector<placement> object_placements;

    // The turn that stands the scene upright (row by row), applied to every
    // object, copy, camera and light: identity unless the model was
    // authored with another axis up (--up). A language with transforms
    // writes it as one, and the numbers of the record stay the file's; for
    // a language without, the drawing turns the numbers instead and this
    // stays identity.
    std::array<double, 9> turn{1, 0, 0, 0, 1, 0, 0, 0, 1};
    // Up in the axes of the record's numbers: the up of the file's cameras
    // (the turn's inverse applied to +z). The initial view has its own
    // (view.up), which differs when it looks straight down or up.
    std::array<double, 3> up{0, 0, 1};

    // The initial view, then the file's cameras in file order.
    view_setup view;
    std::vector<written_camera> cameras;

    // The lights to write: the file's in file order (none with --lights
    // studio), then the studio rig's (--lights studio or both); and the
    // headlight: a white light at the initial view's eye, when the scene
    // would have no light.
    std::vector<drawn_light> lights;
    bool headlight = false;
    // The file's lights that the language would write were their numbers
    // finite: those not flagged off, or all of them when it writes those.
    std::size_t lights_drawable = 0;
    // The editor's environment, as channels: the ambient light (with the
    // studio rig's soft ambient, for --lights studio or both) and the
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
