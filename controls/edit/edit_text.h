// The text rules of the typed edit control that need no window: number classification, the
// conversions between text and numbers, the formats, the grouping check, money regrouping and
// the mixed-case rule. The decimal separator is always "."; the thousand separator comes from
// the regional settings (see NumberSeparators).
#pragma once

#include <QChar>
#include <QString>
#include <cstdint>

namespace controls {

struct NumberSeparators {
  QChar decimal = u'.';
  QChar thousand = u',';
};

// The process-wide separators. The thousand separator is the regional one when it is a single
// character other than the decimal separator, else ",".
const NumberSeparators& Separators();
// Replaces the thousand separator (a "." or a null character is refused and leaves ",").
void SetThousandSeparator(QChar separator);

enum class NumberClass { Numeric, Float, Hex, Other };

// Numeric: digits and "-"; float: digits, ",", "-", "." with sensible thousand separators;
// hex: digits, A..F, a..f, "-". Two decimal separators or two minus signs give Other.
NumberClass ClassifyNumber(const QString& s);

// True when every "-" of s is a single leading one and `allowSigned` is set (or there is none).
bool SignIsLeading(const QString& s, bool allowSigned);

// The thousand separators removed, then the plain decimal conversion; 0 for what does not convert.
double EditToFloat(const QString& s);
// Hexadecimal digits from the right, any other character counting 0; wraps at 32 bits.
std::int32_t HexToInt(const QString& s);
// Leading blanks, one sign, decimal digits ("$", "x", "0x" introduce hex digits); stops at the
// first character that does not fit; saturates at the 32-bit range; "" or a sign alone give 0.
std::int32_t TextToInt(const QString& s);
// A double truncated towards zero and held within the 32-bit range (NaN gives 0).
std::int32_t TruncToInt(double v);

// "%.Nf": fixed with N decimals; "%.Nn": the same with thousand separators; "%g": up to 15
// significant digits.
QString FormatFixed(double v, int decimals);
QString FormatGrouped(double v, int decimals);
QString FormatGeneral(double v);
// Digits grouped by three from the right with the thousand separator.
QString GroupDigits(const QString& digits);

// The text proper up to its first decimal separator, thousand separators removed.
QString IntegerPart(const QString& s);

// Whether a thousand or decimal separator may be typed at `caret` (a position in the text
// proper) into a text that holds thousand separators: the separators must stay three digits apart.
bool GroupingAllows(const QString& text, int caret);

// Money regrouping of a text proper: sign kept, the part from the decimal separator on kept as
// it is, the integer part rebuilt from its own digits (leading zeros dropped, "0" when none) and
// grouped when `group` is set. Works on the digits themselves, so no digit ever changes.
QString RegroupMoney(const QString& text, bool group);

// The mixed-case rule: words start upper case, the rest lower case; "Mc" and trailing roman
// numerals keep their capitals.
QString MixedCase(const QString& s);

// A text that looks like a web or mail address: contains "://" or has "@" after its first character.
bool LooksLikeLink(const QString& s);

}  // namespace controls
