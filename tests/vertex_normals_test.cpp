// Vertex normals and the vector operations under them.
//
// The normals are printed with six decimals, so the tests compare float bits
// (signs of zeros and NaNs included), not values within a tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/read_stages.hpp"
#include "geometry/corner_normals.hpp"
#include "geometry/vec3_ops.hpp"
#include "geometry/vertex_normals.hpp"
#include "model/scene.hpp"
#include "testkit/console.hpp"
#include "testkit/mesh_records.hpp"

namespace tessvert {
namespace {

using testkit::make_object;
using testkit::same_bits;

std::uint32_t bits_of(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::string hex(vec3 v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "(%a, %a, %a) bits (%08x, %08x, %08x)", static_cast<double>(v.x),
                  static_cast<double>(v.y), static_cast<double>(v.z), bits_of(v.x), bits_of(v.y), bits_of(v.z));
    return buf;
}

std::string six_decimals(vec3 v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%f %f %f", static_cast<double>(v.x), static_cast<double>(v.y),
                  static_cast<double>(v.z));
    return buf;
}

double dot(vec3 a, vec3 b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z;
}

std::vector<vec3> normals_of(std::vector<vec3> vertices, std::vector<face> faces) {
    mesh_object o = make_object(std::move(vertices), std::move(faces));
    compute_object_normals(o);
    return o.normals;
}

// ---------------------------------------------------------------------------
// The normals as first defined: for every vertex, walk all faces. Written with
// its own arithmetic (not the library's vector operations); each component is
// rounded to float through a volatile store, which no optimiser may skip.

float to_float(double d) {
    volatile float f = static_cast<float>(d);
    return f;
}

vec3 ref_sub(vec3 a, vec3 b) {
    return {to_float(double{a.x} - double{b.x}), to_float(double{a.y} - double{b.y}),
            to_float(double{a.z} - double{b.z})};
}

vec3 ref_add(vec3 a, vec3 b) {
    return {to_float(double{a.x} + double{b.x}), to_float(double{a.y} + double{b.y}),
            to_float(double{a.z} + double{b.z})};
}

vec3 ref_cross(vec3 a, vec3 b) {
    return {to_float(double{a.y} * double{b.z} - double{a.z} * double{b.y}),
            to_float(double{a.z} * double{b.x} - double{a.x} * double{b.z}),
            to_float(double{a.x} * double{b.y} - double{a.y} * double{b.x})};
}

std::vector<vec3> literal_normals(const mesh_object& o) {
    std::vector<vec3> face_vectors;
    for (const face& f : o.faces) {
        const vec3 v0 = o.vertices[f.a], v1 = o.vertices[f.b], v2 = o.vertices[f.c];
        face_vectors.push_back(ref_cross(ref_sub(v0, v2), ref_sub(v2, v1)));
    }
    std::vector<vec3> normals;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(o.vertex_count()); ++i) {
        vec3 sum{0.0f, 0.0f, 0.0f};
        int k = 0;
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            const face& f = o.faces[j];
            if (f.a == i || f.b == i || f.c == i) {
                sum = ref_add(sum, face_vectors[j]);
                ++k;
            }
        }
        const float s = k == 0 ? 0.0f : -static_cast<float>(k);
        const double r = 1.0 / double{s};
        const vec3 v{to_float(sum.x * r), to_float(sum.y * r), to_float(sum.z * r)};
        const double x = v.x, y = v.y, z = v.z;
        const double q = (z * z + y * y) + x * x;
        const double rn = 1.0 / std::sqrt(q);
        normals.push_back({to_float(x * rn), to_float(y * rn), to_float(z * rn)});
    }
    return normals;
}

// Coordinates with non-round values and mixed magnitudes, from the raw
// output of a fixed-seed generator (std::mt19937 is the same everywhere).
float random_coordinate(std::mt19937& g) {
    const std::uint32_t kind = g() % 16;
    const double unit = static_cast<double>(g() >> 8) / 16777216.0 * 2.0 - 1.0;  // [-1, 1)
    if (kind == 0) return static_cast<float>(static_cast<int>(g() % 21) - 10);   // round
    if (kind == 1) return 0.0f;
    if (kind == 2) return static_cast<float>(unit * 1e19);   // products overflow float
    if (kind == 3) return static_cast<float>(unit * 1e-20);  // products underflow
    const int exponent = static_cast<int>(g() % 8) - 3;      // 1e-3 .. 1e4
    return static_cast<float>(unit * std::pow(10.0, exponent));
}

mesh_object random_mesh(std::mt19937& g) {
    const std::uint32_t vertex_count = g() % 300;
    // Only the first `used` vertices are named by faces: the rest are unused.
    const std::uint32_t used = vertex_count == 0 ? 0 : 1 + g() % vertex_count;
    std::vector<vec3> vertices;
    for (std::uint32_t i = 0; i < vertex_count; ++i) {
        if (i > 0 && g() % 8 == 0) {
            vertices.push_back(vertices[g() % i]);  // coincident vertices
        } else {
            vertices.push_back({random_coordinate(g), random_coordinate(g), random_coordinate(g)});
        }
    }
    // Some collinear vertices, whose faces have a zero vector.
    for (std::uint32_t i = 2; i < vertex_count; i += 7) {
        const vec3 a = vertices[i - 2], b = vertices[i - 1];
        vertices[i] = {to_float(2.0 * b.x - a.x), to_float(2.0 * b.y - a.y), to_float(2.0 * b.z - a.z)};
    }
    std::vector<face> faces;
    const std::uint32_t face_count = used == 0 ? 0 : g() % (2 * vertex_count + 1);
    for (std::uint32_t j = 0; j < face_count; ++j) {
        const auto pick = [&] { return static_cast<std::uint32_t>(g() % used); };
        face f{pick(), pick(), pick()};
        switch (g() % 10) {
        case 0:
            f.b = f.a;
            break;  // a vertex named twice
        case 1:
            f.c = f.b;
            break;
        case 2:
            f.b = f.c = f.a;
            break;  // named thrice
        case 3:     // three collinear corners
            if (used >= 3) {
                const std::uint32_t base = 2 + 7 * (g() % ((used - 3) / 7 + 1));
                if (base < used) f = {base - 2, base - 1, base};
            }
            break;
        default:
            break;
        }
        faces.push_back(f);
    }
    return make_object(std::move(vertices), std::move(faces));
}

// ---------------------------------------------------------------------------

TEST(VertexNormalsLiteral, OnePassMatchesPerVertexLoopsBitForBit) {
    std::mt19937 g(20240531u);
    int meshes_with_nan = 0, meshes_with_finite = 0, compared = 0;
    for (int m = 0; m < 400; ++m) {
        mesh_object o = random_mesh(g);
        const std::vector<vec3> expected = literal_normals(o);
        compute_object_normals(o);
        ASSERT_EQ(o.normals.size(), expected.size()) << "mesh " << m;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_TRUE(same_bits(o.normals[i], expected[i]))
                << "mesh " << m << " vertex " << i << ": got " << hex(o.normals[i]) << ", literal loops give "
                << hex(expected[i]);
        }
        bool any_nan = false, any_finite = false;
        for (const vec3& n : expected) {
            (std::isnan(n.x) ? any_nan : any_finite) = true;
        }
        meshes_with_nan += any_nan;
        meshes_with_finite += any_finite;
        compared += static_cast<int>(expected.size());
    }
    // The generator must reach both kinds of vertex for the comparison to mean
    // anything.
    EXPECT_GT(meshes_with_nan, 100);
    EXPECT_GT(meshes_with_finite, 100);
    EXPECT_GT(compared, 20000);
}

TEST(VertexNormalsLiteral, FaceNamingVertexTwiceCountsOnce) {
    // Vertex 0 is in a real face and in a face naming it twice (zero vector).
    // Counted once, k = 2 scales the sum exactly and the normal equals the
    // single face's; counted twice, k = 3 rounds and changes the bits.
    const std::vector<vec3> v{{0, 0, 0}, {2.9f, -1.8f, 4.4f}, {-0.5f, 3.8f, 4.4f}};
    const vec3 fv = vec3_cross(vec3_sub(v[0], v[2]), vec3_sub(v[2], v[1]));
    ASSERT_FALSE(same_bits(vec3_normalize(vec3_div(fv, -1.0f)), vec3_normalize(vec3_div(fv, -3.0f))));

    const vec3 single = normals_of(v, {{0, 1, 2}})[0];
    const vec3 twice_after = normals_of(v, {{0, 1, 2}, {0, 0, 1}})[0];
    const vec3 twice_before = normals_of(v, {{0, 2, 0}, {0, 1, 2}})[0];
    EXPECT_TRUE(same_bits(twice_after, single)) << hex(twice_after) << " vs " << hex(single);
    EXPECT_TRUE(same_bits(twice_before, single)) << hex(twice_before) << " vs " << hex(single);
}

TEST(VertexNormalsLiteral, FaceNamingVertexThriceCountsOnce) {
    // Two faces naming vertex 0 thrice must count like two faces naming it
    // once (k = 3); counted thrice it would be k = 7, which rounds otherwise.
    const std::vector<vec3> v{{0, 0, 0}, {2.9f, -1.8f, 4.4f}, {-0.5f, 3.8f, 4.4f}};
    const vec3 fv = vec3_cross(vec3_sub(v[0], v[2]), vec3_sub(v[2], v[1]));
    ASSERT_FALSE(same_bits(vec3_normalize(vec3_div(fv, -3.0f)), vec3_normalize(vec3_div(fv, -7.0f))));

    const vec3 thrice = normals_of(v, {{0, 1, 2}, {0, 0, 0}, {0, 0, 0}})[0];
    const vec3 once = normals_of(v, {{0, 1, 2}, {0, 1, 1}, {2, 2, 0}})[0];
    EXPECT_TRUE(same_bits(thrice, once)) << hex(thrice) << " vs " << hex(once);
}

// ---------------------------------------------------------------------------

TEST(VertexNormalsWorked, CounterClockwiseTriangleGivesPlusZWithNegativeZeros) {
    const std::vector<vec3> n = normals_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ASSERT_EQ(n.size(), 3u);
    for (const vec3& v : n) {
        EXPECT_EQ(v.x, 0.0f);
        EXPECT_EQ(v.y, 0.0f);
        EXPECT_EQ(v.z, 1.0f);
        // The face vector is (-0, -0, -1); +0 + -0 is +0, and +0 / -1 is -0.
        EXPECT_TRUE(std::signbit(v.x)) << hex(v);
        EXPECT_TRUE(std::signbit(v.y)) << hex(v);
    }
}

TEST(VertexNormalsWorked, ReversedCornersGiveMinusZ) {
    const std::vector<vec3> n = normals_of({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 2, 1}});
    ASSERT_EQ(n.size(), 3u);
    for (const vec3& v : n) {
        EXPECT_EQ(v.x, 0.0f);
        EXPECT_EQ(v.y, 0.0f);
        EXPECT_EQ(v.z, -1.0f);
        // Face vector (+0, +0, 1), divided by -1: the zeros turn negative.
        EXPECT_TRUE(std::signbit(v.x)) << hex(v);
        EXPECT_TRUE(std::signbit(v.y)) << hex(v);
    }
}

TEST(VertexNormalsWorked, TiltedFace) {
    const std::vector<vec3> v{{0, 0, 0}, {2, 0, 1}, {0, 2, 1}};
    const vec3 fv = vec3_cross(vec3_sub(v[0], v[2]), vec3_sub(v[2], v[1]));
    EXPECT_EQ(fv.x, 2.0f);
    EXPECT_EQ(fv.y, 2.0f);
    EXPECT_EQ(fv.z, -4.0f);
    const std::vector<vec3> n = normals_of(v, {{0, 1, 2}});
    ASSERT_EQ(n.size(), 3u);
    for (const vec3& nv : n) EXPECT_EQ(six_decimals(nv), "-0.408248 -0.408248 0.816497");
}

// The sum (0x1.7b48cp+0, -0x1.22b73cp+1, -0x1.26fa82p+5) of three faces.
// Rounding the divided vector to float before normalising gives y =
// 0x1.f73decp-5; keeping it in double (what g++ 12's SLP vectoriser does at
// -O2 when the rounding is inlined away) gives 0x1.f73deep-5.
constexpr vec3 hazard_sum{0x1.7b48cp+0f, -0x1.22b73cp+1f, -0x1.26fa82p+5f};
constexpr vec3 hazard_normal{-0x1.484766p-5f, 0x1.f73decp-5f, 0x1.fe9ef8p-1f};

TEST(VertexNormalsRounding, DividedSumIsRoundedToFloatBeforeNormalising) {
    const vec3 n = vec3_normalize(vec3_div(hazard_sum, -3.0f));
    EXPECT_TRUE(same_bits(n, hazard_normal)) << hex(n);
}

TEST(VertexNormalsRounding, DividedSumIsRoundedInsideTheObjectPass) {
    const float tx = hazard_sum.x, ty = hazard_sum.y, tz = hazard_sum.z;
    // Vertex 0 (the origin) is in three faces whose vectors add up exactly
    // to the sum: (+-0, ty, tz), (tx, +-0, +-0) and a zero vector.
    const std::vector<vec3> v{{0, 0, 0}, {1, 0, 0}, {0, -tz, ty}, {0, 1, 0}, {0, 0, -tx}};
    const std::vector<face> f{{1, 2, 0}, {3, 4, 0}, {0, 0, 0}};
    const vec3 f0 = vec3_cross(vec3_sub(v[1], v[0]), vec3_sub(v[0], v[2]));
    const vec3 f1 = vec3_cross(vec3_sub(v[3], v[0]), vec3_sub(v[0], v[4]));
    ASSERT_EQ(f0.y, ty);
    ASSERT_EQ(f0.z, tz);
    ASSERT_EQ(f1.x, tx);

    const vec3 n = normals_of(v, f)[0];
    EXPECT_TRUE(same_bits(n, hazard_normal)) << hex(n);
}

// ---------------------------------------------------------------------------

TEST(VertexNormalsShape, LargeFaceOutweighsSmallFace) {
    // Vertex 0 is shared by a face of area 50 facing +z and one of area 0.5
    // facing -y. Face vectors are summed unnormalised, so the normal stays
    // near +z but is pulled a little toward -y.
    const vec3 large_normal{0, 0, 1}, small_normal{0, -1, 0};
    const std::vector<vec3> v{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {1, 0, 0}, {0, 0, 1}};
    const std::vector<vec3> n = normals_of(v, {{0, 1, 2}, {0, 3, 4}});
    // The unshared corners take each face's own normal.
    EXPECT_GT(dot(n[1], large_normal), 0.999999);
    EXPECT_GT(dot(n[3], small_normal), 0.999999);

    const double toward_large = dot(n[0], large_normal);
    const double toward_small = dot(n[0], small_normal);
    EXPECT_GT(toward_large, 0.99);
    EXPECT_GT(toward_small, 0.005);
    EXPECT_LT(toward_small, 0.02);
    EXPECT_NEAR(dot(n[0], n[0]), 1.0, 1e-6);
}

TEST(VertexNormalsShape, VertexWithOnlyDegenerateFacesIsNaN) {
    // Vertex 0 is in a collinear face and a face naming vertex 1 twice; the
    // other vertices also have a real face.
    const std::vector<vec3> v{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 3, 0}, {3, 0, 0}};
    const std::vector<vec3> n = normals_of(v, {{0, 1, 2}, {1, 0, 1}, {1, 3, 4}});
    EXPECT_TRUE(std::isnan(n[0].x)) << hex(n[0]);
    EXPECT_TRUE(std::isnan(n[0].y)) << hex(n[0]);
    EXPECT_TRUE(std::isnan(n[0].z)) << hex(n[0]);
    for (int i : {1, 3, 4}) {
        EXPECT_TRUE(std::isfinite(n[i].x) && std::isfinite(n[i].y) && std::isfinite(n[i].z))
            << "vertex " << i << " " << hex(n[i]);
    }
}

TEST(VertexNormalsShape, UnusedVertexIsNaN) {
    const std::vector<vec3> v{{0, 0, 0}, {1, 0, 0}, {5, 5, 5}, {0, 1, 0}};
    const std::vector<vec3> n = normals_of(v, {{0, 1, 3}});
    ASSERT_EQ(n.size(), 4u);
    EXPECT_TRUE(std::isnan(n[2].x) && std::isnan(n[2].y) && std::isnan(n[2].z)) << hex(n[2]);
    EXPECT_EQ(n[0].z, 1.0f);
    EXPECT_EQ(n[3].z, 1.0f);
}

TEST(VertexNormalsShape, EmptyObjects) {
    EXPECT_TRUE(normals_of({}, {}).empty());

    const std::vector<vec3> n = normals_of({{1, 2, 3}, {4, 5, 6}}, {});
    ASSERT_EQ(n.size(), 2u);
    for (const vec3& v : n) {
        EXPECT_TRUE(std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z)) << hex(v);
    }
}

TEST(VertexNormalsShape, RecomputingReplacesOldNormals) {
    mesh_object o = make_object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    o.normals.assign(7, vec3{9, 9, 9});
    compute_object_normals(o);
    ASSERT_EQ(o.normals.size(), 3u);
    for (const vec3& v : o.normals) EXPECT_EQ(v.z, 1.0f);
}

TEST(VertexNormalsShape, EachObjectUsesOnlyItsOwnFaces) {
    // Two objects with the same vertices and opposite windings, then an
    // object with a vertex unused by its own faces but used by the others'.
    scene s = init_scene();
    const std::vector<vec3> v{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    append_object(s);
    s.objects.back() = make_object(v, {{0, 1, 2}});
    append_object(s);
    s.objects.back() = make_object(v, {{0, 2, 1}});
    append_object(s);
    s.objects.back() = make_object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 3}});

    for (mesh_object& o : s.objects) compute_object_normals(o);

    ASSERT_EQ(s.objects[0].normals.size(), 3u);
    ASSERT_EQ(s.objects[1].normals.size(), 3u);
    ASSERT_EQ(s.objects[2].normals.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.objects[0].normals[i].z, 1.0f) << i;
        EXPECT_EQ(s.objects[1].normals[i].z, -1.0f) << i;
    }
    // Face (0, 1, 3) lies in the xz plane; its vector is +y, the normal -y.
    EXPECT_EQ(s.objects[2].normals[0].y, -1.0f);
    EXPECT_TRUE(std::isnan(s.objects[2].normals[2].x)) << hex(s.objects[2].normals[2]);
}

// ---------------------------------------------------------------------------
// Corner normals from smoothing groups, against the rule written as loops:
// for corner (f, i), walk every face in ascending order and add those that
// use vertex i and share a mask bit with f (f alone when its mask is 0);
// more than 64 distinct masks among the faces at i give the vertex normal.

bool uses(const face& f, std::uint32_t i) {
    return f.a == i || f.b == i || f.c == i;
}

std::vector<vec3> literal_corner_normals(const mesh_object& o) {
    const std::vector<vec3> vertex_normals = literal_normals(o);
    std::vector<vec3> corners;
    for (std::size_t f = 0; f < o.faces.size(); ++f) {
        const face& own = o.faces[f];
        for (std::uint32_t i : {own.a, own.b, own.c}) {
            std::vector<std::uint32_t> seen;
            for (std::size_t j = 0; j < o.faces.size(); ++j)
                if (uses(o.faces[j], i) && std::find(seen.begin(), seen.end(), o.smoothing[j]) == seen.end())
                    seen.push_back(o.smoothing[j]);
            if (seen.size() > 64) {
                corners.push_back(vertex_normals[i]);
                continue;
            }
            vec3 sum{0.0f, 0.0f, 0.0f};
            int k = 0;
            for (std::size_t j = 0; j < o.faces.size(); ++j) {
                const bool counted =
                    o.smoothing[f] == 0 ? j == f : uses(o.faces[j], i) && (o.smoothing[j] & o.smoothing[f]) != 0;
                if (!counted) continue;
                const face& g = o.faces[j];
                sum = ref_add(sum, ref_cross(ref_sub(o.vertices[g.a], o.vertices[g.c]),
                                             ref_sub(o.vertices[g.c], o.vertices[g.b])));
                ++k;
            }
            const double r = 1.0 / double{k == 0 ? 0.0f : -static_cast<float>(k)};
            const vec3 v{to_float(sum.x * r), to_float(sum.y * r), to_float(sum.z * r)};
            const double x = v.x, y = v.y, z = v.z;
            const double rn = 1.0 / std::sqrt((z * z + y * y) + x * x);
            corners.push_back({to_float(x * rn), to_float(y * rn), to_float(z * rn)});
        }
    }
    return corners;
}

// Masks from a few bits, so that faces share some; 0 now and then.
std::uint32_t random_mask(std::mt19937& g) {
    if (g() % 10 == 0) return 0;
    const std::uint32_t bits = g() % 2 ? 0x0Fu : 0x80000301u;
    std::uint32_t m = 0;
    while (m == 0) m = g() & bits;
    return m;
}

// Compares every corner of `o` (mesh `m`) with the loops bit for bit, and
// checks that an entry of smooth_normals serves the corners of one vertex;
// counts the corners compared and those off their vertex normal.
void expect_the_loops(const mesh_object& o, int m, int& compared, int& hard) {
    const std::vector<vec3> expected = literal_corner_normals(o);
    ASSERT_EQ(o.corner_normals.size(), expected.size()) << "mesh " << m;
    std::vector<std::uint32_t> owner(o.smooth_normals.size(), use_vertex_normal);
    for (std::size_t c = 0; c < expected.size(); ++c) {
        const vec3 n = corner_normal(o, c / 3, static_cast<int>(c % 3));
        ASSERT_TRUE(same_bits(n, expected[c])) << "mesh " << m << " face " << c / 3 << " corner " << c % 3 << ": got "
                                               << hex(n) << ", loops give " << hex(expected[c]);
        const std::uint32_t i = c % 3 == 0 ? o.faces[c / 3].a : c % 3 == 1 ? o.faces[c / 3].b : o.faces[c / 3].c;
        hard += !same_bits(expected[c], o.normals[i]);
        const std::uint32_t id = o.corner_normals[c];
        if (id == use_vertex_normal) continue;
        if (owner[id] == use_vertex_normal) owner[id] = i;
        ASSERT_EQ(owner[id], i) << "mesh " << m << " entry " << id;
    }
    compared += static_cast<int>(expected.size());
}

TEST(CornerNormalsLiteral, MatchTheLoopsBitForBitOnRandomMeshesWithRandomMasks) {
    std::mt19937 g(20261207u);
    int hard = 0, compared = 0;
    for (int m = 0; m < 300; ++m) {
        mesh_object o = random_mesh(g);
        for (std::size_t j = 0; j < o.faces.size(); ++j) o.smoothing.push_back(random_mask(g));
        compute_object_normals(o);
        EXPECT_FALSE(compute_corner_normals(o));
        ASSERT_NO_FATAL_FAILURE(expect_the_loops(o, m, compared, hard));
    }
    // Most corners differ from the vertex normal, or the masks tested little.
    EXPECT_GT(compared, 50000);
    EXPECT_GT(hard, compared / 3);
}

TEST(CornerNormalsLiteral, MasksApartAndMasksListedMatchTheLoopsInTheirOrder) {
    // One bit each of a few, so that the masks at a vertex share no bit (its
    // sums are taken as the faces come, for up to four masks), and in the
    // last quarter of the faces now and then mask 0 or two bits, which list
    // a vertex after some of its faces were summed. One set of buffers for
    // every mesh, as a thread keeps it; the vertex normals and corner
    // normals made in one pass are those made one after the other.
    std::mt19937 g(20261208u);
    corner_scratch scratch;
    int hard = 0, compared = 0, apart = 0, many = 0, late = 0;
    for (int m = 0; m < 300; ++m) {
        mesh_object o = random_mesh(g);
        const std::uint32_t bits = 2 + g() % 6;
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            std::uint32_t mask = 1u << (g() % bits);
            if (4 * j > 3 * o.faces.size() && g() % 6 == 0) mask = g() % 2 ? 0u : mask | 1u << (g() % bits);
            o.smoothing.push_back(mask);
        }
        compute_object_normals(o);
        EXPECT_FALSE(compute_corner_normals(o, scratch));
        ASSERT_NO_FATAL_FAILURE(expect_the_loops(o, m, compared, hard));
        // Both kinds of normals in one pass: the same, bit for bit.
        std::vector<vec3> normals;
        std::vector<std::uint32_t> corners;
        std::vector<vec3> smooth;
        EXPECT_FALSE(compute_normals_and_corners(o.faces.data(), o.faces.size(), o.vertices.data(), o.vertices.size(),
                                                 o.smoothing.data(), normals, corners, smooth, scratch));
        ASSERT_EQ(normals.size(), o.normals.size());
        for (std::size_t v = 0; v < normals.size(); ++v)
            ASSERT_TRUE(same_bits(normals[v], o.normals[v])) << "mesh " << m << " vertex " << v;
        ASSERT_EQ(corners, o.corner_normals) << "mesh " << m;
        ASSERT_EQ(smooth.size(), o.smooth_normals.size()) << "mesh " << m;
        for (std::size_t id = 0; id < smooth.size(); ++id)
            ASSERT_TRUE(same_bits(smooth[id], o.smooth_normals[id])) << "mesh " << m << " entry " << id;

        // The entries come vertex by vertex in ascending order; at a vertex,
        // in the order its faces first use each mask, a face of mask 0 (one
        // entry of its own) in face order.
        std::vector<std::vector<std::uint32_t>> masks_at(o.vertices.size());  // in order of first use
        std::vector<bool> listed(o.vertices.size(), false);
        using key = std::array<std::size_t, 3>;
        std::vector<key> keys(o.smooth_normals.size(), key{});
        for (std::size_t j = 0; j < o.faces.size(); ++j) {
            const face& f = o.faces[j];
            for (const std::uint32_t v : {f.a, f.b, f.c}) {
                std::vector<std::uint32_t>& seen = masks_at[v];
                const std::uint32_t mask = o.smoothing[j];
                const auto at = std::find(seen.begin(), seen.end(), mask);
                if (at == seen.end()) {
                    // Listed from here on: mask 0, a fifth mask, or one that
                    // shares a bit with another.
                    listed[v] = listed[v] || mask == 0 || seen.size() == 4 ||
                                std::any_of(seen.begin(), seen.end(), [&](std::uint32_t e) { return (e & mask) != 0; });
                    if (listed[v] && !seen.empty() && (4 * j > 3 * o.faces.size())) ++late;
                    seen.push_back(mask);
                }
            }
        }
        for (std::size_t c = 0; c < o.corner_normals.size(); ++c) {
            const std::uint32_t id = o.corner_normals[c];
            if (id == use_vertex_normal) continue;
            const face& f = o.faces[c / 3];
            const std::uint32_t v = c % 3 == 0 ? f.a : c % 3 == 1 ? f.b : f.c;
            const std::uint32_t mask = o.smoothing[c / 3];
            const std::vector<std::uint32_t>& seen = masks_at[v];
            keys[id] = {v, static_cast<std::size_t>(std::find(seen.begin(), seen.end(), mask) - seen.begin()),
                        mask == 0 ? c / 3 : 0};
        }
        for (std::size_t id = 1; id < keys.size(); ++id)
            ASSERT_LT(keys[id - 1], keys[id]) << "mesh " << m << ": entries " << id - 1 << " and " << id;
        for (std::size_t v = 0; v < masks_at.size(); ++v) {
            apart += !listed[v] && masks_at[v].size() > 1;
            many += listed[v] && masks_at[v].size() == 5;
        }
    }
    // Both ways of summing, and a vertex listed late, are reached.
    EXPECT_GT(compared, 50000);
    EXPECT_GT(hard, compared / 3);
    EXPECT_GT(apart, 5000);
    EXPECT_GT(many, 500);
    EXPECT_GT(late, 500);
}

TEST(CornerNormalsLiteral, EqualNonZeroMasksGiveTheVertexNormalsAndIncompleteMasksNone) {
    std::mt19937 g(77u);
    for (int m = 0; m < 100; ++m) {
        mesh_object o = random_mesh(g);
        o.smoothing.assign(o.faces.size(), 0x20u);
        compute_object_normals(o);
        compute_corner_normals(o);
        ASSERT_EQ(o.corner_normals.size(), 3 * o.faces.size());
        EXPECT_EQ(o.corner_normals, std::vector<std::uint32_t>(3 * o.faces.size(), use_vertex_normal));
        if (o.faces.empty()) continue;
        o.smoothing.pop_back();
        compute_corner_normals(o);
        EXPECT_TRUE(o.corner_normals.empty());
    }
}

TEST(CornerNormalsHostile, MoreThan64MasksAtAVertexGiveItsVertexNormalWithOneWarningPerRun) {
    // Fans around vertex 0 on a bumpy rim: `n` faces, each with a mask of
    // its own; a rim vertex is shared by two faces of different masks.
    const auto fan = [](std::uint32_t n) {
        mesh_object o;
        o.vertices.push_back({0, 0, 1});
        for (std::uint32_t i = 0; i < n; ++i) {
            const double a = 6.283185307179586 * i / n;
            o.vertices.push_back(
                {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), i % 2 ? 0.5f : 0.0f});
            o.faces.push_back({0, 1 + i, 1 + (i + 1) % n});
            o.smoothing.push_back(1u << (i % 31) | (i / 31) << 31 | (i / 62) << 30);
        }
        return o;
    };
    scene s = init_scene();
    for (std::uint32_t n : {64u, 65u, 90u}) {
        append_object(s);
        s.objects.back() = fan(n);
        s.objects.back().name = "Fan" + std::to_string(n);
    }
    // The last stage of the reading: every object's normals, then one
    // warning, naming the first object where they were too many.
    object_states state(s.objects.size());
    testkit::recorder console;
    remaining_normals(s, nullptr, normals_wanted{true, true}, state, console.report);
    ASSERT_EQ(testkit::count_warnings(console.text()), 1u) << console.text();
    EXPECT_NE(console.text().find("object \"Fan65\""), std::string::npos) << console.text();
    for (std::size_t k = 0; k < s.objects.size(); ++k) {
        const mesh_object& o = s.objects[k];
        const std::vector<vec3> expected = literal_corner_normals(o);
        ASSERT_EQ(o.corner_normals.size(), expected.size());
        int at_centre_plain = 0;
        for (std::size_t c = 0; c < expected.size(); ++c) {
            const vec3 n = corner_normal(o, c / 3, static_cast<int>(c % 3));
            ASSERT_TRUE(same_bits(n, expected[c])) << "fan " << k << " corner " << c;
            if (c % 3 == 0) at_centre_plain += same_bits(n, o.normals[0]);
        }
        // 64 masks at the centre are summed per mask; 65 and more are not.
        EXPECT_EQ(at_centre_plain, k == 0 ? 0 : static_cast<int>(o.faces.size())) << "fan " << k;
    }
}

// ---------------------------------------------------------------------------

TEST(Vec3Ops, DivisionByPositiveZeroGivesInfinitiesAndNaN) {
    const vec3 r = vec3_div({1.0f, -2.0f, 0.0f}, 0.0f);
    EXPECT_EQ(r.x, INFINITY);
    EXPECT_EQ(r.y, -INFINITY);
    EXPECT_TRUE(std::isnan(r.z));
}

TEST(Vec3Ops, DivisionKeepsReciprocalInDouble) {
    // Rounding 1 / s to float first, or dividing in float, gives ...f8p-1.
    const vec3 r = vec3_div({0x1.6084fp+5f, -0x1.6084fp+5f, 0.0f}, 0x1.5a0bcp+6f);
    EXPECT_EQ(r.x, 0x1.04c9f6p-1f) << hex(r);
    EXPECT_EQ(r.y, -0x1.04c9f6p-1f) << hex(r);
    EXPECT_EQ(bits_of(r.z), 0u) << hex(r);
}

TEST(Vec3Ops, NormaliseSumsSquaresZThenYThenX) {
    // Summing x*x first gives y = 0x1.a19208p-13.
    const vec3 n = vec3_normalize({1.0f, 0x1.a19208p-13f, 0x1.7f7c04p-13f});
    const vec3 expected{0x1.fffffep-1f, 0x1.a19206p-13f, 0x1.7f7c04p-13f};
    EXPECT_TRUE(same_bits(n, expected)) << hex(n);
}

TEST(Vec3Ops, NormaliseMultipliesByReciprocalOfLength) {
    // Dividing by the length instead gives x = 0x1.4d4762p-1.
    const vec3 n = vec3_normalize({0x1.fea13p+0f, 0x1.e3b35ep+0f, 0x1.5b5d08p+0f});
    const vec3 expected{0x1.4d476p-1f, 0x1.3bb3e8p-1f, 0x1.c56f8ep-2f};
    EXPECT_TRUE(same_bits(n, expected)) << hex(n);
}

TEST(Vec3Ops, NormaliseOfZeroIsNaN) {
    const vec3 n = vec3_normalize({0.0f, -0.0f, 0.0f});
    EXPECT_TRUE(std::isnan(n.x) && std::isnan(n.y) && std::isnan(n.z)) << hex(n);
}

TEST(Vec3Ops, CrossFollowsRightHandRule) {
    const vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    const vec3 xy = vec3_cross(x, y), yz = vec3_cross(y, z), zx = vec3_cross(z, x);
    EXPECT_EQ(xy.z, 1.0f);
    EXPECT_EQ(yz.x, 1.0f);
    EXPECT_EQ(zx.y, 1.0f);
    const vec3 c = vec3_cross({1, 2, 3}, {4, 5, 6});
    EXPECT_EQ(c.x, -3.0f);
    EXPECT_EQ(c.y, 6.0f);
    EXPECT_EQ(c.z, -3.0f);
}

}  // namespace
}  // namespace tessvert
