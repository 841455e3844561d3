// The console messages of a conversion. The reader, the geometry and the
// writers never print: they hand each message to the run's reporter, in the
// order things happen, and the program decides where it goes (the console
// prints each one as it arrives; tests record them).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tessvert {

// What a message is, so that the console can choose what to show.
enum class message_kind {
    progress,  // what the run is doing and what it wrote
    advice,    // a hint the user may not need (a quiet run leaves it out)
    warning,   // the file is odd, or something was left out or changed
    error,     // something could not be done
};

// Receives exact console text: each message carries its own line ends and
// any empty line before it.
struct reporter {
    std::function<void(message_kind, std::string_view)> emit;
};

inline void report(reporter& r, message_kind kind, std::string_view text) {
    if (r.emit) r.emit(kind, text);
}

// The line " Warning: <what>".
inline void report_warning(reporter& r, std::string_view what) {
    std::string line = " Warning: ";
    line.append(what);
    line += '\n';
    report(r, message_kind::warning, line);
}

// The operating system's reason for a failed open, read or write of `path`,
// " Warning: <path>: <reason>", on the line after the message that says
// what failed. `error_number` is the errno value of the failure.
void report_system_reason(reporter& r, const std::string& path, int error_number);

// Text taken from the file (names of objects, materials, maps, nodes) as it
// may be printed: a line end or a terminal escape in a name must not forge
// a console line or change the terminal. Tab, line feed and carriage return
// become \t, \n and \r; every other byte below 0x20, 0x7F and every byte
// from 0x80 up (the file's names are in old single-byte code pages, never
// UTF-8) becomes \xNN in upper-case hex; a double quote becomes \", so
// that a quoted name ends where it seems to. Other bytes stay as they are.
std::string printable(std::string_view text);

}  // namespace tessvert
