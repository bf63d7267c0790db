#include "mpc/stream_header.hpp"

namespace vorlin {

namespace {

constexpr int headerBytes = 32;

std::uint32_t wordAt(const unsigned char* bytes, int index) {
    const unsigned char* b = bytes + 4 * index;
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Reads the 32 header bytes at the header position; false on a failed seek or
// a short read.
bool readHeaderBytes(const StreamHeader& header, ByteStream& stream, unsigned char* bytes) {
    return stream.seek(header.headerPos, 0) == 0 && stream.read(bytes, headerBytes) == headerBytes;
}

} // namespace

std::int32_t id3v2TagSize(ByteStream& stream) {
    unsigned char b[10] = {}; // bytes the file does not have count as zero
    stream.read(b, 10);
    if (b[0] != 'I' || b[1] != 'D' || b[2] != '3') return 0;
    const unsigned char flags = b[5];
    if (flags & 0x0F) return -1;
    if ((b[6] | b[7] | b[8] | b[9]) & 0x80) return -1;
    std::int32_t size = b[6] << 21 | b[7] << 14 | b[8] << 7 | b[9];
    size += 10;
    if (flags & 0x10) size += 10; // a footer follows the tag
    return size;
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
