// The walk, run on sheets in memory with audio files that exist only as
// lengths.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cue/cue_walk.hpp"
#include "tests/cue_samples.hpp"
#include "tests/fake_audio.hpp"
#include "tests/test_support.hpp"

using namespace std::string_literals;
using namespace vorlin;
using namespace vorlin::test;

namespace {

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

} // namespace
