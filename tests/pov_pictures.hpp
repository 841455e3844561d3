// Scenes converted with --format pov and rendered by the real POV-Ray, and
// where pixels of a kind lie in the picture: what the tests of pictures
// share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/files.hpp"
#include "tests/render_pov.hpp"
#include "tests/run_binary.hpp"

namespace pov {

inline constexpr int width = 160, height = 120;

inline chunks::chunk named_material(const std::string& name, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return chunks::material({chunks::material_name(name), chunks::diffuse(chunks::color24(r, g, b))});
}

// A white light at `at`, with the light's further `children`.
inline chunks::chunk lamp(const std::string& name, chunks::xyz at, std::vector<chunks::chunk> children = {}) {
    children.insert(children.begin(), chunks::color_float(1, 1, 1));
    return chunks::named_object(name, {chunks::light(at, children)});
}

// Converts `scene` (as s.3ds) with --format pov and the `options`, then
// renders it at width x height; `console`, when given, receives what the
// converter said.
inline render_result convert_and_render(const testkit::temp_dir& dir, const chunks::bytes& scene,
                                        const std::vector<std::string>& options = {},
                                        const std::vector<std::string>& render_options = {},
                                        std::string* console = nullptr) {
    testkit::write_file(dir / "s.3ds", scene);
    std::vector<std::string> args = {"-i", "s.3ds", "-o", "s", "--format", "pov"};
    args.insert(args.end(), options.begin(), options.end());
    const e2e::result r = e2e::run(dir.path, args);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    if (console != nullptr) *console = r.out;
    return render(dir.path, "s.pov", width, height, render_options);
}

// Where pixels of a kind are: how many, and their mean column and row.
struct spot {
    int count = 0;
    double x = 0, y = 0;
};

template <typename Is>
spot find(const testkit::picture& p, Is&& is) {
    spot s;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (is(p.at(x, y))) {
                ++s.count;
                s.x += x;
                s.y += y;
            }
    if (s.count > 0) s.x /= s.count, s.y /= s.count;
    return s;
}

inline bool red(const std::array<int, 3>& c) {
    return c[0] > 120 && c[1] < 50 && c[2] < 50;
}
inline bool green(const std::array<int, 3>& c) {
    return c[1] > 120 && c[0] < 50 && c[2] < 50;
}
inline bool blue(const std::array<int, 3>& c) {
    return c[2] > 120 && c[0] < 50 && c[1] < 50;
}
inline int brightness(const std::array<int, 3>& c) {
    return std::max({c[0], c[1], c[2]});
}

}  // namespace pov
