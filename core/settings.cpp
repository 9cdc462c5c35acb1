#include "core/settings.h"

#include <memory>

#include "platform/settings_store.h"

namespace core {

namespace {

const char* const kRecent[4] = {"ParameterRecent1", "ParameterRecent2", "ParameterRecent3", "ParameterRecent4"};

struct Settings {
  std::unique_ptr<platform::SettingsStore> store;
  std::function<void(const std::string&)> reporter;
  int openBatches = 0;
};

Settings& Shared() {
  static Settings settings;
  return settings;
}

// The one store of the process, at the default place (it follows KVX_SETTINGS_DIR between
// batches, which the tests change).
platform::SettingsStore& Store() {
  Settings& s = Shared();
  if (!s.store || (s.openBatches == 0 && s.store->path() != platform::SettingsStore::DefaultPath())) {
    s.store = std::make_unique<platform::SettingsStore>(platform::SettingsStore::DefaultPath());
    s.store->setReporter(s.reporter);
  }
  return *s.store;
}

// Reads of many values look at the file once for them all (and keep to one store meanwhile).
class ReadingAll {
 public:
  ReadingAll() : view_(Store()) { ++Shared().openBatches; }
  ~ReadingAll() { --Shared().openBatches; }
  ReadingAll(const ReadingAll&) = delete;
  ReadingAll& operator=(const ReadingAll&) = delete;

 private:
  platform::SettingsStore::Snapshot view_;
};

}  // namespace

struct SettingsBatch::Open {
  explicit Open(platform::SettingsStore& store) : batch(store) {}
  platform::SettingsStore::Batch batch;
};

SettingsBatch::SettingsBatch() : open_(std::make_unique<Open>(Store())) { ++Shared().openBatches; }

SettingsBatch::~SettingsBatch() { Finish(); }

bool SettingsBatch::Finish() {
  if (!open_) return ok_;
  ok_ = open_->batch.finish();
  open_.reset();
  --Shared().openBatches;
  return ok_;
}

void SetSettingsReporter(std::function<void(const std::string& message)> reporter) {
  Settings& s = Shared();
  s.reporter = std::move(reporter);
  if (s.store) s.store->setReporter(s.reporter);
}

std::int32_t ReadSettingInt(const std::string& name) { return Store().readInt(name).value_or(0); }

std::string ReadSettingStr(const std::string& name) { return Store().readString(name).value_or(std::string()); }

bool WriteSettingInt(const std::string& name, std::int32_t value) { return Store().writeInt(name, value); }

bool WriteSettingStr(const std::string& name, const std::string& value) { return Store().writeString(name, value); }

std::array<std::string, 4> RecentFiles() {
  ReadingAll reading;
  std::array<std::string, 4> entries;
  for (int i = 0; i < 4; ++i) entries[i] = ReadSettingStr(kRecent[i]);
  return entries;
}

void AddRecentFile(const std::string& path) {
  SettingsBatch batch;
  const std::string first = ReadSettingStr(kRecent[0]);
  if (first == path) return;
  // A path already in the list changes places with the first entry.
  for (int i = 1; i < 4; ++i) {
    if (ReadSettingStr(kRecent[i]) == path) {
      WriteSettingStr(kRecent[0], path);
      WriteSettingStr(kRecent[i], first);
      return;
    }
  }
  auto entries = RecentFiles();
  WriteSettingStr(kRecent[0], path);
  for (int i = 1; i < 4; ++i) WriteSettingStr(kRecent[i], entries[i - 1]);
}

bool ReadStartupSettings(AppState& s) {
  ReadingAll reading;
  int port = ReadSettingInt("ParameterLinkPort");
  s.LinkPort = port >= 1 && port <= 16 ? port : 1;
  int baud = ReadSettingInt("ParameterLinkBaud");
  s.LinkBaud = baud == 4800 || baud == 9600 || baud == 19200 || baud == 38400 ? baud : 19200;
  int data = ReadSettingInt("ParameterLinkData");
  s.LinkDataBits = data == 7 || data == 8 ? data : 8;
  int parity = ReadSettingInt("ParameterLinkParity");
  s.LinkParity = parity == 'N' || parity == 'E' || parity == 'O' ? static_cast<char>(parity) : 'N';
  int stop = ReadSettingInt("ParameterLinkStop");
  s.LinkStopBits = stop == 1 || stop == 2 ? stop : 1;
  s.LinkStationList = ReadSettingStr("ParameterLinkStation");
  if (s.LinkStationList.empty()) s.LinkStationList = "254";
  s.WriteStationList = s.LinkStationList;
  int language = ReadSettingInt("ParameterLanguage");
  s.LanguageIndex = language >= 1 && language <= 4 ? language : 1;
  for (int n = 1; n <= kStationCount; ++n) s.StationTitles[n] = ReadSettingStr("ParameterStation" + std::to_string(n));
  return ReadSettingInt("ParameterOnline") == 1;
}

void SaveLinkSettings(const AppState& s) {
  SettingsBatch batch;
  WriteSettingInt("ParameterLinkPort", s.LinkPort);
  WriteSettingInt("ParameterLinkBaud", s.LinkBaud);
  WriteSettingInt("ParameterLinkData", s.LinkDataBits);
  WriteSettingInt("ParameterLinkParity", s.LinkParity);
  WriteSettingInt("ParameterLinkStop", s.LinkStopBits);
  WriteSettingStr("ParameterLinkStation", s.LinkStationList);
}

}  // namespace core
