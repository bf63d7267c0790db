// A UTF-16 sheet is written back in its own byte order, behind its mark;
// bytes of the new text that are not well-formed UTF-8 become U+FFFD, one
// for each byte.
#include <gtest/gtest.h>

#include <string>

#include "cue/text_encoding.hpp"

using namespace vorlin;

namespace {

// UTF-16LE code units as bytes.
std::string units(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

} // namespace

TEST(TextEncoding, BytesThatAreNotUtf8BecomeOneReplacementCharacterEach) {
    const struct {
        const char* label;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"a stray byte", "a\xFFz", u"a\uFFFDz"},
        {"a continuation byte alone", "a\x80z", u"a\uFFFDz"},
        {"a sequence cut short", "a\xE2\x82z", u"a\uFFFD\uFFFDz"},
        {"a sequence cut by the end", "a\xF0\x9F\x8E", u"a\uFFFD\uFFFD\uFFFD"},
        {"an overlong form", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"a surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"well-formed text around", "\xC3\xA9\xFF\xF0\x9F\x8E\xB5", u"\u00E9\uFFFD\U0001F3B5"},
    };
    for (const auto& c : cases) {
        const std::string little = units(u"\uFEFF" + c.utf16);
        EXPECT_EQ(utf8ToUtf16(c.utf8, false), little) << c.label;
        std::string big = little;
        for (std::size_t i = 0; i + 1 < big.size(); i += 2) std::swap(big[i], big[i + 1]);
        EXPECT_EQ(utf8ToUtf16(c.utf8, true), big) << c.label;
        // Read back, the replacement is U+FFFD's UTF-8 form.
        EXPECT_TRUE(isValidUtf8(*utf16ToUtf8(little.substr(2), false))) << c.label;
    }
    EXPECT_EQ(utf16ToUtf8(units(u"a\uFFFD"), false), "a\xEF\xBF\xBD");
}
