#include "mpc/stream_header.hpp"

#include <optional>

#include "base/bytes.hpp"

namespace vorlin {

namespace {

constexpr int headerBytes = 32;

std::uint32_t wordAt(const unsigned char* bytes, int index) {
    return littleEndian32(bytes + 4 * index);
}

// Reads the 32 header bytes at the header position; false on a failed seek or
// a short read.
bool readHeaderBytes(const StreamHeader& header, ByteStream& stream, unsigned char* bytes) {
    return stream.seek(header.headerPos, 0) == 0 && stream.read(bytes, headerBytes) == headerBytes;
}

} // namespace

// Stricter than the header readers of audio/, which pass over a run of tags
// whatever their flags: here the stream header must follow a single tag, and a tag that sets flag
// bits no ID3v2 version defines, or whose size has a byte of 128 or more, fails the read. Bytes
// after a tag this reader does not understand are not trusted to be a stream header, and the MPC
// measurer's verdicts on such files stay what they have always been.
std::int32_t id3v2TagSize(ByteStream& stream) {
    std::uint8_t b[id3v2HeaderBytes] = {}; // bytes the file does not have count as zero
    stream.read(b, static_cast<std::int32_t>(sizeof b));
    if (!startsWithId3(b, sizeof b)) return 0;
    if (b[5] & 0x0F) return -1;
    const std::optional<std::int64_t> bytes = id3v2TagBytes(b); // at most 2^28 + 19
    return bytes ? static_cast<std::int32_t>(*bytes) : -1;
}

int readStreamHeader(StreamHeader& header, ByteStream& stream) {
    header.headerPos = id3v2TagSize(stream);
    if (header.headerPos < 0) return headerReadFailed;
    if (stream.seek(header.headerPos, 0) != 0) return headerReadFailed;
    unsigned char magic[4];
    if (stream.read(magic, 4) < 4) return headerReadFailed;
    if (stream.seek(0, 2) != 0) return headerReadFailed;
    if (magic[0] == 'M' && magic[1] == 'P' && magic[2] == '+') {
        header.streamVersion = magic[3];
        unsigned major = magic[3] & 0x0F;
        // No such header exists: version 8 streams start with "MPCK" and are
        // measured by their container (sv8_reader.hpp) before this is read.
        if (major >= 8) return headerNewerVersion;
        if (major == 7) return readSv7Header(header, stream);
        return headerAccepted; // an early "MP+" version: no frames are counted
    }
    return readSv4to6Header(header, stream);
}

int readSv7Header(StreamHeader& header, ByteStream& stream) {
    if (header.streamVersion > 0x71) return headerAccepted; // left with zero frames
    unsigned char bytes[headerBytes];
    if (!readHeaderBytes(header, stream, bytes)) return headerReadFailed;
    const std::uint32_t w2 = wordAt(bytes, 2);
    header.frames = wordAt(bytes, 1);
    header.midSideStereo = (w2 >> 30) & 1;
    header.maxBand = (w2 >> 24) & 0x3F;
    header.trueGapless = wordAt(bytes, 5) >> 31;
    header.bitRate = 0;
    header.intensityStereo = 0;
    header.blockSize = 1;
    // The frame state holds 32 bands; a stream coding more cannot be walked.
    if (header.maxBand > 31) return headerTooManyBands;
    return headerAccepted;
}

int readSv4to6Header(StreamHeader& header, ByteStream& stream) {
    unsigned char bytes[headerBytes];
    if (!readHeaderBytes(header, stream, bytes)) return headerReadFailed;
    const std::uint32_t w0 = wordAt(bytes, 0);
    const std::uint32_t w1 = wordAt(bytes, 1);
    header.bitRate = w0 >> 23;
    header.intensityStereo = (w0 >> 22) & 1;
    header.midSideStereo = (w0 >> 21) & 1;
    header.streamVersion = (w0 >> 11) & 0x3FF;
    header.maxBand = (w0 >> 6) & 0x1F;
    header.blockSize = w0 & 0x3F;
    header.frames = header.streamVersion < 5 ? w1 >> 16 : w1;
    header.trueGapless = 0;
    if (header.streamVersion == 7) return headerNewerVersion;
    if (header.bitRate != 0) return headerBitRateSet;
    if (header.intensityStereo != 0) return headerIntensityStereo;
    if (header.blockSize != 1) return headerBlockSize;
    if (header.streamVersion < 6) --header.frames; // these versions count one frame more
    if (header.streamVersion < 4 || header.streamVersion > 7) return headerBadVersion;
    return headerAccepted;
}

} // namespace vorlin
