#include "core/motor.h"

#include <algorithm>

#include "platform/little_endian.h"

namespace core {

namespace {
constexpr std::uint16_t kNoWord = 0xFFFF;

bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}
}  // namespace

std::uint16_t MotorWord(const MotorRecord& record, int word) {
  const auto at = static_cast<std::size_t>(2 * (word - 1));
  return platform::LoadLE16(record.data() + at);
}

void SetMotorWord(MotorRecord& record, int word, std::uint16_t value) {
  const auto at = static_cast<std::size_t>(2 * (word - 1));
  record[at] = static_cast<std::uint8_t>(value & 0xFF);
  record[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

MotorWords WordsOf(const MotorRecord& record) {
  MotorWords words{};
  for (int w = 1; w <= kMotorWords; ++w) words[static_cast<std::size_t>(w - 1)] = MotorWord(record, w);
  return words;
}

MotorRecord RecordOf(const MotorWords& words) {
  MotorRecord record{};
  for (int w = 1; w <= kMotorWords; ++w) SetMotorWord(record, w, words[static_cast<std::size_t>(w - 1)]);
  return record;
}

MotorRecord FreeMotorRecord() {
  MotorRecord record;
  record.fill(0xFF);
  return record;
}

bool MotorRecordFree(const MotorRecord& r) {
  return MotorWord(r, 1) == kNoWord && MotorWord(r, 2) == kNoWord && MotorWord(r, 3) == kNoWord;
}

bool MotorRecordInUse(const MotorRecord& r) {
  return MotorWord(r, 1) != kNoWord && MotorWord(r, 2) != kNoWord && MotorWord(r, 3) != kNoWord;
}

bool UsableMotorData(const MotorWords& words) {
  return words[0] != kNoWord && words[1] != kNoWord && words[2] != kNoWord;
}

int FirstFreeMotorRecord(const std::vector<MotorRecord>& records) {
  for (std::size_t i = 0; i < records.size(); ++i)
    if (MotorRecordFree(records[i])) return static_cast<int>(i);
  return -1;
}

std::string MotorCode(const MotorRecord& record) {
  std::string code;
  for (int w = kMotorCodeWord; w <= kMotorWords; ++w) {
    const std::uint16_t v = MotorWord(record, w);
    if (v == kNoWord) continue;
    code += static_cast<char>(v >> 8);
    code += static_cast<char>(v & 0xFF);
  }
  return std::string(Trimmed(code));
}

void SetMotorCodeField(MotorRecord& record, std::string_view field) {
  for (std::size_t k = 0; k < kMotorCodeLength / 2; ++k) {
    const auto high = static_cast<unsigned char>(2 * k < field.size() ? field[2 * k] : ' ');
    const auto low = static_cast<unsigned char>(2 * k + 1 < field.size() ? field[2 * k + 1] : ' ');
    SetMotorWord(record, kMotorCodeWord + static_cast<int>(k), static_cast<std::uint16_t>((high << 8) | low));
  }
}

bool AcceptMotorCode(std::string_view entry, const std::vector<MotorRecord>& records, std::string& field) {
  std::string code(Trimmed(entry));
  if (code.empty()) return false;
  for (char& c : code) {
    if (c < ' ' || c > '~') return false;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // "%10s": right-aligned in ten characters; a longer code keeps its first ten.
  std::string stored = code.size() < kMotorCodeLength ? std::string(kMotorCodeLength - code.size(), ' ') + code
                                                      : code.substr(0, kMotorCodeLength);
  const std::string shown(Trimmed(stored));
  for (const MotorRecord& r : records)
    if (MotorCode(r) == shown) return false;
  field = stored;
  return true;
}

std::string MotorFileName(const AppState& s, int model) {
  if (model < 1 || model > static_cast<int>(s.Models.size())) return std::string();
  return s.ProgramFolder + s.Models[static_cast<std::size_t>(model - 1)].name.str() + ".pmo";
}

bool LoadMotorTable(const std::string& path, int count, std::vector<MotorRecord>& records) {
  records.assign(static_cast<std::size_t>(std::max(count, 0)), FreeMotorRecord());
  if (records.empty()) return true;
  return LoadBlock(path, records.data(), records.size() * kMotorRecordSize);
}

FileResult SaveMotorTable(const std::string& path, const std::vector<MotorRecord>& records) {
  return SaveBlock(path, records.data(), records.size() * kMotorRecordSize);
}

}  // namespace core
