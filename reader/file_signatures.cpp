#include "reader/file_signatures.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tessvert {

namespace {

struct signature {
    std::string_view bytes;
    const char* name;
};

// Formats that are often mistaken for a scene, or given by a slip of the
// shell's completion; each is told by its leading bytes.
constexpr signature signatures[] = {
    {"PK\x03\x04", "a ZIP archive"},
    {"PK\x05\x06", "an empty ZIP archive"},
    {"\x89PNG", "a PNG image"},
    {"\xFF\xD8\xFF", "a JPEG image"},
    {"GIF8", "a GIF image"},
    {"%PDF", "a PDF document"},
    {"\x1F\x8B", "a gzip file"},
    {"BZh", "a bzip2 file"},
    {"\xFD"
     "7zXZ",
     "an xz file"},
    {"7z\xBC\xAF", "a 7-Zip archive"},
    {"Rar!", "a RAR archive"},
    {"\x7F"
     "ELF",
     "an ELF executable"},
    {"glTF", "a binary glTF file"},
    {"\xEF\xBB\xBF", "text (UTF-8)"},
};

bool is_text_byte(unsigned char c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F);
}

}  // namespace

std::string plain_format_name(const unsigned char* bytes, std::size_t n) {
    for (const signature& s : signatures)
        if (n >= s.bytes.size() && std::memcmp(bytes, s.bytes.data(), s.bytes.size()) == 0) return s.name;
    // A few bytes that all happen to be printable say little.
    if (n >= 4 && std::all_of(bytes, bytes + n, is_text_byte)) return "text";
    return {};
}

}  // namespace tessvert
