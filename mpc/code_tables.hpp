// The Huffman code tables of both MPC frame syntaxes and their lookup.
#pragma once

#include <cstdint>

namespace vorlin {

struct HuffEntry {
    std::uint32_t code;   // right-aligned as built, left-aligned after sortTable
    std::uint32_t length; // 1..14 bits
    std::int32_t value;   // entry index minus the table's offset
};

// One table as the format defines it: for every value in increasing order,
// "value:code" with the code's bits first bit first.
struct TableListing {
    const char* name;
    std::uint32_t count;
    std::int32_t offset;
    std::uint32_t lookahead;
    const char* codes;
};

inline constexpr std::uint32_t maxTableEntries = 63;

// A prepared code table: entries sorted by left-aligned code, largest first.
struct CodeTable {
    HuffEntry entry[maxTableEntries];
    std::uint32_t count;
    std::uint32_t lookahead;
};

// The listings, in the order the tables are built: the SV4-6 family
// (regions A, B, C, scale-factor bundle, scale delta, samples of resolutions
// 1..7), then the SV7 family (resolution delta, selection, scale delta, then
// samples of resolutions 1..7, set 0 before set 1).
extern const TableListing sv46Listings[12];
extern const TableListing sv7Listings[17];

// Fills `table` from `listing` (codes right-aligned) and prepares it with sortTable.
void buildTable(CodeTable& table, const TableListing& listing);

// Left-aligns every code, sets value = index - offset, and sorts by code,
// largest first (unsigned).
void sortTable(HuffEntry* table, std::uint32_t count, std::int32_t offset);

} // namespace vorlin
