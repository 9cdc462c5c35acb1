// The program's persistent settings: named integer and text values under one key, kept in a
// small text file of our own. Names compare without regard to letter case.
//
// The file is read once and read again only when it changed on disk (another running instance
// wrote it: its inode, size or times differ). A write takes an exclusive lock (flock on "<file>.lock" beside it), reads the file
// again under the lock, applies the changes and atomically replaces the file, so two running
// instances never lose each other's values. Writes made while a Batch is open are kept and
// written together, once, when the outermost batch ends. Reads made while a Snapshot is open
// look at the file once for them all (a program reading its many values at start); the first
// read after the outermost snapshot ends looks again.
//
// A missing file reads as empty and damaged lines are skipped (what can be read is used). A file
// that exists but cannot be read (no permission, over the size limit, not a plain file) is never
// replaced: every write is refused until it can be read again, and the problem is reported
// once through the reporter.
//
// File: $KVX_SETTINGS_DIR/settings when that variable is set, else
// $XDG_CONFIG_HOME/KVX/settings, else ~/.config/KVX/settings. One value per line:
//   <name> TAB int TAB <decimal 32-bit integer>
//   <name> TAB str TAB <text, with \\ \t \n \r escaped>
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class SettingsStore {
 public:
  // The path of the store at the default place (see above).
  static std::string DefaultPath();
  // The store at the default place.
  static SettingsStore Default() { return SettingsStore(DefaultPath()); }
  explicit SettingsStore(std::string filePath) : path_(std::move(filePath)) {}

  const std::string& path() const { return path_; }

  // A value that is missing, or stored with the other type, reads as nothing. Values written
  // in an open batch read back at once.
  std::optional<std::int32_t> readInt(const std::string& name);
  std::optional<std::string> readString(const std::string& name);

  // Outside a batch: writes the file and returns false (leaving the old file whole) when it
  // cannot be written. In a batch: keeps the value for the batch's end (false only when the
  // file is already known to be unreadable).
  bool writeInt(const std::string& name, std::int32_t value);
  bool writeString(const std::string& name, const std::string& value);

  // Writes the values kept by an open batch now. False when they could not be stored (they
  // are then dropped).
  bool flush();

  // Collects the writes made while it lives and writes them once at its end (nested batches
  // write at the end of the outermost one). finish() ends it early and tells the outcome.
  class Batch {
   public:
    explicit Batch(SettingsStore& store) : store_(&store) { ++store_->batchDepth_; }
    ~Batch() { finish(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    bool finish();

   private:
    SettingsStore* store_;
    bool done_ = false;
    bool ok_ = true;
  };

  // Reads made while it lives see the file as the first of them found it: the file is looked at
  // once, not once for each name. A write still reads the file again under its lock.
  class Snapshot {
   public:
    explicit Snapshot(SettingsStore& store) : store_(&store) { ++store_->snapshotDepth_; }
    ~Snapshot() {
      if (--store_->snapshotDepth_ == 0) store_->snapshotSeen_ = false;
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

   private:
    SettingsStore* store_;
  };

  // Receives the one message about a file that cannot be read or written; by default it goes
  // to standard error.
  using Reporter = std::function<void(const std::string& message)>;
  void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }
  // What is wrong with the file now (empty when nothing is).
  const std::string& problem() const { return problem_; }

  struct Entry {
    std::string name;
    bool isInt = false;
    std::int32_t number = 0;
    std::string text;
  };

 private:
  struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec changed{};
    timespec statusChanged{};
    bool operator==(const Stamp& o) const;
  };

  // Entries in file order with an index by name without regard to case, so that finding and
  // putting a value cost the same for ten entries and for ten thousand.
  class EntryTable {
   public:
    const Entry* find(std::string_view name) const;
    // Puts value in place of the entry of the same name (keeping the spelling the value was
    // first stored with), or appends it.
    void put(Entry value);
    // Appends value and drops an earlier entry of the same name (the file's later line wins).
    void putLast(Entry value);
    void clear();
    bool empty() const { return live_ == 0; }
    // The entries in order (dropped ones left out); empties the table.
    std::vector<Entry> take();
    template <typename F>
    void forEach(F f) const {
      for (const auto& e : items_)
        if (!e.name.empty()) f(e);
    }

   private:
    // Keys are names with A-Z folded to a-z; a name is looked up as it is spelled, without
    // making its folded copy.
    struct FoldedHash {
      using is_transparent = void;
      std::size_t operator()(std::string_view name) const;
    };
    struct FoldedEqual {
      using is_transparent = void;
      bool operator()(std::string_view a, std::string_view b) const;
    };
    std::vector<Entry> items_;  // a dropped entry keeps its slot with an empty name
    std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> index_;
    std::size_t live_ = 0;
  };

  Stamp stampNow() const;
  void refresh();
  bool load(const Stamp& stamp);
  bool store(Entry value);
  bool writePending();
  void setProblem(std::string message);
  const Entry* find(const std::string& name);

  std::string path_;
  bool loaded_ = false;
  Stamp stamp_;
  EntryTable entries_;   // as last read from the file
  EntryTable pending_;   // written in the open batch, not yet stored
  int batchDepth_ = 0;
  int snapshotDepth_ = 0;
  bool snapshotSeen_ = false;  // the open snapshot has looked at the file
  bool unreadable_ = false;      // a file is there that cannot be read: writes are refused
  std::string problem_;
  bool reported_ = false;
  Reporter reporter_;
};

}  // namespace platform
