#include <cstdint>
#include <string>
#include <vector>

#include "reader/loader.hpp"

namespace tessvert {

// A face naming a vertex the object does not have cannot be written or
// given normals; it is dropped here, once the whole tree has been read.
void remove_invalid_faces(scene& s, reporter& report) {
    for (mesh_object& o : s.objects) {
        const auto n = static_cast<std::uint32_t>(o.vertex_count);
        std::vector<std::uint8_t> keep(o.faces.size());
        for (std::size_t i = 0; i < o.faces.size(); ++i) {
            const face& f = o.faces[i];
            keep[i] = f.a < n && f.b < n && f.c < n;
        }
        const std::size_t removed = keep_faces(o, keep);
        if (removed == 0) continue;
        report_warning(report, "object \"" + o.name + "\": " + std::to_string(removed) +
                                   " faces name a vertex it does not have; they were removed");
    }
}

}  // namespace tessvert
