#include "writers/pov/pov_uv_map.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "writers/common/map_images.hpp"
#include "writers/common/text_block.hpp"

namespace tessvert {

namespace {

// A scale of 0 counts as 1; others are kept within 1/1000 and 1000 times,
// so that the placement can always be turned back.
double usable_scale(float scale) {
    if (scale == 0) return 1.0;
    return std::copysign(std::clamp(std::fabs(static_cast<double>(scale)), 1e-3, 1e3), scale);
}

}  // namespace

std::string_view pov_image_type(std::string_view format) {
    // POV-Ray names each format it reads as image_format_of does.
    for (const std::string_view known : {"gif", "tga", "iff", "ppm", "pgm", "png", "jpeg", "tiff", "bmp", "hdr", "exr"})
        if (format == known) return known;
    return {};
}

uv_placement placement_of(const texture_map& t) {
    uv_placement p;
    const double su = usable_scale(t.u_scale), sv = usable_scale(t.v_scale);
    // Exact for whole quarter turns, so that an unturned map stays exact.
    const double turns = std::fmod(static_cast<double>(t.rotation), 360.0);
    double c = std::cos(-turns * std::numbers::pi / 180.0), s = std::sin(-turns * std::numbers::pi / 180.0);
    if (std::fmod(turns, 90.0) == 0) {
        c = std::round(c);
        s = std::round(s);
    }
    // image = 0.5 + S R (uv + shift - 0.5), shift = (-u offset, v offset)
    p.matrix = {su * c, -su * s, sv * s, sv * c};
    const double du = -static_cast<double>(t.u_offset) - 0.5, dv = static_cast<double>(t.v_offset) - 0.5;
    p.offset = {0.5 + p.matrix[0] * du + p.matrix[1] * dv, 0.5 + p.matrix[2] * du + p.matrix[3] * dv};
    return p;
}

namespace {

// "TYPE FILE" and how the image is read: smoothly, its numbers as they
// stand when they are values rather than colours (`linear`).
std::string image_spec(std::string_view image_file, std::string_view type, bool linear) {
    std::string text(type);
    text += ' ';
    text.append(image_file);
    if (linear) text += " gamma 1.0";
    return text + " interpolate 2";
}

// Mirrored tiling: every other copy of the image turned over, along u and
// along v; then the map's placement, the pattern moved by the inverse of
// where each point reads it.
void append_tiling_and_placement(std::string& out, const texture_map& t) {
    if (!shown_once(t) && (t.tiling & texture_mirror) != 0) out += " warp { repeat x flip x } warp { repeat y flip y }";
    const uv_placement p = placement_of(t);
    if (p.identity()) return;
    out += " transform { matrix <";
    const double m[12] = {p.matrix[0], p.matrix[2], 0, p.matrix[1], p.matrix[3], 0,
                          0,           0,           1, p.offset[0], p.offset[1], 0};
    for (int i = 0; i < 12; ++i) {
        if (i > 0) out += ", ";
        append_number(out, m[i]);
    }
    out += "> inverse }";
}

}  // namespace

void append_pov_map_pigment(std::string& out, const texture_map& t, std::string_view image_file, std::string_view type,
                            std::string_view diffuse, double filter, bool linear) {
    const double amount = std::clamp(static_cast<double>(t.amount), 0.0, 100.0) / 100.0;
    const bool blend = amount < 1.0;
    if (blend) {
        out += "average pigment_map { [";
        append_number(out, amount);
        out += ' ';
    }
    out += "uv_mapping ";
    std::string image = "image_map { " + image_spec(image_file, type, linear);
    if (filter > 0) {
        image += " filter all ";
        append_number(image, filter);
    }
    image += shown_once(t) ? " once }" : " }";
    if (shown_once(t)) {
        // Around an image shown once the pattern is clear: the diffuse
        // colour is shown there instead, by a pattern that is the image's
        // square.
        out += "object { box { <0, 0, -1>, <1, 1, 1> } pigment { ";
        out.append(diffuse);
        out += " }, pigment { " + image + " } }";
    } else {
        out += image;
    }
    append_tiling_and_placement(out, t);
    if (blend) {
        out += "] [";
        append_number(out, 1.0 - amount);
        out += ' ';
        out.append(diffuse);
        out += "] }";
    }
}

void append_pov_bump_map(std::string& out, const texture_map& t, std::string_view image_file, std::string_view type) {
    out += "uv_mapping bump_map { " + image_spec(image_file, type, true);
    if (shown_once(t)) out += " once";
    out += " bump_size ";
    append_number(out, static_cast<double>(t.amount) / 100.0);
    out += " }";
    append_tiling_and_placement(out, t);
}

}  // namespace tessvert
