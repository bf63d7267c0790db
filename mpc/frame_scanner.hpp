// The reference walk: frame after frame through the ring of the bit reader,
// as a decoder reads them, checking each frame's body against its stated
// length and counting the samples a decoder would output. Each body is
// walked by the fast syntax (fast_syntax.hpp) or, asked for, by the plain
// parse (frame_syntax.hpp). The frame chain (frame_chain.hpp) must give its
// answer for every input.
#pragma once

#include <cstdint>

#include "mpc/bit_reader.hpp"
#include "mpc/byte_stream.hpp"
#include "mpc/code_tables.hpp"
#include "mpc/frame_format.hpp"
#include "mpc/frame_syntax.hpp"
#include "mpc/stream_header.hpp"

namespace vorlin {

class FrameScanner {
  public:
    explicit FrameScanner(ByteStream& byteStream);

    // Starts a walk of the frames that `header` describes from a cleared
    // state: fills the ring from the first frame's word. False, with nothing
    // read, when the version has no frame syntax here.
    bool start(const StreamHeader& header);

    // Walks the next frame and refills the half of the ring it left. Returns
    // the samples it yields; 0 after the header's frame count, for a version
    // without a frame syntax, or when the frame fails its length check
    // (frameValid() then tells it).
    std::int32_t nextFrame();
    bool frameValid() const { return frameValid_; }
    // The frames that passed their check so far.
    std::uint32_t framesDecoded() const { return framesDecoded_; }

    // Walks frames with the plain parses instead of the fast ones.
    void useReferenceParse(bool plain) { useReference_ = plain; }

    // The parts below are open to the tests, fuzzing and benchmarks that
    // drive one code or one frame body at a time.
    BitReader& bits() { return bits_; }
    const BitReader& bits() const { return bits_; }
    const SyntaxTables& tables() const { return plain_.tables(); }
    // The stream's shape for frame bodies parsed without start().
    void setShape(bool midSide, std::int32_t maxBand);

    std::int32_t huffDecode(const CodeTable& table) { return vorlin::huffDecode(bits_, table); }
    void huffDecodePair(const CodeTable& table, std::int32_t& high, std::int32_t& low) {
        vorlin::huffDecodePair(bits_, table, high, low);
    }

    // One frame body from the ring, parsed plainly or walked fast.
    void parseFrameSv7() { plain_.parseSv7(bits_, midSide_, maxBand_); }
    void parseFrameSv46() { plain_.parseSv46(bits_, midSide_, maxBand_); }
    void parseFrameSv7Fast() { walkFast(true); }
    void parseFrameSv46Fast() { walkFast(false); }

  private:
    void parseFrame();
    // Walks a frame body with the fast syntax and moves the bit reader past it.
    void walkFast(bool sv7);

    // The ring reader, and the tables and state of the plain parses.
    BitReader bits_;
    PlainSyntax plain_;

    // The stream, from its header.
    std::uint32_t streamVersion_ = 0;
    bool midSide_ = false;
    std::int32_t maxBand_ = 0;
    std::uint32_t frameCount_ = 0;
    bool trueGapless_ = false;

    // The walk.
    std::uint32_t framesDecoded_ = 0;
    bool frameValid_ = false;
    bool useReference_ = false;
};

// The samples that the frames of a stream yield, its header read, walked
// with a FrameScanner; `codeByCode` walks with the plain parses. 0 when a
// frame fails its length check or the stream has no frames. The reference
// for chainSamples.
std::int64_t ringWalkSamples(ByteStream& stream, const StreamHeader& header,
                             bool codeByCode = false);

} // namespace vorlin
