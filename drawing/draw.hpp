// Builds the scene as drawn (drawn_scene.hpp) from the scene read and the
// choices of the run: once, before any output file is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

struct drawing_choices {
    std::int32_t camera = -1;  // the file's camera that gives the initial view; -1: none
    bool frame = false;        // a file without cameras is seen whole (frame_points)
    bool headlight = false;    // a white light at the eye when the scene would have none
    bool instances = false;    // the keyframer's further copies of meshes are drawn
    bool smooth = true;        // smooth triangles (the normals were computed)
    bool corner_normals = false;
    bool face_materials = false;
    language_abilities language;
};

// Draws `s`: with `choices.instances`, places the keyframer's copies (a
// warning for each faulty node) and, for a language that cannot place a
// mesh again, appends each copy to s.objects as a mesh of its own
// (undraw_scene removes them); frames the view over everything drawn when
// asked; chooses the lights and the headlight; gives each material its
// look; counts the faces drawn.
drawn_scene draw_scene(scene& s, const drawing_choices& choices, reporter& report);

// For a language that shows texture maps: resolve_maps for the scene
// drawn, the images copied to `place`.
void draw_maps(drawn_scene& d, const drawing_choices& choices, const std::string& input_path, const copy_place& place,
               reporter& report);

// Takes back from the scene what draw_scene added to it.
void undraw_scene(drawn_scene& d);

}  // namespace tessvert
