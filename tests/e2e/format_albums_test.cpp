// Albums of the formats measured from the counts their headers record, fixed
// by the built tool, from files their encoders wrote (tests/data/formats, see
// make_fixtures.sh there).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

std::string fixture(const std::string& name) {
    return readFile(std::string(VORLIN_SOURCE_DIR) + "/tests/data/formats/" + name);
}

} // namespace

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
