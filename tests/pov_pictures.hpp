// Scenes converted with --format pov and rendered by the real POV-Ray, and
// where pixels of a kind lie in the picture: what the tests of pictures
// share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/chunk_builder.hpp"
#include "testkit/files.hpp"
#include "tests/pov_conversion.hpp"

namespace pov {

inline constexpr int width = 160, height = 120;

// A white light at `at`, with the light's further `children`.
inline chunks::chunk lamp(const std::string& name, chunks::xyz at, std::vector<chunks::chunk> children = {}) {
    children.insert(children.begin(), chunks::color_float(1, 1, 1));
    return chunks::named_object(name, {chunks::light(at, children)});
}

// Writes `scene` as s.3ds, converts it with --format pov and the
// `options`, then renders it at width x height; `console`, when given,
// receives what the converter said.
inline render_result render_scene(const testkit::temp_dir& dir, const chunks::bytes& scene,
                                  const std::vector<std::string>& options = {},
                                  const std::vector<std::string>& render_options = {}, std::string* console = nullptr) {
    testkit::write_file(dir / "s.3ds", scene);
    conversion_render r = convert_and_render(dir.path, "s.3ds", "s", options, render_options, width, height);
    if (console != nullptr) *console = r.conversion.out;
    return r.render;
}

// A scene to convert with --format pov and the options.
struct scene_job {
    chunks::bytes scene;
    std::vector<std::string> options;
};

// Converts each job's scene (written as k/s.3ds for the k-th) into a
// folder of its own (k/s.pov), then renders them all at width x height,
// several at once. `consoles`, when given, receives what the converter
// said each time.
inline std::vector<render_result> render_scenes(const testkit::temp_dir& dir, const std::vector<scene_job>& jobs,
                                                std::vector<std::string>* consoles = nullptr) {
    std::vector<std::filesystem::path> folders;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        folders.push_back(dir / std::to_string(k));
        std::filesystem::create_directories(folders.back());
        testkit::write_file(folders.back() / "s.3ds", jobs[k].scene);
        std::vector<std::string> args = {"-i", "s.3ds", "-o", "s", "--format", "pov"};
        args.insert(args.end(), jobs[k].options.begin(), jobs[k].options.end());
        const e2e::result r = e2e::run(folders.back(), args);
        EXPECT_EQ(r.exit_code, 1) << r.out;
        if (consoles != nullptr) consoles->push_back(r.out);
    }
    return render_all(folders, "s.pov", width, height);
}

// The same for one scene converted once per set of `options`.
inline std::vector<render_result> render_scenes(const testkit::temp_dir& dir, const chunks::bytes& scene,
                                                const std::vector<std::vector<std::string>>& options,
                                                std::vector<std::string>* consoles = nullptr) {
    std::vector<scene_job> jobs;
    for (const std::vector<std::string>& o : options) jobs.push_back({scene, o});
    return render_scenes(dir, jobs, consoles);
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
