#include "mpc/frame_scanner.hpp"

#include <memory>
#include <new>

namespace vorlin {

namespace {

void buildTables(ScannerTables& t) {
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

ScannerTables::ScannerTables() {
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

FrameScanner::FrameScanner(ByteStream& byteStream) {
    bits_.stream = &byteStream;
}

void FrameScanner::setShape(bool midSide, std::int32_t maxBand) {
    midSide_ = midSide;
    maxBand_ = maxBand;
}

bool FrameScanner::start(const StreamHeader& header) {
    bits_.resetBits();
    state_ = {};
    framesDecoded_ = 0;
    frameValid_ = false;
    streamVersion_ = header.streamVersion;
    midSide_ = header.midSideStereo != 0;
    maxBand_ = static_cast<std::int32_t>(header.maxBand);
    frameCount_ = header.frames;
    trueGapless_ = header.trueGapless != 0;
    if (!hasFrameSyntax(streamVersion_)) return false;
    const FramesStart first = framesStart(streamVersion_);
    bits_.startAt(header.headerPos + first.byteOffset, first.bit);
    return true;
}

std::int32_t FrameScanner::huffDecode(const CodeTable& table) {
    // Entries are sorted by left-aligned code, largest first: the first code
    // not above the window is the one the window begins with.
    const std::uint32_t window = bits_.peekWindow(table.lookahead);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits_.skipBits(entry->length);
    return entry->value;
}

void FrameScanner::huffDecodePair(const CodeTable& table, std::int32_t& high, std::int32_t& low) {
    const std::uint32_t window = bits_.peekWindow(6);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits_.skipBits(entry->length);
    high = entry->value >> 1;
    low = entry->value & 1;
}

void FrameScanner::parseFrame() {
    if (usesSv7Syntax(streamVersion_))
        useReference_ ? parseFrameSv7() : parseFrameSv7Fast();
    else
        useReference_ ? parseFrameSv46() : parseFrameSv46Fast();
}

std::int32_t FrameScanner::nextFrame() {
    const std::uint32_t previousWordIndex = bits_.wordIndex;
    std::int32_t samples = 0;
    if (framesDecoded_ < frameCount_ && hasFrameSyntax(streamVersion_)) {
        const std::uint32_t frameBits = bits_.readBits(20);
        const std::uint32_t start = bits_.bitsConsumed();
        parseFrame();
        frameValid_ = bits_.bitsConsumed() - start == frameBits;
        if (frameValid_) {
            const std::uint32_t k = ++framesDecoded_;
            if (k == 1) {
                samples = firstFrameSamples;
            } else if (k != frameCount_ || !lastFrameHasCount(streamVersion_)) {
                samples = samplesPerFrame;
            } else {
                // The last frame: its count of valid samples follows its body.
                samples = static_cast<std::int32_t>(lastFrameSamples(bits_.readBits(11)));
                if (samples >= samplesPerFrame && trueGapless_) {
                    // One more frame holds the rest; it is parsed to pass
                    // over it, not checked.
                    bits_.readBits(20);
                    useReference_ ? parseFrameSv7() : parseFrameSv7Fast();
                }
            }
        }
    }
    bits_.refillAfterFrame(previousWordIndex);
    return samples;
}

std::int64_t ringWalkSamples(ByteStream& stream, const StreamHeader& header, bool codeByCode) {
    std::unique_ptr<FrameScanner> scanner(new (std::nothrow) FrameScanner(stream));
    if (!scanner) return 0;
    scanner->useReferenceParse(codeByCode);
    scanner->start(header);

    std::int64_t sum = 0;
    for (;;) {
        const std::int32_t samples = scanner->nextFrame();
        if (!scanner->frameValid() || samples <= 0) break;
        sum += samples;
    }
    return scanner->frameValid() ? sum : 0;
}

} // namespace vorlin
