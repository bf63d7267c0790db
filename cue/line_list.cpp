#include "cue/line_list.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace vorlin {

int LineList::append(std::string_view text, std::uint64_t origin) {
    const std::size_t before = text_.size();
    try {
        text_.append(text); // grows geometrically: appending stays linear overall
        if (keepOrigins_) {
            // Lines skipped since the last text produced none.
            if (origin >= lineEnds_.size()) lineEnds_.resize(origin + 1, before);
            lineEnds_.back() = text_.size();
        }
    } catch (const std::bad_alloc&) {
        text_.resize(before); // the list stays as it was
        return 0;
    }
    ++count_;
    return 1;
}

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int LineList::writeTo(const std::string& path, unsigned mode) const {
    if (count_ == 0) return 0;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return 0;
    // The mode given at creation is narrowed by the umask; set the bits
    // outright. A file system without permission bits may refuse, which
    // costs nothing of the sheet's content.
    (void)::fchmod(fd, static_cast<mode_t>(mode & 0777));
    bool ok = writeAll(fd, text_.data(), text_.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(path.c_str());
        return 0;
    }
    return 1;
}

} // namespace vorlin
