// Corner normals under a crease angle, in time linear in the faces around
// each vertex.
//
// A corner's normal depends only on its vertex and on its face's normal
// and mask: the faces at a vertex fall into classes of equal (normal, mask),
// and each class's sum is taken once over the vertex's faces in ascending
// order, then handed to every corner of the class. So a vertex of k faces
// and d classes costs O(d x k), with d at most max_normals_at_vertex; flat
// fans (one normal) and the usual meshes have a few classes per vertex.
#include "geometry/crease_normals.hpp"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "geometry/corner_steps.hpp"
#include "geometry/vec3_ops.hpp"
#include "geometry/vertex_normals.hpp"

namespace tessvert {

namespace {

using corner_steps::each_distinct_vertex;
using corner_steps::set_corners;

// A face's direction in double, or none (NaN) when its vector has no length.
struct direction {
    double x = 0.0, y = 0.0, z = 0.0;
    bool valid = false;
};

direction direction_of(const vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0) || !std::isfinite(length)) return {};
    return {x / length, y / length, z / length, true};
}

bool same_direction(const direction& a, const direction& b) {
    return a.valid == b.valid && a.x == b.x && a.y == b.y && a.z == b.z;
}

// Rounding leaves a dot product of two unit vectors a few ulps off: an
// angle equal to the crease angle counts as within it.
constexpr double cosine_slack = 1e-9;

bool within(const direction& a, const direction& b, double cosine) {
    if (!a.valid || !b.valid) return true;
    return a.x * b.x + a.y * b.y + a.z * b.z >= cosine - cosine_slack;
}

}  // namespace

double crease_cosine(double degrees) {
    return std::cos(degrees * (std::numbers::pi / 180.0));
}

bool compute_crease_normals(mesh_object& o, double cosine, bool use_masks) {
    o.corner_normals.clear();
    o.smooth_normals.clear();
    const std::size_t vertex_count = o.vertices.size();
    const std::size_t face_count = o.faces.size();
    const bool masks = use_masks && o.smoothing.size() == face_count;

    std::vector<vec3> vectors(face_count);
    std::vector<direction> directions(face_count);
    for (std::size_t j = 0; j < face_count; ++j) {
        vectors[j] = face_vector(o.vertices, o.faces[j]);
        directions[j] = direction_of(vectors[j]);
    }
    const auto mask_of = [&](std::uint32_t j) { return masks ? o.smoothing[j] : 1u; };

    // The faces at each vertex, each once, in ascending order.
    std::vector<std::uint32_t> start(vertex_count + 1, 0);
    for (const face& f : o.faces) each_distinct_vertex(f, [&](std::uint32_t v) { ++start[v + 1]; });
    for (std::size_t v = 0; v < vertex_count; ++v) start[v + 1] += start[v];
    std::vector<std::uint32_t> at(start[vertex_count]);
    {
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::size_t j = 0; j < face_count; ++j)
            each_distinct_vertex(o.faces[j], [&](std::uint32_t v) { at[next[v]++] = static_cast<std::uint32_t>(j); });
    }

    o.corner_normals.assign(3 * face_count, use_vertex_normal);
    bool too_many = false;
    std::vector<std::uint32_t> class_face;  // a face of each class
    std::vector<std::uint32_t> class_of;    // per face at the vertex
    for (std::uint32_t v = 0; v < vertex_count; ++v) {
        const std::uint32_t* first = at.data() + start[v];
        const std::uint32_t* last = at.data() + start[v + 1];
        const std::size_t k = static_cast<std::size_t>(last - first);
        if (k == 0) continue;
        class_face.clear();
        class_of.resize(k);
        bool hostile = false;
        for (std::size_t n = 0; n < k && !hostile; ++n) {
            const std::uint32_t j = first[n];
            std::size_t c = 0;
            while (c < class_face.size() &&
                   !(mask_of(class_face[c]) == mask_of(j) && same_direction(directions[class_face[c]], directions[j])))
                ++c;
            if (c == class_face.size()) {
                if (class_face.size() == max_normals_at_vertex) hostile = true;
                class_face.push_back(j);
            }
            class_of[n] = static_cast<std::uint32_t>(c);
        }
        if (hostile) {  // every corner keeps the vertex normal
            too_many = true;
            continue;
        }
        for (std::size_t c = 0; c < class_face.size(); ++c) {
            const std::uint32_t f = class_face[c];
            const std::uint32_t m = mask_of(f);
            if (m == 0) {
                // The face alone; every face of mask 0 has its own normal.
                for (std::size_t n = 0; n < k; ++n)
                    if (class_of[n] == c) {
                        o.smooth_normals.push_back(normal_of_sum(vec3_add(vec3{}, vectors[first[n]]), 1));
                        set_corners(o.faces.data(), o.corner_normals, first[n], v,
                                    static_cast<std::uint32_t>(o.smooth_normals.size() - 1));
                    }
                continue;
            }
            const auto joins = [&](std::uint32_t g) {
                return (mask_of(g) & m) != 0 && within(directions[g], directions[f], cosine);
            };
            std::uint32_t count = 0;
            vec3 sum{0.0f, 0.0f, 0.0f};
            for (const std::uint32_t* g = first; g != last; ++g)
                if (joins(*g)) {
                    sum = vec3_add(sum, vectors[*g]);
                    ++count;
                }
            // Every face joins: the steps of the vertex normal itself.
            if (count == k) continue;
            o.smooth_normals.push_back(normal_of_sum(sum, count));
            const auto id = static_cast<std::uint32_t>(o.smooth_normals.size() - 1);
            for (std::size_t n = 0; n < k; ++n)
                if (class_of[n] == c) set_corners(o.faces.data(), o.corner_normals, first[n], v, id);
        }
    }
    return too_many;
}

void report_too_many_normals(const mesh_object& first, reporter& report) {
    report_warning(report, "object \"" + printable(first.name) + "\": faces of more than " +
                               std::to_string(max_normals_at_vertex) +
                               " different directions meet at a vertex; every corner at such a vertex"
                               " (in any object) takes the plain vertex normal, as without --crease");
}

bool groups_say_nothing(const mesh_object& o) {
    if (o.faces.empty()) return false;
    if (o.smoothing.size() != o.faces.size()) return true;
    for (const std::uint32_t m : o.smoothing)
        if (m != o.smoothing.front()) return false;
    return true;
}

}  // namespace tessvert
