// Reading back what the drive holds after a write that failed in a way the drive may have done
// it all the same (WriteMayHaveBeenDone, core/param_access.h): its answer was lost, damaged or
// did not confirm it. A read's answer cannot be mistaken for a copy of the request, so the
// read tells what the write could not. The parameters of a document have ReadParamBack; these
// serve the monitor's items, its commands and register panel, the profile and the motor table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/modbus.h"
#include "core/records.h"

namespace core {

// A monitor item read from the register or coil WriteMonitorItem writes (a holding register
// for the input letters too), compared with what writing `written` sends: the bits of the
// register(s), or the coil's state.
struct ItemReadBack {
  TransactionResult result = kResultOk;  // of the read; the fields below only on success
  std::string text;                      // the value held, as ReadMonitorItem shows it
  bool holdsWritten = false;
};
ItemReadBack ReadMonitorItemBack(int station, const MonitorItem& item, double written);

// `count` holding registers from `address` (count 1..125: one 16-register read per sixteen,
// the rest by two and one), compared with `written` when it is not empty (it then has count
// words).
struct RegistersReadBack {
  TransactionResult result = kResultOk;  // of the first read that failed, else 0
  std::vector<std::uint16_t> words;      // all of them on success
  bool holdsWritten = false;
};
RegistersReadBack ReadRegistersBack(int station, std::uint16_t address, int count,
                                    const std::vector<std::uint16_t>& written = {});

// A coil, as 0 or 1.
RegistersReadBack ReadCoilBack(int station, std::uint16_t address);

}  // namespace core
