#include "platform/settings_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace platform {

namespace {

constexpr std::size_t kMaxSettingsFile = 16 * 1024 * 1024;

struct Entry {
  std::string name;
  bool isInt = false;
  std::int32_t number = 0;
  std::string text;
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i >= s.size()) return std::nullopt;
    switch (s[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return std::nullopt;
    }
  }
  return out;
}

// Reads every well-formed line; a damaged line is skipped.
std::vector<Entry> ReadEntries(const std::string& path) {
  std::vector<Entry> entries;
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxSettingsFile)) return entries;
  std::string_view rest(bytes);
  while (!rest.empty()) {
    auto eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    auto t1 = line.find('\t');
    if (t1 == std::string_view::npos || t1 == 0) continue;
    auto t2 = line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos) continue;
    Entry e;
    e.name = std::string(line.substr(0, t1));
    std::string_view type = line.substr(t1 + 1, t2 - t1 - 1);
    std::string_view value = line.substr(t2 + 1);
    if (type == "int") {
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), e.number);
      if (ec != std::errc() || end != value.data() + value.size()) continue;
      e.isInt = true;
    } else if (type == "str") {
      auto text = Unescape(value);
      if (!text) continue;
      e.text = std::move(*text);
    } else {
      continue;
    }
    // A later line for the same name wins.
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (SameName(it->name, e.name)) {
        entries.erase(it);
        break;
      }
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

const Entry* Find(const std::vector<Entry>& entries, const std::string& name) {
  for (const auto& e : entries)
    if (SameName(e.name, name)) return &e;
  return nullptr;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t pos = 1; pos < path.size(); ++pos) {
    if (path[pos] != '/') continue;
    std::string dir = path.substr(0, pos);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool Store(const std::string& path, Entry value) {
  auto entries = ReadEntries(path);
  bool replaced = false;
  for (auto& e : entries) {
    if (SameName(e.name, value.name)) {
      value.name = e.name;  // keep the spelling the value was first stored with
      e = std::move(value);
      replaced = true;
      break;
    }
  }
  if (!replaced) entries.push_back(std::move(value));
  std::string out = "# Kestravel service tool settings\n";
  for (const auto& e : entries) {
    out += e.name;
    out += e.isInt ? "\tint\t" + std::to_string(e.number) : "\tstr\t" + Escape(e.text);
    out += '\n';
  }
  if (!MakeFolders(path)) return false;
  return static_cast<bool>(WriteFileAtomically(path, out));
}

}  // namespace

SettingsStore SettingsStore::Default() {
  if (const char* dir = std::getenv("KVX_SETTINGS_DIR"); dir && *dir)
    return SettingsStore(std::string(dir) + "/settings");
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = ".";
  }
  return SettingsStore(base + "/KVX/settings");
}

std::optional<std::int32_t> SettingsStore::readInt(const std::string& name) const {
  auto entries = ReadEntries(path_);
  const Entry* e = Find(entries, name);
  if (!e || !e->isInt) return std::nullopt;
  return e->number;
}

std::optional<std::string> SettingsStore::readString(const std::string& name) const {
  auto entries = ReadEntries(path_);
  const Entry* e = Find(entries, name);
  if (!e || e->isInt) return std::nullopt;
  return e->text;
}

bool SettingsStore::writeInt(const std::string& name, std::int32_t value) const {
  Entry e;
  e.name = name;
  e.isInt = true;
  e.number = value;
  return Store(path_, std::move(e));
}

bool SettingsStore::writeString(const std::string& name, const std::string& value) const {
  Entry e;
  e.name = name;
  e.text = value;
  return Store(path_, std::move(e));
}

}  // namespace platform
