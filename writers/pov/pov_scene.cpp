#include "writers/pov/pov_scene.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "writers/common/exact_number.hpp"
#include "writers/common/text_block.hpp"
#include "writers/pov/pov_texture.hpp"

namespace tessvert {

namespace {

void append_triple(std::string& out, const double v[3]) {
    append_vector(out, v[0], v[1], v[2]);
}

void append_color(std::string& out, const std::array<double, 3>& c) {
    append_triple(out, c.data());
}

double length(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// POV-Ray takes angles below 180 degrees.
constexpr double widest_angle = 179.0;

// One camera, from `position` towards `look_at` as the text reads them,
// `sky_given` up (made square to the line of sight), then turned by
// `turn` (a transform's text, or empty).
void append_camera(std::string& out, const double position[3], const double look_at[3], const double sky_given[3],
                   double fov, double bank, const std::string& turn) {
    constexpr double pi = 3.14159265358979323846;
    double p[3], t[3], d[3];
    for (int k = 0; k < 3; ++k) {
        p[k] = as_read_back(position[k]);
        t[k] = as_read_back(look_at[k]);
        d[k] = t[k] - p[k];
    }
    const double dl = length(d);
    double target[3] = {look_at[0], look_at[1], look_at[2]};
    if (!(dl > 0) || !std::isfinite(dl)) {
        // The eye is on its target: it looks along +y.
        d[0] = 0, d[1] = 1, d[2] = 0;
        for (int k = 0; k < 3; ++k) target[k] = p[k] + d[k];
    } else {
        for (double& x : d) x /= dl;
    }
    // The sky: up made square to the line of sight, then turned by the bank
    // about it (right-handed, in the file's axes). Looking along up, the
    // next axis stands in for it.
    double up[3] = {sky_given[0], sky_given[1], sky_given[2]}, right[3], sky[3];
    cross(d, up, right);
    if (length(right) < 1e-6) {
        up[0] = sky_given[1], up[1] = sky_given[2], up[2] = sky_given[0];
        cross(d, up, right);
    }
    const double rl = length(right);
    for (double& x : right) x /= rl;
    cross(right, d, up);  // square to the line of sight, unit length
    const double a = std::isfinite(bank) ? bank * pi / 180.0 : 0.0;
    for (int k = 0; k < 3; ++k) sky[k] = std::cos(a) * up[k] + std::sin(a) * right[k];
    out += "camera {\n    location ";
    append_triple(out, position);
    out += "\n    look_at ";
    append_triple(out, target);
    out += "\n    sky ";
    append_triple(out, sky);
    out += "\n    right -4/3*x\n    up y\n    angle ";
    append_number(out, std::clamp(fov, 1e-3, widest_angle));
    out += "\n" + turn + "  }\n";
}

void append_light(std::string& out, const drawn_light& l, const std::string& turn) {
    out += "light_source {\n  ";
    append_triple(out, l.position);
    out += "\n  rgb ";
    const double color[3] = {l.color[0] * l.intensity, l.color[1] * l.intensity, l.color[2] * l.intensity};
    append_triple(out, color);
    double aim[3];
    for (int k = 0; k < 3; ++k) aim[k] = as_read_back(l.target[k]) - as_read_back(l.position[k]);
    // A spotlight needs a direction and its angles; without them it is a
    // point light.
    if (l.spot && std::isfinite(length(aim)) && length(aim) > 0 && std::isfinite(l.hotspot) &&
        std::isfinite(l.falloff)) {
        // The file gives full cone angles; POV-Ray takes half angles, the
        // bright cone inside the falloff, both at most 90 degrees.
        const double falloff = std::clamp(l.falloff / 2.0, 0.0, 90.0);
        const double radius = std::clamp(l.hotspot / 2.0, 0.0, falloff);
        out += "\n  spotlight\n  point_at ";
        append_triple(out, l.target);
        out += "\n  radius ";
        append_number(out, radius);
        out += "\n  falloff ";
        append_number(out, falloff);
        out += "\n  tightness 0";
    }
    out += "\n" + turn + "}\n";
}

// A matrix of POV-Ray's: the images of the axes, then the translation,
// each with the digits that read it back exactly.
void append_matrix(std::string& out, const placement& m) {
    out += "matrix <";
    for (std::size_t k = 0; k < m.size(); ++k) {
        if (k > 0) out += ", ";
        append_exact_number(out, m[k]);
    }
    out += ">";
}

constexpr placement unmoved{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

// The turn that stands the scene upright, as a placement.
placement turn_placement(const std::array<double, 9>& turn) {
    placement m{};
    for (std::size_t column = 0; column < 3; ++column)
        for (std::size_t row = 0; row < 3; ++row) m[3 * column + row] = turn[3 * row + column];
    return m;
}

}  // namespace

void write_pov_scene(const drawn_scene& d, const pov_names& names, const pov_mesh_layout& layout, output_file& out,
                     const std::string& include_name, const std::string& base_name) {
    const view_setup& view = d.view;
    std::string text;
    text += "// " + base_name + ".pov: a 3DS scene for POV-Ray 3.7; its meshes are in " + include_name +
            ".\n// Render it in the folder that holds both files:\n//   povray +W1024 +H768 +A " + base_name + ".pov\n";
    if (d.cameras.empty()) {
        text += "// Camera 0, the initial view, is the only camera: the file has none of its own.\n";
    } else {
        text += "// Camera 0 is the initial view and the default; ";
        text += d.cameras.size() == 1
                    ? std::string("camera 1 is the file's.")
                    : "cameras 1 to " + std::to_string(d.cameras.size()) + " are the file's, in file order.";
        text += "\n// Choose one on the command line, for example:\n//   povray +W1024 +H768 +A Declare=Camera=1 " +
                base_name + ".pov\n";
    }
    const bool turned = turn_placement(d.turn) != unmoved;
    text += turned ? "// Coordinates are the 3DS file's own (right-handed), turned upright by Upright: z up.\n"
                   : "// Coordinates are the 3DS file's own: right-handed, z up.\n";
    text += "#version 3.7;\n\nglobal_settings { assumed_gamma 1.0 ambient_light rgb ";
    append_color(text, d.ambient_light);
    text += " }\nbackground { srgb ";
    append_color(text, d.background);
    text += " }\n";
    // Every object, camera and light is turned by Upright.
    std::string turn;
    if (turned) {
        text += "#declare Upright = transform { ";
        append_matrix(text, turn_placement(d.turn));
        text += " }\n";
        turn = "  transform { Upright }\n";
    }
    const std::string last = std::to_string(d.cameras.size());
    text += "\n#ifndef (Camera)\n  #declare Camera = 0;\n#end\n#if (Camera < 0 | Camera > " + last +
            " | Camera != int(Camera))\n  #warning concat(\"Camera \", str(Camera, 0, (Camera = int(Camera) ? 0 : "
            "-1)), \" is not a camera of this "
            "scene (0 to " +
            last + "); the initial view is used\")\n  #declare Camera = 0;\n#end\n#switch (Camera)\n  #case (0)\n  ";
    const std::string camera_turn = turned ? "  " + turn : std::string();
    append_camera(text, view.position, view.look_at, view.up, view.fov, view.bank, camera_turn);
    for (std::size_t k = 0; k < d.cameras.size(); ++k) {
        const written_camera& w = d.cameras[k];
        text += "  #break\n  #case (" + std::to_string(k + 1) + ")\n  ";
        append_camera(text, w.position, w.look_at, d.up.data(), w.fov, w.bank, camera_turn);
    }
    text += "  #break\n";
    text += "#end\n\n";

    for (const drawn_light& l : d.lights) append_light(text, l, turn);
    if (d.headlight) {
        text += "light_source {\n  ";
        append_triple(text, view.position);
        text += "\n  rgb <1, 1, 1>\n" + turn + "}\n";
    }

    text += "\n";
    if (d.grey_used) {
        text += "#declare " + std::string(no_material_texture) + " = ";
        append_pov_texture(text, d.no_material);
        text += "\n";
    }
    for (std::size_t m = 0; m < d.used.size(); ++m) {
        if (d.used[m] == 0) continue;
        const material_look& look = d.looks[m];
        text += "#declare " + names.materials[m] + " = ";
        append_pov_texture(text, look);
        text += "\n";
        if (m < names.mapped_materials.size() && !names.mapped_materials[m].empty()) {
            text += "#declare " + names.mapped_materials[m] + " = ";
            append_pov_mapped_texture(text, look);
            text += "\n";
        }
    }
    text += "\n#include " + pov_string(include_name) + "\n\n";
    // Each object where it stands, then the keyframer's further copies: the
    // same mesh placed again. POV-Ray's matrix lists the images of the
    // axes, then the translation, as the placement does.
    const auto place = [&](std::size_t object, const placement& m) {
        if (layout.objects[object].faces == 0) return;
        text += "object { " + names.objects[object];
        if (m != unmoved) {
            text += " ";
            append_matrix(text, m);
        }
        text += turned ? " transform { Upright } }\n" : " }\n";
    };
    for (std::size_t i = 0; i < layout.objects.size(); ++i)
        place(i, i < d.object_placements.size() ? d.object_placements[i] : unmoved);
    for (const drawn_copy& copy : d.copies) place(copy.object, copy.matrix);
    write_output(out, text.data(), text.size());
}

}  // namespace tessvert
