// The two frame syntaxes: which bits one frame body holds, in which order.
// Values are decoded and stored as a decoder would, but only resolutions and
// scale-factor selections steer what is read next.
#include "mpc/frame_scanner.hpp"

namespace vorlin {

namespace {

// Adds in 32-bit two's complement without overflow: scale-factor references
// carry from frame to frame and a crafted stream could push them far.
std::int32_t wrappingAdd(std::int32_t base, std::int32_t delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(base) +
                                     static_cast<std::uint32_t>(delta));
}

constexpr std::int32_t sv7ResolutionEscape = 4;
constexpr std::int32_t sv7ScaleEscape = 8;
constexpr int samplesPerBand = 36;

} // namespace

void FrameScanner::parseFrameSv7() {
    // Resolutions: band 0 plainly, every higher band as a difference to the band below.
    resL[0] = static_cast<std::int32_t>(bits.readBits(4));
    resR[0] = static_cast<std::int32_t>(bits.readBits(4));
    if (midSideStereo && (resL[0] || resR[0]))
        msFlag[0] = static_cast<std::int32_t>(bits.readBits(1));
    lastActiveBand = 0;
    for (std::int32_t n = 1; n <= maxBand; ++n) {
        std::int32_t d = huffDecode(sv7ResolutionDelta);
        resL[n] = d == sv7ResolutionEscape ? static_cast<std::int32_t>(bits.readBits(4))
                                           : resL[n - 1] + d;
        d = huffDecode(sv7ResolutionDelta);
        resR[n] = d == sv7ResolutionEscape ? static_cast<std::int32_t>(bits.readBits(4))
                                           : resR[n - 1] + d;
        if (midSideStereo && (resL[n] || resR[n]))
            msFlag[n] = static_cast<std::int32_t>(bits.readBits(1));
        if (resL[n] || resR[n]) lastActiveBand = n;
    }

    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        if (resL[b]) scfiL[b] = huffDecode(sv7Scfi);
        if (resR[b]) scfiR[b] = huffDecode(sv7Scfi);
    }

    // Scale-factor indices: the selection tells which of the three are coded
    // and which repeat the one before.
    auto scaleCode = [this](std::int32_t base) {
        std::int32_t d = huffDecode(sv7ScaleDelta);
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
    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        if (resL[b]) readScaleIndices(scfiL[b], scaleIndexL[b], scaleRefL[b]);
        if (resR[b]) readScaleIndices(scfiR[b], scaleIndexR[b], scaleRefR[b]);
    }

    // Samples; false when a resolution out of range ends the frame.
    auto readSamples = [this](std::int32_t resolution, std::int32_t* out) {
        if (resolution < -17 || resolution > 17) return false;
        if (resolution <= 0) return true; // nothing stored, or noise with no data
        if (resolution >= 8) {
            for (int i = 0; i < samplesPerBand; ++i)
                out[i] = static_cast<std::int32_t>(bits.readBits(quantBits[resolution])) -
                         quantOffset[resolution];
            return true;
        }
        const std::uint32_t set = bits.readBits(1);
        const CodeTable& table = *sv7QuantLookup[set * 8 + static_cast<std::uint32_t>(resolution)];
        if (resolution == 1) { // one code per three samples, each -1..1
            for (int i = 0; i < samplesPerBand; i += 3) {
                std::int32_t v = huffDecode(table);
                out[i] = v % 3 - 1;
                out[i + 1] = v / 3 % 3 - 1;
                out[i + 2] = v / 9 - 1;
            }
        } else if (resolution == 2) { // one code per two samples, each -2..2
            for (int i = 0; i < samplesPerBand; i += 2) {
                std::int32_t v = huffDecode(table);
                out[i] = v % 5 - 2;
                out[i + 1] = v / 5 - 2;
            }
        } else {
            for (int i = 0; i < samplesPerBand; ++i) out[i] = huffDecode(table);
        }
        return true;
    };
    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        if (!readSamples(resL[b], samples[b][0])) return;
        if (!readSamples(resR[b], samples[b][1])) return;
    }
}

void FrameScanner::parseFrameSv46() {
    // Resolutions, with the mid/side bit between a band's two codes.
    lastActiveBand = 0;
    for (std::int32_t b = 0; b <= maxBand; ++b) {
        const CodeTable& region = b <= 10 ? sv6RegionA : b <= 22 ? sv6RegionB : sv6RegionC;
        resL[b] = bandResolution[b][huffDecode(region)];
        if (midSideStereo) msFlag[b] = static_cast<std::int32_t>(bits.readBits(1));
        resR[b] = bandResolution[b][huffDecode(region)];
        if (resL[b] || resR[b]) lastActiveBand = b;
    }

    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        if (resL[b]) huffDecodePair(sv6ScfiBundle, scfiL[b], deltaCodedL[b]);
        if (resR[b]) huffDecodePair(sv6ScfiBundle, scfiR[b], deltaCodedR[b]);
    }

    // Scale-factor indices: 3, 2, 2 or 1 of them by selection, each a coded
    // difference or a plain 6-bit number.
    static constexpr int indicesBySelection[4] = {3, 2, 2, 1};
    auto readScaleIndices = [this](std::int32_t selection, std::int32_t deltaCoded,
                                   std::int32_t* index, std::int32_t& reference) {
        std::int32_t last = reference;
        for (int i = 0; i < indicesBySelection[selection & 3]; ++i) {
            last = deltaCoded ? wrappingAdd(last, huffDecode(sv6ScaleDelta))
                              : static_cast<std::int32_t>(bits.readBits(6));
            index[i] = last;
        }
        reference = last;
    };
    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        if (resL[b]) readScaleIndices(scfiL[b], deltaCodedL[b], scaleIndexL[b], scaleRefL[b]);
        if (resR[b]) readScaleIndices(scfiR[b], deltaCodedR[b], scaleIndexR[b], scaleRefR[b]);
    }

    // Samples: a band's Huffman-coded channels first (left and right
    // alternating), then its plainly coded ones.
    for (std::int32_t b = 0; b <= lastActiveBand; ++b) {
        const std::int32_t r = resL[b], s = resR[b];
        const bool codedL = r >= 1 && r <= 7, codedR = s >= 1 && s <= 7;
        if (codedL || codedR) {
            for (int i = 0; i < samplesPerBand; ++i) {
                if (codedL) samples[b][0][i] = huffDecode(*sv6QuantLookup[r]);
                if (codedR) samples[b][1][i] = huffDecode(*sv6QuantLookup[s]);
            }
        }
        if (r > 7 || s > 7) {
            for (int i = 0; i < samplesPerBand; ++i) {
                if (r > 7)
                    samples[b][0][i] =
                        static_cast<std::int32_t>(bits.readBits(quantBits[r])) - quantOffset[r];
                if (s > 7)
                    samples[b][1][i] =
                        static_cast<std::int32_t>(bits.readBits(quantBits[s])) - quantOffset[s];
            }
        }
    }
}

} // namespace vorlin
