// Test-side MPC stream writer: builds streams of versions 4 to 7 bit by bit
// from chosen frame content, so the scanner can be checked against streams
// whose every bit and every length is known.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "mpc/code_tables.hpp"

namespace vorlin::test {

// Bits go in most significant first, into 32-bit words that are stored
// little-endian: the word order and bit order the frame reader expects.
class BitWriter {
  public:
    void put(std::uint32_t value, unsigned n); // the low n bits of value, n = 0..32
    void append(const BitWriter& other);
    std::uint64_t bitCount() const { return bits_; }
    // Whole words; the unused tail of the last word is zero.
    std::string bytes() const;

  private:
    std::vector<std::uint32_t> words_;
    std::uint64_t bits_ = 0;
};

struct Code {
    std::uint32_t bits = 0; // right-aligned
    std::uint32_t length = 0;
};

// One code table, parsed from its "value:bits" listing.
struct CodeBook {
    explicit CodeBook(const TableListing& listing);
    std::string name;
    int minValue = 0; // -offset
    int maxValue = 0;
    std::vector<Code> codes; // by value - minValue
    const Code& code(int value) const;
};

// Indices into sv46Listings and sv7Listings.
enum Sv46Table { regionA, regionB, regionC, scfiBundle, sv6ScaleDeltaTable, sv6Quant1 };
enum Sv7Table { resolutionDelta, sv7ScfiTable, sv7ScaleDeltaTable, sv7Quant1Set0 };
const CodeBook& sv46Book(int table);
const CodeBook& sv7Book(int table);
inline const CodeBook& sv6QuantBook(int res) {
    return sv46Book(sv6Quant1 + res - 1);
}
inline const CodeBook& sv7QuantBook(int res, int set) {
    return sv7Book(sv7Quant1Set0 + (res - 1) * 2 + set);
}

// Which values of which tables were written (table name -> values).
using CodeUsage = std::map<std::string, std::set<int>>;

// A scale-factor index as coded: a difference, or (SV7 escape) an absolute
// 6-bit index. In SV4-6 frames the channel's deltaCoded flag decides instead.
struct ScaleCode {
    bool absolute = false;
    int value = 0;
};

// One band of one channel.
struct ChannelBand {
    int res = 0;            // SV7: the resolution; SV4-6: the region code
    bool escapeRes = false; // SV7 bands >= 1: escape and 4 plain bits instead of a difference
    int scfi = 0;           // scale-factor selection 0..3
    bool deltaCoded = true; // SV4-6: differences rather than 6-bit indices
    std::vector<ScaleCode> scales; // 3, 2, 2 or 1 by selection
    int set = 0;                   // SV7 coded resolutions
    std::vector<int> samples;      // table values, or raw bits of plain samples
};

struct BandContent {
    ChannelBand left, right;
    int ms = 0;
};

struct FrameContent {
    std::vector<BandContent> bands; // bands 0..maxBand
};

// Resolution of an SV4-6 region code in band b.
int sv46Resolution(int band, int code);
int scaleCodeCount(int scfi);

struct StreamShape {
    unsigned version = 7; // 4, 5, 6, 7 or 0x17
    bool midSide = false;
    int maxBand = 31;
};

// Frame bodies, without the length field. A resolution beyond +-17 ends the
// SV7 body where the reader stops.
void writeSv7Body(BitWriter& out, const FrameContent& frame, const StreamShape& shape,
                  CodeUsage* usage = nullptr);
void writeSv46Body(BitWriter& out, const FrameContent& frame, const StreamShape& shape,
                   CodeUsage* usage = nullptr);

struct StreamLayout {
    StreamShape shape;
    bool trueGapless = false;
    std::optional<std::uint32_t> headerFrames; // frame count stated in the header
    unsigned lastFrameSamples = 0;             // the 11-bit count after the last frame
    std::vector<FrameContent> frames;
    std::map<std::size_t, int> lengthError;   // frame -> amount added to its length field
    std::optional<FrameContent> gaplessExtra; // default: an all-zero frame
    int id3Size = -1;                         // tag payload size; -1: no tag
    bool id3Footer = false;
    std::uint8_t encoderVersion = 0;
    std::size_t minBytes = 32; // zero padding after the header position
};

struct WrittenStream {
    std::string bytes;
    std::int32_t headerPos = 0;
    std::vector<std::uint64_t> frameStartBit; // bit offsets from headerPos, length fields included
    std::vector<std::uint64_t> frameBodyBits;
    std::uint64_t totalBits = 0; // everything written from headerPos on, before padding
};

WrittenStream writeStream(const StreamLayout& layout, CodeUsage* usage = nullptr);

// Samples and CD frames that measuring a valid stream must give.
std::int64_t expectedSamples(unsigned version, std::uint32_t frames, unsigned lastFrameSamples);
std::int64_t expectedCdFrames(const StreamLayout& layout);

// How random content is drawn. The default spreads over every code; a
// realistic profile (long streams resembling encoder output) would bias
// resolutions and scale differences the way an encoder does.
struct ContentProfile {
    double escapeResRate = 0.15;
    double escapeScaleRate = 0.1;
    double silentBandRate = 0.25;
    double plainRate = 0.3; // chance that a band's resolution is high (plain samples)
    int maxBand = -1;       // -1: drawn per stream
};

FrameContent randomSv7Frame(std::mt19937& rng, const StreamShape& shape,
                            const ContentProfile& profile = {});
FrameContent randomSv46Frame(std::mt19937& rng, const StreamShape& shape,
                             const ContentProfile& profile = {});
// A valid stream of `frames` frames with random header fields and content.
StreamLayout randomStream(std::mt19937& rng, unsigned version, std::uint32_t frames,
                          const ContentProfile& profile = {});

// An all-zero content of maxBand + 1 bands (every resolution 0).
FrameContent silentFrame(int maxBand);

// Frame content that resembles what encoders write: low bands at higher
// resolutions, upper bands mostly silent, sample resolutions mostly 1 to 6,
// values (and so code lengths) distributed as the code tables expect, and
// occasional escapes.
FrameContent realisticSv7Frame(std::mt19937& rng, const StreamShape& shape);
FrameContent realisticSv46Frame(std::mt19937& rng, const StreamShape& shape);

// A realistic stream of at least `minBytes` bytes, written frame by frame
// (it can be tens of megabytes), with the CD frames it measures.
struct RealisticStream {
    std::string bytes;
    std::uint32_t frames = 0;
    std::int64_t cdFrames = 0;
};
RealisticStream realisticStream(std::uint32_t seed, unsigned version, std::size_t minBytes);

} // namespace vorlin::test
