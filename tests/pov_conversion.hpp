// A 3DS file converted to a POV-Ray scene by the real binary, then rendered
// by the real POV-Ray, for end-to-end tests that look at the picture.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/render_pov.hpp"
#include "tests/run_binary.hpp"

namespace pov {

struct conversion_render {
    e2e::result conversion;
    render_result render;
};

// Converts `input` with --format pov and the `options` into `output` (a
// base name; both relative to `dir`, folders allowed), which must succeed,
// then renders the scene in its folder, width x height, with
// `render_options`, which must render cleanly.
inline conversion_render convert_and_render(const std::filesystem::path& dir, const std::string& input,
                                            const std::string& output, const std::vector<std::string>& options = {},
                                            const std::vector<std::string>& render_options = {}, int width = 160,
                                            int height = 120) {
    std::vector<std::string> args = {"-i", input, "-o", output, "--format", "pov"};
    args.insert(args.end(), options.begin(), options.end());
    conversion_render r;
    r.conversion = e2e::run(dir, args);
    EXPECT_EQ(r.conversion.exit_code, 1) << r.conversion.out;
    const std::filesystem::path scene = dir / (output + ".pov");
    r.render = render(scene.parent_path(), scene.filename().string(), width, height, render_options);
    EXPECT_CLEAN_RENDER(r.render);
    return r;
}

}  // namespace pov
