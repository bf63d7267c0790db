// Audio length probing: how long an audio file plays, in CD frames.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/cd_frames.hpp"

namespace vorlin {

// Chooses the measurer by the path's extension (".wav", ".mpc", ".mp+", and
// those of headerFormatOf, any letter case). Returns the length, or 0 when
// the file cannot be measured.
CdFrames audioLengthFrames(const std::string& path);

// Measures a RIFF/WAVE file of integer PCM from its header alone.
CdFrames wavLengthFrames(const std::string& path);

// Opens an existing regular file for binary reading. Anything else
// (directory, FIFO, device, missing file) gives nullptr; a FIFO is never
// blocked on.
std::FILE* openRegularFile(const std::string& path);

// The same as a read-only file descriptor, or -1; `size`, when given, is
// set to the file's size.
int openRegularDescriptor(const std::string& path, std::int64_t* size = nullptr);

} // namespace vorlin
