// Times the whole tessvert conversion of generated scenes next to the floors
// measured in the same run on the same machine:
//   read    reading the input file into memory (1 MiB read calls);
//   format  formatting, with the project's own format_number alone, every
//           number the mesh file holds (per face its corners' vertex and
//           normal components, in face order) into a small reused buffer;
//   write   writing as many bytes as the conversion's two output files to a
//           new file (1 MiB write calls, then close).
// Every figure is the median of the runs, in wall-clock and in CPU seconds;
// peak memory is the largest ru_maxrss of the conversion's process. The last
// lines check the targets on the 1 M-face scene.
//
// A lookup:MB:RUNS row times the material look-up: it converts a scene of
// MB megabytes of materials and as many of material groups
// (make_lookup_scene), where every group is looked up among all materials.
//
// A groups:FACES:RUNS row converts a scene with several material groups and
// smoothing groups per object (make_scene --groups) alternately in the
// default mode and with --faithful, and compares the two times.
//
//   bench_driver TESSVERT TEMP_DIR [FACES:RUNS | lookup:MB:RUNS | groups:FACES:RUNS ...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert.hpp"
#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"
#include "writers/number_format.hpp"

namespace {

constexpr std::size_t io_block = 1 << 20;

// A straightforward converter (printf formatting) on a scene of this size:
// measured elsewhere on this machine kind, never in this run.
constexpr double reference_seconds = 3.27;
constexpr double reference_faces = 998432;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_driver: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::uint64_t file_size(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) fail("stat " + path);
    return static_cast<std::uint64_t>(st.st_size);
}

void remove_file(const std::string& path) {
    ::unlink(path.c_str());
}

struct conversion {
    double seconds = 0;      // wall clock, fork to exit
    double cpu_seconds = 0;  // user + system time of the converter
    long peak_kib = 0;       // its ru_maxrss
    int status = 0;
};

double cpu_now() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds_of(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// A child's ru_maxrss starts from the peak of the process that forked it, so
// the converter is started by a small launcher process forked before this
// driver holds any scene; requests and results travel through pipes.
struct launcher {
    pid_t pid = -1;
    int request_fd = -1;
    int result_fd = -1;
};

bool read_all(int fd, void* dst, std::size_t n) {
    auto* p = static_cast<char*>(dst);
    while (n > 0) {
        ssize_t got = ::read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool write_all(int fd, const void* src, std::size_t n) {
    const auto* p = static_cast<const char*>(src);
    while (n > 0) {
        ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

// One run of the binary with its console sent to /dev/null; `option`, when
// not empty, is one more argument.
conversion run_binary(const std::string& binary, const std::string& input, const std::string& out_base,
                      const std::string& option) {
    conversion c;
    double start = now();
    pid_t pid = ::fork();
    if (pid < 0) return c;
    if (pid == 0) {
        int null_fd = ::open("/dev/null", O_WRONLY);
        if (null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
        ::execl(binary.c_str(), binary.c_str(), "-i", input.c_str(), "-o", out_base.c_str(),
                option.empty() ? static_cast<char*>(nullptr) : option.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct rusage usage {};
    if (::wait4(pid, &c.status, 0, &usage) != pid) c.status = -1;
    c.seconds = now() - start;
    c.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    c.peak_kib = usage.ru_maxrss;
    return c;
}

// Request: three lengths, then the input path, the output base and the
// option (maybe empty).
launcher start_launcher(const std::string& binary) {
    int request[2], result[2];
    if (::pipe(request) != 0 || ::pipe(result) != 0) fail("pipe");
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        ::close(request[1]);
        ::close(result[0]);
        for (;;) {
            std::uint32_t sizes[3];
            if (!read_all(request[0], sizes, sizeof sizes)) ::_exit(0);
            std::string input(sizes[0], '\0'), out_base(sizes[1], '\0'), option(sizes[2], '\0');
            if (!read_all(request[0], input.data(), input.size()) ||
                !read_all(request[0], out_base.data(), out_base.size()) ||
                !read_all(request[0], option.data(), option.size()))
                ::_exit(1);
            conversion c = run_binary(binary, input, out_base, option);
            if (!write_all(result[1], &c, sizeof c)) ::_exit(1);
        }
    }
    ::close(request[0]);
    ::close(result[1]);
    return {pid, request[1], result[0]};
}

void stop_launcher(launcher& l) {
    ::close(l.request_fd);
    ::close(l.result_fd);
    int status = 0;
    ::waitpid(l.pid, &status, 0);
}

conversion convert(launcher& l, const std::string& input, const std::string& out_base, const std::string& option = "") {
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    const std::uint32_t sizes[3] = {static_cast<std::uint32_t>(input.size()),
                                    static_cast<std::uint32_t>(out_base.size()),
                                    static_cast<std::uint32_t>(option.size())};
    conversion c;
    if (!write_all(l.request_fd, sizes, sizeof sizes) || !write_all(l.request_fd, input.data(), input.size()) ||
        !write_all(l.request_fd, out_base.data(), out_base.size()) ||
        !write_all(l.request_fd, option.data(), option.size()) || !read_all(l.result_fd, &c, sizeof c))
        fail("launcher");
    // The converter's exit code is 1 when both files were written.
    if (!WIFEXITED(c.status) || WEXITSTATUS(c.status) != 1) {
        errno = 0;
        fail("conversion of " + input + " failed, status " + std::to_string(c.status));
    }
    return c;
}

// Wall-clock and CPU seconds of one floor measured in this process.
struct timing {
    double wall = 0;
    double cpu = 0;
};

struct stopwatch {
    double wall = now();
    double cpu = cpu_now();
    timing stop() const { return {now() - wall, cpu_now() - cpu}; }
};

timing read_floor(const std::string& path, std::vector<char>& into) {
    stopwatch w;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail("open " + path);
    std::size_t at = 0;
    for (;;) {
        if (into.size() - at < io_block) into.resize(at + io_block);
        ssize_t got = ::read(fd, into.data() + at, io_block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("read " + path);
        if (got == 0) break;
        at += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return w.stop();
}

bool finite(const tessvert::vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Formats the numbers of every face's corners, as many as the mesh file
// holds, in the same order, into a small reused buffer; counts them.
timing format_floor(const tessvert::scene& s, std::uint64_t& numbers) {
    std::vector<char> buffer(1 << 16);
    const std::size_t limit = buffer.size() - 6 * tessvert::number_text_max;
    numbers = 0;
    std::size_t used = 0;
    stopwatch w;
    for (const tessvert::mesh_object& o : s.objects) {
        for (const tessvert::face& f : o.faces) {
            const std::uint32_t corners[3] = {f.a, f.b, f.c};
            bool smooth = finite(o.normals[f.a]) && finite(o.normals[f.b]) && finite(o.normals[f.c]);
            for (std::uint32_t i : corners) {
                if (used > limit) used = 0;
                char* p = buffer.data();
                const tessvert::vec3& v = o.vertices[i];
                used += tessvert::format_number(v.x, p + used);
                used += tessvert::format_number(v.y, p + used);
                used += tessvert::format_number(v.z, p + used);
                numbers += 3;
                if (!smooth) continue;
                const tessvert::vec3& n = o.normals[i];
                used += tessvert::format_number(n.x, p + used);
                used += tessvert::format_number(n.y, p + used);
                used += tessvert::format_number(n.z, p + used);
                numbers += 3;
            }
        }
    }
    return w.stop();
}

timing write_floor(const std::string& path, const std::vector<char>& block, std::uint64_t bytes) {
    remove_file(path);
    stopwatch w;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail("open " + path);
    while (bytes > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, block.size()));
        ssize_t put = ::write(fd, block.data(), n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) fail("write " + path);
        bytes -= static_cast<std::uint64_t>(put);
    }
    if (::close(fd) != 0) fail("close " + path);
    timing t = w.stop();
    remove_file(path);
    return t;
}

// Reads the scene with its normals as the converter does, its messages
// dropped.
tessvert::scene load_quietly(const std::string& path) {
    tessvert::reporter silent;
    tessvert::run_options options;
    options.input_path = path;
    tessvert::scene s = tessvert::init_scene();
    if (!tessvert::read_scene(options, s, silent)) {
        errno = 0;
        fail("cannot load " + path);
    }
    return s;
}

struct row {
    std::uint64_t faces = 0;
    int runs = 0;
    double in_mb = 0, out_mb = 0;
    timing convert, read, format, write;  // medians, each column on its own
    double peak_mib = 0;
    std::uint64_t numbers = 0;
    double floor() const { return read.wall + format.wall + write.wall; }
    double floor_cpu() const { return read.cpu + format.cpu + write.cpu; }
    double per_face_us() const { return convert.wall / static_cast<double>(faces) * 1e6; }
};

timing medians(const std::vector<timing>& samples) {
    std::vector<double> wall, cpu;
    for (const timing& t : samples) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return {median(wall), median(cpu)};
}

row measure(launcher& l, const std::string& dir, std::uint64_t faces, int runs) {
    row r;
    r.faces = faces;
    r.runs = runs;
    const std::string tag = std::to_string(faces);
    const std::string input = dir + "/scene_" + tag + ".3ds";
    const std::string out_base = dir + "/out_" + tag;
    const std::string write_path = dir + "/write_floor_" + tag;
    if (!testkit::write_file(input, tessvert_bench::make_bench_scene(faces))) fail("write " + input);
    r.in_mb = static_cast<double>(file_size(input)) / 1e6;

    convert(l, input, out_base);  // warm-up: the input is in the page cache
    const std::uint64_t out_bytes = file_size(out_base + ".inc") + file_size(out_base + ".vrx");
    r.out_mb = static_cast<double>(out_bytes) / 1e6;
    // The written block is real mesh text: the start of the include file.
    std::vector<char> block(io_block);
    {
        int fd = ::open((out_base + ".inc").c_str(), O_RDONLY);
        if (fd < 0) fail("open include file");
        ssize_t got = ::read(fd, block.data(), block.size());
        ::close(fd);
        if (got <= 0) fail("read include file");
        for (std::size_t i = static_cast<std::size_t>(got); i < block.size(); ++i) block[i] = block[i % got];
    }
    const tessvert::scene s = load_quietly(input);

    std::vector<timing> convert_t, read_t, format_t, write_t;
    std::vector<char> input_copy;
    long peak_kib = 0;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, input, out_base);
        convert_t.push_back({c.seconds, c.cpu_seconds});
        peak_kib = std::max(peak_kib, c.peak_kib);
        remove_file(out_base + ".inc");  // its pages freed, as before the write floor
        remove_file(out_base + ".vrx");
        read_t.push_back(read_floor(input, input_copy));
        format_t.push_back(format_floor(s, r.numbers));
        write_t.push_back(write_floor(write_path, block, out_bytes));
    }
    remove_file(input);
    r.convert = medians(convert_t);
    r.read = medians(read_t);
    r.format = medians(format_t);
    r.write = medians(write_t);
    r.peak_mib = static_cast<double>(peak_kib) / 1024.0;
    return r;
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

// The scene with material and smoothing groups, converted alternately in
// the default mode and with --faithful; medians of each.
struct groups_row {
    std::uint64_t faces = 0;
    int runs = 0;
    timing plain, faithful;
};

groups_row measure_groups(launcher& l, const std::string& dir, std::uint64_t faces, int runs) {
    groups_row r{faces, runs, {}, {}};
    const std::string input = dir + "/groups_" + std::to_string(faces) + ".3ds";
    const std::string out_base = dir + "/groups_out_" + std::to_string(faces);
    if (!testkit::write_file(input, tessvert_bench::make_bench_scene(faces, tessvert_bench::scene_kind::groups)))
        fail("write " + input);
    convert(l, input, out_base);  // warm-up: the input is in the page cache
    convert(l, input, out_base, "--faithful");
    std::vector<timing> plain_t, faithful_t;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, input, out_base);
        plain_t.push_back({c.seconds, c.cpu_seconds});
        c = convert(l, input, out_base, "--faithful");
        faithful_t.push_back({c.seconds, c.cpu_seconds});
    }
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    remove_file(input);
    r.plain = medians(plain_t);
    r.faithful = medians(faithful_t);
    return r;
}

void print_groups_row(const groups_row& r) {
    const double wall = r.faithful.wall / r.plain.wall, cpu = r.faithful.cpu / r.plain.cpu;
    std::printf("%9llu %4d |  %7.3f %7.3f |  %7.3f %7.3f | %5.2f %5.2f | target <= 1.5 (wall): %s\n",
                static_cast<unsigned long long>(r.faces), r.runs, r.plain.wall, r.plain.cpu, r.faithful.wall,
                r.faithful.cpu, wall, cpu, verdict(wall <= 1.5));
    std::fflush(stdout);
}

void print_header() {
    std::printf(
        "                             |------------- conversion ------------|"
        "---------- floors, wall ----------|       |--- CPU seconds ---|\n");
    std::printf(
        "    faces  in MB  out MB runs |  wall s    MB/s  us/face  peak MiB |"
        "   read  format   write   floor | ratio | convert floor ratio\n");
}

void print_row(const row& r) {
    std::printf(
        "%9llu %6.1f %7.1f %4d | %7.3f %7.0f %8.3f %9.1f |"
        " %6.3f %7.3f %7.3f %7.3f | %5.2f | %7.3f %5.3f %5.2f\n",
        static_cast<unsigned long long>(r.faces), r.in_mb, r.out_mb, r.runs, r.convert.wall, r.out_mb / r.convert.wall,
        r.per_face_us(), r.peak_mib, r.read.wall, r.format.wall, r.write.wall, r.floor(), r.convert.wall / r.floor(),
        r.convert.cpu, r.floor_cpu(), r.convert.cpu / r.floor_cpu());
    std::fflush(stdout);
}

// The material-group scene of `megabytes` MB each of materials and groups,
// converted `runs` times: median wall-clock and CPU seconds.
void measure_lookup(launcher& l, const std::string& dir, std::uint64_t megabytes, int runs) {
    const std::string tag = std::to_string(megabytes);
    const std::string input = dir + "/lookup_" + tag + ".3ds";
    const std::string out_base = dir + "/lookup_out_" + tag;
    if (!testkit::write_file(input, tessvert_bench::make_lookup_scene(megabytes))) fail("write " + input);
    const double in_mb = static_cast<double>(file_size(input)) / 1e6;
    convert(l, input, out_base);  // warm-up
    std::vector<timing> samples;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, input, out_base);
        samples.push_back({c.seconds, c.cpu_seconds});
    }
    remove_file(input);
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    const timing t = medians(samples);
    std::printf(
        "material groups: %llu MB of materials named \"a\", %llu MB of groups naming \"b\" (%.1f MB in), "
        "%d runs: wall %.3f s, CPU %.3f s\n",
        static_cast<unsigned long long>(megabytes), static_cast<unsigned long long>(megabytes), in_mb, runs, t.wall,
        t.cpu);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_driver TESSVERT TEMP_DIR [FACES:RUNS ...]\n");
        return 2;
    }
    const std::string binary = argv[1];
    const std::string dir = argv[2];
    std::vector<std::pair<std::uint64_t, int>> sizes, lookup_sizes, groups_sizes;
    for (int i = 3; i < argc; ++i) {
        const bool lookup = std::strncmp(argv[i], "lookup:", 7) == 0;
        const bool groups = std::strncmp(argv[i], "groups:", 7) == 0;
        const char* size = lookup || groups ? argv[i] + 7 : argv[i];
        unsigned long long count = 0;
        int runs = 0;
        if (std::sscanf(size, "%llu:%d", &count, &runs) != 2 || count == 0 || runs < 1) {
            std::fprintf(stderr, "bench_driver: bad size %s (FACES:RUNS, lookup:MB:RUNS or groups:FACES:RUNS)\n",
                         argv[i]);
            return 2;
        }
        (lookup ? lookup_sizes : groups ? groups_sizes : sizes).emplace_back(count, runs);
    }
    if (sizes.empty() && lookup_sizes.empty() && groups_sizes.empty()) {
        sizes = {{10000, 15}, {250000, 11}, {1000000, 11}, {4000000, 7}};
        groups_sizes = {{1000000, 7}};
        lookup_sizes = {{4, 5}};
    }

    launcher l = start_launcher(binary);
    std::vector<row> rows;
    if (!sizes.empty()) print_header();
    for (auto [faces, runs] : sizes) {
        rows.push_back(measure(l, dir, faces, runs));
        print_row(rows.back());
    }
    if (!groups_sizes.empty()) {
        std::printf(
            "\nScene with material groups and smoothing groups (make_scene --groups), default and --faithful"
            " alternately:\n"
            "    faces runs |  default: wall s   CPU s | faithful: wall s  CPU s | ratio wall CPU |\n");
        for (auto [faces, runs] : groups_sizes) print_groups_row(measure_groups(l, dir, faces, runs));
    }
    if (!lookup_sizes.empty()) std::printf("\n");
    for (auto [megabytes, runs] : lookup_sizes) measure_lookup(l, dir, megabytes, runs);
    stop_launcher(l);

    const row* one = nullptr;
    const row* four = nullptr;
    for (const row& r : rows) {
        if (r.faces == 1000000) one = &r;
        if (r.faces == 4000000) four = &r;
    }
    std::printf("\n");
    if (one) {
        std::printf("1M faces: conversion / floor sum = %.2f wall, %.2f CPU (target <= 1.5): %s\n",
                    one->convert.wall / one->floor(), one->convert.cpu / one->floor_cpu(),
                    verdict(one->convert.wall / one->floor() <= 1.5));
        std::printf("1M faces: peak memory %.1f MiB (target <= 64 MiB): %s\n", one->peak_mib,
                    verdict(one->peak_mib <= 64.0));
        const double reference_us = reference_seconds / reference_faces * 1e6;
        const double speedup = reference_us / one->per_face_us();
        std::printf(
            "1M faces: %.1f times faster per face than a straightforward converter's 3.27 s for\n"
            "  998 432 faces (%.3f us/face), a figure measured elsewhere, not in this run "
            "(target >= 6): %s\n",
            speedup, reference_us, verdict(speedup >= 6.0));
        std::printf("1M faces: the format floor formats %llu numbers\n", static_cast<unsigned long long>(one->numbers));
    }
    if (one && four) {
        const double growth = four->per_face_us() / one->per_face_us() - 1.0;
        std::printf("4M vs 1M faces: time per face %+.1f %% (target within 15 %%): %s\n", growth * 100.0,
                    verdict(std::fabs(growth) <= 0.15));
    }
    return 0;
}
