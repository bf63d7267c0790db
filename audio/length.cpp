#include "audio/length.hpp"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/flac.hpp"
#include "audio/header_formats.hpp"
#include "mpc/mpc_length.hpp"

namespace vorlin {

int openRegularDescriptor(const std::string& path, std::int64_t* size) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused right
    // after. Reads of a regular file do not heed the flag, so it stays.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    if (size) *size = static_cast<std::int64_t>(st.st_size);
    return fd;
}

std::FILE* openRegularFile(const std::string& path) {
    int fd = openRegularDescriptor(path);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return file;
}

CdFrames audioLengthFrames(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return 0;
    const char* extension = path.c_str() + dot;
    if (::strcasecmp(extension, ".wav") == 0) return wavLengthFrames(path);
    if (::strcasecmp(extension, ".mpc") == 0 || ::strcasecmp(extension, ".mp+") == 0)
        return mpcLengthFrames(openRegularFile(path), path);
    if (::strcasecmp(extension, ".flac") == 0) return flacLengthFrames(path);
    if (auto format = headerFormatOf(extension)) return headerLengthFrames(path, *format);
    return 0;
}

} // namespace vorlin
