// The program's settings (link settings, language, online mode, station titles, recent files,
// favourite parameters), kept in the settings file of platform::SettingsStore.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/common.h"

namespace core {

// Missing values read as 0 or empty text.
std::int32_t ReadSettingInt(const std::string& name);
std::string ReadSettingStr(const std::string& name);
// A write that cannot be stored is dropped (and reported as false).
bool WriteSettingInt(const std::string& name, std::int32_t value);
bool WriteSettingStr(const std::string& name, const std::string& value);

// Puts a path into the four recent-file entries (an entry already there swaps with the first).
void AddRecentFile(const std::string& path);
// "ParameterRecent1".."ParameterRecent4"; empty where there is no entry.
std::array<std::string, 4> RecentFiles();

// Reads the link settings, language and station titles into the state, each with its accepted
// range and fallback. Returns the stored online-edit setting (the Online Edit check mark).
bool ReadStartupSettings(AppState& s);
// Stores the link settings of the state (the Link command does this after a link).
void SaveLinkSettings(const AppState& s);

}  // namespace core
