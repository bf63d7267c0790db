// The Musepack stream version 8 container: "MPCK" (after an optional ID3v2
// tag), then packets of a two-letter key, a variable-length size and a
// payload, up to the stream end packet "SE". The length comes from the stream
// header packet "SH", accepted only once every packet up to "SE" has been
// walked by its size and the count of audio packets "AP" matches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "audio/length.hpp"

namespace vorlin {

// Bytes read at 64-bit offsets, so that files over 4 GiB are walked to their end.
class PositionalSource {
  public:
    virtual ~PositionalSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to `count` bytes at `offset` and returns how many were read:
    // fewer than asked only at the end or on a read error.
    virtual std::size_t readAt(std::uint64_t offset, void* destination, std::size_t count) = 0;
};

// An open file descriptor, read with pread (its file position is left alone);
// the size is taken once, by fstat. The descriptor is not closed.
class FileSource final : public PositionalSource {
  public:
    explicit FileSource(int fd);
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, void* destination, std::size_t count) override;

  private:
    int fd_;
    std::uint64_t size_ = 0;
};

// Bytes in memory, not copied (tests and fuzzing).
class MemorySource final : public PositionalSource {
  public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, void* destination, std::size_t count) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Returns nothing when the bytes after the optional ID3v2 tag are not "MPCK"
// (a malformed tag included): nothing more is read and nothing is printed.
// Otherwise measures the stream: the length, or 0 after printing
// "'<path>': unrecognized format" when the container is not well formed.
std::optional<CdFrames> measureIfSv8(PositionalSource& source, const std::string& path);

} // namespace vorlin
