// Lengths of the formats measured from the counts their headers record, from
// files their encoders wrote (tests/data/formats, see make_fixtures.sh there).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/length.hpp"
#include "tests/measure_cases.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

std::string fixture(const std::string& name) {
    return readFile(std::string(VORLIN_SOURCE_DIR) + "/tests/data/formats/" + name);
}

// The encoded fixtures hold 18141 sample frames (30.85 CD frames), the APE
// and TTA ones 3652 (6.21).
constexpr CdFrames toneFrames = 30;
constexpr CdFrames shortFrames = 6;

// plain.flac with the sample rate of its STREAMINFO block (20 bits from byte
// 18) replaced.
std::string flacWithRate(unsigned rate) {
    std::string flac = fixture("plain.flac");
    flac[18] = static_cast<char>(rate >> 12);
    flac[19] = static_cast<char>(rate >> 4);
    flac[20] = static_cast<char>((rate & 0xF) << 4 | (flac[20] & 0xF));
    return flac;
}

// plain.flac stating 0 (unknown) total samples (36 bits from byte 21).
std::string flacWithoutCount() {
    std::string flac = fixture("plain.flac");
    flac[21] = static_cast<char>(flac[21] & 0xF0);
    for (int i = 22; i < 26; ++i) flac[i] = 0;
    return flac;
}

} // namespace

TEST(TaglibFormats, MeasureTheSampleFramesTheirHeadersRecord) {
    expectMeasures({
        {"plain.flac", fixture("plain.flac"), toneFrames, ""},
        {"id3.flac", fixture("id3.flac"), toneFrames, ""},
        {"picture.flac", fixture("picture.flac"), toneFrames, ""},
        {"lossless.wv", fixture("lossless.wv"), toneFrames, ""},
        {"hybrid.wv", fixture("hybrid.wv"), toneFrames, ""},
        {"tone.aiff", fixture("tone.aiff"), toneFrames, ""},
        {"tone.aif", fixture("tone.aiff"), toneFrames, ""},
        {"tone.aifc", fixture("encoders/aiff-c.aiff"), 3, ""},
        {"tone.AIFC", fixture("tone.aiff"), toneFrames, ""},
        {"test.ape", fixture("test.ape"), shortFrames, ""},
        {"test.tta", fixture("test.tta"), shortFrames, ""},
        {"UPPER.FLAC", fixture("plain.flac"), toneFrames, ""},
        {"Upper.Aif", fixture("tone.aiff"), toneFrames, ""},
        // No total: counted from the last whole frame (tests/flac_test.cpp).
        {"nocount.flac", flacWithoutCount(), toneFrames, ""},
        // The declared rate plays no part in the conversion.
        {"rate8000.flac", flacWithRate(8000), toneFrames, ""},
    });
}

TEST(TaglibFormats, UnusableFilesAreUnrecognized) {
    const std::string unrecognized = ": unrecognized format\n";
    expectMeasures({
        {"empty.flac", "", 0, "'empty.flac'" + unrecognized},
        {"cut.flac", fixture("plain.flac").substr(0, 30), 0, "'cut.flac'" + unrecognized},
        {"rate7999.flac", flacWithRate(7999), 0, "'rate7999.flac'" + unrecognized},
        // No total and no whole frame: nothing to count.
        {"nocount.flac",
         flacWithoutCount().substr(0, 4) + "\x80" + flacWithoutCount().substr(5, 37), 0,
         "'nocount.flac'" + unrecognized},
        // The extension decides the format, not the content.
        {"ape.tta", fixture("test.ape"), 0, "'ape.tta'" + unrecognized},
        {"flac.wv", fixture("plain.flac"), 0, "'flac.wv'" + unrecognized},
    });
}

TEST(TaglibFormats, OpensOnlyRegularFiles) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    ::mkdir("d.flac", 0755);
    ASSERT_EQ(::symlink("/dev/zero", "z.ape"), 0);
    for (const char* name : {"gone.wv", "d.flac", "z.ape"}) {
        CdFrames frames = -1;
        EXPECT_EQ(measureMessage(name, frames), "'" + std::string(name) + "': file open failed\n");
        EXPECT_EQ(frames, 0);
    }
}

TEST(TaglibFormats, AlbumOfFlacTracksIsFixedThroughTheTool) {
    TempDir dir;
    const std::string sheet = "FILE \"01.flac\" WAVE\n"
                              "  TRACK 01 AUDIO\n"
                              "    INDEX 01 00:00:00\n"
                              "FILE \"02.flac\" WAVE\n"
                              "  TRACK 02 AUDIO\n"
                              "    INDEX 00 00:00:00\n"
                              "    INDEX 01 00:00:10\n";
    writeFile(dir.file("a.cue"), sheet);
    writeFile(dir.file("01.flac"), fixture("picture.flac"));

    // A missing track is reported under the name the sheet gives it.
    RunResult run = runVorlin({"a.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'a.cue'...\n'02.flac': audio file not found\n"
                          "Fixing failed, error with audio files.\n");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(readFile(dir.file("a.cue")), sheet);

    writeFile(dir.file("02.flac"), fixture("id3.flac"));
    run = runVorlin({"a.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'a.cue'...\ndone.\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(dir.file("a.cue")), "FILE \"Range.wav\" WAVE\n"
                                           "  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n"
                                           "    INDEX 00 00:00:20\n"
                                           "    INDEX 01 00:00:30\n");
}

// A file of a format the tool does not read is named as such; a FIFO, a
// folder or a dangling link of that name is not found (and never waited on).
TEST(TaglibFormats, FormatsNotReadAreNamed) {
    VORLIN_SKIP_ON_WINDOWS("FIFOs");
    TempDir dir;
    const std::string sheet = "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "FILE \"02.ogg\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
                              "    INDEX 01 00:00:10\n";
    writeFile(dir.file("a.cue"), sheet);
    writeFile(dir.file("01.flac"), fixture("plain.flac"));
    writeFile(dir.file("02.ogg"), "OggS");
    RunResult run = runVorlin({"a.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'a.cue'...\n'02.ogg': audio format not supported\n"
                          "Fixing failed, error with audio files.\n");
    EXPECT_EQ(run.exitStatus, 1);
    const std::string notFound = "Fixing cue 'a.cue'...\n'02.ogg': audio file not found\n"
                                 "Fixing failed, error with audio files.\n";
    ::unlink(dir.file("02.ogg").c_str());
    ASSERT_EQ(::mkfifo(dir.file("02.ogg").c_str(), 0644), 0);
    EXPECT_EQ(runVorlin({"a.cue"}, dir.path()).output, notFound);
    ::unlink(dir.file("02.ogg").c_str());
    ASSERT_EQ(::mkdir(dir.file("02.ogg").c_str(), 0755), 0);
    EXPECT_EQ(runVorlin({"a.cue"}, dir.path()).output, notFound);
    ::rmdir(dir.file("02.ogg").c_str());
    ASSERT_EQ(::symlink("gone", dir.file("02.ogg").c_str()), 0);
    EXPECT_EQ(runVorlin({"a.cue"}, dir.path()).output, notFound);
    EXPECT_EQ(readFile(dir.file("a.cue")), sheet);
}

// The tool reads every one of these formats itself, with no library loaded.
TEST(TaglibFormats, AlbumOfEveryTaglibFormatIsFixedThroughTheTool) {
    TempDir dir;
    std::string sheet = "FILE \"01.wv\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const char* names[] = {"02.aiff", "03.ape", "04.tta"};
    for (int i = 0; i < 3; ++i)
        sheet += "FILE \"" + std::string(names[i]) + "\" WAVE\n  TRACK 0" + std::to_string(i + 2) +
                 " AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:02\n";
    writeFile(dir.file("a.cue"), sheet);
    writeFile(dir.file("01.wv"), fixture("lossless.wv"));
    writeFile(dir.file("02.aiff"), fixture("tone.aiff"));
    writeFile(dir.file("03.ape"), fixture("test.ape"));
    writeFile(dir.file("04.tta"), fixture("test.tta"));

    const RunResult run = runVorlin({"a.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'a.cue'...\ndone.\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(dir.file("a.cue")), "FILE \"Range.wav\" WAVE\n"
                                           "  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n"
                                           "    INDEX 00 00:00:28\n"
                                           "    INDEX 01 00:00:30\n"
                                           "  TRACK 03 AUDIO\n"
                                           "    INDEX 00 00:00:58\n"
                                           "    INDEX 01 00:00:60\n"
                                           "  TRACK 04 AUDIO\n"
                                           "    INDEX 00 00:00:64\n"
                                           "    INDEX 01 00:00:66\n");
}
