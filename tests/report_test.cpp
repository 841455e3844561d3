#include <gtest/gtest.h>

#include <string>

#include "model/report.hpp"

namespace {

using tessvert::printable;

TEST(Printable, NamesThatCouldForgeLinesOrDriveTheTerminalAreEscaped) {
    EXPECT_EQ(printable("Box01"), "Box01");
    EXPECT_EQ(printable("C:\\MAPS\\BRICK.JPG"), "C:\\MAPS\\BRICK.JPG");
    EXPECT_EQ(printable("a\nAll objects successfully dumped to: fake.inc"),
              "a\\nAll objects successfully dumped to: fake.inc");
    EXPECT_EQ(printable("\x1b[2J\r\t"), "\\x1B[2J\\r\\t");
    EXPECT_EQ(printable(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(printable("\x7f\x80\x9b\xff"), "\\x7F\\x80\\x9B\\xFF");
    EXPECT_EQ(printable("q\"uote"), "q\\\"uote");  // a quoted name ends where it seems to
    // Whatever goes in, no byte outside the printable ASCII range comes out.
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    for (const char c : printable(every)) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20);
        EXPECT_LT(static_cast<unsigned char>(c), 0x7F);
    }
}

}  // namespace
