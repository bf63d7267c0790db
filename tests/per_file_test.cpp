// The per-file layout (a FILE line for every audio file, pregaps at the end
// of the previous file) and the disc ID check of a rewritten sheet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cue/disc_id.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const FixOptions perFile{false, false, true}, perFileForced{true, false, true};
const FixOptions range{}, rangeForced{true, false, false};

// 01.wav 3:00:00, 02.wav 2:00:00, 03.wav 0:12:00.
const Audio album = {{"01.wav", wavOfCdFrames(13500)},
                     {"02.wav", wavOfCdFrames(9000)},
                     {"03.wav", wavOfCdFrames(900)}};

// A leading pregap, a pregap at the start of a file, INDEX 02, a track with no pregap.
const std::string threeTracks = "FILE \"01.wav\" WAVE\n"
                                "  TRACK 01 AUDIO\n"
                                "    INDEX 00 00:00:00\n"
                                "    INDEX 01 00:01:00\n"
                                "FILE \"02.wav\" WAVE\n"
                                "  TRACK 02 AUDIO\n"
                                "    INDEX 00 00:00:00\n"
                                "    INDEX 01 00:02:00\n"
                                "    INDEX 02 00:03:00\n"
                                "FILE \"03.wav\" WAVE\n"
                                "  TRACK 03 AUDIO\n"
                                "    INDEX 01 00:00:00\n";
const std::string threeTracksPerFile = "FILE \"01.wav\" WAVE\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    PREGAP 00:01:00\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    INDEX 00 02:58:00\n"
                                       "FILE \"02.wav\" WAVE\n"
                                       "    INDEX 01 00:00:00\n"
                                       "    INDEX 02 00:01:00\n"
                                       "FILE \"03.wav\" WAVE\n"
                                       "  TRACK 03 AUDIO\n"
                                       "    INDEX 01 00:00:00\n";

} // namespace

TEST(PerFile, PregapsMoveToTheEndOfThePreviousFile) {
    VORLIN_SKIP_ON_WINDOWS("quotation marks in file names");
    const std::string flac = readFile(VORLIN_SOURCE_DIR "/tests/data/formats/plain.flac");
    struct Case {
        const char* what;
        std::string sheet;
        Audio audio;
        std::string output, fixed;
    };
    const std::vector<Case> cases = {
        {"three tracks", threeTracks, album, "done.\n", threeTracksPerFile},
        {"a pregap longer than the previous file",
         "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"02.wav\" WAVE\nFILE \"03.wav\" WAVE\n"
         "  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n",
         {{"01.wav", wavOfCdFrames(13500)},
          {"02.wav", wavOfCdFrames(30)},
          {"03.wav", wavOfCdFrames(900)}},
         "done.\n",
         "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 02:58:30\n"
         "FILE \"02.wav\" WAVE\nFILE \"03.wav\" WAVE\n    INDEX 01 00:00:00\n"},
        {"files found under another extension, letter case and folder",
         "FILE \"01 Intro.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"CD1\\02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 "
         "00:00:10\n"
         "FILE 03.wav WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n",
         {{"01 Intro.flac", flac},
          {"CD1/02.WAV", wavOfCdFrames(100)},
          {"03.wav", wavOfCdFrames(100)}},
         "done.\n",
         "FILE \"01 Intro.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 00:00:20\n"
         "FILE \"CD1/02.WAV\" WAVE\n    INDEX 01 00:00:00\n"
         "FILE \"03.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"},
        {"a found name with a double quote",
         "FILE 01\"a.wav WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n" +
             std::string(threeTracks).substr(threeTracks.find("FILE \"02")),
         {{"01\"a.wav", wavOfCdFrames(13500)},
          {"02.wav", wavOfCdFrames(9000)},
          {"03.wav", wavOfCdFrames(900)}},
         "Fixing failed, invalid cue.\n",
         ""},
        {"an INDEX before the start of the last FILE line written",
         "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"03.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n",
         {{"01.wav", wavOfCdFrames(13500)},
          {"02.wav", wavOfCdFrames(30)},
          {"03.wav", wavOfCdFrames(900)}},
         "Fixing failed, error with INDEX conversion (7)\n",
         ""},
    };
    for (const auto& c : cases) {
        Fixed f = fixSheet(c.sheet, c.audio, perFile);
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\n" + c.output) << c.what;
        EXPECT_EQ(f.sheet, c.fixed.empty() ? c.sheet : c.fixed) << c.what;
    }
}

// A sheet the per-file layout wrote needs no fixing, and read as a range it
// puts every track where the range layout puts it.
TEST(PerFile, RoundTripsWithTheRangeLayout) {
    Fixed f = fixSheet(threeTracksPerFile, album, perFile);
    EXPECT_EQ(f.output, "File 'a.cue' is in non-compliant format, no fixing needed.\n");
    EXPECT_EQ(f.result, 0);
    const std::string fromPerFile = fixSheet(threeTracksPerFile, album, rangeForced).sheet;
    const std::string fromOriginal = fixSheet(threeTracks, album, range).sheet;
    EXPECT_EQ(fromPerFile, fromOriginal);
    EXPECT_NE(fromOriginal, threeTracks);
}

TEST(DiscId, FromARealAlbum) {
    // Jethro Tull, Aqualung, as its ripper recorded it (REM DISCID 970A2F0B):
    // the INDEX 01 times of its image sheet plus 150 frames, in seconds 2, 395,
    // 645, 728, 962, 1077, 1272, 1704, 1902, 1975, 2242, whose digit sums add
    // up to 151 = 0x97; the lead-out at 2609 s, 2607 s = 0x0A2F after the
    // first track; 11 tracks.
    const std::vector<std::int64_t> starts = {183,   29668,  48403,  54643,  72175, 80775,
                                              95463, 127828, 142688, 148198, 168178};
    EXPECT_EQ(cddbDiscId(starts, 2609 * 75), 0x970A2F0Bu);
    EXPECT_EQ(cddbDiscId(starts, 2609 * 75 + 74), 0x970A2F0Bu);
    EXPECT_EQ(cddbDiscId(starts, 2610 * 75), 0x970A300Bu);
}

TEST(DiscId, IsCheckedAfterTheRewriteInBothLayouts) {
    const std::string matches = "Disc ID 0f01be02 matches the sheet.\n";
    const std::string sheet = twoTrackSheet;
    const std::size_t track2 = sheet.find("FILE \"02"), index2 = sheet.find("    INDEX", track2);
    // Track 1's POSTGAP and track 2's PREGAP line move track 2 by 150 + 75:
    // it starts at 13500 + 75 + 75 + 150 + 150 frames, 186 s (digit sums
    // 3 + 15 = 0x12); the lead-out at 33950 frames, 452 s, is 449 s = 0x01C1
    // after the first.
    const std::string gaps = sheet.substr(0, track2) + "    POSTGAP 00:02:00\n" +
                             sheet.substr(track2, index2 - track2) + "    PREGAP 00:01:00\n" +
                             sheet.substr(index2);
    struct Case {
        const char* what;
        std::string sheet, output;
    };
    const std::vector<Case> cases = {
        {"matching", "REM DISCID 0F01BE02\n" + sheet, matches},
        {"in lower case, the first of two",
         "REM DISCID 0f01be02\n" + sheet + "REM DISCID 0F03D403\n", matches},
        {"a disc with a data track", "REM DISCID 0F03D403\n" + sheet,
         "Disc ID 0f01be02 differs from the sheet's 0F03D403: a data track, or files or gaps "
         "that differ from the disc.\n"},
        {"PREGAP and POSTGAP lines", "REM DISCID 1201C102\n" + gaps,
         "Disc ID 1201c102 matches the sheet.\n"},
        {"nine digits", "REM DISCID 0F01BE020\n" + sheet, ""},
        {"a blank before", " REM DISCID 0F01BE02\n" + sheet, ""},
        {"not hex", "REM DISCID 0F01BE0G\n" + sheet, ""},
        {"a track without INDEX 01", "REM DISCID 0F01BE02\n" + sheet + "  TRACK 03 AUDIO\n", ""},
        {"an unreadable POSTGAP", "REM DISCID 0F01BE02\n" + sheet + "    POSTGAP 0x:00:00\n", ""},
    };
    const Audio audio = {{"01.wav", wavOfCdFrames(twoTrackFirstLength)},
                         {"02.wav", wavOfCdFrames(20000)}};
    // After the rewrite, before the sheet is replaced or its diff shown.
    const std::vector<std::pair<FixOptions, std::string>> runs = {
        {range, "done.\n"}, {perFile, "done.\n"}, {{false, true, true}, "--- a.cue\t\n"}};
    for (const auto& c : cases) {
        for (const auto& [options, next] : runs) {
            Fixed f = fixSheet(c.sheet, audio, options);
            EXPECT_TRUE(f.output.starts_with("Fixing cue 'a.cue'...\n" + c.output + next))
                << c.what << "\n"
                << f.output;
            EXPECT_EQ(f.result, 0);
        }
    }
}
