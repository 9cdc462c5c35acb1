// Helpers the benchmarks share: temporary file names, the peak resident size of a piece of work
// measured in a child process, and COM1 on a pseudo-terminal.
#pragma once

#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace bench {

// A path in the temporary folder that belongs to this process: kv_bench_<pid><suffix>.
inline std::string TempFile(const std::string& suffix) {
  return (std::filesystem::temp_directory_path() / ("kv_bench_" + std::to_string(getpid()) + suffix)).string();
}

// A size of /proc/self/status in bytes ("VmRSS:", "VmHWM:"); 0 when it is missing.
inline long ReadStatus(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key)) * 1024;
  return 0;
}

// Makes the current resident size the new high-water mark.
// The median of what was measured (the upper of two middles), 0 for nothing.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The rise of the peak resident size over `work` alone, in bytes, measured in a child process so
// that memory the allocator keeps from earlier runs does not hide it; -1 when the child fails or
// `work` returns false. `prepare` runs first in the child, outside the measure.
template <typename Prepare, typename Work>
long PeakRiseInChild(Prepare prepare, Work work) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    prepare();
    malloc_trim(0);  // memory freed before must be faulted in again to count
    ResetPeak();
    const long base = ReadStatus("VmRSS:");
    long rise = work() ? ReadStatus("VmHWM:") - base : -1;
    if (write(fds[1], &rise, sizeof rise) != sizeof rise) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  long rise = -1;
  if (child < 0 || read(fds[0], &rise, sizeof rise) != sizeof rise) rise = -1;
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return rise;
}

// A temporary port folder whose COM1 is `device` (a pseudo-terminal's slave), named to the port
// code through its folder variable while this lives; `error` says what failed, empty when ready.
class ComFolder {
 public:
  explicit ComFolder(const std::string& device) {
    if (mkdtemp(folder_) == nullptr) {
      error = "no temporary folder";
      return;
    }
    link_ = std::string(folder_) + "/COM1";
    if (symlink(device.c_str(), link_.c_str()) != 0) {
      error = "cannot link the port";
      return;
    }
    setenv(platform::kComFolderVariable, folder_, 1);
  }
  ~ComFolder() {
    if (!link_.empty()) {
      unlink(link_.c_str());
      rmdir(folder_);
    }
    unsetenv(platform::kComFolderVariable);
  }
  ComFolder(const ComFolder&) = delete;
  ComFolder& operator=(const ComFolder&) = delete;

  std::string error;

 private:
  char folder_[32] = "/tmp/kv-bench-XXXXXX";
  std::string link_;
};

// Starts `server` (a pseudo-terminal drive) and makes its slave COM1; nullptr, with the benchmark
// skipped, when either fails.
template <typename Server, typename State>
std::unique_ptr<ComFolder> ServeAsCom1(Server& server, State& state) {
  if (!server.Start()) {
    state.SkipWithError("no pseudo-terminal");
    return nullptr;
  }
  auto com = std::make_unique<ComFolder>(server.SlavePath());
  if (!com->error.empty()) {
    state.SkipWithError(com->error.c_str());
    return nullptr;
  }
  return com;
}

}  // namespace bench
