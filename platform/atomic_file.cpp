#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>

namespace platform {

namespace {

std::atomic<FileStepWords> stepWords{nullptr};

std::string EnglishWords(FileStep step) {
  switch (step) {
    case FileStep::Create: return "Cannot create";
    case FileStep::Write: return "Cannot write";
    case FileStep::Replace: return "Cannot replace";
    case FileStep::FlushFolder: return "Cannot flush the folder of";
    case FileStep::Open: return "Cannot open";
    case FileStep::Read: return "Cannot read";
    case FileStep::NoFileName: return "No file name given";
    case FileStep::NotRegularFile: return "Not a regular file:";
    case FileStep::TooLarge: return "File too large:";
  }
  return "Cannot write";
}

std::string Reason(FileStep step, const std::string& path, int err) {
  return WordsFor(step) + " \"" + path + "\": " + std::strerror(err);
}

// A failure the system gives no reason for.
std::string Named(FileStep step, const std::string& path) { return WordsFor(step) + " \"" + path + "\""; }

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 8;

// A short name, so that the temporary file fits wherever a legal target name fits.
std::string TemporaryName(const std::string& folder) {
  thread_local std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(getpid())};
  std::string name = folder + "/.kv";
  for (std::size_t i = 0; i < kRandomLetters; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name + ".tmp";
}

bool IsTemporaryName(const char* name) {
  const std::size_t n = std::strlen(name);
  if (n != 3 + kRandomLetters + 4 || std::strncmp(name, ".kv", 3) != 0 || std::strcmp(name + n - 4, ".tmp") != 0)
    return false;
  for (std::size_t i = 3; i < 3 + kRandomLetters; ++i)
    if (std::strchr(kLetters, name[i]) == nullptr || name[i] == '\0') return false;
  return true;
}

}  // namespace

void SetFileStepWords(FileStepWords words) { stepWords.store(words); }

std::string WordsFor(FileStep step) {
  const FileStepWords words = stepWords.load();
  return words ? words(step) : EnglishWords(step);
}

std::string FinalTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buffer[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) return current;
    std::string next(buffer, static_cast<std::size_t>(n));
    current = next.front() == '/' ? next : FolderOf(current) + "/" + next;
  }
  return {};
}

void RemoveStaleTemporaries(const std::string& folder, int minAgeSeconds) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (dirent* entry = readdir(dir)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    const std::string path = folder + "/" + entry->d_name;
    // No links, nothing but plain files, only our own and only old ones.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    const bool stale = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
                       now - st.st_mtime >= minAgeSeconds;
    // A save in progress holds a lock on its temporary file.
    if (stale && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      struct stat again {};
      if (lstat(path.c_str(), &again) == 0 && again.st_ino == st.st_ino && again.st_dev == st.st_dev)
        unlink(path.c_str());
    }
    close(fd);
  }
  closedir(dir);
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  if (path_.empty() || path_.back() == '/') {
    error_ = WordsFor(FileStep::NoFileName);
    return;
  }
  std::string target = FinalTarget(path_);
  if (target.empty()) {
    Fail(FileStep::Create, ELOOP);
    return;
  }
  path_ = std::move(target);
  const std::string folder = FolderOf(path_);
  RemoveStaleTemporaries(folder, kStaleTemporarySeconds);
  int err = 0;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TemporaryName(folder);
    // 0666 less the umask, as for any new file.
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    err = errno;
    if (fd_ < 0 && err != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    Fail(FileStep::Create, err);
    return;
  }
  // Held until the file is closed: tells a later save's clean-up that this one is alive.
  flock(fd_, LOCK_EX | LOCK_NB);
  // A replaced file keeps its permissions (and its group where we may set it).
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    struct stat own {};
    if (fstat(fd_, &own) == 0 && own.st_gid != st.st_gid && fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {
      // Another group cannot be given: keep the group's bits off rather than widen access.
      st.st_mode &= ~static_cast<mode_t>(S_IRWXG);
    }
    if (fchmod(fd_, st.st_mode & 07777) != 0) Fail(FileStep::Create, errno);
  }
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Fail(FileStep step, int err) {
  if (error_.empty()) error_ = Reason(step, path_, err);
  Discard();
}

void AtomicFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

bool AtomicFile::Write(const void* data, std::size_t size) {
  if (!Good()) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(FileStep::Write, n < 0 ? errno : ENOSPC);
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

FileResult AtomicFile::Prepare() {
  if (prepared_) return {};
  if (!Good()) {
    Discard();
    return FileResult::Failure(error_.empty() ? Reason(FileStep::Write, path_, EBADF) : error_);
  }
  if (fsync(fd_) != 0) {
    Fail(FileStep::Write, errno);
    return FileResult::Failure(error_);
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    Fail(FileStep::Write, errno);
    return FileResult::Failure(error_);
  }
  prepared_ = true;
  return {};
}

FileResult AtomicFile::Commit() {
  if (FileResult prepared = Prepare(); !prepared) return prepared;
  prepared_ = false;
  if (rename(temp_.c_str(), path_.c_str()) != 0) {
    Fail(FileStep::Replace, errno);
    return FileResult::Failure(error_);
  }
  temp_.clear();
  // Make the rename itself durable.
  int dir = open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return FileResult::Failure(Reason(FileStep::FlushFolder, path_, errno));
  const int synced = fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
  close(dir);
  if (synced != 0) return FileResult::Failure(Reason(FileStep::FlushFolder, path_, synced));
  return {};
}

FileResult WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
  AtomicFile file(path);
  file.Write(data, size);
  return file.Commit();
}

namespace {

// Reads straight into the caller's buffer, sized from the file first: no copy of the bytes
// and no regrowth for a file that does not change while it is read.
template <typename Bytes>
FileResult ReadWholeFileInto(const std::string& path, Bytes& bytes, std::size_t maxSize) {
  bytes.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    return FileResult::Failure(Reason(FileStep::Open, path, err), err);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return FileResult::Failure(Named(FileStep::NotRegularFile, path), EISDIR);
  }
  if (static_cast<unsigned long long>(st.st_size) > maxSize) {
    close(fd);
    return FileResult::Failure(Named(FileStep::TooLarge, path), EFBIG);
  }
  // The size first, then whatever the file grew by meanwhile.
  std::size_t used = 0;
  bytes.resize(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const bool direct = used < bytes.size();
    ssize_t n = direct ? read(fd, bytes.data() + used, bytes.size() - used) : read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      bytes.clear();
      return FileResult::Failure(Reason(FileStep::Read, path, err), err);
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxSize - used) {
      close(fd);
      bytes.clear();
      return FileResult::Failure(Named(FileStep::TooLarge, path), EFBIG);
    }
    if (!direct) bytes.insert(bytes.end(), buf, buf + n);
    used += static_cast<std::size_t>(n);
  }
  close(fd);
  bytes.resize(used);
  return {};
}

}  // namespace

FileResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize) {
  return ReadWholeFileInto(path, bytes, maxSize);
}

FileResult ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t maxSize) {
  return ReadWholeFileInto(path, bytes, maxSize);
}

}  // namespace platform
