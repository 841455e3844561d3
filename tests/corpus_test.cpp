// Real 3DS files from many exporters, from the shared corpus beside the
// repository: each converts in both modes with the exit code and the
// statistics that the corpus's EXPECTED.md gives for it. Skipped when the
// shared folder is absent. In the sanitizer build this is also the check
// that no corpus file gives a sanitizer report (the run's exit code or
// console would differ).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run_binary.hpp"
#include "testkit/console.hpp"

namespace {

namespace fs = std::filesystem;

struct expectation {
    bool load_fails = false;
    long cameras = 0, lights = 0, materials = 0, objects = 0, faces = 0;
    int exit_code = 0;
    std::string notes;
};

fs::path corpus_dir() {
    fs::path shared = e2e::shared_dir();
    if (shared.empty()) return {};
    fs::path dir = shared / "corpus" / "3ds";
    return fs::is_directory(dir) ? dir : fs::path();
}

// Without the corpus a test is skipped, except in CI (CI=true), which has
// it: there its absence fails the test instead of passing it unseen.
#define SKIP_WITHOUT_CORPUS(dir)                                                 \
    do {                                                                         \
        if (!(dir).empty()) break;                                               \
        const char* ci = std::getenv("CI");                                      \
        if (ci != nullptr && std::string(ci) == "true")                          \
            FAIL() << "CI=true, but there is no corpus in ../shared/corpus/3ds"; \
        GTEST_SKIP() << "no shared corpus beside the repository";                \
    } while (false)

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool is_3ds_name(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".3ds";
}

// The rows of the table: | File | Cameras | Lights | Materials | Objects |
// Faces | Exit | Notes |, a failed load written "load fails" in the cameras
// column with the other figures empty.
std::map<std::string, expectation> read_expected(const fs::path& file) {
    std::map<std::string, expectation> rows;
    std::istringstream in(e2e::read_file(file));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with("|")) continue;
        std::vector<std::string> cells;
        std::size_t at = 1;
        while (at < line.size()) {
            std::size_t bar = line.find('|', at);
            if (bar == std::string::npos) break;
            cells.push_back(trim(line.substr(at, bar - at)));
            at = bar + 1;
        }
        if (cells.size() < 8 || !is_3ds_name(cells[0])) continue;
        expectation e;
        if (cells[1] == "load fails") {
            e.load_fails = true;
        } else {
            e.cameras = std::stol(cells[1]);
            e.lights = std::stol(cells[2]);
            e.materials = std::stol(cells[3]);
            e.objects = std::stol(cells[4]);
            e.faces = std::stol(cells[5]);
        }
        e.exit_code = std::stoi(cells[6]);
        e.notes = cells[7];
        rows[cells[0]] = e;
    }
    return rows;
}

void check_corpus(bool triangle_mode) {
    const fs::path dir = corpus_dir();
    SKIP_WITHOUT_CORPUS(dir);
    const std::map<std::string, expectation> rows = read_expected(dir / "EXPECTED.md");
    ASSERT_FALSE(rows.empty()) << "no rows read from EXPECTED.md";
    for (const auto& [name, e] : rows) {
        SCOPED_TRACE(name + (triangle_mode ? " with -t" : ""));
        const std::string input = (dir / name).string();
        ASSERT_TRUE(fs::is_regular_file(input));
        e2e::temp_dir work;
        std::vector<std::string> args{"-i", input, "-o", "out"};
        if (triangle_mode) args.push_back("-t");
        const e2e::result r = e2e::run(work.path, args, e2e::limits{.cpu_seconds = 120});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exit_code, e.exit_code) << r.out;
        if (e.load_fails) {
            EXPECT_NE(r.out.find("Unable to load PRIMARY chuck from file: " + input + "!\n"), std::string::npos)
                << r.out;
            EXPECT_TRUE(r.out.ends_with(" An error occured\n")) << r.out;
            EXPECT_TRUE(e2e::list_files(work.path).empty()) << "a failed load wrote a file";
            continue;
        }
        EXPECT_TRUE(
            r.out.ends_with(testkit::statistics_text(input, {e.cameras, e.lights, e.materials, e.objects, e.faces})))
            << r.out;
        EXPECT_EQ(e2e::list_files(work.path), (std::vector<std::string>{"out.inc", "out.vrx"}));
        // The warnings the notes name, and no others.
        const int ended = e.notes.find("ends inside a chunk") != std::string::npos ? 1 : 0;
        const int removed = e.notes.find("faces naming missing vertices removed") != std::string::npos ? 1 : 0;
        // The advice on the keyframer's further copies is no problem of the file.
        const int warnings = static_cast<int>(testkit::count_warnings(r.out) -
                                              testkit::count_warnings(r.out, "--instances adds those copies"));
        EXPECT_EQ(testkit::camera_hints(r.out), e.cameras == 0 ? 1u : 0u) << r.out;
        EXPECT_EQ(static_cast<int>(testkit::count_warnings(r.out, "the file ends")), ended) << r.out;
        if (removed == 1) {
            EXPECT_GE(warnings - ended, 1) << r.out;
        } else {
            EXPECT_EQ(warnings, ended) << r.out;
        }
        // The mesh file holds one triangle statement per counted face.
        const std::string inc = e2e::read_file(work / "out.inc");
        const long triangles = static_cast<long>(testkit::lines_with(inc, "smooth_triangle {").size() +
                                                 testkit::lines_with(inc, "triangle {").size());
        EXPECT_EQ(triangles, e.faces);
        if (triangle_mode) {
            EXPECT_EQ(inc.find("smooth_triangle"), std::string::npos);
        }
    }
}

// With --faithful the output shows each file as it holds it, as the shared
// fidelity tool measures it from the output files: over the whole corpus at
// most 0.5% of the faces a material group names have another colour and at
// most 1% of the corners are more than 10 degrees from their smoothing-group
// normal; every file without a camera that has faces is framed (every vertex
// in view, spanning at least half the picture's width or height). Skipped
// without the shared folder's corpus and tool, or without python3.
TEST(Corpus, FaithfulShowsEachFileAsItHoldsIt) {
    const fs::path dir = corpus_dir();
    SKIP_WITHOUT_CORPUS(dir);
    const fs::path tools = e2e::shared_dir() / "tools";
    if (!fs::is_regular_file(tools / "fidelity.py")) GTEST_SKIP() << "no fidelity tool in the shared folder";
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";

    e2e::temp_dir work;
    // The files measured in two halves at once, alternately.
    std::string lists[2];
    std::vector<std::pair<std::string, bool>> files;  // name, framing expected
    for (const auto& [name, e] : read_expected(dir / "EXPECTED.md")) {
        if (e.load_fails) continue;
        const fs::path out = work / std::to_string(files.size());
        fs::create_directory(out);
        const e2e::result r = e2e::run(out, {"-i", (dir / name).string(), "-o", "out", "--faithful"});
        EXPECT_EQ(r.exit_code, e.exit_code) << name;
        // The keyframer's further copies (--instances) widen the framing
        // beyond the file's own vertices, which the tool measures: the framing
        // is checked only where no copy was added.
        const std::string inc = e2e::read_file(out / "out.inc");
        const long triangles = static_cast<long>(testkit::lines_with(inc, "smooth_triangle {").size() +
                                                 testkit::lines_with(inc, "triangle {").size());
        lists[files.size() % 2] +=
            (dir / name).string() + "\t" + (out / "out.inc").string() + "\t" + (out / "out.vrx").string() + "\n";
        files.emplace_back(name, e.cameras == 0 && e.faces != 0 && triangles == e.faces);
    }
    ASSERT_FALSE(files.empty());
    for (int half = 0; half < 2; ++half) std::ofstream(work / ("files" + std::to_string(half) + ".txt")) << lists[half];
    // One line per file: faces counted and wrong, corners counted and wrong,
    // then the share of vertices in view and the fill in percent, or "none"
    // for a file with a camera.
    const std::string script =
        "import sys\n"
        "sys.path.insert(0, sys.argv[1])\n"
        "import fidelity\n"
        "for line in open(sys.argv[2]):\n"
        "    r = fidelity.measure(*line.rstrip('\\n').split('\\t'))\n"
        "    print('%d %d %d %d' % r[:4], '%r %r' % r[4] if r[4] else 'none')\n";
    { std::ofstream(work / "check.py") << script; }
    std::string command;
    for (const char* half : {"0", "1"})
        command += "python3 '" + (work / "check.py").string() + "' '" + tools.string() + "' '" +
                   (work / ("files" + std::string(half) + ".txt")).string() + "' > '" +
                   (work / ("figures" + std::string(half) + ".txt")).string() + "' & pid" + half + "=$!; ";
    command += "wait $pid0 && wait $pid1";
    { std::ofstream(work / "check.sh") << command << "\n"; }
    ASSERT_EQ(std::system(("sh '" + (work / "check.sh").string() + "'").c_str()), 0) << command;
    std::istringstream figures[2] = {std::istringstream(e2e::read_file(work / "figures0.txt")),
                                     std::istringstream(e2e::read_file(work / "figures1.txt"))};
    long faces = 0, wrong_colour = 0, corners = 0, wrong_normal = 0;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const auto& [name, framed] = files[k];
        SCOPED_TRACE(name);
        std::string line;
        ASSERT_TRUE(std::getline(figures[k % 2], line));
        long f = 0, fw = 0, c = 0, cw = 0;
        double in_view = 0, fill = 0;
        const int read = std::sscanf(line.c_str(), "%ld %ld %ld %ld %lf %lf", &f, &fw, &c, &cw, &in_view, &fill);
        ASSERT_GE(read, 4) << line;
        faces += f, wrong_colour += fw, corners += c, wrong_normal += cw;
        if (!framed) continue;
        ASSERT_EQ(read, 6) << "no framing measured: " << line;
        EXPECT_EQ(in_view, 100.0);
        EXPECT_GE(fill, 50.0);
    }
    ASSERT_GT(faces, 0);
    ASSERT_GT(corners, 0);
    EXPECT_LE(200 * wrong_colour, faces) << wrong_colour << " of " << faces << " faces in another colour";
    EXPECT_LE(100 * wrong_normal, corners) << wrong_normal << " of " << corners << " corners off";
}

TEST(Corpus, ExpectedListsEveryCorpusFile) {
    const fs::path dir = corpus_dir();
    SKIP_WITHOUT_CORPUS(dir);
    const std::map<std::string, expectation> rows = read_expected(dir / "EXPECTED.md");
    std::vector<std::string> on_disk;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && is_3ds_name(e.path().filename().string()))
            on_disk.push_back(fs::relative(e.path(), dir).generic_string());
    std::sort(on_disk.begin(), on_disk.end());
    std::vector<std::string> listed;
    for (const auto& row : rows) listed.push_back(row.first);
    EXPECT_EQ(on_disk, listed);
}

// Whatever the thread count, every corpus file gives the same files and
// console text: in the default mode, with --faithful, and as a POV-Ray
// scene (its image copies included).
TEST(Corpus, OneThreadAndSevenWriteTheSameFilesAndSayTheSame) {
    const fs::path dir = corpus_dir();
    SKIP_WITHOUT_CORPUS(dir);
    const std::map<std::string, expectation> rows = read_expected(dir / "EXPECTED.md");
    ASSERT_FALSE(rows.empty());
    const std::vector<std::vector<std::string>> modes = {{}, {"--faithful"}, {"--format", "pov", "--faithful"}};
    for (const auto& [name, e] : rows)
        for (const std::vector<std::string>& mode : modes) {
            SCOPED_TRACE(name + (mode.empty() ? "" : " " + mode.front() + " " + mode.back()));
            const e2e::temp_dir one, seven;
            const auto convert = [&](const e2e::temp_dir& work, const char* threads) {
                std::vector<std::string> args{"-i", (dir / name).string(), "-o", "out", "--threads", threads};
                args.insert(args.end(), mode.begin(), mode.end());
                return e2e::run(work.path, args);
            };
            const e2e::result on_one = convert(one, "1"), on_seven = convert(seven, "7");
            EXPECT_EQ(on_seven.exit_code, on_one.exit_code);
            EXPECT_EQ(on_seven.out, on_one.out);
            const std::vector<std::string> files = e2e::list_files(one.path);
            ASSERT_EQ(e2e::list_files(seven.path), files);
            for (const std::string& f : files) EXPECT_TRUE(testkit::same_contents(one / f, seven / f)) << f;
        }
}

TEST(Corpus, EveryFileConvertsAsExpected) {
    check_corpus(false);
}

TEST(Corpus, EveryFileConvertsAsExpectedInTriangleMode) {
    check_corpus(true);
}

}  // namespace
