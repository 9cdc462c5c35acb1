// Typed access to parameters and monitor items: one transaction chosen by the type letter,
// and the conversion between raw register contents and the engineering value by decimals.
#pragma once

#include <cstdint>
#include <string>

#include "core/modbus.h"
#include "core/records.h"

namespace core {

// Reads State().ParamDefs[index]. 4 for an index outside 0..ParamCount-1; the value is
// written only on success.
TransactionResult ReadParam(int station, int index, float& value);

// Writes value by the type letter, register and decimals of State().Document[index]. 4 for an
// index outside the document; kResultBadValue, without a transaction, for a NaN or infinite
// value or one that does not fit the register after scaling.
TransactionResult WriteParam(int station, int index, float value);

// A write whose result says the drive may have stored the value all the same: the request
// may have gone out in part, or the drive's answer was missing, damaged or did not confirm the
// value, so only a read tells what the drive holds. A refusal, a value never sent and a failed
// port do not.
bool WriteMayHaveBeenDone(TransactionResult result);

// What the drive holds in the register of State().Document[index], read as WriteParam writes it
// (a coil, one or two holding registers, or a float; signed when the minimum is below zero).
// Called after a write that may have been done: a read that fails too leaves the register's
// value unknown (ValueUnknown) until a read or a write of it succeeds (ReadParam, WriteParam,
// this read).
struct ParamReadBack {
  TransactionResult result = kResultOk;  // of the read; the fields below only on success
  float value = 0;                       // the engineering value the drive holds (a float as is)
  bool holdsWritten = false;             // the register holds exactly what writing `written` sends
};
ParamReadBack ReadParamBack(int station, int index, float written);

// Whether the program does not know the value the register `reg` of `station` holds.
bool ValueUnknown(int station, std::int32_t reg);

// The lowest and highest value WriteParam takes for `rec`: its register's raw limits (16 bits,
// 32 bits or a coil byte, signed or not) scaled down by its decimals. False for a float
// register, which takes every finite value.
bool RegisterLimits(const ParameterDefinition& rec, double& low, double& high);

// Reads a monitor item by its letter (B coil; L two holding registers; X, J one input register;
// M two input registers; F, G a float from two holding or input registers; any other letter
// one signed holding register) and formats it with its decimals ("." as decimal point): whole
// numbers scaled by 10^decimals, floats as they are. The text is written only on success.
TransactionResult ReadMonitorItem(int station, const MonitorItem& item, std::string& text);

// Writes `value` to a monitor item with the scale ReadMonitorItem shows it with: scaled by
// 10^decimals and rounded, into one word, two words (L, M), a coil (B) or as a float (F, G).
// kResultBadValue, without a transaction, for a value that does not fit.
TransactionResult WriteMonitorItem(int station, const MonitorItem& item, double value);
// The lowest and highest value WriteMonitorItem takes for `item`; false for a float item.
bool MonitorItemLimits(const MonitorItem& item, double& low, double& high);

// What WriteMonitorItem sends for `value`: the whole raw value, or for a float item (F, G) the
// float. False for a value it refuses.
bool MonitorItemRaw(const MonitorItem& item, double value, std::int64_t& whole, float& f);
bool IsFloatItem(const MonitorItem& item);
// ReadMonitorItem's text of a whole raw value, and of a float.
std::string MonitorItemText(const MonitorItem& item, std::int32_t raw);
std::string MonitorFloatText(const MonitorItem& item, float f);

}  // namespace core
