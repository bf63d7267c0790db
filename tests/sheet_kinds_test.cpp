// Sheets that must come out of a run unharmed: rips whose disc ID shows them
// right as they stand, data tracks, sheets with nothing to move, and names
// kept as the sheet writes them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const FixOptions range{}, rangeForced{true, false, false}, dryRun{false, true, false};
const FixOptions perFile{false, false, true};

// One disc of three tracks, ripped twice. On the disc (frames after the
// lead-in) track 2's pregap runs from 13500 for 150 frames and track 3's from
// 31650 for 225; the audio ends at 45000. Its ID: tracks at 2, 184 and 427 s
// (digit sums 2 + 13 + 13 = 0x1C), the lead-out at 602 s, 600 = 0x258 after
// the first, 3 tracks.
const std::string discId = "REM DISCID 1C025803\n";
const std::string tracks = "FILE \"01.wav\" WAVE\n"
                           "  TRACK 01 AUDIO\n"
                           "    INDEX 01 00:00:00\n"
                           "FILE \"02.wav\" WAVE\n"
                           "  TRACK 02 AUDIO\n"
                           "    INDEX 00 00:00:00\n"
                           "    INDEX 01 00:02:00\n"
                           "FILE \"03.wav\" WAVE\n"
                           "  TRACK 03 AUDIO\n"
                           "    INDEX 00 00:00:00\n"
                           "    INDEX 01 00:03:00\n";
// Each pregap at the start of its track's file: the sheet is right as it is.
const Audio prepended = {{"01.wav", wavOfCdFrames(13500)},
                         {"02.wav", wavOfCdFrames(18150)},
                         {"03.wav", wavOfCdFrames(13350)}};
// Each pregap at the end of the previous file: the sheet needs the rewrite.
const Audio appended = {{"01.wav", wavOfCdFrames(13650)},
                        {"02.wav", wavOfCdFrames(18225)},
                        {"03.wav", wavOfCdFrames(13125)}};
const std::string tracksFixed = "FILE \"Range.wav\" WAVE\n"
                                "  TRACK 01 AUDIO\n"
                                "    INDEX 01 00:00:00\n"
                                "  TRACK 02 AUDIO\n"
                                "    INDEX 00 03:00:00\n"
                                "    INDEX 01 03:02:00\n"
                                "  TRACK 03 AUDIO\n"
                                "    INDEX 00 07:02:00\n"
                                "    INDEX 01 07:05:00\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

const std::string fixing = "Fixing cue 'a.cue'...\n";
const std::string leftAlone =
    "Disc ID 1c025803 matches the sheet as it stands, no fixing needed.\n";

} // namespace

TEST(ProvenSheet, PrependedRipIsLeftAloneAndAppendedOneFixed) {
    // TRACK and INDEX 00 on one line: the INDEX belongs to track 3.
    const std::string joined =
        replaced(tracks, "  TRACK 03 AUDIO\n    INDEX", "  TRACK 03 AUDIO    INDEX");
    struct Case {
        const char* what;
        std::string sheet;
        const Audio& audio;
        FixOptions options;
        std::string output;
        std::string fixed; // "" for unchanged
    };
    const std::vector<Case> cases = {
        {"prepended", discId + tracks, prepended, range, fixing + leftAlone, ""},
        {"prepended, per file", discId + tracks, prepended, perFile, fixing + leftAlone, ""},
        {"prepended, dry run", discId + tracks, prepended, dryRun, fixing + leftAlone, ""},
        {"prepended, joined lines", discId + joined, prepended, range, fixing + leftAlone, ""},
        {"prepended, forced", discId + tracks, prepended, rangeForced,
         fixing +
             "Disc ID 17025803 differs from the sheet's 1C025803: a data track, or files or gaps "
             "that differ from the disc.\ndone.\n",
         discId + "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    INDEX 00 02:58:00\n    INDEX 01 03:00:00\n"
                  "  TRACK 03 AUDIO\n    INDEX 00 06:59:00\n    INDEX 01 07:02:00\n"},
        {"appended", discId + tracks, appended, range,
         fixing + "Disc ID 1c025803 matches the sheet.\ndone.\n", discId + tracksFixed},
        {"appended, joined lines", discId + joined, appended, range,
         fixing + "Disc ID 1c025803 matches the sheet.\ndone.\n",
         discId +
             replaced(tracksFixed, "  TRACK 03 AUDIO\n    INDEX", "  TRACK 03 AUDIO    INDEX")},
        // Pregaps under a second: tracks at 2, 182 and 424 s either way.
        {"gaps too short to tell",
         "REM DISCID 17025803\n" +
             replaced(replaced(tracks, "00:02:00", "00:00:30"), "00:03:00", "00:00:30"),
         prepended, range,
         fixing + "Disc ID 17025803 matches the sheet and the old sheet alike: it cannot tell "
                  "where the gaps lie.\ndone.\n",
         "REM DISCID 17025803\n"
         "FILE \"Range.wav\" WAVE\n"
         "  TRACK 01 AUDIO\n"
         "    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n"
         "    INDEX 00 02:59:45\n"
         "    INDEX 01 03:00:00\n"
         "  TRACK 03 AUDIO\n"
         "    INDEX 00 07:01:45\n"
         "    INDEX 01 07:02:00\n"},
    };
    for (const Case& c : cases) {
        Fixed f = fixSheet(c.sheet, c.audio, c.options);
        EXPECT_EQ(f.output, c.output) << c.what;
        EXPECT_EQ(f.result, 0) << c.what;
        EXPECT_EQ(f.sheet, c.fixed.empty() ? c.sheet : c.fixed) << c.what;
    }
}

// INDEX lines under a data file's FILE line keep their text; times in the
// audio files are those of a sheet without the data track.
TEST(DataTracks, KeepTheirTimesInBothLayouts) {
    const std::string data = "FILE \"data.bin\" BINARY\n"
                             "  TRACK 04 MODE1/2352\n"
                             "    INDEX 01 00:00:00\n"
                             "    INDEX 02 123:00:00\n";
    const std::string game = "FILE \"game.bin\" BINARY\n"
                             "  TRACK 01 MODE1/2352\n"
                             "    INDEX 00 00:00:00\n"
                             "    INDEX 01 00:02:00\n";
    const std::string tracksPerFile = "FILE \"01.wav\" WAVE\n"
                                      "  TRACK 01 AUDIO\n"
                                      "    INDEX 01 00:00:00\n"
                                      "  TRACK 02 AUDIO\n"
                                      "    INDEX 00 03:00:00\n"
                                      "FILE \"02.wav\" WAVE\n"
                                      "    INDEX 01 00:00:00\n"
                                      "  TRACK 03 AUDIO\n"
                                      "    INDEX 00 04:00:00\n"
                                      "FILE \"03.wav\" WAVE\n"
                                      "    INDEX 01 00:00:00\n";
    // A data file between audio files: the range would put track 3 under it.
    const std::string between = replaced(tracks, "FILE \"03.wav\"", data + "FILE \"03.wav\"");
    const std::string noGapAfter =
        replaced(between, "    INDEX 00 00:00:00\n    INDEX 01 00:03:00", "    INDEX 01 00:00:00");
    struct Case {
        const char* what;
        std::string sheet;
        FixOptions options;
        std::string output;
        std::string fixed;
    };
    const std::string done = "done.\n";
    const std::vector<Case> cases = {
        // Track 4's INDEX 01 is not in the range: no ID message.
        {"enhanced CD", discId + tracks + data, range, done, discId + tracksFixed + data},
        {"enhanced CD, per file", discId + tracks + data, perFile, done,
         discId + tracksPerFile + data},
        {"game rip", game + tracks, range, done, game + tracksFixed},
        {"game rip, per file", game + tracks, perFile, done, game + tracksPerFile},
        {"data between", between, range, "Fixing failed, invalid cue.\n", between},
        {"data between, per file", noGapAfter, perFile, done,
         tracksPerFile.substr(0, tracksPerFile.find("  TRACK 03")) + data +
             "FILE \"03.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"},
        {"data between, a pregap after it, per file", between, perFile,
         "Fixing failed, error with INDEX conversion (7)\n", between},
    };
    for (const Case& c : cases) {
        Fixed f = fixSheet(c.sheet, appended, c.options);
        EXPECT_EQ(f.output, fixing + c.output) << c.what;
        EXPECT_EQ(f.sheet, c.fixed) << c.what;
    }
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

// With -r, a link to a sheet in another folder is fixed through; the summary
// counts a sheet left alone by its disc ID as needing no fixing.
TEST(ProvenSheet, LibraryRunCountsItAndKeepsLinks) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir root;
    for (const char* folder : {"lib", "lib/pre", "lib/app", "store"})
        ::mkdir(root.file(folder).c_str(), 0755);
    for (const auto& [name, bytes] : prepended) writeFile(root.file("lib/pre/" + name), bytes);
    for (const auto& [name, bytes] : appended) writeFile(root.file("lib/app/" + name), bytes);
    writeFile(root.file("lib/pre/a.cue"), discId + tracks);
    writeFile(root.file("store/app.cue"), discId + tracks);
    ASSERT_EQ(::symlink("../../store/app.cue", root.file("lib/app/b.cue").c_str()), 0);
    RunResult run = runVorlin({"-r", "lib"}, root.path(), true);
    EXPECT_EQ(run.output, "Fixing cue 'lib/app/b.cue'...\n"
                          "Disc ID 1c025803 matches the sheet.\ndone.\n"
                          "Fixing cue 'lib/pre/a.cue'...\n" +
                              leftAlone);
    EXPECT_EQ(run.errors, "vorlin: 2 sheets: 1 fixed, 1 needed no fixing, 0 failed.\n");
    EXPECT_EQ(run.exitStatus, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(root.file("lib/app/b.cue").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(root.file("store/app.cue")), discId + tracksFixed);
    EXPECT_EQ(readFile(root.file("lib/pre/a.cue")), discId + tracks);
}
