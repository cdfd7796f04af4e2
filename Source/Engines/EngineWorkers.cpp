#include "EngineWorkers.h"

#include <algorithm>

namespace kv::engine {

WorkerPool::WorkerPool(unsigned threads) {
  threads = std::max(1u, threads);
  for (unsigned i = 0; i < threads; ++i)
    threads_.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& t : threads_)
    t.join();
}

void WorkerPool::submit(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
  }
  work_.notify_one();
}

void WorkerPool::finish(std::atomic<bool>& done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done.store(true);
  }
  finished_.notify_all();
}

bool WorkerPool::waitFor(const std::atomic<bool>& done, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_.wait_for(lock, timeout, [&] { return done.load(); });
}

unsigned WorkerPool::defaultThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp(n == 0 ? 2u : n, 1u, 8u);
}

void WorkerPool::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      // Queued jobs still run when stopping, so that every done flag is set before the pool goes.
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    job();
  }
}

} // namespace kv::engine
