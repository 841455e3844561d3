// The default output language: the scene description file (NAME.vrx) and
// the mesh include file (NAME.inc).
#pragma once

#include "writers/output_language.hpp"

namespace tessvert {

extern const output_language vrx_language;

}  // namespace tessvert
