// The fast frame walk against the plain code-by-code parse: on valid,
// truncated, corrupt and random streams both must consume the same bits for
// every frame and reach the same result. The frame chain, checked on 1 to 8
// threads, must give the same answer.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "fuzz/entries.hpp"
#include "mpc/fast_syntax.hpp"
#include "mpc/fast_tables.hpp"
#include "mpc/frame_chain.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/mpc_length.hpp"
#include "tests/mpc_writer.hpp"

namespace vorlin::test {
namespace {

const char* compareWalks(const std::string& bytes, int* frames = nullptr) {
    return fuzz::compareMpcWalks(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                 frames);
}

const char* compareChain(const std::string& bytes) {
    return fuzz::compareMpcChain(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(FastSyntax, MatchesThePlainParseOnValidDamagedAndRandomStreams) {
    std::mt19937 rng(5);
    const unsigned versions[] = {4, 5, 6, 7, 0x17};
    for (int i = 0; i < 1500 && !HasFailure(); ++i) {
        const unsigned version = versions[i % 5];
        StreamLayout layout = randomStream(rng, version, 1 + rng() % 6);
        std::string bytes = writeStream(layout).bytes;
        EXPECT_EQ(compareWalks(bytes), nullptr) << "stream " << i;
        EXPECT_EQ(compareChain(bytes), nullptr) << "stream " << i;

        std::string truncated = bytes.substr(0, 32 + rng() % (bytes.size() - 31));
        EXPECT_EQ(compareWalks(truncated), nullptr) << "stream " << i << ", truncated";
        EXPECT_EQ(compareChain(truncated), nullptr) << "stream " << i << ", truncated";

        std::string corrupt = bytes + std::string(4, '\0');
        for (int flips = 1 + rng() % 4; flips > 0; --flips)
            corrupt[28 + rng() % (corrupt.size() - 28)] ^= static_cast<char>(1u << (rng() % 8));
        EXPECT_EQ(compareWalks(corrupt), nullptr) << "stream " << i << ", corrupt";
        EXPECT_EQ(compareChain(corrupt), nullptr) << "stream " << i << ", corrupt";

        // A valid header over random bits: long codes, escapes and
        // resolutions out of range turn up at once.
        std::string noise = bytes.substr(0, 32);
        for (int k = 0; k < 4096; ++k) noise.push_back(static_cast<char>(rng()));
        EXPECT_EQ(compareWalks(noise), nullptr) << "stream " << i << ", random body";
        EXPECT_EQ(compareChain(noise), nullptr) << "stream " << i << ", random body";
    }
}

TEST(FastSyntax, MatchesThePlainParseAcrossTheRing) {
    // Realistic streams long enough to refill the ring many times.
    for (unsigned version : {6u, 7u}) {
        RealisticStream stream = realisticStream(9, version, 600'000);
        int frames = 0;
        EXPECT_EQ(compareWalks(stream.bytes, &frames), nullptr);
        EXPECT_EQ(frames, static_cast<int>(stream.frames));
        EXPECT_EQ(compareChain(stream.bytes), nullptr);
        MemoryByteStream memory(stream.bytes.data(), stream.bytes.size());
        EXPECT_EQ(measureMpcStream(memory).frames, stream.cdFrames);
    }
}

// Every band of both channels plainly coded at the top resolution, each
// with three escaped scale codes: the longest bodies there are.
FrameContent hugeFrame(unsigned version) {
    FrameContent frame = silentFrame(31);
    for (int b = 0; b <= 31; ++b)
        for (ChannelBand* c : {&frame.bands[b].left, &frame.bands[b].right}) {
            c->res = version >= 7 ? (b == 0 ? 15 : 17) : b <= 10 ? 15 : b <= 22 ? 7 : 3;
            c->deltaCoded = false;
            c->scales.assign(3, ScaleCode{true, 63});
            c->samples.assign(36, 0x5A5A);
        }
    return frame;
}

// Codes of `left` (and `right`, alternating, when given) that start a run
// with lookups of exactly the index's width up to the last before a refill,
// which meets a code longer than the index: the most bits one refill serves.
std::vector<int> fullRefillThenLongCode(const CodeBook& left, const CodeBook* right) {
    const CodeBook& other = right ? *right : left;
    auto unitLength = [&](int l, int r) {
        return left.code(l).length + (right ? other.code(r).length : 0);
    };
    // A unit (a code, or a left/right pair) of every length there is.
    std::map<unsigned, std::pair<int, int>> byLength;
    for (int l = left.minValue; l <= left.maxValue; ++l)
        for (int r = other.minValue; r <= other.maxValue; ++r) byLength[unitLength(l, r)] = {l, r};
    const auto [shortL, shortR] = byLength.begin()->second;
    const auto [longL, longR] = byLength.rbegin()->second;
    // One unit as long as the index, or two together.
    const unsigned width = RunTable::indexBits;
    std::vector<int> group;
    for (const auto& [length, unit] : byLength)
        if (length == width) {
            group = {unit.first, unit.second};
        } else if (auto rest = byLength.find(width - length);
                   length < width && rest != byLength.end()) {
            group = {unit.first, unit.second, rest->second.first, rest->second.second};
        }
    EXPECT_FALSE(group.empty()) << left.name;
    std::vector<int> units;
    for (int k = 1; k < RunTable::lookupsPerRefill; ++k)
        units.insert(units.end(), group.begin(), group.end());
    units.insert(units.end(), {longL, longR});
    while (units.size() < 72) units.insert(units.end(), {shortL, shortR});
    return units;
}

TEST(FastSyntax, MatchesThePlainParseWhenALongCodeEndsAFullRefill) {
    struct Case {
        unsigned version;
        int leftRes, rightRes, set; // version 7: both channels, one table
    };
    for (const Case& c : {Case{7, 7, 7, 1}, Case{7, 6, 6, 1}, Case{6, 7, 6, 0}, Case{6, 6, 7, 0}}) {
        SCOPED_TRACE(testing::Message() << c.version << ": " << c.leftRes << "/" << c.rightRes);
        const bool sv7 = c.version == 7;
        const CodeBook& left = sv7 ? sv7QuantBook(c.leftRes, c.set) : sv6QuantBook(c.leftRes);
        const CodeBook& right = sv7 ? left : sv6QuantBook(c.rightRes);
        const std::vector<int> units = fullRefillThenLongCode(left, sv7 ? nullptr : &right);
        FrameContent frame = silentFrame(31);
        frame.bands[1].left.escapeRes = frame.bands[1].right.escapeRes = true; // back to 0
        for (int side = 0; side < 2; ++side) {
            ChannelBand& band = side ? frame.bands[0].right : frame.bands[0].left;
            band.res = side ? c.rightRes : c.leftRes;
            band.set = c.set;
            band.scales.assign(3, ScaleCode{});
            // Version 7 writes the channels one after the other, versions 4
            // to 6 alternate them: the units' left values, then their right.
            for (std::size_t i = sv7 ? 0 : side; i < units.size(); i += sv7 ? 1 : 2)
                band.samples.push_back(units[i]);
            band.samples.resize(36);
        }
        StreamLayout layout;
        layout.shape = {c.version, false, 31};
        layout.frames.assign(5, frame);
        const std::string bytes = writeStream(layout).bytes;
        EXPECT_EQ(compareWalks(bytes), nullptr);
        EXPECT_EQ(compareChain(bytes), nullptr);
        MemoryByteStream memory(bytes.data(), bytes.size());
        EXPECT_EQ(measureMpcStream(memory).frames, expectedCdFrames(layout));
    }
}

TEST(FrameChain, MatchesTheRingWalkAtTheEdges) {
    std::mt19937 rng(11);
    for (unsigned version : {4u, 5u, 6u, 7u, 0x17u}) {
        SCOPED_TRACE(version);
        // Frame counts short of, equal to and beyond the frames written.
        StreamLayout layout = randomStream(rng, version, 5);
        for (std::uint32_t stated : {0u, 1u, 4u, 5u, 6u, 1000u, 0xFFFFFFFFu}) {
            layout.headerFrames = stated;
            EXPECT_EQ(compareChain(writeStream(layout).bytes), nullptr) << stated << " frames";
        }
        // Silent frames: no scale codes and no samples at all.
        StreamLayout silent;
        silent.shape = {version, true, 31};
        silent.frames.assign(3, silentFrame(31));
        EXPECT_EQ(compareWalks(writeStream(silent).bytes), nullptr);
        EXPECT_EQ(compareChain(writeStream(silent).bytes), nullptr);
        // Bodies near the longest, each longer than a small chunk.
        StreamLayout huge;
        huge.shape = {version, true, 31};
        huge.frames.assign(4, hugeFrame(version));
        WrittenStream w = writeStream(huge);
        EXPECT_GT(w.frameBodyBits[0], 38'000u);
        EXPECT_LE(w.frameBodyBits[0], maxFrameBodyBits);
        EXPECT_EQ(compareChain(w.bytes), nullptr);
        MemoryByteStream memory(w.bytes.data(), w.bytes.size());
        EXPECT_EQ(measureMpcStream(memory).frames, expectedCdFrames(huge));
    }
    // The count after the last frame, with and without an extra gapless frame.
    for (unsigned count : {0u, 670u, 671u, 1822u, 1823u})
        for (bool gapless : {false, true}) {
            StreamLayout layout = randomStream(rng, 7, 3);
            layout.lastFrameSamples = count;
            layout.trueGapless = gapless;
            const std::string bytes = writeStream(layout).bytes;
            EXPECT_EQ(compareChain(bytes), nullptr) << count;
            MemoryByteStream memory(bytes.data(), bytes.size());
            EXPECT_EQ(measureMpcStream(memory).frames, expectedCdFrames(layout)) << count;
        }
}

// Threads sharing a stream take chunks that shrink towards its end, and
// the buffers and threads are kept from one stream to the next: streams of
// several sizes, whole, cut and damaged late (where the chunks are small),
// one after another on 1 to 3 threads, give the ring walk's answer.
TEST(FrameChain, SharedStreamsInShrinkingChunksMatchTheRingWalk) {
    std::mt19937 rng(23);
    for (std::size_t bytes : {70'000u, 300'000u, 1'500'000u})
        for (unsigned version : {6u, 7u}) {
            std::string whole = realisticStream(rng(), version, bytes).bytes;
            std::string late = whole; // 600 bytes overwritten near the end
            late.replace(late.size() - 600 - rng() % 20'000, 600, 600, '\x5A');
            std::string cut = whole.substr(0, whole.size() - rng() % 50'000);
            for (const std::string* stream : {&whole, &late, &cut}) {
                MemoryByteStream memory(stream->data(), stream->size());
                StreamHeader header;
                ASSERT_EQ(readStreamHeader(header, memory), 0);
                const std::int64_t ring = ringWalkSamples(memory, header);
                for (unsigned threads : {2u, 1u, 3u, 0u})
                    EXPECT_EQ(chainSamples(memory, header, {threads}), ring)
                        << bytes << " bytes, version " << version << ", " << threads << " threads, "
                        << (stream == &whole  ? "whole"
                            : stream == &late ? "damaged"
                                              : "cut");
            }
        }
}

} // namespace
} // namespace vorlin::test
