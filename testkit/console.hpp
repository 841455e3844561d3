// What a conversion said: a reporter that records every message, and
// readers of console text (warnings, the statistics).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// The console lines that begin with `prefix`.
inline std::vector<std::string> lines_with(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

inline std::vector<std::string> warning_lines(const std::string& out) {
    return lines_with(out, " Warning: ");
}

}  // namespace testkit
