#include "core/texts.h"

#include <algorithm>
#include <charconv>

#include "resources/english_texts.h"

namespace core {

std::string_view BuiltInText(int id) {
  if (id < 1 || id > kMessageCount) return {};
  return kEnglishTexts[static_cast<std::size_t>(id - 1)];
}

std::string LangStr(int id) {
  const AppState& s = State();
  if (id < 1 || id > kMessageCount || s.LanguageIndex < 1 || s.LanguageIndex > kLanguages)
    return "msg" + std::to_string(id);
  const std::string& configured =
      s.LangTable[static_cast<std::size_t>(id - 1)][static_cast<std::size_t>(s.LanguageIndex - 1)];
  if (!configured.empty()) return configured;
  return std::string(BuiltInText(id));
}

namespace {

// Decimals beyond this add nothing a 32-bit float can hold; the cap keeps the text bounded
// for a damaged document whose decimals field is huge.
constexpr int kMaxFormatDecimals = 60;

std::string FixedText(long double v, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxFormatDecimals);
  char buf[512];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "?";
  return std::string(buf, end);
}

}  // namespace

std::string FormatValue(int decimals, float value) {
  long double v = static_cast<long double>(value) + 1e-10L;
  return FixedText(v, decimals);
}

std::string FormatScaled(std::int64_t raw, int decimals) {
  float v = static_cast<float>(raw);
  switch (decimals) {
    case 1: v = static_cast<float>(static_cast<long double>(raw) / 10.0L); break;
    case 2: v = static_cast<float>(static_cast<long double>(raw) / 100.0L); break;
    case 3: v = static_cast<float>(static_cast<long double>(raw) / 1000.0L); break;
    default: break;
  }
  return FormatValue(decimals, v);
}

bool FindDefault(std::string_view code, int transferGroup, int model, float& defaultValue) {
  for (const auto& d : State().ParamDefs) {
    if (d.transferGroup == transferGroup && d.model == model && d.code == code) {
      defaultValue = d.defaultValue;
      return true;
    }
  }
  return false;
}

bool FindDefinition(std::string_view code, int model, int& index) {
  const auto& defs = State().ParamDefs;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].model == model && defs[i].code == code) {
      index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool FindInDocument(std::string_view code, int& index) {
  const auto& doc = State().Document;
  for (std::size_t i = 0; i < doc.size(); ++i) {
    if (doc[i].code == code) {
      index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool FindInRecords(std::string_view code, const std::vector<ParameterDefinition>& records, float& value) {
  for (const auto& r : records) {
    if (r.code == code) {
      value = r.value;
      return true;
    }
  }
  return false;
}

}  // namespace core
