// The output languages, one row each: what --format takes, the usage text
// says, and the run needs to know to write a scene in each. A new language
// is a folder under writers/ and one row here.
#pragma once

#include <span>
#include <string_view>

#include "writers/output_language.hpp"

namespace tessvert {

// Every language, the default first, in the order the usage text lists them.
std::span<const output_language* const> output_languages();

// The language --format calls `name`, or null.
const output_language* find_language(std::string_view name);

// The language written without --format.
const output_language& default_language();

}  // namespace tessvert
