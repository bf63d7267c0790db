#include "audio/wav.hpp"

#include <cstring>

#include "audio/length.hpp"
#include "base/bytes.hpp"

namespace vorlin {

std::uint32_t readLe32(std::FILE* file) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, file) != 4) return 0xFFFFFFFFu;
    return littleEndian32(b);
}

std::uint16_t readLe16(std::FILE* file) {
    unsigned char b[2];
    if (std::fread(b, 1, 2, file) != 2) return 0xFFFF;
    return littleEndian16(b);
}

namespace {

constexpr std::uint32_t riffTag = 0x46464952; // "RIFF"
constexpr std::uint32_t waveTag = 0x45564157; // "WAVE"
constexpr std::uint32_t fmtTag = 0x20746D66;  // "fmt "

// Steps through the file from its current (even) offset two bytes at a time
// looking for the letters "da" followed by "ta", exactly as a reader taking
// one 16-bit value per step would: a pair that fails to be "ta" is not looked
// at again as "da", and a single byte left at the end is no pair. The file is
// read in large blocks. On success the four bytes after the marker (the data
// size) are stored in `size`; false when the marker or those bytes are missing.
bool findDataSize(std::FILE* file, std::uint32_t& size) {
    static constexpr std::size_t blockBytes = 65536; // even, so pairs never straddle blocks
    unsigned char block[blockBytes];
    bool afterDa = false;
    for (;;) {
        std::size_t n = std::fread(block, 1, blockBytes, file);
        std::size_t pairEnd = n & ~static_cast<std::size_t>(1);
        for (std::size_t i = 0; i < pairEnd; i += 2) {
            unsigned char a = block[i], b = block[i + 1];
            if (afterDa) {
                afterDa = false;
                if (a == 't' && b == 'a') {
                    unsigned char sizeBytes[4];
                    std::size_t have = n - (i + 2);
                    if (have > 4) have = 4;
                    std::memcpy(sizeBytes, block + i + 2, have);
                    if (have < 4 && std::fread(sizeBytes + have, 1, 4 - have, file) != 4 - have)
                        return false;
                    size = littleEndian32(sizeBytes);
                    return true;
                }
            } else if (a == 'd' && b == 'a') {
                afterDa = true;
            }
        }
        if (n < blockBytes) return false; // end of file (or a read error)
    }
}

} // namespace

AudioLength wavLengthFrames(const std::string& path) {
    std::FILE* file = openRegularFile(path);
    if (!file) return {0, Problem::audioOpenFailed};
    const AudioLength length = measureWavFile(file);
    std::fclose(file);
    return length;
}

AudioLength measureWavFile(std::FILE* file) {
    bool valid = readLe32(file) == riffTag;
    if (valid) {
        readLe32(file); // RIFF size
        valid = readLe32(file) == waveTag && readLe32(file) == fmtTag;
    }
    if (valid) {
        readLe32(file); // format chunk size
        valid = readLe16(file) == 1;
    }
    if (!valid) return {0, Problem::invalidWav};
    std::uint32_t channels = readLe16(file);
    readLe32(file); // sampling rate: lengths always convert at 44100
    readLe32(file); // byte rate
    readLe16(file); // block align: the frame size is computed instead
    std::uint32_t bitsPerSample = readLe16(file);
    std::uint32_t bytesPerSample = (bitsPerSample + 7) / 8;
    std::uint32_t frameSize = channels * bytesPerSample;

    std::uint32_t dataSize = 0;
    if (std::feof(file) || !findDataSize(file, dataSize)) return measuredLength(0);
    if (dataSize == 0 || dataSize >= 0xFFFFFF00u || frameSize == 0 || dataSize % frameSize != 0)
        return measuredLength(0);
    return measuredLength(samplesToCdFrames(static_cast<std::int64_t>(dataSize / frameSize)));
}

} // namespace vorlin
