// glTF 2.0: NAME.gltf, the scene as JSON, and NAME.bin, its buffers, for
// Blender and the other renderers that read glTF.
#pragma once

#include "writers/output_language.hpp"

namespace tessvert {

extern const output_language gltf_language;

}  // namespace tessvert
