#include "writers/languages.hpp"

#include <array>

#include "writers/gltf/gltf_language.hpp"
#include "writers/pov/pov_language.hpp"
#include "writers/vrx/vrx_language.hpp"

namespace tessvert {

namespace {

constexpr std::array<const output_language*, 3> languages{&vrx_language, &pov_language, &gltf_language};

}  // namespace

std::span<const output_language* const> output_languages() {
    return languages;
}

const output_language* find_language(std::string_view name) {
    for (const output_language* l : languages)
        if (l->name == name) return l;
    return nullptr;
}

const output_language& default_language() {
    return *languages.front();
}

}  // namespace tessvert
