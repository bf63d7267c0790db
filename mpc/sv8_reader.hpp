// The Musepack stream version 8 container: "MPCK" (after an optional ID3v2
// tag), then packets of a two-letter key, a variable-length size and a
// payload, up to the stream end packet "SE". The length comes from the stream
// header packet "SH", accepted only once every packet up to "SE" has been
// walked by its size and the count of audio packets "AP" matches it.
#pragma once

#include <cstdint>
#include <optional>

#include "base/cd_frames.hpp"
#include "mpc/byte_stream.hpp"

namespace vorlin {

// The offset of "MPCK", after the optional ID3v2 tag; nothing when the bytes
// there are something else (a malformed tag included).
std::optional<std::int64_t> sv8Start(ByteStream& stream);

// The length of the stream whose "MPCK" is at `start`, or nothing when the
// container is not well formed. Bytes are read at 64-bit offsets
// (ByteStream::readAt), so files over 4 GiB are walked to their end; the
// stream's position is not used.
std::optional<CdFrames> sv8Length(ByteStream& stream, std::int64_t start);

} // namespace vorlin
