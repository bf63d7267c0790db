// The walk, the two writers and the disc ID check, run on sheets in memory
// with audio files that exist only as lengths.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cue/cue_walk.hpp"
#include "cue/disc_id.hpp"
#include "cue/new_sheet.hpp"
#include "cue/sheet_writers.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

// Audio files by the name a FILE line gives: the name they are found under
// (in the folder "dir/") and what measuring them gives.
class FakeAudio : public AudioSource {
  public:
    struct File {
        std::string found;
        AudioLength length;
    };
    explicit FakeAudio(std::map<std::string, File, std::less<>> files) : files_(std::move(files)) {}

    bool find(std::string_view name, AudioFile& found) override {
        const auto it = files_.find(name);
        if (it == files_.end()) return false;
        found.name = it->second.found;
        found.path = "dir/" + found.name;
        return true;
    }
    AudioLength measure(const AudioFile& file) override {
        for (const auto& [name, entry] : files_)
            if (entry.found == file.name) return entry.length;
        return {0, Problem::audioOpenFailed};
    }

  private:
    std::map<std::string, File, std::less<>> files_;
};

// Writes down every call, one line each.
class RecordingSink : public WalkSink {
  public:
    std::string calls;

    Problem line(std::string_view text, std::uint64_t origin) override {
        calls += std::to_string(origin) + " line " + std::string(text);
        return Problem::none;
    }
    Problem audioFile(const FileLine& line, std::uint64_t origin, const AudioFile& file,
                      CdFrames start, CdFrames length) override {
        calls += std::to_string(origin) + " file [" + std::string(line.name) + "][" +
                 std::string(line.rest.substr(0, line.rest.size() - 1)) + "] " + file.path + " " +
                 std::to_string(start) + "+" + std::to_string(length) + "\n";
        return Problem::none;
    }
    Problem index(const IndexLine& line, CdFrames position, std::uint64_t origin) override {
        calls += std::to_string(origin) + " index " + std::string(line.number) + " " +
                 std::to_string(position) + "\n";
        return Problem::none;
    }
    Problem pregap(std::string_view head, CdFrames start, std::uint64_t origin) override {
        calls += std::to_string(origin) + " pregap [" + std::string(head) + "] " +
                 std::to_string(start) + "\n";
        return Problem::none;
    }
    Problem indexAsWritten(const IndexLine& line, CdFrames position) override {
        calls += "  as written " + std::string(line.number) + " " + std::to_string(position) + "\n";
        return Problem::none;
    }
    Problem finish() override {
        calls += "finish\n";
        return Problem::none;
    }
};

Outcome walk(const std::string& sheet, AudioSource& audio, WalkSink& sink) {
    CueReader reader(SheetBytes{sheet});
    return walkCue(reader, audio, sink);
}

// Three files: two open with their track's pregap, the third (found under
// another spelling) with an INDEX 01 and has an INDEX 02.
const std::string threeFiles = "REM x\n"s + twoTrackSheet +
                               "FILE \"03.WAV\" WAVE\n"
                               "  TRACK 03 AUDIO\n"
                               "    INDEX 01 00:00:10\n"
                               "    INDEX 02 00:00:20\n";

FakeAudio threeFilesAudio() {
    return FakeAudio({{"01.wav", {"01.wav", {13500, Problem::none}}},
                      {"02.wav", {"02.wav", {2000, Problem::none}}},
                      {"03.WAV", {"03.wav", {1000, Problem::none}}}});
}

TEST(CueWalk, HandsEachLineItsPosition) {
    FakeAudio audio = threeFilesAudio();
    RecordingSink sink;
    ASSERT_TRUE(walk(threeFiles, audio, sink).ok());
    EXPECT_EQ(sink.calls, "0 line REM x\n"
                          "1 file [01.wav][ WAVE] dir/01.wav 0+13500\n"
                          "2 line   TRACK 01 AUDIO\n"
                          "  as written 00 0\n"
                          "3 pregap [    INDEX 00 ] -75\n"
                          "  as written 01 75\n"
                          "4 index 01 0\n"
                          "5 file [02.wav][ WAVE] dir/02.wav 13500+2000\n"
                          "6 line   TRACK 02 AUDIO\n"
                          "  as written 00 13500\n"
                          "7 pregap [    INDEX 00 ] 13350\n"
                          "  as written 01 13650\n"
                          "8 index 01 13500\n"
                          "9 file [03.WAV][ WAVE] dir/03.wav 15500+1000\n"
                          "10 line   TRACK 03 AUDIO\n"
                          "  as written 01 15510\n"
                          "11 index 01 15510\n"
                          "  as written 02 15520\n"
                          "12 index 02 15520\n"
                          "finish\n");
}

TEST(CueWalk, StopsAtTheFirstProblemAndNamesItsFile) {
    const std::string file = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n";
    struct Case {
        std::string sheet;
        Problem problem;
        std::string subject;
    };
    const std::vector<Case> cases = {
        {"FILE \"gone.wav\" WAVE\n", Problem::audioNotFound, "gone.wav"},
        {"FILE \"bad.wav\" WAVE\n", Problem::invalidWav, "dir/bad.wav"},
        {"FILE \"silent.wav\" WAVE\n", Problem::unusableAudio, "dir/silent.wav"},
        {"FILE \"a.wav WAVE\n", Problem::invalidSheet, ""},
        {file + "    INDEX 00 00:00:00\n", Problem::invalidSheet, ""},
        {file + "    INDEX 00 00:00:00\n  TITLE x\n", Problem::invalidSheet, ""},
        {file + "    INDEX 00 00:0x:00\n    INDEX 01 00:00:05\n", Problem::index00Unreadable, ""},
        {file + "    INDEX 00 00:00:00\n    INDEX 01 00:0x:05\n", Problem::indexAfter00Unreadable,
         ""},
        {file + "    INDEX 00 00:00:09\n    INDEX 01 00:00:05\n", Problem::negativePregap, ""},
        {file + "    INDEX 01 00:0x:00\n", Problem::indexUnreadable, ""},
        {file + "    INDEX 00 00:00:00\n    INDEX 01 00:00:50\n    INDEX 02 00:00:10\n",
         Problem::negativePosition, ""},
        // Lengths a header can state but no disc has: the range would overflow.
        {"FILE \"huge.wav\" WAVE\nFILE \"huge.wav\" WAVE\nFILE \"a.wav\" WAVE\n",
         Problem::unusableAudio, "dir/a.wav"},
    };
    for (const Case& c : cases) {
        FakeAudio audio({{"a.wav", {"a.wav", {100, Problem::none}}},
                         {"huge.wav", {"huge.wav", {CdFrames{1} << 52, Problem::none}}},
                         {"bad.wav", {"bad.wav", {0, Problem::invalidWav}}},
                         {"silent.wav", {"silent.wav", {0, Problem::none}}}});
        RecordingSink sink;
        const Outcome outcome = walk(c.sheet, audio, sink);
        EXPECT_EQ(outcome.problem, c.problem) << c.sheet;
        EXPECT_EQ(outcome.subject, c.subject) << c.sheet;
        EXPECT_EQ(sink.calls.find("finish"), std::string::npos) << c.sheet;
    }
}

// The new sheet in the layout of `Writer`, from `sheet` read in memory.
template <class Writer> std::string rewrite(const std::string& sheet, AudioSource& audio) {
    CueReader reader(SheetBytes{sheet});
    LineList list(false, reader.form());
    Writer writer(list);
    EXPECT_TRUE(walkCue(reader, audio, writer).ok());
    return list.text();
}

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

TEST(DiscId, VerdictsFromTheWalk) {
    // a.wav plays 1000 CD frames, b.wav 2000; b.wav opens with a pregap of
    // 150 frames. Moved to the end of a.wav, track 2 starts at 1000: the ID
    // of the starts 150 and 1150 (2 s and 15 s) and the lead-out 3150 (42 s)
    // is 08002802. As the sheet stands, track 2 starts at 1150 (17 s): 0a002802.
    FakeAudio audio(
        {{"a.wav", {"a.wav", {1000, Problem::none}}}, {"b.wav", {"b.wav", {2000, Problem::none}}}});
    const auto check = [&](const std::string& recorded, bool newOnly) {
        const std::string sheet = "REM DISCID " + recorded +
                                  "\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
                                  "    INDEX 01 00:00:00\nFILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n"
                                  "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
        DiscIdCheck discId;
        EXPECT_TRUE(walk(sheet, audio, discId).ok());
        return discId.report(newOnly);
    };
    DiscIdReport report = check("08002802", false);
    EXPECT_EQ(report.verdict, DiscIdVerdict::matchesNew);
    EXPECT_EQ(report.id, 0x08002802u);
    report = check("0A002802", false);
    EXPECT_EQ(report.verdict, DiscIdVerdict::matchesOld);
    EXPECT_EQ(report.id, 0x0a002802u);
    report = check("0A002802", true); // forced: the sheet as it stands is not asked
    EXPECT_EQ(report.verdict, DiscIdVerdict::differs);
    EXPECT_EQ(report.id, 0x08002802u);
    EXPECT_EQ(report.recorded, "0A002802");
    EXPECT_EQ(check("0a00280", false).verdict, DiscIdVerdict::silent); // not 8 digits
}

// A rip whose first file holds the first track's pregap, a hidden track of
// 20 s (1500 frames): a.wav plays it and track 1, 3000 frames (40 s); b.wav
// opens with track 2's 2 s pregap, 1500 frames. The disc: track 1 at 1500
// (22 s with the 150 frames of lead-in), track 2 at 3000 (42 s), lead-out at
// 4500 (62 s): digits 4 + 6 = 0x0a, 40 s, 2 tracks: 0a002802.
// Read today (a PREGAP line of 20 s, silence the rip lacks): track 2 at 62 s,
// lead-out 82 s: 4 + 8 = 0x0c, 60 s: 0c003c02. As it stands: track 2 at 3150
// (44 s), lead-out 62 s: 4 + 8, 40 s: 0c002802.
// The same disc without its hidden track ripped (a.wav 1500 frames) gives
// 0a002802 read today: track 2 at 1500 + 1500 + 150 (42 s), lead-out 62 s.
std::string hiddenTrackSheet(const std::string& recorded) {
    return "REM DISCID " + recorded +
           "\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
           "    INDEX 01 00:20:00\nFILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n"
           "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
}

// FakeAudio that counts how often it is asked.
class CountingAudio : public FakeAudio {
  public:
    using FakeAudio::FakeAudio;
    int finds = 0;
    int measures = 0;
    bool find(std::string_view name, AudioFile& found) override {
        ++finds;
        return FakeAudio::find(name, found);
    }
    AudioLength measure(const AudioFile& file) override {
        ++measures;
        return FakeAudio::measure(file);
    }
};

struct Rewritten {
    std::string text;
    DiscIdReport report;
    int readings = 1; // the walks: a second one reads the sheet again
    int measures = 0;
};

Rewritten rewriteChecked(const std::string& sheet, CdFrames firstLength, bool perFile, bool force) {
    CountingAudio audio({{"a.wav", {"a.wav", {firstLength, Problem::none}}},
                         {"b.wav", {"b.wav", {1500, Problem::none}}}});
    CueReader reader(SheetBytes{sheet});
    LineList list(false, reader.form());
    Rewritten result;
    const auto readAgain = [&] {
        ++result.readings;
        return std::make_unique<CueReader>(SheetBytes{sheet});
    };
    EXPECT_TRUE(rewriteWithDiscId(reader, readAgain, audio, list, RewriteOptions{perFile, force},
                                  result.report)
                    .ok());
    EXPECT_EQ(audio.finds, 2);
    result.measures = audio.measures;
    result.text = list.text();
    return result;
}

const std::string todaysRange = "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n"
                                "    PREGAP 00:20:00\n    INDEX 01 00:00:00\n"
                                "  TRACK 02 AUDIO\n    INDEX 00 00:38:00\n    INDEX 01 00:40:00\n";

TEST(DiscId, TheHiddenTrackReadingWins) {
    const Rewritten r = rewriteChecked(hiddenTrackSheet("0A002802"), 3000, false, false);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::matchesFirstPregap);
    EXPECT_EQ(r.report.id, 0x0a002802u);
    EXPECT_EQ(r.readings, 2);
    EXPECT_EQ(r.measures, 2); // the second reading measures nothing again
    EXPECT_EQ(r.text, "REM DISCID 0A002802\nFILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n"
                      "    INDEX 00 00:00:00\n    INDEX 01 00:20:00\n"
                      "  TRACK 02 AUDIO\n    INDEX 00 00:38:00\n    INDEX 01 00:40:00\n");
    EXPECT_EQ(captureStdout([&] { printDiscId(r.report); }),
              "Disc ID 0a002802 matches the sheet with the first track's pregap in its file.\n");
}

TEST(DiscId, TheHiddenTrackReadingWinsPerFile) {
    const Rewritten r = rewriteChecked(hiddenTrackSheet("0a002802"), 3000, true, false);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::matchesFirstPregap);
    EXPECT_EQ(r.report.id, 0x0a002802u);
    EXPECT_EQ(r.text, "REM DISCID 0a002802\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
                      "    INDEX 00 00:00:00\n    INDEX 01 00:20:00\n"
                      "  TRACK 02 AUDIO\n    INDEX 00 00:38:00\nFILE \"b.wav\" WAVE\n"
                      "    INDEX 01 00:00:00\n");
    // Without the hidden track the same disc keeps today's per-file sheet.
    const Rewritten without = rewriteChecked(hiddenTrackSheet("0a002802"), 1500, true, false);
    EXPECT_EQ(without.report.verdict, DiscIdVerdict::matchesNew);
    EXPECT_EQ(without.readings, 1);
    EXPECT_EQ(without.text, "REM DISCID 0a002802\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
                            "    PREGAP 00:20:00\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 00 00:18:00\nFILE \"b.wav\" WAVE\n"
                            "    INDEX 01 00:00:00\n");
}

TEST(DiscId, TheSameDiscWithoutTheHiddenTrackKeepsItsPregapLine) {
    const Rewritten r = rewriteChecked(hiddenTrackSheet("0A002802"), 1500, false, false);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::matchesNew);
    EXPECT_EQ(r.report.id, 0x0a002802u);
    EXPECT_EQ(r.readings, 1);
    EXPECT_EQ(r.text, "REM DISCID 0A002802\nFILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n"
                      "    PREGAP 00:20:00\n    INDEX 01 00:00:00\n"
                      "  TRACK 02 AUDIO\n    INDEX 00 00:18:00\n    INDEX 01 00:20:00\n");
}

TEST(DiscId, NeitherReadingMatches) {
    const Rewritten r = rewriteChecked(hiddenTrackSheet("0B002802"), 3000, false, false);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::differs);
    EXPECT_EQ(r.report.id, 0x0c003c02u);
    EXPECT_EQ(r.report.recorded, "0B002802");
    EXPECT_EQ(r.readings, 2);
    EXPECT_EQ(r.text, "REM DISCID 0B002802\n" + todaysRange);
    // The sheet as it stands matching leaves it alone: no second reading.
    const Rewritten old = rewriteChecked(hiddenTrackSheet("0c002802"), 3000, false, false);
    EXPECT_EQ(old.report.verdict, DiscIdVerdict::matchesOld);
    EXPECT_EQ(old.readings, 1);
}

TEST(DiscId, ForcedTheHiddenTrackIsNotTried) {
    const Rewritten r = rewriteChecked(hiddenTrackSheet("0A002802"), 3000, false, true);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::differs);
    EXPECT_EQ(r.report.id, 0x0c003c02u);
    EXPECT_EQ(r.readings, 1);
    EXPECT_EQ(r.text, "REM DISCID 0A002802\n" + todaysRange);
}

TEST(DiscId, OnlyAFirstFileThatOpensWithIndex00IsReadAgain) {
    // The first file opens with INDEX 01; the second file's pregap is the
    // only one. Neither reading matches 0B002802: no second reading either.
    const std::string sheet = "REM DISCID 0B002802\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
                              "    INDEX 01 00:20:00\nFILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n"
                              "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    const Rewritten r = rewriteChecked(sheet, 3000, false, false);
    EXPECT_EQ(r.report.verdict, DiscIdVerdict::differs);
    EXPECT_EQ(r.readings, 1);
}

} // namespace
