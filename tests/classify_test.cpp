// Which sheets the tool agrees to fix, and sheets with no opening pregap to
// move.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cue/classify.hpp"
#include "cue/messages.hpp"
#include "tests/test_support.hpp"
#include "tests/three_track_disc.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const FixOptions range{}, rangeForced{true, false, false};

} // namespace

TEST(ClassifyCue, VerdictsAndTheirOrder) {
    const std::string invalid = "File 'c.cue' is not a valid cue sheet.\n";
    const std::string nonCompliant = "File 'c.cue' is in non-compliant format, no fixing needed.\n";
    const std::string single = "'c.cue': only one audio file, no fixing needed.\n";
    const std::string noGaps = "'c.cue': no gaps, no fixing needed.\n";
    const std::string track = "  TRACK 01 AUDIO\n";
    const std::string gap = "    INDEX 00 00:00:00\n    INDEX 01 00:00:10\n";
    struct Case {
        std::string sheet;
        int verdict;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", -1, invalid},
        {"FILE \"a.bin\" BINARY\n" + track + gap + "FILE \"b.mp3\" MP3\n" + track + gap, -1,
         invalid},
        // Blanks after the type are allowed; a type that is no audio one is not.
        {"FILE \"a.wav\" WAVE \t\n" + track + gap + "FILE \"b.wav\" AIFF  \n" + track + gap, 1, ""},
        {"FILE \"a.wav\" WAVE x\n" + track + gap + "FILE \"b.wav\" WAVE\t.\n" + track + gap, -1,
         invalid},
        {" FILE \"a.wav\" WAVE\n" + track + gap, -1, invalid},
        // INDEX 01 right under a FILE line: the track began in the previous file.
        {"FILE \"a.wav\" WAVE\n" + track + gap + "FILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n" +
             track + gap + "FILE \"c.wav\" WAVE\n" + track + gap,
         0, nonCompliant},
        {"FILE \"a.wav\" WAVE\n    INDEX 01 00:00:00\n", 0, nonCompliant},
        // An INDEX line before any audio FILE line is harmless.
        {"    INDEX 01 00:00:00\nFILE \"a.wav\" WAVE\n" + track + gap, 0, single},
        {"FILE \"a.wav\" WAVE\n" + track + "    INDEX 01 00:00:00\nFILE \"b.wav\" WAVE\n" + track +
             "    INDEX 00\t00:00:00\n    INDEX 01 00:00:10\n",
         0, noGaps},
        {"FILE \"a.wav\" WAVE\r\n" + track + gap + "FILE \"b.wav\" WAVE\r\n" + track + gap, 1, ""},
        {"FILE \"a.flac\" FLAC\n" + track + gap + "FILE \"b.aiff\" AIFF\n" + track + gap, 1, ""},
        {"FILE \"a.wav\" WAVE\n" + track + "    INDEX 01 00:00:00\nFILE \"b.wav\" WAVE\n" + track +
             gap,
         1, ""},
    };
    TempDir dir;
    ScopedCwd cwd(dir.path());
    // 1: needs fixing, 0: no fixing needed, -1: refused; with the message it prints.
    const auto classify = [](const std::string& path, int& verdict) {
        const Classified classified = classifyCue(path);
        verdict = classified.verdict == Verdict::needsFixing   ? 1
                  : classified.verdict == Verdict::noFixNeeded ? 0
                                                               : -1;
        return problemMessage(classified.why.problem, classified.why.subject);
    };
    for (const auto& c : cases) {
        writeFile("c.cue", c.sheet);
        int verdict = 99;
        EXPECT_EQ(classify("c.cue", verdict), c.message) << c.sheet;
        EXPECT_EQ(verdict, c.verdict) << c.sheet;
    }
    int verdict = 99;
    EXPECT_EQ(classify("gone.cue", verdict), "Failed to open 'gone.cue'.\n");
    EXPECT_EQ(verdict, -1);
}

// Pregaps already inside or at the end of a file: nothing to move.
TEST(NothingToMove, SheetsWithoutAnOpeningPregapNeedNoFixing) {
    // One ripper's gaps-appended sheet writes each TRACK line again under its FILE line.
    const std::string repeated = "FILE \"01.wav\" WAVE\n"
                                 "  TRACK 01 AUDIO\n"
                                 "    INDEX 01 00:00:00\n"
                                 "  TRACK 02 AUDIO\n"
                                 "    INDEX 00 03:00:00\n"
                                 "FILE \"02.wav\" WAVE\n"
                                 "  TRACK 02 AUDIO\n"
                                 "    INDEX 01 00:00:00\n";
    // Two disc images, each holding two tracks.
    const std::string images = "FILE \"01.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 00 01:00:00\n"
                               "    INDEX 01 01:02:00\n"
                               "FILE \"02.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 00 01:00:00\n"
                               "    INDEX 01 01:02:00\n";
    // A data file's opening INDEX 00 is no pregap to move either.
    const std::string data = "FILE \"01.wav\" WAVE\n"
                             "  TRACK 01 AUDIO\n"
                             "    INDEX 01 00:00:00\n"
                             "FILE \"02.wav\" WAVE\n"
                             "  TRACK 02 AUDIO\n"
                             "    INDEX 01 00:00:00\n"
                             "FILE \"d.bin\" BINARY\n"
                             "  TRACK 03 MODE1/2352\n"
                             "    INDEX 00 00:00:00\n"
                             "    INDEX 01 00:02:00\n";
    for (const std::string& sheet : {repeated, images, data}) {
        Fixed f = fixSheet(sheet, appended, range);
        EXPECT_EQ(f.output, "File 'a.cue' is in non-compliant format, no fixing needed.\n");
        EXPECT_EQ(f.result, 0);
        EXPECT_EQ(f.sheet, sheet);
    }
    Fixed f = fixSheet(repeated, appended, rangeForced);
    EXPECT_EQ(f.output, fixing + "done.\n");
    EXPECT_EQ(f.sheet, "FILE \"Range.wav\" WAVE\n"
                       "  TRACK 01 AUDIO\n"
                       "    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n"
                       "    INDEX 00 03:00:00\n"
                       "  TRACK 02 AUDIO\n"
                       "    INDEX 01 03:02:00\n");
}
