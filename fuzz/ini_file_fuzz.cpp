// The INI file reader over arbitrary bytes: reading never fails hard, and a value written into any
// file reads back exactly while the values of other names stay as they were.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/atomic_file.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A memory file system keeps the flushes of the atomic writes cheap.
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/kv_ini_fuzz_" + std::to_string(::getpid()) + ".ini";
  if (!platform::WriteFileAtomically(path, data, size)) return 0;
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
