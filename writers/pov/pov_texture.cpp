#include "writers/pov/pov_texture.hpp"

#include <algorithm>

#include "writers/common/text_block.hpp"
#include "writers/pov/pov_uv_map.hpp"

namespace tessvert {

namespace {

void append_color(std::string& out, const std::array<double, 3>& c) {
    append_vector(out, c[0], c[1], c[2]);
}

// The tightest highlight POV-Ray takes.
constexpr double least_roughness = 0.0005;

// The diffuse colour with the transparency as its filter.
std::string diffuse_color(const material_look& m) {
    std::string text = "srgbf <";
    for (const double c : m.diffuse) {
        append_number(text, c);
        text += ", ";
    }
    append_number(text, m.transparency);
    return text + ">";
}

void append_finish(std::string& out, const material_look& m) {
    out += "finish { ambient srgb ";
    append_color(out, m.ambient);
    out += " diffuse 1";
    if (m.highlight > 0) {
        out += " specular ";
        append_number(out, m.highlight);
        out += " roughness ";
        append_number(out, std::max(1.0 / (1.0 + 99.0 * m.shininess), least_roughness));
    }
    if (m.self_illumination > 0) {
        out += " emission ";
        append_number(out, m.self_illumination);
    }
    out += " } }";
}

}  // namespace

void append_pov_texture(std::string& out, const material_look& m) {
    out += "texture { pigment { " + diffuse_color(m) + " } ";
    append_finish(out, m);
}

void append_pov_mapped_texture(std::string& out, const material_look& m, std::string_view image_file) {
    out += "texture { pigment { ";
    append_pov_map_pigment(out, m.map.placement, image_file, m.map.type, diffuse_color(m), m.transparency);
    out += " } ";
    append_finish(out, m);
}

}  // namespace tessvert
