#include "drawing/draw.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "drawing/lights.hpp"
#include "drawing/looks.hpp"
#include "geometry/framing.hpp"
#include "geometry/instances.hpp"

namespace tessvert {

namespace {

using turn_matrix = std::array<double, 9>;  // row by row

constexpr turn_matrix no_turn{1, 0, 0, 0, 1, 0, 0, 0, 1};

// The turn that stands a model authored with `up` pointing up upright:
// y, +90 degrees about x; -y, -90 about x; x, -90 about y; -x, +90 about
// y; -z, 180 about x.
turn_matrix turn_of(up_axis up) {
    switch (up) {
    case up_axis::y:
        return {1, 0, 0, 0, 0, -1, 0, 1, 0};
    case up_axis::minus_y:
        return {1, 0, 0, 0, 0, 1, 0, -1, 0};
    case up_axis::x:
        return {0, 0, -1, 0, 1, 0, 1, 0, 0};
    case up_axis::minus_x:
        return {0, 0, 1, 0, 1, 0, -1, 0, 0};
    case up_axis::minus_z:
        return {1, 0, 0, 0, -1, 0, 0, 0, -1};
    case up_axis::z:
        break;
    }
    return no_turn;
}

// `v` turned by `t`, or by its inverse (its transpose: a turn).
void turn_point(const turn_matrix& t, double v[3], bool inverse = false) {
    double r[3];
    for (int row = 0; row < 3; ++row) {
        r[row] = 0;
        for (int k = 0; k < 3; ++k)
            r[row] +=
                (inverse ? t[static_cast<std::size_t>(3 * k + row)] : t[static_cast<std::size_t>(3 * row + k)]) * v[k];
    }
    for (int k = 0; k < 3; ++k) v[k] = r[k];
}

// The turn as a placement: the images of the axes (the columns), no move.
placement placement_of(const turn_matrix& t) {
    placement m{};
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 3; ++row)
            m[static_cast<std::size_t>(3 * column + row)] = t[static_cast<std::size_t>(3 * row + column)];
    return m;
}

// A colour of the environment as channels; one that is not finite counts
// as black.
std::array<double, 3> channels(const std::array<float, 3>& c) {
    std::array<double, 3> v{};
    for (int k = 0; k < 3; ++k) v[static_cast<std::size_t>(k)] = std::isfinite(c[k]) ? c[k] : 0.0;
    return v;
}

// Where the meshes drawn stand in the record's numbers: each object of the
// file at its placement (as stored without one), then each copy.
std::vector<placed_mesh> placed_meshes(const drawn_scene& d) {
    std::vector<placed_mesh> meshes;
    for (std::size_t i = 0; i < d.file->objects.size(); ++i)
        meshes.push_back({i, i < d.object_placements.size() ? &d.object_placements[i] : nullptr});
    for (const drawn_copy& c : d.copies) meshes.push_back({c.object, &c.matrix});
    return meshes;
}

// Everything drawn, stood upright, as the framing sees it: each mesh where
// it stands, then turned by `turn` (null: upright already). `storage`
// keeps the matrices the sets point to.
std::vector<framed_points> upright_points(const drawn_scene& d, const placement* turn,
                                          std::vector<placement>& storage) {
    const std::vector<placed_mesh> meshes = placed_meshes(d);
    storage.clear();
    storage.reserve(meshes.size());
    std::vector<framed_points> sets;
    for (const placed_mesh& m : meshes) {
        const placement* matrix = m.matrix;
        if (turn != nullptr)
            matrix = &storage.emplace_back(matrix != nullptr ? compose_placements(*turn, *matrix) : *turn);
        const mesh_object& o = d.file->objects[m.object];
        sets.push_back({o.vertices.data(), o.vertices.size(), matrix});
    }
    return sets;
}

// The bounding box of `count` vertices, placed by `m` (null: as stored);
// false when none is finite.
bool bounds_of(const vec3* vertices, std::size_t count, const placement* m, double lo[3], double hi[3]) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    bool any = false;
    for (int k = 0; k < 3; ++k) lo[k] = inf, hi[k] = -inf;
    for (std::size_t i = 0; i < count; ++i) {
        const vec3 v = m != nullptr ? place_point(*m, vertices[i]) : vertices[i];
        if (!is_finite(v)) continue;
        const double p[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
        any = true;
    }
    return any;
}

// How many of the file's objects the keyframer's frame 0 (s.first_nodes)
// places elsewhere than their mesh data: by more than `share` of the
// scene's size (its bounding box's diagonal) at some corner of the
// object's bounding box, where an affine move is largest.
std::size_t objects_placed_elsewhere(const scene& s, double share) {
    const placement identity{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    bool any_moved = false;
    for (const mesh_instance& first : s.first_nodes) any_moved = any_moved || first.matrix != identity;
    if (!any_moved) return 0;
    double lo[3], hi[3], size_squared = 0;
    constexpr double inf = std::numeric_limits<double>::infinity();
    double scene_lo[3] = {inf, inf, inf}, scene_hi[3] = {-inf, -inf, -inf};
    for (const mesh_object& o : s.objects)
        if (bounds_of(o.vertices.data(), o.vertices.size(), nullptr, lo, hi))
            for (int k = 0; k < 3; ++k)
                scene_lo[k] = std::min(scene_lo[k], lo[k]), scene_hi[k] = std::max(scene_hi[k], hi[k]);
    for (int k = 0; k < 3; ++k)
        if (scene_hi[k] >= scene_lo[k]) size_squared += (scene_hi[k] - scene_lo[k]) * (scene_hi[k] - scene_lo[k]);
    const double limit = share * std::sqrt(size_squared);
    std::size_t elsewhere = 0;
    for (const mesh_instance& first : s.first_nodes) {
        if (first.matrix == identity) continue;
        const mesh_object& o = s.objects[first.object];
        if (!bounds_of(o.vertices.data(), o.vertices.size(), nullptr, lo, hi)) continue;
        double worst = 0;
        for (int corner = 0; corner < 8; ++corner) {
            const vec3 c{static_cast<float>(corner & 1 ? hi[0] : lo[0]), static_cast<float>(corner & 2 ? hi[1] : lo[1]),
                         static_cast<float>(corner & 4 ? hi[2] : lo[2])};
            const vec3 p = place_point(first.matrix, c);
            worst = std::max(worst, std::hypot(double{p.x} - c.x, double{p.y} - c.y, double{p.z} - c.z));
        }
        if (worst > limit) ++elsewhere;
    }
    return elsewhere;
}

// Places the file's objects as the keyframer's first nodes put them: by a
// matrix the language writes, or, when it cannot place a mesh, by moving
// the vertices.
void place_first_nodes(scene& s, const language_abilities& language, drawn_scene& d) {
    if (language.places_copies) {
        d.object_placements.assign(d.file_objects, placement{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
        for (const mesh_instance& first : s.first_nodes) d.object_placements[first.object] = first.matrix;
    } else {
        for (const mesh_instance& first : s.first_nodes) place_object(s.objects[first.object], first.matrix);
    }
}

// The initial view stood upright: a file's camera turned by `turn`; the
// framed view and the default view are upright already.
view_setup upright_view(const scene& s, const drawing_choices& choices, const std::optional<framed_view>& framed,
                        const turn_matrix& turn) {
    view_setup v = setup_initial_view(s, choices.camera, framed, choices.view.has_value());
    const bool from_camera = !v.framed && choices.camera >= 0 && choices.camera < s.camera_count() &&
                             camera_as_written(s.cameras[static_cast<std::size_t>(choices.camera)]).finite;
    if (from_camera && turn != no_turn) {
        turn_point(turn, v.position);
        turn_point(turn, v.look_at);
    }
    return v;
}

void turn_light(const turn_matrix& turn, drawn_light& l, bool inverse) {
    turn_point(turn, l.position, inverse);
    turn_point(turn, l.target, inverse);
}

// The lights, in the record's numbers: the file's (none for the studio
// alone), then the rig made from the upright view, the headlight when
// there is no light, and the ambient light.
void draw_lights(const scene& s, const drawing_choices& choices, const view_setup& upright, const turn_matrix& turn,
                 drawn_scene& d) {
    if (choices.lights != light_choice::studio) {
        draw_file_lights(s, choices.language, d);
        if (!choices.language.turns_scene && turn != no_turn)
            for (drawn_light& l : d.lights) turn_light(turn, l, false);
    }
    d.ambient_light = channels(s.ambient_light);
    if (choices.lights != light_choice::file) {
        const double share = choices.lights == light_choice::both ? rig_share_beside_file : 1.0;
        for (drawn_light l : studio_rig(upright.position, upright.look_at, upright.up, share)) {
            if (choices.language.turns_scene) turn_light(turn, l, true);
            d.lights.push_back(l);
        }
        for (double& a : d.ambient_light) a = (choices.lights == light_choice::both ? a : 0.0) + studio_ambient * share;
    }
    d.headlight = choices.headlight && d.lights.empty();
}

// A percentage as the warnings give it: up to two decimals.
std::string number_text(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
}

// Whether a map is turned other than by whole quarter turns while its u
// and v scales differ: a turn after an unequal scale, which a transform
// that scales after turning cannot say.
bool turned_and_scaled_unequally(const texture_map& t) {
    const auto scale = [](float s) { return s == 0 ? 1.0f : s; };
    return std::fmod(static_cast<double>(t.rotation), 90.0) != 0 && scale(t.u_scale) != scale(t.v_scale);
}

// The warnings for texture maps shown otherwise than the file says, for
// what the language cannot say.
void warn_of_unsayable_maps(const drawn_scene& d, const language_abilities& can, reporter& report) {
    for (std::size_t m = 0; m < d.looks.size(); ++m) {
        const drawn_map& map = d.looks[m].map;
        if (map.image.empty()) continue;
        const std::string what = "the texture map \"" + printable(d.file->materials[m].map_name) + "\" of material \"" +
                                 printable(d.file->materials[m].name) + "\"";
        if (!can.blends_map_amount && map.placement.amount < 100.0f)
            report_warning(report, what + " shows " + number_text(map.placement.amount) + "% of its image, which " +
                                       std::string(can.reader_name) + " cannot say: the image is shown whole");
        if (!can.turns_maps_scaled_unequally && turned_and_scaled_unequally(map.placement))
            report_warning(report, what + " is turned and scaled unequally along u and v, which " +
                                       std::string(can.reader_name) +
                                       " cannot say: it is scaled along its turned axes instead");
    }
}

// The keyframer's copies and first nodes as asked, and the advice when
// its frame 0 puts objects elsewhere than their mesh data.
void draw_placements(scene& s, const drawing_choices& choices, drawn_scene& d, reporter& report) {
    if (choices.instances || choices.keyframer_placement)
        place_instances(s, report, {.copies = choices.instances, .first_nodes = choices.keyframer_placement});
    if (!choices.keyframer_placement && !s.nodes.empty()) {
        // Where the keyframer would put each mesh, only to say so.
        reporter quiet;
        place_instances(s, quiet, {.copies = false, .first_nodes = true});
    }
    if (const std::size_t elsewhere = choices.keyframer_placement ? 0 : objects_placed_elsewhere(s, 0.001))
        tessvert::report(
            report, message_kind::advice,
            " Warning: the keyframer's frame 0 places " + std::to_string(elsewhere) +
                (elsewhere == 1 ? " object elsewhere than its mesh data; --placement keyframer draws it"
                                : " objects elsewhere than their mesh data; --placement keyframer draws them") +
                " there\n");
    if (choices.instances) {
        if (choices.language.places_copies) {
            for (const mesh_instance& instance : s.instances) d.copies.push_back({instance.object, instance.matrix});
        } else {
            add_instance_copies(s);
        }
    }
    if (choices.keyframer_placement) place_first_nodes(s, choices.language, d);
}

// Stood upright by `turn`: by the language's transform (d.turn, d.up), or
// by turning the numbers. Returns whether the language turns it.
bool stand_upright(scene& s, const drawing_choices& choices, turn_matrix turn, drawn_scene& d) {
    if (turn == no_turn) return false;
    if (!choices.language.turns_scene) {
        const placement turn_placement = placement_of(turn);
        for (mesh_object& o : s.objects) place_object(o, turn_placement);
        return false;
    }
    d.turn = turn;
    double up[3] = {0, 0, 1};
    turn_point(turn, up, true);
    for (int k = 0; k < 3; ++k) d.up[static_cast<std::size_t>(k)] = up[k];
    return true;
}

// The initial view (framed when asked) and the file's cameras, as the
// turn leaves them. Returns the initial view in the upright scene's axes.
view_setup draw_views(const scene& s, const drawing_choices& choices, turn_matrix turn, bool turned_by_language,
                      drawn_scene& d) {
    std::optional<framed_view> framed;
    if ((choices.frame && s.cameras.empty()) || choices.view) {
        const placement turn_placement = placement_of(turn);
        std::vector<placement> storage;
        framed = frame_points(upright_points(d, turned_by_language ? &turn_placement : nullptr, storage),
                              choices.view.value_or(view_direction::iso));
    }
    const view_setup upright = upright_view(s, choices, framed, turn);
    d.view = upright;
    if (turned_by_language) {
        turn_point(turn, d.view.position, true);
        turn_point(turn, d.view.look_at, true);
        turn_point(turn, d.view.up, true);
    }
    for (const camera& c : s.cameras) {
        written_camera& w = d.cameras.emplace_back(camera_as_written(c));
        if (w.finite && turn != no_turn && !turned_by_language) {
            turn_point(turn, w.position);
            turn_point(turn, w.look_at);
        }
    }
    return upright;
}

// The advice when the file's lights light no face. A scene without a face
// has nothing to light: the line that says nothing was drawn tells what is
// wrong with it.
void advise_on_file_lights(const scene& s, const drawing_choices& choices, const drawn_scene& d, reporter& report) {
    const bool has_faces =
        std::any_of(s.objects.begin(), s.objects.end(), [](const mesh_object& o) { return !o.faces.empty(); });
    if (choices.lights == light_choice::file && has_faces && !d.lights.empty() &&
        !some_face_lit(s, placed_meshes(d), d.lights, choices.language.draws_spotlights))
        tessvert::report(report, message_kind::advice,
                         " Warning: no light of the file lights a face (none has a face turned towards it within its "
                         "cone; shadows aside); --lights both adds a studio rig\n");
}

}  // namespace

drawn_scene draw_scene(scene& s, const drawing_choices& choices, reporter& report) {
    drawn_scene d;
    d.file = &s;
    d.smooth = choices.smooth;
    d.corner_normals = choices.smooth && choices.corner_normals;
    d.face_materials = choices.face_materials;
    d.file_objects = s.objects.size();
    draw_placements(s, choices, d, report);
    const turn_matrix turn = turn_of(choices.up);
    const bool turned_by_language = stand_upright(s, choices, turn, d);
    const view_setup upright = draw_views(s, choices, turn, turned_by_language, d);
    draw_lights(s, choices, upright, turn, d);
    advise_on_file_lights(s, choices, d, report);
    if (s.use_background != 0) d.background = channels(s.background);
    draw_looks(s, d);
    for (const mesh_object& o : s.objects) d.counts.faces += o.faces.size();
    for (const drawn_copy& c : d.copies) d.counts.faces += s.objects[c.object].faces.size();
    return d;
}

void draw_maps(drawn_scene& d, const drawing_choices& choices, const std::string& input_path, const copy_place& place,
               reporter& report) {
    const language_abilities& can = choices.language;
    if (can.image_type != nullptr) {
        resolve_maps(*d.file, {input_path, choices.map_folders}, place, can.image_type, can.reader_name, d, report);
        warn_of_unsayable_maps(d, can, report);
    }
    // Highlights alone seldom show a model: one light at the eye puts none
    // on a face that is not turned straight at it.
    if (choices.lights == light_choice::file && only_highlights_show(d))
        tessvert::report(report, message_kind::advice,
                         " Warning: every face is black but for its highlights (a black colour, no texture map, no "
                         "self-illumination); --lights both adds a studio rig whose highlights show the model\n");
}

void undraw_scene(drawn_scene& d) {
    if (d.file != nullptr) remove_instance_copies(*d.file, d.file_objects);
}

}  // namespace tessvert
