// The materials of the objects, from the material groups the reader kept.
#pragma once

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Resolves the material groups of every object against the materials of
// the file, a name standing for the first material of that name; a group
// that names none is ignored. To be run once the whole file has been read
// and before any face is removed, since the groups number the faces of
// the face list as read.
// - material_index and has_texture: the object's colour is the material
//   of its last group that names a material read before the group, and it
//   has a texture when such a group names a material with a map.
// - With `per_face`, face_materials of every object with groups: a face
//   takes the material of the last group that lists it, no_material when
//   none does. Face numbers at or beyond the face count are ignored, with
//   one warning per object.
void resolve_materials(scene& s, bool per_face, reporter& report);

// Whether the groups of some object name two different materials of the
// file for its faces: the default output colours each object in one.
bool groups_name_several_materials(const scene& s);

}  // namespace tessvert
