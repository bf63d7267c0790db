// Walks every frame of an MPC stream, checks each frame's body against its
// stated length and counts the samples a decoder would output.
#pragma once

#include <cstdint>
#include <string>

#include "audio/byte_stream.hpp"
#include "audio/length.hpp"
#include "audio/stream_header.hpp"
#include "mpc/bit_reader.hpp"
#include "mpc/code_tables.hpp"

namespace vorlin {

inline constexpr int maxBands = 32;

// Bits per plainly coded sample and the offset subtracted from it, by
// resolution 0..17 (rows 1..7 of quantOffset are the offsets of the Huffman
// coded resolutions).
extern const std::int32_t quantBits[18];
extern const std::int32_t quantOffset[18];

struct FrameScanner {
    explicit FrameScanner(ByteStream& byteStream);

    BitReader bits;

    std::uint32_t frameBits = 0;
    std::uint32_t frameValid = 0;
    std::uint32_t framesDecoded = 0;
    std::uint32_t frameCount = 0;

    std::uint32_t streamVersion = 0;
    std::uint32_t midSideStereo = 0;
    std::int32_t maxBand = 0;
    std::int32_t headerPos = 0;
    std::uint32_t trueGapless = 0;

    // Frame state. Only resolutions and selections steer the syntax; the
    // rest is stored as a decoder would and read by nothing.
    std::int32_t scaleIndexL[maxBands][3] = {};
    std::int32_t scaleIndexR[maxBands][3] = {};
    std::int32_t samples[maxBands][2][36] = {};
    std::int32_t resL[maxBands] = {};
    std::int32_t resR[maxBands] = {};
    std::int32_t deltaCodedL[maxBands] = {};
    std::int32_t deltaCodedR[maxBands] = {};
    std::int32_t scfiL[maxBands] = {};
    std::int32_t scfiR[maxBands] = {};
    std::int32_t scaleRefL[maxBands] = {};
    std::int32_t scaleRefR[maxBands] = {};
    std::int32_t msFlag[maxBands] = {};
    std::int32_t lastActiveBand = 0;

    // Stream version 7 code tables; sample tables reached by set * 8 + resolution.
    CodeTable sv7ResolutionDelta;
    CodeTable sv7Scfi;
    CodeTable sv7ScaleDelta;
    const CodeTable* sv7QuantLookup[16] = {};
    CodeTable sv7Quant[7][2]; // [resolution - 1][set]

    // Stream versions 4 to 6; sample tables reached by resolution.
    const CodeTable* sv6QuantLookup[18] = {};
    CodeTable sv6RegionA;
    CodeTable sv6RegionB;
    CodeTable sv6RegionC;
    CodeTable sv6ScfiBundle;
    CodeTable sv6ScaleDelta;
    CodeTable sv6Quant[7]; // [resolution - 1]

    std::int32_t bandResolution[maxBands][16] = {};

    void prepareSv46Tables();
    void prepareSv7Tables();

    void resetScanner();
    void loadHeader(const StreamHeader& header);
    bool seekToFrames();
    std::int32_t decodeFrame();
    void refillAfterFrame(std::uint32_t previousWordIndex) {
        bits.refillAfterFrame(previousWordIndex);
    }

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

    // Walks frames with the reference parses instead of the fast ones.
    bool useReference = false;

    // Moves the bit reader from bit position `start` to `end` (both counted as
    // wordIndex * 32 + bitPos) after a fast walk.
    void syncBitReader(std::uint32_t start, std::uint32_t end);
};

// Measures an MPC file: stream version 8 by its packet reader, versions 4 to
// 7 by their frames.
CdFrames mpcLengthFrames(const std::string& path);

// Measures an MPC stream already opened as `stream` by its frames (through
// chainSamples); `path` names it in messages. Returns the length, or 0 when
// it cannot be measured.
CdFrames measureMpcStream(ByteStream& stream, const std::string& path);

} // namespace vorlin
