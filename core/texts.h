// Message texts by id and language, value formatting, and the lookups of parameter records
// by code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/common.h"

namespace core {

// The text of message id 1..223 in the current language: the configured text, else the
// built-in English one; "msg" + id for an id outside 1..223 or a language outside 1..4.
std::string LangStr(int id);
// The built-in English text of an id (empty for ids without one or outside 1..223).
std::string_view BuiltInText(int id);

// The value with exactly `decimals` digits after the point ("%0.*f" with "." as the point,
// whatever the process locale), after lifting it by 1e-10 in extended precision.
std::string FormatValue(int decimals, float value);
// A raw drive integer scaled by 10^decimals for decimals 1..3 (others unscaled), formatted
// with `decimals` digits.
std::string FormatScaled(std::int64_t raw, int decimals);

// The default of the first definition of `model` with this code and transfer group.
bool FindDefault(std::string_view code, int transferGroup, int model, float& defaultValue);
// The 0-based index in ParamDefs of the definition of `model` with this code.
bool FindDefinition(std::string_view code, int model, int& index);
// The 0-based index in Document of the record with this code.
bool FindInDocument(std::string_view code, int& index);
// The value field of the first record with this code.
bool FindInRecords(std::string_view code, const std::vector<ParameterDefinition>& records, float& value);

}  // namespace core
