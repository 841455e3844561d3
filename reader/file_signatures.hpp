// What a file that is not a 3DS scene plainly is, told by its first bytes.
#pragma once

#include <cstddef>
#include <string>

namespace tessvert {

// What the first bytes of a file plainly say it is ("a ZIP archive",
// "text"), or empty when they say nothing plain. `n` may be anything from
// 0 up; the more bytes, the surer the answer.
std::string plain_format_name(const unsigned char* bytes, std::size_t n);

}  // namespace tessvert
