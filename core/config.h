// The configuration file "Kestravel.cfg": drive models, parameter definitions, monitor layout,
// passwords, message texts and the application texts. Read once at start-up; never written.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/common.h"

namespace core {

inline constexpr const char* kConfigurationFileName = "Kestravel.cfg";
// The most records a motor data table may have.
inline constexpr int kMaxMotorRecords = 1000;

// Loads "Kestravel.cfg" from the current folder into State(). A missing file leaves no models
// and the built-in English texts. Returns false only when an existing file could not be read
// (what was taken before the error stays).
bool LoadConfiguration();

// The same for a named file, and for text already in memory (tests, fuzzing).
bool LoadConfigurationFile(AppState& s, const std::string& path);
void LoadConfigurationText(AppState& s, std::string_view text);

using ConfigFields = std::array<std::string, 15>;

// Splits a key line "[KEY=f1;f2;...]" into its fifteen fields.
ConfigFields SplitFields(std::string_view line);

// The number of decimals implied by three number texts (minimum, maximum, default).
int CountDecimals(std::string_view a, std::string_view b, std::string_view c);

// Locale-independent number conversions of the configuration file: the whole text must
// convert ("." is the decimal point whatever the regional settings say).
bool ParseConfigInt(std::string_view text, std::int32_t& out);
bool ParseConfigFloat(std::string_view text, float& out);

}  // namespace core
