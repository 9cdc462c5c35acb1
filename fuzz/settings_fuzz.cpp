// The settings file as any program or editor may leave it: read through the program's settings
// (every value within its accepted range), read name by name through the store, then a value
// written: the file that results must keep every other value and read the written one back.
// The files live in a private folder under /dev/shm (or TMPDIR) so that the atomic replace costs
// little; two folders take turns so that the program's one store starts afresh each time.
// The reads of each store are made in a snapshot (the file looked at once for them all), as the
// program reads its values at start.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common.h"
#include "core/settings.h"
#include "platform/case_fold.h"
#include "platform/settings_store.h"

namespace {

struct Folders {
  std::string dirs[2];
  Folders() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    for (auto& d : dirs) {
      std::string pattern = std::string(base) + "/kv-settings-fuzz-XXXXXX";
      if (!mkdtemp(pattern.data())) std::abort();
      d = pattern;
    }
    core::SetSettingsReporter([](const std::string&) {});
  }
};

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

struct Value {
  std::optional<std::int32_t> number;
  std::optional<std::string> text;
  bool operator==(const Value&) const = default;
};

Value Read(platform::SettingsStore& store, const std::string& name) {
  // A value is a number or a text, never both: a number found makes the text nothing.
  Value v{store.readInt(name), std::nullopt};
  if (!v.number) v.text = store.readString(name);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  static Folders folders;
  static unsigned turn = 0;
  const std::string& dir = folders.dirs[turn++ % 2];
  setenv("KVX_SETTINGS_DIR", dir.c_str(), 1);
  const std::string path = dir + "/settings";
  WriteFile(path, data, size);

  // The program's own reading: every value within its range, whatever the file holds. It
  // looks at the file once for each of its 265 names, so only every sixteenth input takes it.
  if (size % 16 == 0) {
    core::AppState state;
    (void)core::ReadStartupSettings(state);
    if (state.LinkPort < 1 || state.LinkPort > 16) __builtin_trap();
    if (state.LinkBaud != 4800 && state.LinkBaud != 9600 && state.LinkBaud != 19200 && state.LinkBaud != 38400)
      __builtin_trap();
    if (state.LinkDataBits != 7 && state.LinkDataBits != 8) __builtin_trap();
    if (state.LinkParity != 'N' && state.LinkParity != 'E' && state.LinkParity != 'O') __builtin_trap();
    if (state.LinkStopBits != 1 && state.LinkStopBits != 2) __builtin_trap();
    if (state.LinkStationList.empty() || state.LanguageIndex < 1 || state.LanguageIndex > 4) __builtin_trap();
    (void)core::RecentFiles();
  }

  // The names the lines give (the text before the first tab), and what they read as.
  std::vector<std::string> names;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = 0; at < text.size() && names.size() < 8;) {
    const std::size_t eol = std::min(text.find('\n', at), text.size());
    const std::size_t tab = text.find('\t', at);
    if (tab != std::string_view::npos && tab > at && tab < eol) names.emplace_back(text.substr(at, tab - at));
    at = eol + 1;
  }
  platform::SettingsStore before(path);
  before.setReporter([](const std::string&) {});
  std::vector<Value> values;
  {
    platform::SettingsStore::Snapshot view(before);
    for (const auto& n : names) values.push_back(Read(before, n));
  }

  // One value written (a text with every escaped character, or a number) under the first
  // name, or a new one when there is none (or the first is a comment line's).
  const std::string written = names.empty() || names[0][0] == '#' ? std::string("FuzzWritten") : names[0];
  const bool asNumber = size % 2 == 1;
  const std::string writtenText = "a\\b\tc\nd\re" + std::string(text.substr(0, std::min<std::size_t>(size, 16)));
  const bool ok = asNumber ? before.writeInt(written, static_cast<std::int32_t>(size) - 2000)
                           : before.writeString(written, writtenText);
  if (!ok) __builtin_trap();

  platform::SettingsStore after(path);
  after.setReporter([](const std::string&) {});
  const Value expected = asNumber ? Value{static_cast<std::int32_t>(size) - 2000, std::nullopt}
                                  : Value{std::nullopt, writtenText};
  platform::SettingsStore::Snapshot view(after);
  if (!(Read(after, written) == expected)) __builtin_trap();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (platform::SameAsciiName(names[i], written)) continue;
    if (!(Read(after, names[i]) == values[i])) __builtin_trap();
  }
  return 0;
}
