// Musepack SV8 files through the MPC measurer: real files, written streams
// each fault of which is one change to a good stream, and a file past 4 GiB.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <utility>
#include <vector>

#include "audio/length.hpp"
#include "mpc/frame_scanner.hpp"
#include "tests/test_support.hpp"

namespace vorlin::test {
namespace {

// A small SV8 writer: packets held as a list, so that each damaged stream is
// one small change to a good one.

// The container's variable-length number, padded with leading empty groups to
// `width` bytes.
std::string sv8Number(std::uint64_t value, std::size_t width = 1) {
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
std::string sv8Packet(const char* key, const std::string& payload, std::size_t width = 1) {
    for (;; ++width) {
        std::string size = sv8Number(2 + width + payload.size(), width);
        if (size.size() == width) return key + size + payload;
    }
}

// A stream header payload: CRC unset, version 8, 44100 Hz, 28 bands, stereo,
// mid/side, 4^blockFrames frames per audio packet.
std::string sv8HeaderPayload(std::uint64_t samples, std::uint64_t silence, unsigned blockFrames) {
    return std::string("\0\0\0\0\x08", 5) + sv8Number(samples) + sv8Number(silence) + "\x1B" +
           static_cast<char>(0x18 | blockFrames);
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
Sv8File sv8Stream(std::uint64_t samples, std::uint64_t silence, unsigned blockFrames,
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

std::pair<CdFrames, std::string> measure(const std::string& path) {
    CdFrames length = -1;
    std::string out = measureMessage(path, length);
    return {length, out};
}

TEST(Sv8Reader, RealFiles) {
    for (auto [name, frames] : {std::pair{"test-sv8", 6}, {"sv8_header", 112}}) {
        auto [length, out] = measure(std::string(VORLIN_FIXTURES_DIR) + "/" + name + ".mpc");
        EXPECT_EQ(length, frames) << name;
        EXPECT_EQ(out, "") << name;
    }
}

constexpr std::uint64_t samples = 44100 * 3 + 17; // 115 frames: 8 packets of 16
constexpr std::uint64_t silence = 1000;           // leaves 223 CD frames (225 with it)

// Packets: 0 SH, 1 RG, 2 EI, 3-10 AP, 11 ST, 12 SE. An ID3v2 tag of 300
// bytes goes before; the second audio packet's head straddles the end of the
// first 4 KiB the reader takes.
Sv8File goodStream() {
    Sv8File f = sv8Stream(samples, silence, 2, 8, 4057);
    f.front = std::string("ID3\3\0\0\0\0\x02\x2C", 10) + std::string(300, '\0') + "MPCK";
    f.back = "APETAGEX" + std::string(24, '\xEE');
    return f;
}

TEST(Sv8Reader, WrittenStreams) {
    using Change = std::function<void(Sv8File&)>;
    const std::string sh = sv8HeaderPayload(samples, silence, 2);
    const auto header = [](std::string payload) {
        return [payload](Sv8File& f) { f.packets[0] = sv8Packet("SH", payload); };
    };
    const auto whole = [](Sv8File other) { return [other](Sv8File& f) { f = other; }; };
    const struct {
        const char* what;
        Change change;
        CdFrames frames = -1; // -1: unrecognized
    } cases[] = {
        {"as written", [](Sv8File&) {}, 223},
        {"no tags around", [](Sv8File& f) { f.front = "MPCK", f.back.clear(); }, 223},
        {"a 9-byte size field", [](Sv8File& f) { f.packets[1] = sv8Packet("RG", "\1", 9); }, 223},
        {"113 frames in 8 packets", whole(sv8Stream(1152 * 112 + 1, 0, 2, 8)), 219},
        {"8 full packets", whole(sv8Stream(1152 * 128, 0, 2, 8)), 250},
        {"all silence", whole(sv8Stream(samples, samples, 2, 8)), 0},
        {"2^40 samples", whole(sv8Stream(1ull << 40, 0, 7, 58255, 0)), 1869917734},
        {"a sample short of a ninth packet", whole(sv8Stream(1152 * 128 + 1, 0, 2, 8))},
        {"lower-case key", [](Sv8File& f) { f.packets[1][0] = 'r'; }},
        {"key below A", [](Sv8File& f) { f.packets[2][1] = '@'; }},
        {"key above Z", [](Sv8File& f) { f.packets[2][1] = '['; }},
        {"size 0", [](Sv8File& f) { f.packets[1] = std::string("RG\0", 3); }},
        {"a byte past the end", [](Sv8File& f) { f.back.clear(), f.packets.back() = "SE\x04"; }},
        {"size 2^63-1", [](Sv8File& f) { f.packets[3] = "AP" + std::string(8, '\xFF') + "\x7F"; }},
        {"10-byte size field",
         [](Sv8File& f) { f.packets[1] = "RG" + std::string(9, '\x80') + "\x0C"; }},
        {"no SH", [](Sv8File& f) { f.packets.erase(f.packets.begin()); }},
        {"AP before SH", [](Sv8File& f) { std::swap(f.packets[0], f.packets[3]); }},
        {"no SE", [](Sv8File& f) { f.packets.pop_back(), f.back.clear(); }},
        {"0 samples", whole(sv8Stream(0, 0, 2, 0))},
        {"SH a byte short", header(sh.substr(0, sh.size() - 1))},
        {"SH cut in the sample count", header(sh.substr(0, 7))},
        {"SH cut in the silence", header(sh.substr(0, 9))},
        {"silence above samples", header(sv8HeaderPayload(samples, samples + 1, 2))},
        {"block frames 3", header(sv8HeaderPayload(samples, silence, 3))},
        {"an AP fewer", [](Sv8File& f) { f.packets.erase(f.packets.begin() + 3); }},
        {"an AP more", [](Sv8File& f) { f.packets.insert(f.packets.begin() + 3, "AP\3"); }},
    };
    TempDir dir;
    const std::string path = dir.file("a.mpc");
    for (const auto& c : cases) {
        Sv8File f = goodStream();
        c.change(f);
        writeFile(path, f.bytes());
        const std::string message = c.frames < 0 ? "'" + path + "': unrecognized format\n" : "";
        EXPECT_EQ(measure(path), std::pair(std::max<CdFrames>(c.frames, 0), message)) << c.what;
    }
}

TEST(Sv8Reader, FileBeyondFourGiB) {
    // Three audio packets of 1.5 GiB left as holes put the stream end past
    // 4 GiB, where an offset of 32 bits would wrap into a hole.
    TempDir dir;
    const std::string path = dir.file("big.mpc");
    const std::uint64_t total = 1152 * 16384 * 2 + 5; // 3 packets of 16384 frames
    const std::uint64_t apSize = 3ull << 29;
    std::vector<std::pair<std::uint64_t, std::string>> pieces = {
        {0, "MPCK" + sv8Packet("SH", sv8HeaderPayload(total, 0, 7))}};
    std::uint64_t at = pieces[0].second.size();
    for (int i = 0; i < 3; ++i, at += apSize) pieces.push_back({at, "AP" + sv8Number(apSize)});
    pieces.push_back({at, "SE\3"});
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (const auto& [offset, bytes] : pieces)
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<std::int64_t>(offset)),
                  static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    EXPECT_EQ(measure(path), std::pair(samplesToCdFrames(total), std::string()));
}

} // namespace
} // namespace vorlin::test
