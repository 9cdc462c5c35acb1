// A re-entrant lock: the same thread may enter it again while it holds it.
//
// Taking it costs one atomic exchange and leaving it one store, which matters because
// a table enters it around every field read and write. A thread that finds it taken
// spins briefly and then yields until it is free; the holders keep it only for short
// steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace dataset {

class RecursiveLock {
 public:
  void Enter() {
    const std::uintptr_t me = ThreadToken();
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return;
    }
    for (int spins = 0; taken_.exchange(true, std::memory_order_acquire); ++spins) {
      while (taken_.load(std::memory_order_relaxed)) {
        if (++spins > 64) std::this_thread::yield();
      }
    }
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
  }

  void Leave() {
    if (--depth_ == 0) {
      owner_.store(0, std::memory_order_relaxed);
      taken_.store(false, std::memory_order_release);
    }
  }

 private:
  // A value unique to the calling thread while it lives, never 0.
  static std::uintptr_t ThreadToken() {
    static thread_local char token;
    return reinterpret_cast<std::uintptr_t>(&token);
  }

  std::atomic<bool> taken_{false};
  std::atomic<std::uintptr_t> owner_{0};
  int depth_ = 0;
};

}  // namespace dataset
