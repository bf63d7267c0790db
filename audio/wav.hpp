// The WAV measurer of an open file and the little-endian readers it uses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/length.hpp"

namespace vorlin {

// Reads 4 bytes as a little-endian value; 0xFFFFFFFF when fewer arrive. The
// bytes that did arrive are consumed and the end-of-file indicator is set as
// the C library sets it.
std::uint32_t readLe32(std::FILE* file);

// The same for 2 bytes; 0xFFFF when fewer arrive.
std::uint16_t readLe16(std::FILE* file);

// Measures the RIFF/WAVE file open as `file`, read from its current position
// (its start), as wavLengthFrames does once it has opened the file. The file
// stays open.
AudioLength measureWavFile(std::FILE* file);

} // namespace vorlin
