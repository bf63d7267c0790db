#include "mpc/byte_stream.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/platform.hpp"

namespace vorlin {

FileByteStream::~FileByteStream() {
    if (file_) std::fclose(file_);
}

std::int32_t FileByteStream::read(void* destination, std::int32_t count) {
    if (count <= 0) return 0;
    return static_cast<std::int32_t>(
        std::fread(destination, 1, static_cast<std::size_t>(count), file_));
}

int FileByteStream::seek(std::int32_t offset, int origin) {
    return std::fseek(file_, offset, origin);
}

std::int32_t FileByteStream::tell() {
    return static_cast<std::int32_t>(std::ftell(file_));
}

std::int64_t ByteStream::readAt(void* destination, std::int64_t count, std::int64_t offset) {
    if (offset < 0 || offset > INT32_MAX || seek(static_cast<std::int32_t>(offset), 0) != 0)
        return 0;
    std::int64_t done = 0;
    while (done < count) {
        const std::int32_t piece =
            static_cast<std::int32_t>(std::min<std::int64_t>(count - done, 1 << 30));
        const std::int32_t got = read(static_cast<char*>(destination) + done, piece);
        if (got <= 0) break;
        done += got;
    }
    return done;
}

std::int64_t FileByteStream::readAt(void* destination, std::int64_t count, std::int64_t offset) {
    // Straight from the file, past stdio's buffer.
    const int fd = platform::descriptorOf(file_);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t got =
            platform::readAt(fd, static_cast<char*>(destination) + done,
                             static_cast<std::size_t>(count - done), offset + done);
        if (got <= 0) break;
        done += got;
    }
    return done;
}

std::int64_t ByteStream::size() {
    return seek(0, 2) == 0 ? tell() : -1;
}

std::int64_t FileByteStream::size() {
    return platform::fileSize(platform::descriptorOf(file_));
}

MemoryByteStream::MemoryByteStream(const void* data, std::size_t size)
    : bytes_(static_cast<const std::uint8_t*>(data),
             static_cast<const std::uint8_t*>(data) + size) {}

std::int32_t MemoryByteStream::read(void* destination, std::int32_t count) {
    if (count <= 0 || position_ >= static_cast<std::int64_t>(bytes_.size())) return 0;
    std::size_t available = bytes_.size() - static_cast<std::size_t>(position_);
    std::size_t n = std::min(available, static_cast<std::size_t>(count));
    std::memcpy(destination, bytes_.data() + position_, n);
    position_ += static_cast<std::int64_t>(n);
    return static_cast<std::int32_t>(n);
}

int MemoryByteStream::seek(std::int32_t offset, int origin) {
    std::int64_t base = origin == 0   ? 0
                        : origin == 1 ? position_
                        : origin == 2 ? static_cast<std::int64_t>(bytes_.size())
                                      : -1;
    if (base < 0) return -1;
    std::int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    position_ = target;
    return 0;
}

std::int32_t MemoryByteStream::tell() {
    return static_cast<std::int32_t>(position_);
}

std::int64_t MemoryByteStream::readAt(void* destination, std::int64_t count, std::int64_t offset) {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (count <= 0 || offset < 0 || offset >= size) return 0;
    const std::int64_t n = std::min(count, size - offset);
    std::memcpy(destination, bytes_.data() + offset, static_cast<std::size_t>(n));
    return n;
}

} // namespace vorlin
