#include "cue/line_list.hpp"

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

int LineList::writeTo(int fd) const {
    if (count_ == 0) return 0;
    const char* data = text_.data();
    std::size_t size = text_.size();
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 1;
}

} // namespace vorlin
