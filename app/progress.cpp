#include "app/progress.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "app/runtime/signals.hpp"

namespace tessvert {

namespace {

void put(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Overwrites the line with blanks and returns to its start; the caller
// holds the mutex.
void clear_line(console_output& out) {
    if (out.line_width == 0) return;
    std::string blank(out.line_width + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    put(blank);
    out.line_width = 0;
    std::fflush(stdout);
}

void show_line(console_output& out, const std::string& line) {
    const std::lock_guard lock(out.mutex);
    // A shorter line leaves no tail of the longer one before it.
    std::string text = "\r" + line;
    if (line.size() < out.line_width) text.append(out.line_width - line.size(), ' ');
    put(text);
    out.line_width = std::max(out.line_width, line.size());
    std::fflush(stdout);
}

}  // namespace

void print_message(console_output& out, std::string_view text) {
    const std::lock_guard lock(out.mutex);
    clear_line(out);
    put(text);
}

std::string progress_text(const run_progress& p) {
    const std::uint64_t written = p.faces_written.load(std::memory_order_relaxed);
    std::string text = " Warning: progress: ";
    if (p.files_total > 0) {
        text += std::to_string(p.files_done.load(std::memory_order_relaxed)) + " of " + std::to_string(p.files_total) +
                " files converted, " + std::to_string(written) + " faces written";
        return text;
    }
    const std::uint64_t total = p.faces_total.load(std::memory_order_relaxed);
    if (total == 0) return text + "converting the file";
    const std::uint64_t shown = std::min(written, total);
    return text + std::to_string(shown) + " of " + std::to_string(total) + " faces written (" +
           std::to_string(shown * 100 / total) + "%)";
}

void start_progress(progress_display& d, console_output& out, const run_progress& p) {
    d.stopping = false;
    // The thread starts with the termination signals blocked: they go to
    // the thread whose handler knows when the outputs are put in place.
    const termination_signals_held held;
    try {
        d.thread = std::thread([&d, &out, &p] {
            using namespace std::chrono_literals;
            std::unique_lock lock(d.mutex);
            // A run that ends within a second shows nothing.
            if (d.wake.wait_for(lock, 1s, [&] { return d.stopping; })) return;
            do {
                lock.unlock();
                show_line(out, progress_text(p));
                lock.lock();
            } while (!d.wake.wait_for(lock, 250ms, [&] { return d.stopping; }));
        });
    } catch (const std::system_error&) {
        // No thread: no progress line; the run goes on.
    }
}

void stop_progress(progress_display& d, console_output& out) {
    if (!d.thread.joinable()) return;
    {
        const std::lock_guard lock(d.mutex);
        d.stopping = true;
    }
    d.wake.notify_all();
    d.thread.join();
    const std::lock_guard lock(out.mutex);
    clear_line(out);
}

progress_display::~progress_display() {
    if (thread.joinable()) {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }
}

}  // namespace tessvert
