#include "mpc/bit_reader.hpp"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlin {

const std::uint32_t bitMask[33] = {
    0x00000000, 0x00000001, 0x00000003, 0x00000007, 0x0000000F, 0x0000001F, 0x0000003F,
    0x0000007F, 0x000000FF, 0x000001FF, 0x000003FF, 0x000007FF, 0x00000FFF, 0x00001FFF,
    0x00003FFF, 0x00007FFF, 0x0000FFFF, 0x0001FFFF, 0x0003FFFF, 0x0007FFFF, 0x000FFFFF,
    0x001FFFFF, 0x003FFFFF, 0x007FFFFF, 0x00FFFFFF, 0x01FFFFFF, 0x03FFFFFF, 0x07FFFFFF,
    0x0FFFFFFF, 0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF};

void reverseWordBytes(std::uint8_t* out, const std::uint8_t* in, std::size_t bytes) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Swap the bytes of each 16-bit half, then the halves of each word.
    for (; i + 16 <= bytes; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
#endif
    for (; i + 4 <= bytes; i += 4) {
        const std::uint8_t b0 = in[i], b1 = in[i + 1], b2 = in[i + 2], b3 = in[i + 3];
        out[i] = b3;
        out[i + 1] = b2;
        out[i + 2] = b1;
        out[i + 3] = b0;
    }
}

void BitReader::fill(std::uint32_t firstWord, std::int32_t bytes) {
    unsigned char* target = reinterpret_cast<unsigned char*>(ring + firstWord);
    std::int32_t got = stream->read(target, bytes);
    if (got < 0) got = 0;
    // What the file does not deliver reads as zeros, never as stale data.
    std::memset(target + got, 0, static_cast<std::size_t>(bytes - got));
    reverseWordBytes(ordered + 4 * firstWord, target, static_cast<std::size_t>(bytes));
    if constexpr (std::endian::native == std::endian::big) {
        const std::uint32_t words = static_cast<std::uint32_t>(bytes) / 4;
        for (std::uint32_t i = 0; i < words; ++i)
            ring[firstWord + i] = __builtin_bswap32(ring[firstWord + i]);
    }
    if (firstWord == 0) std::memcpy(ordered + ringWords * 4, ordered, 8);
}

void BitReader::startAt(std::int32_t byteOffset, std::uint32_t initialBitPos) {
    stream->seek(byteOffset, 0);
    bitPos = initialBitPos;
    fill(0, static_cast<std::int32_t>(sizeof ring));
    wordIndex = 0;
    currentWord = ring[0];
}

std::uint32_t BitReader::readBits(std::uint32_t n) {
    std::uint32_t p = bitPos + n;
    if (p < 32) {
        bitPos = p;
        if (n == 0) return 0;
        return (currentWord >> (32 - p)) & bitMask[n];
    }
    std::uint32_t old = currentWord;
    advanceWord();
    bitPos = p - 32;
    if (bitPos == 0) return old & bitMask[n];
    return ((old << bitPos) | (currentWord >> (32 - bitPos))) & bitMask[n];
}

std::uint32_t BitReader::peekWindow(std::uint32_t w) const {
    std::uint32_t window = currentWord << bitPos;
    if (bitPos > 32 - w) window |= ring[(wordIndex + 1) & ringMask] >> (32 - bitPos);
    return window;
}

void BitReader::skipBits(std::uint32_t len) {
    bitPos += len;
    if (bitPos >= 32) {
        bitPos -= 32;
        advanceWord();
    }
}

void BitReader::refillAfterFrame(std::uint32_t previousWordIndex) {
    if (((wordIndex ^ previousWordIndex) & halfWords) == 0) return;
    std::uint32_t half = previousWordIndex < halfWords ? 0 : halfWords;
    fill(half, static_cast<std::int32_t>(halfWords * 4));
}

} // namespace vorlin
