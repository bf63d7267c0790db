// The facts of the MPC frame formats (stream versions 4 to 7) that both
// walks of the frames rely on: where the frames start, how many samples a
// frame yields, and the plainly coded sample widths.
#pragma once

#include <cstdint>

namespace vorlin {

// Every frame codes 1152 samples. A decoder loses the first 481 of the
// stream (the first frame yields 671) and gives them back after the last.
inline constexpr std::int64_t samplesPerFrame = 1152;
inline constexpr std::int64_t decoderDelay = 481;
inline constexpr std::int64_t firstFrameSamples = samplesPerFrame - decoderDelay;

// The subbands a frame may code.
inline constexpr int maxBands = 32;

// The stream versions whose frames are walked here: 4 to 7, and 0x17 (a
// version 7 header with minor version 1).
inline constexpr bool hasFrameSyntax(std::uint32_t version) {
    return (version >= 4 && version <= 7) || version == 0x17;
}

// Versions 7 and 0x17 share a syntax, versions 4 to 6 another.
inline constexpr bool usesSv7Syntax(std::uint32_t version) {
    return version >= 7;
}

// Where the first frame's 20-bit length field starts: a byte offset from the
// header and a bit of the little-endian 32-bit word found there (bits are
// counted from the word's top). Version 4 frames start in the lower half of
// the second header word; those of version 7 after the encoder version byte
// of the seventh.
struct FramesStart {
    std::int32_t byteOffset;
    std::uint32_t bit;
};
inline constexpr FramesStart framesStart(std::uint32_t version) {
    return version == 4 ? FramesStart{4, 16} : version < 7 ? FramesStart{8, 0} : FramesStart{24, 8};
}

// From version 6 on, the last frame of a stream of two or more frames is
// followed by an 11-bit count of its valid samples (0 standing for 1152).
inline constexpr bool lastFrameHasCount(std::uint32_t version) {
    return version >= 6;
}

// The samples that last frame yields: its valid samples and the decoder's
// delay given back, and when those reach a whole frame (the encoder then
// wrote one more frame, of true gapless streams) that whole frame as well.
inline constexpr std::int64_t lastFrameSamples(std::uint32_t validCount) {
    const std::int64_t given = (validCount == 0 ? samplesPerFrame : validCount) + decoderDelay;
    return given < samplesPerFrame ? given : given % samplesPerFrame + samplesPerFrame;
}

// Codes of the version 7 syntax that stand for a plain number after them: a
// resolution difference of 4 (4 bits), a scale-factor difference of 8 (6 bits).
inline constexpr std::int32_t sv7ResolutionEscape = 4;
inline constexpr std::int32_t sv7ScaleEscape = 8;

// Bits per plainly coded sample and the offset subtracted from it, by
// resolution 0..17 (rows 1..7 of quantOffset are the offsets of the Huffman
// coded resolutions).
inline constexpr std::int32_t quantBits[18] = {0, 0, 0,  0,  0,  0,  0,  0,  7,
                                               8, 9, 10, 11, 12, 13, 14, 15, 16};
inline constexpr std::int32_t quantOffset[18] = {
    0, 1, 2, 3, 4, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767};

} // namespace vorlin
