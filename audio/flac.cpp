#include "audio/flac.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/platform.hpp"

namespace vorlin {

namespace {

// Declared rates below this are header misreads, not audio.
constexpr std::uint32_t minimumSampleRate = 8000;

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

std::uint32_t bigEndian32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

// The bytes an ID3v2 tag takes from the `n` bytes of its header at hand:
// its stated size, the 10-byte header and a footer when flagged. A header
// cut short or a size with a byte of 128 or more counts as an empty tag.
std::int64_t id3v2Bytes(const std::uint8_t* header, std::size_t n) {
    if (n < 10) return 10;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (header[i] >= 0x80) return 10;
        size = size << 7 | header[i];
    }
    return size + 10 + ((header[5] & 0x10) ? 10 : 0);
}

bool startsWithId3(const std::uint8_t* bytes, std::size_t n) {
    return n >= 3 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3';
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
    for (std::int64_t position = magic + 4;; first = false) {
        if (file.at(position, 4, bytes) < 4) return {};
        const std::uint8_t head = bytes[0];
        const std::uint32_t length = bigEndian32(bytes) & 0xFFFFFF;
        const std::uint8_t type = head & 0x7F;
        if (first && type != streamInfoType) return {};
        if (length == 0 && type != paddingType && type != seekTableType) return {};
        const std::int64_t body = position + 4;
        if (file.size() - body < length) return {};
        if (first && length >= 18 && file.at(body + 10, 8, bytes) == 8) {
            const std::uint32_t flags = bigEndian32(bytes);
            info.sampleRate = flags >> 12;
            info.sampleFrames = std::uint64_t{flags & 0xF} << 32 | bigEndian32(bytes + 4);
        }
        position = body + length;
        if (head & 0x80) break; // the last metadata block
    }
    return info;
}

AudioLength flacLengthFrames(const std::string& path) {
    std::int64_t size = 0;
    const int descriptor = openRegularDescriptor(path, &size);
    if (descriptor < 0) return {0, Problem::audioOpenFailed};
    const FlacStreamInfo info = readFlacStreamInfo(descriptor, size);
    platform::closeFile(descriptor);
    if (info.sampleFrames == 0 || info.sampleRate < minimumSampleRate)
        return {0, Problem::unrecognizedFormat};
    return measuredLength(samplesToCdFrames(static_cast<std::int64_t>(info.sampleFrames)));
}

} // namespace vorlin
