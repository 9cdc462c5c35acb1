// A small INI file: "[Section]" lines followed by "name=value" lines. Sections and names compare
// without regard to letter case; values are kept exactly as written (one line each). Every
// operation opens, reads and (for a write) atomically replaces the file, so nothing stays open
// between calls. A missing or damaged file never fails a read: what can be read is used.
#pragma once

#include <optional>
#include <string>

namespace platform {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // Nothing when the file, the section or the name is missing.
  std::optional<std::string> readString(const std::string& section, const std::string& name) const;
  // Replaces or adds the value (adding the section at the end when it is new). Returns false, and
  // leaves the old file whole, when the file cannot be written or the section, name or value
  // would break the format (a line break anywhere, "=" or a leading "[" in the name, "]" in the section).
  bool writeString(const std::string& section, const std::string& name, const std::string& value) const;

 private:
  std::string path_;
};

}  // namespace platform
