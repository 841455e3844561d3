#include "writers/gltf/gltf_json.hpp"

#include <array>
#include <charconv>
#include <cstring>
#include <fstream>

namespace tessvert {

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void append_json_number(std::string& out, double value) {
    if (value == 0) value = 0;  // no "-0"
    char digits[32];
    out.append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

std::string uri_of_file_name(std::string_view name) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += hex[byte >> 4];
            uri += hex[byte & 0xF];
        }
    }
    return uri;
}

std::string_view gltf_image_type(std::string_view format) {
    if (format == "png") return "image/png";
    if (format == "jpeg") return "image/jpeg";
    return {};
}

}  // namespace tessvert
