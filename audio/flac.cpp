#include "audio/flac.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "base/bytes.hpp"
#include "platform/platform.hpp"

namespace vorlin {

namespace {

constexpr std::uint8_t streamInfoType = 0;
constexpr std::uint8_t paddingType = 1;
constexpr std::uint8_t seekTableType = 3;

// The file's bytes seen through one buffer. A usual file's tags and block
// headers all lie in its first few kilobytes: one read.
class Window {
  public:
    static constexpr std::size_t headBytes = 4096;    // read for headers
    static constexpr std::size_t searchBytes = 65536; // read while searching

    Window(int descriptor, std::int64_t size) : descriptor_(descriptor), size_(size) {}

    std::int64_t size() const { return size_; }

    // Points `bytes` at the bytes from `offset`; returns how many of the
    // `want` (at most searchBytes) the file has there. Reads `load` bytes
    // from `offset` when the buffer does not already hold them.
    std::size_t at(std::int64_t offset, std::size_t want, const std::uint8_t*& bytes,
                   std::size_t load = headBytes) {
        if (offset < 0 || offset >= size_) return 0;
        const std::int64_t left = size_ - offset;
        if (static_cast<std::int64_t>(want) > left) want = static_cast<std::size_t>(left);
        if (offset < start_ || offset + static_cast<std::int64_t>(want) > start_ + length_)
            fill(offset, std::max(want, load));
        want = static_cast<std::size_t>(std::min<std::int64_t>(want, start_ + length_ - offset));
        bytes = buffer_ + (offset - start_);
        return want;
    }

    // The offset of the first "fLaC" at or after `from`, or -1.
    std::int64_t find(std::int64_t from) {
        static constexpr char magic[4] = {'f', 'L', 'a', 'C'};
        std::size_t load = headBytes;
        for (std::int64_t offset = from;;) {
            const std::uint8_t* bytes;
            const std::size_t n = at(offset, load, bytes, load);
            if (n < sizeof magic) return -1;
            const std::string_view piece(reinterpret_cast<const char*>(bytes), n);
            if (const std::size_t hit = piece.find(std::string_view(magic, sizeof magic));
                hit != std::string_view::npos)
                return offset + static_cast<std::int64_t>(hit);
            if (n < load) return -1;
            // The next piece starts with this one's last three bytes, the
            // start of a "fLaC" that straddles the two.
            offset += static_cast<std::int64_t>(n) - 3;
            load = searchBytes;
        }
    }

  private:
    void fill(std::int64_t offset, std::size_t count) {
        count = std::min(count, searchBytes);
        const std::size_t got = readBytesAt(descriptor_, offset, buffer_, count);
        start_ = offset;
        length_ = static_cast<std::int64_t>(got);
        // A short read: the file ends there, as far as this reader can tell.
        if (got < count && offset + length_ < size_) size_ = offset + length_;
    }

    int descriptor_;
    std::int64_t size_;
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
    std::uint8_t buffer_[searchBytes];
};

// The bytes an ID3v2 tag takes from the `n` bytes of its header at hand. A
// header cut short or a size with a byte of 128 or more counts as an empty
// tag (where the header readers of header_formats.cpp stop instead).
std::int64_t id3v2Bytes(const std::uint8_t* header, std::size_t n) {
    constexpr auto empty = static_cast<std::int64_t>(id3v2HeaderBytes);
    if (n < id3v2HeaderBytes) return empty;
    return id3v2TagBytes(header).value_or(empty);
}

} // namespace

FlacStreamInfo readFlacStreamInfo(int descriptor, std::int64_t size) {
    Window file(descriptor, size);
    const std::uint8_t* bytes;

    // Tags at the start, one after another, each passed over by its size.
    std::int64_t searchFrom = 0;
    std::size_t n = file.at(0, 10, bytes);
    if (startsWithId3(bytes, n)) {
        searchFrom = id3v2Bytes(bytes, n);
        for (;;) {
            n = file.at(searchFrom, 10, bytes);
            if (n < 10 || !startsWithId3(bytes, n)) break;
            searchFrom += id3v2Bytes(bytes, n);
        }
    }
    const std::int64_t magic = file.find(searchFrom);
    if (magic < 0) return {};

    FlacStreamInfo info;
    bool first = true;
    std::int64_t position = magic + 4;
    for (;; first = false) {
        if (file.at(position, 4, bytes) < 4) return {};
        const std::uint8_t head = bytes[0];
        const std::uint32_t length = bigEndian32(bytes) & 0xFFFFFF;
        const std::uint8_t type = head & 0x7F;
        if (first && type != streamInfoType) return {};
        if (length == 0 && type != paddingType && type != seekTableType) return {};
        const std::int64_t body = position + 4;
        if (file.size() - body < length) return {};
        if (first && length >= 18 && file.at(body, 18, bytes) == 18) {
            info.minBlockSize = bigEndian16(bytes);
            info.maxBlockSize = bigEndian16(bytes + 2);
            info.maxFrameSize = bigEndian32(bytes + 6) & 0xFFFFFF;
            const std::uint32_t flags = bigEndian32(bytes + 10);
            info.sampleRate = flags >> 12;
            info.channels = (flags >> 9 & 7) + 1;
            info.bitsPerSample = (flags >> 4 & 31) + 1;
            info.sampleFrames = std::uint64_t{flags & 0xF} << 32 | bigEndian32(bytes + 14);
            info.found = true;
        }
        position = body + length;
        if (head & 0x80) break; // the last metadata block
    }
    info.audioStart = position;
    return info;
}

namespace {

// The frame CRCs: CRC-8 (polynomial x^8 + x^2 + x + 1) of the header,
// CRC-16 (x^16 + x^15 + x^2 + 1) of the whole frame; both start at 0, most
// significant bit first.
struct CrcTables {
    std::uint8_t crc8[256];
    std::uint16_t crc16[256];
    CrcTables() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c8 = i, c16 = i << 8;
            for (int bit = 0; bit < 8; ++bit) {
                c8 = (c8 & 0x80) ? (c8 << 1 ^ 0x07) : c8 << 1;
                c16 = (c16 & 0x8000) ? (c16 << 1 ^ 0x8005) : c16 << 1;
            }
            crc8[i] = static_cast<std::uint8_t>(c8);
            crc16[i] = static_cast<std::uint16_t>(c16);
        }
    }
};

const CrcTables& crcTables() {
    static const CrcTables tables;
    return tables;
}

// What a frame header says of its frame.
struct FrameHeader {
    std::uint64_t firstSample = 0;
    std::uint32_t blockSize = 0;
};

// The frame header at `b` (`n` bytes at hand), or nothing when no valid one
// is there: the sync code, the reserved bits clear, no reserved code, and the
// CRC-8 that matches.
std::optional<FrameHeader> frameHeaderAt(const std::uint8_t* b, std::size_t n,
                                         const FlacStreamInfo& info) {
    if (n < 6 || b[0] != 0xFF || (b[1] & 0xFE) != 0xF8) return std::nullopt;
    const bool variable = b[1] & 1;
    const unsigned sizeCode = b[2] >> 4, rateCode = b[2] & 0xF;
    const unsigned channelCode = b[3] >> 4, depthCode = b[3] >> 1 & 7;
    if (sizeCode == 0 || rateCode == 15 || channelCode > 10 || depthCode == 3 || (b[3] & 1))
        return std::nullopt;
    // The coded number: UTF-8 style, up to 7 bytes (36 bits).
    std::size_t at = 4;
    std::uint64_t number = b[at];
    int more = 0;
    if (number < 0x80) {
        more = 0;
    } else if (number >= 0xC0 && number < 0xE0) {
        more = 1, number &= 0x1F;
    } else if (number >= 0xE0 && number < 0xF0) {
        more = 2, number &= 0x0F;
    } else if (number >= 0xF0 && number < 0xF8) {
        more = 3, number &= 0x07;
    } else if (number >= 0xF8 && number < 0xFC) {
        more = 4, number &= 0x03;
    } else if (number >= 0xFC && number < 0xFE) {
        more = 5, number &= 0x01;
    } else if (number == 0xFE && variable) {
        more = 6, number = 0;
    } else {
        return std::nullopt;
    }
    ++at;
    for (int i = 0; i < more; ++i, ++at) {
        if (at >= n || (b[at] & 0xC0) != 0x80) return std::nullopt;
        number = number << 6 | (b[at] & 0x3F);
    }
    FrameHeader header;
    if (sizeCode == 1) {
        header.blockSize = 192;
    } else if (sizeCode <= 5) {
        header.blockSize = 576u << (sizeCode - 2);
    } else if (sizeCode <= 7) {
        const std::size_t bytes = sizeCode == 6 ? 1 : 2;
        if (n < at + bytes) return std::nullopt;
        header.blockSize =
            (bytes == 1 ? b[at] : static_cast<std::uint32_t>(b[at] << 8 | b[at + 1])) + 1;
        at += bytes;
    } else {
        header.blockSize = 256u << (sizeCode - 8);
    }
    if (rateCode >= 12) at += rateCode == 12 ? 1 : 2;
    if (n < at + 1) return std::nullopt;
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < at; ++i) crc = crcTables().crc8[crc ^ b[i]];
    if (crc != b[at]) return std::nullopt;
    if (info.maxBlockSize != 0 && header.blockSize > info.maxBlockSize) return std::nullopt;
    if (variable) {
        header.firstSample = number;
    } else {
        // The stream's fixed block size; a stream of one frame needs none.
        const std::uint32_t fixed = info.minBlockSize != 0 ? info.minBlockSize : header.blockSize;
        header.firstSample = number * fixed;
    }
    return header;
}

// The end of the stream: before an ID3v1 tag ("TAG", the last 128 bytes) and
// an APEv2 tag (its 32-byte footer "APETAGEX" last, its size counting the
// footer, a header when flagged).
std::int64_t streamEnd(int descriptor, std::int64_t size) {
    std::uint8_t tag[3];
    if (size >= 128 && readBytesAt(descriptor, size - 128, tag, 3) == 3 &&
        std::memcmp(tag, "TAG", 3) == 0)
        size -= 128;
    std::uint8_t footer[32];
    if (size >= 32 && readBytesAt(descriptor, size - 32, footer, 32) == 32 &&
        std::memcmp(footer, "APETAGEX", 8) == 0) {
        const std::int64_t bytes = littleEndian32(footer + 12);
        const bool header = footer[23] & 0x80;
        const std::int64_t whole = bytes + (header ? 32 : 0);
        if (bytes >= 32 && whole <= size) size -= whole;
    }
    return size;
}

} // namespace

std::uint64_t countFlacFrames(int descriptor, std::int64_t size, const FlacStreamInfo& info) {
    const std::int64_t end = streamEnd(descriptor, size);
    if (!info.found || end <= info.audioStart) return 0;
    // The largest frame: as STREAMINFO states it, or every channel's samples
    // of the largest block stored verbatim (a side channel takes one bit
    // more) and its headers. The tail read holds two of them: the last whole
    // frame and a cut one after it.
    const std::int64_t block = info.maxBlockSize != 0 ? info.maxBlockSize : 65535;
    const std::int64_t largest =
        info.maxFrameSize != 0
            ? info.maxFrameSize
            : (block * info.channels * (info.bitsPerSample + 1) + 7) / 8 + info.channels * 8 + 32;
    const std::int64_t tail = std::min(end - info.audioStart, 2 * largest + 16);
    const std::int64_t from = end - tail;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(tail));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::size_t n = readBytesAt(descriptor, from, bytes.data(), bytes.size());
    if (n < bytes.size()) return 0;
    // The last frame headers of the tail (a few more than a whole frame and
    // a cut one need, for sync codes in the audio data), then from the last
    // back: the first whose CRC-16 comes out right, within the largest
    // frame, at a later header or at the end. Bounded so that a tail made
    // of headers costs no more than a few frames' worth of reading.
    constexpr std::size_t maxHeaders = 64;
    std::vector<std::size_t> starts;
    std::vector<FrameHeader> headers;
    for (std::size_t at = n - 1; at-- > 0 && starts.size() < maxHeaders;) {
        if (bytes[at] != 0xFF) continue;
        if (const auto header = frameHeaderAt(bytes.data() + at, n - at, info)) {
            starts.insert(starts.begin(), at);
            headers.insert(headers.begin(), *header);
        }
    }
    const auto& crc16 = crcTables().crc16;
    for (std::size_t i = starts.size(); i-- > 0;) {
        std::uint16_t crc = 0;
        std::size_t next = i + 1;
        const std::size_t limit = static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(n), static_cast<std::int64_t>(starts[i]) + largest));
        for (std::size_t at = starts[i]; at < limit; ++at) {
            crc = static_cast<std::uint16_t>(crc << 8 ^ crc16[(crc >> 8) ^ bytes[at]]);
            while (next < starts.size() && starts[next] <= at) ++next;
            const bool boundary = at + 1 == n || (next < starts.size() && starts[next] == at + 1);
            if (boundary && crc == 0 && at + 1 - starts[i] > 2)
                return headers[i].firstSample + headers[i].blockSize;
        }
    }
    return 0;
}

AudioLength flacLengthFrames(const std::string& path) {
    std::int64_t size = 0;
    const int descriptor = openRegularDescriptor(path, &size);
    if (descriptor < 0) return {0, Problem::audioOpenFailed};
    FlacStreamInfo info = readFlacStreamInfo(descriptor, size);
    if (info.sampleFrames == 0 && info.sampleRate >= minimumSampleRate)
        info.sampleFrames = countFlacFrames(descriptor, size, info);
    platform::closeFile(descriptor);
    if (info.sampleFrames == 0 || info.sampleRate < minimumSampleRate)
        return {0, Problem::unrecognizedFormat};
    return measuredLength(samplesToCdFrames(static_cast<std::int64_t>(info.sampleFrames)));
}

} // namespace vorlin
