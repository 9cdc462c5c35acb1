// Serves a simulated drive on a pseudo-terminal: a thread reads the master side, feeds the
// drive and writes its replies back (after their injected delay). The slave side is what a
// master opens, for example through a COM folder entry that links to SlavePath().
#pragma once

#include <termios.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "tools/simdrive/drive.h"
#include "tools/simdrive/line_faults.h"

namespace simdrive {

class PtyServer {
 public:
  explicit PtyServer(Drive& drive) : drive_(drive) {}
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the pseudo-terminal and starts serving; false (with errno set) when no
  // pseudo-terminal could be made.
  bool Start();
  void Stop();
  const std::string& SlavePath() const { return slavePath_; }
  // The line settings of the pseudo-terminal as the master side's user set them.
  bool LineSettings(termios& settings) const;
  // Puts bytes on the line as if the drive had sent them unasked.
  void SendRaw(const std::vector<std::uint8_t>& bytes) { WriteAll(bytes); }
  // The line sends every byte the master writes straight back, ahead of the drive's answer (a
  // 2-wire RS-485 adapter without echo suppression).
  void SetEchoLine(bool on);
  // The line's faults from the next write of the master on: lost or damaged copies, noise
  // around every reply (the copies lost by number are counted from here, one per write).
  void SetLineFaults(const LineFaults& faults);

 private:
  void Run();
  bool WaitStop(int ms);  // true when stopped while waiting
  void WriteAll(const std::vector<std::uint8_t>& bytes);

  Drive& drive_;
  int master_ = -1;
  int slave_ = -1;  // held open so that the master never sees a hang-up between clients
  int stopPipe_[2] = {-1, -1};
  std::string slavePath_;
  std::thread thread_;
  std::mutex lineMutex_;
  LineFaultPlayer line_;
};

}  // namespace simdrive
