// One disc of three tracks, ripped twice, shared by the tests of the disc ID,
// the layouts, the classification and the whole run.
#pragma once

#include <string>

#include "tests/test_support.hpp"

namespace vorlin::test {

// One disc of three tracks, ripped twice. On the disc (frames after the
// lead-in) track 2's pregap runs from 13500 for 150 frames and track 3's from
// 31650 for 225; the audio ends at 45000. Its ID: tracks at 2, 184 and 427 s
// (digit sums 2 + 13 + 13 = 0x1C), the lead-out at 602 s, 600 = 0x258 after
// the first, 3 tracks.
inline const std::string discId = "REM DISCID 1C025803\n";
inline const std::string tracks = "FILE \"01.wav\" WAVE\n"
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
inline const Audio prepended = {{"01.wav", wavOfCdFrames(13500)},
                                {"02.wav", wavOfCdFrames(18150)},
                                {"03.wav", wavOfCdFrames(13350)}};
// Each pregap at the end of the previous file: the sheet needs the rewrite.
inline const Audio appended = {{"01.wav", wavOfCdFrames(13650)},
                               {"02.wav", wavOfCdFrames(18225)},
                               {"03.wav", wavOfCdFrames(13125)}};
inline const std::string tracksFixed = "FILE \"Range.wav\" WAVE\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    INDEX 00 03:00:00\n"
                                       "    INDEX 01 03:02:00\n"
                                       "  TRACK 03 AUDIO\n"
                                       "    INDEX 00 07:02:00\n"
                                       "    INDEX 01 07:05:00\n";

inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

inline const std::string fixing = "Fixing cue 'a.cue'...\n";
inline const std::string leftAlone =
    "Disc ID 1c025803 matches the sheet as it stands, no fixing needed.\n";

} // namespace vorlin::test
