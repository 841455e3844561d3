// How far a long run is: counts that the work advances, and a line on a
// terminal that shows them, rewritten in place.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tessvert {

// What a run has done so far. The run owns it; the writers advance
// faces_written as they write, from any thread.
struct run_progress {
    std::atomic<std::uint64_t> faces_written{0};
    std::atomic<std::uint64_t> faces_total{0};  // of the conversion at hand; 0 while it is read
    std::atomic<std::uint32_t> files_done{0};
    std::uint32_t files_total = 0;  // the files of a batch; 0 for one conversion
};

// Standard output, where a progress line may stand: a message printed
// through it first clears the line, so that the messages read as if the
// line had never been there.
struct console_output {
    std::mutex mutex;
    std::size_t line_width = 0;  // of the progress line on the terminal; 0: none
};

// Prints `text` (a whole message) after clearing the progress line.
void print_message(console_output& out, std::string_view text);

// The line that tells `p`, without a line end: the faces written of the
// total, and for a batch the files done of the total.
std::string progress_text(const run_progress& p);

// Shows `progress_text` on the terminal from one second after `start`
// until `stop`, rewritten a few times a second; `stop` clears it. Its
// thread never takes the termination signals.
struct progress_display {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;

    progress_display() = default;
    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;
    ~progress_display();  // stops it
};

void start_progress(progress_display& d, console_output& out, const run_progress& p);
void stop_progress(progress_display& d, console_output& out);

}  // namespace tessvert
