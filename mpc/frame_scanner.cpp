#include "mpc/frame_scanner.hpp"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "audio/sv8_reader.hpp"

#include "mpc/frame_chain.hpp"

namespace vorlin {

const std::int32_t quantBits[18] = {0, 0, 0, 0, 0, 0, 0, 0, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::int32_t quantOffset[18] = {0,   1,   2,   3,    4,    7,    15,   31,    63,
                                      127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767};

namespace {

constexpr std::int32_t samplesPerFrame = 1152;
constexpr std::int32_t decoderDelay = 481; // lost by the first frame, given back by the last

} // namespace

FrameScanner::FrameScanner(ByteStream& byteStream) {
    bits.stream = &byteStream;
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
    prepareSv46Tables();
    prepareSv7Tables();
}

void FrameScanner::prepareSv46Tables() {
    buildTable(sv6RegionA, sv46Listings[0]);
    buildTable(sv6RegionB, sv46Listings[1]);
    buildTable(sv6RegionC, sv46Listings[2]);
    buildTable(sv6ScfiBundle, sv46Listings[3]);
    buildTable(sv6ScaleDelta, sv46Listings[4]);
    for (int r = 0; r < 7; ++r) buildTable(sv6Quant[r], sv46Listings[5 + r]);
}

void FrameScanner::prepareSv7Tables() {
    buildTable(sv7ResolutionDelta, sv7Listings[0]);
    buildTable(sv7Scfi, sv7Listings[1]);
    buildTable(sv7ScaleDelta, sv7Listings[2]);
    for (int r = 0; r < 7; ++r)
        for (int set = 0; set < 2; ++set)
            buildTable(sv7Quant[r][set], sv7Listings[3 + 2 * r + set]);
}

void FrameScanner::resetScanner() {
    bits.resetBits();
    framesDecoded = 0;
    streamVersion = 0;
    midSideStereo = 0;
    std::memset(scaleIndexL, 0, sizeof scaleIndexL);
    std::memset(scaleIndexR, 0, sizeof scaleIndexR);
    std::memset(samples, 0, sizeof samples);
    for (auto* state :
         {resL, resR, deltaCodedL, deltaCodedR, scfiL, scfiR, scaleRefL, scaleRefR, msFlag})
        std::memset(state, 0, sizeof(std::int32_t) * maxBands);
    lastActiveBand = 0;
}

void FrameScanner::loadHeader(const StreamHeader& header) {
    streamVersion = header.streamVersion;
    midSideStereo = header.midSideStereo;
    maxBand = static_cast<std::int32_t>(header.maxBand);
    frameCount = header.frames;
    headerPos = header.headerPos;
    trueGapless = header.trueGapless;
}

bool FrameScanner::seekToFrames() {
    switch (streamVersion) {
    case 4: // frames start in the lower half of the second header word
        bits.startAt(headerPos + 4, 16);
        return true;
    case 5:
    case 6:
        bits.startAt(headerPos + 8, 0);
        return true;
    case 7:
    case 0x17: // after the encoder version byte of the seventh header word
        bits.startAt(headerPos + 24, 8);
        return true;
    default:
        return false;
    }
}

std::int32_t FrameScanner::huffDecode(const CodeTable& table) {
    // Entries are sorted by left-aligned code, largest first: the first code
    // not above the window is the one the window begins with.
    const std::uint32_t window = bits.peekWindow(table.lookahead);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits.skipBits(entry->length);
    return entry->value;
}

void FrameScanner::huffDecodePair(const CodeTable& table, std::int32_t& high, std::int32_t& low) {
    const std::uint32_t window = bits.peekWindow(6);
    const HuffEntry* entry = table.entry;
    while (entry->code > window) ++entry;
    bits.skipBits(entry->length);
    high = entry->value >> 1;
    low = entry->value & 1;
}

std::int32_t FrameScanner::decodeFrame() {
    if (framesDecoded >= frameCount) return 0;
    frameBits = bits.readBits(20);
    const std::uint32_t start = bits.bitsConsumed();
    switch (streamVersion) {
    case 4:
    case 5:
    case 6:
        useReference ? parseFrameSv46() : parseFrameSv46Fast();
        break;
    case 7:
    case 0x17:
        useReference ? parseFrameSv7() : parseFrameSv7Fast();
        break;
    default:
        return 0;
    }
    frameValid = bits.bitsConsumed() - start == frameBits ? 1 : 0;
    if (!frameValid) return 0;
    const std::uint32_t k = ++framesDecoded;
    if (k == 1) return samplesPerFrame - decoderDelay;
    if (k != frameCount || streamVersion < 6) return samplesPerFrame;
    // The last frame: its count of valid samples follows its body.
    std::int32_t valid = static_cast<std::int32_t>(bits.readBits(11));
    if (valid == 0) valid = samplesPerFrame;
    const std::int32_t given = valid + decoderDelay;
    if (given < samplesPerFrame) return given;
    if (trueGapless) {
        // One more frame holds the rest; it is parsed to pass over it, not checked.
        bits.readBits(20);
        useReference ? parseFrameSv7() : parseFrameSv7Fast();
    }
    return given % samplesPerFrame + samplesPerFrame;
}

std::int64_t ringWalkSamples(ByteStream& stream, const StreamHeader& header, bool codeByCode) {
    std::unique_ptr<FrameScanner> scanner(new (std::nothrow) FrameScanner(stream));
    if (!scanner) return 0;
    scanner->useReference = codeByCode;
    scanner->resetScanner();
    scanner->loadHeader(header);
    scanner->seekToFrames();

    std::int64_t sum = 0;
    for (;;) {
        const std::uint32_t previousWordIndex = scanner->bits.wordIndex;
        const std::int32_t samples = scanner->decodeFrame();
        scanner->refillAfterFrame(previousWordIndex);
        if (!scanner->frameValid || samples <= 0) break;
        sum += samples;
    }
    return scanner->frameValid ? sum : 0;
}

CdFrames measureMpcStream(ByteStream& stream, const std::string& path) {
    std::unique_ptr<StreamHeader> header(new (std::nothrow) StreamHeader());
    if (!header) return 0;
    if (readStreamHeader(*header, stream) != 0) {
        std::printf("'%s': unrecognized format\n", path.c_str());
        return 0;
    }
    std::int64_t samples = chainSamples(stream, *header);
    if (samples < 0) samples = ringWalkSamples(stream, *header);
    return samplesToCdFrames(samples);
}

CdFrames mpcLengthFrames(const std::string& path) {
    std::FILE* file = openRegularFile(path);
    if (!file) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    std::unique_ptr<FileByteStream> stream(new (std::nothrow) FileByteStream(file));
    if (!stream) {
        std::fclose(file);
        return 0;
    }
    // Stream version 8 is a packet container, measured by its own reader.
    if (std::optional<CdFrames> sv8 = measureIfSv8(*stream, path)) return *sv8;
    return measureMpcStream(*stream, path);
}

} // namespace vorlin
