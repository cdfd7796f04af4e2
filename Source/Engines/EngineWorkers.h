// A small pool of worker threads for the members' data. Workers never call back: the engine's
// calling thread waits for each member's result in member order and reports it itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kv::engine {

class WorkerPool {
public:
  explicit WorkerPool(unsigned threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned size() const { return static_cast<unsigned>(threads_.size()); }
  // Runs the job on a worker; the job sets its own done flag through finish().
  void submit(std::function<void()> job);
  // Marks a job's flag done and wakes the waiting caller.
  void finish(std::atomic<bool>& done);
  // Waits until the flag is set or the timeout passes; true when it is set.
  bool waitFor(const std::atomic<bool>& done, std::chrono::milliseconds timeout);

  // Threads to use on this machine (at least one, at most eight).
  static unsigned defaultThreads();

private:
  void run();
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable finished_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

} // namespace kv::engine
