#include "cue/cue_time.hpp"

namespace vorlin {

std::int64_t parseCueTime(std::string_view text) {
    // Three unsigned fields of at most two characters each, separated by ':'.
    // As with scanf's %2u: white space before a field is skipped, a sign is
    // allowed and counts toward the width, and a negative value wraps modulo 2^32.
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::uint32_t field[3];
    std::size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (i >= text.size() || text[i] != ':') return -1;
            ++i;
        }
        while (i < text.size() && isSpace(text[i])) ++i;
        int width = 2;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
            --width;
        }
        std::uint32_t value = 0;
        int digits = 0;
        for (; width > 0 && i < text.size() && isDigit(text[i]); ++i, --width, ++digits)
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
        if (digits == 0) return -1;
        field[k] = negative ? 0u - value : value;
    }
    return (static_cast<std::int64_t>(field[0]) * 60 + field[1]) * 75 + field[2];
}

std::string formatCueTime(CdFrames position) {
    // As "%02lld:%02u:%02u\n" would write it, by hand: every INDEX line of a
    // sheet comes through here.
    const std::int64_t seconds = position / 75;
    char text[32];
    char* end = text + sizeof text;
    char* at = end;
    const auto put = [&](char c) { *--at = c; };
    const auto putTwo = [&](std::int64_t value) {
        put(static_cast<char>('0' + value % 10));
        put(static_cast<char>('0' + value / 10));
    };
    put('\n');
    putTwo(position % 75);
    put(':');
    putTwo(seconds % 60);
    put(':');
    std::int64_t minutes = seconds / 60;
    const char* minutesEnd = at;
    do {
        put(static_cast<char>('0' + minutes % 10));
        minutes /= 10;
    } while (minutes > 0);
    if (minutesEnd - at < 2) put('0');
    return std::string(at, end);
}

} // namespace vorlin
