// The real binary on built scenes: the framed view (--frame), the headlight
// (--headlight), and lights and cameras whose numbers are not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "testkit/projection.hpp"
#include "testkit/vrx_blocks.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::read_file;
using testkit::write_file;

namespace {

constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_f = std::numeric_limits<float>::infinity();

using testkit::camera_block;
using testkit::light_block;

const std::string default_view =
    camera_block("20.000000 20.000000 20.000000", "0.000000 0.000000 0.000000", "40.000000");

// The text of the initial view's position.
std::string initial_position(const std::string& vrx) {
    const std::size_t at = vrx.find("\tposition <") + 11;
    return vrx.substr(at, vrx.find('>', at) - at);
}

// Far from the origin and far smaller than the default view shows: a mesh,
// and an object of bare vertices (one not finite) that holds the farthest.
const std::vector<xyz> mesh_vertices = {{98, -42, 3}, {101, -42, 3}, {101, -38, 5.5f}, {100, -40, 8}, {102, -39, 8}};
const std::vector<xyz> bare_vertices = {{104, -35, 9}, {nan_f, 0, 0}, {96, -46, 2.5f}};

bytes small_scene(std::vector<chunk> more = {}) {
    more.push_back(
        named_object("Mesh", {triangle_mesh({vertex_list(mesh_vertices), face_list({{0, 1, 2}, {2, 3, 4}})})}));
    more.push_back(named_object("Points", {triangle_mesh({vertex_list(bare_vertices)})}));
    return serialize(primary({version(3), editor(more)}));
}

}  // namespace

TEST(Frame, ACameraLessSceneIsFramedWithEveryVertexInView) {
    testkit::temp_dir dir;
    write_file(dir / "s.3ds", small_scene());
    const e2e::result plain = e2e::run(dir.path, {"-i", "s.3ds"});
    const std::string plain_vrx = read_file(dir / "model.vrx"), plain_inc = read_file(dir / "model.inc");
    const e2e::result framed = e2e::run(dir.path, {"-i", "s.3ds", "--frame"});
    ASSERT_EQ(framed.exit_code, 1) << framed.out;
    // Only the initial view changes, and the hint to use --frame goes.
    std::string hinted = framed.out;
    const std::string light_advice = " Warning: the file has no light: --headlight adds one";
    hinted.replace(hinted.find(light_advice), light_advice.size(), testkit::bare_scene_advice);
    EXPECT_EQ(hinted, plain.out);
    EXPECT_EQ(read_file(dir / "model.inc"), plain_inc);
    const std::string vrx = read_file(dir / "model.vrx");
    ASSERT_TRUE(plain_vrx.starts_with(default_view));
    EXPECT_TRUE(vrx.ends_with(plain_vrx.substr(default_view.size())));

    // The written view looks along the default direction at the centre of the
    // bounding box; from it every vertex is in front and inside 95% of the
    // half-width and half-height (with room for the six decimals), and some
    // vertex is at that border.
    double eye[3], at[3], fov = 0, ratio = 0;
    ASSERT_EQ(std::sscanf(vrx.c_str(),
                          "camera { position <%lf %lf %lf> look_at <%lf %lf %lf> up <%*f %*f %*f> fov %lf ratio %lf",
                          &eye[0], &eye[1], &eye[2], &at[0], &at[1], &at[2], &fov, &ratio),
              8)
        << vrx;
    EXPECT_EQ(fov, 40);
    const double centre[3] = {100, -40.5, 5.75};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(at[k], centre[k], 1e-6);
        EXPECT_NEAR(eye[k] - at[k], eye[0] - at[0], 2e-6);
    }
    double widest = 0;
    for (const auto* list : {&mesh_vertices, &bare_vertices})
        for (const xyz& v : *list) {
            if (std::isnan(v.x)) continue;
            const double p[3] = {v.x, v.y, v.z};
            const testkit::picture_point seen = testkit::project(eye, at, fov, ratio, p);
            EXPECT_GT(seen.depth, 0);
            widest = std::max({widest, std::abs(seen.x), std::abs(seen.y)});
        }
    EXPECT_NEAR(widest, 0.95, 1e-5);
}

TEST(Headlight, AWhiteLightAtTheEyeWhenNoLightIsWritten) {
    testkit::temp_dir dir;
    const std::string include = "\ninclude \"model.inc\"\n";
    write_file(dir / "none.3ds", small_scene());
    write_file(dir / "cam.3ds", small_scene({named_object("Cam", {camera({0, -80, 20}, {100, -40, 5}, 0, 35)})}));
    // At the initial view's position, after the settings: the default view,
    // the framed view, a camera's view (which --frame leaves as it is).
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-i", "none.3ds", "--headlight"},
                                               {"-i", "none.3ds", "--frame", "--headlight"},
                                               {"-i", "cam.3ds", "--headlight", "--frame"}}) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        const e2e::result r = e2e::run(dir.path, args);
        const std::string vrx = read_file(dir / "model.vrx");
        EXPECT_TRUE(vrx.ends_with("}\n" + light_block(initial_position(vrx), "1.000000 1.000000 1.000000") + include))
            << vrx;
        EXPECT_EQ(testkit::lines_with(vrx, "light").size(), 1u);
        EXPECT_EQ(testkit::parse_statistics(r.out)->lights, 0);
    }
    EXPECT_EQ(initial_position(read_file(dir / "model.vrx")), "0.000000 -80.000000 20.000000");
}

// A light that would need "nan" or "inf" is left out, a camera that would is
// written as the default view in its place (so -c still counts it), with one
// warning for each kind, and the headlight stands in when no light is left.
// The statistics count what the file holds. An infinite lens is clamped to
// a finite field of view and is not affected.
TEST(NonFinite, LightsAreLeftOutAndCamerasWrittenAsTheDefaultView) {
    testkit::temp_dir dir;
    const std::vector<chunk> cameras = {named_object("Good", {camera({0, -80, 20}, {100, -40, 5}, 0, 50)}),
                                        named_object("NanPos", {camera({nan_f, 1, 2}, {100, -40, 5}, 0, 50)}),
                                        named_object("InfLens", {camera({5, 6, 7}, {8, 9, 10}, 0, inf_f)}),
                                        named_object("NanLens", {camera({5, 6, 7}, {8, 9, 10}, 0, nan_f)}),
                                        named_object("InfTarget", {camera({5, 6, 7}, {8, -inf_f, 10}, 0, 50)})};
    std::vector<chunk> lit = cameras;
    for (chunk c : {named_object("NanColour", {light({1, 2, 3}, {color_float(nan_f, 0.25f, 1)})}),
                    named_object("InfPos", {light({1, inf_f, 3}, {color24(255, 0, 0)})})})
        lit.push_back(c);
    std::vector<chunk> dark = lit;
    lit.push_back(named_object("Bytes", {light({4, 5, 6}, {color24(0, 255, 0)})}));
    write_file(dir / "lit.3ds", small_scene(lit));
    write_file(dir / "dark.3ds", small_scene(dark));

    const std::string good =
        camera_block("0.000000 -80.000000 20.000000", "100.000000 -40.000000 5.000000", "39.148937");
    const std::string inf_lens = camera_block("5.000000 6.000000 7.000000", "8.000000 9.000000 10.000000", "2.127660");
    const std::string list = "\n[All cameras from the file are listed below]\n\n[\n" + good + default_view + inf_lens +
                             default_view + default_view + "]\n";
    const std::string light_kept = light_block("4.000000 5.000000 6.000000", "0.000000 1.000000 0.000000");
    // -c -1 is the first camera, -c 0 the second. A finite light of the
    // file leaves no room for the headlight.
    const std::vector<std::tuple<std::string, std::string, std::string>> runs = {{"lit.3ds", "-1", good},
                                                                                 {"lit.3ds", "0", default_view},
                                                                                 {"lit.3ds", "1", inf_lens},
                                                                                 {"dark.3ds", "3", default_view}};
    for (const auto& [file, value, view] : runs) {
        SCOPED_TRACE(file + " -c " + value);
        const e2e::result r = e2e::run(dir.path, {"-i", file, "-c", value, "--headlight", "--frame", "-t"});
        EXPECT_EQ(r.exit_code, 1);
        const std::string vrx = read_file(dir / "model.vrx");
        EXPECT_TRUE(vrx.starts_with(view + list)) << vrx;
        const std::string last_light =
            file == "lit.3ds" ? light_kept : light_block(initial_position(vrx), "1.000000 1.000000 1.000000");
        EXPECT_TRUE(vrx.ends_with("}\n" + last_light + "\ninclude \"model.inc\"\n")) << vrx;
        EXPECT_EQ(testkit::lines_with(vrx, "light").size(), 1u);
        EXPECT_EQ(testkit::warning_lines(r.out),
                  (std::vector<std::string>{
                      " Warning: 2 lights have a position or colour that is not a finite number; they were left out "
                      "of the scene file",
                      " Warning: 3 cameras have a position, target or field of view that is not a finite number; "
                      "they were written as the default view from (20, 20, 20)"}));
        const long lights = file == "lit.3ds" ? 3 : 2;
        EXPECT_EQ(testkit::parse_statistics(r.out), (testkit::statistics{5, lights, 0, 5 + lights + 2, 2}));
    }
}

// Framing at the ends of the number range: a view that six decimals cannot
// write (the eye on the look-at point, vertices pushed out of the picture
// by rounding) or whose eye lies beyond single precision gives way to the
// default view, with one warning that says why. -c with a value that is not
// a whole number names the view that is used.
TEST(Frame, AViewThatCannotBeWrittenGivesWayToTheDefaultView) {
    testkit::temp_dir dir;
    const auto box = [](float centre, float size) {
        std::vector<xyz> corners;
        for (int k = 0; k < 8; ++k)
            corners.push_back({centre + (k & 1 ? size : 0), centre + (k & 2 ? size : 0), centre + (k & 4 ? size : 0)});
        return serialize(primary({editor(
            {named_object("Box", {triangle_mesh({vertex_list(corners), face_list({{0, 1, 2}, {5, 6, 7}})})})})}));
    };
    struct scale {
        const char* file;
        float centre, size;
        const char* why;  // nullptr: framed
    };
    const scale scales[] = {
        {"tiny.3ds", 0, 1e-7f, "the framed eye would be the point it looks at"},
        {"small.3ds", 0.1234567f, 1e-6f, "would leave vertices out of the picture"},
        {"huge.3ds", 3e38f, 3e37f, "beyond the range of single-precision numbers"},
        {"ordinary.3ds", -3, 2, nullptr},
        {"fine.3ds", 0, 1e-3f, nullptr},
    };
    for (const scale& sc : scales) {
        SCOPED_TRACE(sc.file);
        write_file(dir / sc.file, box(sc.centre, sc.size));
        // Quiet: the warnings without the advice on what the output leaves out.
        const e2e::result r = e2e::run(dir.path, {"-i", sc.file, "--frame", "-c", "abc", "-q"});
        EXPECT_EQ(r.exit_code, 1) << r.out;
        const std::string vrx = read_file(dir / "model.vrx");
        const std::vector<std::string> warnings = testkit::warning_lines(r.out);
        ASSERT_EQ(warnings.size(), sc.why ? 2u : 1u) << r.out;
        EXPECT_NE(warnings[0].find(sc.why ? "so the default view is used" : "so the framed view is used"),
                  std::string::npos)
            << warnings[0];
        if (sc.why) {
            EXPECT_TRUE(vrx.starts_with(default_view)) << vrx;
            EXPECT_NE(warnings[1].find(sc.why), std::string::npos) << warnings[1];
            continue;
        }
        // Read back as written, every vertex is in the picture.
        double eye[3], look_at[3];
        const std::size_t look = vrx.find("look_at <");
        ASSERT_EQ(std::sscanf(vrx.c_str() + vrx.find("position <") + 10, "%lf %lf %lf", &eye[0], &eye[1], &eye[2]), 3);
        ASSERT_EQ(std::sscanf(vrx.c_str() + look + 9, "%lf %lf %lf", &look_at[0], &look_at[1], &look_at[2]), 3);
        for (int k = 0; k < 8; ++k) {
            const double p[3] = {sc.centre + (k & 1 ? sc.size : 0.0), sc.centre + (k & 2 ? sc.size : 0.0),
                                 sc.centre + (k & 4 ? sc.size : 0.0)};
            const testkit::picture_point at = testkit::project(eye, look_at, 40, 1.3333, p);
            EXPECT_GT(at.depth, 0);
            EXPECT_LE(std::abs(at.x), 1.0);
            EXPECT_LE(std::abs(at.y), 1.0);
        }
    }
}
