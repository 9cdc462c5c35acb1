// Live values for the simulated drive: what a monitor shows changes over time. The values of
// a model's monitor items wander around a level of their own, an alarm comes and goes, the
// status word follows the run command, and forced inputs show in the input word. Step(t) sets
// every register for the time t (seconds since the start), so tests can step it exactly; the
// simdrive program steps it from a thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.h"
#include "tools/simdrive/drive.h"

namespace simdrive {

class LiveDrive {
 public:
  LiveDrive(Drive& drive, std::vector<int> stations) : drive_(drive), stations_(std::move(stations)) {}

  // Takes the monitor items of `model`: identification values, monitor values, the advanced
  // list, the third status item and the bit words with the force word.
  void UseModel(const core::smod& model);
  void Step(double seconds);

  // The command register (holding) whose bit 0 (Run) set and bit 1 (Stop) clear mean running;
  // 948 when a command button of the model writes there.
  std::uint16_t RunRegister() const { return runRegister_; }

 private:
  struct Wave {
    core::MonitorItem item;
    double level, swing, period;
  };
  void Put(int station, const core::MonitorItem& item, double value);
  void PutWord(int station, const core::MonitorItem& item, std::uint16_t word);
  std::uint16_t GetWord(int station, const core::MonitorItem& item) const;

  Drive& drive_;
  std::vector<int> stations_;
  std::vector<Wave> waves_;
  std::vector<std::pair<core::MonitorItem, double>> constants_;
  core::MonitorItem alarm_, input_, output_, status_, force_;
  std::uint16_t runRegister_ = 0;
};

}  // namespace simdrive
