#include "platform/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/atomic_file.h"

namespace platform {

namespace {

constexpr std::size_t kMaxSettingsFile = 16 * 1024 * 1024;
// How long a write waits for another instance to finish its own.
constexpr auto kLockWait = std::chrono::seconds(3);

using Entry = SettingsStore::Entry;

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

// The key of a name in an entry table: A-Z folded to a-z, other bytes as they are (the names
// SameAsciiName takes as equal have equal keys).
std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

// Every well-formed line of the file's bytes; a damaged line is skipped.
template <typename Table>
void ParseEntries(std::string_view rest, Table& entries) {
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
    entries.putLast(std::move(e));  // a later line for the same name wins
  }
}

template <typename Table>
std::string Serialize(const Table& entries) {
  std::string out = "# Kestravel service tool settings\n";
  entries.forEach([&](const Entry& e) {
    out += e.name;
    if (e.isInt) {
      out += "\tint\t";
      out += std::to_string(e.number);
    } else {
      out += "\tstr\t";
      out += Escape(e.text);
    }
    out += '\n';
  });
  return out;
}

int MakeFolders(const std::string& path) {
  for (std::size_t pos = 1; pos < path.size(); ++pos) {
    if (path[pos] != '/') continue;
    std::string dir = path.substr(0, pos);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

// Holds the exclusive lock of the settings file while it lives.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    const auto until = std::chrono::steady_clock::now() + kLockWait;
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
        error_ = errno == EINTR ? EWOULDBLOCK : errno;
        close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace

namespace {
char FoldedByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::size_t SettingsStore::EntryTable::FoldedHash::operator()(std::string_view name) const {
  std::size_t h = 14695981039346656037ull;  // FNV-1a over the folded bytes
  for (char c : name) h = (h ^ static_cast<unsigned char>(FoldedByte(c))) * 1099511628211ull;
  return h;
}

bool SettingsStore::EntryTable::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldedByte(a[i]) != FoldedByte(b[i])) return false;
  return true;
}

const Entry* SettingsStore::EntryTable::find(std::string_view name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : &items_[it->second];
}

void SettingsStore::EntryTable::put(Entry value) {
  auto [it, added] = index_.try_emplace(NameKey(value.name), items_.size());
  if (added) {
    items_.push_back(std::move(value));
    ++live_;
    return;
  }
  Entry& old = items_[it->second];
  value.name = std::move(old.name);
  old = std::move(value);
}

void SettingsStore::EntryTable::putLast(Entry value) {
  auto [it, added] = index_.try_emplace(NameKey(value.name), items_.size());
  if (!added) {
    items_[it->second] = Entry{};  // dropped: an empty name marks it
    it->second = items_.size();
  } else {
    ++live_;
  }
  items_.push_back(std::move(value));
}

void SettingsStore::EntryTable::clear() {
  items_.clear();
  index_.clear();
  live_ = 0;
}

std::vector<Entry> SettingsStore::EntryTable::take() {
  std::vector<Entry> out;
  out.reserve(live_);
  for (auto& e : items_)
    if (!e.name.empty()) out.push_back(std::move(e));
  clear();
  return out;
}

std::string SettingsStore::DefaultPath() {
  if (const char* dir = std::getenv("KVX_SETTINGS_DIR"); dir && *dir) return std::string(dir) + "/settings";
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = ".";
  }
  return base + "/KVX/settings";
}

bool SettingsStore::Stamp::operator==(const Stamp& o) const {
  return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
         changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
         statusChanged.tv_sec == o.statusChanged.tv_sec && statusChanged.tv_nsec == o.statusChanged.tv_nsec;
}

void SettingsStore::setProblem(std::string message) {
  if (message.empty()) {
    problem_.clear();
    reported_ = false;
    return;
  }
  const bool same = message == problem_;
  problem_ = std::move(message);
  if (same && reported_) return;
  reported_ = true;
  if (reporter_) {
    reporter_(problem_);
  } else {
    std::fprintf(stderr, "%s\n", problem_.c_str());
  }
}

SettingsStore::Stamp SettingsStore::stampNow() const {
  Stamp now;
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0) {
    now.exists = true;
    now.device = st.st_dev;
    now.inode = st.st_ino;
    now.size = st.st_size;
    now.changed = st.st_mtim;
    now.statusChanged = st.st_ctim;
  } else if (errno != ENOENT && errno != ENOTDIR) {
    now.exists = true;  // there may be a file we cannot see: treat it as unreadable
  }
  return now;
}

// Reads the file (again) when it is new to us or changed on disk since we last read it (every
// write replaces the file, so another instance's write always shows).
void SettingsStore::refresh() {
  if (loaded_ && snapshotSeen_) return;
  Stamp now = stampNow();
  snapshotSeen_ = snapshotDepth_ > 0;
  if (loaded_ && now == stamp_) return;
  load(now);
}

// Reads the file into entries_. False (with the problem reported) when a file is there but
// cannot be read; entries_ is then empty and writes are refused.
bool SettingsStore::load(const Stamp& stamp) {
  // A file that can be read again ends its problem; a failed write's problem ends only with a
  // write that works, so that it is told once however often the file is read in between.
  const bool wasUnreadable = unreadable_;
  stamp_ = stamp;
  loaded_ = true;
  unreadable_ = false;
  entries_.clear();
  std::string bytes;
  FileResult r = ReadWholeFile(path_, bytes, kMaxSettingsFile);
  if (!r) {
    if (r.systemError == ENOENT || r.systemError == ENOTDIR) {
      if (wasUnreadable) setProblem({});
      return true;
    }
    unreadable_ = true;
    loaded_ = false;  // try again at the next access
    setProblem("The settings file cannot be read, so settings are not saved until it can: " + r.error);
    return false;
  }
  ParseEntries(bytes, entries_);
  if (wasUnreadable) setProblem({});
  return true;
}

const Entry* SettingsStore::find(const std::string& name) {
  if (const Entry* e = pending_.find(name)) return e;
  refresh();
  return entries_.find(name);
}

std::optional<std::int32_t> SettingsStore::readInt(const std::string& name) {
  const Entry* e = find(name);
  if (!e || !e->isInt) return std::nullopt;
  return e->number;
}

std::optional<std::string> SettingsStore::readString(const std::string& name) {
  const Entry* e = find(name);
  if (!e || e->isInt) return std::nullopt;
  return e->text;
}

bool SettingsStore::store(Entry value) {
  if (batchDepth_ > 0) {
    refresh();
    if (unreadable_) return false;
    pending_.put(std::move(value));
    return true;
  }
  pending_.clear();
  pending_.put(std::move(value));
  return writePending();
}

bool SettingsStore::flush() { return pending_.empty() || writePending(); }

// Under the lock: reads the file again, applies the pending values and replaces the file.
bool SettingsStore::writePending() {
  std::vector<Entry> changes = pending_.take();
  if (int err = MakeFolders(path_)) {
    setProblem("The settings cannot be saved: cannot create the folder of \"" + path_ + "\": " + std::strerror(err));
    return false;
  }
  FileLock lock(path_);
  if (lock.error()) {
    setProblem("The settings cannot be saved: cannot lock \"" + path_ + ".lock\": " + std::strerror(lock.error()));
    return false;
  }
  loaded_ = false;  // read again under the lock: what other instances wrote before we took it
  refresh();
  if (unreadable_) return false;
  for (auto& c : changes) entries_.put(std::move(c));
  FileResult r = WriteFileAtomically(path_, Serialize(entries_));
  if (!r) {
    loaded_ = false;  // read what is on disk at the next access
    setProblem("The settings cannot be saved: " + r.error);
    return false;
  }
  if (!problem_.empty()) setProblem({});
  stamp_ = stampNow();  // still under the lock: this is the file we wrote
  return true;
}

bool SettingsStore::writeInt(const std::string& name, std::int32_t value) {
  Entry e;
  e.name = name;
  e.isInt = true;
  e.number = value;
  return store(std::move(e));
}

bool SettingsStore::writeString(const std::string& name, const std::string& value) {
  Entry e;
  e.name = name;
  e.text = value;
  return store(std::move(e));
}

bool SettingsStore::Batch::finish() {
  if (done_) return ok_;
  done_ = true;
  if (--store_->batchDepth_ == 0) ok_ = store_->flush();
  return ok_;
}

}  // namespace platform
