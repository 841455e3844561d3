// A material's texture map in a POV-Ray texture: the image laid on the
// faces by their mapping coordinates (uv_mapping), placed in texture space
// the way 3D Studio places it, and blended with the diffuse colour by the
// map's amount.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/scene.hpp"

namespace tessvert {

// The image type keyword of POV-Ray 3.7 for an image of `format` (as
// image_format_of names what a file holds); empty when POV-Ray cannot
// read that format.
std::string_view pov_image_type(std::string_view format);

// Where a surface point with mapping coordinates (u, v) reads the image, as
// an affine map of texture space: image = matrix * (u, v) + offset, the
// image spanning 0..1 both ways from its bottom-left corner. 3D Studio
// moves the mapping coordinates by (-u offset, +v offset), turns them by
// -rotation about the image's centre, then scales them by the u and v
// scale about the centre (a scale of 0 counts as 1).
struct uv_placement {
    std::array<double, 4> matrix{1, 0, 0, 1};  // row by row: [a b; c d]
    std::array<double, 2> offset{0, 0};
    bool identity() const { return matrix == std::array<double, 4>{1, 0, 0, 1} && offset[0] == 0 && offset[1] == 0; }
};
uv_placement placement_of(const texture_map& t);

// Whether the image is shown once rather than repeated across texture
// space (repeated, every other copy is mirrored when the tiling flags ask
// for it).
inline bool shown_once(const texture_map& t) {
    return (t.tiling & (texture_no_tile | texture_decal)) != 0;
}

// Appends the inside of a pigment (what goes between "pigment {" and "}")
// that shows the image `image_file` (a quoted POV-Ray string that names a
// file of the scene's folder) of
// POV-Ray type `type` as `t` places it, over the pigment colour `diffuse`
// (for example "srgb <1, 0, 0>"): where the image is shown once, the
// diffuse colour lies around it; an amount below 100% blends the image
// with the diffuse colour in that proportion. A `filter` above 0 lets light
// through the image as through the diffuse colour (the transparency).
// `linear`: the image's numbers are taken as they stand, not as sRGB
// colours (an image that gives values, such as an opacity map).
void append_pov_map_pigment(std::string& out, const texture_map& t, std::string_view image_file, std::string_view type,
                            std::string_view diffuse, double filter = 0, bool linear = false);

// Appends the inside of a normal (what goes between "normal {" and "}")
// that raises the surface where the image `image_file` of type `type` is
// bright, laid as `t` places it, its depth the map's amount (100%: a
// bump_size of 1; a negative amount sinks it).
void append_pov_bump_map(std::string& out, const texture_map& t, std::string_view image_file, std::string_view type);

}  // namespace tessvert
