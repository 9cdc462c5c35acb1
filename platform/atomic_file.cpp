#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

FileResult WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
  if (path.empty()) return FileResult::Failure("No file name given");
  std::string tmpl = path + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return FileResult::Failure(Reason("Cannot create", path, errno));
  std::string tmp(name.data());

  // Keep the permissions of the file we replace; a new file gets the usual 0666 & ~umask.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }

  auto fail = [&](const char* what) {
    int err = errno;
    close(fd);
    unlink(tmp.c_str());
    return FileResult::Failure(Reason(what, path, err));
  };

  const char* p = static_cast<const char*>(data);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("Cannot write");
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) return fail("Cannot write");
  if (close(fd) != 0) {
    int err = errno;
    unlink(tmp.c_str());
    return FileResult::Failure(Reason("Cannot write", path, err));
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(tmp.c_str());
    return FileResult::Failure(Reason("Cannot replace", path, err));
  }
  // Make the rename itself durable.
  int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return {};
}

FileResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize) {
  bytes.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileResult::Failure(Reason("Cannot open", path, errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return FileResult::Failure("Not a regular file: \"" + path + "\"");
  }
  if (static_cast<unsigned long long>(st.st_size) > maxSize) {
    close(fd);
    return FileResult::Failure("File too large: \"" + path + "\"");
  }
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      return FileResult::Failure(Reason("Cannot read", path, err));
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > maxSize) {
      close(fd);
      return FileResult::Failure("File too large: \"" + path + "\"");
    }
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return {};
}

}  // namespace platform
