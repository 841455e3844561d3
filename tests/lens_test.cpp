// Focal length to field of view. Results are compared exactly: each literal
// below is the shortest decimal that reads back as the same double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "geometry/lens.hpp"

namespace tessvert {
namespace {

constexpr double scale = static_cast<double>(fov_scale);

TEST(LensToFov, ScaleIsTheSinglePrecisionFactor) {
    // Widened from float, not 1 / 1.175 in double.
    EXPECT_EQ(scale, 0.8510638475418091);
    EXPECT_NE(scale, 1.0 / 1.175);
}

TEST(LensToFov, InterpolatedValues) {
    EXPECT_EQ(lens_to_fov(16.0f), 92.34042745828629);
    EXPECT_EQ(lens_to_fov(28.0f), 64.99033017591996);
    EXPECT_EQ(lens_to_fov(60.0f), 34.77203719956534);
    EXPECT_EQ(lens_to_fov(300.0f), 8.226950526237488);
}

TEST(LensToFov, TableEntriesGiveTheirAngleScaled) {
    EXPECT_EQ(lens_to_fov(15.0f), 97.87234246730804);
    EXPECT_EQ(lens_to_fov(35.0f), 53.61702239513397);
    EXPECT_EQ(lens_to_fov(50.0f), 39.14893698692322);
    EXPECT_EQ(lens_to_fov(135.0f), 15.319149255752563);
    EXPECT_EQ(lens_to_fov(1000.0f), 2.1276596188545227);

    const float lenses[] = {15, 17, 24, 35, 50, 85, 100, 135, 200, 500, 625, 800, 1000};
    const double angles[] = {115, 102, 84, 63, 46, 28, 24, 18, 12, 5, 4, 3.125, 2.5};
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(lens_to_fov(lenses[i]), angles[i] * scale) << "lens " << lenses[i];
    }
}

TEST(LensToFov, ShortLensesClampTo15) {
    const double at15 = 97.87234246730804;
    EXPECT_EQ(lens_to_fov(10.0f), at15);
    EXPECT_EQ(lens_to_fov(0.0f), at15);
    EXPECT_EQ(lens_to_fov(-0.0f), at15);
    EXPECT_EQ(lens_to_fov(-35.0f), at15);
    EXPECT_EQ(lens_to_fov(-std::numeric_limits<float>::infinity()), at15);
    EXPECT_EQ(lens_to_fov(std::nextafter(15.0f, 0.0f)), at15);
}

TEST(LensToFov, LongLensesClampTo1000) {
    const double at1000 = 2.1276596188545227;
    EXPECT_EQ(lens_to_fov(2000.0f), at1000);
    EXPECT_EQ(lens_to_fov(std::numeric_limits<float>::max()), at1000);
    EXPECT_EQ(lens_to_fov(std::numeric_limits<float>::infinity()), at1000);
    // Just below 1000 the last segment still interpolates, a little wider.
    EXPECT_GT(lens_to_fov(std::nextafter(1000.0f, 0.0f)), at1000);
}

TEST(LensToFov, NaNStaysNaN) {
    EXPECT_TRUE(std::isnan(lens_to_fov(std::numeric_limits<float>::quiet_NaN())));
}

TEST(LensToFov, WidestAnglePrintsAsSixDecimals) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%f", lens_to_fov(15.0f));
    EXPECT_EQ(std::string(buf), "97.872342");
}

TEST(LensToFov, ContinuousAndDecreasingAcrossSegments) {
    // Walks every float step across each table entry: no jump at the
    // boundaries, and a longer lens never widens the view.
    const float lenses[] = {17, 24, 35, 50, 85, 100, 135, 200, 500, 625, 800};
    for (float lens : lenses) {
        const double below = lens_to_fov(std::nextafter(lens, 0.0f));
        const double at = lens_to_fov(lens);
        const double above = lens_to_fov(std::nextafter(lens, 2000.0f));
        EXPECT_GT(below, at) << lens;
        EXPECT_GT(at, above) << lens;
        EXPECT_NEAR(below, at, 1e-4) << lens;
        EXPECT_NEAR(above, at, 1e-4) << lens;
    }
    double previous = lens_to_fov(15.0f);
    for (float lens = 15.5f; lens <= 1000.0f; lens += 0.5f) {
        const double fov = lens_to_fov(lens);
        EXPECT_LT(fov, previous) << lens;
        previous = fov;
    }
}

}  // namespace
}  // namespace tessvert
