// Images of texture maps: found beside the 3DS file as users store them,
// read only as regular files in that folder, checked for what they hold,
// and copied beside the output without ever replacing a different file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include <sys/stat.h>

#include "testkit/files.hpp"
#include "writers/common/image_types.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"

using namespace tessvert;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& p, const std::string& text) {
    ASSERT_TRUE(testkit::write_file(p, std::vector<std::uint8_t>(text.begin(), text.end())));
}

std::string found(const std::string& input, std::string_view map_name) {
    return find_map_image(input, map_name).path;
}

// The copies' place in `dir`, without a scene prefix.
copy_place place_in(const fs::path& dir, copy_name_claims* claims = nullptr) {
    return {dir.string(), "", claims};
}

// An image "brick.jpg" opened as a copy's source, and a folder for copies.
struct brick_source {
    testkit::temp_dir in, out;
    image_source source;
    brick_source() {
        put(in / "brick.jpg", "brick bytes");
        int error = 0;
        EXPECT_TRUE(open_image_source(source, (in / "brick.jpg").string(), error));
    }
};

}  // namespace

TEST(MapImages, TheNameIsFoundBesideTheFileWithoutRegardToCaseAndWithoutItsPath) {
    testkit::temp_dir dir;
    put(dir / "brick.jpg", "brick");
    put(dir / "Wood.Png", "wood");
    fs::create_directory(dir / "stone.gif");  // a folder is no image
    fs::create_directory(dir / "maps");
    put(dir / "maps" / "tile.tga", "tile");  // only the 3DS file's own folder is searched
    const std::string input = (dir / "scene.3ds").string();

    EXPECT_EQ(found(input, "BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(found(input, "C:\\3DS\\MAPS\\BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(found(input, "D:BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(found(input, "/home/someone/maps/wood.png"), (dir / "Wood.Png").string());
    EXPECT_EQ(found(input, "STONE.GIF"), "");
    EXPECT_EQ(found(input, "TILE.TGA"), "");
    EXPECT_EQ(found(input, "maps\\"), "");
    EXPECT_EQ(found(input, "BRICK.JP"), "");

    // A long name cut to DOS's eight characters, when only one file fits.
    put(dir / "UVTransformTestImg.png", "long");
    put(dir / "Landscape_hills.jpg", "hills");
    put(dir / "LANDSCAPE_lake.jpg", "lake");
    EXPECT_EQ(found(input, "UVTRANSF.PNG"), (dir / "UVTransformTestImg.png").string());
    EXPECT_EQ(found(input, "UVTRANSF.JPG"), "");
    EXPECT_EQ(found(input, "UVTRAN.PNG"), "");
    EXPECT_EQ(found(input, "LANDSCAP.JPG"), "");  // two fit: neither is taken

    put(dir / "BRICK.JPG", "other brick");  // an exact match comes first
    EXPECT_EQ(found(input, "BRICK.JPG"), (dir / "BRICK.JPG").string());
    EXPECT_EQ(found(input, "Brick.jpg"), (dir / "BRICK.JPG").string());  // sorted first
}

// A link beside the 3DS file is never followed, to a file outside the
// folder or inside it; what stands under the name is told instead.
TEST(MapImages, OnlyRegularFilesAreFoundAndWhatElseHasTheNameIsTold) {
    testkit::temp_dir dir;
    const std::string input = (dir / "scene.3ds").string();
    put(dir / "real.png", "inside");
    fs::create_symlink("/proc/self/environ", dir / "env.png");
    fs::create_symlink("real.png", dir / "alias.png");
    fs::create_symlink("gone.png", dir / "dangling.png");
    fs::create_directory(dir / "stone.gif");
    ASSERT_EQ(::mkfifo((dir / "pipe.tga").c_str(), 0600), 0);
    const std::pair<const char*, const char*> cases[] = {
        {"ENV.PNG", "env.png"},     {"alias.png", "alias.png"}, {"dangling.png", "dangling.png"},
        {"STONE.GIF", "stone.gif"}, {"pipe.tga", "pipe.tga"},
    };
    for (const auto& [map_name, entry] : cases) {
        const map_image_found f = find_map_image(input, map_name);
        EXPECT_EQ(f.path, "") << map_name;
        EXPECT_EQ(f.other, (dir / entry).string()) << map_name;
    }
    EXPECT_EQ(find_map_image(input, "env.png").other_kind, "a symbolic link, which is not followed");
    EXPECT_EQ(find_map_image(input, "stone.gif").other_kind, "a directory");
    EXPECT_EQ(find_map_image(input, "pipe.tga").other_kind, "a FIFO");
    EXPECT_EQ(find_map_image(input, "none.png").other, "");

    // Opening does not follow a link put in place of the file found since.
    image_source source;
    int error = 0;
    EXPECT_FALSE(open_image_source(source, (dir / "env.png").string(), error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(open_image_source(source, (dir / "pipe.tga").string(), error));  // without waiting for a writer
    ASSERT_TRUE(open_image_source(source, (dir / "real.png").string(), error));
    EXPECT_EQ(source.size, 6u);
}

TEST(MapImages, ACopyReusesAnIdenticalFileAndTakesAnotherNameBesideADifferentOne) {
    brick_source b;
    const testkit::temp_dir &in = b.in, &out = b.out;
    const image_source& source = b.source;
    copy_name_claim claim;

    copy_plan fresh = plan_copy(place_in(out.path), "brick.jpg", source, {}, claim);
    EXPECT_EQ(fresh.name, "brick.jpg");
    EXPECT_FALSE(fresh.reuse);

    put(out / "brick.jpg", "brick bytes");
    copy_plan same = plan_copy(place_in(out.path), "brick.jpg", source, {}, claim);
    EXPECT_EQ(same.name, "brick.jpg");
    EXPECT_TRUE(same.reuse);

    put(out / "brick.jpg", "brick bytez");  // same size, other bytes
    put(out / "brick-2.jpg", "something else");
    copy_plan other = plan_copy(place_in(out.path), "brick.jpg", source, {}, claim);
    EXPECT_EQ(other.name, "brick-3.jpg");
    EXPECT_FALSE(other.reuse);
    EXPECT_EQ(plan_copy(place_in(out.path), "brick.jpg", source, {"brick-3.jpg"}, claim).name, "brick-4.jpg");
    EXPECT_EQ(plan_copy(place_in(out.path), "README", source, {"README"}, claim).name, "README-2");
    // A scene there renders its picture onto the name of its stem.
    put(out / "brick-3.pov", "a scene");
    EXPECT_EQ(plan_copy(place_in(out.path), "brick.jpg", source, {}, claim).name, "brick-4.jpg");

    // The 3DS file's own folder as the output's: the image is used in place.
    copy_plan in_place = plan_copy(place_in(in.path), "brick.jpg", source, {}, claim);
    EXPECT_EQ(in_place.name, "brick.jpg");
    EXPECT_TRUE(in_place.reuse);
}

// Conversions that write into one folder at once claim the names they
// choose until their copies are in place.
TEST(MapImages, ANameClaimedByAnotherConversionIsPassedOverUntilGivenUp) {
    brick_source b;
    const testkit::temp_dir& out = b.out;
    const image_source& source = b.source;
    copy_name_claims claims;
    {
        copy_name_claim first, second;
        EXPECT_EQ(plan_copy(place_in(out.path, &claims), "brick.jpg", source, {}, first).name, "brick.jpg");
        EXPECT_EQ(plan_copy(place_in(out.path, &claims), "brick.jpg", source, {}, second).name, "brick-2.jpg");
        EXPECT_EQ(claims.paths.size(), 2u);
    }
    EXPECT_TRUE(claims.paths.empty());
    copy_name_claim again;
    EXPECT_EQ(plan_copy(place_in(out.path, &claims), "brick.jpg", source, {}, again).name, "brick.jpg");
}

TEST(MapImages, CopiesGoWhereTheSceneFileIsWrittenNamedAfterIt) {
    testkit::temp_dir dir;
    fs::create_directory(dir / "out");
    fs::create_directory(dir / "elsewhere");
    const copy_place plain = copies_beside((dir / "out" / "car.v2.pov").string(), nullptr);
    EXPECT_EQ(plain.folder, (dir / "out").string());
    EXPECT_EQ(plain.prefix, "car.v2-");
    fs::create_symlink("../elsewhere/real.pov", dir / "out" / "linked.pov");
    const copy_place linked = copies_beside((dir / "out" / "linked.pov").string(), nullptr);
    EXPECT_EQ(fs::canonical(linked.folder), fs::canonical(dir / "elsewhere"));
    EXPECT_EQ(linked.prefix, "real-");
}

TEST(MapImages, TheCopyAppearsWholeNoMoreReadableThanItsSourceAndNeverReplacesAFile) {
    testkit::temp_dir in, out;
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    put(in / "big.png", bytes);
    ASSERT_EQ(::chmod((in / "big.png").c_str(), 0640), 0);
    image_source source;
    int error = 0, read_error = 0;
    ASSERT_TRUE(open_image_source(source, (in / "big.png").string(), error));
    const mode_t before = ::umask(022);
    {
        output_file copy;
        ASSERT_TRUE(write_image_copy(copy, source, (out / "big.png").string(), read_error));
        EXPECT_FALSE(fs::exists(out / "big.png"));  // only the temporary so far
        ASSERT_TRUE(commit_output_as_new(copy));
    }
    ::umask(before);
    EXPECT_EQ(testkit::read_file(out / "big.png"), bytes);
    struct stat st {};
    ASSERT_EQ(::stat((out / "big.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // 0666 less the umask, no more than the source

    output_file late;
    ASSERT_TRUE(write_image_copy(late, source, (out / "late.png").string(), read_error));
    put(out / "late.png", "the user's own file");
    EXPECT_FALSE(commit_output_as_new(late));
    EXPECT_EQ(late.error, EEXIST);
    EXPECT_EQ(testkit::read_file(out / "late.png"), "the user's own file");
    EXPECT_EQ(testkit::list_files(out.path), (std::vector<std::string>{"big.png", "late.png"}));
    EXPECT_EQ(read_error, 0);
}

// Each format by its signature, TGA by a header that fits the file's size;
// an empty file, zeros, text and a header that promises more than the file
// holds are none.
TEST(ImageTypes, TheContentSaysTheFormatWhateverTheName) {
    const auto format = [](const std::string& head, std::uint64_t size = 0) {
        return std::string(image_format_of(reinterpret_cast<const unsigned char*>(head.data()), head.size(),
                                           size != 0 ? size : head.size()));
    };
    EXPECT_EQ(format("\x89PNG\r\n\x1A\n...."), "png");
    EXPECT_EQ(format("\xFF\xD8\xFF\xE0"), "jpeg");
    EXPECT_EQ(format("GIF89a.."), "gif");
    EXPECT_EQ(format(std::string("II*\0", 4)), "tiff");
    EXPECT_EQ(format(std::string("MM\0*", 4)), "tiff");
    EXPECT_EQ(format(std::string("FORM\0\0\0\x10ILBMBMHD", 16)), "iff");
    EXPECT_EQ(format("P6\n1 1\n255\n..."), "ppm");
    EXPECT_EQ(format("P5 1 1 255 ."), "pgm");
    EXPECT_EQ(format("#?RADIANCE\n"), "hdr");
    EXPECT_EQ(format("\x76\x2F\x31\x01...."), "exr");
    EXPECT_EQ(format(std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18), 58), "bmp");
    // An uncompressed 2 x 2 TGA of 24 bits: 18 + 12 bytes.
    const std::string tga("\0\0\x02\0\0\0\0\0\0\0\0\0\x02\0\x02\0\x18\0", 18);
    EXPECT_EQ(format(tga, 30), "tga");
    EXPECT_EQ(format(tga, 29), "");  // a pixel short
    std::string rle = tga;
    rle[2] = 10;  // run-length: one packet of 1 + 3 bytes at least
    EXPECT_EQ(format(rle, 22), "tga");
    EXPECT_EQ(format(rle, 21), "");
    EXPECT_EQ(format(""), "");
    EXPECT_EQ(format(std::string(32, '\0'), 200000000), "");
    EXPECT_EQ(format("P1\n1 1\n1\n"), "");  // a bitmap, which is no ppm
    EXPECT_EQ(format("hello, world\n"), "");
}

// What a name says, by its extension in any case: the format the content
// is compared with.
TEST(ImageTypes, TheNameSaysAFormatByItsExtensionInAnyCase) {
    EXPECT_EQ(image_format_named("BRICK.JPG"), "jpeg");
    EXPECT_EQ(image_format_named("a.b.Jpeg"), "jpeg");
    EXPECT_EQ(image_format_named("map.TIF"), "tiff");
    EXPECT_EQ(image_format_named("x.Bmp"), "bmp");
    EXPECT_EQ(image_format_named("x.CEL"), "");  // an old animator format
    EXPECT_EQ(image_format_named("png"), "");
    EXPECT_EQ(image_format_named("x."), "");
}
