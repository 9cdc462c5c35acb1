// A child process for the tests (the simdrive program, socat, python), with a deadline on
// every wait so that a test never hangs on it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a path) with standard output on a pipe; standard error is kept.
  bool Start(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      dup2(out[1], 1);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    return true;
  }

  // The next line of its standard output, or false at the deadline or end of output.
  bool ReadLine(std::string& line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      auto nl = buffered_.find('\n');
      if (nl != std::string::npos) {
        line = buffered_.substr(0, nl);
        buffered_.erase(0, nl + 1);
        return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || out_ < 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[256];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffered_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Waits up to timeoutMs for the child to end by itself; its exit status, or -1.
  int Wait(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

  // Asks the child to end (SIGTERM), then forces it after a second.
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      if (Wait(1000) < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait(1000);
      }
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffered_;
};

// A fresh temporary folder, removed with what it holds (links only) at the end.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/kv-com-XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    for (int n = 1; n <= 16; ++n) unlink((path_ + "/COM" + std::to_string(n)).c_str());
    for (const auto& extra : extras_) unlink(extra.c_str());
    rmdir(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  std::string Add(const std::string& name) {
    extras_.push_back(path_ + "/" + name);
    return extras_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> extras_;
};

}  // namespace kvtest
