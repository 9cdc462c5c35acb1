#include "xls/io/export/csv_saver.h"

#include <cmath>
#include <vector>

#include "xls/formula/cell_text/number_format.h"
#include "xls/io/export/export_file.h"
#include "xls/model/codepage.h"

namespace xls {

namespace {

// Dates in a form every reader takes back: 2026-12-07, 2026-12-07 13:45:00, or 13:45:00 for a
// time alone.
std::u16string DateText(double value) {
  TXLSFormater formater;
  const double day = std::floor(value);
  const bool hasTime = std::fabs(value - day) * 86400.0 >= 0.5;
  if (day == 0 && hasTime) return formater.FormatValue(Variant::Date(value), u"hh:mm:ss");
  return formater.FormatValue(Variant::Date(value), hasTime ? u"yyyy-mm-dd hh:mm:ss" : u"yyyy-mm-dd");
}

}  // namespace

std::u16string TXLSCSVSaver::FieldText(const Variant& value) const {
  std::u16string text;
  if (value.IsBoolean()) {
    text = value.BooleanValue() ? u"True" : u"False";
  } else if (value.IsDate()) {
    text = DateText(value.NumberValue());
  } else if (!value.IsArray() && !value.IsObject()) {
    text = value.ToText();
  }
  bool quote = false;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\n' || c == u'\r' || c == separator_ || c == u'"') {
      quote = true;
      break;
    }
  }
  if (!quote) return text;
  std::u16string out = u"\"";
  for (char16_t c : text) {
    if (c == u'"') out += u'"';
    out += c;
  }
  out += u'"';
  return out;
}

void TXLSCSVSaver::AddField(const Variant& value) {
  if (lineHasFields_) line_ += separator_;
  line_ += FieldText(value);
  lineHasFields_ = true;
}

bool TXLSCSVSaver::EndLine() {
  line_ += u"\r\n";
  bool ok;
  if (unicode_) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(line_.size() * 2);
    for (char16_t c : line_) {
      bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    ok = stream_->Write(bytes.data(), bytes.size()) == bytes.size();
  } else {
    const std::string bytes = WideToAnsiCP(line_, codePage_);
    ok = stream_->Write(bytes.data(), bytes.size()) == bytes.size();
  }
  line_.clear();
  lineHasFields_ = false;
  return ok;
}

std::int32_t TXLSCSVSaver::SaveToStream(platform::ByteStream& stream, const Variant& value) {
  const VariantArray* array = value.IsArray() ? value.ArrayValue() : nullptr;
  if (value.IsArray() && (!array || array->Dimensions() < 1 || array->Dimensions() > 2)) return 1;
  stream_ = &stream;
  line_.clear();
  lineHasFields_ = false;
  bool ok = true;
  if (unicode_) {
    static constexpr std::uint8_t kBom[2] = {0xFF, 0xFE};
    ok = stream.Write(kBom, 2) == 2;
  }
  if (!array) {
    AddField(value);
    ok = ok && EndLine();
  } else if (array->Dimensions() == 1) {
    for (std::int32_t i = 0; i < array->Count(0); ++i) AddField(*array->At(array->Low(0) + i));
    ok = ok && EndLine();
  } else {
    for (std::int32_t i = 0; ok && i < array->Count(0); ++i) {
      for (std::int32_t j = 0; j < array->Count(1); ++j) {
        AddField(*array->At(array->Low(0) + i, array->Low(1) + j));
      }
      ok = EndLine();
    }
  }
  stream_ = nullptr;
  return ok ? 1 : -1;
}

std::int32_t TXLSCSVSaver::SaveToFile(const std::u16string& fileName, const Variant& value) {
  platform::AtomicFileStream file(WideToUtf8(fileName));
  if (!file.IsOpen()) return -1;
  if (SaveToStream(file, value) != 1) return -1;
  return file.Commit() ? 1 : -1;
}

}  // namespace xls
