// Writing a whole file so that a failure never leaves a damaged file behind: the bytes go to a
// temporary file in the target's folder, which is flushed to disk and renamed over the target
// only when it is complete.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

struct FileResult {
  bool ok = true;
  std::string error;  // what went wrong, with the path and the system's reason
  explicit operator bool() const { return ok; }
  static FileResult Failure(std::string message) { return {false, std::move(message)}; }
};

// Replaces (or creates) the file at path with the given bytes, atomically.
FileResult WriteFileAtomically(const std::string& path, const void* data, std::size_t size);
inline FileResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  return WriteFileAtomically(path, bytes.data(), bytes.size());
}

// Reads a whole file; fails when it cannot be opened or read, or is larger than maxSize.
FileResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize);

}  // namespace platform
