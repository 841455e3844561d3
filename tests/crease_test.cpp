// Corner normals under a crease angle, and the keyframer instances' placing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/corner_normals.hpp"
#include "geometry/crease_normals.hpp"
#include "geometry/vec3_ops.hpp"
#include "geometry/vertex_normals.hpp"
#include "model/scene.hpp"
#include "testkit/mesh_records.hpp"

namespace tessvert {
namespace {

using testkit::make_object;
using testkit::same_bits;

// A unit cube of 8 shared vertices and 12 faces, counter-clockwise seen
// from outside.
mesh_object shared_cube() {
    std::vector<vec3> v;
    for (int i = 0; i < 8; ++i) v.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                       {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<face> f;
    for (const auto& q : quads) {
        f.push_back({q[0], q[1], q[2]});
        f.push_back({q[0], q[2], q[3]});
    }
    return make_object(v, f);
}

// A UV sphere: `rings` x `segments` quads, poles shared, faces outward.
mesh_object sphere(std::uint32_t rings, std::uint32_t segments) {
    std::vector<vec3> v{{0, 0, 1}};
    for (std::uint32_t r = 1; r < rings; ++r)
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double t = 3.141592653589793 * r / rings, p = 6.283185307179586 * s / segments;
            v.push_back({float(std::sin(t) * std::cos(p)), float(std::sin(t) * std::sin(p)), float(std::cos(t))});
        }
    v.push_back({0, 0, -1});
    const auto at = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * segments + s % segments; };
    const auto south = static_cast<std::uint32_t>(v.size() - 1);
    std::vector<face> f;
    for (std::uint32_t s = 0; s < segments; ++s) {
        f.push_back({0, at(1, s), at(1, s + 1)});
        for (std::uint32_t r = 1; r + 1 < rings; ++r) {
            f.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1)});
            f.push_back({at(r, s), at(r + 1, s + 1), at(r, s + 1)});
        }
        f.push_back({south, at(rings - 1, s + 1), at(rings - 1, s)});
    }
    return make_object(v, f);
}

// The face's own outward normal.
vec3 unit_normal(const mesh_object& o, std::size_t j) {
    return normal_of_sum(face_vector(o.vertices, o.faces[j]), 1);
}

TEST(CreaseNormals, CubeKeepsFlatSidesAt45AndIsRoundAt180) {
    mesh_object o = shared_cube();
    compute_object_normals(o);
    EXPECT_FALSE(compute_crease_normals(o, crease_cosine(45.0), false));
    ASSERT_EQ(o.corner_normals.size(), 36u);
    for (std::size_t j = 0; j < 12; ++j)
        for (int k = 0; k < 3; ++k) {
            const vec3 n = corner_normal(o, j, k), want = unit_normal(o, j);
            EXPECT_FLOAT_EQ(n.x, want.x) << j;
            EXPECT_FLOAT_EQ(n.y, want.y) << j;
            EXPECT_FLOAT_EQ(n.z, want.z) << j;
        }
    // At 90 degrees and more the sides meet within the angle: every corner
    // keeps its vertex normal, bit for bit.
    for (const double degrees : {90.0, 180.0}) {
        compute_crease_normals(o, crease_cosine(degrees), false);
        EXPECT_EQ(o.corner_normals, std::vector<std::uint32_t>(36, use_vertex_normal)) << degrees;
        EXPECT_TRUE(o.smooth_normals.empty());
    }
}

TEST(CreaseNormals, SmoothSphereIsUnchangedAt45) {
    mesh_object o = sphere(12, 24);
    compute_object_normals(o);
    compute_crease_normals(o, crease_cosine(45.0), false);
    EXPECT_EQ(o.corner_normals, std::vector<std::uint32_t>(3 * o.faces.size(), use_vertex_normal));
    // At 5 degrees the facets show.
    compute_crease_normals(o, crease_cosine(5.0), false);
    EXPECT_GT(o.smooth_normals.size(), o.faces.size());
}

// The rule written as loops: for corner (f, i), every face j in ascending
// order that uses i and meets f within the angle (and shares a mask bit;
// f alone when its mask is 0) is added.
std::vector<vec3> literal_crease_normals(const mesh_object& o, double cosine, bool masks) {
    std::vector<vec3> corners;
    const auto direction = [&](std::size_t j, double d[3]) {
        const vec3 v = face_vector(o.vertices, o.faces[j]);
        const double l = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
        d[0] = v.x / l, d[1] = v.y / l, d[2] = v.z / l;
        return l > 0.0 && std::isfinite(l);
    };
    for (std::size_t f = 0; f < o.faces.size(); ++f)
        for (std::uint32_t i : {o.faces[f].a, o.faces[f].b, o.faces[f].c}) {
            vec3 sum{0.0f, 0.0f, 0.0f};
            std::uint32_t k = 0;
            for (std::size_t j = 0; j < o.faces.size(); ++j) {
                const face& g = o.faces[j];
                if (g.a != i && g.b != i && g.c != i) continue;
                bool joins;
                if (masks && o.smoothing[f] == 0) {
                    joins = j == f;
                } else {
                    double a[3], b[3];
                    const bool both = direction(f, a) && direction(j, b);
                    joins = (!both || a[0] * b[0] + a[1] * b[1] + a[2] * b[2] >= cosine - 1e-9) &&
                            (!masks || (o.smoothing[f] & o.smoothing[j]) != 0);
                }
                if (!joins) continue;
                sum = vec3_add(sum, face_vector(o.vertices, g));
                ++k;
            }
            corners.push_back(normal_of_sum(sum, k));
        }
    return corners;
}

TEST(CreaseNormals, MatchTheLoopsBitForBitOnRandomMeshes) {
    std::mt19937 g(19u);
    int hard = 0, compared = 0;
    for (int m = 0; m < 200; ++m) {
        // A bumpy grid: neighbouring faces meet at angles of all sizes.
        const std::uint32_t w = 2 + g() % 12, h = 2 + g() % 12;
        std::vector<vec3> v;
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) v.push_back({float(x), float(y), float(g() % 5) * 0.4f});
        std::vector<face> f;
        for (std::uint32_t y = 0; y + 1 < h; ++y)
            for (std::uint32_t x = 0; x + 1 < w; ++x) {
                const std::uint32_t c = y * w + x;
                f.push_back({c, c + 1, c + w + 1});
                f.push_back({c, c + w + 1, g() % 9 == 0 ? c + 1 : c + w});  // some without area
            }
        mesh_object o = make_object(v, f);
        const bool masks = m % 2 == 1;
        for (std::size_t j = 0; j < f.size(); ++j) o.smoothing.push_back(g() % 7 == 0 ? 0u : 1u + g() % 3);
        const double degrees = double(g() % 181);
        compute_object_normals(o);
        ASSERT_FALSE(compute_crease_normals(o, crease_cosine(degrees), masks));
        const std::vector<vec3> expected = literal_crease_normals(o, crease_cosine(degrees), masks);
        ASSERT_EQ(o.corner_normals.size(), expected.size());
        for (std::size_t c = 0; c < expected.size(); ++c) {
            const vec3 n = corner_normal(o, c / 3, int(c % 3));
            ASSERT_TRUE(same_bits(n, expected[c])) << "mesh " << m << " corner " << c << " at " << degrees;
            hard += o.corner_normals[c] != use_vertex_normal;
        }
        compared += int(expected.size());
    }
    EXPECT_GT(hard, compared / 4);
}

TEST(CreaseNormals, ConeTipOfMoreDirectionsThanTheCapKeepsItsVertexNormal) {
    const auto cone = [](std::uint32_t n) {
        std::vector<vec3> v{{0, 0, 1}};
        std::vector<face> f;
        for (std::uint32_t i = 0; i < n; ++i) {
            const double a = 6.283185307179586 * i / n;
            v.push_back({float(std::cos(a)), float(std::sin(a)), 0.0f});
            f.push_back({0, 1 + i, 1 + (i + 1) % n});
        }
        return make_object(v, f);
    };
    mesh_object under = cone(max_normals_at_vertex), over = cone(max_normals_at_vertex + 1);
    compute_object_normals(under);
    compute_object_normals(over);
    EXPECT_FALSE(compute_crease_normals(under, crease_cosine(0.5), false));
    EXPECT_TRUE(compute_crease_normals(over, crease_cosine(0.5), false));
    EXPECT_NE(under.corner_normals[0], use_vertex_normal);
    for (std::size_t j = 0; j < over.faces.size(); ++j) EXPECT_EQ(over.corner_normals[3 * j], use_vertex_normal);
    // The rim vertices, of two faces each, still have their hard edges.
    EXPECT_NE(over.corner_normals[1], use_vertex_normal);
}

TEST(CreaseNormals, GroupsSayNothingWithoutMasksAllZeroOrOneForAll) {
    mesh_object o = shared_cube();
    EXPECT_TRUE(groups_say_nothing(o));
    o.smoothing.assign(12, 0);
    EXPECT_TRUE(groups_say_nothing(o));
    o.smoothing.assign(12, 4);
    EXPECT_TRUE(groups_say_nothing(o));
    o.smoothing[5] = 8;
    EXPECT_FALSE(groups_say_nothing(o));
    EXPECT_FALSE(groups_say_nothing(mesh_object{}));
}

}  // namespace
}  // namespace tessvert
