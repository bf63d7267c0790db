// Measures an MPC stream by the chain of its frames: every frame starts 20
// bits plus its stated length after the one before, so the starts are known
// before any body is walked, and the bodies can be checked in any order and
// on several threads. The answer is the one the frame-by-frame walk through
// the ring gives, for every input.
#pragma once

#include <cstdint>

#include "mpc/byte_stream.hpp"
#include "mpc/stream_header.hpp"

namespace vorlin {

struct ChainOptions {
    // 0: measureThreads(), or one for a stream under 64 KB.
    unsigned threads = 0;
    // The stream is read at most this much at a time (a multiple of 4); less
    // towards its end when threads share it.
    std::uint32_t chunkBytes = 1u << 18;
};

// The threads a measurement may use: VORLIN_THREADS when it holds a number
// from 1 to 64, else the processors this process may run on.
unsigned measureThreads();

// The samples that the frames of a stream yield, its header read: the
// answer of ringWalkSamples (frame_scanner.hpp), found faster. 0 when a
// frame fails its length check, the stream has no frames or its version no
// frame syntax here. -1 when no memory could be had for it: the caller then
// walks the frames in order instead. The buffers and threads it uses are
// kept for the next call, so one thread of a process at a time may call it.
std::int64_t chainSamples(ByteStream& stream, const StreamHeader& header,
                          const ChainOptions& options = {});

} // namespace vorlin
