// Builds the scene as drawn (drawn_scene.hpp) from the scene read and the
// choices of the run: once, before any output file is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/drawn_scene.hpp"
#include "drawing/map_sources.hpp"
#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// What an output language can say, which the drawing follows.
struct language_abilities {
    // A mesh can be placed again by a matrix; otherwise each copy of a
    // mesh is drawn as a mesh of its own.
    bool places_copies = false;
    // Lights flagged off are written all the same: the language has no
    // way to say that a light is off.
    bool writes_lights_off = false;
    // A turn of the whole scene can be written as a transform; otherwise
    // the drawing turns the numbers (turn_scene).
    bool turns_scene = false;
    // Spotlights light their cone only; otherwise every light is drawn as
    // a point light.
    bool draws_spotlights = false;
    // The image types it reads for texture maps; null: it shows none.
    image_type_reader image_type = nullptr;
    // The program that reads the scene, as warnings name it ("POV-Ray").
    std::string_view reader_name;
    // A shown map can be blended with the diffuse colour by its amount, and
    // turned while scaled unequally along u and v; where it cannot, a
    // material whose map asks for it gets a warning.
    bool blends_map_amount = true;
    bool turns_maps_scaled_unequally = true;
};

// The lights drawn (--lights): the file's (with the headlight when it has
// none), a studio rig made from the initial view instead, or both, the rig
// then at reduced strength.
enum class light_choice { file, studio, both };

// The axis that points up in the model as authored (--up).
enum class up_axis { z, y, x, minus_z, minus_y, minus_x };

struct drawing_choices {
    std::int32_t camera = -1;  // the file's camera that gives the initial view; -1: none
    bool frame = false;        // a file without cameras is seen whole (frame_points)
    bool headlight = false;    // a white light at the eye when the scene would have none
    bool instances = false;    // the keyframer's further copies of meshes are drawn
    // Each mesh where the keyframer's first node of it puts it at frame 0,
    // rather than where its mesh data does.
    bool keyframer_placement = false;
    light_choice lights = light_choice::file;
    up_axis up = up_axis::z;
    // The initial view framed from this side, whether the file has cameras
    // or not (their views stay the cameras of the scene).
    std::optional<view_direction> view;
    // Folders searched for maps after the 3DS file's own, each with its
    // subfolders.
    std::vector<std::string> map_folders;
    bool smooth = true;  // smooth triangles (the normals were computed)
    bool corner_normals = false;
    bool face_materials = false;
    language_abilities language;
};

// Draws `s`: with `choices.instances`, places the keyframer's copies (a
// warning for each faulty node) and, for a language that cannot place a
// mesh again, appends each copy to s.objects as a mesh of its own
// (undraw_scene removes them); with `choices.keyframer_placement`, places
// each mesh where its first node puts it (for a language that cannot place
// a mesh, its vertices are moved); for a language that cannot turn the
// scene, turns the vertices and normals of s.objects upright (they are
// not turned back); frames the view over everything drawn, upright, when
// asked; chooses the lights, the headlight and the studio rig; gives each
// material its look; counts the faces drawn. Reports two pieces of advice:
// when the file's lights light no face (for --lights file), and when the
// keyframer places objects elsewhere than their mesh data.
drawn_scene draw_scene(scene& s, const drawing_choices& choices, reporter& report);

// For a language that shows texture maps: resolve_maps for the scene
// drawn, the images copied to `place`.
void draw_maps(drawn_scene& d, const drawing_choices& choices, const std::string& input_path, const copy_place& place,
               reporter& report);

// Takes back from the scene what draw_scene added to it.
void undraw_scene(drawn_scene& d);

}  // namespace tessvert
