#include "tools/simdrive/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace simdrive {

namespace {
// A partial frame that sees no further byte for this long is dropped (the master gave up on it).
constexpr int kFrameGapMs = 50;
}  // namespace

PtyServer::~PtyServer() { Stop(); }

bool PtyServer::Start() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return false;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    Stop();
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    Stop();
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    Stop();
    return false;
  }
  termios t;
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) {
    Stop();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void PtyServer::Stop() {
  if (thread_.joinable()) {
    char c = 1;
    (void)!::write(stopPipe_[1], &c, 1);
    thread_.join();
  }
  for (int* fd : {&master_, &slave_, &stopPipe_[0], &stopPipe_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void PtyServer::SetEchoLine(bool on) {
  std::lock_guard lock(lineMutex_);
  LineFaults faults = line_.Faults();
  faults.echo = on;
  line_ = LineFaultPlayer(faults);
}

void PtyServer::SetLineFaults(const LineFaults& faults) {
  std::lock_guard lock(lineMutex_);
  line_ = LineFaultPlayer(faults);
}

bool PtyServer::LineSettings(termios& settings) const { return slave_ >= 0 && tcgetattr(slave_, &settings) == 0; }

bool PtyServer::WaitStop(int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{stopPipe_[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

void PtyServer::WriteAll(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return;
    pollfd p[2] = {{master_, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
    if (poll(p, 2, 1000) <= 0 || (p[1].revents & POLLIN)) return;
  }
}

void PtyServer::Run() {
  std::uint8_t buffer[512];
  for (;;) {
    pollfd p[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int r = poll(p, 2, kFrameGapMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) return;
    if (r == 0) {
      drive_.ResetFraming();
      continue;
    }
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      // No reader on the slave side for a moment (EIO): wait a little instead of spinning.
      if (WaitStop(10)) return;
      continue;
    }
    LineFaults faults;
    std::vector<std::uint8_t> copy;
    int copyDelayMs = 0;
    {
      std::lock_guard lock(lineMutex_);
      copy = line_.CopyOf(buffer, static_cast<std::size_t>(n));
      copyDelayMs = line_.LastCopyDelayMs();
      faults = line_.Faults();
    }
    // A late copy holds up the drive's answer behind it, as an adapter that stalls does.
    if (copyDelayMs > 0 && WaitStop(copyDelayMs)) return;
    if (!copy.empty()) WriteAll(copy);
    for (auto& reply : drive_.Receive(buffer, static_cast<std::size_t>(n))) {
      if (reply.delayMs > 0 && WaitStop(reply.delayMs)) return;
      std::vector<std::uint8_t> bytes = faults.noiseBefore;
      bytes.insert(bytes.end(), reply.bytes.begin(), reply.bytes.end());
      bytes.insert(bytes.end(), faults.noiseBehind.begin(), faults.noiseBehind.end());
      WriteAll(bytes);
    }
  }
}

}  // namespace simdrive
