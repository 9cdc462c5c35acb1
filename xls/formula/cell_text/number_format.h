// The number-format renderer: a cell value and a spreadsheet number format (0.00, #,##0;(#,##0),
// dd/mm/yyyy, [Red]0, # ?/?, 0.00E+00, [h]:mm:ss, ...) give the displayed text, plain or as an
// HTML fragment, plus the text operations the worksheet functions and exports share (case
// conversion, proper case, HTML escaping, localised date letters).
//
// Formats are read the same way whatever the regional settings: "." is the decimal point, ","
// the thousands separator, month and day names are English. Booleans always show as "True" or
// "False". In a date format a number is a serial of the format's own program (serial 1 is
// 1900-01-01, 60 the 29 February 1900 it counts) and a date variant a date value counted from
// 1899-12-30 in the proleptic calendar; the two agree from 1900-03-01 on.
#pragma once

#include <string>
#include <string_view>

#include "xls/model/variant.h"

namespace xls {

class TXLSFormater {
 public:
  static std::u16string LowerCase(std::u16string_view text);
  static std::u16string UpperCase(std::u16string_view text);
  // Lower case, then the first letter of every run of letters in upper case.
  static std::u16string ProperCase(std::u16string_view text);
  // Cyrillic date letters outside double quotes to D, M, Y, h, m, s.
  static std::u16string MapDateLetters(std::u16string_view format);
  // & < > " to entities; CR LF and a lone CR to <br>.
  static std::u16string HtmlEscape(std::u16string_view text);

  std::u16string FormatValue(const Variant& value, std::u16string_view format) const {
    return FormatValueEx(value, format, false);
  }
  std::u16string FormatValueEx(const Variant& value, std::u16string_view format, bool html) const;

  // A number in general form: up to 15 significant digits, fixed between 1E-05 and 1E+15,
  // else scientific with a signed exponent of at least two digits (1.5E+20).
  static std::u16string GeneralNumber(double value);
  // True when the format shows its numbers as dates or times.
  static bool IsDateFormat(std::u16string_view format);
};

}  // namespace xls
