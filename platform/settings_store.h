// The program's persistent settings: named integer and text values under one key, kept in a
// small text file of our own (the stand-in for the registry key). Names compare without
// regard to letter case. Every operation opens, reads and (for a write) atomically replaces
// the file, so nothing stays open between calls. A missing or damaged file never fails:
// what can be read is used, the rest reads as missing.
//
// File: $KVX_SETTINGS_DIR/settings when that variable is set, else
// $XDG_CONFIG_HOME/KVX/settings, else ~/.config/KVX/settings. One value per line:
//   <name> TAB int TAB <decimal 32-bit integer>
//   <name> TAB str TAB <text, with \\ \t \n \r escaped>
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

class SettingsStore {
 public:
  // The store at the default place (see above).
  static SettingsStore Default();
  explicit SettingsStore(std::string filePath) : path_(std::move(filePath)) {}

  const std::string& path() const { return path_; }

  // A value that is missing, or stored with the other type, reads as nothing.
  std::optional<std::int32_t> readInt(const std::string& name) const;
  std::optional<std::string> readString(const std::string& name) const;

  // Returns false (and leaves the old file whole) when the file cannot be written.
  bool writeInt(const std::string& name, std::int32_t value) const;
  bool writeString(const std::string& name, const std::string& value) const;

 private:
  std::string path_;
};

}  // namespace platform
