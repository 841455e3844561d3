// Images of texture maps: found beside the 3DS file as users store them,
// and copied beside the output without ever replacing a different file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "testkit/files.hpp"
#include "writers/common/map_images.hpp"
#include "writers/common/output_file.hpp"

using namespace tessvert;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& p, const std::string& text) {
    ASSERT_TRUE(testkit::write_file(p, std::vector<std::uint8_t>(text.begin(), text.end())));
}

}  // namespace

TEST(MapImages, TheNameIsFoundBesideTheFileWithoutRegardToCaseAndWithoutItsPath) {
    testkit::temp_dir dir;
    put(dir / "brick.jpg", "brick");
    put(dir / "Wood.Png", "wood");
    fs::create_directory(dir / "stone.gif");  // a folder is no image
    fs::create_directory(dir / "maps");
    put(dir / "maps" / "tile.tga", "tile");  // only the 3DS file's own folder is searched
    const std::string input = (dir / "scene.3ds").string();

    EXPECT_EQ(find_map_image(input, "BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(find_map_image(input, "C:\\3DS\\MAPS\\BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(find_map_image(input, "D:BRICK.JPG"), (dir / "brick.jpg").string());
    EXPECT_EQ(find_map_image(input, "/home/someone/maps/wood.png"), (dir / "Wood.Png").string());
    EXPECT_EQ(find_map_image(input, "STONE.GIF"), "");
    EXPECT_EQ(find_map_image(input, "TILE.TGA"), "");
    EXPECT_EQ(find_map_image(input, "maps\\"), "");
    EXPECT_EQ(find_map_image(input, "BRICK.JP"), "");

    // A long name cut to DOS's eight characters, when only one file fits.
    put(dir / "UVTransformTestImg.png", "long");
    put(dir / "Landscape_hills.jpg", "hills");
    put(dir / "LANDSCAPE_lake.jpg", "lake");
    EXPECT_EQ(find_map_image(input, "UVTRANSF.PNG"), (dir / "UVTransformTestImg.png").string());
    EXPECT_EQ(find_map_image(input, "UVTRANSF.JPG"), "");
    EXPECT_EQ(find_map_image(input, "UVTRAN.PNG"), "");
    EXPECT_EQ(find_map_image(input, "LANDSCAP.JPG"), "");  // two fit: neither is taken

    put(dir / "BRICK.JPG", "other brick");  // an exact match comes first
    EXPECT_EQ(find_map_image(input, "BRICK.JPG"), (dir / "BRICK.JPG").string());
    EXPECT_EQ(find_map_image(input, "Brick.jpg"), (dir / "BRICK.JPG").string());  // sorted first
}

TEST(MapImages, ACopyReusesAnIdenticalFileAndTakesAnotherNameBesideADifferentOne) {
    testkit::temp_dir in, out;
    put(in / "brick.jpg", "brick bytes");
    const std::string source = (in / "brick.jpg").string(), out_dir = out.path.string();

    copy_plan fresh = plan_copy(out_dir, "brick.jpg", source, {});
    EXPECT_EQ(fresh.name, "brick.jpg");
    EXPECT_FALSE(fresh.reuse);

    put(out / "brick.jpg", "brick bytes");
    copy_plan same = plan_copy(out_dir, "brick.jpg", source, {});
    EXPECT_EQ(same.name, "brick.jpg");
    EXPECT_TRUE(same.reuse);

    put(out / "brick.jpg", "brick bytez");  // same size, other bytes
    put(out / "brick-2.jpg", "something else");
    copy_plan other = plan_copy(out_dir, "brick.jpg", source, {});
    EXPECT_EQ(other.name, "brick-3.jpg");
    EXPECT_FALSE(other.reuse);
    EXPECT_EQ(plan_copy(out_dir, "brick.jpg", source, {"brick-3.jpg"}).name, "brick-4.jpg");
    EXPECT_EQ(plan_copy(out_dir, "README", source, {"README"}).name, "README-2");

    // The 3DS file's own folder as the output's: the image is used in place.
    copy_plan in_place = plan_copy(in.path.string(), "brick.jpg", source, {});
    EXPECT_EQ(in_place.name, "brick.jpg");
    EXPECT_TRUE(in_place.reuse);
}

TEST(MapImages, TheCopyAppearsWholeAndNeverReplacesAFileThatAppearedMeanwhile) {
    testkit::temp_dir in, out;
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    put(in / "big.png", bytes);
    {
        output_file copy;
        ASSERT_TRUE(write_image_copy(copy, (in / "big.png").string(), (out / "big.png").string()));
        EXPECT_FALSE(fs::exists(out / "big.png"));  // only the temporary so far
        ASSERT_TRUE(commit_output_as_new(copy));
    }
    EXPECT_EQ(testkit::read_file(out / "big.png"), bytes);

    output_file late;
    ASSERT_TRUE(write_image_copy(late, (in / "big.png").string(), (out / "late.png").string()));
    put(out / "late.png", "the user's own file");
    EXPECT_FALSE(commit_output_as_new(late));
    EXPECT_EQ(late.error, EEXIST);
    EXPECT_EQ(testkit::read_file(out / "late.png"), "the user's own file");
    EXPECT_EQ(testkit::list_files(out.path), (std::vector<std::string>{"big.png", "late.png"}));

    output_file missing;  // a source that cannot be read leaves nothing
    EXPECT_FALSE(write_image_copy(missing, (in / "gone.png").string(), (out / "gone.png").string()));
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(testkit::list_files(out.path), (std::vector<std::string>{"big.png", "late.png"}));
}
