#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  // Round up so that poll never returns a hair before the deadline and loops on 0 ms.
  return static_cast<int>(left) + 1;
}

bool SpeedFor(int baud, speed_t& speed) {
  switch (baud) {
    case 4800: speed = B4800; return true;
    case 9600: speed = B9600; return true;
    case 19200: speed = B19200; return true;
    case 38400: speed = B38400; return true;
    case 57600: speed = B57600; return true;
    default: return false;
  }
}

// The line fields of the settings that are not left to the device.
constexpr tcflag_t kLineFields = CSIZE | PARENB | PARODD | CSTOPB;

// What poll reports of a device that is gone: an unplugged adapter's line is hung up, a
// pseudo-terminal whose far end closed reports a hang-up and an error.
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

// Errors of the control calls (flush, queue size) that mean the device is gone, not that it
// lacks the call.
bool DeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

void ApplyLine(termios& t, const LineSettings& s) {
  // Raw: no input translation, parity marking, software flow control or break signals; no
  // output processing; no echo, canonical mode or signal characters.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                      IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  t.c_iflag |= IGNPAR;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  if (s.dataBits == 7 || s.dataBits == 8) {
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    t.c_cflag |= s.dataBits == 7 ? CS7 : CS8;
  }
  switch (s.parity) {
    case 'N': t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD); break;
    case 'E': t.c_cflag |= PARENB; t.c_cflag &= ~static_cast<tcflag_t>(PARODD); break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    default: break;
  }
  if (s.stopBits == 1) t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  if (s.stopBits == 2) t.c_cflag |= CSTOPB;
  speed_t speed;
  if (SpeedFor(s.baud, speed)) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
}

}  // namespace

std::string ComDevicePath(int n) {
  if (n < 1 || n > 16) return {};
  const char* folder = std::getenv(kComFolderVariable);
  if (folder != nullptr && *folder != 0) {
    std::string entry = std::string(folder) + "/COM" + std::to_string(n);
    struct stat st;
    if (lstat(entry.c_str(), &st) == 0) return entry;
  }
  if (n <= 8) return "/dev/ttyUSB" + std::to_string(n - 1);
  if (n <= 12) return "/dev/ttyACM" + std::to_string(n - 9);
  return "/dev/ttyS" + std::to_string(n - 13);
}

SerialPort::~SerialPort() { Close(); }

namespace {
OpenFailure FailureOfOpen(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return OpenFailure::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenFailure::NoPermission;
    case EBUSY:
      return OpenFailure::Busy;
    default:
      return OpenFailure::Other;
  }
}
}  // namespace

bool SerialPort::Open(const std::string& path, const LineSettings& settings) {
  Close();
  openError_ = {};
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    openError_ = {FailureOfOpen(errno), errno};
    return false;
  }
  auto fail = [this, fd](OpenFailure kind, int error) {
    openError_ = {kind, error};
    ::close(fd);
    return false;
  };
  termios t;
  if (!isatty(fd) || tcgetattr(fd, &t) != 0) return fail(OpenFailure::NotSerial, ENOTTY);
  // Another process holding the line makes it "cannot be opened": TIOCEXCL keeps others out
  // (except root), the advisory lock also tells root users of this program.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(OpenFailure::Busy, errno == EWOULDBLOCK ? EBUSY : errno);
  if (ioctl(fd, TIOCEXCL) != 0) return fail(OpenFailure::Other, errno);
  // From here on a failure must also give the line free again: the exclusive mark stays on a
  // terminal as long as anyone (a pseudo-terminal's server, say) still has it open.
  auto failExclusive = [fd, &fail](int error) {
    ioctl(fd, TIOCNXCL);
    return fail(OpenFailure::Settings, error);
  };

  ApplyLine(t, settings);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return failExclusive(errno);
  // tcsetattr succeeds when any part was taken: check that the line took every field.
  termios got;
  if (tcgetattr(fd, &got) != 0) return failExclusive(errno);
  if ((got.c_cflag & kLineFields) != (t.c_cflag & kLineFields) || cfgetospeed(&got) != cfgetospeed(&t) ||
      (got.c_lflag & (ICANON | ECHO | ISIG)) != 0 || (got.c_iflag & (IXON | ICRNL)) != 0 ||
      (got.c_oflag & OPOST) != 0)
    return failExclusive(EINVAL);

  // DTR and RTS on where the line has them; a pseudo-terminal has none, which is fine.
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)ioctl(fd, TIOCMBIS, &lines);
  tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  return true;
}

void SerialPort::Close() {
  if (fd_ >= 0) {
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }
  failed_ = false;
}

std::size_t SerialPort::Write(const std::uint8_t* data, std::size_t n) {
  if (fd_ < 0 || failed_) return 0;
  lastWriteTimeoutMs_ = WriteTimeoutMs(n);
  auto deadline = Clock::now() + std::chrono::milliseconds(lastWriteTimeoutMs_);
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd_, data + done, n - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) {
      failed_ = true;
      break;
    }
    // A line that takes nothing until the time-out (held up by the other side) has not failed.
    int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) break;
    if (p.revents & kHangUp) {
      failed_ = true;
      break;
    }
  }
  return done;
}

void SerialPort::Drain() {
  if (fd_ < 0 || failed_) return;
  // Wait for the output queue to empty, but never past the last write's time-out.
  auto deadline = Clock::now() + std::chrono::milliseconds(lastWriteTimeoutMs_);
  for (;;) {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
      if (DeviceGone(errno)) failed_ = true;
      return;
    }
    if (queued <= 0) return;
    int left = MsLeft(deadline);
    if (left == 0) return;
    // One character time at the slowest rate is about 2 ms; look again after that.
    pollfd p{fd_, 0, 0};
    poll(&p, 1, left < 2 ? left : 2);
  }
}

std::size_t SerialPort::ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) {
  if (fd_ < 0 || failed_) return 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  std::size_t done = 0;
  while (done < n) {
    // In raw mode without a minimum count, a read with nothing waiting returns 0, also on a
    // hung-up line: only poll tells a silent line from a gone one.
    ssize_t r = ::read(fd_, buffer + done, n - done);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) {
      failed_ = true;
      break;
    }
    int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd p{fd_, POLLIN, 0};
    int ready = poll(&p, 1, left);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (p.revents & kHangUp)) {
      // The device is gone: take what it left behind, then nothing more comes.
      ssize_t last = ::read(fd_, buffer + done, n - done);
      if (last > 0) done += static_cast<std::size_t>(last);
      failed_ = true;
      break;
    }
  }
  return done;
}

void SerialPort::Purge() {
  if (fd_ >= 0 && !failed_ && tcflush(fd_, TCIOFLUSH) != 0 && DeviceGone(errno)) failed_ = true;
}

}  // namespace platform
