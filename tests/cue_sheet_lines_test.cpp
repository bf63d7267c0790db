// The reading of a sheet's lines that classification, the walk and the disc
// ID check share, and where those passes read the same line differently.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cue/classify.hpp"
#include "cue/cue_reader.hpp"
#include "cue/sheet_lines.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

// The kind and every keyword position a line has, in one string.
std::string describe(const SheetLine& line) {
    static const char* const kinds[] = {"audioFile", "otherFile", "index",  "track",
                                        "pregap",    "postgap",   "discId", "other"};
    std::string out = kinds[static_cast<int>(line.kind)];
    const auto at = [&](const char* name, std::size_t position) {
        if (position != SheetLine::none)
            out += " " + std::string(name) + "@" + std::to_string(position);
    };
    at("track", line.track);
    at("index", line.index);
    at("pregap", line.pregap);
    at("postgap", line.postgap);
    if (line.holdsIndex()) {
        out += " [" + std::string(line.number) + "|" + std::string(line.head) + "|" +
               std::string(line.time) + "]";
        if (line.index00Spaced()) out += " 00+blank";
    }
    if (!line.discId.empty()) out += " id=" + std::string(line.discId);
    return out;
}

} // namespace

TEST(SheetLine, KeywordsAreFoundAnywhereAndEachIsKept) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  TRACK 01 AUDIO    INDEX 00 00:00:00\n",
         "index track@2 index@20 [00|  TRACK 01 AUDIO    INDEX 00 |00:00:00\n] 00+blank"},
        // A title holding the keyword is an INDEX line all the same.
        {"    TITLE \"INDEX 01 x\"\n", "index index@11 [01|    TITLE \"INDEX 01 |x\"\n]"},
        // The number is the first INDEX's; "INDEX 00 " is looked for anywhere.
        {"INDEX 01 00:00:00 INDEX 00 \n",
         "index index@0 [01|INDEX 01 |00:00:00 INDEX 00 \n] 00+blank"},
        {"    INDEX 00\t00:00:00\n", "index index@4 [00|    INDEX 00\t|00:00:00\n]"},
        // Cut short where the piece ends.
        {"    INDEX 0", "index index@4 [0|    INDEX 0|]"},
        {"    INDEX 01 ", "index index@4 [01|    INDEX 01 |]"},
        // Gaps are read from lines without TRACK or INDEX, a PREGAP first.
        {"  TRACK 02 AUDIO PREGAP 00:02:00\n", "track track@2"},
        {"  POSTGAP 00:01:00 PREGAP 00:02:00\n", "pregap pregap@19"},
        {"  POSTGAP 00:01:00\n", "postgap postgap@2"},
        // A FILE line is one by its start and end, whatever it holds.
        {"FILE \"TRACK 02 INDEX 01.wav\" WAVE \t\n",
         "audioFile track@6 index@15 [01|FILE \"TRACK 02 INDEX 01.|wav\" WAVE \t\n]"},
        {"FILE \"PREGAP 00:02:00.bin\" BINARY\n", "otherFile pregap@6"},
        {"FILE \"a.wav\" WAVE", "otherFile"}, // no line end: a piece of a longer line
        {"FILE \"a.wav\" WAVE x\n", "otherFile"},
        {" FILE \"a.wav\" WAVE\n", "other"},
        {"REM DISCID 0f01BE02\n", "discId id=0f01BE02"},
        {"REM DISCID 0F01BE02", "discId id=0F01BE02"},
        {"REM DISCID 0F01BE0\n", "other"},
        {"REM DISCID 0F01BE02 \n", "other"},
        {" REM DISCID 0F01BE02\n", "other"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(describe(readSheetLine(text)), expected) << text;
}

TEST(SheetLines, PiecesOfALongLineAreReadEachOnTheirOwn) {
    // The first line's piece ends inside "INDEX ", which neither piece then
    // holds; the second line's second piece begins with an audio FILE line.
    const std::string split = std::string(maxPieceBytes - 3, ' ') + "INDEX 01 00:00:00\n";
    const std::string joined =
        "REM " + std::string(maxPieceBytes - 4, 'x') + "FILE \"b.wav\" WAVE\n";
    const std::string sheet = split + joined + "    INDEX 01 00:00:00";
    CueReader reader(SheetBytes{sheet});
    SheetLines lines(reader);
    std::vector<std::string> read;
    for (SheetLine line; lines.next(line);)
        read.push_back(std::to_string(line.text.size()) + " " +
                       describe(line).substr(0, describe(line).find(' ')));
    EXPECT_EQ(read, (std::vector<std::string>{"4095 other", "15 other", "4095 other",
                                              "18 audioFile", "21 index"}));
}

TEST(SheetLines, ClassificationReadsTrackBeforeIndex) {
    // Every opening INDEX 00 shares its line with its TRACK: classification
    // sees no gap, where the rewrite would move them (with --force).
    const std::string sheet = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO  INDEX 00 00:00:00\n"
                              "    INDEX 01 00:00:10\n";
    Classified classified = classifyCue("a.cue", SheetBytes{sheet});
    EXPECT_EQ(classified.verdict, Verdict::noFixNeeded);
    EXPECT_EQ(classified.why.problem, Problem::noGaps);

    // A FILE line of another type counts by the keywords it holds: here its
    // "INDEX 00 " is the only one, the opening gap being "INDEX 00\t".
    const std::string data = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                             "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00\t00:00:00\n"
                             "    INDEX 01 00:00:10\nFILE \"INDEX 00 .bin\" BINARY\n";
    classified = classifyCue("a.cue", SheetBytes{data});
    EXPECT_EQ(classified.verdict, Verdict::needsFixing);
}

TEST(SheetLines, DiscIdReadsTheKeywordsOfOtherFileLines) {
    // A data FILE line holding "TRACK " starts a track (without an INDEX 01:
    // no verdict); one holding "POSTGAP " moves the lead-out by its time.
    const Audio audio = {{"01.wav", wavOfCdFrames(twoTrackFirstLength)},
                         {"02.wav", wavOfCdFrames(20000)}};
    // The disc ID message of the sheet with `extra` after it, or "".
    const auto discId = [&](const std::string& extra) {
        const std::string output =
            fixSheet("REM DISCID 0F01BE02\n" + std::string(twoTrackSheet) + extra, audio, {})
                .output;
        const std::size_t at = output.find("Disc ID");
        return at == std::string::npos ? "" : output.substr(at, output.find('\n', at) - at);
    };
    EXPECT_EQ(discId(""), "Disc ID 0f01be02 matches the sheet.");
    EXPECT_EQ(discId("FILE \"TRACK 03.bin\" BINARY\n"), "");
    EXPECT_EQ(discId("FILE \"POSTGAP 00:02:00.bin\" BINARY\n").substr(0, 24),
              "Disc ID 0f01c002 differs");
}
