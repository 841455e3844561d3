#include "app/batch.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <csignal>

#include "app/convert.hpp"
#include "app/runtime/signals.hpp"
#include "app/runtime/workers.hpp"
#include "writers/common/live_temporaries.hpp"

namespace tessvert {

namespace {

namespace fs = std::filesystem;

struct batch_file {
    std::string input;
    run_options options;  // the run's, with this input and its outputs
};

// What one file's conversion came to, told once every file before it is.
struct file_outcome {
    bool done = false;
    bool converted = false;
    bool drew_nothing = false;  // converted, but without a face
    std::int64_t faces = 0;
    std::vector<std::pair<message_kind, std::string>> messages;
};

bool has_3ds_extension(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".3ds";
}

// The inputs as the command line gives them, each folder replaced by the
// 3DS files directly inside it, in name order. Folders that hold none are
// named in `empty_folders`.
std::vector<std::string> expand_inputs(const std::vector<std::string>& given, std::vector<std::string>& empty_folders) {
    std::vector<std::string> inputs;
    for (const std::string& arg : given) {
        std::error_code ec;
        if (arg.empty() || !fs::is_directory(arg, ec)) {
            inputs.push_back(arg);
            continue;
        }
        std::vector<std::string> names;
        for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code type_ec;
            if (it->is_regular_file(type_ec) && has_3ds_extension(it->path())) names.push_back(it->path().filename());
        }
        std::sort(names.begin(), names.end());
        if (names.empty()) empty_folders.push_back(arg);
        const std::string folder = arg.back() == '/' ? arg : arg + "/";
        for (const std::string& name : names) inputs.push_back(folder + name);
    }
    return inputs;
}

// The files of the batch, or an empty list and `problem` when the command
// line cannot make a batch.
std::vector<batch_file> plan_batch(const run_options& options, std::vector<std::string>& empty_folders,
                                   std::string& problem) {
    if (options.output_given) {
        problem =
            "--batch writes each file's outputs into its folder, named after the file; -o cannot be given with it";
        return {};
    }
    const std::vector<std::string> inputs = expand_inputs(options.inputs, empty_folders);
    if (inputs.empty()) {
        problem = "--batch " + options.batch_folder + " has no input: give 3DS files, or folders that hold them";
        return {};
    }
    const std::string folder = options.batch_folder.ends_with('/') ? options.batch_folder : options.batch_folder + "/";
    std::vector<batch_file> files;
    std::map<std::string, std::string> first_with_base;
    for (const std::string& input : inputs) {
        batch_file f{input, options};
        f.options.input_path = input;
        f.options.input_given = 1;
        set_output_base(f.options, output_base_for(folder, input));
        const auto [at, fresh] = first_with_base.emplace(f.options.base_name, input);
        if (!fresh) {
            problem = "--batch: " + at->second + " and " + input + " would both be written as " + f.options.scene_path +
                      " and " + f.options.include_path + "; nothing was converted";
            return {};
        }
        files.push_back(std::move(f));
    }
    return files;
}

// Converts one file, its messages held in `result`.
void convert_file(const batch_file& f, const conversion_share& share, file_outcome& result) {
    reporter held{[&result](message_kind kind, std::string_view text) { result.messages.emplace_back(kind, text); }};
    try {
        if (!outputs_may_be_written(f.options, held)) return;
        scene s = init_scene();
        const conversion_result r = convert(f.options, s, held, share);
        result.converted = r.loaded && r.exit_code == 1;
        result.drew_nothing = report_nothing_drawn(r, held);
        result.faces = r.written_faces;
    } catch (const std::bad_alloc&) {
        result.converted = false;
        report(held, message_kind::error, " there was not enough memory to convert it\n");
    } catch (const std::exception& e) {
        result.converted = false;
        report(held, message_kind::error, std::string(" ") + e.what() + "\n");
    }
}

// A message's lines without their leading blanks, and without the
// " Warning: " that every added line begins with.
std::vector<std::string> message_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (line.starts_with("Warning: ")) line.remove_prefix(9);
        if (!line.empty()) lines.emplace_back(line);
    }
    return lines;
}

// One file's lines, in input order: its warnings and advice, then what it
// came to. The conversion's own progress lines are left out.
void tell_file(reporter& console, const batch_file& f, const file_outcome& r) {
    const std::string name = printable(f.input);
    std::string reason;
    for (const auto& [kind, text] : r.messages) {
        if (kind == message_kind::progress) continue;
        for (const std::string& line : message_lines(text)) {
            if (line == "An error occured") continue;
            if (kind == message_kind::error) {
                if (reason.empty()) reason = line;
                continue;
            }
            report(console, kind, " Warning: " + name + ": " + line + "\n");
        }
    }
    if (r.converted) {
        report(console, message_kind::progress,
               " Warning: " + name + ": " + std::to_string(r.faces) + " faces written to " +
                   printable(f.options.scene_path) + " and " + printable(f.options.include_path) + "\n");
    } else {
        report(console, message_kind::error,
               " Warning: " + name + ": not converted" + (reason.empty() ? "" : ": " + reason) + "\n");
    }
}

// While it lives, the termination signals are taken by a thread of their
// own instead of a handler: it marks the batch interrupted, waits until no
// conversion is opening or putting its outputs in place (none opens or
// commits any after that), removes the temporaries and ends the process by
// the signal. The batch's threads, started while it lives, never take them.
// The thread learns of a signal through a descriptor that becomes readable
// while the signal still waits, and marks the batch before it takes the
// signal: a conversion that asks in between sees the signal waiting, never
// neither of the two.
struct signal_watch {
    std::shared_mutex& commits;
    std::atomic<bool>& interrupted;
    sigset_t before{};
    int waiting = -1;  // readable while a termination signal waits
    std::atomic<bool> stopping{false};
    std::thread thread;

    signal_watch(std::shared_mutex& commits, std::atomic<bool>& interrupted)
        : commits(commits), interrupted(interrupted) {
        const sigset_t set = termination_signals();
        ::pthread_sigmask(SIG_BLOCK, &set, &before);
        waiting = ::signalfd(-1, &set, SFD_CLOEXEC);
        try {
            if (waiting >= 0) thread = std::thread([this] { watch(); });
        } catch (const std::system_error&) {}
        // No thread to take them: the handler does, as for one file.
        if (!thread.joinable()) ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    ~signal_watch() {
        stopping = true;
        if (thread.joinable()) thread.join();
        if (waiting >= 0) ::close(waiting);
        // A signal that came after the watch stopped is taken by the
        // handler now.
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    signal_watch(const signal_watch&) = delete;
    signal_watch& operator=(const signal_watch&) = delete;

    void watch() {
        pollfd signal_waits{waiting, POLLIN, 0};
        while (!stopping) {
            if (::poll(&signal_waits, 1, 50) <= 0) continue;
            // No file starts, or puts its outputs in place, from now on;
            // one that is putting them in place finishes first.
            interrupted = true;
            signalfd_siginfo taken{};
            if (::read(waiting, &taken, sizeof taken) != static_cast<ssize_t>(sizeof taken)) continue;
            const int sig = static_cast<int>(taken.ssi_signo);
            const std::unique_lock alone(commits);
            remove_live_temporaries();
            std::fflush(stdout);
            ::signal(sig, SIG_DFL);
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, sig);
            ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
            ::raise(sig);
        }
    }
};

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

}  // namespace

bool report_nothing_drawn(const conversion_result& result, reporter& report) {
    if (!result.loaded || result.exit_code != 1 || result.written_faces != 0) return false;
    report_warning(report,
                   "nothing was drawn: no face was written, as the file holds no mesh with faces that could "
                   "be read");
    return true;
}

bool make_output_folder(const std::string& folder, reporter& console) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec && fs::is_directory(folder, ec)) return true;
    report_warning(console, "the folder " + printable(folder) + " cannot be made" + (ec ? ": " + ec.message() : "") +
                                "; nothing was converted");
    return false;
}

batch_end run_batch(const run_options& options, reporter& console, console_output& out, bool show_progress,
                    std::string& problem) {
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::string> empty_folders;
    std::vector<batch_file> files = plan_batch(options, empty_folders, problem);
    if (files.empty()) return batch_end::wrong_usage;
    for (const std::string& folder : empty_folders) report_warning(console, printable(folder) + " holds no .3ds file");
    if (!make_output_folder(options.batch_folder, console)) return batch_end::some_failed;

    // Each file on one thread, as many files at once as there are threads;
    // a batch shorter than that shares the threads out among its files.
    const std::size_t threads = static_cast<std::size_t>(threads_to_use(options.threads));
    const std::size_t side_by_side = std::min(threads, files.size());
    for (batch_file& f : files) f.options.threads = static_cast<std::int32_t>(threads / side_by_side);

    run_progress progress;
    progress.files_total = static_cast<std::uint32_t>(std::min<std::size_t>(files.size(), UINT32_MAX));
    std::shared_mutex commits;
    std::atomic<bool> interrupted{false};
    copy_name_claims copy_names;
    const conversion_share share{&progress, &commits, &interrupted, &copy_names};
    std::vector<file_outcome> outcomes(files.size());
    std::mutex mutex;
    std::condition_variable file_done;
    std::atomic<std::size_t> next_file{0};
    const auto work = [&] {
        for (std::size_t i; !interrupted && (i = next_file.fetch_add(1)) < files.size();) {
            file_outcome r;
            convert_file(files[i], share, r);
            progress.files_done.fetch_add(1, std::memory_order_relaxed);
            const std::lock_guard lock(mutex);
            r.done = true;
            outcomes[i] = std::move(r);
            file_done.notify_all();
        }
    };

    std::size_t converted = 0, drew_nothing = 0;
    std::int64_t faces = 0;
    {
        const signal_watch watch(commits, interrupted);
        progress_display display;
        if (show_progress) start_progress(display, out, progress);
        std::vector<std::thread> workers;
        try {
            for (std::size_t t = 0; t < side_by_side; ++t) workers.emplace_back(work);
        } catch (const std::system_error&) {
            if (workers.empty()) work();  // no thread: the files one after the other here
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::unique_lock lock(mutex);
            file_done.wait(lock, [&] { return outcomes[i].done; });
            const file_outcome r = std::move(outcomes[i]);
            lock.unlock();
            tell_file(console, files[i], r);
            if (!r.converted) continue;
            // With --posix-exit a file that drew nothing is named apart.
            if (r.drew_nothing && options.posix_exit)
                ++drew_nothing;
            else
                ++converted;
            faces += r.faces;
        }
        for (std::thread& t : workers) t.join();
        stop_progress(display, out);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string nothing = drew_nothing > 0 ? std::to_string(drew_nothing) + " with nothing drawn, " : "";
    report(console, message_kind::progress,
           " Warning: batch: " + std::to_string(converted) + " of " + std::to_string(files.size()) +
               " files converted, " + std::to_string(files.size() - converted - drew_nothing) + " failed, " + nothing +
               std::to_string(faces) + " faces, " + seconds_text(seconds) + " seconds\n");
    return converted == files.size() ? batch_end::all_converted : batch_end::some_failed;
}

}  // namespace tessvert
