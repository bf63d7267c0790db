// Names in messages: a name can neither break a message's line nor send a
// control sequence to the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cue/messages.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

TEST(Messages, ControlBytesInNamesAreShownAsOctalEscapes) {
    // Every byte value, one at a time, in the subject of a message.
    for (int byte = 1; byte < 256; ++byte) {
        const std::string name = "a" + std::string(1, static_cast<char>(byte)) + "b";
        char octal[8];
        std::snprintf(octal, sizeof octal, "\\%03o", byte);
        const std::string shown =
            byte < 0x20 || byte == 0x7F ? "a" + std::string(octal) + "b" : name;
        EXPECT_EQ(problemMessage(Problem::nothingFound, name), "Can't find file '" + shown + "'\n")
            << byte;
    }
    // Backslashes and UTF-8 stay as they are; the sheet of the progress line
    // is shown the same way.
    EXPECT_EQ(problemMessage(Problem::notRegular, "C:\\Müsik\\x\x1B[2J.cue"),
              "'C:\\Müsik\\x\\033[2J.cue' is not a regular file.\n");
    EXPECT_EQ(captureStdout([] { printFixing("x\n--- a\t\n\r.cue"); }),
              "Fixing cue 'x\\012--- a\\011\\012\\015.cue'...\n");
}
