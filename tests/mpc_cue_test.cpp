// Cue sheets over MPC files (both extensions, stream versions 4 to 8) and a
// WAV file, fixed by the built tool end to end.
#include <gtest/gtest.h>

#include <cstdio>

#include "mpc_writer.hpp"
#include "test_support.hpp"

namespace vorlin::test {
namespace {

std::string cueTime(std::int64_t x) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(x / 75 / 60), unsigned(x / 75 % 60),
                  unsigned(x % 75));
    return text;
}

struct Track {
    const char* fileLine; // as the cue names the file
    std::int64_t gap;     // INDEX 01 time, INDEX 00 being 00:00:00
};

std::string inputCue(const Track (&tracks)[4]) {
    std::string cue = "REM GENRE Test\n";
    for (int i = 0; i < 4; ++i) {
        cue += std::string("FILE \"") + tracks[i].fileLine + "\" WAVE\n";
        cue += "  TRACK 0" + std::to_string(i + 1) + " AUDIO\n";
        cue += "    INDEX 00 00:00:00\n    INDEX 01 " + cueTime(tracks[i].gap) + "\n";
    }
    return cue;
}

// The sheet fixed: one range, each track's INDEX 00 (or PREGAP) and INDEX 01
// at their absolute times.
std::string fixedCue(const Track (&tracks)[4], const std::int64_t (&lengths)[4]) {
    std::string cue = "REM GENRE Test\nFILE \"Range.wav\" WAVE\n";
    std::int64_t offset = 0;
    for (int i = 0; i < 4; ++i) {
        cue += "  TRACK 0" + std::to_string(i + 1) + " AUDIO\n";
        std::int64_t start = offset - tracks[i].gap;
        cue += start < 0 ? "    PREGAP " + cueTime(-start) + "\n"
                         : "    INDEX 00 " + cueTime(start) + "\n";
        cue += "    INDEX 01 " + cueTime(offset) + "\n";
        offset += lengths[i];
    }
    return cue;
}

TEST(MpcCue, FixesASheetOverMpcAndWavFiles) {
    TempDir dir;
    std::mt19937 rng(2024);
    StreamLayout first = randomStream(rng, 7, 120);
    StreamLayout second = randomStream(rng, 6, 90);
    StreamLayout fourth = randomStream(rng, 4, 100);
    fourth.id3Size = 300;
    writeFile(dir.file("01.mpc"), writeStream(first).bytes);
    writeFile(dir.file("02.mp+"), writeStream(second).bytes);
    writeFile(dir.file("03.wav"), wavOfCdFrames(500));
    writeFile(dir.file("04.mpc"), writeStream(fourth).bytes);
    const std::int64_t lengths[] = {expectedCdFrames(first), expectedCdFrames(second), 500,
                                    expectedCdFrames(fourth)};
    const Track tracks[4] = {
        {"01.mpc", 32}, {"02.flac", 65}, {"03.wav", 10}, {"some/dir/04.ape", 75}};
    std::string cue = inputCue(tracks);
    writeFile(dir.file("album.cue"), cue);

    RunResult run = runVorlin({"album.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'album.cue'...\ndone.\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(dir.file("album.cue")), fixedCue(tracks, lengths));

    // One damaged frame in the second file fails the whole sheet, which stays as it was.
    second.lengthError = {{40, -1}};
    writeFile(dir.file("02.mp+"), writeStream(second).bytes);
    writeFile(dir.file("album.cue"), cue);
    run = runVorlin({"album.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'album.cue'...\nFixing failed, error with audio files.\n");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(readFile(dir.file("album.cue")), cue);
    EXPECT_EQ(listDir(dir.path()).size(), 5u);
}

TEST(MpcCue, FixesASheetOverSv8Files) {
    TempDir dir;
    const std::string fixtures = VORLIN_FIXTURES_DIR;
    const std::string tag = std::string("ID3\3\0\0\0\0\0\x10", 10) + std::string(16, '\0');
    writeFile(dir.file("01.mpc"), tag + readFile(fixtures + "/test-sv8.mpc"));
    writeFile(dir.file("02.mp+"), readFile(fixtures + "/sv8_header.mpc"));
    writeFile(dir.file("03.wav"), wavOfCdFrames(500));
    writeFile(dir.file("04.mpc"), readFile(fixtures + "/test-sv8.mpc"));
    const std::int64_t lengths[] = {6, 112, 500, 6};
    const Track tracks[4] = {{"01.flac", 32}, {"02.mpc", 5}, {"03.wav", 10}, {"04.wv", 75}};
    writeFile(dir.file("album.cue"), inputCue(tracks));

    const RunResult run = runVorlin({"album.cue"}, dir.path());
    EXPECT_EQ(run.output, "Fixing cue 'album.cue'...\ndone.\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(dir.file("album.cue")), fixedCue(tracks, lengths));
}

} // namespace
} // namespace vorlin::test
