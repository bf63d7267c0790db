#include "cue/cue_time.hpp"

#include <cinttypes>
#include <cstdio>

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
    char buffer[48];
    std::int64_t seconds = position / 75;
    std::snprintf(buffer, sizeof buffer, "%02" PRId64 ":%02u:%02u\n", seconds / 60,
                  static_cast<unsigned>(seconds % 60), static_cast<unsigned>(position % 75));
    return buffer;
}

} // namespace vorlin
