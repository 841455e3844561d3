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
    s.objects.back().vertices = std::move(vertices);
}

// Where `v` lands seen from the framed view, worked out independently; the
// view is checked to look along the default view's direction first.
testkit::picture_point seen(const framed_view& view, const vec3& v) {
    EXPECT_GT(view.distance, 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_DOUBLE_EQ(view.position[k], view.look_at[k] + view.distance / std::numbers::sqrt3);
    const double p[3] = {v.x, v.y, v.z};
    return testkit::project(view.position, view.look_at, default_fov, view_aspect_ratio, p);
}

}  // namespace

TEST(Framing, NoFiniteVertexGivesNoViewAndCoincidingOnesDistanceOne) {
    scene s = init_scene();
    EXPECT_FALSE(frame_scene(s).has_value());
    add_object(s, {{nan_f, 0, 0}, {0, inf_f, 0}, {0, 0, -inf_f}});
    EXPECT_FALSE(frame_scene(s).has_value());
    add_object(s, {{3, -2, 5}, {3, -2, 5}});
    const auto view = frame_scene(s);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->distance, 1);
    EXPECT_EQ(std::vector<double>(view->look_at, view->look_at + 3), (std::vector<double>{3, -2, 5}));
    EXPECT_NEAR(seen(*view, {3, -2, 5}).depth, 1, 1e-12);
}

// Vertices on the line of sight project to the centre at any distance; they
// still have to be in front of the eye, with some depth left.
TEST(Framing, VerticesOnTheAxisStayInFrontOfTheEye) {
    scene s = init_scene();
    add_object(s, {{-1, -1, -1}, {0, 0, 0}, {4, 4, 4}});
    const auto view = frame_scene(s);
    ASSERT_TRUE(view.has_value());
    EXPECT_DOUBLE_EQ(view->look_at[2], 1.5);
    for (const vec3& v : s.objects[0].vertices) EXPECT_GT(seen(*view, v).depth, 0.01) << v.x;
    EXPECT_LT(seen(*view, {4, 4, 4}).depth, 0.2);  // the nearest sets the distance
}

// Random scenes, an object without faces holding the farthest vertex and
// non-finite vertices among them: the view looks at the centre of the finite
// vertices' bounding box, every finite vertex is in front and within 95% of
// the half-width and half-height, and some vertex is on that border (the
// distance is the smallest).
TEST(Framing, EveryFiniteVertexIsInViewAtTheSmallestDistance) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> offset(-1000, 1000), size(0.001f, 50), unit(-1, 1);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const vec3 shift{offset(rng), offset(rng), offset(rng)}, scale{size(rng), size(rng), size(rng)};
        scene s = init_scene();
        for (int o = 0; o < 3; ++o) {
            std::vector<vec3> vertices(1 + rng() % 40);
            for (vec3& v : vertices)
                v = {shift.x + scale.x * unit(rng), shift.y + scale.y * unit(rng), shift.z + scale.z * unit(rng)};
            vertices.push_back({shift.x, shift.y, o == 1 ? nan_f : inf_f});
            add_object(s, vertices);
        }
        s.objects[0].faces = {{0, 0, 0}};
        add_object(s, {{shift.x - 3 * scale.x, shift.y + 2 * scale.y, shift.z}});

        const auto view = frame_scene(s);
        ASSERT_TRUE(view.has_value());
        EXPECT_EQ(view->refused, nullptr);  // six decimals hold scenes of this size
        double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300}, widest = 0;
        for (const mesh_object& o : s.objects)
            for (const vec3& v : o.vertices) {
                if (!std::isfinite(v.x) || !std::isfinite(v.z)) continue;
                const double p[3] = {v.x, v.y, v.z};
                for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
                const testkit::picture_point at = seen(*view, v);
                EXPECT_GT(at.depth, 0);
                widest = std::max({widest, std::abs(at.x), std::abs(at.y)});
            }
        EXPECT_NEAR(widest, framing_share, 1e-9);
        for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(view->look_at[k], (lo[k] + hi[k]) / 2);
    }
}

// Each side frames the scene from its direction: the eye on that side of
// the centre, every vertex in view (seen with the view's own up, which
// looking straight down or up is not +z) and the nearest to the border on
// it.
TEST(Framing, EachSideLooksFromItsDirection) {
    scene s = init_scene();
    add_object(s, {{-3, 1, 0}, {5, 2, 1}, {0, -4, 2}, {1, 1, 9}, {2, 0, -1}});
    const std::pair<view_direction, std::array<double, 3>> sides[] = {
        {view_direction::front, {0, -1, 0}}, {view_direction::back, {0, 1, 0}}, {view_direction::left, {-1, 0, 0}},
        {view_direction::right, {1, 0, 0}},  {view_direction::top, {0, 0, 1}},  {view_direction::bottom, {0, 0, -1}},
        {view_direction::iso, {1, 1, 1}},
    };
    for (const auto& [side, toward] : sides) {
        SCOPED_TRACE(static_cast<int>(side));
        const auto view = frame_points({{s.objects[0].vertices.data(), s.objects[0].vertices.size(), nullptr}}, side);
        ASSERT_TRUE(view.has_value());
        EXPECT_EQ(view->refused, nullptr);
        const double length = std::hypot(toward[0], toward[1], toward[2]);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(view->position[k] - view->look_at[k], view->distance * toward[k] / length, 1e-9);
        double widest = 0;
        for (const vec3& v : s.objects[0].vertices) {
            const double p[3] = {v.x, v.y, v.z};
            const testkit::picture_point at =
                testkit::project(view->position, view->look_at, default_fov, view_aspect_ratio, p, view->up);
            EXPECT_GT(at.depth, 0);
            widest = std::max({widest, std::abs(at.x), std::abs(at.y)});
        }
        EXPECT_NEAR(widest, framing_share, 1e-9);
    }
}
