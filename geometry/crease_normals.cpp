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

// Per face: its vector (the normal times twice its area), its direction
// and its smoothing mask (1 for every face when masks are not used).
struct face_shapes {
    std::vector<vec3> vectors;
    std::vector<direction> directions;
    std::vector<std::uint32_t> masks;
};

face_shapes shapes_of(const mesh_object& o, bool use_masks) {
    const std::size_t face_count = o.faces.size();
    const bool masks = use_masks && o.smoothing.size() == face_count;
    face_shapes s;
    s.vectors.resize(face_count);
    s.directions.resize(face_count);
    s.masks.resize(face_count, 1u);
    for (std::size_t j = 0; j < face_count; ++j) {
        s.vectors[j] = face_vector(o.vertices, o.faces[j]);
        s.directions[j] = direction_of(s.vectors[j]);
        if (masks) s.masks[j] = o.smoothing[j];
    }
    return s;
}

// The faces at each vertex, each once, in ascending order: those of vertex
// v are at[start[v]] to at[start[v + 1]].
struct vertex_faces {
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> at;
};

vertex_faces faces_at_vertices(const mesh_object& o) {
    const std::size_t vertex_count = o.vertices.size();
    vertex_faces f;
    f.start.assign(vertex_count + 1, 0);
    for (const face& face : o.faces) each_distinct_vertex(face, [&](std::uint32_t v) { ++f.start[v + 1]; });
    for (std::size_t v = 0; v < vertex_count; ++v) f.start[v + 1] += f.start[v];
    f.at.resize(f.start[vertex_count]);
    std::vector<std::uint32_t> next(f.start.begin(), f.start.end() - 1);
    for (std::size_t j = 0; j < o.faces.size(); ++j)
        each_distinct_vertex(o.faces[j], [&](std::uint32_t v) { f.at[next[v]++] = static_cast<std::uint32_t>(j); });
    return f;
}

// The faces at one vertex in classes of equal direction and mask: a face of
// each class, and per face at the vertex (in order) its class.
struct face_classes {
    std::vector<std::uint32_t> face;
    std::vector<std::uint32_t> of;
};

// Sorts the faces [first, last) into classes; false when they would make
// more than max_normals_at_vertex classes (a hostile vertex).
bool classify(const face_shapes& shapes, const std::uint32_t* first, const std::uint32_t* last, face_classes& classes) {
    const auto k = static_cast<std::size_t>(last - first);
    classes.face.clear();
    classes.of.resize(k);
    for (std::size_t n = 0; n < k; ++n) {
        const std::uint32_t j = first[n];
        std::size_t c = 0;
        while (c < classes.face.size() && !(shapes.masks[classes.face[c]] == shapes.masks[j] &&
                                            same_direction(shapes.directions[classes.face[c]], shapes.directions[j])))
            ++c;
        if (c == classes.face.size()) {
            if (classes.face.size() == max_normals_at_vertex) return false;
            classes.face.push_back(j);
        }
        classes.of[n] = static_cast<std::uint32_t>(c);
    }
    return true;
}

// Gives the corners at vertex `v` of the faces of class `c` their normal:
// the sum over the vertex's faces that share a mask bit with the class and
// lie within the crease angle of it (none when that is every face: the
// vertex normal's own steps), or, for mask 0, each face its own.
void set_class_normal(mesh_object& o, const face_shapes& shapes, double cosine, std::uint32_t v,
                      const std::uint32_t* first, const std::uint32_t* last, const face_classes& classes,
                      std::uint32_t c) {
    const auto k = static_cast<std::size_t>(last - first);
    const std::uint32_t f = classes.face[c];
    const std::uint32_t m = shapes.masks[f];
    if (m == 0) {
        for (std::size_t n = 0; n < k; ++n)
            if (classes.of[n] == c) {
                o.smooth_normals.push_back(normal_of_sum(vec3_add(vec3{}, shapes.vectors[first[n]]), 1));
                set_corners(o.faces.data(), o.corner_normals, first[n], v,
                            static_cast<std::uint32_t>(o.smooth_normals.size() - 1));
            }
        return;
    }
    std::uint32_t count = 0;
    vec3 sum{0.0f, 0.0f, 0.0f};
    for (const std::uint32_t* g = first; g != last; ++g)
        if ((shapes.masks[*g] & m) != 0 && within(shapes.directions[*g], shapes.directions[f], cosine)) {
            sum = vec3_add(sum, shapes.vectors[*g]);
            ++count;
        }
    if (count == k) return;
    o.smooth_normals.push_back(normal_of_sum(sum, count));
    const auto id = static_cast<std::uint32_t>(o.smooth_normals.size() - 1);
    for (std::size_t n = 0; n < k; ++n)
        if (classes.of[n] == c) set_corners(o.faces.data(), o.corner_normals, first[n], v, id);
}

}  // namespace

double crease_cosine(double degrees) {
    return std::cos(degrees * (std::numbers::pi / 180.0));
}

bool compute_crease_normals(mesh_object& o, double cosine, bool use_masks) {
    o.corner_normals.clear();
    o.smooth_normals.clear();
    const face_shapes shapes = shapes_of(o, use_masks);
    const vertex_faces faces = faces_at_vertices(o);
    o.corner_normals.assign(3 * o.faces.size(), use_vertex_normal);
    bool too_many = false;
    face_classes classes;
    for (std::uint32_t v = 0; v < o.vertices.size(); ++v) {
        const std::uint32_t* first = faces.at.data() + faces.start[v];
        const std::uint32_t* last = faces.at.data() + faces.start[v + 1];
        if (first == last) continue;
        if (!classify(shapes, first, last, classes)) {
            too_many = true;  // every corner keeps the vertex normal
            continue;
        }
        for (std::uint32_t c = 0; c < classes.face.size(); ++c)
            set_class_normal(o, shapes, cosine, v, first, last, classes, c);
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
