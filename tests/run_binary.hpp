// Runs the real tessvert binary in a directory of its own and collects its
// console text and exit status, for end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/files.hpp"

namespace e2e {

namespace fs = std::filesystem;

struct result {
    int exit_code = -999;  // the process status, 0..255; -999 when it did not exit normally
    int signal = 0;        // the signal that ended it, if any
    std::string out;       // standard output
};

// What the child gets before the binary starts: limits, and optionally
// more environment and another standard input.
struct limits {
    rlim_t file_size = RLIM_INFINITY;  // RLIMIT_FSIZE, with SIGXFSZ left at its default action
    rlim_t address_space = RLIM_INFINITY;
    unsigned cpu_seconds = 0;  // 0: no limit
    // Wall-clock seconds after which run() takes the child for hung, kills
    // it and fails the test; at least twice cpu_seconds.
    unsigned hang_seconds = 60;
    std::vector<std::string> environment{};  // "NAME=value" entries added to the child's
    int standard_input = -1;                 // a descriptor to read as standard input; -1: the test's own
    int standard_output = -1;                // a descriptor to write to instead of the captured file
    std::vector<int> ignored_signals{};      // set to SIG_IGN before the binary starts, as nohup does
};

// Limits whose environment preloads the fault shim (tests/fault_shim.cpp)
// with `settings` ("TESSVERT_FAULT_...=value"), and a CPU-time limit, so
// that a run the fault would stall ends.
inline limits with_fault_shim(std::vector<std::string> settings) {
    limits lim;
    lim.cpu_seconds = 60;
    lim.environment = std::move(settings);
    lim.environment.push_back(std::string("LD_PRELOAD=") + TESSVERT_FAULT_SHIM);
    // A sanitizer runtime insists on coming first; the shim comes before it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    lim.environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
    return lim;
}

using testkit::list_files;
using testkit::read_file;
using testkit::temp_dir;

inline std::string binary_path() {
    return TESSVERT_BINARY;
}

// The shared test data folder beside the repository, or empty when absent.
inline fs::path shared_dir() {
    fs::path p = fs::path(TESSVERT_SOURCE_DIR).parent_path() / "shared";
    return fs::is_directory(p) ? p : fs::path();
}

// The thread count each conversion (its arguments, program name first, give
// -i) is given unless they name one: ctest runs the end-to-end suite with
// TESSVERT_TEST_THREADS=7, so that no case depends on how many CPUs the
// machine has.
inline void add_test_threads(std::vector<std::string>& args) {
    const char* threads = std::getenv("TESSVERT_TEST_THREADS");
    if (threads == nullptr || *threads == '\0') return;
    if (std::find(args.begin(), args.end(), "-i") == args.end()) return;
    if (std::find(args.begin(), args.end(), "--threads") != args.end()) return;
    // First: a test may leave its last option without its value.
    args.insert(args.begin() + 1, {"--threads", threads});
}

// In a child process: becomes tessvert with `args` (the program name is
// added); ends the child with 127 when it cannot.
[[noreturn]] inline void exec_binary(const std::vector<std::string>& args) {
    std::vector<std::string> all{binary_path()};
    all.insert(all.end(), args.begin(), args.end());
    add_test_threads(all);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Starts tessvert with `args` (the program name is added) in `cwd`, its
// standard output captured in a file there; returns its process id.
inline pid_t spawn(const fs::path& cwd, const std::vector<std::string>& args, const limits& lim = {}) {
    fs::path out_file = cwd / ".stdout-capture";
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        int fd = lim.standard_output >= 0 ? lim.standard_output
                                          : ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) ::_exit(127);
        ::dup2(fd, 1);
        if (fd != lim.standard_output) ::close(fd);
        if (lim.standard_input >= 0) ::dup2(lim.standard_input, 0);
        for (const std::string& entry : lim.environment) ::putenv(const_cast<char*>(entry.c_str()));
        for (const int sig : lim.ignored_signals) ::signal(sig, SIG_IGN);
        if (lim.file_size != RLIM_INFINITY) {
            rlimit rl{lim.file_size, lim.file_size};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        if (lim.address_space != RLIM_INFINITY) {
            rlimit rl{lim.address_space, lim.address_space};
            ::setrlimit(RLIMIT_AS, &rl);
        }
        if (lim.cpu_seconds != 0) {
            rlimit rl{lim.cpu_seconds, lim.cpu_seconds};
            ::setrlimit(RLIMIT_CPU, &rl);
        }
        exec_binary(args);
    }
    return pid;
}

// The result of a process started by spawn in `cwd`, from its wait status.
inline result collect(int status, const fs::path& cwd) {
    result r;
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    fs::path out_file = cwd / ".stdout-capture";
    r.out = read_file(out_file);
    fs::remove(out_file);
    return r;
}

// Runs tessvert with `args` in `cwd` and waits for it; a child still
// running after the time limit is killed and the test fails as hung, rather
// than waiting for the test runner's own timeout.
inline result run(const fs::path& cwd, const std::vector<std::string>& args, const limits& lim = {}) {
    const pid_t pid = spawn(cwd, args, lim);
    const auto limit = std::chrono::seconds(std::max(lim.hang_seconds, 2 * lim.cpu_seconds));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t done = 0;
    for (;;) {
        done = ::waitpid(pid, &status, WNOHANG);
        if (done < 0 && errno == EINTR) continue;
        if (done != 0 || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        std::string command = "tessvert";
        for (const std::string& a : args) command += " " + a;
        ADD_FAILURE() << "hung: " << command << " was still running after " << limit.count() << " s and was killed";
    }
    return collect(status, cwd);
}

inline const char* banner =
    "\n TESSVERT v0.1 beta 3 (win32-intel) - a 3DS to ray tracer scene converter by the tessvert developers\n";

}  // namespace e2e
