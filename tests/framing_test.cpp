#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "geometry/framing.hpp"
#include "testkit/projection.hpp"

using namespace tessvert;

namespace {

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();

void add_object(scene& s, std::vector<vec3> vertices) {
    append_object(s);
    s.objects.back().vertex_count = static_cast<std::int32_t>(vertices.size());
    s.objects.back().vertices = std::move(vertices);
}

// The picture point of `v` in the framed view, worked out independently.
testkit::picture_point seen(const framed_view& view, const vec3& v) {
    const double p[3] = {v.x, v.y, v.z};
    return testkit::project(view.position, view.look_at, default_fov, view_aspect_ratio, p);
}

// The framed view looks along the default view's direction from the
// distance it names.
void expect_default_direction(const framed_view& view) {
    const double step = view.distance / std::numbers::sqrt3;
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(view.position[k], view.look_at[k] + step);
    EXPECT_GT(view.distance, 0);
}

}  // namespace

TEST(Framing, NothingToFrameWithoutAFiniteVertex) {
    scene s = init_scene();
    EXPECT_FALSE(frame_scene(s).has_value());
    add_object(s, {});
    add_object(s, {{nan_f, 0, 0}, {0, inf_f, 0}, {0, 0, -inf_f}});
    EXPECT_FALSE(frame_scene(s).has_value());
}

TEST(Framing, CoincidingVerticesAreSeenFromDistanceOne) {
    scene s = init_scene();
    add_object(s, {{3, -2, 5}, {3, -2, 5}});
    add_object(s, {{3, -2, 5}, {nan_f, 1, 1}});
    const auto view = frame_scene(s);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->distance, 1);
    EXPECT_EQ(view->look_at[0], 3);
    EXPECT_EQ(view->look_at[1], -2);
    EXPECT_EQ(view->look_at[2], 5);
    expect_default_direction(*view);
}

// Vertices on the line of sight project to the picture's centre at any
// distance; they still have to be in front of the eye, with some depth left.
TEST(Framing, VerticesOnTheAxisStayInFrontOfTheEye) {
    scene s = init_scene();
    add_object(s, {{-1, -1, -1}, {0, 0, 0}, {4, 4, 4}});
    const auto view = frame_scene(s);
    ASSERT_TRUE(view.has_value());
    expect_default_direction(*view);
    EXPECT_DOUBLE_EQ(view->look_at[0], 1.5);
    for (const vec3& v : s.objects[0].vertices) {
        const testkit::picture_point p = seen(*view, v);
        EXPECT_GT(p.depth, 0.01) << v.x;
        EXPECT_NEAR(p.x, 0, 1e-9);
        EXPECT_NEAR(p.y, 0, 1e-9);
    }
    // The nearest vertex, (4, 4, 4), sets the distance: just in front.
    EXPECT_LT(seen(*view, {4, 4, 4}).depth, 0.2);
}

// Random scenes of several objects, one without faces and far out, with
// non-finite vertices among them: the view looks at the centre of the finite
// vertices' bounding box, every finite vertex is in front and within 95% of
// the half-width and half-height, and the distance is the smallest such:
// some vertex lies on that border.
TEST(Framing, EveryFiniteVertexIsInViewAtTheSmallestDistance) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        std::uniform_real_distribution<float> offset(-1000, 1000), size(0.001f, 50);
        const float scale[3] = {size(rng), size(rng), size(rng)};
        const float shift[3] = {offset(rng), offset(rng), offset(rng)};
        std::uniform_real_distribution<float> unit(-1, 1);
        scene s = init_scene();
        for (int o = 0; o < 3; ++o) {
            std::vector<vec3> vertices;
            const int n = 1 + static_cast<int>(rng() % 40);
            for (int i = 0; i < n; ++i)
                vertices.push_back({shift[0] + scale[0] * unit(rng), shift[1] + scale[1] * unit(rng),
                                    shift[2] + scale[2] * unit(rng)});
            if (o == 1) vertices.push_back({nan_f, shift[1], shift[2]});
            add_object(s, vertices);
        }
        add_object(s, {{shift[0] - 3 * scale[0], shift[1] + 2 * scale[1], shift[2]}, {inf_f, 0, 0}});
        s.objects[0].faces = {{0, 0, 0}};
        s.objects[0].face_count = 1;

        const auto view = frame_scene(s);
        ASSERT_TRUE(view.has_value());
        expect_default_direction(*view);
        double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
        double widest = 0;
        for (const mesh_object& o : s.objects)
            for (const vec3& v : o.vertices) {
                if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) continue;
                const double p[3] = {v.x, v.y, v.z};
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], p[k]);
                    hi[k] = std::max(hi[k], p[k]);
                }
                const testkit::picture_point seen_at = seen(*view, v);
                EXPECT_GT(seen_at.depth, 0);
                EXPECT_LE(std::abs(seen_at.x), framing_share + 1e-9);
                EXPECT_LE(std::abs(seen_at.y), framing_share + 1e-9);
                widest = std::max({widest, std::abs(seen_at.x), std::abs(seen_at.y)});
            }
        EXPECT_NEAR(widest, framing_share, 1e-9);
        for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(view->look_at[k], (lo[k] + hi[k]) / 2);
    }
}
