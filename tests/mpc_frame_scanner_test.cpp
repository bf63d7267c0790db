// Frame scanning: both frame syntaxes bit-exactly, the length check, the
// sample count, the ring refills of long streams and the bundled MPC files.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "audio/length.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/mpc_length.hpp"
#include "mpc_writer.hpp"
#include "test_support.hpp"

namespace vorlin::test {
namespace {

CdFrames measure(const std::string& bytes) {
    MemoryByteStream stream(bytes.data(), bytes.size());
    return measureMpcStream(stream).frames;
}

struct Walk {
    std::uint32_t framesDecoded = 0;
    std::uint32_t frameValid = 0;
    std::uint64_t endBit = 0; // where the reader stopped, in bits from the header position
    std::int64_t samples = 0;
};

// Walks the frames the way the measurer does, keeping the scanner's view.
Walk walk(ByteStream& stream) {
    StreamHeader h;
    EXPECT_EQ(readStreamHeader(h, stream), headerAccepted);
    auto s = std::make_unique<FrameScanner>(stream);
    s->start(h);
    Walk w;
    for (;;) {
        std::int32_t r = s->nextFrame();
        if (!s->frameValid() || r <= 0) break;
        w.samples += r;
    }
    unsigned seekBits = h.streamVersion == 4 ? 32 : h.streamVersion < 7 ? 64 : 192;
    w.framesDecoded = s->framesDecoded();
    w.frameValid = s->frameValid();
    w.endBit = s->bits().bitsConsumed() + seekBits;
    return w;
}

Walk walk(const std::string& bytes) {
    MemoryByteStream stream(bytes.data(), bytes.size());
    return walk(stream);
}

// Valid at its true length, invalid one bit shorter or longer in any frame.
void expectExactLengths(StreamLayout layout) {
    WrittenStream w = writeStream(layout);
    EXPECT_EQ(measure(w.bytes), expectedCdFrames(layout));
    Walk full = walk(w.bytes);
    EXPECT_EQ(full.samples, expectedSamples(layout.shape.version,
                                            static_cast<std::uint32_t>(layout.frames.size()),
                                            layout.lastFrameSamples));
    EXPECT_EQ(full.endBit, w.totalBits) << "the reader stopped elsewhere than the writer";
    for (int error : {-1, 1}) {
        layout.lengthError = {{layout.frames.size() - 1, error}};
        EXPECT_EQ(measure(writeStream(layout).bytes), 0) << "length error " << error;
    }
}

StreamLayout oneFrame(unsigned version, bool ms, int maxBand, const FrameContent& frame) {
    StreamLayout layout;
    layout.shape = {version, ms, maxBand};
    layout.frames = {frame};
    return layout;
}

TEST(FrameScanner, SilentFramesHaveTheirFixedLengths) {
    for (bool ms : {false, true}) {
        BitWriter sv7, sv6;
        writeSv7Body(sv7, silentFrame(31), {7, ms, 31});
        EXPECT_EQ(sv7.bitCount(), 70u);
        writeSv46Body(sv6, silentFrame(31), {6, ms, 31});
        EXPECT_EQ(sv6.bitCount(), ms ? 164u : 132u);
        for (unsigned version : {4u, 5u, 6u, 7u, 0x17u}) {
            SCOPED_TRACE(version);
            StreamLayout layout = oneFrame(version, ms, 31, silentFrame(31));
            EXPECT_EQ(measure(writeStream(layout).bytes), 1); // 671 samples
            expectExactLengths(layout);
            layout.shape.maxBand = 0;
            layout.frames = {silentFrame(0)};
            expectExactLengths(layout);
        }
    }
}

TEST(FrameScanner, LastFrameCounts) {
    StreamLayout hundred;
    hundred.frames.assign(100, silentFrame(31));
    hundred.lastFrameSamples = 1000;
    EXPECT_EQ(measure(writeStream(hundred).bytes), 195);

    const std::pair<unsigned, std::int64_t> counts[] = {{0, 1633},    {670, 1151},  {671, 1152},
                                                        {1822, 2303}, {1823, 1152}, {2047, 1376}};
    for (auto [count, lastFrame] : counts)
        for (bool gapless : {false, true}) {
            SCOPED_TRACE(count);
            std::mt19937 rng(count);
            StreamLayout layout;
            layout.shape.midSide = true;
            layout.trueGapless = gapless;
            layout.lastFrameSamples = count;
            layout.frames = {randomSv7Frame(rng, layout.shape), randomSv7Frame(rng, layout.shape)};
            layout.gaplessExtra = randomSv7Frame(rng, layout.shape);
            WrittenStream w = writeStream(layout);
            Walk result = walk(w.bytes);
            EXPECT_EQ(result.samples, 671 + lastFrame);
            EXPECT_EQ(result.framesDecoded, 2u);
            EXPECT_EQ(result.endBit, w.totalBits)
                << "extra gapless frame parsed or skipped wrongly";
            EXPECT_EQ(expectedSamples(7, 2, count), 671 + lastFrame);
        }

    // Versions 4 and 5 read no count; the bits after the last frame and an
    // extra gapless frame are never judged.
    for (unsigned version : {4u, 5u, 6u, 7u}) {
        StreamLayout layout;
        layout.shape.version = version;
        layout.frames.assign(3, silentFrame(31));
        layout.lastFrameSamples = 671;
        WrittenStream w = writeStream(layout);
        if (version == 7) w.bytes[23] = static_cast<char>(w.bytes[23] | 0x80); // gapless, no frame
        EXPECT_EQ(walk(w.bytes).samples, version < 6 ? 3 * 1152 - 481 : 1152 * 2 + 671) << version;
    }
}

TEST(FrameScanner, ZeroFramesAndUnknownVersionsMeasureZero) {
    StreamLayout none;
    none.shape.version = 6;
    none.frames = {silentFrame(31)};
    none.headerFrames = 0;
    EXPECT_EQ(measure(writeStream(none).bytes), 0);
    std::string mpPlus5 = "MP+\x05" + std::string(60, '\0');
    EXPECT_EQ(measure(mpPlus5), 0);

    std::string bytes = writeStream(oneFrame(7, false, 31, silentFrame(31))).bytes;
    MemoryByteStream stream(bytes.data(), bytes.size());
    auto s = std::make_unique<FrameScanner>(stream);
    StreamHeader h;
    h.streamVersion = 8;
    h.frames = 5;
    EXPECT_FALSE(s->start(h));
    EXPECT_EQ(s->nextFrame(), 0);
    EXPECT_FALSE(s->frameValid());
}

FrameContent bands(int maxBand, std::initializer_list<std::pair<int, int>> res) {
    FrameContent f = silentFrame(maxBand);
    int n = 0;
    for (auto [l, r] : res) {
        f.bands[n].left.res = l;
        f.bands[n].right.res = r;
        f.bands[n].ms = 1;
        ++n;
    }
    // Version 7: differences outside -5..3 need the escape (ignored by SV4-6).
    for (int b = 1; b <= maxBand; ++b)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            int d = (f.bands[b].*ch).res - (f.bands[b - 1].*ch).res;
            if (d < -5 || d > 3) (f.bands[b].*ch).escapeRes = true;
        }
    return f;
}

TEST(FrameScanner, Sv7SyntaxCases) {
    // Escapes, negative resolutions, all selections and plain resolutions.
    FrameContent f = bands(
        31, {{3, 0}, {12, -2}, {15, -5}, {17, -10}, {14, -15}, {9, -17}, {0, 1}, {0, 0}, {2, 8}});
    f.bands[2].left.samples.assign(36, 0x3FFF);
    for (int s = 0; s < 4; ++s) {
        f.bands[s].left.scfi = s;
        f.bands[s].right.scfi = 3 - s;
        f.bands[s].left.scales = {{true, 63}, {false, -7}, {false, 7}};
        f.bands[s].right.scales = {{false, 8 - 1}, {true, 0}, {false, -1}};
    }
    for (bool ms : {false, true}) expectExactLengths(oneFrame(7, ms, 31, f));

    BitWriter plain;
    FrameContent res12 = bands(0, {{12, 0}});
    res12.bands[0].left.scfi = 3;
    writeSv7Body(plain, res12, {7, false, 0});
    EXPECT_EQ(plain.bitCount(), 8u + 2 + 4 + 396); // fields, selection 3, one scale code, samples

    // A resolution of 18 stops the parse: before the left samples of its
    // band, or after them when it is the right channel's.
    FrameContent left18 = bands(31, {{7, 15}, {15, 3}, {18, 2}, {3, 3}});
    FrameContent right18 = bands(31, {{7, 15}, {3, 15}, {2, 18}, {3, 3}});
    right18.bands[1].right.escapeRes = true; // an escape where a difference of 0 would do
    for (const FrameContent& stop : {left18, right18}) {
        StreamLayout layout = oneFrame(7, true, 31, stop);
        expectExactLengths(layout);
        layout.frames.push_back(silentFrame(31)); // the next frame starts where the parse stopped
        expectExactLengths(layout);
    }
}

TEST(FrameScanner, Sv46SyntaxCases) {
    // Band 0: codes 3 and 12 (one channel coded, the other plain), both
    // orders; region tops (resolution 17) in all three regions.
    FrameContent f = bands(31, {{3, 12}, {12, 3}, {15, 15}, {1, 0}});
    f.bands[11].left.res = 7;
    f.bands[23].right.res = 3;
    f.bands[0].left.samples.assign(36, 3); // code 10000
    f.bands[1].right.samples.assign(36, 3);
    f.bands[2].left.samples.assign(36, 0xFFFF);
    f.bands[3].left.scfi = 3;
    f.bands[3].left.deltaCoded = false;
    f.bands[3].left.scales = {{false, 63}};
    f.bands[11].left.scfi = 0;
    f.bands[11].left.scales = {{false, 6}, {false, -6}, {false, 0}};
    for (unsigned version : {4u, 5u, 6u})
        for (bool ms : {false, true}) expectExactLengths(oneFrame(version, ms, 31, f));
    BitWriter b;
    writeSv46Body(b, bands(0, {{0, 0}}), {6, true, 0});
    EXPECT_EQ(b.bitCount(), 7u);
}

TEST(FrameScanner, RandomStreamsRoundTrip) {
    CodeUsage usage;
    const unsigned versions[] = {4, 5, 6, 7, 0x17};
    for (unsigned seed = 0; seed < 400; ++seed) {
        std::mt19937 rng(seed);
        unsigned version = versions[seed % 5];
        std::uint32_t frames = 1 + rng() % 5;
        StreamLayout layout = randomStream(rng, version, frames);
        if (seed % 7 == 0) {
            layout.id3Size = static_cast<int>(rng() % 300);
            layout.id3Footer = seed % 2;
        }
        WrittenStream w = writeStream(layout, &usage);
        ASSERT_EQ(measure(w.bytes), expectedCdFrames(layout)) << "seed " << seed;
        Walk result = walk(w.bytes);
        ASSERT_EQ(result.samples, expectedSamples(version, frames, layout.lastFrameSamples))
            << "seed " << seed;
        ASSERT_EQ(result.endBit, w.totalBits) << "seed " << seed;
        layout.lengthError = {{rng() % frames, seed % 2 ? 1 : -1}};
        ASSERT_EQ(measure(writeStream(layout).bytes), 0) << "seed " << seed;
    }
    // The generator reaches every code of every table.
    for (int t = 0; t < 12; ++t) {
        const CodeBook& book = sv46Book(t);
        EXPECT_EQ(usage[book.name].size(), book.codes.size()) << book.name;
    }
    for (int t = 0; t < 17; ++t) {
        const CodeBook& book = sv7Book(t);
        EXPECT_EQ(usage[book.name].size(), book.codes.size()) << book.name;
    }
}

// Loud frames (mostly plain samples) so that streams run well past 128 KiB.
StreamLayout longStream(unsigned version, unsigned seed) {
    std::mt19937 rng(seed);
    ContentProfile loud;
    loud.silentBandRate = 0;
    loud.plainRate = 0.9;
    loud.maxBand = 31;
    return randomStream(rng, version, 80, loud);
}

// Whether some frame straddles the end of the ring (a multiple of 64 KiB
// from where the reader started).
bool straddlesRingEnd(const WrittenStream& w, unsigned seekBits) {
    for (std::size_t i = 0; i < w.frameStartBit.size(); ++i) {
        std::uint64_t start = w.frameStartBit[i] - seekBits;
        std::uint64_t end = start + 20 + w.frameBodyBits[i];
        if (start / (65536 * 8) != end / (65536 * 8)) return true;
    }
    return false;
}

TEST(FrameScanner, LongStreamsWrapTheRing) {
    for (unsigned version : {5u, 7u}) {
        StreamLayout layout = longStream(version, version);
        WrittenStream w = writeStream(layout);
        ASSERT_GT(w.bytes.size(), 3u * 65536);
        EXPECT_TRUE(straddlesRingEnd(w, version == 7 ? 192 : 64));
        TempDir dir;
        writeFile(dir.file("long.mpc"), w.bytes);
        EXPECT_EQ(audioLengthFrames(dir.file("long.mpc")).frames, expectedCdFrames(layout));
        Walk result = walk(w.bytes);
        EXPECT_EQ(result.framesDecoded, 80u);
        EXPECT_EQ(result.endBit, w.totalBits);
        layout.lengthError = {{45, 1}};
        EXPECT_EQ(measure(writeStream(layout).bytes), 0);
    }
}

TEST(FrameScanner, TruncatedStreamsAreJudgedOnZeros) {
    // The last frame ends in zero-valued plain samples; cutting them off the
    // file leaves a refilled half whose undelivered bytes must read as zero.
    StreamLayout layout = longStream(5, 11);
    FrameContent& last = layout.frames.back();
    last = silentFrame(layout.shape.maxBand);
    last.bands[0].left.res = 15; // resolution 17
    WrittenStream w = writeStream(layout);
    std::size_t end = w.bytes.find_last_not_of('\0') + 1;
    ASSERT_GT(w.bytes.size() - end, 60u);
    EXPECT_EQ(measure(w.bytes.substr(0, end)), expectedCdFrames(layout));
    // Cut inside a frame with non-zero content: that frame fails.
    EXPECT_EQ(measure(w.bytes.substr(0, w.frameStartBit[40] / 8 + 500)), 0);
}

const char* const fixtures = VORLIN_FIXTURES_DIR;

TEST(FrameScanner, ClickFileHasThreeValidFrames) {
    std::string path = std::string(fixtures) + "/click.mpc";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    FileByteStream stream(file);
    Walk result = walk(stream);
    EXPECT_EQ(result.framesDecoded, 3u);
    EXPECT_EQ(result.frameValid, 1u);
    // The header's own last-frame count (413, gapless) agrees: 1152 * 2 + 413.
    EXPECT_EQ(result.samples, 2717);
    CdFrames length = 0;
    EXPECT_EQ(measureMessage(path, length), "");
    EXPECT_EQ(length, 4);
}

TEST(FrameScanner, BrokenFixturesFailCleanly) {
    const std::pair<const char*, bool> files[] = {
        {"sv4_header", false}, {"sv5_header", false}, // headers accepted, frames fail
        {"almostempty", true}, {"infloop", true},     {"segfault", true},
        {"segfault2", true},   {"zerodiv", true}};
    for (auto [name, unrecognized] : files) {
        std::string path = std::string(fixtures) + "/" + name + ".mpc";
        CdFrames length = -1;
        std::string out = measureMessage(path, length);
        EXPECT_EQ(length, 0) << name;
        EXPECT_EQ(out, unrecognized ? "'" + path + "': unrecognized format\n" : "") << name;
    }
}

} // namespace
} // namespace vorlin::test
