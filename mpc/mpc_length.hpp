// Measures an MPC file: the one thing the rest of the tool asks of this
// folder. Stream version 8 is read as its packet container, versions 4 to 7
// by walking every frame. Every message about an MPC file is printed here.
#pragma once

#include <cstdio>
#include <string>

#include "base/cd_frames.hpp"

namespace vorlin {

class ByteStream;

// Measures the MPC file opened as `file`, which it closes; nullptr stands
// for a file that could not be opened. `path` names it in messages. Returns
// the length, or 0 after printing "'<path>': file open failed" (no file) or
// "'<path>': unrecognized format" (a header or container it cannot read);
// a stream whose frames fail their checks measures 0 without a message.
CdFrames mpcLengthFrames(std::FILE* file, const std::string& path);

// The same for a stream already open (tests and fuzzing feed bytes in
// memory this way).
CdFrames measureMpcStream(ByteStream& stream, const std::string& path);

} // namespace vorlin
