// Cue sheets shared by several test files.
#pragma once

#include <cstdint>

#include "tests/test_support.hpp"

namespace vorlin::test {

// Two tracks in two files, each file starting with its track's pregap.
// 01.wav plays 3:00:00 (13500 CD frames); the length of 02.wav plays no part.
inline constexpr std::int64_t twoTrackFirstLength = 13500;
inline constexpr const char* twoTrackSheet = "FILE \"01.wav\" WAVE\n"
                                             "  TRACK 01 AUDIO\n"
                                             "    INDEX 00 00:00:00\n"
                                             "    INDEX 01 00:01:00\n"
                                             "FILE \"02.wav\" WAVE\n"
                                             "  TRACK 02 AUDIO\n"
                                             "    INDEX 00 00:00:00\n"
                                             "    INDEX 01 00:02:00\n";
// Track 1's pregap starts before the range, so it becomes a PREGAP line;
// track 2's pregap moves to the end of 01.wav.
inline constexpr const char* twoTrackFixed = "FILE \"Range.wav\" WAVE\n"
                                             "  TRACK 01 AUDIO\n"
                                             "    PREGAP 00:01:00\n"
                                             "    INDEX 01 00:00:00\n"
                                             "  TRACK 02 AUDIO\n"
                                             "    INDEX 00 02:58:00\n"
                                             "    INDEX 01 03:00:00\n";

// One file, one track: only one audio file, no fixing needed.
inline constexpr const char* singleFileSheet = "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n"
                                               "    INDEX 01 00:00:00\n";
// Needs fixing, but its rewriting fails (result 1): INDEX 01 lies before INDEX 00.
inline constexpr const char* failingSheet = "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n"
                                            "    INDEX 00 00:00:09\n    INDEX 01 00:00:05\n"
                                            "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n"
                                            "    INDEX 01 00:00:00\n";

// A directory with the audio files that the two-track sheets above name
// (02.wav plays 2:00:00).
struct Album {
    TempDir dir;
    Album() {
        writeFile(dir.file("01.wav"), wavOfCdFrames(twoTrackFirstLength));
        writeFile(dir.file("02.wav"), wavOfCdFrames(9000));
    }
};

} // namespace vorlin::test
