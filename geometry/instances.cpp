// Placements of the keyframer's instances, in double precision.
//
// A placement is kept as the images of the three axes and the translation
// (the layout of the file's mesh matrix); composing two is a 3x3 product
// plus a translation.
#include "geometry/instances.hpp"

#include <cmath>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "geometry/vec3_ops.hpp"

namespace tessvert {

namespace {

constexpr placement identity{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

// Element (row, column) of the linear part: column c is the image of axis c.
double& at(placement& m, int row, int column) {
    return m[static_cast<std::size_t>(3 * column + row)];
}
double at(const placement& m, int row, int column) {
    return m[static_cast<std::size_t>(3 * column + row)];
}

// a after b: first b, then a.
placement compose(const placement& a, const placement& b) {
    placement r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 3; ++row) {
            double v = c == 3 ? a[static_cast<std::size_t>(9 + row)] : 0.0;
            for (int k = 0; k < 3; ++k) v += at(a, row, k) * b[static_cast<std::size_t>(3 * c + k)];
            r[static_cast<std::size_t>(3 * c + row)] = v;
        }
    return r;
}

placement translation(double x, double y, double z) {
    placement m = identity;
    m[9] = x, m[10] = y, m[11] = z;
    return m;
}

placement scaling(const vec3& s) {
    placement m{};
    m[0] = s.x, m[4] = s.y, m[8] = s.z;
    return m;
}

// The turn of a rotation key: the file's angle about its axis, turned the
// way 3D Studio's keys turn (clockwise seen from the axis's tip). A zero axis
// turns nothing.
placement rotation(const std::array<float, 4>& key) {
    const double x = key[1], y = key[2], z = key[3];
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0)) return identity;
    const double half = -0.5 * static_cast<double>(key[0]);
    const double s = std::sin(half) / length;
    const double qx = s * x, qy = s * y, qz = s * z, qw = std::cos(half);
    placement m{};
    at(m, 0, 0) = 1 - 2 * (qy * qy + qz * qz);
    at(m, 0, 1) = 2 * (qx * qy - qz * qw);
    at(m, 0, 2) = 2 * (qx * qz + qy * qw);
    at(m, 1, 0) = 2 * (qx * qy + qz * qw);
    at(m, 1, 1) = 1 - 2 * (qx * qx + qz * qz);
    at(m, 1, 2) = 2 * (qy * qz - qx * qw);
    at(m, 2, 0) = 2 * (qx * qz - qy * qw);
    at(m, 2, 1) = 2 * (qy * qz + qx * qw);
    at(m, 2, 2) = 1 - 2 * (qx * qx + qy * qy);
    return m;
}

double determinant(const placement& m) {
    return at(m, 0, 0) * (at(m, 1, 1) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 1)) -
           at(m, 0, 1) * (at(m, 1, 0) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 0)) +
           at(m, 0, 2) * (at(m, 1, 0) * at(m, 2, 1) - at(m, 1, 1) * at(m, 2, 0));
}

bool is_finite(const placement& m) {
    for (const double v : m)
        if (!std::isfinite(v)) return false;
    return true;
}

// The inverse of the linear part, transposed: what turns normals.
placement inverse_transpose(const placement& m) {
    const double d = determinant(m);
    placement r{};
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c) {
            // Cofactor of (row, c) over the determinant: the inverse's
            // (c, row), so the transpose's (row, c).
            const int r1 = (row + 1) % 3, r2 = (row + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            at(r, row, c) = (at(m, r1, c1) * at(m, r2, c2) - at(m, r1, c2) * at(m, r2, c1)) / d;
        }
    return r;
}

// Whether the linear part can be inverted: a determinant that is not
// negligible beside the axes' lengths.
bool invertible(const placement& m) {
    const auto length = [&](int c) {
        return std::sqrt(at(m, 0, c) * at(m, 0, c) + at(m, 1, c) * at(m, 1, c) + at(m, 2, c) * at(m, 2, c));
    };
    const double scale = length(0) * length(1) * length(2);
    return is_finite(m) && scale > 0.0 && std::fabs(determinant(m)) > 1e-9 * scale;
}

placement inverse(const placement& m) {
    const placement it = inverse_transpose(m);
    placement r{};
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c) at(r, row, c) = at(it, c, row);
    for (int row = 0; row < 3; ++row)
        r[static_cast<std::size_t>(9 + row)] = -(at(r, row, 0) * m[9] + at(r, row, 1) * m[10] + at(r, row, 2) * m[11]);
    return r;
}

placement mesh_matrix_of(const mesh_object& o) {
    placement m{};
    for (std::size_t i = 0; i < 12; ++i) m[i] = o.mesh_matrix[i];
    return m;
}

std::string node_label(const keyframe_node& node) {
    std::string label = "keyframer node \"" + printable(node.name) + "\"";
    if (!node.instance_name.empty()) label += " (instance \"" + printable(node.instance_name) + "\")";
    return label;
}

// The first mesh object of each name (objects with faces or vertices).
std::unordered_map<std::string, std::size_t> meshes_by_name(const scene& s) {
    std::unordered_map<std::string, std::size_t> by_name;
    for (std::size_t i = 0; i < s.objects.size(); ++i)
        if (!s.objects[i].vertices.empty() || !s.objects[i].faces.empty()) by_name.emplace(s.objects[i].name, i);
    return by_name;
}

vec3 apply(const placement& m, const vec3& p, bool with_translation) {
    const double x = p.x, y = p.y, z = p.z;
    double v[3];
    for (int row = 0; row < 3; ++row)
        v[row] = at(m, row, 0) * x + at(m, row, 1) * y + at(m, row, 2) * z +
                 (with_translation ? m[static_cast<std::size_t>(9 + row)] : 0.0);
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// Why node `i` (of id `id`) cannot be placed under its parent, or empty,
// with `parent` set to the parent's world placement (the identity for a
// node without one). A parent must come earlier and be placed itself.
std::string parent_fault(const std::vector<keyframe_node>& nodes, std::size_t i, std::int32_t id, bool first_of_id,
                         const std::unordered_map<std::int32_t, std::size_t>& index_of_id,
                         const std::unordered_set<std::int32_t>& every_id, const std::vector<std::uint8_t>& sound,
                         const std::vector<placement>& world, placement& parent) {
    const keyframe_node& node = nodes[i];
    if (node.parent == 0xFFFF) return {};
    const auto found = index_of_id.find(node.parent);
    if (found == index_of_id.end() || (found->second == i && first_of_id))
        return id == node.parent ? "names itself as its parent"
               : every_id.count(node.parent) != 0
                   ? "names a later node as its parent"
                   : "names a parent (" + std::to_string(node.parent) + ") that no node has";
    // A camera or light moves what hangs on it by where it looks as well:
    // such a parent is not followed.
    if (!nodes[found->second].object)
        return "has a camera's or light's node (" + std::to_string(node.parent) +
               ") as its parent, which is not followed";
    if (sound[found->second] == 0) return "has a parent whose place cannot be worked out";
    parent = world[found->second];
    return {};
}

// Why the mesh `o` that a node at `world` shows cannot be placed, or empty,
// with `m` set to where it stands: the node's world placement, less its
// pivot, after the mesh matrix undone.
std::string mesh_placement_fault(const keyframe_node& node, const placement& world, const mesh_object& o, bool copy,
                                 placement& m) {
    const placement mesh_matrix = mesh_matrix_of(o);
    if (!invertible(mesh_matrix)) return "shows a mesh whose own matrix cannot be inverted";
    m = compose(world, compose(translation(-double{node.pivot.x}, -double{node.pivot.y}, -double{node.pivot.z}),
                               inverse(mesh_matrix)));
    if (!invertible(m))
        return std::string("places its ") + (copy ? "copy" : "mesh") +
               " by a matrix that is not finite or cannot be inverted";
    return {};
}

}  // namespace

vec3 place_point(const placement& m, const vec3& p) {
    return apply(m, p, true);
}

void place_instances(scene& s, reporter& report, keyframer_wanted wanted) {
    if (wanted.copies) s.instances.clear();
    if (wanted.first_nodes) s.first_nodes.clear();
    const auto by_name = meshes_by_name(s);
    std::unordered_map<std::int32_t, std::size_t> index_of_id;  // the first node of each id so far
    std::unordered_set<std::int32_t> every_id;
    for (std::size_t i = 0; i < s.nodes.size(); ++i)
        every_id.insert(s.nodes[i].id >= 0 ? s.nodes[i].id : static_cast<std::int32_t>(i));
    // A hostile keyframer may hold a million faulty nodes: the first
    // max_node_warnings get a line each, the rest one line together.
    std::size_t warned = 0, unwarned = 0;
    const auto warn = [&](const keyframe_node& node, const std::string& what) {
        if (warned++ < max_node_warnings)
            report_warning(report, node_label(node) + " " + what);
        else
            ++unwarned;
    };
    std::vector<placement> world(s.nodes.size(), identity);
    std::vector<std::uint8_t> sound(s.nodes.size(), 0);
    std::vector<std::uint8_t> shown(s.objects.size(), 0);
    std::size_t copied_faces = 0;
    bool over_budget = false;
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
        const keyframe_node& node = s.nodes[i];
        const std::int32_t id = node.id >= 0 ? node.id : static_cast<std::int32_t>(i);
        const bool first_of_id = index_of_id.emplace(id, i).second;
        if (!node.object) continue;  // shows nothing, and is no parent that is followed
        const bool dummy = node.name == dummy_node_name;
        const auto mesh = by_name.find(node.name);
        const bool names_mesh = mesh != by_name.end();
        // The first node of a mesh shows the mesh itself; the others copies.
        const bool copy = names_mesh && std::exchange(shown[mesh->second], 1) != 0;

        placement parent = identity;
        std::string fault = parent_fault(s.nodes, i, id, first_of_id, index_of_id, every_id, sound, world, parent);
        if (fault.empty()) {
            const placement local = compose(translation(node.position.x, node.position.y, node.position.z),
                                            compose(rotation(node.rotation), scaling(node.scale)));
            world[i] = compose(parent, local);
            if (!is_finite(world[i])) fault = "has track values that are not finite numbers";
        }
        sound[i] = fault.empty();
        if (!names_mesh && !dummy && wanted.copies) {
            warn(node, "names no mesh of the file; it adds no copy");
            continue;
        }
        if (!names_mesh || (copy ? !wanted.copies : !wanted.first_nodes)) continue;
        placement m;
        if (fault.empty()) fault = mesh_placement_fault(node, world[i], s.objects[mesh->second], copy, m);
        if (!fault.empty()) {
            warn(node,
                 fault + (copy ? "; that copy of the mesh is left out" : "; its mesh stands where its data puts it"));
            continue;
        }
        if (!copy) {
            s.first_nodes.push_back({static_cast<std::uint32_t>(mesh->second), m, i});
            continue;
        }
        const std::size_t faces = s.objects[mesh->second].faces.size();
        if (faces > max_instance_faces - copied_faces || s.instances.size() == max_instances) {
            if (!over_budget)
                report_warning(report, node_label(node) + " and the copies after it would make more than " +
                                           std::to_string(max_instances) + " copies or " +
                                           std::to_string(max_instance_faces) + " faces; they are left out");
            over_budget = true;
            continue;
        }
        copied_faces += faces;
        s.instances.push_back({static_cast<std::uint32_t>(mesh->second), m, i});
    }
    if (unwarned > 0)
        report_warning(report, std::to_string(unwarned) + " more keyframer nodes like those above add no copy");
}

std::size_t meshes_shown_again(const scene& s) {
    const auto by_name = meshes_by_name(s);
    std::vector<std::uint32_t> named(s.objects.size(), 0);
    std::size_t again = 0;
    for (const keyframe_node& node : s.nodes) {
        if (!node.object) continue;
        const auto mesh = by_name.find(node.name);
        if (mesh != by_name.end() && ++named[mesh->second] == 2) ++again;
    }
    return again;
}

void place_object(mesh_object& o, const placement& m) {
    const placement turn = inverse_transpose(m);
    for (vec3& v : o.vertices) v = apply(m, v, true);
    for (std::vector<vec3>* normals : {&o.normals, &o.smooth_normals})
        for (vec3& n : *normals) n = vec3_normalize(apply(turn, n, false));
}

placement compose_placements(const placement& a, const placement& b) {
    return compose(a, b);
}

std::size_t add_instance_copies(scene& s) {
    const std::size_t file_objects = s.objects.size();
    for (const mesh_instance& instance : s.instances) {
        append_object(s);
        mesh_object& copy = s.objects.back();
        copy = s.objects[instance.object];
        place_object(copy, instance.matrix);
    }
    return file_objects;
}

void remove_instance_copies(scene& s, std::size_t file_objects) {
    if (s.objects.size() <= file_objects) return;
    s.objects.resize(file_objects);
}

}  // namespace tessvert
