// glTF scenes read back (the JSON and the buffer file's accessors), checked
// by the Khronos glTF-Validator and rendered by Blender's Cycles, both run
// as programs. Tests that need the validator or Blender fail without them
// in CI (CI=true) and are skipped elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "testkit/files.hpp"
#include "testkit/json.hpp"
#include "testkit/ppm.hpp"

namespace gltf {

namespace fs = std::filesystem;

// A .gltf and the buffer file it names beside it.
struct file {
    testkit::json doc;
    std::string buffer;

    // The numbers of accessor `index`, every component of every element
    // one after the other.
    std::vector<double> accessor(std::size_t index) const {
        const testkit::json& a = doc["accessors"][index];
        const testkit::json& view = doc["bufferViews"][a["bufferView"].index()];
        const std::size_t count = a["count"].index();
        const std::string& type = a["type"].text;
        const std::size_t width = type == "SCALAR" ? 1 : type == "VEC2" ? 2 : 3;
        const int component = static_cast<int>(a["componentType"].value);
        std::size_t at = view["byteOffset"].index();
        std::vector<double> out;
        for (std::size_t k = 0; k < count * width; ++k) {
            if (component == 5126) {
                float f;
                std::memcpy(&f, buffer.data() + at, 4);
                out.push_back(f);
                at += 4;
            } else if (component == 5125) {
                std::uint32_t u;
                std::memcpy(&u, buffer.data() + at, 4);
                out.push_back(u);
                at += 4;
            } else {
                std::uint16_t u;
                std::memcpy(&u, buffer.data() + at, 2);
                out.push_back(u);
                at += 2;
            }
        }
        return out;
    }
};

inline std::string percent_decoded(const std::string& uri) {
    std::string out;
    for (std::size_t i = 0; i < uri.size(); ++i)
        if (uri[i] == '%' && i + 2 < uri.size()) {
            out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += uri[i];
        }
    return out;
}

inline file read(const fs::path& path) {
    file f;
    f.doc = testkit::parse_json(testkit::read_file(path));
    if (f.doc.has("buffers"))
        f.buffer = testkit::read_file(path.parent_path() / percent_decoded(f.doc["buffers"][0]["uri"].text));
    return f;
}

inline bool in_ci() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

// The folder of the validator's npm package (installed with
// `npm install --prefix DIR gltf-validator`): $TESSVERT_GLTF_VALIDATOR, else
// ~/.cache/tessvert/gltf-validator/node_modules/gltf-validator.
inline fs::path validator_dir() {
    if (const char* given = std::getenv("TESSVERT_GLTF_VALIDATOR")) return given;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/root") / ".cache/tessvert/gltf-validator/node_modules/gltf-validator";
}

inline bool validator_installed() {
    return std::system("command -v node > /dev/null 2>&1") == 0 && fs::exists(validator_dir() / "package.json");
}

inline bool blender_installed() {
    return std::system("command -v blender > /dev/null 2>&1") == 0;
}

#define REQUIRE_TOOL(installed, what)                                 \
    do {                                                              \
        if (!(installed)) {                                           \
            if (gltf::in_ci()) FAIL() << what << " is not installed"; \
            GTEST_SKIP() << what << " is not installed";              \
        }                                                             \
    } while (0)

#define REQUIRE_VALIDATOR() REQUIRE_TOOL(gltf::validator_installed(), "the glTF validator (npm gltf-validator)")
#define REQUIRE_BLENDER() REQUIRE_TOOL(gltf::blender_installed(), "blender")

// Runs `command` with its output into `log`; its exit status.
inline int run(const std::string& command, const fs::path& log) {
    const int status = std::system((command + " > '" + log.string() + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the validator says of the files: one line per file with its counts
// of errors and warnings, then each of those. Empty when it said nothing
// but "0 errors, 0 warnings" of each.
inline std::string validation_problems(const std::vector<fs::path>& files, const fs::path& dir) {
    std::string command = "node '" TESSVERT_SOURCE_DIR "/tests/gltf/validate.js' '" + validator_dir().string() + "'";
    for (const fs::path& f : files) command += " '" + f.string() + "'";
    const int status = run(command, dir / "validator.log");
    const std::string log = testkit::read_file(dir / "validator.log");
    std::size_t clean = 0;
    for (std::size_t at = log.find(": 0 errors, 0 warnings\n"); at != std::string::npos;
         at = log.find(": 0 errors, 0 warnings\n", at + 1))
        ++clean;
    return status == 0 && clean == files.size() ? std::string() : log;
}

// Renders each scene with Blender's Cycles from its first camera at
// width x height, all in one Blender: the pictures in the order given
// (empty ones when Blender failed, its log in `log`).
inline std::vector<testkit::picture> render(const std::vector<fs::path>& scenes, const fs::path& dir, int width,
                                            int height, std::string& log) {
    std::string command = "blender -b --factory-startup -P '" TESSVERT_SOURCE_DIR "/tests/gltf/render.py' -- " +
                          std::to_string(width) + " " + std::to_string(height) + " 24";
    for (std::size_t k = 0; k < scenes.size(); ++k)
        command += " '" + scenes[k].string() + "' '" + (dir / ("render" + std::to_string(k) + ".ppm")).string() + "'";
    run(command, dir / "blender.log");
    log = testkit::read_file(dir / "blender.log");
    std::vector<testkit::picture> pictures;
    for (std::size_t k = 0; k < scenes.size(); ++k) {
        const fs::path p = dir / ("render" + std::to_string(k) + ".ppm");
        pictures.push_back(fs::exists(p) ? testkit::parse_ppm(testkit::read_file(p)) : testkit::picture{});
    }
    return pictures;
}

}  // namespace gltf
