// The fast frame walk against the plain code-by-code parse: on valid,
// truncated, corrupt and random streams both must consume the same bits for
// every frame and reach the same result.
#include <gtest/gtest.h>

#include <random>

#include "fuzz/entries.hpp"
#include "mpc/frame_scanner.hpp"
#include "tests/mpc_writer.hpp"

namespace vorlin::test {
namespace {

const char* compareWalks(const std::string& bytes, int* frames = nullptr) {
    return fuzz::compareMpcWalks(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                 frames);
}

TEST(MpcFastWalk, MatchesThePlainParseOnValidDamagedAndRandomStreams) {
    std::mt19937 rng(5);
    const unsigned versions[] = {4, 5, 6, 7, 0x17};
    for (int i = 0; i < 1500 && !HasFailure(); ++i) {
        const unsigned version = versions[i % 5];
        StreamLayout layout = randomStream(rng, version, 1 + rng() % 6);
        std::string bytes = writeStream(layout).bytes;
        EXPECT_EQ(compareWalks(bytes), nullptr) << "stream " << i;

        std::string truncated = bytes.substr(0, 32 + rng() % (bytes.size() - 31));
        EXPECT_EQ(compareWalks(truncated), nullptr) << "stream " << i << ", truncated";

        std::string corrupt = bytes + std::string(4, '\0');
        for (int flips = 1 + rng() % 4; flips > 0; --flips)
            corrupt[28 + rng() % (corrupt.size() - 28)] ^= static_cast<char>(1u << (rng() % 8));
        EXPECT_EQ(compareWalks(corrupt), nullptr) << "stream " << i << ", corrupt";

        // A valid header over random bits: long codes, escapes and
        // resolutions out of range turn up at once.
        std::string noise = bytes.substr(0, 32);
        for (int k = 0; k < 4096; ++k) noise.push_back(static_cast<char>(rng()));
        EXPECT_EQ(compareWalks(noise), nullptr) << "stream " << i << ", random body";
    }
}

TEST(MpcFastWalk, MatchesThePlainParseAcrossTheRing) {
    // Realistic streams long enough to refill the ring many times.
    for (unsigned version : {6u, 7u}) {
        RealisticStream stream = realisticStream(9, version, 600'000);
        int frames = 0;
        EXPECT_EQ(compareWalks(stream.bytes, &frames), nullptr);
        EXPECT_EQ(frames, static_cast<int>(stream.frames));
        MemoryByteStream memory(stream.bytes.data(), stream.bytes.size());
        EXPECT_EQ(measureMpcStream(memory, "long.mpc"), stream.cdFrames);
    }
}

} // namespace
} // namespace vorlin::test
