// The material of each face, from the material groups the reader kept.
#pragma once

#include "model/report.hpp"
#include "model/scene.hpp"

namespace tessvert {

// Fills face_materials of every object that has material groups, from the
// groups as the file gives them; to be run once the whole file has been
// read and before any face is removed, since the groups number the faces
// of the face list as read. A group's name is looked up among all
// materials of the file, the first of that name winning; a group that
// matches none is ignored. A face takes the material of the last matching
// group that lists it, no_material when none does. Face numbers at or
// beyond the face count are ignored, with one warning per object.
void assign_face_materials(scene& s, reporter& report);

}  // namespace tessvert
