// The conversion on several threads, through the real binary: the same
// files and console text whatever the number of threads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_binary.hpp"
#include "testkit/console.hpp"
#include "tests/mixed_scene.hpp"

namespace {

struct conversion {
    e2e::result run;
    std::string vrx, inc;
};

conversion convert(const testkit::temp_dir& dir, std::vector<std::string> args, const std::string& threads) {
    for (const char* a : {"-i", "mixed.3ds", "-o", "out", "--threads"}) args.emplace_back(a);
    args.push_back(threads);
    conversion c{e2e::run(dir.path, args), testkit::read_file(dir / "out.vrx"), testkit::read_file(dir / "out.inc")};
    return c;
}

}  // namespace

TEST(Threads, FilesAndConsoleAreTheSameWhateverTheThreadCount) {
    // The sheet of 14 400 faces is cut into about 30 parts on 7 threads, 8
    // on 2, 4 on one; parts also start and end inside the small objects.
    testkit::temp_dir dir;
    testkit::write_file(dir / "mixed.3ds", mixed::scene_bytes());
    const std::vector<std::vector<std::string>> modes = {{}, {"-t"}, {"--faithful"}, {"-q", "--smoothing"}};
    for (const std::vector<std::string>& mode : modes) {
        SCOPED_TRACE(mode.empty() ? "default" : mode.front());
        const conversion one = convert(dir, mode, "1");
        ASSERT_EQ(one.run.exit_code, 1) << one.run.out;
        EXPECT_EQ(testkit::count_warnings(one.run.out, "they were removed"), 2u) << one.run.out;
        EXPECT_GT(one.inc.size(), 14400u * 100);
        for (const char* threads : {"2", "7"}) {
            SCOPED_TRACE(std::string("--threads ") + threads);
            const conversion many = convert(dir, mode, threads);
            EXPECT_EQ(many.run.exit_code, 1);
            EXPECT_EQ(many.run.out, one.run.out);
            EXPECT_TRUE(many.vrx == one.vrx);
            EXPECT_TRUE(many.inc == one.inc);
        }
    }
}
