// Times the whole tessvert conversion of generated scenes on 1, 2 and all
// threads (the CPUs of the driver's affinity mask), next to the I/O floor
// measured in the same run on the same machine: reading the input file into
// memory (1 MiB read calls) plus writing as many bytes as the conversion's
// two output files to a new file (1 MiB write calls, then close).
// Every figure is the median of the runs, in wall-clock and in CPU seconds;
// peak memory is the largest ru_maxrss of the conversion's process.
//
// With --before OLD, the converter OLD (as it was before a change) is timed
// in the same run, alternately with the others, and every output of the
// new converter is compared with its output byte for byte. The last lines
// check the targets on the 1 M-face scene and, at 4 M faces, the CPU
// seconds per face.
//
// A lookup:MB:RUNS row times the material look-up: it converts a scene of
// MB megabytes of materials and as many of material groups
// (make_lookup_scene), where every group is looked up among all materials.
//
// A fan:RUNS row converts two objects of 65 535 faces around one vertex
// (a flat fan and a cone, make_fan_scene) in the default mode and with
// --crease 30, and compares the two times: the crease angle must stay
// linear in the faces at a vertex.
//
// A pov:FACES:RUNS row converts the bench scene alternately to the default
// format and to POV-Ray (--format pov) on 1, 2 and all threads, and checks
// that POV-Ray takes no longer, within 64 MiB; a gltf:FACES:RUNS row does
// the same with glTF (--format gltf).
//
// A groups:FACES:RUNS row converts a scene with several material groups and
// smoothing groups per object (make_scene --groups) alternately in the
// default mode and with --faithful on 1, 2 and all threads, and compares
// the two times and their peak memory. A bands:FACES:RUNS row does the same
// with the scene of materials and masks in bands (make_scene --bands).
//
//   bench_driver TESSVERT TEMP_DIR [--before OLD] [FACES:RUNS | lookup:MB:RUNS | groups:FACES:RUNS |
//                                                bands:FACES:RUNS | pov:FACES:RUNS | gltf:FACES:RUNS | fan:RUNS ...]
#include <fcntl.h>
#include <sched.h>
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

#include "app/runtime/workers.hpp"
#include "bench/scene_generator.hpp"
#include "testkit/files.hpp"

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
    double sys_seconds = 0;  // system time alone
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

double sys_now() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return seconds_of(usage.ru_stime);
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

// One run of `argv` (the binary first) with its console sent to /dev/null.
conversion run_binary(const std::vector<std::string>& argv) {
    conversion c;
    double start = now();
    pid_t pid = ::fork();
    if (pid < 0) return c;
    if (pid == 0) {
        int null_fd = ::open("/dev/null", O_WRONLY);
        if (null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    struct rusage usage {};
    if (::wait4(pid, &c.status, 0, &usage) != pid) c.status = -1;
    c.seconds = now() - start;
    c.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    c.sys_seconds = seconds_of(usage.ru_stime);
    c.peak_kib = usage.ru_maxrss;
    return c;
}

// Request: the number of arguments, then each as its length and its bytes.
bool send_strings(int fd, const std::vector<std::string>& strings) {
    const auto count = static_cast<std::uint32_t>(strings.size());
    if (!write_all(fd, &count, sizeof count)) return false;
    for (const std::string& s : strings) {
        const auto size = static_cast<std::uint32_t>(s.size());
        if (!write_all(fd, &size, sizeof size) || !write_all(fd, s.data(), s.size())) return false;
    }
    return true;
}

bool receive_strings(int fd, std::vector<std::string>& strings) {
    std::uint32_t count = 0;
    if (!read_all(fd, &count, sizeof count)) return false;
    strings.assign(count, {});
    for (std::string& s : strings) {
        std::uint32_t size = 0;
        if (!read_all(fd, &size, sizeof size)) return false;
        s.resize(size);
        if (!read_all(fd, s.data(), size)) return false;
    }
    return true;
}

launcher start_launcher() {
    int request[2], result[2];
    if (::pipe(request) != 0 || ::pipe(result) != 0) fail("pipe");
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        ::close(request[1]);
        ::close(result[0]);
        for (std::vector<std::string> argv; receive_strings(request[0], argv);) {
            conversion c = run_binary(argv);
            if (!write_all(result[1], &c, sizeof c)) ::_exit(1);
        }
        ::_exit(0);
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

// A converter and how it is run: the binary, and --threads N unless N is 0.
struct variant {
    std::string binary;
    int threads = 0;
    std::string label;
};

conversion convert(launcher& l, const variant& v, const std::string& input, const std::string& out_base,
                   const std::vector<std::string>& options = {}) {
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    for (const char* ext : {".pov", ".gltf", ".bin"}) remove_file(out_base + ext);
    std::vector<std::string> argv = {v.binary, "-i", input, "-o", out_base};
    if (v.threads > 0) {
        argv.push_back("--threads");
        argv.push_back(std::to_string(v.threads));
    }
    argv.insert(argv.end(), options.begin(), options.end());
    conversion c;
    if (!send_strings(l.request_fd, argv) || !read_all(l.result_fd, &c, sizeof c)) fail("launcher");
    // The converter's exit code is 1 when both files were written.
    if (!WIFEXITED(c.status) || WEXITSTATUS(c.status) != 1) {
        errno = 0;
        fail("conversion of " + input + " by " + v.binary + " failed, status " + std::to_string(c.status));
    }
    return c;
}

// Wall-clock and CPU seconds of one floor measured in this process.
struct timing {
    double wall = 0;
    double cpu = 0;
    double sys = 0;  // the system's part of cpu
};

struct stopwatch {
    double wall = now();
    double cpu = cpu_now();
    double sys = sys_now();
    timing stop() const { return {now() - wall, cpu_now() - cpu, sys_now() - sys}; }
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

timing medians(const std::vector<timing>& samples) {
    std::vector<double> wall, cpu, sys;
    for (const timing& t : samples) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
        sys.push_back(t.sys);
    }
    return {median(wall), median(cpu), median(sys)};
}

// One variant on one scene.
struct row {
    variant v;
    timing convert;  // medians
    double peak_mib = 0;
    bool same_bytes = true;  // as the first variant's outputs
};

struct size_rows {
    std::uint64_t faces = 0;
    int runs = 0;
    double in_mb = 0, out_mb = 0;
    timing floor;  // read + write, medians
    std::vector<row> rows;
};

// Both outputs of a conversion, to compare.
std::string outputs_of(const std::string& out_base) {
    return testkit::read_file(out_base + ".vrx") + '\0' + testkit::read_file(out_base + ".inc");
}

size_rows measure(launcher& l, const std::vector<variant>& variants, const std::string& dir, std::uint64_t faces,
                  int runs) {
    size_rows r;
    r.faces = faces;
    r.runs = runs;
    const std::string tag = std::to_string(faces);
    const std::string input = dir + "/scene_" + tag + ".3ds";
    const std::string out_base = dir + "/out_" + tag;
    const std::string write_path = dir + "/write_floor_" + tag;
    if (!testkit::write_file(input, tessvert_bench::make_bench_scene(faces))) fail("write " + input);
    r.in_mb = static_cast<double>(file_size(input)) / 1e6;

    // Warm-up, one conversion of each: the input is in the page cache, and
    // every output is compared with the first variant's.
    std::string first;
    for (const variant& v : variants) {
        convert(l, v, input, out_base);
        const std::string outputs = outputs_of(out_base);
        if (first.empty()) first = outputs;
        r.rows.push_back({v, {}, 0, outputs == first});
    }
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

    // Each run converts with every variant in turn, then measures the floor.
    std::vector<std::vector<timing>> convert_t(variants.size());
    std::vector<long> peak_kib(variants.size(), 0);
    std::vector<timing> floor_t;
    std::vector<char> input_copy;
    for (int i = 0; i < runs; ++i) {
        for (std::size_t k = 0; k < variants.size(); ++k) {
            conversion c = convert(l, variants[k], input, out_base);
            convert_t[k].push_back({c.seconds, c.cpu_seconds, c.sys_seconds});
            peak_kib[k] = std::max(peak_kib[k], c.peak_kib);
        }
        remove_file(out_base + ".inc");  // its pages freed, as before the write floor
        remove_file(out_base + ".vrx");
        const timing read = read_floor(input, input_copy);
        const timing write = write_floor(write_path, block, out_bytes);
        floor_t.push_back({read.wall + write.wall, read.cpu + write.cpu, read.sys + write.sys});
    }
    remove_file(input);
    for (std::size_t k = 0; k < variants.size(); ++k) {
        r.rows[k].convert = medians(convert_t[k]);
        r.rows[k].peak_mib = static_cast<double>(peak_kib[k]) / 1024.0;
    }
    r.floor = medians(floor_t);
    return r;
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

// A scene with material and smoothing groups (`kind`), converted
// alternately in the default mode and with --faithful; medians of each.
struct groups_row {
    std::uint64_t faces = 0;
    int runs = 0;
    std::string threads;
    timing plain, faithful;
    double plain_peak_mib = 0, faithful_peak_mib = 0;
};

groups_row measure_groups(launcher& l, const variant& v, const std::string& dir, std::uint64_t faces, int runs,
                          tessvert_bench::scene_kind kind) {
    groups_row r{faces, runs, v.label, {}, {}, 0, 0};
    const std::string input = dir + "/groups_" + std::to_string(faces) + ".3ds";
    const std::string out_base = dir + "/groups_out_" + std::to_string(faces);
    if (!testkit::write_file(input, tessvert_bench::make_bench_scene(faces, kind))) fail("write " + input);
    convert(l, v, input, out_base);  // warm-up: the input is in the page cache
    convert(l, v, input, out_base, {"--faithful"});
    std::vector<timing> plain_t, faithful_t;
    long plain_peak = 0, faithful_peak = 0;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, v, input, out_base);
        plain_t.push_back({c.seconds, c.cpu_seconds});
        plain_peak = std::max(plain_peak, c.peak_kib);
        c = convert(l, v, input, out_base, {"--faithful"});
        faithful_t.push_back({c.seconds, c.cpu_seconds});
        faithful_peak = std::max(faithful_peak, c.peak_kib);
    }
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    remove_file(input);
    r.plain = medians(plain_t);
    r.faithful = medians(faithful_t);
    r.plain_peak_mib = static_cast<double>(plain_peak) / 1024.0;
    r.faithful_peak_mib = static_cast<double>(faithful_peak) / 1024.0;
    return r;
}

// The bench scene converted to the default format and to another language
// alternately, on one thread count; medians and peak memory of each.
struct format_row {
    std::uint64_t faces = 0;
    int runs = 0;
    std::string threads;
    timing plain, pov;
    double plain_peak_mib = 0, pov_peak_mib = 0;
    double plain_mb = 0, pov_mb = 0;  // the two files' sizes
};

// `format` is the --format value, its files' extensions `scene` and `mesh`.
format_row measure_format(launcher& l, const variant& v, const std::string& dir, std::uint64_t faces, int runs,
                          const std::string& format, const char* scene, const char* mesh) {
    format_row r{faces, runs, v.label, {}, {}, 0, 0, 0, 0};
    const std::string input = dir + "/" + format + "_" + std::to_string(faces) + ".3ds";
    const std::string out_base = dir + "/" + format + "_out_" + std::to_string(faces);
    if (!testkit::write_file(input, tessvert_bench::make_bench_scene(faces))) fail("write " + input);
    const std::vector<std::string> pov = {"--format", format};
    convert(l, v, input, out_base);  // warm-up: the input is in the page cache
    r.plain_mb = static_cast<double>(file_size(out_base + ".vrx") + file_size(out_base + ".inc")) / 1e6;
    convert(l, v, input, out_base, pov);
    r.pov_mb = static_cast<double>(file_size(out_base + scene) + file_size(out_base + mesh)) / 1e6;
    std::vector<timing> plain_t, pov_t;
    long plain_peak = 0, pov_peak = 0;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, v, input, out_base);
        plain_t.push_back({c.seconds, c.cpu_seconds, c.sys_seconds});
        plain_peak = std::max(plain_peak, c.peak_kib);
        c = convert(l, v, input, out_base, pov);
        pov_t.push_back({c.seconds, c.cpu_seconds, c.sys_seconds});
        pov_peak = std::max(pov_peak, c.peak_kib);
    }
    for (const char* ext : {".inc", ".vrx", scene, mesh}) remove_file(out_base + ext);
    remove_file(input);
    r.plain = medians(plain_t);
    r.pov = medians(pov_t);
    r.plain_peak_mib = static_cast<double>(plain_peak) / 1024.0;
    r.pov_peak_mib = static_cast<double>(pov_peak) / 1024.0;
    return r;
}

void print_format_row(const format_row& r) {
    const bool met = r.pov.wall <= r.plain.wall && r.pov_peak_mib <= 64.0;
    std::printf("%9llu %4d %7s | %6.1f %7.3f %7.3f %8.1f | %6.1f %7.3f %7.3f %8.1f | %5.2f | %s\n",
                static_cast<unsigned long long>(r.faces), r.runs, r.threads.c_str(), r.plain_mb, r.plain.wall,
                r.plain.cpu, r.plain_peak_mib, r.pov_mb, r.pov.wall, r.pov.cpu, r.pov_peak_mib,
                r.pov.wall / r.plain.wall, verdict(met));
    std::fflush(stdout);
}

void print_groups_row(const groups_row& r) {
    const double wall = r.faithful.wall / r.plain.wall, cpu = r.faithful.cpu / r.plain.cpu;
    const bool met = wall <= 1.2 && r.plain_peak_mib <= 64.0 && r.faithful_peak_mib <= 64.0;
    std::printf("%9llu %4d %7s |  %7.3f %7.3f %8.1f |  %7.3f %7.3f %8.1f | %5.2f %5.2f | %s\n",
                static_cast<unsigned long long>(r.faces), r.runs, r.threads.c_str(), r.plain.wall, r.plain.cpu,
                r.plain_peak_mib, r.faithful.wall, r.faithful.cpu, r.faithful_peak_mib, wall, cpu, verdict(met));
    std::fflush(stdout);
}

void print_header() {
    std::puts(
        "                                      |--------------------- conversion ---------------------"
        "|------ I/O floor ------|");
    std::puts(
        "    faces  in MB  out MB runs threads |  wall s   CPU s   sys s  CPU ns/face  peak MiB  same "
        "|  wall s   CPU s   sys s | ratio");
}

void print_rows(const size_rows& r) {
    for (const row& x : r.rows)
        std::printf("%9llu %6.1f %7.1f %4d %7s | %7.3f %7.3f %7.3f %12.1f %9.1f %5s | %7.3f %7.3f %7.3f | %5.2f\n",
                    static_cast<unsigned long long>(r.faces), r.in_mb, r.out_mb, r.runs, x.v.label.c_str(),
                    x.convert.wall, x.convert.cpu, x.convert.sys, x.convert.cpu / static_cast<double>(r.faces) * 1e9,
                    x.peak_mib, x.same_bytes ? "yes" : "NO", r.floor.wall, r.floor.cpu, r.floor.sys,
                    x.convert.wall / r.floor.wall);
    std::fflush(stdout);
}

// The material-group scene of `megabytes` MB each of materials and groups,
// converted `runs` times: median wall-clock and CPU seconds.
void measure_lookup(launcher& l, const variant& v, const std::string& dir, std::uint64_t megabytes, int runs) {
    const std::string tag = std::to_string(megabytes);
    const std::string input = dir + "/lookup_" + tag + ".3ds";
    const std::string out_base = dir + "/lookup_out_" + tag;
    if (!testkit::write_file(input, tessvert_bench::make_lookup_scene(megabytes))) fail("write " + input);
    const double in_mb = static_cast<double>(file_size(input)) / 1e6;
    convert(l, v, input, out_base);  // warm-up
    std::vector<timing> samples;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, v, input, out_base);
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

// The fan and cone scene, default and --crease 30 alternately.
void measure_fan(launcher& l, const variant& v, const std::string& dir, int runs) {
    const std::string input = dir + "/fan.3ds";
    const std::string out_base = dir + "/fan_out";
    if (!testkit::write_file(input, tessvert_bench::make_fan_scene())) fail("write " + input);
    convert(l, v, input, out_base);  // warm-up
    std::vector<timing> plain_t, crease_t;
    for (int i = 0; i < runs; ++i) {
        conversion c = convert(l, v, input, out_base);
        plain_t.push_back({c.seconds, c.cpu_seconds});
        c = convert(l, v, input, out_base, {"--crease", "30"});
        crease_t.push_back({c.seconds, c.cpu_seconds});
    }
    remove_file(input);
    remove_file(out_base + ".inc");
    remove_file(out_base + ".vrx");
    const timing plain = medians(plain_t), crease = medians(crease_t);
    std::printf(
        "fan and cone, 65 535 faces at one vertex each, %d runs: default wall %.3f s CPU %.3f s; --crease 30 wall "
        "%.3f s CPU %.3f s; ratio wall %.2f | target <= 3 (wall): %s\n",
        runs, plain.wall, plain.cpu, crease.wall, crease.cpu, crease.wall / plain.wall,
        verdict(crease.wall / plain.wall <= 3.0));
    std::fflush(stdout);
}

const row* find_row(const size_rows& r, const std::string& label) {
    for (const row& x : r.rows)
        if (x.v.label == label) return &x;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_driver TESSVERT TEMP_DIR [--before OLD] [FACES:RUNS ...]\n");
        return 2;
    }
    const std::string binary = argv[1];
    const std::string dir = argv[2];
    std::string before;
    std::vector<std::pair<std::uint64_t, int>> sizes, lookup_sizes, groups_sizes, bands_sizes, pov_sizes, gltf_sizes;
    int fan_runs = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--before") == 0 && i + 1 < argc) {
            before = argv[++i];
            continue;
        }
        if (std::strncmp(argv[i], "fan:", 4) == 0) {
            fan_runs = std::atoi(argv[i] + 4);
            if (fan_runs < 1) {
                std::fprintf(stderr, "bench_driver: bad fan:RUNS %s\n", argv[i]);
                return 2;
            }
            continue;
        }
        const bool lookup = std::strncmp(argv[i], "lookup:", 7) == 0;
        const bool groups = std::strncmp(argv[i], "groups:", 7) == 0;
        const bool bands = std::strncmp(argv[i], "bands:", 6) == 0;
        const bool pov = std::strncmp(argv[i], "pov:", 4) == 0;
        const bool gltf = std::strncmp(argv[i], "gltf:", 5) == 0;
        const char* size = lookup || groups ? argv[i] + 7
                           : bands          ? argv[i] + 6
                           : gltf           ? argv[i] + 5
                           : pov            ? argv[i] + 4
                                            : argv[i];
        unsigned long long count = 0;
        int runs = 0;
        if (std::sscanf(size, "%llu:%d", &count, &runs) != 2 || count == 0 || runs < 1) {
            std::fprintf(stderr,
                         "bench_driver: bad size %s (FACES:RUNS, lookup:MB:RUNS, groups:FACES:RUNS, bands:FACES:RUNS, "
                         "pov:FACES:RUNS or gltf:FACES:RUNS)\n",
                         argv[i]);
            return 2;
        }
        (lookup   ? lookup_sizes
         : groups ? groups_sizes
         : bands  ? bands_sizes
         : pov    ? pov_sizes
         : gltf   ? gltf_sizes
                  : sizes)
            .emplace_back(count, runs);
    }
    if (sizes.empty() && lookup_sizes.empty() && groups_sizes.empty() && bands_sizes.empty() && pov_sizes.empty() &&
        gltf_sizes.empty() && fan_runs == 0) {
        sizes = {{10000, 15}, {250000, 11}, {1000000, 11}, {4000000, 7}};
        groups_sizes = {{1000000, 7}};
        bands_sizes = {{1000000, 7}};
        pov_sizes = {{1000000, 7}};
        gltf_sizes = {{1000000, 7}};
        lookup_sizes = {{4, 5}};
        fan_runs = 5;
    }

    // 1, 2 and all threads: the CPUs the converter would use by default.
    const int all = tessvert::threads_to_use(0);
    std::vector<variant> variants;
    if (!before.empty()) variants.push_back({before, 0, "before"});
    for (int t : {1, 2, all}) {
        if (!variants.empty() && variants.back().threads >= t) continue;
        std::string label = std::to_string(t);
        if (t == all) label += "=all";
        variants.push_back({binary, t, label});
    }
    const std::string all_label = std::to_string(all) + "=all";

    launcher l = start_launcher();
    std::vector<size_rows> results;
    if (!sizes.empty()) {
        std::printf("all threads: %d (the CPUs of the affinity mask)%s\n", all,
                    before.empty() ? "" : "; before: the converter given with --before, in turn with the others");
        print_header();
    }
    for (auto [faces, runs] : sizes) {
        results.push_back(measure(l, variants, dir, faces, runs));
        print_rows(results.back());
    }
    const variant& newest = variants.back();
    // The --faithful and POV-Ray rows time this converter alone, on each of
    // its thread counts.
    const std::vector<variant> own(variants.begin() + (before.empty() ? 0 : 1), variants.end());
    if (!groups_sizes.empty()) {
        std::printf(
            "\nScene with material groups and smoothing groups (make_scene --groups), default and --faithful"
            " alternately;\ntarget: --faithful at most 1.2 times the default's wall-clock time, both at most 64 MiB:\n"
            "    faces runs threads |  default: wall s   CPU s peak MiB | faithful: wall s  CPU s peak MiB "
            "| ratio wall CPU |\n");
        for (auto [faces, runs] : groups_sizes)
            for (const variant& v : own)
                print_groups_row(measure_groups(l, v, dir, faces, runs, tessvert_bench::scene_kind::groups));
    }
    if (!bands_sizes.empty()) {
        std::printf(
            "\nScene with three materials in bands of 97 faces and smoothing masks in bands of 64 (make_scene --bands),"
            " default and --faithful alternately;\ntarget: --faithful at most 1.2 times the default's wall-clock time,"
            " both at most 64 MiB:\n"
            "    faces runs threads |  default: wall s   CPU s peak MiB | faithful: wall s  CPU s peak MiB "
            "| ratio wall CPU |\n");
        for (auto [faces, runs] : bands_sizes)
            for (const variant& v : own)
                print_groups_row(measure_groups(l, v, dir, faces, runs, tessvert_bench::scene_kind::bands));
    }
    // The other languages against the default, each on its own scene.
    struct language_rows {
        const std::vector<std::pair<std::uint64_t, int>>& sizes;
        const char *format, *title, *scene, *mesh;
    };
    for (const language_rows& rows : {language_rows{pov_sizes, "pov", "POV-Ray", ".pov", ".inc"},
                                      language_rows{gltf_sizes, "gltf", "glTF", ".gltf", ".bin"}}) {
        if (rows.sizes.empty()) continue;
        std::printf(
            "\nThe default format and %s (--format %s) alternately; target: %s no slower, at most 64 MiB:\n"
            "    faces runs threads |  default: MB  wall s   CPU s peak MiB | --format %-4s: MB  wall s   CPU s peak "
            "MiB | ratio |\n",
            rows.title, rows.format, rows.title, rows.format);
        for (auto [faces, runs] : rows.sizes)
            for (const variant& v : own)
                print_format_row(measure_format(l, v, dir, faces, runs, rows.format, rows.scene, rows.mesh));
    }
    if (!lookup_sizes.empty()) std::printf("\n");
    for (auto [megabytes, runs] : lookup_sizes) measure_lookup(l, newest, dir, megabytes, runs);
    if (fan_runs > 0) measure_fan(l, newest, dir, fan_runs);
    stop_launcher(l);

    const size_rows* one = nullptr;
    const size_rows* four = nullptr;
    for (const size_rows& r : results) {
        if (r.faces == 1000000) one = &r;
        if (r.faces == 4000000) four = &r;
    }
    std::printf("\n");
    if (one) {
        const row* a = find_row(*one, all_label);
        const row* b = find_row(*one, "before");
        if (b) {
            std::printf("1M faces, all threads: %.3f s, %.2f times the converter before's %.3f s (target <= 0.6): %s\n",
                        a->convert.wall, a->convert.wall / b->convert.wall, b->convert.wall,
                        verdict(a->convert.wall <= 0.6 * b->convert.wall));
            bool same = true;
            for (const row& x : one->rows) same = same && x.same_bytes;
            std::printf("1M faces: the same bytes as before on every thread count: %s\n", same ? "yes" : "NO");
        }
        std::printf("1M faces, all threads: %.2f times the I/O floor of %.3f s\n", a->convert.wall / one->floor.wall,
                    one->floor.wall);
        std::printf("1M faces: peak memory %.1f MiB on all threads (target <= 64 MiB): %s\n", a->peak_mib,
                    verdict(a->peak_mib <= 64.0));
        const double reference_us = reference_seconds / reference_faces * 1e6;
        const double speedup = reference_us / (a->convert.wall / static_cast<double>(one->faces) * 1e6);
        std::printf(
            "1M faces: %.1f times faster per face than a straightforward converter's 3.27 s for\n"
            "  998 432 faces (%.3f us/face), a figure measured elsewhere, not in this run\n",
            speedup, reference_us);
    }
    if (one && four) {
        const row* a1 = find_row(*one, all_label);
        const row* a4 = find_row(*four, all_label);
        const double growth =
            (a4->convert.cpu / static_cast<double>(four->faces)) / (a1->convert.cpu / static_cast<double>(one->faces)) -
            1.0;
        std::printf("4M vs 1M faces, all threads: CPU seconds per face %+.1f %% (target within 10 %%): %s\n",
                    growth * 100.0, verdict(std::fabs(growth) <= 0.10));
    }
    return 0;
}
