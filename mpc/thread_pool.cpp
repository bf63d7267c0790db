#include "mpc/thread_pool.hpp"

#include <cstdlib>
#include <new>

namespace vorlin {

ThreadPool& ThreadPool::get() {
    // Never destroyed: its threads are stopped at exit, by the process that
    // started them. A child of fork() starts over with a pool of its own.
    static ThreadPool* crew = nullptr;
    static bool stopAtExit = false;
    if (!crew || crew->owner_ != ::getpid()) crew = new ThreadPool();
    if (!stopAtExit) {
        stopAtExit = true;
        std::atexit([] {
            if (crew && crew->owner_ == ::getpid()) crew->stop();
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
    cpu_set_t allowed;
    callerCpu_ = ::sched_getcpu();
    if (callerCpu_ < 0 || ::sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
        !CPU_ISSET(callerCpu_, &allowed)) {
        callerCpu_ = -1;
        return;
    }
    cpuCount_ = static_cast<unsigned>(CPU_COUNT(&allowed));
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (cpu != callerCpu_ && CPU_ISSET(cpu, &allowed)) threadCpus_.push_back(cpu);
}

bool ThreadPool::start() {
    const auto body = [](void* self) -> void* {
        static_cast<ThreadPool*>(self)->serve();
        return nullptr;
    };
    place();
    pthread_t thread;
    pthread_attr_t attributes;
    bool started = false;
    if (threads_.size() < threadCpus_.size() && ::pthread_attr_init(&attributes) == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(threadCpus_[threads_.size()], &one);
        started = ::pthread_attr_setaffinity_np(&attributes, sizeof one, &one) == 0 &&
                  ::pthread_create(&thread, &attributes, body, this) == 0;
        ::pthread_attr_destroy(&attributes);
    }
    if (!started && ::pthread_create(&thread, nullptr, body, this) != 0) return false;
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
    if (callerCpu_ < 0 || cpuCount_ < threads ||
        ::sched_getaffinity(0, sizeof allowed_, &allowed_) != 0)
        return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(callerCpu_, &one);
    bound_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
}

void ThreadPool::unbind() {
    if (bound_) ::sched_setaffinity(0, sizeof allowed_, &allowed_);
    bound_ = false;
}

void ThreadPool::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notifyAll();
    }
    for (const pthread_t thread : threads_) ::pthread_join(thread, nullptr);
    threads_.clear();
    buffers_.clear();
}

} // namespace vorlin
