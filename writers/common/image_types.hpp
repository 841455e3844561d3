// What an image file holds, told by its content rather than by its name:
// the formats a texture map may show, each by its signature, and TGA (which
// has none) by header fields that fit the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessvert {

// The most bytes of a file's beginning that image_format_of looks at.
inline constexpr std::size_t image_head_size = 32;

// The format of a file of `file_size` bytes that begins with the `n` bytes
// at `head` (the first image_head_size bytes, or all of a shorter file):
// "png", "jpeg", "gif", "bmp", "tiff", "iff" (an ILBM picture), "ppm" (P3,
// P6), "pgm" (P2, P5), "hdr", "exr" or "tga"; empty when it is none of
// them (an empty file, zeros, text, an image of another format).
std::string_view image_format_of(const unsigned char* head, std::size_t n, std::uint64_t file_size);

// The format a file's name says it holds, by its extension in any case
// ("BRICK.JPG" -> "jpeg", "map.tif" -> "tiff"), in the same words; empty
// for an extension of no format above.
std::string_view image_format_named(std::string_view file_name);

}  // namespace tessvert
