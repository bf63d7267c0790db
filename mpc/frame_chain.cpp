// The frame chain, hopped and checked.
//
// Why it gives the ring walk's answer: one step of that walk (a frame, or
// the last one with its 11-bit count and the extra gapless frame) takes
// under two frame bodies' worth of bits, far less than a half of the ring,
// so its reads never overtake the refills: every frame sees the file's bytes
// from the first frame's word on, followed by zeros where the file ends (a
// short read leaves zeros in the ring). That is the linear, zero-padded view
// that the chunks below hold. A frame's walk consumes bits according to its
// own bits alone (the only state carried from frame to frame, the scale
// references, steers nothing), so frame i + 1 starts where the chain says,
// 20 + L(i) bits after frame i, if frame i is valid. The walk stops with 0 at
// the first frame whose body is not exactly L bits, else after the header's
// frame count; so the answer is 0 if any of the first frameCount frames of
// the chain fails, whatever order they are checked in. A frame stating 0 bits
// fails (every body takes at least 8), which ends the chain at the end of
// the data at the latest, where only zeros follow.
//
// How: one thread reads the stream a chunk at a time into a bounded pool of
// buffers and hops the chain through it, reading the length fields only;
// every chunk holds the frames starting in its first chunkBytes bytes and a
// margin for their bodies. The chunks are then checked by whichever thread
// is free, the reading thread too when the pool is empty. When there are
// processors enough, every thread keeps to one of its own while the chain is
// checked: left to the scheduler, a new or woken thread is often put beside
// the one that made or woke it, and the two share a processor for
// milliseconds while another idles.
//
// The buffers and the checking threads are kept from one stream to the next
// for the whole run (the ThreadPool of thread_pool.hpp): an album's small files paid more for
// fresh pages and new threads than for their frames. A short stream is cut
// into chunks small enough to give every thread a share, and one too short
// to gain from a second thread is checked by the calling thread alone.
#include "mpc/frame_chain.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "mpc/bit_reader.hpp"
#include "mpc/fast_syntax.hpp"
#include "mpc/frame_format.hpp"
#include "mpc/thread_pool.hpp"
#include "platform/platform.hpp"

namespace vorlin {

unsigned measureThreads() {
    if (const char* text = std::getenv("VORLIN_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1 && n <= 64) return static_cast<unsigned>(n);
    }
    if (const std::vector<int> cpus = platform::allowedCpus(); !cpus.empty())
        return static_cast<unsigned>(std::clamp<std::size_t>(cpus.size(), 1, 64));
    return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
}

namespace {

// Room after a chunk's frame starts for the last one's body, the 11 bits
// after it and the 8 bytes a bit cursor loads ahead.
constexpr std::uint32_t marginBytes = 8192;
static_assert(marginBytes * 8 > 20 + maxFrameBodyBits + 11 + 128);

// The `n` bits (1..32) at bit `position` of a buffer in reading order.
std::uint32_t bitsAt(const std::uint8_t* ordered, std::uint64_t position, unsigned n) {
    std::uint64_t v;
    std::memcpy(&v, ordered + (position >> 3), 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return static_cast<std::uint32_t>((v << (position & 7)) >> (64 - n));
}

// A stream shorter than this is checked by the calling thread alone: waking
// a second one and sharing the chunks with it costs more than it saves.
constexpr std::int64_t sharedStreamBytes = 64 * 1024;

// When threads share a stream, a chunk holds at most a quarter of each
// thread's share of what is left, and no less than smallChunkBytes: the
// chunks get smaller towards the end, so the threads finish together (and a
// short stream is cut into several).
constexpr std::int64_t sharesPerThread = 4;
constexpr std::uint32_t smallChunkBytes = 16 * 1024;

struct Chunk {
    std::uint8_t* bytes = nullptr; // a buffer of the pool's
    std::uint32_t first = 0;       // bit position of its first frame's length field
    std::uint32_t frames = 0;      // frames starting in it
};

struct Plan {
    std::int64_t size; // the stream's, or -1
    unsigned threads;
};
// The stream's size and the threads that check it.
Plan planFor(ByteStream& stream, const ChainOptions& options) {
    Plan plan;
    plan.size = stream.size();
    plan.threads = options.threads ? std::min(options.threads, 64u) : measureThreads();
    // Only when the caller leaves the choice: the tests ask for threads
    // on streams of any length.
    if (!options.threads && plan.size < sharedStreamBytes) plan.threads = 1;
    return plan;
}

class ChainCheck final : public PoolJob {
  public:
    ChainCheck(ByteStream& stream, const StreamHeader& header, const ChainOptions& options)
        : ChainCheck(stream, header, options, planFor(stream, options)) {}
    ChainCheck(ByteStream& stream, const StreamHeader& header, const ChainOptions& options,
               const Plan& plan)
        : stream_(stream), frameCount_(header.frames), version_(header.streamVersion),
          chunkBytes_(std::clamp<std::uint32_t>(options.chunkBytes & ~3u, 4, 1u << 28)),
          threads_(plan.threads), size_(plan.size) {
        shape_.sv7 = usesSv7Syntax(version_);
        shape_.maxBand = static_cast<std::int32_t>(header.maxBand);
        shape_.midSide = header.midSideStereo != 0;
        // Where the ring walk starts reading, and at which bit of the first word.
        const FramesStart first = framesStart(version_);
        start_ = std::int64_t{header.headerPos} + first.byteOffset;
        nextBit_ = first.bit;
    }

    std::int64_t run();

  private:
    enum class Hop { more, complete, broken };

    bool allocate(ThreadPool& pool, Chunk& chunk, std::size_t index) const {
        chunk.bytes = pool.buffer(index, chunkBytes_ + marginBytes);
        return chunk.bytes != nullptr;
    }
    std::uint32_t chunkLimit(std::uint64_t viewByte) const;
    void read(Chunk& chunk, std::uint64_t viewByte, std::uint32_t limit);
    Hop hop(Chunk& chunk);
    bool check(const Chunk& chunk) const;
    bool takeAndCheck(std::unique_lock<std::mutex>& lock);

  public:
    // What a lent thread does: checks chunks until the hops are done and no
    // chunk is left.
    void work() override;

  private:
    ByteStream& stream_;
    const std::uint32_t frameCount_;
    const std::uint32_t version_;
    const std::uint32_t chunkBytes_; // the most a chunk holds frames from
    const unsigned threads_;
    const std::int64_t size_;
    FrameShape shape_;
    std::int64_t start_ = 0;           // file offset of the first frame's word
    std::int64_t dataEnd_ = INT64_MAX; // set by the first short read: nothing is read past it
    std::uint64_t nextBit_ = 0;        // where the next frame starts, from start_
    std::uint32_t hopped_ = 0;         // frames whose start is known
    std::uint32_t lastCount_ = 0;      // the 11 bits after the last frame

    std::mutex mutex_;
    Signal changed_;
    std::vector<Chunk*> free_;
    std::vector<Chunk*> ready_; // oldest first
    std::atomic<bool> failed_{false};
    bool hopsDone_ = false;
};

// The bytes from which the chunk at `viewByte` takes frames: a share of the
// rest of the stream when threads share it, at most chunkBytes_.
std::uint32_t ChainCheck::chunkLimit(std::uint64_t viewByte) const {
    if (threads_ < 2 || size_ <= 0) return chunkBytes_;
    const std::int64_t left = size_ - start_ - static_cast<std::int64_t>(viewByte);
    const std::int64_t share = left / (threads_ * sharesPerThread);
    const std::int64_t least = std::min(smallChunkBytes, chunkBytes_);
    return static_cast<std::uint32_t>((std::clamp<std::int64_t>(share, least, chunkBytes_) + 3) &
                                      ~std::int64_t{3});
}

// Reads the chunk's frames' bytes and their margin; zeros past the data.
void ChainCheck::read(Chunk& chunk, std::uint64_t viewByte, std::uint32_t limit) {
    const std::uint32_t size = limit + marginBytes;
    const std::int64_t offset = start_ + static_cast<std::int64_t>(viewByte);
    std::int64_t got = 0;
    if (offset < dataEnd_) {
        const std::int64_t want = std::min<std::int64_t>(size, dataEnd_ - offset);
        got = std::max<std::int64_t>(stream_.readAt(chunk.bytes, want, offset), 0);
        // End of file or an error: what follows reads as zeros from now on,
        // as it does in the ring.
        if (got < want) dataEnd_ = offset + got;
    }
    std::memset(chunk.bytes + got, 0, size - static_cast<std::size_t>(got));
    reverseWordBytes(chunk.bytes, chunk.bytes, size);
}

ChainCheck::Hop ChainCheck::hop(Chunk& chunk) {
    const std::uint64_t viewByte = (nextBit_ >> 3) & ~std::uint64_t{3};
    const std::uint32_t limit = chunkLimit(viewByte);
    read(chunk, viewByte, limit);
    const std::uint8_t* bytes = chunk.bytes;
    std::uint32_t position = static_cast<std::uint32_t>(nextBit_ - viewByte * 8);
    chunk.first = position;
    chunk.frames = 0;
    const std::uint32_t end = limit * 8;
    while (hopped_ < frameCount_ && position < end) {
        const std::uint32_t length = bitsAt(bytes, position, 20);
        if (length == 0 || length > maxFrameBodyBits) return Hop::broken;
        position += 20 + length;
        ++chunk.frames;
        ++hopped_;
    }
    nextBit_ = viewByte * 8 + position;
    if (hopped_ < frameCount_) return Hop::more;
    lastCount_ = bitsAt(bytes, position, 11);
    return Hop::complete;
}

bool ChainCheck::check(const Chunk& chunk) const {
    const std::uint8_t* bytes = chunk.bytes;
    std::uint32_t position = chunk.first;
    std::uint32_t i = 0;
    // Two frames at a time: the second starts where the first's length says.
    for (; i + 2 <= chunk.frames; i += 2) {
        if (failed_.load(std::memory_order_relaxed)) return false;
        const std::uint32_t firstLength = bitsAt(bytes, position, 20);
        const std::uint32_t firstBody = position + 20;
        const std::uint32_t secondLength = bitsAt(bytes, firstBody + firstLength, 20);
        const std::uint32_t secondBody = firstBody + firstLength + 20;
        std::uint32_t firstEnd = firstBody, secondEnd = secondBody;
        walkFrameBodies(bytes, firstEnd, secondEnd, shape_);
        if (firstEnd - firstBody != firstLength || secondEnd - secondBody != secondLength)
            return false;
        position = secondEnd;
    }
    if (i < chunk.frames) {
        const std::uint32_t length = bitsAt(bytes, position, 20);
        const std::uint32_t body = position + 20;
        if (walkFrameBody(bytes, body, shape_) - body != length) return false;
    }
    return true;
}

// Checks one ready chunk with the lock released; false when none is ready.
bool ChainCheck::takeAndCheck(std::unique_lock<std::mutex>& lock) {
    if (ready_.empty()) return false;
    Chunk* chunk = ready_.front();
    ready_.erase(ready_.begin());
    lock.unlock();
    if (!check(*chunk)) failed_ = true;
    lock.lock();
    free_.push_back(chunk);
    changed_.notifyAll();
    return true;
}

void ChainCheck::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(
            lock, [&] { return !ready_.empty() || hopsDone_; }, watchInStream);
        if (!takeAndCheck(lock)) return;
    }
}

std::int64_t ChainCheck::run() {
    ThreadPool& pool = ThreadPool::get();
    std::vector<Chunk> chunks(threads_ + 1);
    if (!allocate(pool, chunks[0], 0)) return -1;
    // Nothing below allocates once a thread is lent: an exception would end
    // the process with the thread still in this job.
    free_.reserve(chunks.size());
    ready_.reserve(chunks.size());
    // The threads are lent at once: they wake while the first chunk is read.
    unsigned lent = 0;
    if (threads_ > 1) {
        pool.bind(threads_);
        lent = pool.lend(this, threads_ - 1);
    }
    {
        std::unique_lock lock(mutex_);
        free_.push_back(&chunks[0]);
        std::size_t allocated = 1;
        while (!hopsDone_) {
            if (failed_) break;
            if (free_.empty() && allocated < chunks.size() &&
                allocate(pool, chunks[allocated], allocated))
                free_.push_back(&chunks[allocated++]);
            if (free_.empty()) {
                // Every chunk is being checked: wait for one to come back.
                if (!takeAndCheck(lock))
                    changed_.wait(
                        lock, [&] { return !free_.empty(); }, watchInStream);
                continue;
            }
            Chunk* chunk = free_.back();
            free_.pop_back();
            lock.unlock();
            const Hop result = hop(*chunk);
            lock.lock();
            if (result == Hop::broken) failed_ = true;
            if (result != Hop::more) hopsDone_ = true;
            ready_.push_back(chunk);
            changed_.notifyAll();
        }
        hopsDone_ = true;
        changed_.notifyAll();
        while (takeAndCheck(lock)) {}
    }
    if (lent) pool.recall();
    pool.unbind();
    if (failed_) return 0;

    const std::int64_t n = frameCount_;
    if (n == 1) return firstFrameSamples;
    const std::int64_t last =
        lastFrameHasCount(version_) ? lastFrameSamples(lastCount_) : samplesPerFrame;
    return firstFrameSamples + samplesPerFrame * (n - 2) + last;
}

} // namespace

std::int64_t chainSamples(ByteStream& stream, const StreamHeader& header,
                          const ChainOptions& options) {
    if (!hasFrameSyntax(header.streamVersion) || header.frames == 0) return 0;
    ChainCheck chain(stream, header, options);
    return chain.run();
}

} // namespace vorlin
