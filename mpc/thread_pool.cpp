#include "mpc/thread_pool.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "platform/platform.hpp"

namespace vorlin {

ThreadPool::ThreadPool() : owner_(platform::processId()) {}

ThreadPool& ThreadPool::get() {
    // Never destroyed: its threads are stopped at exit, by the process that
    // started them. A child of fork() starts over with a pool of its own.
    static ThreadPool* crew = nullptr;
    static bool stopAtExit = false;
    if (!crew || crew->owner_ != platform::processId()) crew = new ThreadPool();
    if (!stopAtExit) {
        stopAtExit = true;
        std::atexit([] {
            if (crew && crew->owner_ == platform::processId()) crew->stop();
        });
    }
    return *crew;
}

std::uint8_t* ThreadPool::buffer(std::size_t i, std::size_t bytes) {
    if (buffers_.size() <= i) {
        buffers_.resize(i + 1);
        bufferBytes_.resize(i + 1, 0);
    }
    if (bufferBytes_[i] < bytes) {
        buffers_[i].reset(new (std::nothrow) std::uint8_t[bytes]);
        bufferBytes_[i] = buffers_[i] ? bytes : 0;
    }
    return buffers_[i].get();
}

// The calling thread keeps the processor it is on when the pool is first
// lent; the threads get one other each while there are others.
void ThreadPool::place() {
    if (placed_) return;
    placed_ = true;
    const std::vector<int> allowed = platform::allowedCpus();
    callerCpu_ = platform::currentCpu();
    if (callerCpu_ < 0 || std::find(allowed.begin(), allowed.end(), callerCpu_) == allowed.end()) {
        callerCpu_ = -1;
        return;
    }
    cpuCount_ = static_cast<unsigned>(allowed.size());
    for (const int cpu : allowed)
        if (cpu != callerCpu_) threadCpus_.push_back(cpu);
}

bool ThreadPool::start() {
    place();
    // A thread with a processor of its own starts on it.
    const int cpu = threads_.size() < threadCpus_.size() ? threadCpus_[threads_.size()] : -1;
    platform::ThreadHandle thread;
    if (!platform::startThread(
            thread, cpu, [](void* pool) { static_cast<ThreadPool*>(pool)->serve(); }, this))
        return false;
    threads_.push_back(thread);
    return true;
}

// A thread's life: waits for a job with a seat left, works on it, and so on
// until the pool stops.
void ThreadPool::serve() {
    std::unique_lock lock(mutex_);
    std::uint64_t seen = 0;
    for (;;) {
        wake_.wait(
            lock, [&] { return stopping_ || (job_ && seats_ > 0 && posted_ != seen); },
            watchBetweenStreams);
        if (stopping_) break;
        seen = posted_;
        --seats_;
        ++busy_;
        PoolJob* job = job_;
        lock.unlock();
        job->work();
        lock.lock();
        if (--busy_ == 0) idle_.notifyAll();
    }
}

unsigned ThreadPool::lend(PoolJob* job, unsigned count) {
    // Threads are started with the lock released (a new one takes it at
    // once); nothing allocates once one runs.
    threads_.reserve(64);
    while (threads_.size() < count && start()) {}
    std::lock_guard lock(mutex_);
    job_ = job;
    seats_ = std::min<unsigned>(count, static_cast<unsigned>(threads_.size()));
    ++posted_;
    wake_.notifyAll();
    return seats_;
}

void ThreadPool::recall() {
    std::unique_lock lock(mutex_);
    job_ = nullptr;
    seats_ = 0;
    idle_.wait(
        lock, [&] { return busy_ == 0; }, watchInStream);
}

void ThreadPool::bind(unsigned threads) {
    place();
    if (callerCpu_ < 0 || cpuCount_ < threads) return;
    allowed_ = platform::allowedCpus();
    if (allowed_.empty()) return;
    bound_ = platform::keepThreadTo({callerCpu_});
}

void ThreadPool::unbind() {
    if (bound_) (void)platform::keepThreadTo(allowed_);
    bound_ = false;
}

void ThreadPool::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notifyAll();
    }
    for (const platform::ThreadHandle thread : threads_) platform::joinThread(thread);
    threads_.clear();
    buffers_.clear();
}

} // namespace vorlin
