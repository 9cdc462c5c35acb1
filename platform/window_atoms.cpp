#include "platform/window_atoms.h"

#include <cerrno>
#include <map>
#include <mutex>

namespace platform {

namespace {

constexpr unsigned kFirst = 0xC000;
constexpr unsigned kCount = 0x4000;
constexpr std::size_t kLongestName = 255;

std::string Key(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return key;
}

struct Entry {
  std::string name;
  unsigned references = 0;
};

// Window messages and atoms share the one table, as the system's do.
struct Table {
  std::mutex lock;
  std::map<std::string, unsigned> byName;
  std::map<unsigned, Entry> byId;

  unsigned Find(std::string_view name, bool add) {
    if (name.empty() || name.size() > kLongestName) {
      errno = EINVAL;
      return 0;
    }
    const std::string key = Key(name);
    auto found = byName.find(key);
    if (found != byName.end()) {
      if (add) ++byId[found->second].references;
      return found->second;
    }
    for (unsigned id = kFirst; id < kFirst + kCount; ++id) {
      if (byId.count(id)) continue;
      byName[key] = id;
      byId[id] = Entry{std::string(name), 1};
      return id;
    }
    errno = ENOSPC;
    return 0;
  }
};

Table& Atoms() {
  static Table table;
  return table;
}

}  // namespace

unsigned RegisterWindowMessageA(std::string_view name) {
  Table& t = Atoms();
  std::lock_guard<std::mutex> guard(t.lock);
  const unsigned id = t.Find(name, false);
  // A registered message is never deleted.
  if (id) t.byId[id].references = ~0u >> 1;
  return id;
}

std::uint16_t GlobalAddAtomA(std::string_view name) {
  Table& t = Atoms();
  std::lock_guard<std::mutex> guard(t.lock);
  return static_cast<std::uint16_t>(t.Find(name, true));
}

std::uint16_t GlobalDeleteAtom(std::uint16_t atom) {
  Table& t = Atoms();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.byId.find(atom);
  if (found == t.byId.end()) return atom;
  if (--found->second.references == 0) {
    t.byName.erase(Key(found->second.name));
    t.byId.erase(found);
  }
  return 0;
}

std::string GlobalGetAtomNameA(std::uint16_t atom) {
  Table& t = Atoms();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.byId.find(atom);
  return found == t.byId.end() ? std::string() : found->second.name;
}

}  // namespace platform
