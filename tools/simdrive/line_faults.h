// What the line between the master and the simulated drive does besides carrying the bytes: an
// echoing line sends every request back ahead of the drive's reply (a 2-wire RS-485 adapter
// without echo suppression) and may lose or damage such copies; noise may come ahead of or
// behind each reply. The in-process fake port and the pseudo-terminal server play the same faults.
#pragma once

#include <cstdint>
#include <random>
#include <set>
#include <vector>

namespace simdrive {

struct LineFaults {
  bool echo = false;                       // every request comes back ahead of its reply
  std::set<int> lostCopies;                // the requests (counted from 1) whose copy is lost
  int copyLossPercent = 0;                 // any other copy is lost this often
  int copyDamagePercent = 0;               // a copy not lost comes with its last byte changed this often
  std::vector<std::uint8_t> noiseBefore;   // ahead of every reply
  std::vector<std::uint8_t> noiseBehind;   // behind every reply
  unsigned seed = 1;                       // of the chances: one seed plays the same line again
  std::set<int> lateCopies;                // the requests whose copy comes copyDelayMs late, and
  int copyDelayMs = 0;                     // what follows it behind it (an adapter or host that stalls)
};

class LineFaultPlayer {
 public:
  explicit LineFaultPlayer(const LineFaults& faults = {}) : faults_(faults), random_(faults.seed) {}
  const LineFaults& Faults() const { return faults_; }
  // What the line sends back of a request the master wrote: its copy, whole or damaged, or
  // nothing (no echo, or the copy lost).
  std::vector<std::uint8_t> CopyOf(const std::uint8_t* data, std::size_t n);
  // How late the copy CopyOf gave last comes (0: at once).
  int LastCopyDelayMs() const { return lastDelayMs_; }
  // Copies lost and damaged so far.
  int CopiesLost() const { return lost_; }
  int CopiesDamaged() const { return damaged_; }

 private:
  bool Chance(int percent);

  LineFaults faults_;
  std::mt19937 random_;
  int requests_ = 0;
  int lost_ = 0;
  int damaged_ = 0;
  int lastDelayMs_ = 0;
};

}  // namespace simdrive
