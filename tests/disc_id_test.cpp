// The disc ID: computed from a real album, checked after the walk and after
// the rewrite, a rip it shows right as it stands, and the hidden first
// track's second reading.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cue/cue_walk.hpp"
#include "cue/disc_id.hpp"
#include "cue/new_sheet.hpp"
#include "tests/cue_samples.hpp"
#include "tests/fake_audio.hpp"
#include "tests/test_support.hpp"
#include "tests/three_track_disc.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

Outcome walk(const std::string& sheet, AudioSource& audio, WalkSink& sink) {
    CueReader reader(SheetBytes{sheet});
    return walkCue(reader, audio, sink);
}

const FixOptions range{}, rangeForced{true, false, false}, dryRun{false, true, false};
const FixOptions perFile{false, false, true};

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
    NewSheet list(false, reader.form());
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
