// The POV-Ray 3.7 language: the scene (NAME.pov) and its meshes.
#pragma once

#include "writers/output_language.hpp"

namespace tessvert {

extern const output_language pov_language;

}  // namespace tessvert
