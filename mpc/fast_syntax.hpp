// The frame syntaxes walked for their length, fast: they consume exactly the
// bits the plain parses (frame_syntax.hpp) consume and decode the values that
// steer the syntax (resolutions, selections) for themselves, but skip over
// values that nothing reads. Frame after frame, this is where a measurement
// spends its time.
#pragma once

#include <cstdint>

namespace vorlin {

// No frame body of either syntax takes more bits than this (the largest is
// a version 7 frame of 32 plainly coded bands with escaped scale codes,
// 40,206 bits); a frame stating more fails its check without being walked.
inline constexpr std::uint32_t maxFrameBodyBits = 40'960;

struct FrameShape {
    bool sv7 = true; // the version 7 syntax, else the one of versions 4 to 6
    std::int32_t maxBand = 0;
    bool midSide = false;
};

// Walks one frame body from bit `start` of a linear buffer of bytes in
// reading order (see reverseWordBytes); returns the bit position after it.
// The buffer must hold maxFrameBodyBits bits after `start`, and 8 bytes more.
std::uint32_t walkFrameBody(const std::uint8_t* ordered, std::uint32_t start,
                            const FrameShape& shape);

// Walks two frame bodies, from bits `a` and `b`, at once (faster than one
// after the other); sets `a` and `b` to the positions after them.
void walkFrameBodies(const std::uint8_t* ordered, std::uint32_t& a, std::uint32_t& b,
                     const FrameShape& shape);

// Walks one frame body through the bit reader's ring (BitReader::ordered),
// from bit `start` counted as wordIndex * 32 + bitPos; returns the position
// after it, counted the same way (modulo the ring's size in bits).
std::uint32_t walkRingFrameBody(const std::uint8_t* ringOrdered, std::uint32_t start,
                                const FrameShape& shape);

} // namespace vorlin
