// The byte source through which MPC files are read: a file or bytes in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace vorlin {

class ByteStream {
  public:
    virtual std::int32_t read(void* destination, std::int32_t count) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual int seek(std::int32_t offset, int origin) = 0;
    virtual std::int32_t tell() = 0;
    // Reads up to `count` bytes at byte `offset` from the start, in as many
    // reads as it takes; returns the bytes read (fewer at the end of the
    // data or on an error). The position for read() is then unspecified.
    virtual std::int64_t readAt(void* destination, std::int64_t count, std::int64_t offset);
    // The length of the data in bytes; -1 when it cannot be told.
    virtual std::int64_t size();
    virtual ~ByteStream() = default;
};

// A stream over an open stdio file, which it owns and closes.
class FileByteStream final : public ByteStream {
  public:
    explicit FileByteStream(std::FILE* file) : file_(file) {}
    ~FileByteStream() override;
    FileByteStream(const FileByteStream&) = delete;
    FileByteStream& operator=(const FileByteStream&) = delete;

    std::int32_t read(void* destination, std::int32_t count) override;
    int seek(std::int32_t offset, int origin) override;
    std::int32_t tell() override;
    // From the file's descriptor, at 64-bit offsets, leaving the position alone.
    std::int64_t readAt(void* destination, std::int64_t count, std::int64_t offset) override;
    std::int64_t size() override;

  private:
    std::FILE* file_;
};

// A stream over bytes held in memory (tests and fuzzing feed streams this way).
// Behaves like a file opened for reading: seeking past the end is allowed,
// reading there gives 0 bytes.
class MemoryByteStream final : public ByteStream {
  public:
    MemoryByteStream() = default;
    MemoryByteStream(const void* data, std::size_t size);

    std::int32_t read(void* destination, std::int32_t count) override;
    int seek(std::int32_t offset, int origin) override;
    std::int32_t tell() override;
    // Leaves the position alone.
    std::int64_t readAt(void* destination, std::int64_t count, std::int64_t offset) override;
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t position_ = 0;
};

} // namespace vorlin
