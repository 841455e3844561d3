// What a conversion said: a reporter that records every message, and
// readers of console text (warnings, the statistics).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/report.hpp"

namespace testkit {

// Records the messages handed to `report`, in order; `text()` is what the
// console would have shown.
struct recorder {
    std::vector<std::pair<tessvert::message_kind, std::string>> messages;
    tessvert::reporter report{
        [this](tessvert::message_kind kind, std::string_view text) { messages.emplace_back(kind, std::string(text)); }};

    recorder() = default;
    recorder(const recorder&) = delete;
    recorder& operator=(const recorder&) = delete;

    std::string text() const {
        std::string all;
        for (const auto& m : messages) all += m.second;
        return all;
    }
};

// Lines joined, each ended with a line feed, for a test's message.
inline std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
}

// The console lines that begin with `prefix`.
inline std::vector<std::string> lines_with(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

// The advice line of a run on a file without cameras: a hint, not a
// problem of the file.
inline const std::string no_camera_advice =
    " Warning: the file has no camera: the default view from (20, 20, 20) is used; --frame frames the whole scene";

// The advice line of a run on a file with neither a light nor a camera.
inline const std::string bare_scene_advice =
    " Warning: the file has no light: --headlight adds one; the file has no camera: the default view from (20, 20, "
    "20) is used; --frame frames the whole scene";

// The line of a run that wrote no face.
inline const std::string nothing_drawn_warning =
    " Warning: nothing was drawn: no face was written, as the file holds no mesh with faces that could be read";

// Whether a console line is advice: what the default output does not show,
// and the options that show it; that the file's lights light nothing, or
// that the keyframer places objects elsewhere, and the option for it.
inline bool is_advice_line(const std::string& line) {
    for (const char* start :
         {" Warning: the output does not show the file's ", " Warning: the file has no light: ",
          " Warning: the file has no camera: ", " Warning: no light of the file lights a face ",
          " Warning: every face is black but for its highlights ", " Warning: the keyframer's frame 0 places "})
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

// How many advice lines carry the camera-less hint.
inline std::size_t camera_hints(const std::string& out) {
    const std::string hint = no_camera_advice.substr(std::string(" Warning: ").size());
    std::size_t n = 0;
    for (const std::string& line : lines_with(out, " Warning: "))
        if (is_advice_line(line) && line.ends_with(hint)) ++n;
    return n;
}

// The " Warning: " lines, with or without the advice line.
inline std::vector<std::string> warning_lines(const std::string& out, bool with_advice = true) {
    std::vector<std::string> lines = lines_with(out, " Warning: ");
    if (!with_advice) std::erase_if(lines, is_advice_line);
    return lines;
}

// How many " Warning: " lines contain `word` (all of them for ""), the
// advice line left out.
inline std::size_t count_warnings(const std::string& out, const std::string& word = "") {
    std::size_t n = 0;
    for (const std::string& line : warning_lines(out, false))
        if (line.find(word) != std::string::npos) ++n;
    return n;
}

// The figures of the statistics a run prints at its end.
struct statistics {
    long cameras = -1, lights = -1, materials = -1, objects = -1, faces = -1;
    auto operator<=>(const statistics&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const statistics& s) {
    return os << s.cameras << " cameras, " << s.lights << " lights, " << s.materials << " materials, " << s.objects
              << " objects, " << s.faces << " faces";
}

// The statistics as the program prints them for `input`.
inline std::string statistics_text(const std::string& input, const statistics& s) {
    return "\n Scene statistics for " + input + "\n    Number of cameras:\t\t" + std::to_string(s.cameras) +
           "\n    Number of lights:\t\t" + std::to_string(s.lights) + "\n    Number of materials:\t" +
           std::to_string(s.materials) + "\n    Number of objects:\t\t" + std::to_string(s.objects) +
           "\n    Number of faces:\t\t" + std::to_string(s.faces) + "\n";
}

// The whole number that follows the first `label` in `text`; -1 when the
// label is not there.
inline long number_after(const std::string& text, const std::string& label) {
    std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + label.size(), nullptr, 10);
}

// The statistics read back from console text; none when it holds none.
inline std::optional<statistics> parse_statistics(const std::string& out) {
    if (out.find("\n Scene statistics for ") == std::string::npos) return std::nullopt;
    statistics s;
    s.cameras = number_after(out, "    Number of cameras:\t\t");
    s.lights = number_after(out, "    Number of lights:\t\t");
    s.materials = number_after(out, "    Number of materials:\t");
    s.objects = number_after(out, "    Number of objects:\t\t");
    s.faces = number_after(out, "    Number of faces:\t\t");
    if (s.cameras < 0 || s.lights < 0 || s.materials < 0 || s.objects < 0 || s.faces < 0) return std::nullopt;
    return s;
}

}  // namespace testkit
