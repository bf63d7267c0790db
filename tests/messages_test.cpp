// The table of messages: every problem has a line of its own, naming its
// subject where it has one, and a problem with an audio file is followed by
// the line that says fixing failed. A name can neither break a message's
// line nor send a control sequence to the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cue/messages.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

struct Expected {
    bool prints = true;        // a line of its own
    bool namesSubject = false; // the line holds the subject
    bool audio = false;        // followed by "Fixing failed, error with audio files."
    int conversionCode = 0;    // the INDEX conversion's number, if it is one
};

// What each problem prints. No default: a new problem does not compile
// here until it is sorted in. Nothing for a number that is no problem.
std::optional<Expected> expectedOf(Problem problem) {
    switch (problem) {
    case Problem::none:
        return Expected{.prints = false};
    case Problem::nothingFound:
    case Problem::folderUnreadable:
    case Problem::folderNamed:
    case Problem::notRegular:
    case Problem::sheetOpenFailed:
    case Problem::foreignLink:
    case Problem::sheetChanged:
    case Problem::notValidSheet:
    case Problem::nonCompliant:
    case Problem::onlyOneAudioFile:
    case Problem::noGaps:
    case Problem::sheetReadOnly:
    case Problem::sheetReadFailed:
        return Expected{.namesSubject = true};
    case Problem::sheetOutOfMemory:
    case Problem::invalidSheet:
    case Problem::outOfMemory:
    case Problem::notCreated:
    case Problem::notWritten:
        return Expected{};
    case Problem::index00Unreadable:
        return Expected{.conversionCode = 1};
    case Problem::indexAfter00Unreadable:
        return Expected{.conversionCode = 2};
    case Problem::negativePregap:
        return Expected{.conversionCode = 3};
    case Problem::indexUnreadable:
        return Expected{.conversionCode = 6};
    case Problem::negativePosition:
        return Expected{.conversionCode = 7};
    case Problem::audioNotFound:
    case Problem::audioNotSupported:
    case Problem::audioOpenFailed:
    case Problem::invalidWav:
    case Problem::unrecognizedFormat:
        return Expected{.namesSubject = true, .audio = true};
    case Problem::unusableAudio:
        return Expected{.prints = false, .audio = true};
    }
    return std::nullopt;
}

} // namespace

TEST(Messages, EveryProblemPrintsItsLineAndAudioProblemsTheFollowUp) {
    const std::string subject = "dir/Name 1.wav";
    const std::string followUp = "Fixing failed, error with audio files.\n";
    int problems = 0;
    for (int number = 0;; ++number) {
        const auto problem = static_cast<Problem>(number);
        const std::optional<Expected> expected = expectedOf(problem);
        if (!expected) break;
        ++problems;
        const std::string line = problemMessage(problem, subject);
        if (!expected->prints) {
            EXPECT_EQ(line, "") << "problem " << number;
        } else {
            // One whole line, every placeholder filled in.
            EXPECT_FALSE(line.empty()) << "problem " << number;
            EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
            EXPECT_EQ(line.find('%'), std::string::npos) << line;
            EXPECT_EQ(line.find(subject) != std::string::npos, expected->namesSubject) << line;
            if (expected->conversionCode != 0) {
                EXPECT_EQ(line, "Fixing failed, error with INDEX conversion (" +
                                    std::to_string(expected->conversionCode) + ")\n");
            }
            EXPECT_NE(line, followUp) << "problem " << number;
        }
        const std::string printed = captureStdout([&] { printOutcome({problem, subject}); });
        EXPECT_EQ(printed, line + (expected->audio ? followUp : "")) << "problem " << number;
    }
    // The problems are numbered from 0 without gaps, so the walk stops after
    // the last one, whichever it is.
    EXPECT_GT(problems, static_cast<int>(Problem::unusableAudio));
}

// A subject is printed as printf prints a C string: up to a NUL byte, and a
// "%s" in it is not a placeholder.
TEST(Messages, SubjectsPrintUpToANulAndAsTheyAre) {
    EXPECT_EQ(problemMessage(Problem::audioNotFound, std::string("a%sb\0c", 6)),
              "'a%sb': audio file not found\n");
}

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
