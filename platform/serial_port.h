// The serial line the drive link talks through. ByteLink is what the Modbus transactions see:
// a termios serial port, the in-process fake port of the simulated drive and a pseudo-terminal
// are interchangeable behind it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Time-outs of one port call, in milliseconds: a write of n bytes gives up after
// kWritePerByteMs * n + kWriteConstantMs, a read of n bytes returns after kReadPerByteMs * n +
// kReadConstantMs with whatever came by then.
constexpr int kWritePerByteMs = 3;
constexpr int kWriteConstantMs = 40;
constexpr int kReadPerByteMs = 3;
constexpr int kReadConstantMs = 50;

inline int WriteTimeoutMs(std::size_t n) { return kWritePerByteMs * static_cast<int>(n) + kWriteConstantMs; }
inline int ReadTimeoutMs(std::size_t n) { return kReadPerByteMs * static_cast<int>(n) + kReadConstantMs; }

class ByteLink {
 public:
  virtual ~ByteLink() = default;
  // Writes the n bytes; returns how many went out before the write time-out.
  virtual std::size_t Write(const std::uint8_t* data, std::size_t n) = 0;
  // Waits (within the write time-out of the last write) until the written bytes have left.
  virtual void Drain() = 0;
  // Returns as soon as n bytes are in, else at the read time-out of n bytes with what came.
  std::size_t Read(std::uint8_t* buffer, std::size_t n) { return ReadWithin(buffer, n, ReadTimeoutMs(n)); }
  // Returns as soon as n bytes are in, else after timeoutMs with what came (0 ms: only what is
  // waiting already).
  virtual std::size_t ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) = 0;
  // Discards whatever is waiting in both directions.
  virtual void Purge() = 0;
  // The time the line's reads are measured on (a simulated line keeps its own).
  virtual std::chrono::steady_clock::time_point Now() const { return std::chrono::steady_clock::now(); }
  // The device itself failed (a read or write error, or a hang-up: the adapter was unplugged,
  // the far end of a pseudo-terminal closed). Nothing passes any more, so every call returns
  // at once, until the port is opened again. A silent line is no failure.
  virtual bool Failed() const { return false; }
};

// Name of the environment variable that names a folder holding entries COM1..COM16 (links to
// serial devices or pseudo-terminals). Ports without an entry there use the fixed table.
inline constexpr const char* kComFolderVariable = "KVX_COM_DIR";

// The device path of port n (1..16): the entry "COM<n>" of the folder named by KVX_COM_DIR
// when it exists, else COM1..COM8 = /dev/ttyUSB0..7, COM9..COM12 = /dev/ttyACM0..3,
// COM13..COM16 = /dev/ttyS0..3. Empty for any other n.
std::string ComDevicePath(int n);

struct LineSettings {
  // 4800, 9600, 19200, 38400 or 57600; any other rate keeps what the device reports.
  int baud = 19200;
  int dataBits = 8;     // 7 or 8; anything else keeps the device's setting
  char parity = 'N';    // 'N', 'E' or 'O'; anything else keeps the device's setting
  int stopBits = 1;     // 1 or 2; anything else keeps the device's setting
};

// Why a port did not open: the device is missing, held by another process, not open to this
// user, not a serial line, refused the line settings, or some other system error.
enum class OpenFailure { None, Missing, Busy, NoPermission, NotSerial, Settings, Other };

struct OpenError {
  OpenFailure kind = OpenFailure::None;
  int error = 0;  // the system's error number, 0 when there is none
};

// A termios serial port in raw mode (no echo, no character translation, no flow control, no
// signals). Open takes the device exclusively (TIOCEXCL and an advisory flock, since root
// ignores TIOCEXCL); a device that is held by another process, is not a serial line, or
// refuses the settings, does not open.
class SerialPort : public ByteLink {
 public:
  SerialPort() = default;
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  bool Open(const std::string& path, const LineSettings& settings);
  // Why the last Open failed (kind None after a success).
  OpenError LastOpenError() const { return openError_; }
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  std::size_t Write(const std::uint8_t* data, std::size_t n) override;
  void Drain() override;
  std::size_t ReadWithin(std::uint8_t* buffer, std::size_t n, int timeoutMs) override;
  void Purge() override;
  bool Failed() const override { return failed_; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  OpenError openError_;
  int lastWriteTimeoutMs_ = kWriteConstantMs;
};

}  // namespace platform
