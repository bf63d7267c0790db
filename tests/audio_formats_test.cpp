// The format table the dispatch, the audio lookup and the fuzzer share, and
// the byte helpers every header reader uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "audio/formats.hpp"
#include "base/bytes.hpp"

using namespace vorlin;

TEST(AudioFormats, EachExtensionNamesOneFormatWhole) {
    std::set<std::string_view> seen;
    for (const AudioFormat& format : audioFormats()) {
        for (std::string_view extension : format.extensions) {
            EXPECT_TRUE(seen.insert(extension).second) << extension << " is listed twice";
            std::string upper(extension);
            for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
            for (std::string_view spelling : {extension, std::string_view(upper)}) {
                const AudioFormat* found = audioFormatOf(spelling);
                ASSERT_NE(found, nullptr) << spelling;
                EXPECT_EQ(found->id, format.id) << spelling;
            }
        }
    }
    // Only a whole extension, with its dot, names a format.
    for (std::string_view other :
         {"", ".", "wav", ".wa", ".wavx", ".aiffc", ".mp", ".fla", ".mpc "})
        EXPECT_EQ(audioFormatOf(other), nullptr) << '"' << other << '"';
}

TEST(ByteHelpers, ReadBothByteOrdersWithHighBytes) {
    const std::uint8_t b[] = {0x80, 0xFF, 0x01, 0xFE};
    EXPECT_EQ(littleEndian16(b), 0xFF80u);
    EXPECT_EQ(bigEndian16(b), 0x80FFu);
    EXPECT_EQ(littleEndian32(b), 0xFE01FF80u);
    EXPECT_EQ(bigEndian32(b), 0x80FF01FEu);
}

TEST(ByteHelpers, Id3v2TagsTakeTheirSevenBitSizeHeaderAndFooter) {
    auto header = [](std::uint8_t flags, std::uint8_t a, std::uint8_t b, std::uint8_t c,
                     std::uint8_t d) {
        return std::string{'I',
                           'D',
                           '3',
                           4,
                           0,
                           static_cast<char>(flags),
                           static_cast<char>(a),
                           static_cast<char>(b),
                           static_cast<char>(c),
                           static_cast<char>(d)};
    };
    auto tagBytes = [](const std::string& h) {
        return id3v2TagBytes(reinterpret_cast<const std::uint8_t*>(h.data()));
    };
    EXPECT_EQ(tagBytes(header(0, 0, 0, 0, 0)), 10);
    EXPECT_EQ(tagBytes(header(0, 0, 0, 1, 0x7F)), 10 + 255);
    EXPECT_EQ(tagBytes(header(0, 0x7F, 0x7F, 0x7F, 0x7F)), 10 + (1 << 28) - 1);
    EXPECT_EQ(tagBytes(header(id3v2FooterFlag, 0, 0, 0, 5)), 10 + 5 + 10);
    EXPECT_EQ(tagBytes(header(0, 0, 0x80, 0, 0)), std::nullopt); // not a size
    EXPECT_EQ(tagBytes(header(0, 0, 0, 0, 0x80)), std::nullopt);

    const std::uint8_t id3[] = {'I', 'D', '3'};
    EXPECT_TRUE(startsWithId3(id3, 3));
    EXPECT_FALSE(startsWithId3(id3, 2)); // only the bytes at hand count
}
