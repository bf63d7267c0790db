// The ring-buffered bit reader of the frame area.
#include <gtest/gtest.h>

#include <memory>

#include "mpc/frame_scanner.hpp"
#include "mpc_writer.hpp"

namespace vorlin::test {
namespace {

// Records the size of every read.
class CountingStream : public ByteStream {
  public:
    explicit CountingStream(const std::string& bytes) : inner_(bytes.data(), bytes.size()) {}
    std::int32_t read(void* destination, std::int32_t count) override {
        reads.push_back(count);
        return inner_.read(destination, count);
    }
    int seek(std::int32_t offset, int origin) override { return inner_.seek(offset, origin); }
    std::int32_t tell() override { return inner_.tell(); }
    std::vector<std::int32_t> reads;

  private:
    MemoryByteStream inner_;
};

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    return bytes;
}

std::uint32_t wordAt(const std::string& bytes, std::size_t byte) {
    std::uint32_t w = 0;
    for (int i = 3; i >= 0; --i)
        w = w << 8 | std::uint8_t(byte + i < bytes.size() ? bytes[byte + i] : 0);
    return w;
}

TEST(BitReader, ReadsWordsLittleEndianFromTheTopBit) {
    std::string bytes = "\x12\x34\x56\x78\x9A\xBC\xDE\xF0";
    MemoryByteStream stream(bytes.data(), bytes.size());
    auto r = std::make_unique<BitReader>();
    r->stream = &stream;
    r->startAt(0, 0);
    EXPECT_EQ(r->readBits(0), 0u);
    EXPECT_EQ(r->bitsConsumed(), 0u);
    EXPECT_EQ(r->readBits(8), 0x78u);
    EXPECT_EQ(r->readBits(16), 0x5634u);
    EXPECT_EQ(r->readBits(16), 0x12F0u);
    EXPECT_EQ(r->peekWindow(14), 0xDEBC9A00u);
    EXPECT_EQ(r->bitsConsumed(), 40u);
    EXPECT_EQ(r->readBits(24), 0xDEBC9Au);
    EXPECT_EQ(r->wordIndex, 2u); // ended exactly on a word boundary
    EXPECT_EQ(r->bitPos, 0u);
    EXPECT_EQ(r->wordsConsumed, 2u);
    EXPECT_EQ(r->readBits(32), 0u) << "past the data the ring holds zeros";

    r->resetBits();
    r->startAt(4, 0);
    EXPECT_EQ(r->readBits(32), 0xF0DEBC9Au);
    EXPECT_EQ(r->bitsConsumed(), 32u);
    r->skipBits(31);
    r->skipBits(1);
    EXPECT_EQ(r->wordIndex, 2u);
    EXPECT_EQ(bitMask[0], 0u);
    EXPECT_EQ(bitMask[32], 0xFFFFFFFFu);
}

TEST(BitReader, ReadStraddlingTheLastWordAndWordZero) {
    auto r = std::make_unique<BitReader>();
    r->ring[ringMask] = 0x0000ABCD;
    r->ring[0] = 0x12345678;
    r->wordIndex = ringMask;
    r->currentWord = r->ring[ringMask];
    r->bitPos = 24;
    EXPECT_EQ(r->peekWindow(14), 0xCD123456u);
    EXPECT_EQ(r->readBits(16), 0xCD12u);
    EXPECT_EQ(r->wordIndex, 0u);
    EXPECT_EQ(r->bitPos, 8u);
    EXPECT_EQ(r->bitsConsumed(), 40u);
}

TEST(BitReader, SeekToFramesPerVersion) {
    std::string bytes = patternBytes(300);
    for (auto [version, skipped, firstByte] :
         {std::tuple{4u, 16u, 4}, {5u, 0u, 8}, {6u, 0u, 8}, {7u, 8u, 24}, {0x17u, 8u, 24}}) {
        SCOPED_TRACE(version);
        MemoryByteStream stream(bytes.data(), bytes.size());
        auto s = std::make_unique<FrameScanner>(stream);
        StreamHeader h;
        h.streamVersion = version;
        h.headerPos = 10;
        EXPECT_TRUE(s->start(h));
        EXPECT_EQ(s->bits().bitsConsumed(), skipped);
        EXPECT_EQ(s->bits().ring[0], wordAt(bytes, 10 + firstByte));
        EXPECT_EQ(s->bits().readBits(8), std::uint8_t(bytes[10 + firstByte + 3 - skipped / 8]));
    }
    MemoryByteStream stream(bytes.data(), bytes.size());
    auto s = std::make_unique<FrameScanner>(stream);
    StreamHeader h;
    h.streamVersion = 8;
    EXPECT_FALSE(s->start(h));
}

TEST(BitReader, RefillsExactlyTheHalfThatWasLeft) {
    std::string bytes = patternBytes(65536 + 32768 + 100);
    CountingStream stream(bytes);
    auto r = std::make_unique<BitReader>();
    r->stream = &stream;
    r->startAt(0, 0);
    ASSERT_EQ(stream.reads.size(), 1u);
    EXPECT_EQ(stream.reads[0], 65536);

    // Staying inside the lower half reads nothing.
    std::uint32_t before = r->wordIndex;
    for (int i = 0; i < 8191; ++i) r->readBits(32);
    r->refillAfterFrame(before);
    EXPECT_EQ(stream.reads.size(), 1u);

    // Crossing into the upper half refills the lower half with the next 32 KiB.
    before = r->wordIndex;
    r->readBits(20);
    r->readBits(20);
    r->refillAfterFrame(before);
    ASSERT_EQ(stream.reads.size(), 2u);
    EXPECT_EQ(stream.reads[1], 32768);
    EXPECT_EQ(r->ring[0], wordAt(bytes, 65536));
    EXPECT_EQ(r->ring[8191], wordAt(bytes, 65536 + 32764));

    // Wrapping from word 16383 to word 0 refills the upper half; only 100
    // bytes remain, the rest of the half becomes zero.
    while (r->wordIndex != ringMask) r->readBits(32);
    before = r->wordIndex;
    r->readBits(16);
    EXPECT_EQ(r->readBits(16), (wordAt(bytes, 65532) & 0xFF) << 8 | wordAt(bytes, 65536) >> 24);
    r->refillAfterFrame(before);
    ASSERT_EQ(stream.reads.size(), 3u);
    EXPECT_EQ(stream.reads[2], 32768);
    EXPECT_EQ(r->ring[halfWords], wordAt(bytes, 98304));
    EXPECT_EQ(r->ring[halfWords + 24], wordAt(bytes, 98304 + 96));
    EXPECT_EQ(r->ring[halfWords + 25], 0u);
    EXPECT_EQ(r->ring[ringMask], 0u);
}

} // namespace
} // namespace vorlin::test
