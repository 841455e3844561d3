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

// The diffuse colour with `filter` (the transparency) as its filter.
std::string diffuse_color(const material_look& m, double filter) {
    std::string text = "srgbf <";
    for (const double c : m.diffuse) {
        append_number(text, c);
        text += ", ";
    }
    append_number(text, filter);
    return text + ">";
}

// What a point of the surface shows where the maps that vary a value over
// it have given their values.
struct point_values {
    double filter = 0;     // the light let through
    double highlight = 0;  // the highlight's brightness
    double emission = 0;   // the self-illumination
};

void append_finish(std::string& out, const material_look& m, const point_values& v) {
    out += "finish { ambient srgb ";
    append_color(out, m.ambient);
    out += " diffuse 1";
    if (v.highlight > 0) {
        out += " specular ";
        append_number(out, v.highlight);
        out += " roughness ";
        append_number(out, std::max(1.0 / (1.0 + 99.0 * m.shininess), least_roughness));
    }
    if (m.reflection > 0) {
        // A metal's reflection: tinted by its specular colour.
        out += " reflection { rgb ";
        append_color(out, {m.reflection * m.specular[0], m.reflection * m.specular[1], m.reflection * m.specular[2]});
        out += " }";
    }
    if (v.emission > 0) {
        out += " emission ";
        append_number(out, v.emission);
    }
    out += " }";
}

// The inside of a texture with the pigment, the bumps and the finish of
// one point; `mapped`: the look's images are laid on the faces.
void append_point(std::string& out, const material_look& m, const point_values& v, bool mapped) {
    out += "pigment { ";
    if (mapped && !m.map.image.empty())
        append_pov_map_pigment(out, m.map.placement, pov_string(m.map.image), m.map.type, diffuse_color(m, v.filter),
                               v.filter);
    else
        out += diffuse_color(m, v.filter);
    out += " } ";
    if (mapped && !m.bump.image.empty()) {
        out += "normal { ";
        append_pov_bump_map(out, m.bump.placement, pov_string(m.bump.image), m.bump.type);
        out += " } ";
    }
    append_finish(out, m, v);
}

// The maps that vary a value over the surface, in the order they are
// nested, with the value each sets at black and at white, and the grey
// that stands for the look's own value (around a decal, and beside the
// image below 100%).
struct varying_map {
    const drawn_map* map;
    double point_values::*value;
    double black, white, own;
};

// The inside of a texture from the `level`th varying map on: where that map
// has an image, a texture_map over the image's brightness between the
// texture of its black and that of its white, each made of the maps after
// it; past the last, one point's texture.
void append_varying(std::string& out, const material_look& m, const std::vector<varying_map>& maps, std::size_t level,
                    point_values v) {
    if (level == maps.size()) {
        append_point(out, m, v, true);
        return;
    }
    const varying_map& vary = maps[level];
    if (vary.map->image.empty()) {
        append_varying(out, m, maps, level + 1, v);
        return;
    }
    std::string own = "rgb ";
    append_color(own, {vary.own, vary.own, vary.own});
    out += "pigment_pattern { ";
    append_pov_map_pigment(out, vary.map->placement, pov_string(vary.map->image), vary.map->type, own, 0, true);
    out += " } texture_map { [0 ";
    v.*vary.value = vary.black;
    append_varying(out, m, maps, level + 1, v);
    out += "] [1 ";
    v.*vary.value = vary.white;
    append_varying(out, m, maps, level + 1, v);
    out += "] }";
}

}  // namespace

std::string pov_string(const std::string& text) {
    std::string q = "\"";
    for (const char c : text) {
        if (c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

void append_pov_texture(std::string& out, const material_look& m) {
    out += "texture { ";
    append_point(out, m, {m.transparency, m.highlight, m.self_illumination}, false);
    out += " }";
}

void append_pov_mapped_texture(std::string& out, const material_look& m) {
    // Opacity: black is clear, white the material's own transparency;
    // the specular map: black no highlight, white the material's; the
    // self-illumination map: black none, white full.
    const std::vector<varying_map> maps = {
        {&m.opacity, &point_values::filter, 1.0, m.transparency, 1.0},
        {&m.specular_map, &point_values::highlight, 0.0, m.highlight, 1.0},
        {&m.self_illumination_map, &point_values::emission, 0.0, 1.0, m.self_illumination},
    };
    out += "texture { ";
    append_varying(out, m, maps, 0, {m.transparency, m.highlight, m.self_illumination});
    out += " }";
}

}  // namespace tessvert
