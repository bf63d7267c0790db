#include "audio/buffered_file.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/length.hpp"

namespace vorlin {

std::atomic<std::uint64_t> BufferedFile::reads_{0};

bool BufferedFile::fill(std::int64_t offset, std::size_t count) {
    if (!buffer_) {
        buffer_.reset(new (std::nothrow) std::uint8_t[maxLoad]);
        if (!buffer_) return false;
    }
    // Reading on from the end of the buffer: the walk steps through the
    // file, and larger loads serve it. A jump ahead starts small again.
    const bool readingOn =
        length_ > 0 && offset >= start_ && offset <= start_ + static_cast<std::int64_t>(length_);
    load_ = readingOn ? std::min(load_ * 2, maxLoad) : minLoad;
    reads_.fetch_add(1, std::memory_order_relaxed);
    start_ = offset;
    length_ = readBytesAt(descriptor_, offset, buffer_.get(), std::max(load_, count));
    return true;
}

std::size_t BufferedFile::read(std::int64_t offset, void* out, std::size_t count) {
    if (offset < 0 || count == 0) return 0;
    if (count > maxLoad) {
        reads_.fetch_add(1, std::memory_order_relaxed);
        return readBytesAt(descriptor_, offset, out, count);
    }
    const bool held = buffer_ && offset >= start_ &&
                      offset - start_ <= static_cast<std::int64_t>(length_) &&
                      length_ - static_cast<std::size_t>(offset - start_) >= count;
    if (!held && !fill(offset, count)) return readBytesAt(descriptor_, offset, out, count);
    const std::size_t skip = static_cast<std::size_t>(offset - start_);
    const std::size_t n = std::min(count, length_ - skip);
    std::memcpy(out, buffer_.get() + skip, n);
    return n;
}

} // namespace vorlin
