// Audio length probing: how long an audio file plays, in CD frames.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/outcome.hpp"

namespace vorlin {

// Chooses the measurer by the path's extension, the part from its last '.'
// (one of the format table's, audio/formats.hpp, any letter case). Returns
// the length, or why the file cannot be measured: audioOpenFailed (missing
// or not a regular file), invalidWav, unrecognizedFormat, or unusableAudio
// (read, but of no usable length; also for an extension measured by no one).
AudioLength audioLengthFrames(const std::string& path);

// Measures a RIFF/WAVE file of integer PCM from its header alone.
AudioLength wavLengthFrames(const std::string& path);

// Declared rates below this are header misreads (an old Monkey's Audio
// header read at the wrong offset gives 24 Hz), not audio: the measurers of
// formats that declare a rate refuse them.
constexpr std::uint32_t minimumSampleRate = 8000;

// `frames` as a measurer's result: unusableAudio when not positive.
inline AudioLength measuredLength(CdFrames frames) {
    if (frames <= 0) return {0, Problem::unusableAudio};
    return {frames, Problem::none};
}

// Opens an existing regular file for binary reading. Anything else
// (directory, FIFO, device, missing file) gives nullptr. The open never
// blocks (a FIFO), never makes a terminal the controlling one, and the file
// is checked to be regular through the open file itself before any read, so
// that what is read is what was checked.
std::FILE* openRegularFile(const std::string& path);

// The same as a read-only file descriptor, or -1; `size`, when given, is
// set to the file's size.
int openRegularDescriptor(const std::string& path, std::int64_t* size = nullptr);

// Reads up to `count` bytes at `offset` of `descriptor` into `buffer`; the
// number read, short only at the end of the file or on an error.
std::size_t readBytesAt(int descriptor, std::int64_t offset, void* buffer, std::size_t count);

} // namespace vorlin
