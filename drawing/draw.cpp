#include "drawing/draw.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "drawing/looks.hpp"
#include "geometry/framing.hpp"
#include "geometry/instances.hpp"

namespace tessvert {

namespace {

void copy3(const double from[3], double to[3]) {
    for (int k = 0; k < 3; ++k) to[k] = from[k];
}

// A colour of the environment as channels; one that is not finite counts
// as black.
std::array<double, 3> channels(const std::array<float, 3>& c) {
    std::array<double, 3> v{};
    for (int k = 0; k < 3; ++k) v[static_cast<std::size_t>(k)] = std::isfinite(c[k]) ? c[k] : 0.0;
    return v;
}

// The lights to write: those whose numbers are finite, and of those
// flagged off only when the language writes them.
void draw_lights(const scene& s, const drawing_choices& choices, drawn_scene& d) {
    for (const light& l : s.lights) {
        const written_light w = light_as_written(l);
        if (l.is_off == 0 || choices.language.writes_lights_off) ++d.lights_drawable;
        if (!w.finite || (l.is_off != 0 && !choices.language.writes_lights_off)) continue;
        drawn_light& into = d.lights.emplace_back();
        copy3(w.position, into.position);
        copy3(w.color, into.color);
        into.intensity = l.multiplier;
        into.spot = l.is_spot != 0;
        into.target[0] = l.target.x, into.target[1] = l.target.y, into.target[2] = l.target.z;
        into.hotspot = l.hotspot;
        into.falloff = l.falloff;
    }
    d.headlight = choices.headlight && d.lights.empty();
}

// Everything drawn, as the framing sees it: each mesh, and each copy
// placed by its matrix.
std::vector<framed_points> drawn_points(const drawn_scene& d) {
    std::vector<framed_points> sets;
    for (const mesh_object& o : d.file->objects) sets.push_back({o.vertices.data(), o.vertices.size(), nullptr});
    for (const drawn_copy& c : d.copies) {
        const mesh_object& o = d.file->objects[c.object];
        sets.push_back({o.vertices.data(), o.vertices.size(), &c.matrix});
    }
    return sets;
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

}  // namespace

drawn_scene draw_scene(scene& s, const drawing_choices& choices, reporter& report) {
    drawn_scene d;
    d.file = &s;
    d.smooth = choices.smooth;
    d.corner_normals = choices.smooth && choices.corner_normals;
    d.face_materials = choices.face_materials;
    d.file_objects = s.objects.size();
    if (choices.instances) {
        place_instances(s, report);
        if (choices.language.places_copies) {
            for (const mesh_instance& instance : s.instances) d.copies.push_back({instance.object, instance.matrix});
        } else {
            add_instance_copies(s);
        }
    }

    std::optional<framed_view> framed;
    if (choices.frame && s.cameras.empty()) framed = frame_points(drawn_points(d));
    d.view = setup_initial_view(s, choices.camera, framed);
    for (const camera& c : s.cameras) d.cameras.push_back(camera_as_written(c));

    draw_lights(s, choices, d);
    d.ambient_light = channels(s.ambient_light);
    if (s.use_background != 0) d.background = channels(s.background);

    draw_looks(s, d);
    for (const mesh_object& o : s.objects) d.counts.faces += o.faces.size();
    for (const drawn_copy& c : d.copies) d.counts.faces += s.objects[c.object].faces.size();
    return d;
}

void draw_maps(drawn_scene& d, const drawing_choices& choices, const std::string& input_path, const copy_place& place,
               reporter& report) {
    const language_abilities& can = choices.language;
    if (can.image_type == nullptr) return;
    resolve_maps(*d.file, input_path, place, can.image_type, can.reader_name, d, report);
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

void undraw_scene(drawn_scene& d) {
    if (d.file != nullptr) remove_instance_copies(*d.file, d.file_objects);
}

}  // namespace tessvert
