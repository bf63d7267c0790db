#include "mpc/frame_scanner.hpp"

#include <memory>
#include <new>

#include "mpc/fast_syntax.hpp"

namespace vorlin {

FrameScanner::FrameScanner(ByteStream& byteStream) {
    bits_.stream = &byteStream;
}

void FrameScanner::setShape(bool midSide, std::int32_t maxBand) {
    midSide_ = midSide;
    maxBand_ = maxBand;
}

bool FrameScanner::start(const StreamHeader& header) {
    bits_.resetBits();
    plain_.reset();
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

void FrameScanner::walkFast(bool sv7) {
    const std::uint32_t start = bits_.wordIndex * 32 + bits_.bitPos;
    const std::uint32_t end = walkRingFrameBody(bits_.ordered, start, {sv7, maxBand_, midSide_});
    bits_.wordsConsumed += ((end >> 5) - (start >> 5)) & ringMask;
    bits_.wordIndex = (end >> 5) & ringMask;
    bits_.bitPos = end & 31;
    bits_.currentWord = bits_.ring[bits_.wordIndex];
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
