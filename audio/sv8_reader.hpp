// The Musepack stream version 8 container: "MPCK" (after an optional ID3v2
// tag), then packets of a two-letter key, a variable-length size and a
// payload, up to the stream end packet "SE". The length comes from the stream
// header packet "SH", accepted only once every packet up to "SE" has been
// walked by its size and the count of audio packets "AP" matches it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/byte_stream.hpp"
#include "audio/length.hpp"

namespace vorlin {

// Returns nothing when the bytes after the optional ID3v2 tag are not "MPCK"
// (a malformed tag included): nothing more is read and nothing is printed.
// Otherwise measures the stream: the length, or 0 after printing
// "'<path>': unrecognized format" when the container is not well formed.
// Bytes are read at 64-bit offsets (ByteStream::readAt), so files over 4 GiB
// are walked to their end; the stream's position is not used.
std::optional<CdFrames> measureIfSv8(ByteStream& stream, const std::string& path);

} // namespace vorlin
