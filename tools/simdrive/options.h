// Command line of the simdrive program.
#pragma once

#include <string>
#include <vector>

#include "tools/simdrive/drive.h"
#include "tools/simdrive/line_faults.h"
#include "tools/simdrive/live.h"

namespace simdrive {

extern const char* const kUsage;

struct RegisterSetting {
  char space = 'h';  // 'h' holding, 'i' input, 'c' coil
  int station = 1;
  int address = 0;
  int value = 0;
};

struct Options {
  bool help = false;
  bool quiet = false;
  std::string comDir;
  int port = 1;
  std::string stations = "1";
  std::string vendor = "Kestravel";
  std::string product = "SIMDRIVE";
  std::string revision = "1.00";
  std::string configPath;
  std::string model;
  std::string logPath;
  std::vector<RegisterSetting> registers;
  Fault fault;
  bool live = false;       // monitor values change over time (needs --config)
  LineFaults line;         // an echoing line (--echo-line), its lost and damaged copies, noise
  int failAfterSec = -1;   // the drive falls silent after this many seconds
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// Parses a station list "1,3,5-12" (stations 1..254, ranges a-b with a <= b).
bool ParseStations(const std::string& text, std::vector<int>& stations);

// Sets up the drive from the options: stations, registers, fault, the profile registers and,
// with a configuration file, the product name (a model's name), the model's parameter defaults
// and, when `live` is given, the model's monitor items for it to move.
bool Configure(Drive& drive, const Options& options, std::string& error, LiveDrive* live = nullptr);

}  // namespace simdrive
