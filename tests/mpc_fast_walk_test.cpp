// The fast frame walk against the plain code-by-code parse: on valid,
// truncated, corrupt and random streams both must consume the same bits for
// every frame and reach the same result.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "mpc/frame_scanner.hpp"
#include "tests/mpc_writer.hpp"

namespace vorlin::test {
namespace {

struct Walker {
    Walker(const std::string& bytes, bool reference)
        : stream(bytes.data(), bytes.size()), scanner(new FrameScanner(stream)) {
        StreamHeader header;
        ok = readStreamHeader(header, stream) == 0;
        scanner->useReference = reference;
        scanner->resetScanner();
        scanner->loadHeader(header);
        scanner->seekToFrames();
    }
    // One step of the measuring loop; false once it ends.
    bool step(std::int32_t& samples) {
        const std::uint32_t previous = scanner->bits.wordIndex;
        samples = scanner->decodeFrame();
        scanner->refillAfterFrame(previous);
        return scanner->frameValid && samples > 0;
    }
    MemoryByteStream stream;
    std::unique_ptr<FrameScanner> scanner;
    bool ok = false;
};

// Walks `bytes` with both parses side by side; returns the frames walked.
int expectSameWalk(const std::string& bytes) {
    Walker fast(bytes, false), reference(bytes, true);
    if (!fast.ok) return 0;
    for (int frame = 0;; ++frame) {
        std::int32_t a = 0, b = 0;
        const bool goesOn = fast.step(a);
        reference.step(b);
        const BitReader& x = fast.scanner->bits;
        const BitReader& y = reference.scanner->bits;
        EXPECT_EQ(a, b) << "frame " << frame;
        EXPECT_EQ(fast.scanner->frameValid, reference.scanner->frameValid) << "frame " << frame;
        EXPECT_EQ(x.bitsConsumed(), y.bitsConsumed()) << "frame " << frame;
        EXPECT_EQ(x.wordIndex, y.wordIndex) << "frame " << frame;
        EXPECT_EQ(x.currentWord, y.currentWord) << "frame " << frame;
        if (testing::Test::HasFailure() || !goesOn) return frame;
    }
}

TEST(MpcFastWalk, MatchesThePlainParseOnValidDamagedAndRandomStreams) {
    std::mt19937 rng(5);
    const unsigned versions[] = {4, 5, 6, 7, 0x17};
    for (int i = 0; i < 1500 && !HasFailure(); ++i) {
        const unsigned version = versions[i % 5];
        StreamLayout layout = randomStream(rng, version, 1 + rng() % 6);
        std::string bytes = writeStream(layout).bytes;
        expectSameWalk(bytes);

        std::string truncated = bytes.substr(0, 32 + rng() % (bytes.size() - 31));
        expectSameWalk(truncated);

        std::string corrupt = bytes + std::string(4, '\0');
        for (int flips = 1 + rng() % 4; flips > 0; --flips)
            corrupt[28 + rng() % (corrupt.size() - 28)] ^= static_cast<char>(1u << (rng() % 8));
        expectSameWalk(corrupt);

        // A valid header over random bits: long codes, escapes and
        // resolutions out of range turn up at once.
        std::string noise = bytes.substr(0, 32);
        for (int k = 0; k < 4096; ++k) noise.push_back(static_cast<char>(rng()));
        expectSameWalk(noise);
    }
}

TEST(MpcFastWalk, MatchesThePlainParseAcrossTheRing) {
    // Realistic streams long enough to refill the ring many times.
    for (unsigned version : {6u, 7u}) {
        RealisticStream stream = realisticStream(9, version, 600'000);
        EXPECT_EQ(expectSameWalk(stream.bytes), static_cast<int>(stream.frames));
        MemoryByteStream memory(stream.bytes.data(), stream.bytes.size());
        EXPECT_EQ(measureMpcStream(memory, "long.mpc"), stream.cdFrames);
    }
}

} // namespace
} // namespace vorlin::test
