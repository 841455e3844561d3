// Compiled by ctest with one library's include root only: a layer may
// include the layers beneath it, never one above, and an output language
// never another's.
#include "model/scene.hpp"
#ifdef TESSVERT_PROBE_UPWARD
#include "writers/vrx/mesh_include.hpp"
#endif

int tessvert_layering_probe() {
    return static_cast<int>(tessvert::scene{}.object_count());
}
