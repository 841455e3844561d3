// The real binary on real files: console text, exit code and both output
// files, byte for byte.
#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "testkit/vrx_blocks.hpp"
#include "tests/run_binary.hpp"

using namespace chunks;
using testkit::list_files;
using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;

namespace {

const std::string usage_text =
    "\n Usage: tessvert [options]\n\n"
    " Example: tessvert -i car.3ds -o cartest\n\n"
    " Options:\n"
    "  -i/--input    string   specify the file to open\n"
    "  -o/--output   string   specify the output file (no extension)\n"
    "  -c/--camera   int      specify the initial camera to use\n"
    "  -t/--triangle          triangles as output (default is patches)\n"
    "  -?/--help              this help message\n\n"
    " Report bugs to:         bugs@tessvert.invalid\n"
    " Send suggestions to:    ideas@tessvert.invalid\n"
    // The options added since, after the original text.
    "  --materials            colour each face in the material its material group names\n"
    "  --smoothing            normals that follow the file's smoothing groups (hard edges)\n"
    "  --frame                frame the whole scene in view when the file has no camera\n"
    "  --headlight            a white light at the eye when the scene has no light\n"
    "  --instances            each mesh also where the keyframer shows it again\n"
    "  --faithful             all five above: the scene as the file holds it\n"
    "  --crease DEG           keep edges hard where faces meet at more than DEG degrees\n"
    "  --lights L             file (default), studio or both: the file's lights, a rig, or both\n"
    "  --up AXIS              the axis up in the model: z (default), y, x, -z, -y or -x\n"
    "  --view SIDE            frame the first view from iso, front, back, left, right, top, bottom\n"
    "  --placement P          mesh (default) or keyframer: where each mesh stands\n"
    "  --maps DIR             look for map images in DIR and its subfolders too (repeatable)\n"
    "  --file-view            no framing, headlight or copies that the format adds by itself\n"
    "  --threads N            worker threads, 1 to 256 (default: the CPUs this run may use)\n"
    "  --format F             the output language: vrx, pov, gltf\n"
    "    vrx                  NAME.vrx and NAME.inc, the scene text (the default)\n"
    "    pov                  NAME.pov and NAME.mesh.inc, a POV-Ray 3.7 scene with texture maps\n"
    "    gltf                 NAME.gltf and NAME.bin, a glTF 2.0 scene with texture maps\n"
    "  --quiet, -q            print only warnings and errors\n"
    "  --batch OUTDIR         convert every file (or folder of .3ds files) given into OUTDIR\n"
    "  --posix-exit           exit status 0 when converted, 1 when not, 2 after wrong usage\n"
    "  --version              print the version and stop\n";

using testkit::camera_block;
using testkit::settings_block;

const std::string camera_list_head = "\n[All cameras from the file are listed below]\n\n[\n";

// The scene of the console example: two cameras, one light, three
// materials and four objects (the cameras' and the light's named objects
// among them) holding 500 faces.
bytes car_scene() {
    std::vector<xyz> vertices;
    for (int i = 0; i < 300; ++i) vertices.push_back({float(i % 13), float(i / 13), float(i % 7) * 0.25f});
    std::vector<abc> faces;
    for (std::uint16_t i = 0; i < 500; ++i)
        faces.push_back({std::uint16_t(i % 250), std::uint16_t(i % 250 + 1), std::uint16_t(i % 250 + 13)});
    return serialize(primary({
        version(3),
        editor({
            material({material_name("Paint"), diffuse(color24(200, 20, 20))}),
            material({material_name("Glass"), diffuse(color24(180, 200, 255))}),
            material({material_name("Tyre"), diffuse(color24(20, 20, 20))}),
            named_object("Body", {triangle_mesh({vertex_list(vertices), face_list(faces, {material_group("Paint")})})}),
            named_object("Front", {camera({100, -50, 30}, {0, 0, 10}, 0, 50)}),
            named_object("Side", {camera({0, 80, 20}, {0, 0, 10}, 0, 28)}),
            named_object("Sun", {light({10, 20, 300}, {color_float(1, 1, 0.9f)})}),
        }),
        make(0xB000, bytes(40, 0)),  // keyframer data, read past
    }));
}

}  // namespace

TEST(CommandLine, NoArgumentsPrintsTheUsageText) {
    temp_dir dir;
    auto r = e2e::run(dir.path, {});
    EXPECT_EQ(r.out, std::string(e2e::banner) + usage_text);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_TRUE(list_files(dir.path).empty());
}

TEST(CommandLine, ABareFileNameIsNotAnInput) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    auto r = e2e::run(dir.path, {"car.3ds"});
    EXPECT_EQ(r.out, std::string(e2e::banner) +
                         " Warning: \"car.3ds\" is not read: give the input file with -i, as in: tessvert -i car.3ds\n"
                         "\n No input file specified.\n");
    // A bare word that names no file gets no such line.
    auto word = e2e::run(dir.path, {"cartest"});
    EXPECT_EQ(word.out, std::string(e2e::banner) + "\n No input file specified.\n");
    EXPECT_EQ(word.exit_code, 0);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(list_files(dir.path), std::vector<std::string>{"car.3ds"});
}

TEST(CommandLine, WrongUsageStopsBeforeAnythingIsRead) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    // Help asked for prints the usage text alone; wrong usage names the
    // argument and what is wrong with it first.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"/?"}, ""},
        {{"-i", "car.3ds", "/?"}, ""},
        {{"-i", "car.3ds", "--help"}, ""},
        {{"-i", "car.3ds", "-x"}, " Warning: \"-x\" is not an option\n"},
        {{"--tri"}, " Warning: \"--tri\" is not an option; did you mean --triangle?\n"},
        {{"-i", "car.3ds", "--materails"}, " Warning: \"--materails\" is not an option; did you mean --materials?\n"},
        {{"--input=car.3ds"},
         " Warning: \"--input=car.3ds\" is not an option: an option and its value are two arguments; write --input "
         "car.3ds\n"},
        {{"-i", "car.3ds", "-o"}, " Warning: -o needs a value (the output name) after it\n"},
        {{"-i", "car.3ds", "--threads", "0"}, " Warning: --threads takes a whole number from 1 to 256, not \"0\"\n"},
        {{"-i", "car.3ds", "--threads", "2x"}, " Warning: --threads takes a whole number from 1 to 256, not \"2x\"\n"},
        {{"-i", "car.3ds", "--threads", "257"},
         " Warning: --threads takes a whole number from 1 to 256, not \"257\"\n"},
        {{"-x", "--version"}, " Warning: \"-x\" is not an option\n"},
    };
    for (const auto& [args, warning] : cases) {
        SCOPED_TRACE(args.back());
        auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.out, std::string(e2e::banner) + warning + usage_text);
        EXPECT_EQ(r.exit_code, 255);
        EXPECT_EQ(list_files(dir.path), std::vector<std::string>{"car.3ds"});
    }
}

TEST(Loading, AMissingFileIsReportedAndNothingIsWritten) {
    temp_dir dir;
    auto r = e2e::run(dir.path, {"-i", "nothere.3ds"});
    EXPECT_EQ(r.out, std::string(e2e::banner) +
                         " Unable to find the file: nothere.3ds!\n"
                         " Warning: nothere.3ds: No such file or directory\n An error occured\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(list_files(dir.path).empty());
}

TEST(Loading, AFileThatDoesNotStartWithThePrimaryChunkIsRefused) {
    temp_dir dir;
    write_file(dir / "x.3ds", serialize(editor({})));
    auto r = e2e::run(dir.path, {"-i", "x.3ds"});
    EXPECT_EQ(r.out, std::string(e2e::banner) +
                         "  Unable to load PRIMARY chuck from file: x.3ds!\n"
                         " Warning: not a 3DS file, which begins with 4D 4D: it begins with 3D 3D 06 00 00 00\n"
                         " An error occured\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(list_files(dir.path), std::vector<std::string>{"x.3ds"});
}

TEST(Conversion, AnEmptySceneGivesTheDefaultSceneFile) {
    temp_dir dir;
    write_file(dir / "empty.3ds", serialize(primary({})));
    auto r = e2e::run(dir.path, {"-i", "empty.3ds"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, std::string(e2e::banner) + "\n Reading empty.3ds...\n Computing normals...\n" +
                         testkit::bare_scene_advice + "\n" +
                         " All parameters successfully dumped to: model.vrx\n"
                         " All objects successfully dumped to: model.inc\n" +
                         testkit::nothing_drawn_warning + "\n" +
                         testkit::statistics_text("empty.3ds", {0, 0, 0, 0, 0}));
    EXPECT_EQ(read_file(dir / "model.vrx"),
              camera_block("20.000000 20.000000 20.000000", "0.000000 0.000000 0.000000", "40.000000") +
                  camera_list_head + "]\n" + settings_block("model") + "\ninclude \"model.inc\"\n");
    EXPECT_EQ(read_file(dir / "model.inc"), "");
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"empty.3ds", "model.inc", "model.vrx"}));
}

TEST(Conversion, ConsoleOfAWholeRun) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    const std::string written =
        " All parameters successfully dumped to: cartest.vrx\n"
        " All objects successfully dumped to: cartest.inc\n";
    auto r = e2e::run(dir.path, {"-i", "car.3ds", "-o", "cartest"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, std::string(e2e::banner) + "\n Reading car.3ds...\n Computing normals...\n" + written +
                         testkit::statistics_text("car.3ds", {2, 1, 3, 4, 500}));
    auto flat = e2e::run(dir.path, {"-i", "car.3ds", "-o", "cartest", "-t"});
    EXPECT_EQ(flat.exit_code, 1);
    EXPECT_EQ(flat.out, std::string(e2e::banner) + "\n Reading car.3ds...\n" + written +
                            testkit::statistics_text("car.3ds", {2, 1, 3, 4, 500}));
}

TEST(Conversion, CamerasLightsAndTheChosenView) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    const std::string front =
        camera_block("100.000000 -50.000000 30.000000", "0.000000 0.000000 10.000000", "39.148937");
    const std::string side = camera_block("0.000000 80.000000 20.000000", "0.000000 0.000000 10.000000", "64.990330");
    const std::string rest = camera_list_head + front + side + "]\n" + settings_block("out/car") +
                             "light\n{\n\tposition <10.000000 20.000000 300.000000>\n"
                             "\tcolor 1.000000 1.000000 0.900000\n\tattenuation_type \"none\"\n}\n"
                             "\ninclude \"out/car.inc\"\n";
    std::filesystem::create_directory(dir / "out");
    auto r = e2e::run(dir.path, {"-i", "car.3ds", "-o", "out/car"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(read_file(dir / "out/car.vrx"), front + rest);
    // -c 0 takes the second camera; -c -1 the first.
    e2e::run(dir.path, {"-i", "car.3ds", "-o", "out/car", "-c", "0"});
    EXPECT_EQ(read_file(dir / "out/car.vrx"), side + rest);
    e2e::run(dir.path, {"-i", "car.3ds", "-o", "out/car", "-c", "-1"});
    EXPECT_EQ(read_file(dir / "out/car.vrx"), front + rest);
    // A camera the file does not have: the first one, and a warning.
    auto far = e2e::run(dir.path, {"-i", "car.3ds", "-o", "out/car", "-c", "5"});
    EXPECT_EQ(far.exit_code, 1);
    EXPECT_EQ(read_file(dir / "out/car.vrx"), front + rest);
    EXPECT_NE(
        far.out.find(
            "\n Warning: -c 5 asks for the seventh camera; the file has 2; the first camera gives the initial view\n"),
        std::string::npos);
}

TEST(Conversion, MeshFileInBothModes) {
    temp_dir dir;
    // Negative values, a value that rounds to -0.000000, an exact tie
    // (0.0078125 is written 0.007813), a face naming one vertex three times.
    write_file(dir / "m.3ds",
               serialize(primary({editor({
                   material({material_name("A"), diffuse(color24(255, 128, 0))}),
                   material({material_name("B"), diffuse(color_float(0.0f, 0.5f, 1.0f))}),
                   named_object("Tri", {triangle_mesh({vertex_list({{0, 0, 0}, {-1.5f, 0, 0}, {0, -1.5f, 0}}),
                                                       face_list({{0, 1, 2}}, {material_group("B")})})}),
                   named_object("Odd", {triangle_mesh({vertex_list({{0.0078125f, -1e-7f, -0.0f}, {2, 2, 2}}),
                                                       face_list({{1, 1, 1}, {0, 1, 0}})})}),
               })})));
    auto smooth = e2e::run(dir.path, {"-i", "m.3ds", "-o", "m"});
    EXPECT_EQ(smooth.exit_code, 1);
    // Tri faces +z: its corners 0, 1, 2 run counter-clockwise seen from above.
    const std::string n_up = "normal <0.000000 0.000000 1.000000> ";
    EXPECT_EQ(read_file(dir / "m.inc"),
              "surface{color 0.000000 0.501961 1.000000 ambient 0.5 diffuse 0.75}\n"
              "smooth_triangle {vertex <0.000000 0.000000 0.000000> " +
                  n_up + "vertex <-1.500000 0.000000 0.000000> " + n_up + "vertex <0.000000 -1.500000 0.000000> " +
                  n_up +
                  "}\n"
                  "surface{color 1.000000 0.501961 0.000000 ambient 0.5 diffuse 0.75}\n"
                  // Only degenerate faces: no finite normal, so both are written flat.
                  "triangle {vertex <2.000000 2.000000 2.000000> vertex <2.000000 2.000000 2.000000> "
                  "vertex <2.000000 2.000000 2.000000> }\n"
                  "triangle {vertex <0.007813 -0.000000 0.000000> vertex <2.000000 2.000000 2.000000> "
                  "vertex <0.007813 -0.000000 0.000000> }\n");
    EXPECT_NE(smooth.out.find("Number of faces:\t\t3\n"), std::string::npos);

    auto flat = e2e::run(dir.path, {"-i", "m.3ds", "-o", "m", "-t"});
    EXPECT_EQ(flat.exit_code, 1);
    EXPECT_EQ(read_file(dir / "m.inc"),
              "surface{color 0.000000 0.501961 1.000000 ambient 0.5 diffuse 0.75}\n"
              "triangle {vertex <0.000000 0.000000 0.000000> vertex <-1.500000 0.000000 0.000000> "
              "vertex <0.000000 -1.500000 0.000000> }\n"
              "surface{color 1.000000 0.501961 0.000000 ambient 0.5 diffuse 0.75}\n"
              "triangle {vertex <2.000000 2.000000 2.000000> vertex <2.000000 2.000000 2.000000> "
              "vertex <2.000000 2.000000 2.000000> }\n"
              "triangle {vertex <0.007813 -0.000000 0.000000> vertex <2.000000 2.000000 2.000000> "
              "vertex <0.007813 -0.000000 0.000000> }\n");
}

TEST(Conversion, WarningsForOddFilesStillConvert) {
    temp_dir dir;
    bytes file = serialize(primary({
        version(4),
        editor({named_object("Bad", {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                    face_list({{0, 1, 2}, {0, 1, 3}, {7, 1, 2}})})})}),
    }));
    file.resize(file.size() + 6);  // the primary chunk declares more than the file holds
    file[2] = static_cast<std::uint8_t>(file.size() + 20);
    write_file(dir / "odd.3ds", file);
    auto r = e2e::run(dir.path, {"-i", "odd.3ds", "-t"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, std::string(e2e::banner) +
                         "\n Reading odd.3ds...\n"
                         " This 3DS file is over version 3 so it may load incorrectly\n"
                         " Warning: the file ends inside a chunk; what was read up to there is converted\n"
                         " Warning: object \"Bad\": 2 faces name a vertex it does not have; they were removed\n" +
                         testkit::bare_scene_advice + "\n" +
                         " All parameters successfully dumped to: model.vrx\n"
                         " All objects successfully dumped to: model.inc\n" +
                         testkit::statistics_text("odd.3ds", {0, 0, 0, 1, 1}));
}

TEST(Conversion, AMissingOutputDirectoryFailsBothWritersButNotTheStatistics) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    auto r = e2e::run(dir.path, {"-i", "car.3ds", "-o", "no/such/dir/car"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(e2e::banner) + "\n Reading car.3ds...\n Computing normals...\n" +
                         "There was an error when opening the file: no/such/dir/car.vrx\n"
                         " Warning: no/such/dir/car.vrx: No such file or directory\n"
                         "There was an error when opening the file: no/such/dir/car.inc\n"
                         " Warning: no/such/dir/car.inc: No such file or directory\n" +
                         testkit::statistics_text("car.3ds", {2, 1, 3, 4, 0}));
    EXPECT_EQ(list_files(dir.path), std::vector<std::string>{"car.3ds"});
}

TEST(Conversion, AFailedWriteKeepsTheOlderFileAndLeavesNoTemporary) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    { std::ofstream(dir / "car.vrx") << "old scene"; }
    { std::ofstream(dir / "car.inc") << "old meshes"; }
    // The scene file fits under the limit; the mesh file does not. The
    // limit's signal is left at its default action, which would end the run.
    e2e::limits lim;
    lim.file_size = 16 * 1024;
    auto r = e2e::run(dir.path, {"-i", "car.3ds", "-o", "car"}, lim);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(e2e::banner) + "\n Reading car.3ds...\n Computing normals...\n" +
                         " All parameters successfully dumped to: car.vrx\n"
                         "There was an error when writing the file: car.inc\n"
                         " Warning: car.inc: File too large\n" +
                         testkit::statistics_text("car.3ds", {2, 1, 3, 4, 500}));
    EXPECT_EQ(read_file(dir / "car.inc"), "old meshes");
    EXPECT_NE(read_file(dir / "car.vrx"), "old scene");
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"car.3ds", "car.inc", "car.vrx"}));
}

TEST(Example, TheShippedSceneIsTheGeneratorsAndConverts) {
    temp_dir dir;
    std::string shipped = std::string(TESSVERT_SOURCE_DIR) + "/examples/table.3ds";
    // The example is made by the project's own generator; keep it in step.
    bytes made;
    {
        std::string gen = std::filesystem::path(e2e::binary_path()).parent_path() / "make_example";
        std::string out = (dir / "table.3ds").string();
        ASSERT_EQ(std::system((gen + " " + out).c_str()), 0);
    }
    EXPECT_EQ(read_file(dir / "table.3ds"), read_file(shipped));
    auto r = e2e::run(dir.path, {"-i", shipped, "-o", "table"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(testkit::statistics_text(shipped, {1, 1, 2, 8, 62})), std::string::npos) << r.out;
    EXPECT_NE(read_file(dir / "table.inc").find("surface{color 0.588235 0.376471 0.203922 ambient 0.5 diffuse 0.75}\n"),
              std::string::npos);
}

// Under AddressSanitizer or ThreadSanitizer the process reserves far more
// address space than any limit here, so the test runs only in the plain
// build.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(Conversion, RunningOutOfMemoryEndsCleanlyAndWritesNothing) {
    temp_dir dir;
    // 16 objects declaring 65535 vertices each, with no coordinates given:
    // 12.6 MB of vertices for a tiny file, and as much again for the normals,
    // which do not fit under the limit (the program itself takes about 7 MB).
    std::vector<chunk> objects;
    for (int i = 0; i < 16; ++i)
        objects.push_back(named_object("Hollow" + std::to_string(i),
                                       {triangle_mesh({make(0x4110, u16(65535)), face_list({{0, 1, 2}})})}));
    write_file(dir / "big.3ds", serialize(primary({editor(objects)})));
    { std::ofstream(dir / "model.vrx") << "old scene"; }
    { std::ofstream(dir / "model.inc") << "old meshes"; }
    e2e::limits lim;
    lim.address_space = 26 << 20;
    const std::string out_of_memory =
        " Warning: the conversion ran out of memory; nothing was converted\n An error occured\n";
    // On one thread memory runs out at the normals. More threads each
    // reserve a stack under the limit and compute normals while the file is
    // read, so it may run out while reading: the run ends the same way.
    for (const char* threads : {"1", "2", "7"}) {
        SCOPED_TRACE(std::string("--threads ") + threads);
        auto r = e2e::run(dir.path, {"-i", "big.3ds", "--threads", threads}, lim);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exit_code, 0);
        if (threads == std::string("1")) {
            EXPECT_EQ(r.out,
                      std::string(e2e::banner) + "\n Reading big.3ds...\n Computing normals...\n" + out_of_memory);
        }
        EXPECT_EQ(r.out.rfind(std::string(e2e::banner) + "\n Reading big.3ds...\n", 0), 0u) << r.out;
        EXPECT_TRUE(r.out.ends_with("\n" + out_of_memory)) << r.out;
        EXPECT_EQ(read_file(dir / "model.vrx"), "old scene");
        EXPECT_EQ(read_file(dir / "model.inc"), "old meshes");
        EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"big.3ds", "model.inc", "model.vrx"}));
    }
    // Without the limit the same file converts.
    auto r = e2e::run(dir.path, {"-i", "big.3ds"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("Number of objects:\t\t16\n"), std::string::npos);
}
#endif

TEST(Messages, VersionPrintsOneLineAndReadsNothing) {
    temp_dir dir;
    for (auto args : {std::vector<std::string>{"--version"}, {"-i", "car.3ds", "--version", "-x"}}) {
        auto r = e2e::run(dir.path, args);
        EXPECT_EQ(r.out, "tessvert 0.1.0\n");
        EXPECT_EQ(r.exit_code, 0);
    }
    EXPECT_TRUE(list_files(dir.path).empty());
}

TEST(Messages, CameraValuesThatAreNotWholeNumbersAreNamed) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    write_file(dir / "empty.3ds", serialize(primary({})));
    const std::string side = "position <0.000000 80.000000 20.000000>";
    // "abc" reads as -c 0: the second camera.
    auto abc = e2e::run(dir.path, {"-i", "car.3ds", "-c", "abc"});
    EXPECT_EQ(abc.exit_code, 1);
    EXPECT_EQ(testkit::warning_lines(abc.out),
              std::vector<std::string>{
                  " Warning: -c \"abc\" is not a whole number; it is read as -c 0: the second camera gives the "
                  "initial view"});
    EXPECT_EQ(read_file(dir / "model.vrx").find(side), read_file(dir / "model.vrx").find("position <"));
    // " 1x" reads as -c 1, the third camera, which the file does not have:
    // one warning says both.
    auto third = e2e::run(dir.path, {"-i", "car.3ds", "-c", " 1x"});
    EXPECT_EQ(testkit::warning_lines(third.out),
              (std::vector<std::string>{
                  " Warning: -c \" 1x\" is not a whole number; it is read as -c 1: the file has no such camera, so the "
                  "first one is used"}));
    // Whole numbers in the user's numbering: -c 0 is the second camera.
    auto negative = e2e::run(dir.path, {"-i", "car.3ds", "-c", "-9"});
    EXPECT_EQ(testkit::warning_lines(negative.out),
              std::vector<std::string>{" Warning: -c -9 asks for no camera (-c -1 is the first); the file has 2; "
                                       "the first camera gives the initial view"});
    auto none = e2e::run(dir.path, {"-i", "empty.3ds", "-c", "x", "-q"});
    EXPECT_EQ(none.out,
              " Warning: -c \"x\" is not a whole number; it is read as -c 0: the file has no camera, so the default "
              "view is used\n" +
                  testkit::nothing_drawn_warning + "\n");
}

TEST(Messages, QuietRunsPrintOnlyWarningsAndErrors) {
    temp_dir dir;
    write_file(dir / "car.3ds", car_scene());
    write_file(dir / "empty.3ds", serialize(primary({version(4)})));
    // A clean conversion of a file with a camera says nothing.
    for (const char* quiet : {"-q", "--quiet"}) {
        auto r = e2e::run(dir.path, {quiet, "-i", "car.3ds", "-o", "car"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.exit_code, 1);
    }
    EXPECT_EQ(list_files(dir.path), (std::vector<std::string>{"car.3ds", "car.inc", "car.vrx", "empty.3ds"}));
    // Warnings stay, the camera-less advice goes; so do errors.
    auto odd = e2e::run(dir.path, {"-i", "empty.3ds", "-q"});
    EXPECT_EQ(odd.out,
              " This 3DS file is over version 3 so it may load incorrectly\n" + testkit::nothing_drawn_warning + "\n");
    EXPECT_EQ(odd.exit_code, 1);
    auto missing = e2e::run(dir.path, {"-q", "-i", "nothere.3ds"});
    EXPECT_EQ(missing.exit_code, 0);
    EXPECT_EQ(missing.out.rfind(" Unable to find the file: nothere.3ds!\n", 0), 0u) << missing.out;
    EXPECT_TRUE(missing.out.ends_with(" An error occured\n")) << missing.out;
    // Like any option, -q read as the value of -o names the output.
    auto named = e2e::run(dir.path, {"-i", "car.3ds", "-o", "-q"});
    EXPECT_EQ(named.out.rfind(e2e::banner, 0), 0u);
    EXPECT_NE(named.out.find(" All objects successfully dumped to: -q.inc\n"), std::string::npos);
    // --frame and --faithful leave the camera-less advice out, as -q does.
    for (const char* framed : {"--frame", "--faithful"}) {
        auto r = e2e::run(dir.path, {"-i", "empty.3ds", framed});
        EXPECT_EQ(testkit::camera_hints(r.out), 0u) << r.out;
    }
}

TEST(Messages, ALogFileHoldsEveryLineBeforeAnInterruption) {
    temp_dir dir;
    // The input is a pipe that holds the primary chunk's header and then
    // nothing: the run prints its first lines and waits for more input.
    const std::string fifo = (dir / "in.3ds").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = e2e::spawn(dir.path, {"-i", "in.3ds"});
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const bytes header = {0x4D, 0x4D, 0x40, 0, 0, 0};
    ASSERT_EQ(::write(writer, header.data(), header.size()), 6);
    // Wait (at most 20 s) for the lines to reach the log while the run is
    // still waiting; a buffered console would show nothing until the end.
    const std::string expected = std::string(e2e::banner) + "\n Reading in.3ds...\n";
    std::string log;
    for (int i = 0; i < 2000 && log != expected; ++i) {
        ::usleep(10000);
        log = read_file(dir / ".stdout-capture");
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(writer);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(log, expected);
}
