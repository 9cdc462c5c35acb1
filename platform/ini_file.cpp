#include "platform/ini_file.h"

#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/case_fold.h"

namespace platform {

namespace {

constexpr std::size_t kMaxIniFile = 4 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string_view rest(bytes);
  while (!rest.empty()) {
    const auto eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  return lines;
}

// "[name]" gives the section name; anything else gives nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return Trim(line.substr(1, line.size() - 2));
}

// The value of a "name=value" line with that name.
std::optional<std::string_view> ValueOf(std::string_view line, std::string_view name) {
  const auto eq = line.find('=');
  if (eq == std::string_view::npos || !SameAsciiName(Trim(line.substr(0, eq)), name)) return std::nullopt;
  return line.substr(eq + 1);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::optional<std::string> IniFile::readString(const std::string& section, const std::string& name) const {
  std::string bytes;
  if (!ReadWholeFile(path_, bytes, kMaxIniFile)) return std::nullopt;
  bool inSection = false;
  for (const std::string& line : Lines(bytes)) {
    if (auto s = SectionOf(line)) {
      inSection = SameAsciiName(*s, Trim(section));
      continue;
    }
    if (!inSection) continue;
    if (auto v = ValueOf(line, Trim(name))) return std::string(*v);
  }
  return std::nullopt;
}

bool IniFile::writeString(const std::string& section, const std::string& name, const std::string& value) const {
  const std::string_view sec = Trim(section), key = Trim(name);
  if (HasLineBreak(section) || HasLineBreak(name) || HasLineBreak(value) || key.empty() ||
      key.find('=') != std::string_view::npos || key.front() == '[' || sec.find(']') != std::string_view::npos)
    return false;
  std::string bytes;
  std::vector<std::string> lines;
  if (ReadWholeFile(path_, bytes, kMaxIniFile)) lines = Lines(bytes);
  const std::string entry = std::string(key) + "=" + value;
  bool inSection = false, written = false;
  std::size_t sectionEnd = 0;  // the line after the last entry of the section
  bool found = false;
  for (std::size_t i = 0; i < lines.size() && !written; ++i) {
    if (auto s = SectionOf(lines[i])) {
      inSection = SameAsciiName(*s, sec);
      if (inSection) {
        found = true;
        sectionEnd = i + 1;
      }
      continue;
    }
    if (!inSection) continue;
    if (ValueOf(lines[i], key)) {
      lines[i] = lines[i].substr(0, lines[i].find('=') + 1) + value;  // the name keeps its spelling
      written = true;
    } else if (!Trim(lines[i]).empty()) {
      sectionEnd = i + 1;
    }
  }
  if (!written) {
    if (found) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    } else {
      lines.push_back("[" + std::string(sec) + "]");
      lines.push_back(entry);
    }
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return static_cast<bool>(WriteFileAtomically(path_, out));
}

}  // namespace platform
