// The program's settings (link settings, language, online mode, station titles, recent files,
// favourite parameters), kept in the settings file of platform::SettingsStore. The file is read
// once (and again when another instance changed it); each write outside a SettingsBatch
// replaces the file once, under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/common.h"

namespace core {

// Missing values read as 0 or empty text.
std::int32_t ReadSettingInt(const std::string& name);
std::string ReadSettingStr(const std::string& name);
// A write that cannot be stored is dropped (and reported as false). Inside a batch the value
// is kept for the batch's end (and reads back at once).
bool WriteSettingInt(const std::string& name, std::int32_t value);
bool WriteSettingStr(const std::string& name, const std::string& value);

// One user action that changes many settings: the writes made while it lives go to the file
// together, in one replace, when it ends (or at Finish, which tells whether they were stored).
// Batches may nest; the outermost one writes.
class SettingsBatch {
 public:
  SettingsBatch();
  ~SettingsBatch();
  SettingsBatch(const SettingsBatch&) = delete;
  SettingsBatch& operator=(const SettingsBatch&) = delete;
  bool Finish();

 private:
  struct Open;
  std::unique_ptr<Open> open_;
  bool ok_ = true;
};

// Receives the message about a settings file that cannot be read or written, once per problem
// (a file that cannot be read is never replaced; writes are refused until it can). Without a
// reporter the message goes to standard error.
void SetSettingsReporter(std::function<void(const std::string& message)> reporter);

// Puts a path into the four recent-file entries (an entry already there swaps with the first);
// one write.
void AddRecentFile(const std::string& path);
// "ParameterRecent1".."ParameterRecent4"; empty where there is no entry.
std::array<std::string, 4> RecentFiles();

// Reads the link settings, language and station titles into the state, each with its accepted
// range and fallback. Returns the stored online-edit setting (the Online Edit check mark).
bool ReadStartupSettings(AppState& s);
// Stores the link settings of the state (the Link command does this after a link); one write.
void SaveLinkSettings(const AppState& s);

}  // namespace core
