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

CdFrames unrecognized(const std::string& path) {
    std::printf("'%s': unrecognized format\n", path.c_str());
    return 0;
}

} // namespace

CdFrames measureMpcStream(ByteStream& stream, const std::string& path) {
    // Stream version 8 is a packet container, measured by its own reader.
    if (const std::optional<std::int64_t> start = sv8Start(stream)) {
        const std::optional<CdFrames> length = sv8Length(stream, *start);
        return length ? *length : unrecognized(path);
    }
    std::unique_ptr<StreamHeader> header(new (std::nothrow) StreamHeader());
    if (!header) return 0;
    if (readStreamHeader(*header, stream) != headerAccepted) return unrecognized(path);
    std::int64_t samples = chainSamples(stream, *header);
    if (samples < 0) samples = ringWalkSamples(stream, *header);
    return samplesToCdFrames(samples);
}

CdFrames mpcLengthFrames(std::FILE* file, const std::string& path) {
    if (!file) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    std::unique_ptr<FileByteStream> stream(new (std::nothrow) FileByteStream(file));
    if (!stream) {
        std::fclose(file);
        return 0;
    }
    return measureMpcStream(*stream, path);
}

} // namespace vorlin
