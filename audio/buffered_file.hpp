// The bytes of an open audio file read through one buffer, for the header
// walks (AIFF chunks, WavPack blocks, ID3v2 tags): a walk of many small reads
// at rising offsets costs one read of the file per buffer, not one per field.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vorlin {

class BufferedFile {
  public:
    // Loads start at a page; a walk that reads on past the end of what is
    // loaded, skipping nothing, doubles them up to this.
    static constexpr std::size_t minLoad = 4096;
    static constexpr std::size_t maxLoad = 65536;

    // `descriptor` stays the caller's.
    explicit BufferedFile(int descriptor) : descriptor_(descriptor) {}

    // Copies up to `count` bytes at `offset` into `out`: how many the file
    // has there, short only at its end or on a read error. Counts over
    // maxLoad are read straight into `out`.
    std::size_t read(std::int64_t offset, void* out, std::size_t count);

    // The reads of a file made by every BufferedFile so far (for tests).
    static std::uint64_t readsMade() { return reads_.load(std::memory_order_relaxed); }

  private:
    bool fill(std::int64_t offset, std::size_t count);

    int descriptor_;
    std::unique_ptr<std::uint8_t[]> buffer_; // maxLoad bytes, once needed
    std::int64_t start_ = 0;                 // the file offset of buffer_[0]
    std::size_t length_ = 0;                 // the bytes loaded
    std::size_t load_ = minLoad;
    static std::atomic<std::uint64_t> reads_;
};

} // namespace vorlin
