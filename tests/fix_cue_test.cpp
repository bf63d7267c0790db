// The rewriting pass on real files: rebased INDEX lines, PREGAP lines, every
// failure with its result, a ripper's twelve-track sheet, only the pregap
// that opens a file moved, and names kept as the sheet writes them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cue/cue_time.hpp"
#include "cue/fix_cue.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"
#include "tests/three_track_disc.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

const FixOptions range{}, perFile{false, false, true};
const FixOptions asNeeded{}, forced{true, false, false};

Fixed fixSheet(const std::string& sheet, const Audio& audio, bool force = true) {
    return vorlin::test::fixSheet(sheet, audio, FixOptions{force, false, false});
}

const Audio twoFiles = {{"01.wav", wavOfCdFrames(twoTrackFirstLength)},
                        {"02.wav", wavOfCdFrames(20000)}};

} // namespace

TEST(FixCue, RebasesTwoFilesIntoOneRange) {
    Fixed f = fixSheet(twoTrackSheet, twoFiles, false);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\ndone.\n");
    EXPECT_EQ(f.sheet, twoTrackFixed);
}

TEST(FixCue, LineEndsFollowTheFirstLine) {
    // A lone CR is data; every line of the new sheet ends as the first one
    // does, whatever the others did.
    Fixed f = fixSheet("REM a\rb\r\n" + std::string(twoTrackSheet), twoFiles, false);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.sheet, "REM a\rb\r\n"s + withCrLf(twoTrackFixed));
    f = fixSheet("REM a\rb\n" + withCrLf(twoTrackSheet), twoFiles, false);
    EXPECT_EQ(f.sheet, "REM a\rb\n"s + twoTrackFixed);
}

// One file holding two tracks, rewritten only when forced. The second track
// has no pregap of its own and is shifted by the first one's.
TEST(FixCue, SingleFileNeedsForceAndSharesItsPregap) {
    const std::string sheet = "REM GENRE Test\n"
                              "FILE \"01.wav\" WAVE\n"
                              "  TRACK 01 AUDIO\n"
                              "\tINDEX 00 00:00:00\n"
                              "\tINDEX 01 00:00:33 ; lost comment\n"
                              "  TRACK 02 AUDIO\n"
                              "    TITLE \"A INDEX 01 00:00:40\"\n"
                              "    INDEX 01 01:00:00";
    Fixed plain = fixSheet(sheet, {{"01.wav", wavOfCdFrames(9000)}}, false);
    EXPECT_EQ(plain.result, 0);
    EXPECT_EQ(plain.output, "'a.cue': only one audio file, no fixing needed.\n");
    EXPECT_EQ(plain.sheet, sheet);

    Fixed forced = fixSheet(sheet, {{"01.wav", wavOfCdFrames(9000)}});
    EXPECT_EQ(forced.result, 0);
    EXPECT_EQ(forced.output, "Fixing cue 'a.cue'...\ndone.\n");
    EXPECT_EQ(forced.sheet, "REM GENRE Test\n"
                            "FILE \"Range.wav\" WAVE\n"
                            "  TRACK 01 AUDIO\n"
                            "    PREGAP 00:00:33\n"
                            "\tINDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n"
                            "    TITLE \"A INDEX 01 00:00:07\n"
                            "    INDEX 01 00:59:42\n");
}

// A pregap that starts exactly at the start of the range stays an INDEX 00
// line; positions past 99 minutes print every digit; an INDEX 00 line of
// 1023 bytes is still kept.
TEST(FixCue, BoundariesOfStartAndLength) {
    const std::string longIndex00 = "    INDEX 00 00:00:00 " + std::string(1000, 'c') + "\n";
    ASSERT_EQ(longIndex00.size(), 1023u);
    const std::string sheet = "FILE \"01.wav\" WAVE\n"
                              "  TRACK 01 AUDIO\n"
                              "    INDEX 01 00:00:00\n"
                              "FILE \"02.wav\" WAVE\n"
                              "  TRACK 02 AUDIO\n" +
                              longIndex00 +
                              "    INDEX 01 00:02:00\n"
                              "FILE \"03.wav\" WAVE\n"
                              "  TRACK 03 AUDIO\n"
                              "    INDEX 01 00:00:00\n";
    Fixed f = fixSheet(sheet, {{"01.wav", wavOfCdFrames(150)},
                               {"02.wav", wavOfCdFrames(450000)},
                               {"03.wav", wavOfCdFrames(1)}});
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.sheet, "FILE \"Range.wav\" WAVE\n"
                       "  TRACK 01 AUDIO\n"
                       "    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n"
                       "    INDEX 00 00:00:00\n"
                       "    INDEX 01 00:02:00\n"
                       "  TRACK 03 AUDIO\n"
                       "    INDEX 01 100:02:00\n");
}

TEST(FixCue, EveryRewritingFailureLeavesTheSheetUnchanged) {
    const std::string head = "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n";
    const std::string invalid = "Fixing failed, invalid cue.\n";
    const std::string conversion = "Fixing failed, error with INDEX conversion ";
    struct Case {
        std::string sheet;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"FILE \"01.wav WAVE\n", invalid},
        {"FILE 01.wav WAVE\nFILE \"" + std::string(252, 'n') + ".wav\" WAVE\n", invalid},
        {"FILE \"0\0 1.wav\" WAVE\n"s, invalid},
        {head + "    INDEX 00 00:00:00\n", invalid},
        {head + "    INDEX 00 00:00:00\n    TITLE \"x\"\n    INDEX 01 00:01:00\n", invalid},
        {head + "    INDEX 00 00:00:00 " + std::string(1001, 'c') + "\n    INDEX 01 00:01:00\n",
         invalid},
        {head + "    INDEX 00 0:0 " + std::string(1010, 'c') + "\n    INDEX 01 00:01:00\n",
         conversion + "(1)\n"},
        {head + "    INDEX 00 100:00:00\n    INDEX 01 00:01:00\n", conversion + "(1)\n"},
        {head + "    INDEX 00 00:00:00\n    INDEX 01 1:xx:00\n", conversion + "(2)\n"},
        {head + "    INDEX 00 00:02:00\n    INDEX 01 00:01:74\n", conversion + "(3)\n"},
        {head + "    INDEX 01 00:00\n", conversion + "(6)\n"},
        {head + "    INDEX 1\n", conversion + "(6)\n"},
        {head + "    TITLE \"INDEX \"\n", conversion + "(6)\n"},
        {head + "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n  TRACK 02 AUDIO\n"
                "    INDEX 01 00:01:74\n",
         conversion + "(7)\n"},
        {head + "FILE \"short.wav\" WAVE\n", "Fixing failed, error with audio files.\n"},
        {head + "FILE \"gone.wav\" WAVE\n",
         "'gone.wav': audio file not found\nFixing failed, error with audio files.\n"},
        // There, but of a format that is not read.
        {head + "FILE \"03.ogg\" WAVE\n",
         "'03.ogg': audio format not supported\nFixing failed, error with audio files.\n"},
        // The message names the file as the sheet does, even when that is nothing.
        {head + "FILE \"\" WAVE\n",
         "'': audio file not found\nFixing failed, error with audio files.\n"},
    };
    const Audio audio = {
        {"01.wav", wavOfCdFrames(9000)}, {"short.wav", wavHeader(587 * 4)}, {"03.ogg", "OggS"}};
    for (const auto& c : cases) {
        Fixed f = fixSheet(c.sheet, audio);
        EXPECT_EQ(f.result, 1) << c.sheet;
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\n" + c.message) << c.sheet;
        EXPECT_EQ(f.sheet, c.sheet);
    }
}

// Twelve tracks ripped one file per track, each file starting with its
// track's pregap (tracks 4 and 8 have none), as a ripper writes the sheet.
TEST(FixCue, TwelveTrackRipWithPregaps) {
    struct Track {
        const char* title;
        std::int64_t length; // CD frames
        const char* pregap;  // INDEX 01 time in its own file, or nullptr
    };
    // Offsets are the running sums of the lengths, in mm:ss:ff:
    // 00:00:00 +04:10:20 = 04:10:20 +03:45:55 = 07:56:00 +05:02:00 = 12:58:00
    // +02:59:74 = 15:57:74 +06:30:10 = 22:28:09 +04:00:00 = 26:28:09
    // +03:33:33 = 30:01:42 +07:12:40 = 37:14:07 +00:58:05 = 38:12:12
    // +04:44:44 = 42:56:56 +05:15:15 = 48:11:71 (+08:01:02 for track 12).
    const Track tracks[12] = {
        {"Opening", 18770, "00:00:32"},  {"Second", 16930, "00:02:10"},
        {"Third", 22650, "00:01:00"},    {"Fourth", 13499, nullptr},
        {"Fifth", 29260, "00:00:50"},    {"Sixth", 18000, "00:03:00"},
        {"Seventh", 16008, "00:01:74"},  {"Eighth", 32440, nullptr},
        {"Ninth", 4355, "00:00:01"},     {"Tenth", 21344, "00:02:00"},
        {"Eleventh", 23640, "00:01:35"}, {"Closing", 36077, "00:04:20"},
    };
    std::string sheet = "REM GENRE Rock\r\nREM DATE 1994\r\nREM DISCID AC0D2D0C\r\n"
                        "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
                        "PERFORMER \"The Band\"\r\nTITLE \"The Album\"\r\n";
    Audio audio;
    for (int i = 0; i < 12; ++i) {
        const std::string number = (i < 9 ? "0" : "") + std::to_string(i + 1);
        const std::string name = number + " " + tracks[i].title + ".wav";
        audio.emplace_back(name, wavOfCdFrames(tracks[i].length));
        sheet += "FILE \"" + name + "\" WAVE\r\n  TRACK " + number + " AUDIO\r\n    TITLE \"" +
                 tracks[i].title + "\"\r\n    PERFORMER \"The Band\"\r\n";
        if (i == 6) sheet += "    FLAGS DCP\r\n    ISRC GBAAA9400007\r\n";
        if (tracks[i].pregap)
            sheet +=
                "    INDEX 00 00:00:00\r\n    INDEX 01 " + std::string(tracks[i].pregap) + "\r\n";
        else
            sheet += "    INDEX 01 00:00:00\r\n";
        if (i == 5) sheet += "    INDEX 02 00:40:00\r\n";
    }
    const char* expectedIndexes[12] = {
        "    PREGAP 00:00:32\n    INDEX 01 00:00:00\n",
        "    INDEX 00 04:08:10\n    INDEX 01 04:10:20\n",
        "    INDEX 00 07:55:00\n    INDEX 01 07:56:00\n",
        "    INDEX 01 12:58:00\n",
        "    INDEX 00 15:57:24\n    INDEX 01 15:57:74\n",
        "    INDEX 00 22:25:09\n    INDEX 01 22:28:09\n    INDEX 02 23:05:09\n",
        "    INDEX 00 26:26:10\n    INDEX 01 26:28:09\n",
        "    INDEX 01 30:01:42\n",
        "    INDEX 00 37:14:06\n    INDEX 01 37:14:07\n",
        "    INDEX 00 38:10:12\n    INDEX 01 38:12:12\n",
        "    INDEX 00 42:55:21\n    INDEX 01 42:56:56\n",
        "    INDEX 00 48:07:51\n    INDEX 01 48:11:71\n",
    };
    std::string expected = "REM GENRE Rock\nREM DATE 1994\nREM DISCID AC0D2D0C\n"
                           "REM COMMENT \"ExactAudioCopy v1.6\"\n"
                           "PERFORMER \"The Band\"\nTITLE \"The Album\"\n"
                           "FILE \"Range.wav\" WAVE\n";
    for (int i = 0; i < 12; ++i) {
        const std::string number = (i < 9 ? "0" : "") + std::to_string(i + 1);
        expected += "  TRACK " + number + " AUDIO\n    TITLE \"" + tracks[i].title +
                    "\"\n    PERFORMER \"The Band\"\n";
        if (i == 6) expected += "    FLAGS DCP\n    ISRC GBAAA9400007\n";
        expected += expectedIndexes[i];
    }
    // Its disc ID: the tracks start at their INDEX 01 plus track 1's PREGAP of
    // 32 and 150, in seconds 2, 252, 478, 780, 960, 1350, 1590, 1803, 2236,
    // 2294, 2579, 2894 (digit sums 172 = 0xAC); the lead-out at 252973 + 32 +
    // 150 frames, 3375 s, is 3373 s = 0x0D2D after the first track; 12 tracks.
    Fixed f = fixSheet(sheet, audio, false);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\nDisc ID ac0d2d0c matches the sheet.\ndone.\n");
    EXPECT_EQ(f.sheet, withCrLf(expected)); // the sheet keeps its CR LF line ends
}

TEST(FileNames, TheSheetsOwnNameAndEncodingAreKept) {
    // 02.flac plays 30 frames; the unrelated 02.wav would put track 3 minutes later.
    const std::string flacSheet = replaced(tracks, "02.wav", "02.flac");
    Audio audio = prepended;
    audio.push_back(
        {"02.flac", readFile(std::string(VORLIN_SOURCE_DIR) + "/tests/data/formats/picture.flac")});
    Fixed f = fixSheet(flacSheet, audio, range);
    EXPECT_EQ(f.sheet, "FILE \"Range.wav\" WAVE\n"
                       "  TRACK 01 AUDIO\n"
                       "    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n"
                       "    INDEX 00 02:58:00\n"
                       "    INDEX 01 03:00:00\n"
                       "  TRACK 03 AUDIO\n"
                       "    INDEX 00 02:57:30\n"
                       "    INDEX 01 03:00:30\n");
    f = fixSheet(flacSheet, audio, perFile);
    EXPECT_NE(f.sheet.find("FILE \"02.flac\" WAVE\n"), std::string::npos) << f.sheet;

    // Blanks after the type; a CP1251 name found on disk in UTF-8 and another
    // case goes back in CP1251.
    const std::string privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    const std::string cp1251 =
        replaced(replaced(tracks, "\"03.wav\" WAVE\n", "\"03.wav\" WAVE \t\n"), "02.wav",
                 privet1251 + ".wav");
    audio = appended;
    audio[1].first = privet + ".WAV";
    f = fixSheet(cp1251, audio, perFile);
    EXPECT_EQ(f.output, fixing + "done.\n");
    EXPECT_NE(f.sheet.find("FILE \"" + privet1251 + ".WAV\" WAVE\n"), std::string::npos) << f.sheet;
    EXPECT_NE(f.sheet.find("FILE \"03.wav\" WAVE \t\n    INDEX 01 00:00:00\n"), std::string::npos)
        << f.sheet;
    EXPECT_EQ(f.sheet.find(privet), std::string::npos);
}

// Only an INDEX 00 that opens its file is a pregap to move to the previous
// file; a later one is an ordinary INDEX line of the file.
TEST(SheetForms, OnlyThePregapThatOpensAFileShiftsItsTimes) {
    const std::string track1 = "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n";
    const std::string image = "  TRACK 02 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n"
                              "  TRACK 03 AUDIO\n    INDEX 01 02:00:00\n";
    struct Case {
        const char* what;
        FixOptions options;
        std::string sheet, fixed;
    };
    const std::vector<Case> cases = {
        {"an image sheet, forced, keeps its times", forced,
         track1 + "    INDEX 01 00:00:00\n" + image,
         "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n" + image},
        {"an image sheet that opens with a pregap gets a PREGAP line, and the file is shifted "
         "by it",
         forced, track1 + "    INDEX 00 00:00:00\n    INDEX 01 00:00:33\n" + image,
         "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:00:33\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 00:59:42\n    INDEX 01 01:01:42\n"
         "  TRACK 03 AUDIO\n    INDEX 01 01:59:42\n"},
        {"a gaps-appended sheet, forced, becomes a range sheet", forced,
         track1 + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 02:58:00\n"
                  "FILE \"02.wav\" WAVE\n    INDEX 01 00:00:00\n"
                  "  TRACK 03 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n",
         "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 02:58:00\n    INDEX 01 03:00:00\n"
         "  TRACK 03 AUDIO\n    INDEX 00 04:00:00\n    INDEX 01 04:02:00\n"},
        {"a gaps-appended sheet whose first file opens with a pregap", forced,
         track1 + "    INDEX 00 00:00:00\n    INDEX 01 00:00:32\n"
                  "  TRACK 02 AUDIO\n    INDEX 00 02:58:00\n"
                  "FILE \"02.wav\" WAVE\n    INDEX 01 00:00:00\n",
         "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:00:32\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 02:57:43\n    INDEX 01 03:00:00\n"},
        {"per-track files, the first holding two tracks", asNeeded,
         track1 + "    INDEX 01 00:00:00\n" +
             "  TRACK 02 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n"
             "FILE \"02.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 "
             "00:02:00\n"
             "  TRACK 04 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:01:00\n",
         "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n"
         "  TRACK 03 AUDIO\n    INDEX 00 02:58:00\n    INDEX 01 03:00:00\n"
         "  TRACK 04 AUDIO\n    INDEX 00 03:58:00\n    INDEX 01 03:59:00\n"},
    };
    for (const auto& c : cases) {
        Fixed f = fixSheet(c.sheet, twoFiles, c.options);
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\ndone.\n") << c.what;
        EXPECT_EQ(f.sheet, c.fixed) << c.what;
    }
    // A later INDEX 00 fails as any INDEX line does.
    const std::string opens = track1 + "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    const std::vector<std::pair<std::string, std::string>> failures = {
        {opens + "  TRACK 02 AUDIO\n    INDEX 00 xx:00:00\n", "(6)"},
        {opens + "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:03:00\n", "(7)"},
    };
    for (const auto& [sheet, label] : failures) {
        Fixed f = fixSheet(sheet, twoFiles, forced);
        EXPECT_EQ(f.output, "Fixing cue 'a.cue'...\nFixing failed, error with INDEX conversion " +
                                label + "\n");
        EXPECT_EQ(f.result, 1);
    }
}
