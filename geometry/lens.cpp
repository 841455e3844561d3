// Focal length to field of view: piecewise linear between tabulated pairs,
// then scaled by the single-precision fov_scale widened to double.
#include "geometry/lens.hpp"

#include <array>
#include <cstddef>

namespace tessvert {

namespace {

constexpr std::size_t table_size = 13;

// Focal lengths (mm), ascending, and the angle (degrees) for each.
constexpr std::array<double, table_size> lens_table = {15, 17, 24, 35, 50, 85, 100, 135, 200, 500, 625, 800, 1000};
constexpr std::array<double, table_size> fov_table = {115, 102, 84, 63, 46, 28, 24, 18, 12, 5, 4, 3.125, 2.5};

}  // namespace

double lens_to_fov(float lens) {
    double x = static_cast<double>(lens);
    // Ordered comparisons: NaN passes both untouched.
    if (x < lens_table.front()) {
        x = lens_table.front();
    } else if (x > lens_table.back()) {
        x = lens_table.back();
    }

    // First entry above x; the last segment for x == 1000 and for NaN. As
    // x >= 15 here (or NaN), j is at least 1.
    std::size_t j = table_size - 1;
    for (std::size_t i = 0; i < table_size; ++i) {
        if (x < lens_table[i]) {
            j = i;
            break;
        }
    }

    const double d = fov_table[j] - fov_table[j - 1];
    const double p = d * (x - lens_table[j - 1]);
    const double q = p / (lens_table[j] - lens_table[j - 1]);
    const double r = q + fov_table[j - 1];
    return r * static_cast<double>(fov_scale);
}

}  // namespace tessvert
