// Fixed-size fields of file headers read from the bytes at hand: unsigned
// values of either byte order, and the header of an ID3v2 tag, which audio
// files of several formats may carry before their own header. Every header
// reader uses these; what a reader does with a tag it cannot pass over is
// its own rule. Includes nothing of the project.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vorlin {

inline std::uint16_t littleEndian16(const std::uint8_t* b) {
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

inline std::uint32_t littleEndian32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

inline std::uint16_t bigEndian16(const std::uint8_t* b) {
    return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
}

inline std::uint32_t bigEndian32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

// An ID3v2 tag's header: "ID3", the version (2 bytes), the flags, and the
// size of what follows the header in 4 bytes of 7 bits each, most
// significant first. A flagged footer of another 10 bytes follows the tag,
// outside that size.
constexpr std::size_t id3v2HeaderBytes = 10;
constexpr std::uint8_t id3v2FooterFlag = 0x10;

// Whether the `n` bytes at `b` start with "ID3".
inline bool startsWithId3(const std::uint8_t* b, std::size_t n) {
    return n >= 3 && b[0] == 'I' && b[1] == 'D' && b[2] == '3';
}

// The bytes the whole tag takes whose 10-byte header is at `header`: the
// header, its stated size and the footer when flagged; nothing when a byte
// of the size has its top bit set (no size at all).
inline std::optional<std::int64_t> id3v2TagBytes(const std::uint8_t* header) {
    std::int64_t size = 0;
    for (std::size_t i = 6; i < id3v2HeaderBytes; ++i) {
        if (header[i] >= 0x80) return std::nullopt;
        size = size << 7 | header[i];
    }
    return size + static_cast<std::int64_t>(id3v2HeaderBytes) +
           ((header[5] & id3v2FooterFlag) ? 10 : 0);
}

} // namespace vorlin
