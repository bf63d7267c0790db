// The frame syntaxes walked for their length. Frame after frame, this is
// where a measurement spends its time.
//
// How it is fast: the bits come from a 64-bit register (BitCursor) topped up
// without a branch from a byte-ordered copy of the ring; a code whose value
// steers the syntax is decoded with one lookup on the next bits
// (ValueTable); runs of codes whose values nobody needs (samples, scale
// differences) are skipped several codes per lookup (RunTable: how many
// whole codes the next 12 bits hold and how long they are), and plainly
// stored samples in one jump. Only codes longer than a table's index fall
// back to scanning the sorted entries, so every code is the one the plain
// parse decodes and exactly the same bits are consumed. Each refill
// guarantees 56 bits; the steps between refills below stay within that.
#include "mpc/fast_tables.hpp"
#include "mpc/frame_chain.hpp"
#include "mpc/frame_scanner.hpp"

namespace vorlin {

namespace {

constexpr std::uint32_t scaleCodesBySelection[4] = {3, 2, 2, 1};
constexpr std::int32_t sv7ResolutionEscape = 4;

// A band's samples in one channel of a version 7 frame; false when the
// resolution is out of range and the frame ends here.
template <class Cursor>
inline bool skipSamplesSv7(Cursor& bits, const FastTables& t, std::int32_t resolution) {
    if (resolution < -17 || resolution > 17) return false;
    if (resolution <= 0) return true;
    if (resolution >= 8) {
        bits.skipLong(36 * static_cast<std::uint32_t>(quantBits[resolution]));
        return true;
    }
    bits.refill();
    const std::uint32_t set = bits.read(1);
    skipCodes(bits, t.sv7Quant[set * 8 + static_cast<std::uint32_t>(resolution)],
              resolution == 1   ? 12
              : resolution == 2 ? 18
                                : 36);
    return true;
}

// What one frame decodes to steer its own syntax; nothing of it carries over
// to the next frame.
struct Steering {
    std::int32_t resL[maxBands], resR[maxBands];
    std::int32_t scfiL[maxBands], scfiR[maxBands];
    std::int32_t deltaCodedL[maxBands], deltaCodedR[maxBands];
};

template <class Cursor> void walkSv7(Cursor& c, std::int32_t maxBand, bool midSide) {
    const FastTables& t = fastTables();
    Steering s;
    std::int32_t left = static_cast<std::int32_t>(c.read(4));
    std::int32_t right = static_cast<std::int32_t>(c.read(4));
    s.resL[0] = left;
    s.resR[0] = right;
    if (midSide && (left | right)) c.consume(1);
    std::int32_t last = 0;
    for (std::int32_t n = 1; n <= maxBand; ++n) {
        c.refill(); // a band takes at most 2 * (9 + 4) + 1 bits
        std::int32_t d = decodeValue(c, t.sv7ResolutionDelta);
        left = d == sv7ResolutionEscape ? static_cast<std::int32_t>(c.read(4)) : left + d;
        d = decodeValue(c, t.sv7ResolutionDelta);
        right = d == sv7ResolutionEscape ? static_cast<std::int32_t>(c.read(4)) : right + d;
        s.resL[n] = left;
        s.resR[n] = right;
        if (left | right) {
            if (midSide) c.consume(1);
            last = n;
        }
    }

    for (std::int32_t b = 0; b <= last; ++b) {
        c.refill(); // two selections of at most 3 bits
        if (s.resL[b]) s.scfiL[b] = decodeValue(c, t.sv7Scfi);
        if (s.resR[b]) s.scfiR[b] = decodeValue(c, t.sv7Scfi);
    }
    for (std::int32_t b = 0; b <= last; ++b) {
        c.refill(); // per channel at most 3 scale codes of 10 bits with escape
        if (s.resL[b])
            for (std::uint32_t k = scaleCodesBySelection[s.scfiL[b]]; k > 0; --k)
                c.consume(t.sv7ScaleSkip[c.peek(10)]);
        c.refill();
        if (s.resR[b])
            for (std::uint32_t k = scaleCodesBySelection[s.scfiR[b]]; k > 0; --k)
                c.consume(t.sv7ScaleSkip[c.peek(10)]);
    }
    for (std::int32_t b = 0; b <= last; ++b)
        if (!skipSamplesSv7(c, t, s.resL[b]) || !skipSamplesSv7(c, t, s.resR[b])) break;
}

template <class Cursor> void walkSv46(Cursor& c, std::int32_t maxBand, bool midSide) {
    const FastTables& t = fastTables();
    Steering s;
    std::int32_t last = 0;
    for (std::int32_t b = 0; b <= maxBand; ++b) {
        c.refill(); // two region codes of at most 14 bits and a mid/side bit
        const ValueTable& region = b <= 10 ? t.sv6RegionA : b <= 22 ? t.sv6RegionB : t.sv6RegionC;
        const std::int32_t left = t.sv6BandResolution[b][decodeValue(c, region)];
        if (midSide) c.consume(1);
        const std::int32_t right = t.sv6BandResolution[b][decodeValue(c, region)];
        s.resL[b] = left;
        s.resR[b] = right;
        if (left | right) last = b;
    }

    for (std::int32_t b = 0; b <= last; ++b) {
        c.refill(); // two selection bundles of at most 6 bits
        if (s.resL[b]) {
            const std::int32_t v = decodeValue(c, t.sv6ScfiBundle);
            s.scfiL[b] = v >> 1;
            s.deltaCodedL[b] = v & 1;
        }
        if (s.resR[b]) {
            const std::int32_t v = decodeValue(c, t.sv6ScfiBundle);
            s.scfiR[b] = v >> 1;
            s.deltaCodedR[b] = v & 1;
        }
    }
    for (std::int32_t b = 0; b <= last; ++b) {
        if (s.resL[b]) {
            const std::uint32_t k = scaleCodesBySelection[s.scfiL[b]];
            c.refill();
            s.deltaCodedL[b] ? skipCodes(c, t.sv6ScaleDelta, k) : c.consume(6 * k);
        }
        if (s.resR[b]) {
            const std::uint32_t k = scaleCodesBySelection[s.scfiR[b]];
            c.refill();
            s.deltaCodedR[b] ? skipCodes(c, t.sv6ScaleDelta, k) : c.consume(6 * k);
        }
    }
    for (std::int32_t b = 0; b <= last; ++b) {
        const std::int32_t r = s.resL[b], q = s.resR[b];
        const bool codedL = r >= 1 && r <= 7, codedR = q >= 1 && q <= 7;
        if (codedL && codedR) {
            if (r == q) { // both channels draw from one table: one run of 72 codes
                skipCodes(c, t.sv6Quant[r], 72);
            } else {
                skipPairs(c, t.sv6Pairs[r * 8 + q], t.sv6Quant[r], t.sv6Quant[q], 36);
            }
        } else if (codedL) {
            skipCodes(c, t.sv6Quant[r], 36);
        } else if (codedR) {
            skipCodes(c, t.sv6Quant[q], 36);
        }
        // Plain samples follow the band's coded ones.
        const std::uint32_t plainBits = (r > 7 ? quantBits[r] : 0) + (q > 7 ? quantBits[q] : 0);
        if (plainBits) c.skipLong(36 * plainBits);
    }
}

} // namespace

std::uint32_t walkFrameBody(const std::uint8_t* ordered, std::uint32_t start,
                            const FrameShape& shape) {
    LinearCursor c(ordered, start);
    if (shape.sv7)
        walkSv7(c, shape.maxBand, shape.midSide);
    else
        walkSv46(c, shape.maxBand, shape.midSide);
    return c.position();
}

void FrameScanner::syncBitReader(std::uint32_t start, std::uint32_t end) {
    bits.wordsConsumed += ((end >> 5) - (start >> 5)) & ringMask;
    bits.wordIndex = (end >> 5) & ringMask;
    bits.bitPos = end & 31;
    bits.currentWord = bits.ring[bits.wordIndex];
}

void FrameScanner::parseFrameSv7Fast() {
    const std::uint32_t start = bits.wordIndex * 32 + bits.bitPos;
    RingCursor c(bits.ordered, start);
    walkSv7(c, maxBand, midSideStereo != 0);
    syncBitReader(start, c.position());
}

void FrameScanner::parseFrameSv46Fast() {
    const std::uint32_t start = bits.wordIndex * 32 + bits.bitPos;
    RingCursor c(bits.ordered, start);
    walkSv46(c, maxBand, midSideStereo != 0);
    syncBitReader(start, c.position());
}

} // namespace vorlin
