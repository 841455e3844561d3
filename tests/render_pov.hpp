// Renders a scene with the real POV-Ray (the `povray` program) in a test's
// directory, and hands back its picture and what it said.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>

#include "testkit/console.hpp"
#include "testkit/files.hpp"
#include "testkit/ppm.hpp"

namespace pov {

namespace fs = std::filesystem;

inline bool povray_installed() {
    return std::system("command -v povray > /dev/null 2>&1") == 0;
}

// In CI (CI=true) a test that needs POV-Ray fails without it; elsewhere it
// is skipped.
#define REQUIRE_POVRAY()                                                                         \
    do {                                                                                         \
        if (!pov::povray_installed()) {                                                          \
            const char* ci = std::getenv("CI");                                                  \
            if (ci != nullptr && std::string(ci) == "true") FAIL() << "povray is not installed"; \
            GTEST_SKIP() << "povray is not installed (Debian: apt-get install povray)";          \
        }                                                                                        \
    } while (0)

struct render_result {
    int status = -1;                      // povray's exit status
    std::string log;                      // everything it printed
    std::vector<std::string> complaints;  // its warning and error lines
    testkit::picture picture;
};

// Renders `scene` (a file in `dir`) at width x height without
// antialiasing, with the `extra` arguments. POV-Ray gets a home of its own
// with an empty user configuration, so that it reads no user's settings and
// has nothing to complain of but the scene.
inline render_result render(const fs::path& dir, const std::string& scene, int width, int height,
                            const std::vector<std::string>& extra = {}) {
    const fs::path home = dir / "povray-home";
    fs::create_directories(home / ".povray" / "3.7");
    std::ofstream(home / ".povray" / "3.7" / "povray.conf").close();
    std::string command = "cd '" + dir.string() + "' && HOME='" + home.string() + "' povray -D -A +FP +Orender.ppm +W" +
                          std::to_string(width) + " +H" + std::to_string(height);
    for (const std::string& a : extra) command += " '" + a + "'";
    command += " '" + scene + "' > render.log 2>&1";
    render_result r;
    const int status = std::system(command.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.log = testkit::read_file(dir / "render.log");
    static const std::regex complaint(R"((Warning|Error)\s*:|cannot open)");
    std::istringstream lines(r.log);
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, complaint)) r.complaints.push_back(line);
    r.picture = testkit::parse_ppm(testkit::read_file(dir / "render.ppm"));
    fs::remove(dir / "render.ppm");
    return r;
}

// Renders the scene named `scene` in each of `dirs`, as render() does,
// several at once: POV-Ray spends most of a small render waiting. The k-th
// render gets extras[k] when given. A folder renders once: its picture and
// log have fixed names.
inline std::vector<render_result> render_all(const std::vector<fs::path>& dirs, const std::string& scene, int width,
                                             int height, const std::vector<std::vector<std::string>>& extras = {}) {
    std::vector<render_result> pictures(dirs.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> renderers;
    for (int t = 0; t < 8; ++t)
        renderers.emplace_back([&] {
            for (std::size_t k; (k = next++) < dirs.size();)
                pictures[k] =
                    render(dirs[k], scene, width, height, k < extras.size() ? extras[k] : std::vector<std::string>{});
        });
    for (std::thread& t : renderers) t.join();
    return pictures;
}

// A clean render: exit status 0, a picture, nothing to complain of.
#define EXPECT_CLEAN_RENDER(r)                                                  \
    do {                                                                        \
        EXPECT_EQ((r).status, 0) << (r).log;                                    \
        EXPECT_GT((r).picture.width, 0) << (r).log;                             \
        EXPECT_TRUE((r).complaints.empty()) << testkit::joined((r).complaints); \
    } while (0)

}  // namespace pov
