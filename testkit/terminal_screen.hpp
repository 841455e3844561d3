// What a terminal shows for the bytes a program wrote to it: the bytes are
// played into a real terminal emulator (tmux, on a server of its own) and
// its screen is read back, so that a test sees what a user would see
// rather than the bytes themselves.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testkit/files.hpp"

namespace testkit {

inline bool tmux_installed() {
    return std::system("command -v tmux > /dev/null 2>&1") == 0;
}

// The rows of a terminal `columns` x `rows` after it has shown `bytes`
// (with the usual line discipline: a line feed also returns the cursor),
// trailing blanks of each row and empty rows at the bottom left out. None
// when tmux could not be run or did not finish within ten seconds.
inline std::optional<std::vector<std::string>> terminal_screen(const std::string& bytes, int columns = 200,
                                                               int rows = 50) {
    const temp_dir dir;
    std::ofstream(dir / "bytes", std::ios::binary) << bytes;
    const std::string tmux = "env -u TMUX tmux -f /dev/null -S '" + (dir / "socket").string() + "' ";
    // A title set after the bytes tells that the terminal has taken them all.
    const std::string show = "cat bytes; printf '\\033]2;shown\\007'; exec sleep 60";
    const std::string start = "cd '" + dir.path.string() + "' && " + tmux + "new-session -d -s screen -x " +
                              std::to_string(columns) + " -y " + std::to_string(rows) + " \"" + show + "\"";
    if (std::system(start.c_str()) != 0) return std::nullopt;
    const std::string title =
        tmux + "display-message -p -t screen '#{pane_title}' > '" + (dir / "title").string() + "'";
    bool shown = false;
    for (int attempt = 0; attempt < 1000 && !shown; ++attempt) {
        shown = std::system(title.c_str()) == 0 && read_file(dir / "title") == "shown\n";
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string capture = tmux + "capture-pane -p -t screen > '" + (dir / "screen").string() + "'";
    const bool captured = shown && std::system(capture.c_str()) == 0;
    const bool stopped = std::system((tmux + "kill-server").c_str()) == 0;
    if (!captured || !stopped) return std::nullopt;
    std::vector<std::string> screen;
    std::istringstream in(read_file(dir / "screen"));
    for (std::string row; std::getline(in, row);) {
        row.erase(row.find_last_not_of(' ') + 1);
        screen.push_back(row);
    }
    while (!screen.empty() && screen.back().empty()) screen.pop_back();
    return screen;
}

// The rows a log's text takes on such a terminal when nothing rewrites
// them: its lines, tabs stopping at every eighth column, without empty rows
// at the end.
inline std::vector<std::string> rows_of(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string row;
        for (const char c : line)
            if (c == '\t')
                row.append(8 - row.size() % 8, ' ');
            else
                row += c;
        rows.push_back(row);
    }
    while (!rows.empty() && rows.back().empty()) rows.pop_back();
    return rows;
}

}  // namespace testkit
