#include "mpc/sv8_reader.hpp"

#include <algorithm>
#include <cstring>

#include "mpc/frame_format.hpp"
#include "mpc/stream_header.hpp"

namespace vorlin {

namespace {

constexpr std::size_t maxNumberBytes = 9;

// A packet's key and size field, and the stream header payload's fields.
constexpr std::size_t packetHeadBytes = 2 + maxNumberBytes;
constexpr std::size_t headerPayloadBytes = 4 + 1 + 2 * maxNumberBytes + 2;

// Decodes a variable-length number from at most `available` bytes: 7 bits a
// byte, most significant first, a set top bit meaning another byte follows.
// Returns its length, 1 to 9, or 0 when it needs a byte past `available` or a
// tenth byte. Nine bytes hold 63 bits, so the value cannot overflow.
std::size_t readNumber(const std::uint8_t* bytes, std::size_t available, std::uint64_t& value) {
    value = 0;
    for (std::size_t i = 0; i < available && i < maxNumberBytes; ++i) {
        value = value << 7 | (bytes[i] & 0x7F);
        if ((bytes[i] & 0x80) == 0) return i + 1;
    }
    return 0;
}

bool isKeyLetter(std::uint8_t c) {
    return c >= 'A' && c <= 'Z';
}

// Reads a source front to back through a small buffer, so that a walk over
// many small packets costs one read per buffer, not one per packet, and a
// walk over large ones reads little more than their heads.
class Window {
  public:
    explicit Window(ByteStream& stream) : stream_(stream) {}

    // Copies up to `count` bytes at `offset` (count at most the buffer's
    // size) to `out`; returns how many the source holds there.
    std::size_t get(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        if (offset < start_ || offset - start_ > length_ || length_ - (offset - start_) < count) {
            start_ = offset;
            length_ = static_cast<std::size_t>(std::max<std::int64_t>(
                stream_.readAt(buffer_, sizeof buffer_, static_cast<std::int64_t>(offset)), 0));
        }
        const std::size_t skip = static_cast<std::size_t>(offset - start_);
        const std::size_t n = std::min(count, length_ - skip);
        std::memcpy(out, buffer_ + skip, n);
        return n;
    }

  private:
    ByteStream& stream_;
    std::uint64_t start_ = 0;
    std::size_t length_ = 0;
    std::uint8_t buffer_[4096];
};

// What the walk gathers: the first stream header's fields and the count of
// audio packets.
struct Sv8Stream {
    bool haveHeader = false;
    std::uint64_t samples = 0;
    std::uint64_t silence = 0;
    unsigned blockFrames = 0; // each audio packet holds 4^blockFrames frames
    std::uint64_t audioPackets = 0;
};

// Reads the stream header payload: CRC and version (skipped), sample count,
// beginning silence, then two bytes of flags whose last 3 bits are the block
// frames. False when the payload ends before them.
bool readHeaderPayload(const std::uint8_t* payload, std::size_t size, Sv8Stream& stream) {
    std::size_t at = 5;
    if (size < at) return false;
    std::size_t n = readNumber(payload + at, size - at, stream.samples);
    if (n == 0) return false;
    at += n;
    n = readNumber(payload + at, size - at, stream.silence);
    if (n == 0) return false;
    at += n;
    if (size - at < 2) return false;
    stream.blockFrames = payload[at + 1] & 7;
    stream.haveHeader = true;
    return true;
}

// Walks the packets from `offset`, just after the magic, to the stream end
// packet. False on a packet that is not well formed, an audio packet before
// the stream header, or a source that ends first. Every packet takes at least
// 3 bytes, so the walk ends.
bool walkPackets(ByteStream& source, std::uint64_t offset, std::uint64_t end, Sv8Stream& stream) {
    Window window(source);
    while (offset < end) {
        std::uint8_t head[packetHeadBytes];
        const std::size_t got = window.get(offset, head, sizeof head);
        std::uint64_t size = 0;
        const std::size_t sizeBytes = got > 2 ? readNumber(head + 2, got - 2, size) : 0;
        if (sizeBytes == 0 || !isKeyLetter(head[0]) || !isKeyLetter(head[1])) return false;
        const std::uint64_t headBytes = 2 + sizeBytes;
        if (size < headBytes || size > end - offset) return false;

        const auto isKey = [&](const char* key) { return head[0] == key[0] && head[1] == key[1]; };
        if (isKey("SE")) return true;
        if (isKey("SH") && !stream.haveHeader) {
            std::uint8_t payload[headerPayloadBytes];
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - headBytes, sizeof payload));
            const std::size_t n = window.get(offset + headBytes, payload, want);
            if (!readHeaderPayload(payload, n, stream)) return false;
        } else if (isKey("AP")) {
            if (!stream.haveHeader) return false;
            ++stream.audioPackets;
        }
        offset += size;
    }
    return false;
}

// ceil(ceil(samples / 1152) / 4^blockFrames): the last packet may hold fewer frames.
std::uint64_t expectedAudioPackets(const Sv8Stream& stream) {
    constexpr std::uint64_t perFrame = samplesPerFrame;
    const std::uint64_t frames = (stream.samples + perFrame - 1) / perFrame;
    const std::uint64_t perPacket = std::uint64_t{1} << (2 * stream.blockFrames);
    return (frames + perPacket - 1) / perPacket;
}

// samplesToCdFrames taken in whole seconds first, so that no count (up to
// 2^63) overflows the product.
CdFrames cdFramesOf(std::uint64_t samples) {
    return static_cast<CdFrames>(samples / 44100 * 75) +
           samplesToCdFrames(static_cast<std::int64_t>(samples % 44100));
}

} // namespace

std::optional<std::int64_t> sv8Start(ByteStream& source) {
    std::uint8_t tag[10];
    const std::int64_t tagBytes = std::max<std::int64_t>(source.readAt(tag, sizeof tag, 0), 0);
    MemoryByteStream tagStream(tag, static_cast<std::size_t>(tagBytes));
    const std::int32_t start = id3v2TagSize(tagStream);
    std::uint8_t magic[4];
    if (start < 0 || source.readAt(magic, 4, start) != 4 || std::memcmp(magic, "MPCK", 4) != 0)
        return std::nullopt;
    return start;
}

std::optional<CdFrames> sv8Length(ByteStream& source, std::int64_t start) {
    Sv8Stream stream;
    const std::int64_t end = source.size();
    if (end > 0 &&
        walkPackets(source, static_cast<std::uint64_t>(start) + 4, static_cast<std::uint64_t>(end),
                    stream) &&
        stream.haveHeader && stream.samples != 0 && stream.silence <= stream.samples &&
        stream.audioPackets == expectedAudioPackets(stream))
        return cdFramesOf(stream.samples - stream.silence);
    return std::nullopt;
}

} // namespace vorlin
