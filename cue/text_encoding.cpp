#include "cue/text_encoding.hpp"

#include <cstdint>

#include "platform/platform.hpp"

namespace vorlin {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its code point, or 0 when it is not one.
std::size_t utf8Sequence(std::string_view text, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUnit(std::string& out, std::uint16_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    char32_t codePoint;
    while (!text.empty()) {
        const std::size_t length = utf8Sequence(text, codePoint);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unitAt(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return std::nullopt; // a low half with no high one
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const char32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10 | (low - 0xDC00));
            i += 2;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string utf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(2 * text.size() + 2);
    appendUnit(out, 0xFEFF, bigEndian);
    char32_t c;
    while (!text.empty()) {
        std::size_t length = utf8Sequence(text, c);
        if (length == 0) {
            c = 0xFFFD;
            length = 1;
        }
        text.remove_prefix(length);
        if (c >= 0x10000) {
            appendUnit(out, static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)), bigEndian);
            appendUnit(out, static_cast<std::uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)),
                       bigEndian);
        } else {
            appendUnit(out, static_cast<std::uint16_t>(c), bigEndian);
        }
    }
    return out;
}

std::optional<std::string> codePageToUtf8(std::string_view text, const char* codePage) {
    return platform::convertCodePage(text, codePage);
}

std::optional<std::string> utf8ToCodePage(std::string_view text, const char* codePage) {
    return platform::convertToCodePage(text, codePage);
}

} // namespace vorlin
