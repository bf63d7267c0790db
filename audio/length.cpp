#include "audio/length.hpp"

#include "audio/formats.hpp"
#include "platform/platform.hpp"

namespace vorlin {

int openRegularDescriptor(const std::string& path, std::int64_t* size) {
    return platform::openForReading(path, true, size);
}

std::FILE* openRegularFile(const std::string& path) {
    int fd = openRegularDescriptor(path);
    if (fd < 0) return nullptr;
    std::FILE* file = platform::streamOf(fd);
    if (!file) platform::closeFile(fd);
    return file;
}

std::size_t readBytesAt(int descriptor, std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0) return 0;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const std::int64_t n = platform::readAt(descriptor, bytes + got, count - got,
                                                offset + static_cast<std::int64_t>(got));
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

AudioLength audioLengthFrames(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {0, Problem::unusableAudio};
    // The extension as a C string, as the path is opened: up to its first
    // null byte.
    if (const AudioFormat* format = audioFormatOf(path.c_str() + dot)) return format->measure(path);
    return {0, Problem::unusableAudio};
}

} // namespace vorlin
