#include "audio/length.hpp"

#include "audio/flac.hpp"
#include "audio/header_formats.hpp"
#include "mpc/mpc_length.hpp"
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

namespace {

// Equal with ASCII letters compared in either case.
bool sameExtension(const char* a, const char* b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

} // namespace

AudioLength audioLengthFrames(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {0, Problem::unusableAudio};
    const char* extension = path.c_str() + dot;
    if (sameExtension(extension, ".wav")) return wavLengthFrames(path);
    if (sameExtension(extension, ".mpc") || sameExtension(extension, ".mp+"))
        return mpcLengthFrames(openRegularFile(path));
    if (sameExtension(extension, ".flac")) return flacLengthFrames(path);
    if (auto format = headerFormatOf(extension)) return headerLengthFrames(path, *format);
    return {0, Problem::unusableAudio};
}

} // namespace vorlin
