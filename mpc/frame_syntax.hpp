// The two frame syntaxes as plain code-by-code parses over the sorted code
// tables: which bits one frame body holds, in which order. Every value is
// decoded and stored as a decoder would, though only the resolutions and the
// scale-factor selections steer what is read next. They are the reference
// that the fast walks (fast_syntax.hpp) must match bit for bit.
#pragma once

#include <cstdint>

#include "mpc/bit_reader.hpp"
#include "mpc/code_tables.hpp"
#include "mpc/frame_format.hpp"

namespace vorlin {

// The code tables of both syntaxes, built from the listings.
struct SyntaxTables {
    SyntaxTables();

    // Stream version 7; sample tables reached by set * 8 + resolution.
    CodeTable sv7ResolutionDelta;
    CodeTable sv7Scfi;
    CodeTable sv7ScaleDelta;
    CodeTable sv7Quant[7][2]; // [resolution - 1][set]
    const CodeTable* sv7QuantLookup[16] = {};

    // Stream versions 4 to 6; sample tables reached by resolution.
    CodeTable sv6RegionA;
    CodeTable sv6RegionB;
    CodeTable sv6RegionC;
    CodeTable sv6ScfiBundle;
    CodeTable sv6ScaleDelta;
    CodeTable sv6Quant[7]; // [resolution - 1]
    const CodeTable* sv6QuantLookup[18] = {};

    // Versions 4 to 6: a band's resolution by its code.
    std::int32_t bandResolution[maxBands][16] = {};
};

// What the plain parses decode and store, as a decoder would. Only the
// resolutions and selections steer the syntax; the scale references carry
// from frame to frame; the rest is read by nothing.
struct FrameState {
    std::int32_t scaleIndexL[maxBands][3];
    std::int32_t scaleIndexR[maxBands][3];
    std::int32_t samples[maxBands][2][36];
    std::int32_t resL[maxBands];
    std::int32_t resR[maxBands];
    std::int32_t deltaCodedL[maxBands];
    std::int32_t deltaCodedR[maxBands];
    std::int32_t scfiL[maxBands];
    std::int32_t scfiR[maxBands];
    std::int32_t scaleRefL[maxBands];
    std::int32_t scaleRefR[maxBands];
    std::int32_t msFlag[maxBands];
    std::int32_t lastActiveBand;
};

// Decodes the next code of `table` by scanning its sorted entries.
std::int32_t huffDecode(BitReader& bits, const CodeTable& table);
// Decodes with lookahead 6 and splits the value into value >> 1 and value & 1.
void huffDecodePair(BitReader& bits, const CodeTable& table, std::int32_t& high, std::int32_t& low);

// The parses and what they carry from frame to frame.
class PlainSyntax {
  public:
    const SyntaxTables& tables() const { return tables_; }

    // Clears the state, for a new stream.
    void reset() { state_ = {}; }

    // Parses one frame body of a stream of the given shape from `bits`.
    void parseSv7(BitReader& bits, bool midSide, std::int32_t maxBand);
    void parseSv46(BitReader& bits, bool midSide, std::int32_t maxBand);

  private:
    SyntaxTables tables_;
    FrameState state_ = {};
};

} // namespace vorlin
