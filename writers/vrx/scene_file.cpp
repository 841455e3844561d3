#include "writers/vrx/scene_file.hpp"

#include <cmath>
#include <string>

#include "writers/common/text_output.hpp"

namespace tessvert {

namespace {

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
    put_number(out, view_aspect_ratio);
    put_text(out, "\n}\n");
}

void put_light(output_file& out, const double position[3], const double color[3]) {
    put_text(out, "light\n{\n\tposition <");
    put_triple(out, position);
    put_text(out, ">\n\tcolor ");
    put_triple(out, color);
    put_text(out, "\n\tattenuation_type \"none\"\n}\n");
}

}  // namespace

void write_scene_file(const drawn_scene& d, output_file& out, const std::string& include_path,
                      const std::string& base_name) {
    const view_setup& view = d.view;
    put_camera(out, view.position, view.look_at, view.up, view.fov);
    put_text(out, "\n[All cameras from the file are listed below]\n\n[\n");
    for (const written_camera& w : d.cameras) put_camera(out, w.position, w.look_at, d.up.data(), w.fov);
    put_text(out, "]\n");
    put_text(out, "\nsettings\n{\n\tdisplay 1024 768\n\toutput_type \"bmp\"\n\toutput_name \"");
    put_text(out, base_name);
    put_text(out, "\"\n\tjitter \"no\"\n\tantialiasing \"adaptive\"\n\taa_distance 32\n\tbackground 0.0 0.0 0.0\n}\n");
    for (const drawn_light& l : d.lights) put_light(out, l.position, l.color);
    if (d.headlight) {
        const double white[3] = {1, 1, 1};
        put_light(out, view.position, white);
    }
    put_text(out, "\ninclude \"");
    put_text(out, include_path);
    put_text(out, "\"\n");
}

}  // namespace tessvert
