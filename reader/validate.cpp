#include <algorithm>
#include <string>

#include "reader/loader.hpp"

namespace tessvert {

// A face naming a vertex the object does not have cannot be written or
// given normals; it is dropped here, once the whole tree has been read.
void remove_invalid_faces(scene& s, reporter& report) {
    for (mesh_object& o : s.objects) {
        const auto n = static_cast<std::uint32_t>(o.vertex_count);
        auto removed = std::erase_if(o.faces, [n](const face& f) { return f.a >= n || f.b >= n || f.c >= n; });
        if (removed == 0) continue;
        o.face_count = static_cast<std::int32_t>(o.faces.size());
        report_warning(report, "object \"" + o.name + "\": " + std::to_string(removed) +
                                   " faces name a vertex it does not have; they were removed");
    }
}

}  // namespace tessvert
