// Typed access to parameters and monitor items: one transaction chosen by the type letter,
// and the conversion between raw register contents and the engineering value by decimals.
#pragma once

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

// The lowest and highest value WriteParam takes for `rec`: its register's raw limits (16 bits,
// 32 bits or a coil byte, signed or not) scaled down by its decimals. False for a float
// register, which takes every finite value.
bool RegisterLimits(const ParameterDefinition& rec, double& low, double& high);

// Reads a monitor item and formats it with its decimals ("." as decimal point); the text is
// written only on success.
TransactionResult ReadMonitorItem(int station, const MonitorItem& item, std::string& text);

}  // namespace core
