#include "writers/pov/pov_texture.hpp"

#include <algorithm>

#include "writers/pov/pov_text.hpp"
#include "writers/pov/pov_uv_map.hpp"
#include "writers/text_output.hpp"

namespace tessvert {

namespace {

void append_color(std::string& out, const std::array<std::uint8_t, 3>& c) {
    append_vector(out, c[0] * byte_to_channel, c[1] * byte_to_channel, c[2] * byte_to_channel);
}

// The tightest highlight POV-Ray takes.
constexpr double least_roughness = 0.0005;

// The diffuse colour with the transparency as its filter.
std::string diffuse_color(const material& m) {
    std::string text = "srgbf <";
    for (int c = 0; c < 3; ++c) {
        append_number(text, m.diffuse[c] * byte_to_channel);
        text += ", ";
    }
    append_number(text, m.transparency);
    return text + ">";
}

void append_finish(std::string& out, const material& m) {
    out += "finish { ambient srgb ";
    append_color(out, m.ambient);
    out += " diffuse 1";
    double brightness = m.shininess_strength;
    if (m.has_specular) brightness *= (m.specular[0] + m.specular[1] + m.specular[2]) * byte_to_channel / 3;
    if (brightness > 0) {
        out += " specular ";
        append_number(out, brightness);
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

void append_pov_texture(std::string& out, const material& m) {
    out += "texture { pigment { " + diffuse_color(m) + " } ";
    append_finish(out, m);
}

void append_pov_mapped_texture(std::string& out, const material& m, std::string_view image_file,
                               std::string_view type) {
    out += "texture { pigment { ";
    append_pov_map_pigment(out, m.texture, image_file, type, diffuse_color(m), m.transparency);
    out += " } ";
    append_finish(out, m);
}

material no_material_look() {
    material m;
    m.diffuse = {no_material_grey_byte, no_material_grey_byte, no_material_grey_byte};
    return m;
}

}  // namespace tessvert
