#include "mpc/fast_tables.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace vorlin {

namespace {

std::uint32_t longestCode(const CodeTable& table) {
    std::uint32_t longest = 0;
    for (std::uint32_t i = 0; i < table.count; ++i)
        longest = std::max(longest, table.entry[i].length);
    return longest;
}

// Calls fill(firstIndex, lastIndex, entry) for the index range that every
// code of up to `bits` bits covers when indexed by the next `bits` bits.
template <typename Fill> void forEachCodeRange(const CodeTable& table, unsigned bits, Fill fill) {
    for (std::uint32_t i = 0; i < table.count; ++i) {
        const HuffEntry& e = table.entry[i];
        if (e.length > bits) continue;
        std::uint32_t first = e.code >> (32 - bits);
        fill(first, first + (1u << (bits - e.length)), e);
    }
}

void buildValueTable(ValueTable& out, const TableListing& listing) {
    buildTable(out.sorted, listing);
    out.bits = std::min(longestCode(out.sorted), 10u);
    std::fill(std::begin(out.entry), std::end(out.entry), ValueTable::Entry{0, 0});
    forEachCodeRange(out.sorted, out.bits,
                     [&](std::uint32_t from, std::uint32_t to, const HuffEntry& e) {
                         std::fill(out.entry + from, out.entry + to,
                                   ValueTable::Entry{static_cast<std::int8_t>(e.value),
                                                     static_cast<std::uint8_t>(e.length)});
                     });
}

constexpr unsigned indexBits = RunTable::indexBits;
constexpr std::uint32_t indexMask = (1u << indexBits) - 1;

// The length of the first code of every pattern of the index's width (0:
// longer than the index).
using FirstLengths = std::array<std::uint8_t, 1u << indexBits>;

FirstLengths firstLengths(const CodeTable& table) {
    FirstLengths first{};
    forEachCodeRange(table, indexBits,
                     [&](std::uint32_t from, std::uint32_t to, const HuffEntry& e) {
                         std::fill(first.begin() + from, first.begin() + to,
                                   static_cast<std::uint8_t>(e.length));
                     });
    return first;
}

// Packs, for every pattern, the whole codes (up to three) it begins with.
void packRuns(std::uint16_t* entry, const FirstLengths& first) {
    for (std::uint32_t p = 0; p <= indexMask; ++p) {
        std::uint32_t length[RunTable::maxCodes] = {}, codes = 0, used = 0;
        while (codes < RunTable::maxCodes) {
            const unsigned rest = indexBits - used;
            const std::uint32_t next = rest ? first[(p << used) & indexMask] : 0;
            if (next == 0 || next > rest) break;
            used += next;
            length[codes++] = used;
        }
        for (std::uint32_t i = codes; i < RunTable::maxCodes; ++i) length[i] = used;
        entry[p] = RunTable::pack(codes, length);
    }
}

void buildRunTable(RunTable& out, const TableListing& listing) {
    buildTable(out.sorted, listing);
    packRuns(out.entry, firstLengths(out.sorted));
}

// A left code followed by a right one, as one code.
void buildPairTable(PairTable& out, const RunTable& left, const RunTable& right) {
    const FirstLengths firstLeft = firstLengths(left.sorted);
    const FirstLengths firstRight = firstLengths(right.sorted);
    FirstLengths pair{};
    for (std::uint32_t p = 0; p <= indexMask; ++p) {
        const unsigned l = firstLeft[p];
        if (l == 0 || l >= indexBits) continue;
        const unsigned r = firstRight[(p << l) & indexMask];
        if (r != 0 && l + r <= indexBits) pair[p] = static_cast<std::uint8_t>(l + r);
    }
    packRuns(out.entry, pair);
}

void buildSv46Tables(FastTables& t) {
    buildValueTable(t.sv6RegionA, sv46Listings[0]);
    buildValueTable(t.sv6RegionB, sv46Listings[1]);
    buildValueTable(t.sv6RegionC, sv46Listings[2]);
    buildValueTable(t.sv6ScfiBundle, sv46Listings[3]);
    // Band regions 0-10, 11-22 and 23-31 code resolutions with 16, 8 and 4
    // codes; each region's top code stands for resolution 17.
    for (int band = 0; band < 32; ++band) {
        const int topCode = band <= 10 ? 15 : band <= 22 ? 7 : 3;
        for (int code = 0; code <= topCode; ++code)
            t.sv6BandResolution[band][code] = static_cast<std::int8_t>(code == topCode ? 17 : code);
    }
    std::fill(std::begin(t.sv6ScaleSkip[0]), std::end(t.sv6ScaleSkip[0]), std::uint8_t{6});
    CodeTable scaleDelta;
    buildTable(scaleDelta, sv46Listings[4]);
    forEachCodeRange(scaleDelta, 6, [&](std::uint32_t from, std::uint32_t to, const HuffEntry& e) {
        std::fill(t.sv6ScaleSkip[1] + from, t.sv6ScaleSkip[1] + to,
                  static_cast<std::uint8_t>(e.length));
    });
    for (int r = 1; r <= 7; ++r) buildRunTable(t.sv6Quant[r], sv46Listings[4 + r]);
    for (int l = 1; l <= 7; ++l)
        for (int r = 1; r <= 7; ++r)
            if (l != r) buildPairTable(t.sv6Pairs[l * 8 + r], t.sv6Quant[l], t.sv6Quant[r]);
}

void buildSv7Tables(FastTables& t) {
    buildValueTable(t.sv7ResolutionDelta, sv7Listings[0]);
    CodeTable selection;
    buildTable(selection, sv7Listings[1]);
    for (std::uint32_t coded = 0; coded <= 2; ++coded)
        for (std::uint32_t window = 0; window < 64; ++window) {
            std::uint32_t length = 0, codes = 0;
            for (std::uint32_t k = 0; k < coded; ++k) {
                const HuffEntry& e = scanSorted(selection, window << (26 + length));
                length += e.length;
                codes += scaleCodesBySelection[e.value & 3];
            }
            t.sv7Selections[coded][window] = static_cast<std::uint8_t>(codes << 4 | length);
        }
    CodeTable scale;
    buildTable(scale, sv7Listings[2]);
    FirstLengths scaleLengths{};
    forEachCodeRange(scale, 10, [&](std::uint32_t from, std::uint32_t to, const HuffEntry& e) {
        const auto length = static_cast<std::uint8_t>(e.length + (e.value == 8 ? 6 : 0));
        std::fill(t.sv7ScaleSkip + from, t.sv7ScaleSkip + to, length);
        std::fill(scaleLengths.begin() + from, scaleLengths.begin() + to, length);
    });
    packRuns(t.sv7ScaleRun, scaleLengths);
    for (int r = 1; r <= 7; ++r)
        for (int set = 0; set < 2; ++set)
            buildRunTable(t.sv7Quant[set * 8 + r], sv7Listings[3 + 2 * (r - 1) + set]);
}

} // namespace

const FastTables& fastTables(bool sv7) {
    // Each syntax's tables are built apart, into members of their own.
    static FastTables* const tables = new FastTables{};
    if (sv7) {
        static const bool built = (buildSv7Tables(*tables), true);
        static_cast<void>(built);
    } else {
        static const bool built = (buildSv46Tables(*tables), true);
        static_cast<void>(built);
    }
    return *tables;
}

} // namespace vorlin
