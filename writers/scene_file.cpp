#include "writers/scene_file.hpp"

#include <string>

#include "geometry/lens.hpp"
#include "writers/text_output.hpp"

namespace tessvert {

namespace {

// The aspect ratio is the float 1.3333 widened, which prints as 1.333300.
constexpr double aspect_ratio = static_cast<double>(1.3333f);

void put_triple(output_file& out, const double v[3]) {
    put_number(out, v[0]);
    put_text(out, " ");
    put_number(out, v[1]);
    put_text(out, " ");
    put_number(out, v[2]);
}

void put_camera(output_file& out, const double position[3], const double look_at[3], const double up[3], double fov) {
    put_text(out, "camera\n{\n\tposition <");
    put_triple(out, position);
    put_text(out, ">\n\tlook_at <");
    put_triple(out, look_at);
    put_text(out, ">\n\tup <");
    put_triple(out, up);
    put_text(out, ">\n\tfov ");
    put_number(out, fov);
    put_text(out, "\n\tratio ");
    put_number(out, aspect_ratio);
    put_text(out, "\n}\n");
}

void widen(const vec3& v, double out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

// A light whose file gave no float colour is written in its 24-bit colour.
void light_color(const light& l, double out[3]) {
    for (int c = 0; c < 3; ++c)
        out[c] = l.has_float_color ? static_cast<double>(l.color[c]) : l.color24[c] * byte_to_channel;
}

}  // namespace

view_setup setup_initial_view(const scene& s, std::int32_t camera_index) {
    view_setup v;
    if (camera_index < 0 || camera_index >= s.camera_count) {
        v.position[0] = v.position[1] = v.position[2] = 20.0;
        v.fov = 40.0;
        return v;
    }
    const camera& c = s.cameras[static_cast<std::size_t>(camera_index)];
    widen(c.position, v.position);
    widen(c.target, v.look_at);
    v.fov = lens_to_fov(c.lens);
    return v;
}

void write_scene_file(const view_setup& view, const scene& s, output_file& out, const std::string& include_path,
                      const std::string& base_name, reporter& /*report*/) {
    put_camera(out, view.position, view.look_at, view.up, view.fov);
    put_text(out, "\n[All cameras from the file are listed below]\n\n[\n");
    for (const camera& c : s.cameras) {
        double position[3], target[3];
        widen(c.position, position);
        widen(c.target, target);
        put_camera(out, position, target, view.up, lens_to_fov(c.lens));
    }
    put_text(out, "]\n");
    put_text(out, "\nsettings\n{\n\tdisplay 1024 768\n\toutput_type \"bmp\"\n\toutput_name \"");
    put_text(out, base_name);
    put_text(out, "\"\n\tjitter \"no\"\n\tantialiasing \"adaptive\"\n\taa_distance 32\n\tbackground 0.0 0.0 0.0\n}\n");
    for (const light& l : s.lights) {
        double position[3], color[3];
        widen(l.position, position);
        light_color(l, color);
        put_text(out, "light\n{\n\tposition <");
        put_triple(out, position);
        put_text(out, ">\n\tcolor ");
        put_triple(out, color);
        put_text(out, "\n\tattenuation_type \"none\"\n}\n");
    }
    put_text(out, "\ninclude \"");
    put_text(out, include_path);
    put_text(out, "\"\n");
}

}  // namespace tessvert
