// The workbook's number formats: built-in formats every reader knows, user formats numbered from
// 164, a date flag per index (to recognise date cells) and the FORMAT record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xls/model/blob.h"
#include "xls/model/hash.h"
#include "xls/model/key_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

class TXLSNumFormatList : public TXLSStringList {
 public:
  static constexpr std::int32_t kFirstUserFormat = 164;

  TXLSNumFormatList();
  ~TXLSNumFormatList() override;

  // Texts longer than 255 characters are cut: a BIFF5 record holds the length in one byte.
  void SetString(std::int32_t index, const std::u16string& text) override;
  std::u16string GetString(std::int32_t index) const override;
  std::int32_t AddOrFind(const std::u16string& text) override;

  static bool IsDateText(const std::u16string& text);
  bool IsDateIndex(std::int32_t index) const;
  std::unique_ptr<TXLSBlob> BuildFormatRecord(std::int32_t index, int version, int codePage = 1252) const;

  // The short date and time formats of the process's LC_TIME locale (the C and POSIX locales
  // give M/D/YYYY and h:mm AM/PM): built-in formats 14 and 22 follow them.
  static std::u16string GetLocaleDateFormat();
  static std::u16string GetLocaleTimeFormat();

 private:
  // The built-in formats are the same for every list made under one locale: they are made once
  // and shared, read only, until the locale's date or time format changes.
  static std::shared_ptr<const TXLSStringList> BuiltIns();

  std::shared_ptr<const TXLSStringList> builtIn_;
  std::unique_ptr<TBoolArray> dateFlags_;
};

}  // namespace xls
