#include "audio/header_formats.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "audio/buffered_file.hpp"
#include "base/bytes.hpp"
#include "platform/platform.hpp"

namespace vorlin {

namespace {

// Rates of 2^31 Hz and more are not rates but other bytes read as one.
constexpr std::uint32_t maximumSampleRate = 0x7FFFFFFF;

// Where the data after any ID3v2 tags at the start of the file begins: each
// tag is passed over by its stated size (a footer added when flagged). A
// header cut short or a size with a byte of 128 or more ends the tags there.
std::int64_t afterId3v2Tags(BufferedFile& file) {
    std::int64_t offset = 0;
    for (;;) {
        std::uint8_t header[id3v2HeaderBytes];
        if (file.read(offset, header, sizeof header) < sizeof header ||
            !startsWithId3(header, sizeof header))
            return offset;
        const std::optional<std::int64_t> bytes = id3v2TagBytes(header);
        if (!bytes) return offset;
        offset += *bytes;
    }
}

// WavPack block headers (all fields little-endian).
constexpr std::size_t wavPackHeaderBytes = 32;
constexpr std::uint32_t wavPackMaxBlock = 1 << 20;
constexpr std::uint16_t wavPackMinVersion = 0x402;
constexpr std::uint16_t wavPackMaxVersion = 0x410;
constexpr std::uint32_t wavPackInitialBlock = 0x800;
constexpr std::uint32_t wavPackDsd = 0x80000000;
constexpr std::uint32_t wavPackRateIndexShift = 23;
constexpr std::uint32_t wavPackCustomRate = 15;
constexpr std::uint32_t wavPackRates[15] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                            32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr std::uint8_t wavPackSampleRateId = 0x27;
constexpr std::uint8_t wavPackIdMask = 0x3F;
constexpr std::uint8_t wavPackLargeSubBlock = 0x80;
constexpr std::uint8_t wavPackOddSize = 0x40;

struct WavPackBlock {
    std::uint32_t size = 0; // the whole block, its header included
    std::uint64_t total = 0;
    bool totalKnown = false;
    std::uint32_t samples = 0;
    std::uint32_t flags = 0;
};

// The block whose header is at `offset`, or nothing when no valid header is there.
std::optional<WavPackBlock> wavPackBlockAt(BufferedFile& file, std::int64_t offset) {
    std::uint8_t h[wavPackHeaderBytes];
    if (file.read(offset, h, sizeof h) < sizeof h || std::memcmp(h, "wvpk", 4) != 0)
        return std::nullopt;
    const std::uint32_t rest = littleEndian32(h + 4);
    const std::uint16_t version = littleEndian16(h + 8);
    if (rest < wavPackHeaderBytes - 8 || rest > wavPackMaxBlock || version < wavPackMinVersion ||
        version > wavPackMaxVersion)
        return std::nullopt;
    WavPackBlock block;
    block.size = rest + 8;
    const std::uint32_t low = littleEndian32(h + 12);
    block.totalKnown = low != 0xFFFFFFFF;
    // The high byte extends the count to 40 bits; the 32-bit values equal to
    // it are not used, so that a low part of all ones always means unknown.
    block.total = (std::uint64_t{h[11]} << 32 | low) - h[11];
    block.samples = littleEndian32(h + 20);
    block.flags = littleEndian32(h + 24);
    return block;
}

// The rate of the sample rate sub-block in the block at `offset`, or 0, as
// when the block is not whole within the file.
std::uint32_t wavPackCustomRateOf(BufferedFile& file, std::int64_t offset, std::uint32_t blockSize,
                                  std::int64_t size) {
    std::int64_t at = offset + wavPackHeaderBytes;
    const std::int64_t end = offset + blockSize;
    if (end > size) return 0;
    while (end - at >= 2) {
        std::uint8_t head[4];
        if (file.read(at, head, sizeof head) < 2) return 0;
        const bool large = head[0] & wavPackLargeSubBlock;
        const std::size_t headBytes = large ? 4 : 2;
        if (end - at < static_cast<std::int64_t>(headBytes)) return 0;
        std::int64_t words = head[1];
        if (large) words |= std::int64_t{head[2]} << 8 | std::int64_t{head[3]} << 16;
        const std::int64_t dataBytes = words * 2;
        const std::int64_t data = at + static_cast<std::int64_t>(headBytes);
        if (end - data < dataBytes) return 0;
        if ((head[0] & wavPackIdMask) == wavPackSampleRateId) {
            std::uint8_t rate[4] = {}; // 3 bytes, or 4
            const std::size_t used =
                static_cast<std::size_t>(dataBytes) - ((head[0] & wavPackOddSize) ? 1 : 0);
            // One of another size is passed over.
            if ((used == 3 || used == 4) && file.read(data, rate, used) == used)
                return littleEndian32(rate);
        }
        at = data + dataBytes;
    }
    return 0;
}

// AIFF "COMM" chunk: channels (2), frames (4), sample size (2), rate (10).
constexpr std::uint32_t aiffCommBytes = 18;

// An 80-bit IEEE extended value (sign, 15-bit exponent, 64-bit mantissa
// with its integer bit), as a whole number of hertz: 0 for negative or
// non-finite values and those below 1, at most 2^32 - 1.
std::uint32_t extendedRate(const std::uint8_t* b) {
    if (b[0] & 0x80) return 0;
    const int exponent = (b[0] & 0x7F) << 8 | b[1];
    if (exponent == 0x7FFF) return 0;
    std::uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = mantissa << 8 | b[i];
    const int shift = exponent - 16383 - 63; // value = mantissa x 2^shift
    if (shift >= 0) return mantissa == 0 ? 0 : 0xFFFFFFFF;
    if (shift <= -64) return 0;
    const std::uint64_t whole = mantissa >> -shift;
    return whole > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<std::uint32_t>(whole);
}

} // namespace

RecordedCount readWavPackCount(int descriptor, std::int64_t size) {
    BufferedFile file(descriptor);
    std::int64_t offset = 0;
    std::optional<WavPackBlock> block;
    for (;;) { // the first block of samples
        block = wavPackBlockAt(file, offset);
        if (!block) return {};
        if (block->samples != 0 && (block->flags & wavPackInitialBlock)) break;
        offset += block->size;
    }
    // DSD audio (the flags' top bit): its counts are of 1-bit samples at
    // many times the rate, read by no one here.
    if (block->flags & wavPackDsd) return {};
    RecordedCount count;
    const std::uint32_t rateIndex = block->flags >> wavPackRateIndexShift & 0xF;
    count.sampleRate = rateIndex == wavPackCustomRate
                           ? wavPackCustomRateOf(file, offset, block->size, size)
                           : wavPackRates[rateIndex];
    if (block->totalKnown) {
        count.sampleFrames = block->total;
        return count;
    }
    // Unknown (written to a pipe): the samples of every frame's first block,
    // up to the end of the file or the first bytes that are not a block (a
    // tag). A block header there that is cut short or damaged fails it.
    std::uint64_t total = 0;
    for (; block; block = wavPackBlockAt(file, offset)) {
        if (block->flags & wavPackInitialBlock) total += block->samples;
        offset += block->size;
    }
    char magic[4];
    if (file.read(offset, magic, sizeof magic) == sizeof magic &&
        std::memcmp(magic, "wvpk", 4) == 0)
        return {};
    count.sampleFrames = total;
    return count;
}

RecordedCount readMonkeysAudioCount(int descriptor, std::int64_t size) {
    BufferedFile file(descriptor);
    const std::int64_t start = afterId3v2Tags(file);
    std::uint8_t h[52];
    const std::size_t n = file.read(start, h, sizeof h);
    if (n < 6 || std::memcmp(h, "MAC ", 4) != 0) return {};
    const std::uint16_t version = littleEndian16(h + 4);
    std::uint32_t frames = 0, finalFrameSamples = 0, samplesPerFrame = 0;
    RecordedCount count;
    if (version >= 3980) {
        // The descriptor (its own size at byte 8), then the header.
        if (n < 12) return {};
        const std::int64_t header = start + littleEndian32(h + 8);
        std::uint8_t d[24];
        if (header > size || file.read(header, d, sizeof d) < sizeof d) return {};
        samplesPerFrame = littleEndian32(d + 4);
        finalFrameSamples = littleEndian32(d + 8);
        frames = littleEndian32(d + 12);
        count.sampleRate = littleEndian32(d + 20);
    } else {
        if (n < 32) return {};
        const std::uint16_t level = littleEndian16(h + 6);
        count.sampleRate = littleEndian32(h + 12);
        frames = littleEndian32(h + 24);
        finalFrameSamples = littleEndian32(h + 28);
        samplesPerFrame = version >= 3950                                         ? 73728 * 4
                          : version >= 3900 || (version >= 3800 && level == 4000) ? 73728
                                                                                  : 9216;
    }
    if (frames == 0) return count;
    count.sampleFrames = std::uint64_t{frames - 1} * samplesPerFrame + finalFrameSamples;
    return count;
}

RecordedCount readTrueAudioCount(int descriptor, std::int64_t /*size*/) {
    BufferedFile file(descriptor);
    const std::int64_t start = afterId3v2Tags(file);
    std::uint8_t h[18]; // the fields up to the count; the header's CRC is not read
    if (file.read(start, h, sizeof h) < sizeof h || std::memcmp(h, "TTA1", 4) != 0) return {};
    return {littleEndian32(h + 14), littleEndian32(h + 10)};
}

RecordedCount readAiffCount(int descriptor, std::int64_t size) {
    BufferedFile file(descriptor);
    std::uint8_t h[12];
    if (file.read(0, h, sizeof h) < sizeof h || std::memcmp(h, "FORM", 4) != 0 ||
        (std::memcmp(h + 8, "AIFF", 4) != 0 && std::memcmp(h + 8, "AIFC", 4) != 0))
        return {};
    std::optional<RecordedCount> count;
    bool sound = false;
    for (std::int64_t offset = 12; size - offset >= 8;) {
        std::uint8_t chunk[8 + aiffCommBytes];
        if (file.read(offset, chunk, 8) < 8) return {};
        // A name of other than ASCII from the space on ends the chunks (what follows
        // is not read as chunks).
        if (!std::all_of(chunk, chunk + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7F; }))
            break;
        const std::int64_t length = bigEndian32(chunk + 4);
        if (size - offset - 8 < length) return {};
        if (!count && std::memcmp(chunk, "COMM", 4) == 0) {
            if (length < aiffCommBytes ||
                file.read(offset + 8, chunk + 8, aiffCommBytes) < aiffCommBytes)
                return {};
            count = RecordedCount{bigEndian32(chunk + 10), extendedRate(chunk + 16)};
        }
        sound = sound || std::memcmp(chunk, "SSND", 4) == 0;
        offset += 8 + length + (length & 1);
    }
    return sound ? count.value_or(RecordedCount{}) : RecordedCount{};
}

namespace {

// Measures `path` by what `read` finds in its header: the checks every
// format's count passes.
AudioLength measureRecordedCount(const std::string& path,
                                 RecordedCount (*read)(int descriptor, std::int64_t size)) {
    std::int64_t size = 0;
    const int descriptor = openRegularDescriptor(path, &size);
    if (descriptor < 0) return {0, Problem::audioOpenFailed};
    const RecordedCount count = read(descriptor, size);
    platform::closeFile(descriptor);
    // A count past what 63 bits hold (Monkey's Audio's frames times their
    // size can reach 2^64) is no real file's.
    if (count.sampleFrames == 0 || count.sampleFrames > std::uint64_t{INT64_MAX} ||
        count.sampleRate < minimumSampleRate || count.sampleRate > maximumSampleRate)
        return {0, Problem::unrecognizedFormat};
    return measuredLength(samplesToCdFrames(static_cast<std::int64_t>(count.sampleFrames)));
}

} // namespace

AudioLength wavPackLengthFrames(const std::string& path) {
    return measureRecordedCount(path, readWavPackCount);
}

AudioLength monkeysAudioLengthFrames(const std::string& path) {
    return measureRecordedCount(path, readMonkeysAudioCount);
}

AudioLength trueAudioLengthFrames(const std::string& path) {
    return measureRecordedCount(path, readTrueAudioCount);
}

AudioLength aiffLengthFrames(const std::string& path) {
    return measureRecordedCount(path, readAiffCount);
}

} // namespace vorlin
