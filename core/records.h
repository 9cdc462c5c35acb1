// Records shared by the whole program: drive models, parameter definitions, monitor items,
// comparison lines and the heads of the two document files.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace core {

constexpr int kLanguages = 4;
constexpr int kMaxDocumentRecords = 500;

// A length-prefixed 8-bit text with room for N characters. Longer texts are cut to their
// first N characters when stored.
template <std::size_t N>
class ShortText {
 public:
  static constexpr std::size_t kCapacity = N;

  ShortText() = default;
  ShortText(std::string_view text) { assign(text); }  // NOLINT: implicit on purpose
  ShortText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void assign(std::string_view text) {
    length_ = static_cast<std::uint8_t>(text.size() < N ? text.size() : N);
    std::memcpy(chars_.data(), text.data(), length_);
  }
  std::string str() const { return std::string(chars_.data(), length_); }
  std::string_view view() const { return std::string_view(chars_.data(), length_); }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

  friend bool operator==(const ShortText& a, const ShortText& b) { return a.view() == b.view(); }
  friend bool operator==(const ShortText& a, std::string_view b) { return a.view() == b; }

 private:
  static_assert(N <= 255, "a short text's length must fit its length byte");
  std::uint8_t length_ = 0;
  std::array<char, N> chars_{};
};

// Type letters of parameters and monitor items.
namespace ParameterType {
constexpr char Coil = 'B';          // coil
constexpr char Holding16 = 'W';     // one holding register (any unknown letter reads as W)
constexpr char Holding32 = 'L';     // two holding registers, low word first
constexpr char HoldingFloat = 'F';  // two holding registers holding an IEEE single, low word first
constexpr char InputSigned = 'X';   // one input register, signed
constexpr char InputUnsigned = 'J'; // one input register, unsigned
constexpr char Input32 = 'M';       // two input registers, signed 32 bits
constexpr char InputFloat = 'G';    // two input registers holding an IEEE single
constexpr std::string_view kLetters = "BFGIJLMWX";
inline bool IsValid(char c) { return c != 0 && kLetters.find(c) != std::string_view::npos; }
}  // namespace ParameterType

// One monitor entry. Type letter 0 marks an empty slot; lists end at the first empty slot.
struct MonitorItem {
  char type = 0;
  std::uint8_t decimals = 0;
  std::uint16_t reg = 0;  // register address; the bit number for the bit items that keep it
  std::array<ShortText<80>, kLanguages> labels{};

  bool empty() const { return type == 0; }
};

using LangTexts = std::array<std::string, kLanguages>;

// One drive model as the configuration file defines it.
struct smod {
  ShortText<80> name;
  std::array<LangTexts, 8> info{};
  std::array<std::string, 9> groupIds{};
  std::array<LangTexts, 9> groupNames{};
  std::array<LangTexts, 9> pageNames{};
  std::array<std::string, 4> passwords{};  // level 1..4, upper case
  int groupCount = 0;
  int pageCount = 0;
  int infoCount = 0;
  int passwordCount = 0;

  MonitorItem levelPassword;
  MonitorItem firmwareId;
  MonitorItem encoderId;
  std::array<MonitorItem, 4> speeds{};
  std::array<MonitorItem, 4> positions{};
  MonitorItem connectionType;
  std::array<MonitorItem, 3> status{};
  std::array<MonitorItem, 8> commandButtons{};
  std::array<MonitorItem, 20> monitorValues{};
  std::array<MonitorItem, 50> advanced{};
  MonitorItem regA, regI, regIF, regO, regS;
  std::array<MonitorItem, 16> alarmBits{};
  std::array<MonitorItem, 8> inputBits{};
  std::array<MonitorItem, 8> outputBits{};
  std::array<MonitorItem, 16> statusBits{};
  std::array<MonitorItem, 16> alarmBits2{};
  std::array<MonitorItem, 8> inputBits2{};
  std::array<MonitorItem, 8> outputBits2{};
  std::array<MonitorItem, 16> statusBits2{};
  std::array<MonitorItem, 50> parameters{};
  std::array<MonitorItem, 51> errors{};  // the error item, then 50 slots no key fills
  MonitorItem reset;

  // Motor data table (keys MOTOR, MOTPASW and MOTCOL); a model without a MOTOR line has none.
  // A column's `reg` is the word index 1..16 of the motor record it shows.
  int motorRegister = 0;
  int motorRecordCount = 0;
  std::string motorPassword;
  std::array<MonitorItem, 16> motorColumns{};
};

// One parameter: a definition, a document line or a read-back line (896 bytes in a .par file).
struct ParameterDefinition {
  char type = 0;
  std::int32_t reg = 0;
  std::int32_t editable = 0;
  std::int32_t transferGroup = 0;
  std::int32_t displayGroup = 0;
  std::int32_t accessLevel = 0;
  std::int32_t decimals = 0;
  float minimum = 0;
  float maximum = 0;
  float defaultValue = 0;
  float value = 0;
  std::int32_t model = 0;
  ShortText<20> code;
  ShortText<20> unit;
  std::array<ShortText<200>, kLanguages> descriptions{};
};

// One line of a comparison (876 bytes in a .cmp file). An absent value is NaN.
struct CompareRecord {
  std::int32_t transferGroup = 0;
  std::int32_t displayGroup = 0;
  std::int32_t decimals = 0;
  float defaultValue = 0;
  std::array<float, 3> values{};
  ShortText<20> code;
  ShortText<20> unit;
  std::array<ShortText<200>, kLanguages> descriptions{};
};

// Which of the display groups 1 to 9 the lines (parameter lines or comparison lines) use: [g - 1].
template <typename Lines>
std::array<bool, 9> DisplayGroupsUsed(const Lines& lines) {
  std::array<bool, 9> used{};
  for (const auto& line : lines)
    if (line.displayGroup >= 1 && line.displayGroup <= 9) used[static_cast<std::size_t>(line.displayGroup - 1)] = true;
  return used;
}

// The NaN that marks an absent compare value (bit pattern 0xFFC00000).
float AbsentValue();
inline bool IsAbsent(float v) { return v != v; }

struct ParameterFileHeader {
  std::uint16_t recordCount = 0;
  std::uint32_t model = 0;
  ShortText<80> modelName;
};

enum CompareKind : std::uint8_t { DriveWithDefaults = 0, FileWithFile = 1, FilesWithDefaults = 2 };

struct CompareFileHeader {
  std::uint8_t kind = 0;
  std::uint8_t station = 0;
  std::uint16_t recordCount = 0;
  std::uint32_t model = 0;
  ShortText<80> modelName;
  std::array<ShortText<200>, 3> fileNames{};
};

// A 32-byte record of a model's motor data table.
using MotorRecord = std::array<std::uint8_t, 32>;

}  // namespace core
