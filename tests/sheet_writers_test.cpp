// The two layouts of the new sheet: both from one walk in memory, and the
// per-file layout (a FILE line for every audio file, pregaps at the end of
// the previous file) on real files, and data tracks keeping their times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cue/cue_walk.hpp"
#include "cue/new_sheet.hpp"
#include "cue/sheet_writers.hpp"
#include "tests/cue_samples.hpp"
#include "tests/fake_audio.hpp"
#include "tests/test_support.hpp"
#include "tests/three_track_disc.hpp"

using namespace std::string_literals;
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

namespace {

// The new sheet in the layout of `Writer`, from `sheet` read in memory.
template <class Writer> std::string rewrite(const std::string& sheet, AudioSource& audio) {
    CueReader reader(SheetBytes{sheet});
    NewSheet list(false, reader.form());
    Writer writer(list);
    EXPECT_TRUE(walkCue(reader, audio, writer).ok());
    return list.text();
}

} // namespace

TEST(SheetWriters, BothLayoutsFromOneWalk) {
    FakeAudio audio = threeFilesAudio();
    EXPECT_EQ(rewrite<RangeWriter>(threeFiles, audio), "REM x\n"s + twoTrackFixed +
                                                           "  TRACK 03 AUDIO\n"
                                                           "    INDEX 01 03:26:60\n"
                                                           "    INDEX 02 03:26:70\n");
    // Each FILE line names the file found, and waits for the first INDEX in its file.
    EXPECT_EQ(rewrite<PerFileWriter>(threeFiles, audio), "REM x\n"
                                                         "FILE \"01.wav\" WAVE\n"
                                                         "  TRACK 01 AUDIO\n"
                                                         "    PREGAP 00:01:00\n"
                                                         "    INDEX 01 00:00:00\n"
                                                         "  TRACK 02 AUDIO\n"
                                                         "    INDEX 00 02:58:00\n"
                                                         "FILE \"02.wav\" WAVE\n"
                                                         "    INDEX 01 00:00:00\n"
                                                         "FILE \"03.wav\" WAVE\n"
                                                         "  TRACK 03 AUDIO\n"
                                                         "    INDEX 01 00:00:10\n"
                                                         "    INDEX 02 00:00:20\n");
}

TEST(SheetWriters, LinesAcrossTheReadersBlocks) {
    FakeAudio audio({{"01.wav", {"01.wav", {twoTrackFirstLength, Problem::none}}},
                     {"02.wav", {"02.wav", {100, Problem::none}}}});
    // The reader takes 64 KiB at a time. A first line that ends in CR LF
    // only after the first block still makes a CR LF sheet; a CR LF pair
    // split across two blocks is one line end.
    const std::string longFirstLines[] = {
        "REM " + std::string(65536 - 4 - 1, 'a') + "\r\n", // CR the block's last byte
        "REM " + std::string(70000, 'b') + "\r\n",
    };
    for (const std::string& first : longFirstLines) {
        const std::string fixed = rewrite<RangeWriter>(first + withCrLf(twoTrackSheet), audio);
        EXPECT_TRUE(fixed == first + withCrLf(twoTrackFixed)) << first.size();
    }
    // The same pair split after a short first line.
    const std::string second = "REM " + std::string(65536 - 7 - 4 - 1, 'c') + "\r\n";
    const std::string sheet = "REM a\r\n" + second + withCrLf(twoTrackSheet);
    ASSERT_EQ(sheet[65535], '\r');
    EXPECT_TRUE(rewrite<RangeWriter>(sheet, audio) ==
                "REM a\r\n" + second + withCrLf(twoTrackFixed));
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
