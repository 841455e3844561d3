// Pathological 3DS files through the real binary: declared lengths of
// 0xFFFFFFFF and below 6 at every level of a realistic scene, the same scene
// cut at every byte, 100 000 nested chunks, faces naming a vertex that cannot
// exist, names that run to the end of the file, cameras and lights shorter
// than their fixed data, the inputs the fuzzer found, peak memory, and a
// conversion killed with SIGKILL in the middle.
//
// Every run gets a CPU-time limit, so that a run that hangs ends with a
// signal and fails its test instead of stalling the suite.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run_binary.hpp"
#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"

namespace {

using namespace chunks;
namespace fs = std::filesystem;

// CPU seconds a run of a small file may take before it counts as hung; the
// limit is generous for the sanitizer build.
constexpr unsigned small_file_cpu_limit = 20;

// ---------------------------------------------------------------------------
// Running the binary.

pid_t spawn(const fs::path& cwd, const std::vector<std::string>& args, unsigned cpu_seconds) {
    e2e::limits lim;
    lim.cpu_seconds = cpu_seconds;
    return e2e::spawn(cwd, args, lim);
}

// One run of the binary in a directory of its own.
struct job {
    fs::path cwd;
    std::vector<std::string> args;
};

// Runs the jobs, a few at a time, and returns their results in job order.
std::vector<e2e::result> run_all(const std::vector<job>& jobs, unsigned cpu_seconds = small_file_cpu_limit) {
    constexpr std::size_t at_once = 4;
    std::vector<e2e::result> results(jobs.size());
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && running.size() < at_once) {
            running[spawn(jobs[next].cwd, jobs[next].args, cpu_seconds)] = next;
            ++next;
        }
        int status = 0;
        pid_t done = ::waitpid(-1, &status, 0);
        if (done < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "waitpid failed: " << std::strerror(errno);
            break;
        }
        auto it = running.find(done);
        if (it == running.end()) continue;
        results[it->second] = e2e::collect(status, jobs[it->second].cwd);
        running.erase(it);
    }
    return results;
}

e2e::result run_one(const fs::path& cwd, const std::vector<std::string>& args,
                    unsigned cpu_seconds = small_file_cpu_limit) {
    return run_all({job{cwd, args}}, cpu_seconds).front();
}

// ---------------------------------------------------------------------------
// Reading the console.

using testkit::parse_statistics;
using testkit::statistics;

// The warnings about the file: the line that says a run drew nothing
// is counted apart.
int all_warnings(const std::string& out) {
    return static_cast<int>(testkit::count_warnings(out) - testkit::count_warnings(out, "nothing was drawn"));
}
int ended_warnings(const std::string& out) {
    return static_cast<int>(testkit::count_warnings(out, "ends"));
}
int nesting_warnings(const std::string& out) {
    return static_cast<int>(testkit::count_warnings(out, "nested"));
}

// ---------------------------------------------------------------------------
// Scenes.

// A scene as exporters write it: version, mesh version, two materials (one
// with a float colour and a texture map), a textured pyramid with a material
// group, a triangle with mesh data straight in its named object, a camera, a
// spotlight, and keyframer data after the editor chunk. Small, since tests
// run it once per byte.
chunk realistic_scene() {
    const std::vector<xyz> pyramid{
        {-1.5f, -1.5f, 0}, {1.5f, -1.5f, 0}, {1.5f, 1.5f, 0}, {-1.5f, 1.5f, 0}, {0, 0, 2.75f}};
    const std::vector<abc> sides{{0, 2, 1}, {0, 3, 2}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};
    return primary({
        version(3),
        editor({
            make(0x3D3E, u32(3)),
            material({material_name("Red"), diffuse(color24(200, 30, 20))}),
            material(
                {material_name("Wood"), diffuse(color_float(0.55f, 0.35f, 0.2f)), texture_map({map_name("wood.gif")})}),
            named_object("Pyramid", {triangle_mesh({vertex_list(pyramid),
                                                    mapping_coords({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}}),
                                                    face_list(sides, {material_group("Wood", {0, 1, 2, 3, 4, 5})})})}),
            named_object("Tri", {vertex_list({{-2, -3, 3.1f}, {2, -3, 3.1f}, {0, 0, 4.7f}}),
                                 face_list({{0, 1, 2}}, {material_group("Red", {0})})}),
            named_object("Cam", {camera({12.5f, -20.25f, 9.0f}, {0, 0, 1.5f}, 0, 35)}),
            named_object("Spot", {light({-6, -8, 12}, {color24(255, 240, 200), spotlight({0, 0, 0}, 25, 45)})}),
        }),
        make(0xB000, {}, {make(0xB00A, cat({u16(5), cstr("K")}))}),
    });
}

// Every chunk of a tree, in file order.
void collect_chunks(chunk& c, std::vector<chunk*>& all) {
    all.push_back(&c);
    for (chunk& child : c.children) collect_chunks(child, all);
}

std::string describe(const chunk& c, std::size_t index) {
    char text[48];
    std::snprintf(text, sizeof text, "chunk #%zu (id 0x%04X)", index, static_cast<unsigned>(c.id));
    return text;
}

// Objects of up to 65 535 faces, a material, a camera and a light.
bytes large_scene(int objects, int w, int h) {
    std::vector<chunk> editor_children{
        material({material_name("Clay"), diffuse(color24(180, 120, 90))}),
        named_object("Cam", {camera({150, -220, 90}, {0, 0, 0}, 0, 42)}),
        named_object("Sun", {light({-100, -100, 300}, {color_float(1, 1, 0.9f)})}),
    };
    for (int k = 0; k < objects; ++k)
        editor_children.push_back(grid_object("Part" + std::to_string(k), w, h, 1.5f * k, "Clay"));
    return serialize(primary({version(3), editor(std::move(editor_children))}));
}

// ---------------------------------------------------------------------------
// Checks on the files a run leaves behind.

// After a run that loaded, the directory holds the input and both outputs,
// complete, and nothing else; after a load failure, only the input.
void expect_clean_directory(const fs::path& dir, const std::string& input, bool loaded) {
    std::vector<std::string> expected{input};
    if (loaded) {
        expected.push_back("out.inc");
        expected.push_back("out.vrx");
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(e2e::list_files(dir), expected);
    if (!loaded) return;
    const std::string vrx = e2e::read_file(dir / "out.vrx");
    EXPECT_TRUE(vrx.ends_with("include \"out.inc\"\n")) << "scene file incomplete";
    const std::string inc = e2e::read_file(dir / "out.inc");
    EXPECT_TRUE(inc.empty() || inc.ends_with("\n")) << "mesh file incomplete";
}

// A run of a file whose primary chunk header is intact: it loads, writes both
// files and prints the statistics, whatever the rest of the file holds.
void expect_loaded_cleanly(const e2e::result& r, const fs::path& dir, const std::string& input) {
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_TRUE(parse_statistics(r.out).has_value()) << r.out;
    EXPECT_EQ(r.out.find("An error occured"), std::string::npos) << r.out;
    EXPECT_LE(ended_warnings(r.out), 1) << r.out;
    EXPECT_LE(nesting_warnings(r.out), 1) << r.out;
    expect_clean_directory(dir, input, true);
}

// One directory per case, all under one temporary directory.
struct case_dirs {
    e2e::temp_dir root;
    std::vector<fs::path> dirs;
    fs::path add(const bytes& input, const std::string& name = "in.3ds") {
        fs::path d = root / std::to_string(dirs.size());
        fs::create_directory(d);
        testkit::write_file(d / name, input);
        dirs.push_back(d);
        return d;
    }
};

// Runs each input in its own directory, with -t on every other case, so
// that both modes see the malformed files.
std::vector<e2e::result> run_cases(case_dirs& cases) {
    std::vector<job> jobs;
    for (std::size_t i = 0; i < cases.dirs.size(); ++i) {
        std::vector<std::string> args{"-i", "in.3ds", "-o", "out"};
        if (i % 2 == 1) args.push_back("-t");
        jobs.push_back({cases.dirs[i], args});
    }
    return run_all(jobs);
}

// ---------------------------------------------------------------------------
// Declared lengths.

TEST(RobustLengths, MaxLengthAtEveryLevelLoadsWhatItCan) {
    chunk scene = realistic_scene();
    std::vector<chunk*> all;
    collect_chunks(scene, all);
    case_dirs cases;
    for (chunk* c : all) {
        c->length = 0xFFFFFFFFu;
        cases.add(serialize(scene));
        c->length.reset();
    }
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(describe(*all[i], i) + " declared 0xFFFFFFFF bytes long");
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
    }
    // The primary chunk itself claims more than the file holds: all of the
    // scene is read, then the end of the file ends the load with the warning.
    EXPECT_EQ(ended_warnings(results[0].out), 1) << results[0].out;
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{1, 1, 2, 4, 7}));
}

TEST(RobustLengths, LengthsBelowSixAtEveryLevelNeverStall) {
    chunk scene = realistic_scene();
    std::vector<chunk*> all;
    collect_chunks(scene, all);
    case_dirs cases;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::uint32_t length : {0u, 1u, 5u}) {
            all[i]->length = length;
            cases.add(serialize(scene));
            names.push_back(describe(*all[i], i) + " declared " + std::to_string(length) + " bytes long");
        }
        all[i]->length.reset();
    }
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(names[i]);
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
    }
    // A primary chunk below 6 bytes has no payload: an empty scene.
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{0, 0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// Truncation.

TEST(RobustTruncation, EveryPrefixOfASceneLoadsOrFailsCleanly) {
    const bytes whole = serialize(realistic_scene());
    case_dirs cases;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut)
        cases.add(bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    const std::vector<e2e::result> results = run_cases(cases);

    statistics previous{0, 0, 0, 0, 0};
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE("the first " + std::to_string(cut) + " of " + std::to_string(whole.size()) + " bytes");
        const e2e::result& r = results[cut];
        EXPECT_EQ(r.signal, 0);
        if (cut < 6) {
            // Not even the primary chunk's header: the load fails.
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_NE(r.out.find("Unable to load PRIMARY chuck from file: in.3ds!\n"), std::string::npos) << r.out;
            EXPECT_TRUE(r.out.ends_with(" An error occured\n")) << r.out;
            expect_clean_directory(cases.dirs[cut], "in.3ds", false);
            continue;
        }
        expect_loaded_cleanly(r, cases.dirs[cut], "in.3ds");
        // The file ends before the primary chunk's declared end exactly when
        // it was cut; the warning then comes once, and is the only one.
        const int expected_warnings = cut < whole.size() ? 1 : 0;
        EXPECT_EQ(ended_warnings(r.out), expected_warnings) << r.out;
        EXPECT_EQ(all_warnings(r.out), expected_warnings) << r.out;
        // Reading is sequential: a longer prefix never reports less.
        std::optional<statistics> s = parse_statistics(r.out);
        ASSERT_TRUE(s.has_value());
        EXPECT_EQ(testkit::count_warnings(r.out, "nothing was drawn"), s->faces == 0 ? 1u : 0u) << r.out;
        EXPECT_GE(s->cameras, previous.cameras);
        EXPECT_GE(s->lights, previous.lights);
        EXPECT_GE(s->materials, previous.materials);
        EXPECT_GE(s->objects, previous.objects);
        EXPECT_GE(s->faces, previous.faces);
        previous = *s;
    }
    EXPECT_EQ(previous, (statistics{1, 1, 2, 4, 7}));
}

// ---------------------------------------------------------------------------
// Nesting.

TEST(RobustNesting, HundredThousandNestedEditorChunks) {
    const bytes deep_object =
        serialize(named_object("Deep", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})}));
    const chunk after = named_object("After", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})});
    case_dirs cases;
    // 100 000 levels; then the deepest depths that are still read and that
    // are no longer read: the primary chunk's children are level 1, and a
    // chunk that opens a level is skipped at level 256.
    for (std::size_t depth : {std::size_t{100000}, std::size_t{254}, std::size_t{255}}) {
        chunk top = make(0x4D4D, nested(0x3D3D, depth, deep_object), {after});
        cases.add(serialize(top));
    }
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
        EXPECT_EQ(ended_warnings(results[i].out), 0) << results[i].out;
    }
    EXPECT_EQ(nesting_warnings(results[0].out), 1) << results[0].out;
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{0, 0, 0, 1, 1}));
    EXPECT_EQ(nesting_warnings(results[1].out), 0) << results[1].out;
    EXPECT_EQ(parse_statistics(results[1].out), (statistics{0, 0, 0, 2, 2}));
    EXPECT_EQ(nesting_warnings(results[2].out), 1) << results[2].out;
    EXPECT_EQ(parse_statistics(results[2].out), (statistics{0, 0, 0, 1, 1}));
}

TEST(RobustNesting, HundredThousandNestedMeshAndMapChunks) {
    const bytes triangle =
        serialize(make(0x4100, {}, {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})}));
    const bytes map = serialize(map_name("deep.gif"));
    const chunk after = named_object("After", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})});
    case_dirs cases;
    cases.add(
        serialize(primary({editor({make(0x4000, cat({cstr("Deep"), nested(0x4100, 100000, triangle)})), after})})));
    cases.add(serialize(
        primary({editor({material({material_name("M"), make(0xA200, nested(0xA200, 100000, map))}), after})})));
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
        EXPECT_EQ(nesting_warnings(results[i].out), 1) << results[i].out;
        EXPECT_EQ(ended_warnings(results[i].out), 0) << results[i].out;
    }
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{0, 0, 0, 2, 1}));
    EXPECT_EQ(parse_statistics(results[1].out), (statistics{0, 0, 1, 1, 1}));
}

// ---------------------------------------------------------------------------
// Faces, names, fixed data.

TEST(RobustFaces, FacesNamingVertex65535AreAllRemoved) {
    std::vector<xyz> vertices(65535);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = {static_cast<float>(i % 256), static_cast<float>(i / 256), 1};
    std::vector<abc> faces(65535, abc{65535, 65535, 65535});
    case_dirs cases;
    // Without any vertex, with the most vertices a list can hold (indices
    // 0 to 65534), and next to an object whose face is valid.
    cases.add(serialize(primary({editor({named_object("Bad", {face_list(faces)})})})));
    cases.add(serialize(primary(
        {editor({named_object("Bad", {triangle_mesh({vertex_list(vertices), face_list(faces)})}),
                 named_object("Good", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}})})})})));
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
        EXPECT_EQ(testkit::count_warnings(results[i].out, "\"Bad\": 65535 faces"), 1u) << results[i].out;
        EXPECT_EQ(all_warnings(results[i].out), 1) << results[i].out;
    }
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{0, 0, 0, 1, 0}));
    EXPECT_EQ(parse_statistics(results[1].out), (statistics{0, 0, 0, 2, 1}));
    const std::string inc = e2e::read_file(cases.dirs[1] / "out.inc");
    EXPECT_EQ(std::count(inc.begin(), inc.end(), '\n'), 3) << "two surface lines and one triangle";
}

TEST(RobustNames, NamesWithoutTerminatorRunToTheEndOfTheFile) {
    const std::string tail(5000, 'N');
    const bytes raw_tail(tail.begin(), tail.end());
    case_dirs cases;
    // A named object's name: read string by string up to the end of the file.
    cases.add(serialize(primary({editor({make(0x4000, raw_tail)})})));
    // A material group's name, after a valid mesh.
    cases.add(serialize(primary({editor({named_object(
        "Obj", {vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), face_list({{0, 1, 2}}), make(0x4130, raw_tail)})})})));
    // A material name and a map name: texts of their payload, the payload
    // being the rest of the file.
    cases.add(serialize(primary({editor({material({make(0xA000, raw_tail)})})})));
    cases.add(serialize(primary({editor({material({material_name("M"), texture_map({make(0xA300, raw_tail)})})})})));
    // Declared lengths that reach far past the end of the file.
    chunk object = make(0x4000, raw_tail);
    object.length = 0xFFFFFFF0u;
    cases.add(serialize(primary({editor({object})})));
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
    }
    // The strings read byte by byte meet the end of the file.
    EXPECT_EQ(ended_warnings(results[0].out), 1) << results[0].out;
    EXPECT_EQ(parse_statistics(results[0].out), (statistics{0, 0, 0, 1, 0}));
    EXPECT_EQ(ended_warnings(results[1].out), 1) << results[1].out;
    EXPECT_EQ(parse_statistics(results[1].out), (statistics{0, 0, 0, 1, 1}));
    EXPECT_EQ(ended_warnings(results[2].out), 0) << results[2].out;
    EXPECT_EQ(parse_statistics(results[2].out), (statistics{0, 0, 1, 0, 0}));
    EXPECT_EQ(ended_warnings(results[3].out), 0) << results[3].out;
    EXPECT_EQ(parse_statistics(results[3].out), (statistics{0, 0, 1, 0, 0}));
    EXPECT_EQ(ended_warnings(results[4].out), 1) << results[4].out;
    EXPECT_EQ(parse_statistics(results[4].out), (statistics{0, 0, 0, 1, 0}));
}

TEST(RobustFixedData, CameraAndLightShorterThanTheirFixedData) {
    const bytes camera_data = f32s({1, 2, 3, 4, 5, 6, 7, 35});
    const bytes light_data = f32s({1, 2, 3});
    const bytes spot_data = f32s({0, 0, 0, 20, 40});
    case_dirs cases;
    std::vector<std::string> names;
    // Each chunk keeps only the first n bytes of its fixed data, and is the
    // last chunk of the file, or is followed by a sibling.
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{10}, std::size_t{31}}) {
        const bytes cut(camera_data.begin(), camera_data.begin() + static_cast<std::ptrdiff_t>(n));
        cases.add(serialize(primary({editor({named_object("Cam", {make(0x4700, cut)})})})));
        names.push_back("camera, " + std::to_string(n) + " bytes, at the end");
        cases.add(serialize(primary({editor({named_object("Cam", {make(0x4700, cut)}),
                                             named_object("Cam2", {camera({1, 1, 1}, {0, 0, 0}, 0, 50)})})})));
        names.push_back("camera, " + std::to_string(n) + " bytes, then another camera");
    }
    for (std::size_t n : {std::size_t{0}, std::size_t{4}, std::size_t{11}}) {
        const bytes cut(light_data.begin(), light_data.begin() + static_cast<std::ptrdiff_t>(n));
        cases.add(serialize(primary({editor({named_object("Lamp", {make(0x4600, cut)})})})));
        names.push_back("light, " + std::to_string(n) + " bytes, at the end");
        cases.add(serialize(
            primary({editor({named_object("Lamp", {make(0x4600, cut)}), named_object("Lamp2", {light({5, 5, 5})})})})));
        names.push_back("light, " + std::to_string(n) + " bytes, then another light");
    }
    for (std::size_t n : {std::size_t{0}, std::size_t{7}, std::size_t{19}}) {
        const bytes cut(spot_data.begin(), spot_data.begin() + static_cast<std::ptrdiff_t>(n));
        cases.add(serialize(primary({editor({named_object("Spot", {light({1, 2, 3}, {make(0x4610, cut)})})})})));
        names.push_back("spotlight, " + std::to_string(n) + " bytes, at the end");
    }
    cases.add(serialize(primary({editor({named_object("Lamp", {light({1, 2, 3}, {make(0x0010, bytes(5, 0x3F))})})})})));
    names.push_back("light colour, 5 bytes, at the end");
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(names[i]);
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
        std::optional<statistics> s = parse_statistics(results[i].out);
        ASSERT_TRUE(s.has_value());
        // The short chunk still gives its record; the sibling's bytes may be
        // read as its fixed data, but never beyond the file.
        if (names[i].starts_with("camera")) {
            EXPECT_GE(s->cameras, 1);
            EXPECT_LE(s->cameras, 2);
        } else {
            EXPECT_GE(s->lights, 1);
            EXPECT_LE(s->lights, 2);
        }
        if (names[i].ends_with("at the end")) {
            EXPECT_EQ(ended_warnings(results[i].out), 1) << results[i].out;
        }
    }
}

// A file of `objects` named objects, each with a vertex list and mapping
// coordinates that declare 65 535 entries and hold none: 23 bytes of file
// for 1.3 MB of arrays an object.
bytes hollow_arrays(int objects) {
    std::vector<chunk> children;
    for (int k = 0; k < objects; ++k) {
        std::string name = std::to_string(k);
        children.push_back(named_object(name, {make(0x4110, u16(65535)), make(0x4140, u16(65535))}));
    }
    return serialize(primary({editor(std::move(children))}));
}

TEST(RobustArrays, CountsFarBeyondTheirPayloadsFailCleanly) {
    case_dirs cases;
    cases.add(hollow_arrays(10));  // 13 MB of arrays left zero: converted
    cases.add(hollow_arrays(10));
    cases.add(hollow_arrays(178));  // 4 kB of file for 233 MB of arrays: refused
    cases.add(hollow_arrays(178));
    const std::vector<e2e::result> results = run_cases(cases);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE("10 objects, case " + std::to_string(i));
        expect_loaded_cleanly(results[i], cases.dirs[i], "in.3ds");
        EXPECT_EQ(parse_statistics(results[i].out), (statistics{0, 0, 0, 10, 0}));
        EXPECT_EQ(all_warnings(results[i].out), 0) << results[i].out;
    }
    for (std::size_t i = 2; i < 4; ++i) {
        SCOPED_TRACE("178 objects, case " + std::to_string(i));
        const e2e::result& r = results[i];
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(
            r.out.ends_with(" Warning: the file declares far more vertices and mapping coordinates than it "
                            "holds; it is not converted\n An error occured\n"))
            << r.out;
        expect_clean_directory(cases.dirs[i], "in.3ds", false);
    }
}

// ---------------------------------------------------------------------------
// Inputs the fuzzer found.

// Each in the modes the fuzz target converts it in: smooth, flat, and with
// every view of --faithful. The folder is never empty: it starts with
// hostile files of the kinds the fuzzer finds.
TEST(RobustRegressions, FuzzFindingsConvertCleanly) {
    const fs::path folder = fs::path(TESSVERT_SOURCE_DIR) / "fuzz" / "regressions";
    std::vector<fs::path> inputs;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file() && e.path().filename() != "README.md") inputs.push_back(e.path());
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << folder;
    std::sort(inputs.begin(), inputs.end());
    const std::vector<std::vector<std::string>> modes = {{}, {"-t"}, {"--faithful"}};
    case_dirs cases;
    std::vector<job> jobs;
    for (const fs::path& p : inputs) {
        const std::string data = e2e::read_file(p);
        for (const std::vector<std::string>& mode : modes) {
            std::vector<std::string> args{"-i", "in.3ds", "-o", "out"};
            args.insert(args.end(), mode.begin(), mode.end());
            jobs.push_back({cases.add(bytes(data.begin(), data.end())), args});
        }
    }
    const std::vector<e2e::result> results = run_all(jobs);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::vector<std::string>& mode = modes[i % modes.size()];
        SCOPED_TRACE(inputs[i / modes.size()].filename().string() + (mode.empty() ? "" : " with " + mode[0]));
        const e2e::result& r = results[i];
        EXPECT_EQ(r.signal, 0);
        const bool loaded = r.out.find(" An error occured\n") == std::string::npos;
        if (loaded) {
            expect_loaded_cleanly(r, cases.dirs[i], "in.3ds");
        } else {
            EXPECT_EQ(r.exit_code, 0) << r.out;
            expect_clean_directory(cases.dirs[i], "in.3ds", false);
        }
    }
}

// ---------------------------------------------------------------------------
// Peak memory.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// Peak resident memory of one run of the binary, in kB, read with
// getrusage(RUSAGE_CHILDREN) in a child process of its own, whose only child
// is that run. Linux counts in a process's peak the memory it had before it
// executed the binary, that is the size of the measuring child when it
// forked the run; the measuring child first gives its free heap back to the
// system and reports that size too (`floor_kb`), so that the figure can be
// trusted.
struct measurement {
    long peak_kb = -1;
    long floor_kb = -1;
    int exit_code = -999;
};

measurement measure_peak(const fs::path& cwd, const std::vector<std::string>& args) {
    measurement m;
    int fds[2];
    if (::pipe(fds) != 0) return m;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::malloc_trim(0);
        const long floor_kb = testkit::number_after(e2e::read_file("/proc/self/status"), "VmRSS:");
        const e2e::result r = e2e::run(cwd, args, e2e::limits{.cpu_seconds = 60});
        rusage ru{};
        ::getrusage(RUSAGE_CHILDREN, &ru);
        const long values[3] = {ru.ru_maxrss, floor_kb, r.signal != 0 ? -r.signal : r.exit_code};
        const ssize_t written = ::write(fds[1], values, sizeof values);
        ::_exit(written == static_cast<ssize_t>(sizeof values) ? 0 : 1);
    }
    ::close(fds[1]);
    long values[3] = {-1, -1, -999};
    const ssize_t got = ::read(fds[0], values, sizeof values);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof values)) return m;
    m.peak_kb = values[0];
    m.floor_kb = values[1];
    m.exit_code = static_cast<int>(values[2]);
    return m;
}

TEST(RobustMemory, PeakStaysWithinASmallMultipleOfTheScene) {
    if (sanitized) GTEST_SKIP() << "the sanitizer runtime's own memory would dominate; measured in the optimised build";
    e2e::temp_dir dir;
    // A 64k-face scene: 255 x 128 quads, 33 024 vertices, about 0.9 MB in
    // the file. The scene model holds about 1.6 MB (vertices, normals,
    // faces), the reading and writing buffers about 2.3 MB, the mesh
    // writer's per-vertex text cache a few MB, the process itself about
    // 3 MB: some 10 MB in all. 32 MB, about three times that, leaves room
    // for allocator slack, and is still far below the 17 MB of mesh text
    // the run writes, times the growth of a buffer that held it whole.
    {
        const bytes data = serialize(primary({editor({material({material_name("Clay"), diffuse(color24(1, 2, 3))}),
                                                      grid_object("Grid", 255, 128, 0, "Clay")})}));
        testkit::write_file(dir / "big.3ds", data);
    }
    // 100 000 nested editor chunks (600 kB) and a file whose every chunk
    // claims 0xFFFFFFFF bytes: nothing is allocated from the declared
    // lengths or per level.
    {
        const bytes deep = serialize(make(0x4D4D, nested(0x3D3D, 100000, serialize(named_object("X", {})))));
        testkit::write_file(dir / "deep.3ds", deep);
        chunk scene = realistic_scene();
        std::vector<chunk*> all;
        collect_chunks(scene, all);
        for (chunk* c : all) c->length = 0xFFFFFFFFu;
        testkit::write_file(dir / "huge.3ds", serialize(scene));
        // 4 kB declaring 233 MB of vertex and mapping arrays it does not
        // hold: refused once 16 MB of them are left unfilled.
        testkit::write_file(dir / "hollow.3ds", hollow_arrays(178));
    }
    // 4 MB of empty named objects, 7 bytes each: each would be a whole
    // object record in memory. Refused before they take more than a few
    // times the file's size.
    {
        const bytes one = serialize(named_object("", {}));
        bytes body;
        for (int i = 0; i < 600000; ++i) body.insert(body.end(), one.begin(), one.end());
        const auto size = static_cast<std::uint32_t>(body.size());
        testkit::write_file(dir / "empty.3ds", cat({u16(0x4D4D), u32(size + 12), u16(0x3D3D), u32(size + 6), body}));
    }

    struct measured {
        std::string input;
        std::vector<std::string> extra;
        long bound_kb;
        int exit_code;
    };
    const measured cases[] = {
        {"big.3ds", {}, 32 * 1024, 1},
        {"big.3ds", {"-t"}, 32 * 1024, 1},
        {"deep.3ds", {}, 16 * 1024, 1},
        {"huge.3ds", {}, 16 * 1024, 1},
        {"hollow.3ds", {}, 40 * 1024, 0},
        {"empty.3ds", {}, 16 * 4200 + 16 * 1024, 0},
        {"empty.3ds", {"-t"}, 16 * 4200 + 16 * 1024, 0},
    };
    for (const measured& m : cases) {
        SCOPED_TRACE(m.input + (m.extra.empty() ? "" : " -t"));
        std::vector<std::string> args{"-i", m.input, "-o", "out"};
        args.insert(args.end(), m.extra.begin(), m.extra.end());
        const measurement got = measure_peak(dir.path, args);
        EXPECT_EQ(got.exit_code, m.exit_code);
        ASSERT_GT(got.floor_kb, 0);
        ASSERT_LT(got.floor_kb, m.bound_kb / 2) << "the measuring process itself is too large";
        EXPECT_GT(got.peak_kb, 0);
        EXPECT_LT(got.peak_kb, m.bound_kb) << "peak resident memory " << got.peak_kb << " kB";
        std::printf("[ measured ] %s%s: peak %ld kB (measuring process %ld kB)\n", m.input.c_str(),
                    m.extra.empty() ? "" : " -t", got.peak_kb, got.floor_kb);
    }
}

// Under an address-space limit (ulimit -v) that one thread fits in with
// room to spare, seven threads convert the same scene to the same bytes:
// threads share one malloc arena and get small stacks (each thread took
// some 70 MB of address space).
TEST(RobustMemory, ManyThreadsFitWhereOneDoes) {
    if (sanitized) GTEST_SKIP() << "the sanitizer runtime reserves far more address space than any limit allows";
    e2e::temp_dir dir;
    std::vector<chunk> objects = {material({material_name("Clay"), diffuse(color24(1, 2, 3))})};
    for (int i = 0; i < 16; ++i) objects.push_back(grid_object("Grid" + std::to_string(i), 100, 100, 0.5f * i, "Clay"));
    testkit::write_file(dir / "sixteen.3ds", serialize(primary({editor(objects)})));
    e2e::limits lim;
    lim.cpu_seconds = 60;
    lim.address_space = rlim_t{40} << 20;
    std::string first_vrx, first_inc;
    for (const char* threads : {"1", "7"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        // Quiet: only a warning (such as running out of memory) is printed.
        const e2e::result r = e2e::run(dir.path, {"-i", "sixteen.3ds", "--faithful", "-q", "--threads", threads}, lim);
        EXPECT_EQ(r.exit_code, 1) << r.out;
        EXPECT_EQ(testkit::count_warnings(r.out), 0u) << r.out;
        const std::string vrx = e2e::read_file(dir / "model.vrx"), inc = e2e::read_file(dir / "model.inc");
        EXPECT_GT(inc.size(), 10000000u);
        if (first_inc.empty()) {
            first_vrx = vrx;
            first_inc = inc;
        } else {
            EXPECT_TRUE(vrx == first_vrx && inc == first_inc);
        }
    }
}

// ---------------------------------------------------------------------------
// Output safety when the process is killed.

// The files in `dir` that are not the input or an output: temporaries.
std::vector<std::string> temporaries(const fs::path& dir) {
    std::vector<std::string> found;
    for (const std::string& name : e2e::list_files(dir))
        if (name != "in.3ds" && name != "out.vrx" && name != "out.inc") found.push_back(name);
    return found;
}

// The process id in a temporary's name "tessvert-<pid>-<n>.tmp", or -1.
long temporary_owner(const std::string& name) {
    const std::string prefix = "tessvert-", suffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return -1;
    const std::string rest = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    std::size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return -1;
    if (rest.find_first_not_of("0123456789-") != std::string::npos) return -1;
    return std::stol(rest.substr(0, dash));
}

TEST(RobustKill, SigkillLeavesEachOutputOldOrCompleteNew) {
    e2e::temp_dir reference_dir;
    e2e::temp_dir dir;
    {
        // 376 320 faces: six objects of 62 720 faces each, 5.5 MB.
        const bytes data = large_scene(6, 245, 128);
        testkit::write_file(reference_dir / "in.3ds", data);
        testkit::write_file(dir / "in.3ds", data);
    }
    const std::vector<std::string> args{"-i", "in.3ds", "-o", "out"};
    const unsigned cpu_limit = 300;

    const auto start = std::chrono::steady_clock::now();
    const e2e::result reference = run_one(reference_dir.path, args, cpu_limit);
    const double reference_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(reference.exit_code, 1) << reference.out;
    const std::string new_vrx = e2e::read_file(reference_dir / "out.vrx");
    const std::string new_inc = e2e::read_file(reference_dir / "out.inc");
    ASSERT_GT(new_inc.size(), 10u * 1024 * 1024);

    const std::string old_vrx = "an older scene description\n";
    const std::string old_inc = "an older mesh include\n";
    std::random_device seed_source;
    const unsigned seed = seed_source();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(0.0, 1.0);
    std::set<long> killed;
    constexpr int trials = 8;
    int saw_old = 0, saw_new = 0, left_temporaries = 0;
    for (int trial = 0; trial < trials; ++trial) {
        // Kill moments spread over the whole run, from its start to a little
        // past the reference run's length.
        const double delay = reference_seconds * 1.1 * (trial + jitter(rng)) / trials;
        SCOPED_TRACE("trial " + std::to_string(trial) + ": SIGKILL after " + std::to_string(delay) + " s of a " +
                     std::to_string(reference_seconds) + " s run (seed " + std::to_string(seed) + ")");
        {
            std::ofstream(dir / "out.vrx", std::ios::binary | std::ios::trunc) << old_vrx;
            std::ofstream(dir / "out.inc", std::ios::binary | std::ios::trunc) << old_inc;
        }
        const pid_t pid = spawn(dir.path, args, cpu_limit);
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const e2e::result r = e2e::collect(status, dir.path);
        killed.insert(pid);
        if (r.signal == 0) {
            EXPECT_EQ(r.exit_code, 1) << "finished before the kill";
        }

        const std::string vrx = e2e::read_file(dir / "out.vrx");
        const std::string inc = e2e::read_file(dir / "out.inc");
        EXPECT_TRUE(vrx == old_vrx || vrx == new_vrx)
            << "scene file neither old nor complete: " << vrx.size() << " bytes";
        EXPECT_TRUE(inc == old_inc || inc == new_inc)
            << "mesh file neither old nor complete: " << inc.size() << " bytes";
        saw_old += (vrx == old_vrx) + (inc == old_inc);
        saw_new += (vrx == new_vrx) + (inc == new_inc);
        for (const std::string& name : temporaries(dir.path)) {
            EXPECT_TRUE(killed.count(temporary_owner(name)) == 1) << "a file no killed run owned: " << name;
            left_temporaries += temporary_owner(name) == pid;
        }
    }
    std::printf(
        "[ measured ] reference run %.2f s; after %d kills: %d outputs old, %d complete new, "
        "%d temporaries left by runs killed while writing\n",
        reference_seconds, trials, saw_old, saw_new, left_temporaries);

    // A later run of the same output name ignores what the killed runs left,
    // writes both files whole and leaves no temporary of its own.
    const auto before = temporaries(dir.path);
    const e2e::result later = run_one(dir.path, args, cpu_limit);
    EXPECT_EQ(later.exit_code, 1) << later.out;
    EXPECT_EQ(later.out, reference.out);
    EXPECT_TRUE(e2e::read_file(dir / "out.vrx") == new_vrx);
    EXPECT_TRUE(e2e::read_file(dir / "out.inc") == new_inc);
    EXPECT_EQ(temporaries(dir.path), before);
    for (const std::string& name : temporaries(dir.path)) EXPECT_TRUE(killed.count(temporary_owner(name)) == 1) << name;
}

}  // namespace
