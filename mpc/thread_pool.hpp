// The worker threads and buffers that the frame chain borrows for each
// stream, kept for the whole run, and the signal its threads wait on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vorlin {

// A condition variable whose waiters watch for a notification a while
// before they sleep: a sleeping thread takes some 25 microseconds to run
// again here (in a virtual machine), longer than most of these waits, and
// a stream has dozens of them.
class Signal {
  public:
    // With the lock held.
    void notifyAll() {
        count_.fetch_add(1, std::memory_order_relaxed);
        variable_.notify_all();
    }

    template <class Ready>
    void wait(std::unique_lock<std::mutex>& lock, Ready ready, std::chrono::microseconds watch) {
        if (ready()) return;
        const unsigned seen = count_.load(std::memory_order_relaxed);
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + watch;
        for (unsigned turn = 1; count_.load(std::memory_order_relaxed) == seen; ++turn) {
            if (turn % 32 == 0 && std::chrono::steady_clock::now() >= until) break;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        lock.lock();
        variable_.wait(lock, ready);
    }

  private:
    std::condition_variable variable_;
    std::atomic<unsigned> count_{0};
};

// How long a thread watches before it sleeps: within a stream, and between
// one stream and the next (a checking thread, while the caller reads the
// next file's header and first chunk).
inline constexpr std::chrono::microseconds watchInStream{100};
inline constexpr std::chrono::microseconds watchBetweenStreams{500};

// What a lent thread runs: work() returns once the job has nothing left
// for it.
class PoolJob {
  public:
    virtual void work() = 0;

  protected:
    ~PoolJob() = default;
};

// The buffers and worker threads of a process, kept for the whole run and
// lent to one job at a time; one thread of a process at a time may use it.
// A child made by fork() gets a pool of its own: the threads of its
// parent's are not in it.
class ThreadPool {
  public:
    static ThreadPool& get();

    // Buffer `i` of at least `bytes` bytes, or nullptr when there is no
    // memory for it. Buffers are kept, the largest asked for.
    std::uint8_t* buffer(std::size_t i, std::size_t bytes);

    // Has up to `count` threads run job->work(), started when fewer are
    // waiting; returns how many will. Threads stay with the processors they
    // were given at their start (see bind()).
    unsigned lend(PoolJob* job, unsigned count);
    // Waits until every thread lent to the current job has left it.
    void recall();

    // Keeps the calling thread to its processor while a job runs, when the
    // job's threads do not outnumber the processors; unbind() frees it.
    void bind(unsigned threads);
    void unbind();

  private:
    ThreadPool();
    ~ThreadPool() = default;
    void stop();
    void place();
    void serve();
    bool start();

    const long owner_; // the process that made the pool
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
    std::vector<std::size_t> bufferBytes_;

    std::mutex mutex_;
    Signal wake_;                         // a job was posted, or the pool stops
    Signal idle_;                         // a thread left its job
    std::vector<std::uintptr_t> threads_; // the threads started, as the system names them
    PoolJob* job_ = nullptr;
    std::uint64_t posted_ = 0; // jobs posted so far
    unsigned seats_ = 0;       // threads the current job still takes
    unsigned busy_ = 0;        // threads in a job
    bool stopping_ = false;

    // Processors: the caller's when the pool is first lent, and one for each
    // thread while there are others to give.
    bool placed_ = false;
    int callerCpu_ = -1;
    unsigned cpuCount_ = 0;
    std::vector<int> threadCpus_;
    std::vector<int> allowed_; // the caller's processors while it is bound
    bool bound_ = false;
};

} // namespace vorlin
