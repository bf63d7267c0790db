// Little-endian readers over a stdio file, as the WAV measurer uses them.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vorlin {

// Reads 4 bytes as a little-endian value; 0xFFFFFFFF when fewer arrive. The
// bytes that did arrive are consumed and the end-of-file indicator is set as
// the C library sets it.
std::uint32_t readLe32(std::FILE* file);

// The same for 2 bytes; 0xFFFF when fewer arrive.
std::uint16_t readLe16(std::FILE* file);

} // namespace vorlin
