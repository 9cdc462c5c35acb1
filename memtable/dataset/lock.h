// A re-entrant lock: the same thread may enter it again while it holds it.
#pragma once

#include <mutex>

namespace dataset {

class RecursiveLock {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace dataset
