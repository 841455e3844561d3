// Hostile files and environments, through the real binary: inputs that
// cannot be read, read errors, inputs past 4 GiB or without end, faces with
// non-finite coordinates, signals, file-size limits, failed writes and
// renames, long output names, outputs that are the input or symlinks, and
// names that would break the scene file. Faults are made at a chosen call
// by the preloaded fault shim (tests/fault_shim.cpp), never by timing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run_binary.hpp"
#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "tests/mixed_scene.hpp"

namespace {

using namespace chunks;
namespace fs = std::filesystem;
using testkit::list_files;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

// A scene of one material and one 100 x 100 grid: 20 000 faces, 200 kB.
bytes grid_scene() {
    return serialize(primary({editor(
        {material({material_name("Clay"), diffuse(color24(10, 20, 30))}), grid_object("Grid", 100, 100, 0, "Clay")})}));
}

bytes one_triangle(const std::string& name) {
    return serialize(
        named_object(name, {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})})}));
}

// Writes older outputs NAME.vrx and NAME.inc into `dir`.
void old_outputs(const temp_dir& dir, const std::string& name = "model") {
    write_file(dir / (name + ".vrx"), {'o', 'l', 'd', '\n'});
    write_file(dir / (name + ".inc"), {'o', 'l', 'd', '!'});
}

void expect_old_outputs(const temp_dir& dir, const std::string& name = "model") {
    EXPECT_EQ(read_file(dir / (name + ".vrx")), "old\n");
    EXPECT_EQ(read_file(dir / (name + ".inc")), "old!");
}

// The wait status of `pid`, which has `seconds` to end; past that it is
// killed and the test fails with `hang`.
int wait_or_kill(pid_t pid, int seconds, const char* hang) {
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < seconds * 10 && done == 0; ++i) {
        done = ::waitpid(pid, &status, WNOHANG);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << hang;
    }
    return status;
}

const std::string reading_grid = "\n Reading grid.3ds...\n";
// What a run on the grid scene (no camera) says before it writes.
const std::string grid_read = reading_grid + " Computing normals...\n" + testkit::bare_scene_advice + "\n";

}  // namespace

// ---------------------------------------------------------------------------
// Inputs that cannot be read.

TEST(HostileInput, AnInputThatCannotBeOpenedOrReadSaysWhy) {
    temp_dir dir;
    fs::create_directory(dir / "sub.3ds");
    auto r = e2e::run(dir.path, {"-i", "sub.3ds"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(e2e::banner) +
                         "  Unable to load PRIMARY chuck from file: sub.3ds!\n"
                         " Warning: sub.3ds: Is a directory\n An error occured\n");
    if (::geteuid() != 0) {  // permissions do not stop the superuser
        write_file(dir / "locked.3ds", grid_scene());
        fs::permissions(dir / "locked.3ds", fs::perms::none);
        r = e2e::run(dir.path, {"-i", "locked.3ds"});
        EXPECT_EQ(r.out, std::string(e2e::banner) +
                             " Unable to find the file: locked.3ds!\n"
                             " Warning: locked.3ds: Permission denied\n An error occured\n");
    }
    EXPECT_EQ(list_files(dir.path).size(), ::geteuid() != 0 ? 2u : 1u);
}

// On one thread, and on several while a worker takes the objects read.
TEST(HostileInput, AReadErrorIsALoadFailureThatWritesNothing) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    old_outputs(dir);
    for (const char* threads : {"1", "7"}) {
        SCOPED_TRACE(std::string("--threads ") + threads);
        const auto r = e2e::run(dir.path, {"-i", "grid.3ds", "--threads", threads},
                                e2e::with_fault_shim({"TESSVERT_FAULT_READ_AFTER=65536"}));
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, std::string(e2e::banner) + reading_grid +
                             " Warning: grid.3ds: Input/output error\n An error occured\n");
        expect_old_outputs(dir);
        EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"grid.3ds", "model.inc", "model.vrx"}));
    }
    // The same file without the fault converts.
    const auto r = e2e::run(dir.path, {"-i", "grid.3ds"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("Number of faces:\t\t20000\n"), std::string::npos) << r.out;
}

// ---------------------------------------------------------------------------
// The primary chunk's declared end.

TEST(HostileInput, NothingPastTheDeclaredEndOfAFourGigabytePrimaryChunkIsRead) {
    // A sparse file: the primary chunk declares 0xFFFFFFFF bytes and holds
    // one skipped chunk of 0xFFFFFFF6 bytes, which ends 3 bytes before the
    // primary chunk does; an object follows there. Its header would take
    // the byte count past 2^32: a wrapped count would read it and more.
    temp_dir dir;
    const fs::path path = dir / "huge.3ds";
    {
        bytes head = cat({u16(0x4D4D), u32(0xFFFFFFFFu), u16(0x1234), u32(0xFFFFFFF6u)});
        const bytes tail = cat({one_triangle("Beyond"), one_triangle("Further")});
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), 0xFFFFFFFCLL), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    if (st.st_blocks * 512LL > (64LL << 20)) GTEST_SKIP() << "this file system does not keep files sparse";
    auto r = e2e::run(dir.path, {"-i", "huge.3ds", "-t"}, e2e::limits{.cpu_seconds = 120});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(testkit::count_warnings(r.out, "runs past the declared end of the primary chunk"), 1u) << r.out;
    EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{0, 0, 0, 0, 0})) << r.out;
}

TEST(HostileInput, AnInputWithoutEndIsReadToThePrimaryChunksEndAndNoFurther) {
    // Standard input is a pipe that never reaches its end while the run
    // lasts: a primary chunk of one object and zeros, then more bytes that
    // are not the program's to read.
    temp_dir dir;
    const bytes inside = cat({one_triangle("In"), bytes(600, 0)});
    const bytes primary_chunk = cat({u16(0x4D4D), u32(static_cast<std::uint32_t>(6 + inside.size())), inside});
    const bytes after = cat({one_triangle("Out"), bytes(4000, 0)});
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const bytes all = cat({primary_chunk, after});
    ASSERT_EQ(::write(fds[1], all.data(), all.size()), static_cast<ssize_t>(all.size()));
    e2e::limits lim;
    lim.cpu_seconds = 60;
    lim.standard_input = fds[0];
    const pid_t pid = e2e::spawn(dir.path, {"-i", "/dev/stdin", "-t"}, lim);
    // A run that waited for more input would never end: give up after a
    // minute, which only a hang can take.
    const int status = wait_or_kill(pid, 60, "the run waited for input past the primary chunk");
    ::close(fds[1]);
    const e2e::result r = e2e::collect(status, dir.path);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{0, 0, 0, 1, 1})) << r.out;
    EXPECT_EQ(testkit::count_warnings(r.out), 0u) << r.out;
    // What the run left in the pipe is exactly what follows the primary chunk.
    bytes left(after.size() + 100);
    const ssize_t got = ::read(fds[0], left.data(), left.size());
    ::close(fds[0]);
    ASSERT_EQ(got, static_cast<ssize_t>(after.size()));
    left.resize(static_cast<std::size_t>(got));
    EXPECT_EQ(left, after);
}

// A last chunk that declares more than the primary chunk has left is
// reported the same way whether the input is a file or a pipe: past the
// declared end when bytes follow, the file ending inside a chunk when none do.
TEST(HostileInput, AChunkPastThePrimaryChunksEndIsReportedAlikeForFilesAndPipes) {
    temp_dir dir;
    const bytes inside = cat({one_triangle("In"), u16(0x1234), u32(1000)});
    const bytes primary_chunk = cat({u16(0x4D4D), u32(static_cast<std::uint32_t>(6 + inside.size())), inside});
    const bytes after(2000, 0);
    for (const bool more : {true, false}) {
        const bytes all = more ? cat({primary_chunk, after}) : primary_chunk;
        const std::string expected =
            more ? "a chunk runs past the declared end of the primary chunk" : "the file ends inside a chunk";
        write_file(dir / "a.3ds", all);
        auto r = e2e::run(dir.path, {"-i", "a.3ds", "-t"});
        EXPECT_EQ(testkit::count_warnings(r.out, expected), 1u) << r.out;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], all.data(), all.size()), static_cast<ssize_t>(all.size()));
        ::close(fds[1]);
        e2e::limits lim;
        lim.cpu_seconds = 60;
        lim.standard_input = fds[0];
        r = e2e::run(dir.path, {"-i", "/dev/stdin", "-t"}, lim);
        ::close(fds[0]);
        EXPECT_EQ(testkit::count_warnings(r.out, expected), 1u) << r.out;
        EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{0, 0, 0, 1, 1})) << r.out;
    }
}

// ---------------------------------------------------------------------------
// Non-finite numbers.

TEST(HostileInput, FacesWithNonFiniteCoordinatesNeverReachTheMeshFile) {
    temp_dir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    write_file(dir / "nan.3ds",
               serialize(primary({editor({named_object(
                   "Odd", {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, 1, 1}, {1, inf, 1}}),
                                          face_list({{0, 1, 2}, {0, 3, 1}, {4, 1, 2}, {2, 1, 3}})})})})})));
    for (const char* mode : {"-t", "-q"}) {
        SCOPED_TRACE(mode);
        auto r = e2e::run(dir.path, {"-i", "nan.3ds", mode});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(testkit::warning_lines(r.out, false),
                  std::vector<std::string>{
                      " Warning: object \"Odd\": 3 faces have a vertex coordinate that is not a finite number; they "
                      "were removed"});
        const std::string inc = read_file(dir / "model.inc");
        EXPECT_EQ(inc.find("nan"), std::string::npos) << inc;
        EXPECT_EQ(inc.find("inf"), std::string::npos) << inc;
        EXPECT_NE(inc.find("vertex <1.000000 0.000000 0.000000>"), std::string::npos) << inc;
    }
    auto r = e2e::run(dir.path, {"-i", "nan.3ds"});
    EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{0, 0, 0, 1, 1})) << r.out;
    EXPECT_NE(read_file(dir / "model.inc").find("smooth_triangle {"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Signals, limits, and the pair of outputs put in place together. The grid's
// scene file is the first write of a run, its mesh file (about 4 MB) the
// writes after it.

namespace {

struct reference_outputs {
    std::string vrx, inc;
};

// The outputs of the grid scene, from a run without faults.
reference_outputs grid_outputs() {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    const auto r = e2e::run(dir.path, {"-i", "grid.3ds"});
    EXPECT_EQ(r.exit_code, 1);
    return {read_file(dir / "model.vrx"), read_file(dir / "model.inc")};
}

const std::vector<std::string> grid_and_outputs = {"grid.3ds", "model.inc", "model.vrx"};

}  // namespace

// On one thread, and on several while the workers cut the mesh file.
TEST(HostileRun, AnInterruptedRunRemovesItsTemporariesAndEndsByTheSignal) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    const std::vector<std::pair<int, const char*>> cases = {
        {SIGINT, "1"}, {SIGINT, "3"}, {SIGTERM, "2"}, {SIGHUP, "4"}};
    for (const char* threads : {"1", "7"})
        for (const auto& [sig, write_call] : cases) {
            SCOPED_TRACE("signal " + std::to_string(sig) + " at write " + write_call + ", threads " + threads);
            old_outputs(dir);
            auto r = e2e::run(dir.path, {"-i", "grid.3ds", "--threads", threads},
                              e2e::with_fault_shim({std::string("TESSVERT_FAULT_WRITE_CALL=") + write_call,
                                                    "TESSVERT_FAULT_SIGNAL=" + std::to_string(sig)}));
            EXPECT_EQ(r.signal, sig);
            EXPECT_EQ(r.out, std::string(e2e::banner) + grid_read);
            expect_old_outputs(dir);
            EXPECT_EQ(list_files(dir.path), grid_and_outputs);
        }
}

// Under nohup SIGHUP is ignored from the start: it stays ignored, in a
// batch as in a single run, and the run goes on to its end. Sent to the
// process while the second output is written.
TEST(HostileRun, ASignalIgnoredAtTheStartStaysIgnored) {
    temp_dir dir;
    const bytes scene = serialize(primary({editor({named_object(
        "t", {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})})})})}));
    for (const char* name : {"a", "b", "c"}) write_file(dir / (std::string(name) + ".3ds"), scene);
    e2e::limits lim =
        e2e::with_fault_shim({"TESSVERT_FAULT_WRITE_CALL=2", "TESSVERT_FAULT_SIGNAL=" + std::to_string(SIGHUP),
                              "TESSVERT_FAULT_TO_PROCESS=1"});
    lim.ignored_signals = {SIGHUP};
    const auto batch = e2e::run(dir.path, {"--batch", "out", "a.3ds", "b.3ds", "c.3ds", "--threads", "2"}, lim);
    EXPECT_EQ(batch.signal, 0);
    EXPECT_EQ(batch.exit_code, 1) << batch.out;
    EXPECT_EQ(list_files(dir / "out").size(), 6u);
    EXPECT_EQ(e2e::run(dir.path, {"-i", "a.3ds"}, lim).exit_code, 1);
    // Taken, it ends the batch.
    lim.ignored_signals.clear();
    EXPECT_EQ(e2e::run(dir.path, {"--batch", "taken", "a.3ds", "b.3ds", "c.3ds", "--threads", "2"}, lim).signal,
              SIGHUP);
}

TEST(HostileRun, ASignalWhileTheOutputsArePutInPlaceWaitsUntilBothAre) {
    const reference_outputs fresh = grid_outputs();
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    // Sent to the process, the signal would be taken at once by a worker
    // thread that did not block it.
    for (const char* threads : {"1", "7"})
        for (const char* rename_call : {"1", "2"}) {
            SCOPED_TRACE(std::string("SIGTERM at rename ") + rename_call + ", threads " + threads);
            old_outputs(dir);
            auto r = e2e::run(dir.path, {"-i", "grid.3ds", "--threads", threads},
                              e2e::with_fault_shim({std::string("TESSVERT_FAULT_RENAME_CALL=") + rename_call,
                                                    "TESSVERT_FAULT_SIGNAL=" + std::to_string(SIGTERM),
                                                    "TESSVERT_FAULT_TO_PROCESS=1"}));
            EXPECT_EQ(r.signal, SIGTERM);
            // The signal is taken once both are in place, before their lines.
            EXPECT_EQ(r.out, std::string(e2e::banner) + grid_read);
            EXPECT_TRUE(read_file(dir / "model.vrx") == fresh.vrx);
            EXPECT_TRUE(read_file(dir / "model.inc") == fresh.inc);
            EXPECT_EQ(list_files(dir.path), grid_and_outputs);
        }
}

// A console that stops draining (a full pipe, a paused terminal) blocks a
// line; a signal still ends the run, with the pair wholly old or wholly new
// and no temporary left. The pipe is shrunk to a page and filled so that
// the stall comes at the first line (while reading) or at the first
// success line (once both files are written).
TEST(HostileRun, AStalledConsoleNeverHoldsOffASignal) {
    const reference_outputs fresh = grid_outputs();
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    const std::string before_success = std::string(e2e::banner) + grid_read;
    for (const bool at_success : {false, true}) {
        SCOPED_TRACE(at_success ? "stalled at the success line" : "stalled at the banner");
        old_outputs(dir);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int room = ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
        ASSERT_GT(room, 0);
        const std::string filler(static_cast<std::size_t>(room) - (at_success ? before_success.size() : 0), '.');
        ASSERT_EQ(::write(fds[1], filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
        e2e::limits lim;
        lim.cpu_seconds = 60;
        lim.standard_output = fds[1];
        const pid_t pid = e2e::spawn(dir.path, {"-i", "grid.3ds", "--threads", "3"}, lim);
        ::close(fds[1]);
        // The run goes as far as the console lets it: for the success line,
        // until the new include file is in place.
        for (int wait = 0; wait < 500 && at_success && read_file(dir / "model.inc") != fresh.inc; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::kill(pid, SIGTERM);
        const int status = wait_or_kill(pid, 5, "SIGTERM did not end a run whose console had stalled");
        ::close(fds[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        EXPECT_TRUE(read_file(dir / "model.vrx") == (at_success ? fresh.vrx : "old\n"));
        EXPECT_TRUE(read_file(dir / "model.inc") == (at_success ? fresh.inc : "old!"));
        EXPECT_EQ(list_files(dir.path), grid_and_outputs);
    }
}

// On one thread, and on several while the workers cut the mesh file.
TEST(HostileRun, AFailedWriteOrRenameOfOneFileStillPutsTheOtherInPlace) {
    const reference_outputs fresh = grid_outputs();
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    struct fault {
        std::vector<std::string> settings;
        std::string lines;  // what the run says about its two files
        bool new_vrx;       // which file is put in place
    };
    const fault faults[] = {
        {{"TESSVERT_FAULT_RENAME_CALL=1", "TESSVERT_FAULT_ERRNO=13"},
         "There was an error when writing the file: model.vrx\n Warning: model.vrx: Permission denied\n"
         " All objects successfully dumped to: model.inc\n",
         false},
        {{"TESSVERT_FAULT_WRITE_CALL=3", "TESSVERT_FAULT_ERRNO=28"},
         " All parameters successfully dumped to: model.vrx\n"
         "There was an error when writing the file: model.inc\n Warning: model.inc: No space left on device\n",
         true},
    };
    for (const char* threads : {"1", "7"})
        for (const fault& f : faults) {
            SCOPED_TRACE(f.settings.front() + ", threads " + threads);
            old_outputs(dir);
            auto r = e2e::run(dir.path, {"-i", "grid.3ds", "--threads", threads}, e2e::with_fault_shim(f.settings));
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_EQ(r.out, std::string(e2e::banner) + grid_read + f.lines +
                                 testkit::statistics_text("grid.3ds", {0, 0, 1, 1, 20000}));
            EXPECT_TRUE(read_file(dir / "model.vrx") == (f.new_vrx ? fresh.vrx : "old\n"));
            EXPECT_TRUE(read_file(dir / "model.inc") == (f.new_vrx ? "old!" : fresh.inc));
            EXPECT_EQ(list_files(dir.path), grid_and_outputs);
        }
}

// Normals that run out of memory on a worker are computed again on the main
// thread: a run that one thread finishes never fails on seven. When they run
// out on every thread, the run fails as it does on one, the older files kept.
TEST(HostileRun, NormalsOutOfMemoryOnAWorkerEndAsOnOneThread) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the thread sanitizer's allocator takes operator new before the fault shim can";
#endif
    temp_dir dir;
    std::vector<chunk> sheets = {material({material_name("Red"), diffuse(color24(255, 0, 0))})};
    for (const char* name : {"A", "B", "C", "D", "E", "F"}) sheets.push_back(mixed::sheet(name, 120, 60));
    write_file(dir / "mixed.3ds", serialize(primary({editor(sheets)})));
    // The per-vertex face counts of a sheet's 121 x 61 vertices: no other
    // allocation of the run has that size.
    const std::string counts = "TESSVERT_FAULT_NEW_SIZE=" + std::to_string(4 * 121 * 61);
    const std::string mark = "TESSVERT_FAULT_MARK=" + (dir / "fired").string();
    const auto args = [](const char* threads) {
        return std::vector<std::string>{"-i", "mixed.3ds", "--threads", threads};
    };

    const e2e::result one = e2e::run(dir.path, args("1"));
    ASSERT_EQ(one.exit_code, 1) << one.out;
    const std::string vrx = read_file(dir / "model.vrx"), inc = read_file(dir / "model.inc");
    // Which thread takes which sheet is up to the scheduler: runs until a
    // worker has been refused at least once.
    for (int attempt = 0; attempt < 20 && !fs::exists(dir / "fired"); ++attempt) {
        old_outputs(dir);
        const e2e::result seven =
            e2e::run(dir.path, args("7"), e2e::with_fault_shim({counts, "TESSVERT_FAULT_NEW_WORKERS=1", mark}));
        EXPECT_EQ(seven.exit_code, 1);
        EXPECT_EQ(seven.out, one.out);
        EXPECT_TRUE(read_file(dir / "model.vrx") == vrx);
        EXPECT_TRUE(read_file(dir / "model.inc") == inc);
    }
    EXPECT_TRUE(fs::exists(dir / "fired"));

    old_outputs(dir);
    const e2e::result failed = e2e::run(dir.path, args("1"), e2e::with_fault_shim({counts}));
    EXPECT_EQ(failed.exit_code, 0);
    EXPECT_TRUE(failed.out.ends_with(
        " Computing normals...\n Warning: the conversion ran out of memory; nothing was converted\n"
        " An error occured\n"))
        << failed.out;
    for (const char* threads : {"2", "7"}) {
        SCOPED_TRACE(threads);
        const e2e::result r = e2e::run(dir.path, args(threads), e2e::with_fault_shim({counts}));
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, failed.out);
        expect_old_outputs(dir);
    }
    fs::remove(dir / "fired");
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"mixed.3ds", "model.inc", "model.vrx"}));
}

TEST(HostileRun, AnIncludeFileThatCannotBeOpenedIsReportedAfterTheSceneFile) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    fs::create_symlink("missing/dir/model.inc", dir / "model.inc");
    auto r = e2e::run(dir.path, {"-i", "grid.3ds"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(e2e::banner) + grid_read +
                         " All parameters successfully dumped to: model.vrx\n"
                         "There was an error when opening the file: model.inc\n"
                         " Warning: model.inc: No such file or directory\n" +
                         testkit::statistics_text("grid.3ds", {0, 0, 1, 1, 0}));
}

TEST(HostileRun, AClosedConsoleNeverStopsAConversion) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    e2e::limits lim;
    lim.cpu_seconds = 60;
    lim.standard_output = fds[1];
    auto r = e2e::run(dir.path, {"-i", "grid.3ds"}, lim);
    ::close(fds[1]);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(read_file(dir / "model.inc").find("smooth_triangle"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Output names.

TEST(HostileNames, TemporariesFitWheneverTheFinalNameDoes) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    const std::string longest(255 - 4, 'n');  // NAME.vrx is 255 bytes, the most a name may have
    auto r = e2e::run(dir.path, {"-i", "grid.3ds", "-o", longest});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"grid.3ds", longest + ".inc", longest + ".vrx"}));
    const std::string too_long = longest + "n";
    r = e2e::run(dir.path, {"-i", "grid.3ds", "-o", too_long});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("There was an error when opening the file: " + too_long + ".vrx\n Warning: " + too_long +
                         ".vrx: File name too long\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(list_files(dir.path).size(), 3u);
}

TEST(HostileNames, ModesOfNewAndReplacedFiles) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    write_file(dir / "model.inc", {'x'});
    fs::permissions(dir / "model.inc", fs::perms(0604));
    const mode_t before = ::umask(027);
    auto r = e2e::run(dir.path, {"-i", "grid.3ds"});
    ::umask(before);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(fs::status(dir / "model.vrx").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(dir / "model.inc").permissions(), fs::perms(0604));
}

TEST(HostileNames, SymbolicLinksStayAndTheFilesTheyNameAreReplaced) {
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    fs::create_directory(dir / "real");
    write_file(dir / "real/scene.vrx", {'o', 'l', 'd'});
    fs::create_symlink("real/scene.vrx", dir / "model.vrx");
    fs::create_symlink(dir / "real/new.inc", dir / "link.inc");  // absolute, and the file is not there yet
    fs::create_symlink("link.inc", dir / "model.inc");           // a chain of two links
    auto r = e2e::run(dir.path, {"-i", "grid.3ds"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_TRUE(fs::is_symlink(dir / "model.vrx"));
    EXPECT_TRUE(fs::is_symlink(dir / "model.inc"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.inc"));
    EXPECT_NE(read_file(dir / "real/scene.vrx").find("include \"model.inc\""), std::string::npos);
    EXPECT_NE(read_file(dir / "real/new.inc").find("smooth_triangle"), std::string::npos);
    EXPECT_EQ(list_files(dir / "real"), (std::vector<std::string>{"new.inc", "scene.vrx"}));
    EXPECT_EQ(list_files(dir.path),
              (std::vector<std::string>{"grid.3ds", "link.inc", "model.inc", "model.vrx", "real"}));
}

TEST(HostileNames, AnOutputThatIsTheInputOrABrokenNameIsRefusedBeforeReading) {
    temp_dir dir;
    const bytes scene = grid_scene();
    write_file(dir / "same.inc", scene);
    fs::create_symlink("same.inc", dir / "link.vrx");
    fs::create_symlink("same.inc", dir / "one.vrx");
    fs::create_symlink("same.inc", dir / "one.inc");
    // Links whose final target is not there yet: one output names the
    // other, or both end at one missing name (one through a second link).
    fs::create_symlink("dangle.inc", dir / "dangle.vrx");
    fs::create_symlink("hop", dir / "gone.vrx");
    fs::create_symlink("missing.x", dir / "hop");
    fs::create_symlink("./missing.x", dir / "gone.inc");
    // What cannot be written at all.
    fs::create_directory(dir / "folder.vrx");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    const std::string socket_path = (dir / "socket.inc").string();
    ASSERT_LT(socket_path.size(), sizeof at.sun_path);
    std::memcpy(at.sun_path, socket_path.c_str(), socket_path.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ::close(sock);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-i", "same.inc", "-o", "same"}, "the output file same.inc is the input file same.inc"},
        {{"-i", "./same.inc", "-o", "link"}, "the output file link.vrx is the input file ./same.inc"},
        {{"-i", "grid.3ds", "-o", "one"}, "the output files one.vrx and one.inc are one file"},
        {{"-i", "same.inc", "-o", "say \"cheese\""}, "the output name holds a double quote or a control character"},
        {{"-i", "same.inc", "-o", "two\nlines"}, "the output name holds a double quote or a control character"},
        {{"-i", "same.inc", "-o", "dangle"}, "the output files dangle.vrx and dangle.inc are one file"},
        {{"-i", "same.inc", "-o", "gone"}, "the output files gone.vrx and gone.inc are one file"},
        {{"-i", "same.inc", "-o", "folder"}, "the output file folder.vrx is a directory"},
        {{"-i", "same.inc", "-o", "socket"}, "the output file socket.inc is a socket"},
    };
    for (const auto& [args, why] : cases) {
        SCOPED_TRACE(args.back());
        const auto files = list_files(dir.path);
        auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 0);
        const std::vector<std::string> warnings = testkit::warning_lines(r.out);
        ASSERT_EQ(warnings.size(), 1u) << r.out;
        EXPECT_NE(warnings[0].find(why), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("nothing was converted"), std::string::npos) << warnings[0];
        EXPECT_EQ(r.out.find("Reading"), std::string::npos) << r.out;
        EXPECT_EQ(list_files(dir.path), files);
        EXPECT_TRUE(testkit::read_file(dir / "same.inc") == std::string(scene.begin(), scene.end()));
    }
}

// Names from the file reach the console escaped: a line end cannot forge a
// console line, nor an escape sequence reach the terminal.
TEST(HostileNames, NamesFromTheFileArePrintedEscaped) {
    temp_dir dir;
    const std::string forged = "a\"\nAll objects successfully dumped to: fake.inc\x1b[2J\xff";
    const std::string shown = "a\\\"\\nAll objects successfully dumped to: fake.inc\\x1B[2J\\xFF";
    const bytes file = serialize(primary({editor(
        {material({material_name("M")}),
         named_object(forged, {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                              face_list({{0, 1, 2}, {0, 1, 9}}, {material_group("M", {0, 5})})})})})}));
    write_file(dir / "names.3ds", file);
    auto r = e2e::run(dir.path, {"-i", "names.3ds", "--materials"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    std::size_t about_the_object = 0;
    for (const std::string& w : testkit::warning_lines(r.out))
        about_the_object += w.find("object \"" + shown + "\": ") != std::string::npos ? 1 : 0;
    EXPECT_EQ(about_the_object, 2u) << r.out;  // a face removed, a material group face beyond the faces
    EXPECT_EQ(r.out.find("\nAll objects"), std::string::npos);
    EXPECT_EQ(r.out.find_first_of(std::string("\x1b\xff\r", 3)), std::string::npos);
}

// A FIFO is written in place, as cp writes it: a reader waiting on it gets
// the scene file, and it stays a FIFO. A link to a character device (a
// /dev/null of the test's own) writes to the device, which stays a device.
TEST(HostileNames, PipesAndDevicesAreWrittenInPlace) {
    const reference_outputs fresh = grid_outputs();
    temp_dir dir;
    write_file(dir / "grid.3ds", grid_scene());
    ASSERT_EQ(::mkfifo((dir / "model.vrx").c_str(), 0644), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int in = ::open((dir / "model.vrx").c_str(), O_RDONLY);
        const int out = ::open((dir / "got").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char buffer[4096];
        ssize_t n = 0;
        while (in >= 0 && out >= 0 && (n = ::read(in, buffer, sizeof buffer)) > 0)
            if (::write(out, buffer, static_cast<std::size_t>(n)) != n) ::_exit(1);
        ::_exit(in >= 0 && out >= 0 && n == 0 ? 0 : 1);
    }
    auto r = e2e::run(dir.path, {"-i", "grid.3ds"}, e2e::limits{.cpu_seconds = 60});
    const int status = wait_or_kill(reader, 60, "the reader of the FIFO never got its end");
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(read_file(dir / "got") == fresh.vrx);
    EXPECT_TRUE(read_file(dir / "model.inc") == fresh.inc);
    EXPECT_TRUE(fs::is_fifo(dir / "model.vrx"));
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"got", "grid.3ds", "model.inc", "model.vrx"}));

    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "this system does not allow a device node here";
    fs::create_symlink("null", dir / "dev.inc");
    r = e2e::run(dir.path, {"-i", "grid.3ds", "-o", "dev"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, ::makedev(1, 3));
    EXPECT_TRUE(fs::is_symlink(dir / "dev.inc"));
    EXPECT_EQ(list_files(dir.path),
              (std::vector<std::string>{"dev.inc", "dev.vrx", "got", "grid.3ds", "model.inc", "model.vrx", "null"}));
}
