#include "writers/common/image_types.hpp"

#include <cstring>

#include "writers/common/map_images.hpp"

namespace tessvert {

namespace {

bool begins_with(const unsigned char* head, std::size_t n, std::string_view signature) {
    return n >= signature.size() && std::memcmp(head, signature.data(), signature.size()) == 0;
}

std::uint32_t u16_le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32_le(const unsigned char* p) {
    return u16_le(p) | (u16_le(p + 2) << 16);
}

bool is_space(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A BMP file: "BM", then one of the known sizes of the header that
// describes the picture, which the file holds whole.
bool is_bmp(const unsigned char* head, std::size_t n, std::uint64_t file_size) {
    if (!begins_with(head, n, "BM") || n < 18) return false;
    const std::uint32_t info = u32_le(head + 14);
    for (const std::uint32_t known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
        if (info == known) return file_size >= 14 + std::uint64_t{info};
    return false;
}

// A TGA file has no signature: its 18-byte header must describe a picture
// of a kind that exists, and the file must be long enough for it.
bool is_tga(const unsigned char* head, std::size_t n, std::uint64_t file_size) {
    if (n < 18) return false;
    const unsigned id_length = head[0], map_type = head[1], kind = head[2];
    const std::uint32_t map_length = u16_le(head + 5), map_entry_bits = head[7];
    const std::uint32_t width = u16_le(head + 12), height = u16_le(head + 14), depth = head[16];
    if (map_type > 1 || width == 0 || height == 0) return false;
    const unsigned base = kind & ~8u;  // 9, 10, 11 are 1, 2, 3 run-length encoded
    if (kind > 11 || base < 1 || base > 3) return false;
    if (base == 1 && (map_type != 1 || depth != 8)) return false;
    if (base == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
    if (base == 3 && depth != 8 && depth != 16) return false;
    std::uint64_t needed = 18 + std::uint64_t{id_length};
    if (map_type == 1) {
        if (map_entry_bits != 15 && map_entry_bits != 16 && map_entry_bits != 24 && map_entry_bits != 32) return false;
        needed += std::uint64_t{map_length} * ((map_entry_bits + 7) / 8);
    }
    const std::uint64_t pixels = std::uint64_t{width} * height, pixel_bytes = (depth + 7) / 8;
    // Run-length packets cover at most 128 pixels and take at least one
    // byte and one pixel each.
    needed += (kind & 8u) != 0 ? (pixels + 127) / 128 * (1 + pixel_bytes) : pixels * pixel_bytes;
    return file_size >= needed;
}

}  // namespace

std::string_view image_format_of(const unsigned char* head, std::size_t n, std::uint64_t file_size) {
    if (begins_with(head, n, "\x89PNG\r\n\x1A\n")) return "png";
    if (begins_with(head, n, "\xFF\xD8\xFF")) return "jpeg";
    if (begins_with(head, n, "GIF87a") || begins_with(head, n, "GIF89a")) return "gif";
    if (begins_with(head, n, "II*") && n >= 4 && head[3] == 0) return "tiff";
    if (begins_with(head, n, std::string_view("MM\0*", 4))) return "tiff";
    if (begins_with(head, n, "FORM") && n >= 12 && std::memcmp(head + 8, "ILBM", 4) == 0) return "iff";
    if (n >= 3 && head[0] == 'P' && is_space(head[2])) {
        if (head[1] == '3' || head[1] == '6') return "ppm";
        if (head[1] == '2' || head[1] == '5') return "pgm";
    }
    if (begins_with(head, n, "#?RADIANCE") || begins_with(head, n, "#?RGBE")) return "hdr";
    if (begins_with(head, n, "\x76\x2F\x31\x01")) return "exr";
    if (is_bmp(head, n, file_size)) return "bmp";
    if (is_tga(head, n, file_size)) return "tga";
    return {};
}

std::string_view image_format_named(std::string_view file_name) {
    const std::size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos) return {};
    const std::string_view ext = file_name.substr(dot + 1);
    static constexpr std::string_view formats[][2] = {
        {"gif", "gif"}, {"tga", "tga"},  {"iff", "iff"},   {"ppm", "ppm"},  {"pgm", "pgm"},
        {"png", "png"}, {"jpg", "jpeg"}, {"jpeg", "jpeg"}, {"tif", "tiff"}, {"tiff", "tiff"},
        {"bmp", "bmp"}, {"hdr", "hdr"},  {"exr", "exr"},
    };
    for (const auto& f : formats)
        if (equal_ignoring_case(ext, f[0])) return f[1];
    return {};
}

}  // namespace tessvert
