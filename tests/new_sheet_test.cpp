// The new sheet held in memory, written out as it is held.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "cue/new_sheet.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

TEST(NewSheet, WritesLinesAsHeld) {
    TempDir dir;
    const std::string path = dir.file("out.cue");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    NewSheet lines;
    EXPECT_FALSE(lines.writeTo(fd)); // an empty list is never written
    ASSERT_TRUE(lines.append("REM a\n"));
    ASSERT_TRUE(lines.append(std::string_view("x\0y", 3)));
    ASSERT_TRUE(lines.append("no end"));
    EXPECT_EQ(lines.count(), 3u);
    EXPECT_TRUE(lines.writeTo(fd));
    ::close(fd);
    EXPECT_EQ(readFile(path), std::string("REM a\nx\0yno end", 15));
}
