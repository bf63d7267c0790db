// The MPC stream header: ID3v2 tag skipping and the two header families.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "audio/length.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/stream_header.hpp"
#include "mpc_writer.hpp"
#include "test_support.hpp"

namespace vorlin::test {
namespace {

int readHeader(const std::string& bytes, StreamHeader& h) {
    MemoryByteStream stream(bytes.data(), bytes.size());
    return readStreamHeader(h, stream);
}

// "MP+", any version byte, and the fields read from a version 7 header.
std::string sv7Header(unsigned versionByte, std::uint32_t frames, unsigned maxBand, bool ms,
                      bool gapless) {
    return le32(0x2B504Du | versionByte << 24) + le32(frames) +
           le32((ms ? 1u << 30 : 0u) | maxBand << 24) + le32(0) + le32(0) +
           le32(gapless ? 1u << 31 : 0u) + le32(0) + le32(0);
}

std::string sz(char a, char b, char c, char d) {
    return {a, b, c, d};
}

std::string oldHeader(unsigned bitRate, unsigned intensity, unsigned ms, unsigned version,
                      unsigned maxBand, unsigned blockSize, std::uint32_t w1 = 0) {
    return le32(bitRate << 23 | intensity << 22 | ms << 21 | version << 11 | maxBand << 6 |
                blockSize) +
           le32(w1) + std::string(24, '\0');
}

std::string id3(unsigned char flags, const std::string& size, unsigned char major = 3) {
    return std::string("ID3") + char(major) + '\0' + char(flags) + size;
}

TEST(ByteStream, FileAndMemoryStreamsReadLikeStdio) {
    TempDir dir;
    writeFile(dir.file("ten.bin"), "0123456789");
    FileByteStream file(std::fopen(dir.file("ten.bin").c_str(), "rb"));
    MemoryByteStream memory("0123456789", 10);
    for (ByteStream* s : {static_cast<ByteStream*>(&file), static_cast<ByteStream*>(&memory)}) {
        char buffer[16];
        EXPECT_EQ(s->seek(0, 2), 0);
        EXPECT_EQ(s->tell(), 10);
        EXPECT_EQ(s->read(buffer, 4), 0);
        EXPECT_EQ(s->seek(7, 0), 0);
        EXPECT_EQ(s->read(buffer, 8), 3);
        EXPECT_EQ(std::string(buffer, 3), "789");
        EXPECT_EQ(s->seek(100, 0), 0);
        EXPECT_EQ(s->read(buffer, 1), 0);
    }
    FileByteStream none(nullptr); // closes nothing
}

TEST(StreamHeader, Sv7FieldsAndTagPositions) {
    StreamHeader h;
    ASSERT_EQ(readHeader(sv7Header(7, 1234, 31, true, true), h), headerAccepted);
    EXPECT_EQ(h.headerPos, 0);
    EXPECT_EQ(h.streamVersion, 7u);
    EXPECT_EQ(h.frames, 1234u);
    EXPECT_EQ(h.maxBand, 31u);
    EXPECT_EQ(h.midSideStereo, 1u);
    EXPECT_EQ(h.trueGapless, 1u);
    EXPECT_EQ(h.blockSize, 1u);
    EXPECT_EQ(h.bitRate, 0u);

    StreamHeader h17;
    ASSERT_EQ(readHeader(sv7Header(0x17, 5, 0, false, false), h17), headerAccepted);
    EXPECT_EQ(h17.streamVersion, 0x17u);
    EXPECT_EQ(h17.midSideStereo, 0u);
    EXPECT_EQ(h17.trueGapless, 0u);

    for (bool footer : {false, true}) {
        StreamLayout layout;
        layout.headerFrames = 9;
        layout.id3Size = 257; // size bytes 00 00 02 01
        layout.id3Footer = footer;
        WrittenStream w = writeStream(layout);
        EXPECT_EQ(w.bytes.substr(6, 4), std::string("\0\0\x02\x01", 4));
        StreamHeader t;
        EXPECT_EQ(readHeader(w.bytes, t), headerAccepted);
        EXPECT_EQ(t.headerPos, footer ? 277 : 267);
        EXPECT_EQ(t.frames, 9u);
    }
}

TEST(StreamHeader, ResultCodes) {
    struct Case {
        const char* what;
        std::string bytes;
        int result;
    };
    std::string sv7 = sv7Header(7, 10, 20, false, false);
    const Case cases[] = {
        {"empty file", "", headerReadFailed},
        {"3 bytes", "MP+", headerReadFailed},
        {"short tag", std::string("ID3\3\0\0\0\0", 8), headerReadFailed},
        {"tag flags low bits", id3(0x01, sz(0, 0, 0, 0)) + sv7, headerReadFailed},
        {"tag flags bit 3", id3(0x08, sz(0, 0, 0, 0)) + sv7, headerReadFailed},
        {"tag size byte 0x80", id3(0, sz(0, 0, 0, char(0x80))) + sv7, headerReadFailed},
        {"tag past the end", id3(0, sz(0x7F, 0, 0, 0)) + sv7, headerReadFailed},
        {"second tag, major 3", id3(0, sz(0, 0, 0, 0)) + id3(0, sz(0, 0, 0, 0)) + sv7,
         headerBitRateSet},
        {"second tag, major 0", id3(0, sz(0, 0, 0, 0)) + id3(0, sz(0, 0, 0, 0), 0) + sv7,
         headerBlockSize},
        {"sv7 of 31 bytes", sv7.substr(0, 31), headerReadFailed},
        {"0x08", sv7Header(0x08, 1, 1, false, false), headerNewerVersion},
        {"0x18", sv7Header(0x18, 1, 1, false, false), headerNewerVersion},
        {"0xFF", sv7Header(0xFF, 1, 1, false, false), headerNewerVersion},
        {"sv7 maxBand 32", sv7Header(7, 1, 32, false, false), headerTooManyBands},
        {"0x67 maxBand 63", sv7Header(0x67, 1, 63, true, false), headerTooManyBands},
        {"old version 7", oldHeader(5, 1, 0, 7, 31, 3), headerNewerVersion},
        {"old bit rate", oldHeader(1, 1, 0, 6, 31, 3), headerBitRateSet},
        {"old intensity", oldHeader(0, 1, 0, 6, 31, 3), headerIntensityStereo},
        {"old block size 0", oldHeader(0, 0, 0, 6, 31, 0), headerBlockSize},
        {"old block size 2", oldHeader(0, 0, 0, 4, 31, 2), headerBlockSize},
        {"old version 8", oldHeader(0, 0, 0, 8, 31, 1), headerBadVersion},
        {"old version 0", oldHeader(0, 0, 0, 0, 31, 1), headerBadVersion},
        {"old header of 31 bytes", oldHeader(0, 0, 0, 6, 31, 1).substr(0, 31), headerReadFailed},
    };
    for (const Case& c : cases) {
        StreamHeader h;
        EXPECT_EQ(readHeader(c.bytes, h), c.result) << c.what;
    }
}

TEST(StreamHeader, VersionBytesThatReadNothingMore) {
    for (unsigned v : {0x04u, 0x05u, 0x06u, 0x77u, 0xF7u}) {
        StreamHeader h;
        EXPECT_EQ(readHeader(sv7Header(v, 500, 20, true, true), h), headerAccepted) << v;
        EXPECT_EQ(h.streamVersion, v);
        EXPECT_EQ(h.frames, 0u);
        EXPECT_EQ(h.maxBand, 0u);
        EXPECT_EQ(h.trueGapless, 0u);
    }
}

TEST(StreamHeader, OldHeaderFrameCounts) {
    StreamHeader h4, h5, h6, h3;
    ASSERT_EQ(readHeader(oldHeader(0, 0, 1, 4, 17, 1, 100u << 16 | 0xBEEF), h4), headerAccepted);
    EXPECT_EQ(h4.frames, 99u);
    EXPECT_EQ(h4.maxBand, 17u);
    EXPECT_EQ(h4.midSideStereo, 1u);
    EXPECT_EQ(h4.streamVersion, 4u);
    ASSERT_EQ(readHeader(oldHeader(0, 0, 0, 5, 31, 1, 100), h5), headerAccepted);
    EXPECT_EQ(h5.frames, 99u);
    EXPECT_EQ(h5.midSideStereo, 0u);
    ASSERT_EQ(readHeader(oldHeader(0, 0, 0, 6, 31, 1, 100), h6), headerAccepted);
    EXPECT_EQ(h6.frames, 100u);
    EXPECT_EQ(readHeader(oldHeader(0, 0, 0, 3, 31, 1, 100u << 16), h3), headerBadVersion);
    EXPECT_EQ(h3.frames, 99u);
}

TEST(MpcLength, MeasurerMessages) {
    VORLIN_SKIP_ON_WINDOWS("FIFOs");
    TempDir dir;
    std::string bad = dir.file("bad.mpc");
    writeFile(bad, sv7Header(7, 1, 40, false, false));
    std::string sub = dir.file("sub.mpc");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    std::string fifo = dir.file("pipe.mp+");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string missing = dir.file("missing.mpc");
    CdFrames a = 1, b = 1, c = 1, d = 1;
    std::string out = measureMessage(bad, a) + measureMessage(sub, b) +
                      measureMessage(fifo, c) + // never blocks: a FIFO is not opened
                      measureMessage(missing, d);
    EXPECT_EQ(a + b + c + d, 0);
    EXPECT_EQ(out, "'" + bad + "': unrecognized format\n'" + sub + "': file open failed\n'" + fifo +
                       "': file open failed\n'" + missing + "': file open failed\n");
}

} // namespace
} // namespace vorlin::test
