// The pieces of glTF's JSON text: strings made valid UTF-8, numbers that
// read back as the doubles they were, and relative URIs.
#pragma once

#include <string>
#include <string_view>

namespace tessvert {

// Appends `text` as a JSON string: the bytes of a 3DS name are Latin-1 (a
// byte above 0x7F is that code point, written in UTF-8), control
// characters, the double quote and the backslash are escaped.
void append_json_string(std::string& out, std::string_view text);

// Appends the shortest number text that reads back as `value` (finite).
void append_json_number(std::string& out, double value);

// A file name as a relative URI: every byte but letters, digits and
// "-._~" percent-encoded, so that any name reaches the reader whole.
std::string uri_of_file_name(std::string_view name);

// The media type glTF 2.0 gives an image of `format` (as image_format_of
// names what a file holds): "image/png" or "image/jpeg"; empty for any
// other format, which glTF does not show.
std::string_view gltf_image_type(std::string_view format);

}  // namespace tessvert
