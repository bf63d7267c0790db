// Cue times: three fields read, minutes written in full.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cue/cue_time.hpp"

using namespace vorlin;

TEST(CueTime, ParsesThreeFieldsOfAtMostTwoCharacters) {
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {"00:01:00", 75},
        {"99:59:74", 449999},
        {"1:2:3x", 4653},
        {" 1: 2:\t3", 4653},               // blanks before each number are skipped
        {"+1:02:03", 4653},                // the sign counts toward the width
        {"00:00:99", 99},                  // no range check on frames
        {"-1:00:00", 4294967295LL * 4500}, // wraps as an unsigned field
        {"100:00:00", -1},
        {"-12:00:00", -1},
        {"1 :2:3", -1},
        {"12:34", -1},
        {"", -1},
    };
    for (const auto& [text, frames] : cases) EXPECT_EQ(parseCueTime(text), frames) << text;
}

TEST(CueTime, FormatsMinutesInFull) {
    EXPECT_EQ(formatCueTime(0), "00:00:00\n");
    EXPECT_EQ(formatCueTime(4653), "01:02:03\n");
    EXPECT_EQ(formatCueTime(449999), "99:59:74\n");
    EXPECT_EQ(formatCueTime(450000), "100:00:00\n");
    EXPECT_EQ(formatCueTime(4294967295LL * 4500 + 74), "4294967295:00:74\n");
}
