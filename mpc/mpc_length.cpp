#include "mpc/mpc_length.hpp"

#include <memory>
#include <new>
#include <optional>

#include "mpc/byte_stream.hpp"
#include "mpc/frame_chain.hpp"
#include "mpc/frame_scanner.hpp"
#include "mpc/stream_header.hpp"
#include "mpc/sv8_reader.hpp"

namespace vorlin {

namespace {

AudioLength lengthOf(CdFrames frames) {
    if (frames <= 0) return {0, Problem::unusableAudio};
    return {frames, Problem::none};
}

} // namespace

AudioLength measureMpcStream(ByteStream& stream) {
    // Stream version 8 is a packet container, measured by its own reader.
    if (const std::optional<std::int64_t> start = sv8Start(stream)) {
        const std::optional<CdFrames> length = sv8Length(stream, *start);
        return length ? lengthOf(*length) : AudioLength{0, Problem::unrecognizedFormat};
    }
    std::unique_ptr<StreamHeader> header(new (std::nothrow) StreamHeader());
    if (!header) return {0, Problem::unusableAudio};
    if (readStreamHeader(*header, stream) != headerAccepted)
        return {0, Problem::unrecognizedFormat};
    std::int64_t samples = chainSamples(stream, *header);
    if (samples < 0) samples = ringWalkSamples(stream, *header);
    return lengthOf(samplesToCdFrames(samples));
}

AudioLength mpcLengthFrames(std::FILE* file) {
    if (!file) return {0, Problem::audioOpenFailed};
    std::unique_ptr<FileByteStream> stream(new (std::nothrow) FileByteStream(file));
    if (!stream) {
        std::fclose(file);
        return {0, Problem::unusableAudio};
    }
    return measureMpcStream(*stream);
}

} // namespace vorlin
