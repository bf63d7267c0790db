// The reference walk: frame after frame through the ring of the bit reader,
// as a decoder reads them, checking each frame's body against its stated
// length and counting the samples a decoder would output. The frame chain
// (frame_chain.hpp) must give its answer for every input.
#pragma once

#include <cstdint>

#include "mpc/bit_reader.hpp"
#include "mpc/byte_stream.hpp"
#include "mpc/code_tables.hpp"
#include "mpc/frame_format.hpp"
#include "mpc/stream_header.hpp"

namespace vorlin {

// The code tables of both syntaxes, built from the listings.
struct ScannerTables {
    ScannerTables();

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

class FrameScanner {
  public:
    explicit FrameScanner(ByteStream& byteStream);

    // Starts a walk of the frames that `header` describes from a cleared
    // state: fills the ring from the first frame's word. False, with nothing
    // read, when the version has no frame syntax here.
    bool start(const StreamHeader& header);

    // Walks the next frame and refills the half of the ring it left. Returns
    // the samples it yields; 0 after the header's frame count, for a version
    // without a frame syntax, or when the frame fails its length check
    // (frameValid() then tells it).
    std::int32_t nextFrame();
    bool frameValid() const { return frameValid_; }
    // The frames that passed their check so far.
    std::uint32_t framesDecoded() const { return framesDecoded_; }

    // Walks frames with the plain parses instead of the fast ones.
    void useReferenceParse(bool plain) { useReference_ = plain; }

    // The parts below are open to the tests, fuzzing and benchmarks that
    // drive one code or one frame body at a time.
    BitReader& bits() { return bits_; }
    const BitReader& bits() const { return bits_; }
    const ScannerTables& tables() const { return tables_; }
    // The stream's shape for frame bodies parsed without start().
    void setShape(bool midSide, std::int32_t maxBand);

    std::int32_t huffDecode(const CodeTable& table);
    // Decodes with lookahead 6 and splits the value into value >> 1 and value & 1.
    void huffDecodePair(const CodeTable& table, std::int32_t& high, std::int32_t& low);

    // The frame syntaxes as plain code-by-code parses over the sorted tables,
    // storing every decoded value. They are the reference that the fast walks
    // below must match bit for bit.
    void parseFrameSv7();
    void parseFrameSv46();

    // The same syntaxes walked with lookup tables: they consume exactly the
    // same bits and decode the steering values (resolutions, selections)
    // for themselves, but skip over values that nothing reads.
    void parseFrameSv7Fast();
    void parseFrameSv46Fast();

  private:
    void parseFrame();
    // Moves the bit reader from bit position `start` to `end` (both counted as
    // wordIndex * 32 + bitPos) after a fast walk.
    void syncBitReader(std::uint32_t start, std::uint32_t end);

    // The ring reader, and the tables and state of the plain parses.
    BitReader bits_;
    ScannerTables tables_;
    FrameState state_ = {};

    // The stream, from its header.
    std::uint32_t streamVersion_ = 0;
    bool midSide_ = false;
    std::int32_t maxBand_ = 0;
    std::uint32_t frameCount_ = 0;
    bool trueGapless_ = false;

    // The walk.
    std::uint32_t framesDecoded_ = 0;
    bool frameValid_ = false;
    bool useReference_ = false;
};

// The samples that the frames of a stream yield, its header read, walked
// with a FrameScanner; `codeByCode` walks with the plain parses. 0 when a
// frame fails its length check or the stream has no frames. The reference
// for chainSamples.
std::int64_t ringWalkSamples(ByteStream& stream, const StreamHeader& header,
                             bool codeByCode = false);

} // namespace vorlin
