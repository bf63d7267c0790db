// CD frames, the unit every length is given in: 75 a second. Shared by the
// sheet code and every measurer, it includes nothing of the project.
#pragma once

#include <cstdint>

namespace vorlin {

// A count of CD frames, 75 per second.
using CdFrames = std::int64_t;

// Lengths are always converted from samples at 44100 samples per second,
// whatever rate the file declares: samples * 75 / 44100, truncated, computed
// in two parts so that no count a header can state overflows.
inline CdFrames samplesToCdFrames(std::int64_t samples) {
    return samples / 44100 * 75 + samples % 44100 * 75 / 44100;
}

} // namespace vorlin
