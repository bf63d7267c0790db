// Test-side Musepack SV8 writer: a container of packets held as a list, so
// that each damaged stream is one small change to a good one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlin::test {

// The container's variable-length number, padded with leading empty groups to
// `width` bytes.
inline std::string sv8Number(std::uint64_t value, std::size_t width = 1) {
    std::string groups;
    do {
        groups.insert(groups.begin(), static_cast<char>(value & 0x7F));
        value >>= 7;
    } while (value != 0);
    if (groups.size() < width) groups.insert(0, width - groups.size(), '\0');
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) groups[i] |= '\x80';
    return groups;
}

// A packet whose size, counting key, size field and payload, takes at least
// `width` bytes.
inline std::string sv8Packet(const char* key, const std::string& payload, std::size_t width = 1) {
    for (;; ++width) {
        std::string size = sv8Number(2 + width + payload.size(), width);
        if (size.size() == width) return key + size + payload;
    }
}

// A stream header payload: CRC unset, version 8, 44100 Hz, 28 bands, stereo,
// mid/side, 4^blockFrames frames per audio packet.
inline std::string sv8HeaderPayload(std::uint64_t samples, std::uint64_t silence,
                                    unsigned blockFrames) {
    return std::string("\0\0\0\0\x08", 5) + sv8Number(samples) + sv8Number(silence) + "\x1B" +
           static_cast<char>(0x18 | blockFrames);
}

// An ID3v2.3 tag of `size` bytes after its 10-byte header, all zeros.
inline std::string id3Tag(std::uint32_t size) {
    std::string tag("ID3\3\0\0", 6);
    for (int shift : {21, 14, 7, 0}) tag += static_cast<char>(size >> shift & 0x7F);
    return tag + std::string(size, '\0');
}

struct Sv8File {
    std::string front = "MPCK"; // an ID3v2 tag may go before the magic
    std::vector<std::string> packets;
    std::string back; // tags after the stream end packet

    std::string bytes() const {
        std::string all = front;
        for (const std::string& p : packets) all += p;
        return all + back;
    }
};

// SH, RG, EI, `audioPackets` AP packets of `apBytes` bytes of payload, ST, SE.
inline Sv8File sv8Stream(std::uint64_t samples, std::uint64_t silence, unsigned blockFrames,
                         int audioPackets, std::size_t apBytes = 100) {
    Sv8File f;
    f.packets = {sv8Packet("SH", sv8HeaderPayload(samples, silence, blockFrames)),
                 sv8Packet("RG", "\x01\x45\x7D\x5A\xCC\x45\x7D\x5A\xCC"),
                 sv8Packet("EI", "\x51\x01\x1E")};
    for (int i = 0; i < audioPackets; ++i)
        f.packets.push_back(sv8Packet("AP", std::string(apBytes, static_cast<char>('a' + i % 26))));
    f.packets.push_back(sv8Packet("ST", "\x01\x12\xC0"));
    f.packets.push_back(sv8Packet("SE", ""));
    return f;
}

} // namespace vorlin::test
