// The MPC stream header: an optional ID3v2 tag, then the header of stream
// version 7 ("MP+") or of stream versions 4 to 6.
#pragma once

#include <cstdint>

#include "mpc/byte_stream.hpp"

namespace vorlin {

struct StreamHeader {
    std::int32_t headerPos = 0;
    std::uint32_t streamVersion = 0;
    std::uint32_t bitRate = 0;
    std::uint32_t frames = 0;
    std::uint32_t maxBand = 0;
    std::uint32_t intensityStereo = 0;
    std::uint32_t midSideStereo = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t trueGapless = 0;
};

// Result codes of readStreamHeader.
enum HeaderResult : int {
    headerReadFailed = -1,     // malformed tag, failed seek or short read
    headerAccepted = 0,        //
    headerNewerVersion = 1,    // "MP+" of major version 8 or more, or an old header of version 7
    headerBitRateSet = 2,      // old header with a non-zero bit-rate field
    headerIntensityStereo = 3, // old header with intensity stereo
    headerBlockSize = 4,       // old header with a block size other than 1
    headerBadVersion = 5,      // old header with a version below 4 or above 7
    headerTooManyBands = 6,    // version 7 header whose highest coded subband is above 31
};

// Reads 10 bytes at the current position; returns the offset of the MPC
// header (0 without a tag, the tag's full length with one) or -1 for a
// malformed tag.
std::int32_t id3v2TagSize(ByteStream& stream);

int readStreamHeader(StreamHeader& header, ByteStream& stream);
int readSv7Header(StreamHeader& header, ByteStream& stream);
int readSv4to6Header(StreamHeader& header, ByteStream& stream);

} // namespace vorlin
