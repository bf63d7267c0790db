// Lookup tables and a bit cursor for walking frames quickly. They decode
// exactly the codes of the sorted code tables (a longer code falls back to
// the plain scan of the sorted entries); they are derived once per process
// from the same listings and never change.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "mpc/bit_reader.hpp"
#include "mpc/code_tables.hpp"

namespace vorlin {

// Reads frame bits from a byte-ordered buffer (each 32-bit word's top byte
// first) through a 64-bit register: the bit reader's copy of the ring, whose
// positions wrap with ByteMask, or a linear buffer (ByteMask all ones).
// `buffer` holds `avail` valid bits left-aligned (any bits below them are the
// stream's own or zero); `next` is the byte where the bits after them start.
// refill() tops the register up to 56..63 bits with one unaligned 8-byte load
// and no branch; peeks and consumes between two refills must stay within
// what it guarantees (56 bits).
template <std::uint32_t ByteMask> class BitCursor {
  public:
    static constexpr std::uint32_t positionMask = ByteMask << 3 | 7;

    // Starts at a bit position counted as wordIndex * 32 + bitPos.
    BitCursor(const std::uint8_t* ordered, std::uint32_t position)
        : bytes_(ordered), next_((position & positionMask) >> 3) {
        refill();
        consume(position & 7);
    }

    // The bit position, counted as above (modulo the ring's size in bits).
    std::uint32_t position() const { return (next_ * 8 - avail_) & positionMask; }

    void refill() {
        std::uint64_t loaded;
        std::memcpy(&loaded, bytes_ + next_, 8);
        if constexpr (std::endian::native == std::endian::little)
            loaded = __builtin_bswap64(loaded);
        buffer_ |= loaded >> avail_;
        next_ = (next_ + ((63 - avail_) >> 3)) & ByteMask;
        avail_ |= 56;
    }

    // The next k bits (1..32) as a number.
    std::uint32_t peek(unsigned k) const { return static_cast<std::uint32_t>(buffer_ >> (64 - k)); }
    std::uint32_t peek32() const { return static_cast<std::uint32_t>(buffer_ >> 32); }
    std::uint64_t peek64() const { return buffer_; }

    void consume(std::uint32_t n) {
        buffer_ <<= n;
        avail_ -= n;
    }

    // Consumes the length in the low 4 bits of a run entry whose bits 4-5
    // are clear: the shift takes the entry as it is.
    void consumeEntry(std::uint32_t e) {
        buffer_ <<= (e & 63);
        avail_ -= e & 15;
    }

    std::uint32_t read(std::uint32_t n) {
        const std::uint32_t value = n ? peek(n) : 0;
        consume(n);
        return value;
    }

    // Consumes any number of bits, and refills.
    void skipLong(std::uint32_t n) { *this = BitCursor(bytes_, position() + n); }

  private:
    const std::uint8_t* bytes_;
    std::uint64_t buffer_ = 0;
    std::uint32_t next_;
    std::uint32_t avail_ = 0;
};

using RingCursor = BitCursor<ringWords * 4 - 1>;
using LinearCursor = BitCursor<0xFFFFFFFFu>;

// The scale codes of a channel, by its scale-factor selection.
inline constexpr std::uint32_t scaleCodesBySelection[4] = {3, 2, 2, 1};

// Decodes a code whose value steers the syntax. Indexed by the next `bits`
// bits (the longest code, at most 10); an entry of length 0 means the code is
// longer and the sorted entries are scanned instead.
struct ValueTable {
    struct Entry {
        std::int8_t value;
        std::uint8_t length;
    };
    Entry entry[1024];
    std::uint32_t bits;
    CodeTable sorted;
};

// Skips runs of codes whose values nobody needs (samples, scale
// differences). Indexed by the next 10 bits, an entry tells how many whole
// codes, up to three, those bits begin with (bits 14-15, so that one shift
// yields them), their total length (bits 0-3; bits 4-5 stay clear, so the
// entry itself serves as a shift count), and the length of the first one and
// the first two (bits 6-9, 10-13). No codes at all means the first code is
// longer than 10 bits and the sorted entries are scanned.
struct RunTable {
    static constexpr unsigned indexBits = 10;
    static constexpr unsigned maxCodes = 3;
    // Lookups between two refills: the last may meet a code longer than the
    // index, and a sample code or a left/right pair takes at most 16 bits.
    static constexpr int lookupsPerRefill = 5;
    static_assert((lookupsPerRefill - 1) * indexBits + 16 <= 56);
    std::uint16_t entry[1u << indexBits];
    CodeTable sorted;

    static std::uint32_t codes(std::uint32_t e) { return e >> 14; }
    static std::uint32_t allLength(std::uint32_t e) { return e & 15; }
    // The length of the first n (1..3, at most codes(e)) codes.
    static std::uint32_t firstLength(std::uint32_t e, std::uint32_t n) {
        return n == 3 ? e & 15 : e >> (2 + 4 * n) & 15;
    }
    static std::uint16_t pack(std::uint32_t codes, const std::uint32_t* lengths) {
        return static_cast<std::uint16_t>(codes << 14 | lengths[1] << 10 | lengths[0] << 6 |
                                          lengths[2]);
    }
};

// Like a RunTable, for a band whose left and right samples alternate between
// two different tables: each "code" is a left code followed by a right one.
struct PairTable {
    std::uint16_t entry[1u << RunTable::indexBits];
};

struct FastTables {
    ValueTable sv6RegionA, sv6RegionB, sv6RegionC, sv6ScfiBundle;
    std::int8_t sv6BandResolution[32][16]; // the resolution of a region code, by band
    std::uint8_t sv6ScaleSkip[2][64];      // scale code length by the next 6 bits: plain, coded
    RunTable sv6Quant[8];                  // by resolution 1..7
    PairTable sv6Pairs[64]; // by left resolution * 8 + right resolution, the two different
    ValueTable sv7ResolutionDelta;
    // A band's selections, by how many of its channels have samples (0 to
    // 2) and the next 6 bits: their length, and in bits 4-7 the count of
    // scale codes they select.
    std::uint8_t sv7Selections[3][64];
    std::uint8_t sv7ScaleSkip[1024]; // scale code length, the escape's 6 bits included
    std::uint16_t sv7ScaleRun[1u << RunTable::indexBits]; // the same, as runs
    RunTable sv7Quant[16];                                // by set * 8 + resolution 1..7
};

// The tables; those of one syntax (version 7, else versions 4 to 6) are
// built when first asked for, so a process measuring only one syntax builds
// only its own.
const FastTables& fastTables(bool sv7);

// The plain scan of a sorted table over a left-aligned window; the match's entry.
inline const HuffEntry& scanSorted(const CodeTable& table, std::uint32_t window) {
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    return *entry;
}

// Decodes one code; needs 14 valid bits.
template <class Cursor> inline std::int32_t decodeValue(Cursor& bits, const ValueTable& table) {
    const ValueTable::Entry e = table.entry[bits.peek(table.bits)];
    if (e.length) {
        bits.consume(e.length);
        return e.value;
    }
    const HuffEntry& slow = scanSorted(table.sorted, bits.peek32());
    bits.consume(slow.length);
    return slow.value;
}

// The length of the code of `table` that the left-aligned `window` starts
// with.
inline std::uint32_t codeLength(std::uint64_t window, const RunTable& table) {
    const std::uint32_t e = table.entry[window >> (64 - RunTable::indexBits)];
    return RunTable::codes(e)
               ? RunTable::firstLength(e, 1)
               : scanSorted(table.sorted, static_cast<std::uint32_t>(window >> 32)).length;
}

// Consumes `count` (at least 1) codes through entries of the RunTable layout;
// `longOne` consumes one code the index is too short for. Entries are taken
// whole until one holds at least the codes still due; of that one only the
// first few are taken. So the length that feeds the next lookup comes
// straight from an entry, and the one branch that depends on the data is
// the end of the run.
template <class Cursor, typename LongOne>
inline void skipRun(Cursor& bits, const std::uint16_t* entry, std::uint32_t count,
                    LongOne longOne) {
    for (;;) {
        bits.refill();
        for (int lookup = 0; lookup < RunTable::lookupsPerRefill; ++lookup) {
            const std::uint32_t e = entry[bits.peek(RunTable::indexBits)];
            const std::uint32_t codes = RunTable::codes(e);
            if (codes - 1 >= count - 1) { // enough codes, or none (wrapping to the largest)
                if (codes == 0) {
                    longOne();
                    if (--count == 0) return;
                    break;
                }
                bits.consume(RunTable::firstLength(e, count));
                return;
            }
            bits.consumeEntry(e);
            count -= codes;
        }
    }
}

template <class Cursor>
inline void skipCodes(Cursor& bits, const RunTable& table, std::uint32_t count) {
    skipRun(bits, table.entry, count,
            [&] { bits.consume(scanSorted(table.sorted, bits.peek32()).length); });
}

// Consumes `count` left and right code pairs of a band whose channels use
// the tables `left` and `right`.
template <class Cursor>
inline void skipPairs(Cursor& bits, const PairTable& pairs, const RunTable& left,
                      const RunTable& right, std::uint32_t count) {
    skipRun(bits, pairs.entry, count, [&] {
        bits.consume(codeLength(bits.peek64(), left));
        bits.consume(codeLength(bits.peek64(), right));
    });
}

} // namespace vorlin
