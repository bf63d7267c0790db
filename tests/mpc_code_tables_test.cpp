// The code tables of both frame syntaxes and the Huffman lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "mpc/frame_scanner.hpp"
#include "mpc_writer.hpp"

namespace vorlin::test {
namespace {

struct Expected {
    std::uint32_t count;
    std::int32_t offset;
    std::uint32_t lookahead;
    std::uint32_t longest;
};

// Counts, offsets, lookaheads and longest codes of the tables, in build order.
const Expected sv46Expected[12] = {{16, 0, 14, 14}, {8, 0, 14, 7},   {4, 0, 14, 3},
                                   {8, 0, 6, 6},    {13, 6, 10, 6},  {3, 1, 10, 2},
                                   {5, 2, 10, 3},   {7, 3, 10, 5},   {9, 4, 10, 4},
                                   {15, 7, 10, 6},  {31, 15, 10, 7}, {63, 31, 10, 8}};
const Expected sv7Expected[17] = {
    {10, 5, 10, 9},  {4, 0, 5, 3},    {16, 7, 10, 6}, {27, 0, 10, 6},  {27, 0, 10, 9},
    {25, 0, 10, 7},  {25, 0, 10, 10}, {7, 3, 5, 4},   {7, 3, 5, 5},    {9, 4, 5, 4},
    {9, 4, 5, 5},    {15, 7, 10, 6},  {15, 7, 10, 8}, {31, 15, 14, 7}, {31, 15, 14, 13},
    {63, 31, 14, 8}, {63, 31, 14, 14}};

void checkListing(const TableListing& listing, const Expected& expected) {
    SCOPED_TRACE(listing.name);
    EXPECT_EQ(listing.count, expected.count);
    EXPECT_EQ(listing.offset, expected.offset);
    EXPECT_EQ(listing.lookahead, expected.lookahead);
    CodeBook book(listing);
    std::uint64_t kraft = 0; // in units of 2^-14
    std::uint32_t longest = 0;
    for (const Code& c : book.codes) {
        ASSERT_GE(c.length, 1u);
        kraft += std::uint64_t{1} << (14 - c.length);
        longest = std::max(longest, c.length);
    }
    EXPECT_EQ(kraft, std::uint64_t{1} << 14) << "not a complete code";
    EXPECT_EQ(longest, expected.longest);
    EXPECT_LE(longest, listing.lookahead);
    const Code& smallest =
        *std::min_element(book.codes.begin(), book.codes.end(), [](auto& a, auto& b) {
            return (std::uint64_t{a.bits} << (32 - a.length)) <
                   (std::uint64_t{b.bits} << (32 - b.length));
        });
    EXPECT_EQ(smallest.bits, 0u);
    for (const Code& a : book.codes)
        for (const Code& b : book.codes)
            if (&a != &b && a.length <= b.length) {
                EXPECT_NE(b.bits >> (b.length - a.length), a.bits) << "prefix of another code";
            }
}

TEST(CodeTables, EveryListingIsACompletePrefixCode) {
    for (int i = 0; i < 12; ++i) checkListing(sv46Listings[i], sv46Expected[i]);
    for (int i = 0; i < 17; ++i) checkListing(sv7Listings[i], sv7Expected[i]);
    EXPECT_EQ(sv46Book(regionA).code(15).bits, 0b01110000000000u);
    EXPECT_EQ(sv7QuantBook(7, 1).code(-31).length, 14u);
}

TEST(CodeTables, SortTableLeftAlignsAndOrdersLargestFirst) {
    for (const TableListing* listing : {&sv46Listings[0], &sv46Listings[11], &sv7Listings[0],
                                        &sv7Listings[2], &sv7Listings[16]}) {
        SCOPED_TRACE(listing->name);
        CodeBook book(*listing);
        std::vector<HuffEntry> entries;
        for (const Code& c : book.codes) entries.push_back({c.bits, c.length, 99});
        sortTable(entries.data(), listing->count, listing->offset);
        ASSERT_EQ(entries.back().code, 0u);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const HuffEntry& e = entries[i];
            if (i > 0) {
                EXPECT_GT(entries[i - 1].code, e.code);
            }
            const Code& c = book.code(e.value);
            EXPECT_EQ(e.length, c.length);
            EXPECT_EQ(e.code, c.bits << (32 - c.length));
        }
    }
}

// A scanner whose reader starts at bit 0 of `bytes`.
std::unique_ptr<FrameScanner> scannerOver(MemoryByteStream& stream) {
    auto scanner = std::make_unique<FrameScanner>(stream);
    scanner->bits().startAt(0, 0);
    return scanner;
}

TEST(CodeTables, SyntaxTablesDecodeEveryCodeAlignedAndStraddling) {
    std::mt19937 rng(7);
    MemoryByteStream none;
    auto probe = std::make_unique<FrameScanner>(none);
    std::vector<std::pair<const CodeTable*, const CodeBook*>> tables = {
        {&probe->tables().sv6RegionA, &sv46Book(regionA)},
        {&probe->tables().sv6RegionB, &sv46Book(regionB)},
        {&probe->tables().sv6RegionC, &sv46Book(regionC)},
        {&probe->tables().sv6ScaleDelta, &sv46Book(sv6ScaleDeltaTable)},
        {&probe->tables().sv7ResolutionDelta, &sv7Book(resolutionDelta)},
        {&probe->tables().sv7Scfi, &sv7Book(sv7ScfiTable)},
        {&probe->tables().sv7ScaleDelta, &sv7Book(sv7ScaleDeltaTable)}};
    for (int r = 1; r <= 7; ++r) {
        tables.push_back({&probe->tables().sv6Quant[r - 1], &sv6QuantBook(r)});
        tables.push_back({probe->tables().sv6QuantLookup[r], &sv6QuantBook(r)});
        for (int set = 0; set < 2; ++set) {
            tables.push_back({&probe->tables().sv7Quant[r - 1][set], &sv7QuantBook(r, set)});
            tables.push_back({probe->tables().sv7QuantLookup[set * 8 + r], &sv7QuantBook(r, set)});
        }
    }
    for (auto [table, book] : tables) {
        SCOPED_TRACE(book->name);
        ASSERT_NE(table, nullptr);
        // Each code after a prefix of 0..31 bits, followed by ones, zeros or noise.
        for (int value = book->minValue; value <= book->maxValue; ++value) {
            unsigned lead = static_cast<unsigned>(rng() % 32);
            BitWriter w;
            w.put(static_cast<std::uint32_t>(rng()), lead);
            w.put(book->code(value).bits, book->code(value).length);
            w.put(value % 3 == 0   ? 0xFFFFFFFF
                  : value % 3 == 1 ? 0
                                   : static_cast<std::uint32_t>(rng()),
                  32);
            std::string bytes = w.bytes();
            MemoryByteStream stream(bytes.data(), bytes.size());
            auto scanner = scannerOver(stream);
            scanner->bits().readBits(lead);
            EXPECT_EQ(scanner->huffDecode(*table), value);
            EXPECT_EQ(scanner->bits().bitsConsumed(), lead + book->code(value).length);
        }
    }
}

TEST(CodeTables, HuffDecodeEdgeCases) {
    MemoryByteStream none;
    auto s = std::make_unique<FrameScanner>(none);
    auto load = [&](std::initializer_list<std::pair<std::uint32_t, unsigned>> bits, unsigned at) {
        std::fill(std::begin(s->bits().ring), std::end(s->bits().ring), 0u);
        s->bits().resetBits();
        s->bits().wordIndex = at;
        BitWriter w;
        for (auto [v, n] : bits) w.put(v, n);
        std::string b = w.bytes();
        for (std::size_t i = 0; i < b.size(); ++i)
            s->bits().ring[(at + i / 4) & ringMask] |= std::uint32_t{std::uint8_t(b[i])}
                                                       << (8 * (i % 4));
        s->bits().currentWord = s->bits().ring[at];
    };
    std::int32_t hi = -1, lo = -1;
    load({{1, 1}, {0x1FFF, 13}}, 0);
    EXPECT_EQ(s->huffDecode(s->tables().sv6RegionA), 1);
    EXPECT_EQ(s->bits().bitsConsumed(), 1u);
    load({{0b01110000000000, 14}}, 0);
    EXPECT_EQ(s->huffDecode(s->tables().sv6RegionA), 15);
    EXPECT_EQ(s->bits().bitsConsumed(), 14u);
    load({{0, 7}}, 0);
    EXPECT_EQ(s->huffDecode(s->tables().sv6RegionB), 7);
    load({{0, 3}}, 0);
    EXPECT_EQ(s->huffDecode(s->tables().sv6RegionC), 3);
    load({{1, 1}}, 0);
    s->huffDecodePair(s->tables().sv6ScfiBundle, hi, lo);
    EXPECT_EQ(std::make_pair(hi, lo), std::make_pair(3, 1));
    load({{0, 3}, {0xFFF, 12}}, 0);
    s->huffDecodePair(s->tables().sv6ScfiBundle, hi, lo);
    EXPECT_EQ(std::make_pair(hi, lo), std::make_pair(2, 1));
    EXPECT_EQ(s->bits().bitsConsumed(), 3u);
    load({{0b001011, 6}}, 0);
    s->huffDecodePair(s->tables().sv6ScfiBundle, hi, lo);
    EXPECT_EQ(std::make_pair(hi, lo), std::make_pair(0, 0));
    // A 14-bit code straddling the last ring word and word 0.
    load({{0, 25}, {0b11011110100100, 14}}, ringMask);
    s->bits().readBits(25);
    EXPECT_EQ(s->huffDecode(s->tables().sv7Quant[6][1]), -31);
    EXPECT_EQ(s->bits().wordIndex, 0u);
    EXPECT_EQ(s->bits().bitPos, 7u);
}

} // namespace
} // namespace vorlin::test
