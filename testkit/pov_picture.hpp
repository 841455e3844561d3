// Rendering with the real POV-Ray in tests: runs povray on a scene file in
// its own folder and reads the picture back (binary PPM, 8 bits a channel).
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testkit {

struct picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows from the top, 3 bytes a pixel
    std::array<int, 3> at(int x, int y) const {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// Reads a binary PPM ("P6", comments allowed, maximum 255); an empty
// picture when the file is not one.
inline picture read_ppm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    picture p;
    std::size_t at = 0;
    std::vector<long> fields;
    std::string magic;
    while (fields.size() < 3 && at < data.size()) {
        while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        if (at < data.size() && data[at] == '#') {
            while (at < data.size() && data[at] != '\n') ++at;
            continue;
        }
        const std::size_t start = at;
        while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        const std::string word = data.substr(start, at - start);
        if (magic.empty())
            magic = word;
        else
            fields.push_back(std::strtol(word.c_str(), nullptr, 10));
    }
    if (magic != "P6" || fields.size() != 3 || fields[2] != 255 || at >= data.size()) return {};
    ++at;  // the one white-space byte before the pixels
    const std::size_t bytes = 3 * static_cast<std::size_t>(fields[0]) * static_cast<std::size_t>(fields[1]);
    if (data.size() - at < bytes) return {};
    p.width = static_cast<int>(fields[0]);
    p.height = static_cast<int>(fields[1]);
    p.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                 data.begin() + static_cast<std::ptrdiff_t>(at + bytes));
    return p;
}

// Renders `scene` (a .pov file) in its own folder at width x height, without
// anti-aliasing, into a PPM beside it. `log` gets what POV-Ray printed.
// The exit status of povray; its picture, when it made one, is read with
// read_ppm from `picture_path`.
inline int render_pov(const std::filesystem::path& scene, int width, int height, std::filesystem::path& picture_path,
                      std::string* log = nullptr) {
    const std::filesystem::path dir = scene.parent_path();
    picture_path = dir / (scene.stem().string() + "-render.ppm");
    const std::filesystem::path log_path = dir / (scene.stem().string() + "-render.log");
    const std::string command = "cd '" + dir.string() + "' && povray -D -V +FP +W" + std::to_string(width) + " +H" +
                                std::to_string(height) + " '+I" + scene.filename().string() + "' '+O" +
                                picture_path.filename().string() + "' >'" + log_path.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    if (log != nullptr) {
        std::ifstream in(log_path);
        log->assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testkit
