// Reads the MPC frame area bit by bit from a ring of 16384 little-endian
// 32-bit words (64 KiB), filled once and then refilled 32 KiB at a time
// after the reader has left a half. Bits are taken from the top of each word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mpc/byte_stream.hpp"

namespace vorlin {

inline constexpr std::uint32_t ringWords = 16384;
inline constexpr std::uint32_t ringMask = ringWords - 1;
inline constexpr std::uint32_t halfWords = ringWords / 2;

// bitMask[n] = 2^n - 1, n = 0..32.
extern const std::uint32_t bitMask[33];

// Puts file bytes in reading order: the four bytes of every word (`bytes` is
// a multiple of 4) reversed, so the bits run from each byte's top bit on.
// `out` may be `in`.
void reverseWordBytes(std::uint8_t* out, const std::uint8_t* in, std::size_t bytes);

struct BitReader {
    ByteStream* stream = nullptr;
    std::uint32_t ring[ringWords] = {}; // starts zero-filled
    // The ring's bits as one byte stream in reading order (each word's top
    // byte first), its first 8 bytes repeated at the end, so that 8 bytes
    // can be loaded at any place without wrapping. `fill` keeps it in step
    // with `ring`; the fast frame walk reads it.
    std::uint8_t ordered[ringWords * 4 + 8] = {};
    std::uint32_t currentWord = 0;
    std::uint32_t bitPos = 0;
    std::uint32_t wordIndex = 0;
    std::uint32_t wordsConsumed = 0;

    void resetBits() { currentWord = bitPos = wordIndex = wordsConsumed = 0; }

    // Seeks the stream to byteOffset, fills the whole ring from there and
    // starts reading at bit `initialBitPos` of word 0.
    void startAt(std::int32_t byteOffset, std::uint32_t initialBitPos);

    std::uint32_t readBits(std::uint32_t n);
    std::uint32_t peekWindow(std::uint32_t w) const;
    void skipBits(std::uint32_t len);
    std::uint32_t bitsConsumed() const { return wordsConsumed * 32u + bitPos; }

    // Refills the half that held previousWordIndex once the reader has moved
    // into the other half.
    void refillAfterFrame(std::uint32_t previousWordIndex);

    void advanceWord() {
        wordIndex = (wordIndex + 1) & ringMask;
        currentWord = ring[wordIndex];
        ++wordsConsumed;
    }

    // Reads `bytes` bytes into the ring from word `firstWord` on; bytes the
    // stream does not deliver are zero.
    void fill(std::uint32_t firstWord, std::int32_t bytes);
};

} // namespace vorlin
