#include "core/config.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"

namespace core {

namespace {

constexpr std::size_t kMaxConfigurationFile = 256 * 1024 * 1024;

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "W1234": a known type letter and a register 0..65535.
bool ParseRegister(const std::string& field, char& type, std::int32_t& reg) {
  if (field.empty() || !ParameterType::IsValid(field[0])) return false;
  std::int32_t n = 0;
  if (!ParseConfigInt(std::string_view(field).substr(1), n)) return false;
  if (n < 0 || n > 0xFFFF) return false;
  type = field[0];
  reg = n;
  return true;
}

void SetLabels(MonitorItem& item, const ConfigFields& f, std::size_t first) {
  for (std::size_t l = 0; l < kLanguages; ++l) item.labels[l] = f[first + l];
}

// f1 register, f2 decimals, f3..f6 labels (f3 needed).
bool RegisterItem(const ConfigFields& f, MonitorItem& out) {
  char type;
  std::int32_t reg, decimals;
  if (!ParseRegister(f[0], type, reg)) return false;
  if (!ParseConfigInt(f[1], decimals)) return false;
  if (f[2].empty()) return false;
  MonitorItem item;
  item.type = type;
  item.reg = static_cast<std::uint16_t>(reg);
  item.decimals = static_cast<std::uint8_t>(decimals & 0xFF);
  SetLabels(item, f, 2);
  out = item;
  return true;
}

// f1 register, f3..f6 labels that may be empty; f2 is not read.
bool RegisterLabelsItem(const ConfigFields& f, MonitorItem& out) {
  char type;
  std::int32_t reg;
  if (!ParseRegister(f[0], type, reg)) return false;
  MonitorItem item;
  item.type = type;
  item.reg = static_cast<std::uint16_t>(reg);
  SetLabels(item, f, 2);
  out = item;
  return true;
}

// f1 bit number within 1..maxBit, f2..f5 labels (f2 needed).
bool BitItem(const ConfigFields& f, int maxBit, MonitorItem& out, int& bit) {
  std::int32_t n;
  if (!ParseConfigInt(f[0], n) || n < 1 || n > maxBit) return false;
  if (f[1].empty()) return false;
  MonitorItem item;
  item.type = ParameterType::Coil;
  SetLabels(item, f, 1);
  out = item;
  bit = n;
  return true;
}

struct Loader {
  AppState& s;
  smod* model = nullptr;  // the current model
  int advancedPos = 0, parameterPos = 0, statusPos = 0, status2Pos = 0, motorColumnPos = 0;

  void newModel(const std::string& name) {
    s.Models.emplace_back();
    s.ParamCountPerModel.push_back(0);
    s.ModelCount = static_cast<int>(s.Models.size());
    model = &s.Models.back();
    model->name = name;
    advancedPos = parameterPos = statusPos = status2Pos = motorColumnPos = 0;
  }

  template <std::size_t N>
  void bitTable(const ConfigFields& f, std::array<MonitorItem, N>& table) {
    MonitorItem item;
    int bit;
    if (BitItem(f, static_cast<int>(N), item, bit)) table[static_cast<std::size_t>(bit - 1)] = item;
  }

  template <std::size_t N>
  void bitList(const ConfigFields& f, std::array<MonitorItem, N>& list, int& pos) {
    MonitorItem item;
    int bit;
    if (pos >= static_cast<int>(N) || !BitItem(f, 16, item, bit)) return;
    item.reg = static_cast<std::uint16_t>(bit);
    list[static_cast<std::size_t>(pos++)] = item;
  }

  template <std::size_t N>
  void registerList(const ConfigFields& f, std::array<MonitorItem, N>& list, int& pos) {
    if (pos >= static_cast<int>(N)) return;
    if (RegisterItem(f, list[static_cast<std::size_t>(pos)])) ++pos;
  }

  void statusBit(const ConfigFields& f, MonitorItem& slot) {
    MonitorItem item;
    int bit;
    if (!BitItem(f, 16, item, bit)) return;
    item.reg = static_cast<std::uint16_t>(bit);
    slot = item;
  }

  void parameter(const ConfigFields& f) {
    ParameterDefinition d;
    char type;
    std::int32_t reg;
    if (f[0].empty() || f[1].empty() || !ParseRegister(f[1], type, reg)) return;
    if (!ParseConfigInt(f[2], d.editable) || !ParseConfigInt(f[3], d.transferGroup) ||
        !ParseConfigInt(f[4], d.displayGroup) || !ParseConfigInt(f[5], d.accessLevel))
      return;
    if (!ParseConfigFloat(f[6], d.minimum) || !ParseConfigFloat(f[7], d.maximum) ||
        !ParseConfigFloat(f[8], d.defaultValue))
      return;
    if (f[10].empty()) return;
    d.type = type;
    d.reg = reg;
    d.decimals = CountDecimals(f[6], f[7], f[8]);
    d.value = 0;
    d.model = s.ModelCount;
    d.code = f[0];
    d.unit = f[9];
    for (std::size_t l = 0; l < kLanguages; ++l) d.descriptions[l] = f[10 + l];
    s.ParamDefs.push_back(d);
    s.ParamCount = static_cast<int>(s.ParamDefs.size());
    ++s.ParamCountPerModel.back();
  }

  // [MOTOR=first register;record count]: the model's motor data table. The drive's current
  // motor data (16 registers) follow the table's registers, so all of them must fit below 65536.
  void motorTable(const ConfigFields& f, smod& m) {
    std::int32_t reg, count;
    if (!ParseConfigInt(f[0], reg) || !ParseConfigInt(f[1], count)) return;
    if (reg < 1 || count < 1 || count > kMaxMotorRecords || reg + count + 16 > 0x10000) return;
    m.motorRegister = reg;
    m.motorRecordCount = count;
  }

  // [MOTCOL=word index 1..16;decimals;title;title;title;title]: the next column of the motor
  // table window, in file order (16 at most).
  void motorColumn(const ConfigFields& f, smod& m) {
    std::int32_t word, decimals;
    if (motorColumnPos >= static_cast<int>(m.motorColumns.size())) return;
    if (!ParseConfigInt(f[0], word) || word < 1 || word > 16) return;
    if (!ParseConfigInt(f[1], decimals) || decimals < 0 || decimals > 8 || f[2].empty()) return;
    MonitorItem item;
    item.type = ParameterType::Holding16;
    item.reg = static_cast<std::uint16_t>(word);
    item.decimals = static_cast<std::uint8_t>(decimals);
    SetLabels(item, f, 2);
    m.motorColumns[static_cast<std::size_t>(motorColumnPos++)] = item;
  }

  // One line of the file.
  void line(std::string_view raw) {
    std::string text(Trim(raw));
    for (char& c : text) c = static_cast<char>(static_cast<unsigned char>(c) & 0x7F);
    if (text.empty() || text[0] != '[') return;
    auto close = text.find(']');
    if (close == std::string::npos || close < 2) return;  // "]" at position 3 or later
    std::string_view body = std::string_view(text).substr(1);
    auto is = [&](std::string_view key) { return body.substr(0, key.size()) == key; };
    ConfigFields f;
    auto fields = [&]() -> const ConfigFields& { return f = SplitFields(text); };

    // Keys that need no model.
    if (is("MODEL=")) {
      if (!fields()[0].empty()) newModel(f[0]);
      return;
    }
    if (is("PRINT2=ON")) {
      s.Print2Enabled = true;
      return;
    }
    static constexpr std::string_view kAppKeys[] = {"APPTIT=", "APPINF=", "APPCOP=", "APPURL="};
    std::string* appTexts[] = {&s.AppTitle, &s.AppInfo, &s.AppNotice, &s.AppURL};
    for (std::size_t i = 0; i < 4; ++i) {
      if (is(kAppKeys[i])) {
        if (!fields()[0].empty()) *appTexts[i] = f[0];
        return;
      }
    }
    if (is("LANGID=")) {
      std::int32_t id;
      fields();
      if (!ParseConfigInt(f[0], id) || id < 1 || id > kMessageCount || f[1].empty()) return;
      for (std::size_t l = 0; l < kLanguages; ++l) s.LangTable[static_cast<std::size_t>(id - 1)][l] = f[1 + l];
      return;
    }

    if (!model) return;  // every other key belongs to a model
    smod& m = *model;
    fields();

    if (is("INFO=")) {
      if (f[0].empty() || m.infoCount >= 8) return;
      for (std::size_t l = 0; l < kLanguages; ++l) m.info[static_cast<std::size_t>(m.infoCount)][l] = f[l];
      ++m.infoCount;
    } else if (is("GROUP=")) {
      if (f[0].empty() || f[1].empty() || m.groupCount >= 9) return;
      auto g = static_cast<std::size_t>(m.groupCount);
      m.groupIds[g] = f[0];
      for (std::size_t l = 0; l < kLanguages; ++l) m.groupNames[g][l] = f[1 + l];
      ++m.groupCount;
    } else if (is("PAGE=")) {
      if (f[0].empty() || m.pageCount >= 9) return;
      for (std::size_t l = 0; l < kLanguages; ++l) m.pageNames[static_cast<std::size_t>(m.pageCount)][l] = f[l];
      ++m.pageCount;
    } else if (is("PASSW=")) {
      if (f[0].empty() || m.passwordCount >= 4) return;
      m.passwords[static_cast<std::size_t>(m.passwordCount++)] = Upper(Trim(f[0]));
    } else if (is("PAR=")) {
      parameter(f);
    } else if (is("LEVPASW=")) {
      RegisterItem(f, m.levelPassword);
    } else if (is("MONIDFIR=")) {
      RegisterItem(f, m.firmwareId);
    } else if (is("MONIDENC=")) {
      RegisterItem(f, m.encoderId);
    } else if (body.size() > 10 && is("MONSPEED") && body[9] == '=' && body[8] >= '1' && body[8] <= '4') {
      RegisterItem(f, m.speeds[static_cast<std::size_t>(body[8] - '1')]);
    } else if (body.size() > 8 && is("MONPOS") && body[7] == '=' && body[6] >= '1' && body[6] <= '4') {
      RegisterItem(f, m.positions[static_cast<std::size_t>(body[6] - '1')]);
    } else if (is("MONCONTYP=")) {
      RegisterItem(f, m.connectionType);
    } else if (is("MONADV=")) {
      registerList(f, m.advanced, advancedPos);
    } else if (is("MONREGA=")) {
      RegisterLabelsItem(f, m.regA);
    } else if (is("MONREGI=")) {
      RegisterLabelsItem(f, m.regI);
    } else if (is("MONREGIF=")) {
      RegisterLabelsItem(f, m.regIF);
    } else if (is("MONREGO=")) {
      RegisterLabelsItem(f, m.regO);
    } else if (is("MONREGS=")) {
      RegisterLabelsItem(f, m.regS);
    } else if (is("MONALM=")) {
      bitTable(f, m.alarmBits);
    } else if (is("MONINP=")) {
      bitTable(f, m.inputBits);
    } else if (is("MONOUT=")) {
      bitTable(f, m.outputBits);
    } else if (is("MONSTS=")) {
      bitList(f, m.statusBits, statusPos);
    } else if (is("MONALMH=")) {
      bitTable(f, m.alarmBits2);
    } else if (is("MONINPH=")) {
      bitTable(f, m.inputBits2);
    } else if (is("MONOUTH=")) {
      bitTable(f, m.outputBits2);
    } else if (is("MONSTSH=")) {
      bitList(f, m.statusBits2, status2Pos);
    } else if (is("MONSTAT1=")) {
      statusBit(f, m.status[0]);
    } else if (is("MONSTAT2=")) {
      statusBit(f, m.status[1]);
    } else if (is("MONSTAT3=")) {
      RegisterItem(f, m.status[2]);
    } else if (body.size() > 9 && is("MONCBUT") && body[8] == '=' && body[7] >= '1' && body[7] <= '8') {
      RegisterItem(f, m.commandButtons[static_cast<std::size_t>(body[7] - '1')]);
    } else if (body.size() > 8 && is("MONMON") && body[7] == '=' && body[6] >= '1' && body[6] <= '7') {
      RegisterItem(f, m.monitorValues[static_cast<std::size_t>(body[6] - '1')]);
    } else if (is("MONPAR=")) {
      registerList(f, m.parameters, parameterPos);
    } else if (is("MONERROR=")) {
      char type;
      std::int32_t reg;
      if (!ParseRegister(f[0], type, reg)) return;
      m.errors[0] = MonitorItem{};
      m.errors[0].type = type;
      m.errors[0].reg = static_cast<std::uint16_t>(reg);
    } else if (is("MONRESET=")) {
      RegisterLabelsItem(f, m.reset);
    } else if (is("MOTOR=")) {
      motorTable(f, m);
    } else if (is("MOTPASW=")) {
      m.motorPassword = Upper(Trim(f[0]));
    } else if (is("MOTCOL=")) {
      motorColumn(f, m);
    }
  }
};

void StartLoad(AppState& s) {
  s.AppTitle = "Quorvane 1.00";
  s.AppInfo = "Kestravel ZTL Manager";
  s.AppNotice = "Copyright (C) Kestravel Drives. All rights reserved.";
  s.AppURL = "https://www.kestravel.example/";
  s.ModelCount = 0;
  s.ParamCount = 0;
  s.Models.clear();
  s.ParamDefs.clear();
  s.ParamCountPerModel.clear();
  s.Document.clear();
}

}  // namespace

bool ParseConfigInt(std::string_view text, std::int32_t& out) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  text.remove_prefix(i);
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (text.empty() || text[0] == '-') return false;
  }
  std::int32_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  out = v;
  return true;
}

bool ParseConfigFloat(std::string_view text, float& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return false;
  }
  if (text.empty()) return false;
  // Only digits, one point, and an exponent with an optional sign.
  std::size_t i = 0;
  if (text[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != text.size()) return false;
  // Straight to the nearest 32-bit float: going through a double first would round twice.
  float f = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), f);
  if (end != text.data() + text.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    // Too small for a float: the nearest one is zero. Too large: beyond a 32-bit float.
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    if (!(std::fabs(d) < 1.0)) return false;
    f = text[0] == '-' ? -0.0f : 0.0f;
  } else if (ec != std::errc() || !std::isfinite(f)) {
    return false;
  }
  out = f;
  return true;
}

ConfigFields SplitFields(std::string_view line) {
  // Each field runs from an "=" to the next ";" (or, without one, the next "]"); the ";" that
  // ends a field counts as the "=" of the next one. Walks the line once.
  ConfigFields f;
  std::size_t base = 0;        // the text before base is used up
  bool atSemicolon = false;    // line[base] is the ";" that ended the last field
  std::size_t p = line.find('=');
  std::size_t k = 0;
  while (p != std::string_view::npos && k < f.size()) {
    const std::size_t from = atSemicolon ? base + 1 : base;
    auto e = line.find(';', from);
    if (e == std::string_view::npos) e = line.find(']', from);
    if (e == std::string_view::npos) break;
    f[k++] = e > p + 1 ? std::string(line.substr(p + 1, e - p - 1)) : std::string();
    base = e;
    atSemicolon = line[e] == ';';
    p = atSemicolon ? base : line.find('=', base);
  }
  return f;
}

int CountDecimals(std::string_view a, std::string_view b, std::string_view c) {
  int best = 0;
  for (std::string_view t : {a, b, c}) {
    t = Trim(t);
    auto dot = t.find('.');
    if (dot != std::string_view::npos) best = std::max(best, static_cast<int>(t.size() - dot - 1));
  }
  return best;
}

void LoadConfigurationText(AppState& s, std::string_view text) {
  StartLoad(s);
  Loader loader{s};
  // Every line counts, the last one too, whether or not a line end follows it.
  while (!text.empty()) {
    auto eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    loader.line(line);
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
}

bool LoadConfigurationFile(AppState& s, const std::string& path) {
  std::string bytes;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
    StartLoad(s);  // no file: no models, built-in English texts
    return true;
  }
  if (!platform::ReadWholeFile(path, bytes, kMaxConfigurationFile)) {
    StartLoad(s);
    return false;
  }
  LoadConfigurationText(s, bytes);
  return true;
}

bool LoadConfiguration() { return LoadConfigurationFile(State(), kConfigurationFileName); }

}  // namespace core
