// The real binary on built scenes: the framed view (--frame), the headlight
// (--headlight), and lights and cameras whose numbers are not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "testkit/projection.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

namespace {

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();

struct camera_numbers {
    double position[3], look_at[3], up[3], fov, ratio;
};

// The numbers of the first camera block of a scene file: the initial view.
std::optional<camera_numbers> initial_view(const std::string& vrx) {
    camera_numbers c{};
    const int read = std::sscanf(vrx.c_str(),
                                 "camera { position <%lf %lf %lf> look_at <%lf %lf %lf> up <%lf %lf %lf> fov %lf "
                                 "ratio %lf }",
                                 &c.position[0], &c.position[1], &c.position[2], &c.look_at[0], &c.look_at[1],
                                 &c.look_at[2], &c.up[0], &c.up[1], &c.up[2], &c.fov, &c.ratio);
    if (read != 11) return std::nullopt;
    return c;
}

// The text between "\tposition <" and ">" of the first camera block.
std::string initial_position_text(const std::string& vrx) {
    const std::size_t at = vrx.find("\tposition <") + 11;
    return vrx.substr(at, vrx.find('>', at) - at);
}

std::string light_block(const std::string& position, const std::string& color) {
    return "light\n{\n\tposition <" + position + ">\n\tcolor " + color + "\n\tattenuation_type \"none\"\n}\n";
}

std::string camera_block(const std::string& position, const std::string& look_at, const std::string& fov) {
    return "camera\n{\n\tposition <" + position + ">\n\tlook_at <" + look_at +
           ">\n\tup <0.000000 0.000000 1.000000>\n\tfov " + fov + "\n\tratio 1.333300\n}\n";
}

const std::string default_view =
    camera_block("20.000000 20.000000 20.000000", "0.000000 0.000000 0.000000", "40.000000");

// Far from the origin and far smaller than the default view shows: a box,
// a triangle, and an object of bare vertices (one of them not finite), the
// farthest vertex among them.
std::vector<xyz> bare_points() {
    return {{104, -35, 9}, {nan_f, 0, 0}, {96, -46, 2.5f}};
}
bytes small_scene(std::vector<chunk> more = {}) {
    std::vector<chunk> items = {
        box_object("Box", {98, -42, 3}, {101, -38, 5.5f}, "Paint"),
        named_object("Tri", {triangle_mesh(
                                {vertex_list({{100, -40, 8}, {102, -39, 8}, {101, -37, 6}}), face_list({{0, 1, 2}})})}),
        named_object("Points", {triangle_mesh({vertex_list(bare_points())})}),
    };
    for (chunk& c : more) items.push_back(std::move(c));
    return serialize(primary({version(3), editor(items)}));
}

std::vector<xyz> small_scene_vertices() {
    std::vector<xyz> v = {{100, -40, 8}, {102, -39, 8}, {101, -37, 6}, {104, -35, 9}, {96, -46, 2.5f}};
    for (float x : {98.0f, 101.0f})
        for (float y : {-42.0f, -38.0f})
            for (float z : {3.0f, 5.5f}) v.push_back({x, y, z});
    return v;
}

}  // namespace

TEST(Frame, ACameraLessSceneIsFramedWithEveryVertexInView) {
    temp_dir dir;
    write_file(dir / "s.3ds", small_scene());
    const e2e::result plain = e2e::run(dir.path, {"-i", "s.3ds"});
    const std::string plain_vrx = read_file(dir / "model.vrx");
    const std::string plain_inc = read_file(dir / "model.inc");
    const e2e::result framed = e2e::run(dir.path, {"-i", "s.3ds", "--frame"});
    ASSERT_EQ(framed.exit_code, 1) << framed.out;
    // Only the initial view changes: the console, the mesh file and the
    // rest of the scene file are the default run's.
    EXPECT_EQ(framed.out, plain.out);
    EXPECT_EQ(read_file(dir / "model.inc"), plain_inc);
    const std::string vrx = read_file(dir / "model.vrx");
    ASSERT_TRUE(plain_vrx.starts_with(default_view));
    const std::string rest = plain_vrx.substr(default_view.size());
    EXPECT_EQ(vrx.substr(vrx.size() - rest.size()), rest);
    EXPECT_EQ(vrx.find("nan"), std::string::npos);

    // The written numbers: the default view's direction and field of view,
    // aimed at the centre of the vertices' bounding box.
    const std::optional<camera_numbers> c = initial_view(vrx);
    ASSERT_TRUE(c.has_value()) << vrx;
    EXPECT_EQ(c->fov, 40);
    EXPECT_EQ(c->up[2], 1);
    EXPECT_NEAR(c->look_at[0], 100, 1e-6);
    EXPECT_NEAR(c->look_at[1], -40.5, 1e-6);
    EXPECT_NEAR(c->look_at[2], 5.75, 1e-6);
    const double back = c->position[0] - c->look_at[0];
    EXPECT_GT(back, 0);
    EXPECT_NEAR(c->position[1] - c->look_at[1], back, 2e-6);
    EXPECT_NEAR(c->position[2] - c->look_at[2], back, 2e-6);

    // Projected from the written view, every vertex is in front and inside
    // 95% of the half-width and half-height (with room for the six
    // decimals), and the scene is not left small: some vertex is at that
    // border.
    double widest = 0;
    for (const xyz& v : small_scene_vertices()) {
        const double p[3] = {v.x, v.y, v.z};
        const testkit::picture_point seen = testkit::project(c->position, c->look_at, c->fov, c->ratio, p);
        EXPECT_GT(seen.depth, 0);
        EXPECT_LE(std::abs(seen.x), 0.95 + 1e-5) << v.x << " " << v.y << " " << v.z;
        EXPECT_LE(std::abs(seen.y), 0.95 + 1e-5) << v.x << " " << v.y << " " << v.z;
        widest = std::max({widest, std::abs(seen.x), std::abs(seen.y)});
    }
    EXPECT_NEAR(widest, 0.95, 1e-4);
}

TEST(Frame, AFileWithACameraKeepsItsView) {
    temp_dir dir;
    write_file(dir / "s.3ds", small_scene({named_object("Cam", {camera({0, -80, 20}, {100, -40, 5}, 0, 35)})}));
    e2e::run(dir.path, {"-i", "s.3ds"});
    const std::string plain = read_file(dir / "model.vrx");
    const e2e::result framed = e2e::run(dir.path, {"-i", "s.3ds", "--frame"});
    EXPECT_EQ(framed.exit_code, 1);
    EXPECT_EQ(read_file(dir / "model.vrx"), plain);
    EXPECT_EQ(initial_position_text(plain), "0.000000 -80.000000 20.000000");
}

TEST(Headlight, AWhiteLightAtTheEyeWhenNoLightIsWritten) {
    temp_dir dir;
    const std::string white = "1.000000 1.000000 1.000000";
    const std::string include_line = "\ninclude \"model.inc\"\n";
    // No light: the headlight is the last thing before the include line, at
    // the initial view's position: the default view, the framed view, a
    // camera's view.
    write_file(dir / "none.3ds", small_scene());
    write_file(dir / "cam.3ds", small_scene({named_object("Cam", {camera({0, -80, 20}, {100, -40, 5}, 0, 35)})}));
    for (const auto& [file, options] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{{"none.3ds", {"--headlight"}},
                                                                       {"none.3ds", {"--frame", "--headlight"}},
                                                                       {"cam.3ds", {"--headlight", "--frame"}}}) {
        SCOPED_TRACE(file + " " + options.front());
        std::vector<std::string> args = {"-i", file};
        args.insert(args.end(), options.begin(), options.end());
        const e2e::result r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1);
        const std::string vrx = read_file(dir / "model.vrx");
        const std::string light = light_block(initial_position_text(vrx), white);
        EXPECT_TRUE(vrx.ends_with("}\n" + light + include_line)) << vrx;
        EXPECT_EQ(testkit::lines_with(vrx, "light").size(), 1u);
        EXPECT_EQ(testkit::parse_statistics(r.out)->lights, 0);
        EXPECT_EQ(testkit::count_warnings(r.out), 0u) << r.out;
    }
    EXPECT_EQ(initial_position_text(read_file(dir / "model.vrx")), "0.000000 -80.000000 20.000000");

    // A finite light of the file: no headlight.
    write_file(dir / "lit.3ds", small_scene({named_object("Sun", {light({10, 20, 300}, {color24(255, 255, 0)})})}));
    e2e::run(dir.path, {"-i", "lit.3ds"});
    const std::string plain = read_file(dir / "model.vrx");
    EXPECT_TRUE(
        plain.ends_with(light_block("10.000000 20.000000 300.000000", "1.000000 1.000000 0.000000") + include_line));
    e2e::run(dir.path, {"-i", "lit.3ds", "--headlight"});
    EXPECT_EQ(read_file(dir / "model.vrx"), plain);

    // Lights that are all left out: the headlight stands in; the statistics
    // count the file's lights.
    write_file(dir / "dark.3ds", small_scene({named_object("L1", {light({nan_f, 0, 0})}),
                                              named_object("L2", {light({1, 2, 3}, {color_float(1, inf_f, 1)})})}));
    const e2e::result dark = e2e::run(dir.path, {"-i", "dark.3ds", "--headlight"});
    EXPECT_EQ(dark.exit_code, 1);
    EXPECT_TRUE(read_file(dir / "model.vrx")
                    .ends_with("}\n" + light_block("20.000000 20.000000 20.000000", white) + include_line));
    EXPECT_EQ(testkit::count_warnings(dark.out, "2 lights have"), 1u) << dark.out;
    EXPECT_EQ(testkit::parse_statistics(dark.out)->lights, 2);
}

// The renderer cannot read "nan" or "inf": a light that would need one is
// left out, a camera that would is written as the default view in its place
// (so -c still counts it), each kind with one warning for the file, and the
// statistics still count what the file holds. An infinite lens is clamped
// to a finite field of view and is not affected.
TEST(NonFinite, LightsAreLeftOutAndCamerasWrittenAsTheDefaultView) {
    temp_dir dir;
    write_file(dir / "odd.3ds", small_scene({
                                    named_object("Good", {camera({0, -80, 20}, {100, -40, 5}, 0, 50)}),
                                    named_object("NanPos", {camera({nan_f, 1, 2}, {100, -40, 5}, 0, 50)}),
                                    named_object("InfLens", {camera({5, 6, 7}, {8, 9, 10}, 0, inf_f)}),
                                    named_object("NanLens", {camera({5, 6, 7}, {8, 9, 10}, 0, nan_f)}),
                                    named_object("InfTarget", {camera({5, 6, 7}, {8, -inf_f, 10}, 0, 50)}),
                                    named_object("Lamp", {light({1, 2, 3}, {color_float(0.5f, 0.25f, 1)})}),
                                    named_object("NanColour", {light({1, 2, 3}, {color_float(nan_f, 0.25f, 1)})}),
                                    named_object("InfPos", {light({1, inf_f, 3}, {color24(255, 0, 0)})}),
                                    named_object("Bytes", {light({4, 5, 6}, {color24(0, 255, 0)})}),
                                }));
    const std::string good =
        camera_block("0.000000 -80.000000 20.000000", "100.000000 -40.000000 5.000000", "39.148937");
    const std::string inf_lens = camera_block("5.000000 6.000000 7.000000", "8.000000 9.000000 10.000000", "2.127660");
    const std::string rest = "\n[All cameras from the file are listed below]\n\n[\n" + good + default_view + inf_lens +
                             default_view + default_view + "]\n";
    const std::string lights = light_block("1.000000 2.000000 3.000000", "0.500000 0.250000 1.000000") +
                               light_block("4.000000 5.000000 6.000000", "0.000000 1.000000 0.000000");
    // The initial view: the first camera, and what -c 0 .. 3 choose.
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{}, good}, {{"-c", "0"}, default_view}, {{"-c", "1"}, inf_lens}, {{"-c", "3", "-t"}, default_view}};
    for (const auto& [options, view] : runs) {
        SCOPED_TRACE(options.empty() ? "first camera" : options[1]);
        std::vector<std::string> args = {"-i", "odd.3ds", "--headlight", "--frame"};
        args.insert(args.end(), options.begin(), options.end());
        const e2e::result r = e2e::run(dir.path, args);
        EXPECT_EQ(r.exit_code, 1);
        const std::string vrx = read_file(dir / "model.vrx");
        EXPECT_TRUE(vrx.starts_with(view + rest)) << vrx;
        EXPECT_TRUE(vrx.ends_with("}\n" + lights + "\ninclude \"model.inc\"\n")) << vrx;
        EXPECT_EQ(vrx.find("nan"), std::string::npos);
        EXPECT_EQ(vrx.find("inf"), std::string::npos);
        EXPECT_EQ(testkit::warning_lines(r.out),
                  (std::vector<std::string>{
                      " Warning: 2 lights have a position or colour that is not a finite number; they were left out "
                      "of the scene file",
                      " Warning: 3 cameras have a position, target or field of view that is not a finite number; "
                      "they were written as the default view from (20, 20, 20)"}));
        EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{5, 4, 0, 12, 13}));
    }
}
