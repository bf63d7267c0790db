// Cue times: mm:ss:ff, minutes, seconds and CD frames (75 a second).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/length.hpp"

namespace vorlin {

// Reads mm:ss:ff exactly as sscanf("%2u:%2u:%2u") would and returns
// (mm * 60 + ss) * 75 + ff, or -1 when fewer than three fields convert.
std::int64_t parseCueTime(std::string_view text);

// "mm:ss:ff\n" for a non-negative position; minutes take as many digits as
// they need, at least two.
std::string formatCueTime(CdFrames position);

} // namespace vorlin
