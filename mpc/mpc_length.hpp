// Measures an MPC file: the one thing the rest of the tool asks of this
// folder. Stream version 8 is read as its packet container, versions 4 to 7
// by walking every frame.
#pragma once

#include <cstdio>

#include "base/outcome.hpp"

namespace vorlin {

class ByteStream;

// Measures the MPC file opened as `file`, which it closes; nullptr stands
// for a file that could not be opened (audioOpenFailed). A header or
// container it cannot read is unrecognizedFormat; a stream whose frames fail
// their checks, or for which no memory could be had, is unusableAudio.
AudioLength mpcLengthFrames(std::FILE* file);

// The same for a stream already open (tests and fuzzing feed bytes in
// memory this way).
AudioLength measureMpcStream(ByteStream& stream);

} // namespace vorlin
