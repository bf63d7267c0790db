// The plain parses: each code decoded by scanning its table's sorted entries,
// each value stored where a decoder would keep it.
#include "mpc/frame_syntax.hpp"

namespace vorlin {

namespace {

// Adds in 32-bit two's complement without overflow: scale-factor references
// carry from frame to frame and a crafted stream could push them far.
std::int32_t wrappingAdd(std::int32_t base, std::int32_t delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(base) +
                                     static_cast<std::uint32_t>(delta));
}

constexpr int samplesPerBand = 36;

void buildTables(SyntaxTables& t) {
    buildTable(t.sv6RegionA, sv46Listings[0]);
    buildTable(t.sv6RegionB, sv46Listings[1]);
    buildTable(t.sv6RegionC, sv46Listings[2]);
    buildTable(t.sv6ScfiBundle, sv46Listings[3]);
    buildTable(t.sv6ScaleDelta, sv46Listings[4]);
    for (int r = 0; r < 7; ++r) buildTable(t.sv6Quant[r], sv46Listings[5 + r]);

    buildTable(t.sv7ResolutionDelta, sv7Listings[0]);
    buildTable(t.sv7Scfi, sv7Listings[1]);
    buildTable(t.sv7ScaleDelta, sv7Listings[2]);
    for (int r = 0; r < 7; ++r)
        for (int set = 0; set < 2; ++set)
            buildTable(t.sv7Quant[r][set], sv7Listings[3 + 2 * r + set]);
}

} // namespace

SyntaxTables::SyntaxTables() {
    for (int resolution = 1; resolution <= 7; ++resolution) {
        sv7QuantLookup[resolution] = &sv7Quant[resolution - 1][0];
        sv7QuantLookup[8 + resolution] = &sv7Quant[resolution - 1][1];
        sv6QuantLookup[resolution] = &sv6Quant[resolution - 1];
    }
    // Band regions 0-10, 11-22 and 23-31 code resolutions with 16, 8 and 4
    // codes; each region's top code stands for resolution 17.
    for (int band = 0; band < maxBands; ++band) {
        int topCode = band <= 10 ? 15 : band <= 22 ? 7 : 3;
        for (int code = 0; code <= topCode; ++code)
            bandResolution[band][code] = code == topCode ? 17 : code;
    }
    buildTables(*this);
}

std::int32_t huffDecode(BitReader& bits, const CodeTable& table) {
    // Entries are sorted by left-aligned code, largest first: the first code
    // not above the window is the one the window begins with.
    const std::uint32_t window = bits.peekWindow(table.lookahead);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits.skipBits(entry->length);
    return entry->value;
}

void huffDecodePair(BitReader& bits, const CodeTable& table, std::int32_t& high,
                    std::int32_t& low) {
    const std::uint32_t window = bits.peekWindow(6);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits.skipBits(entry->length);
    high = entry->value >> 1;
    low = entry->value & 1;
}

void PlainSyntax::parseSv7(BitReader& bits, bool midSide, std::int32_t maxBand) {
    FrameState& f = state_;
    const SyntaxTables& t = tables_;
    // Resolutions: band 0 plainly, every higher band as a difference to the band below.
    f.resL[0] = static_cast<std::int32_t>(bits.readBits(4));
    f.resR[0] = static_cast<std::int32_t>(bits.readBits(4));
    if (midSide && (f.resL[0] || f.resR[0]))
        f.msFlag[0] = static_cast<std::int32_t>(bits.readBits(1));
    f.lastActiveBand = 0;
    for (std::int32_t n = 1; n <= maxBand; ++n) {
        std::int32_t d = huffDecode(bits, t.sv7ResolutionDelta);
        f.resL[n] = d == sv7ResolutionEscape ? static_cast<std::int32_t>(bits.readBits(4))
                                             : f.resL[n - 1] + d;
        d = huffDecode(bits, t.sv7ResolutionDelta);
        f.resR[n] = d == sv7ResolutionEscape ? static_cast<std::int32_t>(bits.readBits(4))
                                             : f.resR[n - 1] + d;
        if (midSide && (f.resL[n] || f.resR[n]))
            f.msFlag[n] = static_cast<std::int32_t>(bits.readBits(1));
        if (f.resL[n] || f.resR[n]) f.lastActiveBand = n;
    }

    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        if (f.resL[b]) f.scfiL[b] = huffDecode(bits, t.sv7Scfi);
        if (f.resR[b]) f.scfiR[b] = huffDecode(bits, t.sv7Scfi);
    }

    // Scale-factor indices: the selection tells which of the three are coded
    // and which repeat the one before.
    auto scaleCode = [&](std::int32_t base) {
        std::int32_t d = huffDecode(bits, t.sv7ScaleDelta);
        return d == sv7ScaleEscape ? static_cast<std::int32_t>(bits.readBits(6))
                                   : wrappingAdd(base, d);
    };
    auto readScaleIndices = [&](std::int32_t selection, std::int32_t* index,
                                std::int32_t& reference) {
        index[0] = scaleCode(reference);
        index[1] = selection == 0 || selection == 1 ? scaleCode(index[0]) : index[0];
        index[2] = selection == 0 || selection == 2 ? scaleCode(index[1])
                   : selection == 1                 ? index[1]
                                                    : index[0];
        reference = index[2];
    };
    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        if (f.resL[b]) readScaleIndices(f.scfiL[b], f.scaleIndexL[b], f.scaleRefL[b]);
        if (f.resR[b]) readScaleIndices(f.scfiR[b], f.scaleIndexR[b], f.scaleRefR[b]);
    }

    // Samples; false when a resolution out of range ends the frame.
    auto readSamples = [&](std::int32_t resolution, std::int32_t* out) {
        if (resolution < -17 || resolution > 17) return false;
        if (resolution <= 0) return true; // nothing stored, or noise with no data
        if (resolution >= 8) {
            for (int i = 0; i < samplesPerBand; ++i)
                out[i] = static_cast<std::int32_t>(bits.readBits(quantBits[resolution])) -
                         quantOffset[resolution];
            return true;
        }
        const std::uint32_t set = bits.readBits(1);
        const CodeTable& table =
            *t.sv7QuantLookup[set * 8 + static_cast<std::uint32_t>(resolution)];
        if (resolution == 1) { // one code per three samples, each -1..1
            for (int i = 0; i < samplesPerBand; i += 3) {
                std::int32_t v = huffDecode(bits, table);
                out[i] = v % 3 - 1;
                out[i + 1] = v / 3 % 3 - 1;
                out[i + 2] = v / 9 - 1;
            }
        } else if (resolution == 2) { // one code per two samples, each -2..2
            for (int i = 0; i < samplesPerBand; i += 2) {
                std::int32_t v = huffDecode(bits, table);
                out[i] = v % 5 - 2;
                out[i + 1] = v / 5 - 2;
            }
        } else {
            for (int i = 0; i < samplesPerBand; ++i) out[i] = huffDecode(bits, table);
        }
        return true;
    };
    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        if (!readSamples(f.resL[b], f.samples[b][0])) return;
        if (!readSamples(f.resR[b], f.samples[b][1])) return;
    }
}

void PlainSyntax::parseSv46(BitReader& bits, bool midSide, std::int32_t maxBand) {
    FrameState& f = state_;
    const SyntaxTables& t = tables_;
    // Resolutions, with the mid/side bit between a band's two codes.
    f.lastActiveBand = 0;
    for (std::int32_t b = 0; b <= maxBand; ++b) {
        const CodeTable& region = b <= 10 ? t.sv6RegionA : b <= 22 ? t.sv6RegionB : t.sv6RegionC;
        f.resL[b] = t.bandResolution[b][huffDecode(bits, region)];
        if (midSide) f.msFlag[b] = static_cast<std::int32_t>(bits.readBits(1));
        f.resR[b] = t.bandResolution[b][huffDecode(bits, region)];
        if (f.resL[b] || f.resR[b]) f.lastActiveBand = b;
    }

    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        if (f.resL[b]) huffDecodePair(bits, t.sv6ScfiBundle, f.scfiL[b], f.deltaCodedL[b]);
        if (f.resR[b]) huffDecodePair(bits, t.sv6ScfiBundle, f.scfiR[b], f.deltaCodedR[b]);
    }

    // Scale-factor indices: 3, 2, 2 or 1 of them by selection, each a coded
    // difference or a plain 6-bit number.
    static constexpr int indicesBySelection[4] = {3, 2, 2, 1};
    auto readScaleIndices = [&](std::int32_t selection, std::int32_t deltaCoded,
                                std::int32_t* index, std::int32_t& reference) {
        std::int32_t last = reference;
        for (int i = 0; i < indicesBySelection[selection & 3]; ++i) {
            last = deltaCoded ? wrappingAdd(last, huffDecode(bits, t.sv6ScaleDelta))
                              : static_cast<std::int32_t>(bits.readBits(6));
            index[i] = last;
        }
        reference = last;
    };
    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        if (f.resL[b])
            readScaleIndices(f.scfiL[b], f.deltaCodedL[b], f.scaleIndexL[b], f.scaleRefL[b]);
        if (f.resR[b])
            readScaleIndices(f.scfiR[b], f.deltaCodedR[b], f.scaleIndexR[b], f.scaleRefR[b]);
    }

    // Samples: a band's Huffman-coded channels first (left and right
    // alternating), then its plainly coded ones.
    for (std::int32_t b = 0; b <= f.lastActiveBand; ++b) {
        const std::int32_t r = f.resL[b], s = f.resR[b];
        const bool codedL = r >= 1 && r <= 7, codedR = s >= 1 && s <= 7;
        if (codedL || codedR) {
            for (int i = 0; i < samplesPerBand; ++i) {
                if (codedL) f.samples[b][0][i] = huffDecode(bits, *t.sv6QuantLookup[r]);
                if (codedR) f.samples[b][1][i] = huffDecode(bits, *t.sv6QuantLookup[s]);
            }
        }
        if (r > 7 || s > 7) {
            for (int i = 0; i < samplesPerBand; ++i) {
                if (r > 7)
                    f.samples[b][0][i] =
                        static_cast<std::int32_t>(bits.readBits(quantBits[r])) - quantOffset[r];
                if (s > 7)
                    f.samples[b][1][i] =
                        static_cast<std::int32_t>(bits.readBits(quantBits[s])) - quantOffset[s];
            }
        }
    }
}

} // namespace vorlin
