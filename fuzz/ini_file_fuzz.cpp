// The INI file reader over arbitrary bytes: reading never fails hard, and a value written into any
// file reads back exactly while the values of other names stay as they were.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A memory file system keeps the flushes of the atomic writes cheap.
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/kv_ini_fuzz_" + std::to_string(::getpid()) + ".ini";
  if (size > 4096) return 0;
  // The input goes in with a plain write (an atomic replace with its flushes would cost more
  // than the reading); the value written below goes through the INI file's own atomic write.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  const bool whole = ::write(fd, data, size) == static_cast<ssize_t>(size);
  ::close(fd);
  if (!whole) return 0;
  platform::IniFile ini(path);
  const auto before = ini.readString("Profile", "other");
  ini.readString("", "");
  if (ini.writeString("Profile", "speedField", "$42 kg")) {
    if (ini.readString("profile", "SPEEDFIELD") != std::optional<std::string>("$42 kg")) __builtin_trap();
    if (ini.readString("Profile", "other") != before) __builtin_trap();
  }
  std::remove(path.c_str());
  return 0;
}
