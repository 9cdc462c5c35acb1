#include "controls/edit/edit_text.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace controls {

namespace {

NumberSeparators MakeSeparators() {
  NumberSeparators s;
  const QString group = QLocale::system().groupSeparator();
  if (group.size() == 1 && group[0] != s.decimal && !group[0].isNull()) s.thousand = group[0];
  return s;
}

NumberSeparators& MutableSeparators() {
  static NumberSeparators separators = MakeSeparators();
  return separators;
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool IsHexDigit(QChar c) { return IsDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

int HexValue(QChar c) {
  if (IsDigit(c)) return c.unicode() - '0';
  if (c >= u'A' && c <= u'F') return c.unicode() - 'A' + 10;
  if (c >= u'a' && c <= u'f') return c.unicode() - 'a' + 10;
  return -1;
}

QString WithoutThousands(const QString& s) {
  QString out = s;
  out.remove(Separators().thousand);
  return out;
}

}  // namespace

const NumberSeparators& Separators() { return MutableSeparators(); }

void SetThousandSeparator(QChar separator) {
  MutableSeparators().thousand = separator.isNull() || separator == u'.' ? QChar(u',') : separator;
}

NumberClass ClassifyNumber(const QString& s) {
  if (s.isEmpty()) return NumberClass::Other;
  const QChar dec = Separators().decimal, th = Separators().thousand;
  bool numeric = true, isFloat = true, hex = true;
  int decimals = 0, minus = 0, lastThousand = -1;
  for (int i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    if (!IsDigit(c) && c != u'-') numeric = false;
    if (!IsDigit(c) && c != u',' && c != u'-' && c != u'.' && c != th) isFloat = false;
    if (!IsHexDigit(c) && c != u'-') hex = false;
    if (c == th) {
      // A group needs its three digits: no separator first, none less than three apart.
      if (i == 0 || (lastThousand >= 0 && i - lastThousand < 3)) isFloat = false;
      lastThousand = i;
    }
    if (c == dec) ++decimals;
    if (c == u'-') ++minus;
  }
  if (decimals >= 2 || minus >= 2) return NumberClass::Other;
  if (numeric) return NumberClass::Numeric;
  if (isFloat) return NumberClass::Float;
  if (hex) return NumberClass::Hex;
  return NumberClass::Other;
}

bool SignIsLeading(const QString& s, bool allowSigned) {
  const int at = s.indexOf(u'-');
  if (at < 0) return true;
  return allowSigned && at == 0 && s.indexOf(u'-', 1) < 0;
}

double EditToFloat(const QString& s) {
  QString t = WithoutThousands(s).trimmed();
  if (t.startsWith(u'+')) t.remove(0, 1);
  if (t.isEmpty()) return 0;
  for (QChar c : t)
    if (!IsDigit(c) && c != u'-' && c != u'.' && c != u'e' && c != u'E' && c != u'+') return 0;
  const std::string bytes = t.toStdString();
  double value = 0;
  auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
  if (error != std::errc() || end != bytes.data() + bytes.size() || !std::isfinite(value)) return 0;
  return value;
}

std::int32_t HexToInt(const QString& s) {
  std::uint32_t sum = 0, weight = 1;
  for (int i = s.size() - 1; i >= 0; --i) {
    const int v = HexValue(s[i]);
    if (v > 0) sum += static_cast<std::uint32_t>(v) * weight;
    weight *= 16;
  }
  return static_cast<std::int32_t>(sum);
}

std::int32_t TextToInt(const QString& s) {
  int i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  int base = 10;
  if (i < s.size() && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                      : std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; i < s.size(); ++i) {
    const int digit = base == 16 ? HexValue(s[i]) : (IsDigit(s[i]) ? s[i].unicode() - '0' : -1);
    if (digit < 0) break;
    value = value * base + digit;
    if (value > limit) value = limit;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::int32_t TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

QString FormatFixed(double v, int decimals) {
  if (!std::isfinite(v)) v = 0;
  QString s = QString::number(v, 'f', decimals < 0 ? 0 : decimals);
  bool zero = true;
  for (QChar c : s)
    if (c >= u'1' && c <= u'9') zero = false;
  if (zero && s.startsWith(u'-')) s.remove(0, 1);
  return s;
}

QString GroupDigits(const QString& digits) {
  QString out;
  const int n = digits.size();
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += Separators().thousand;
    out += digits[i];
  }
  return out;
}

QString FormatGrouped(double v, int decimals) {
  QString s = FormatFixed(v, decimals);
  const bool negative = s.startsWith(u'-');
  if (negative) s.remove(0, 1);
  const int dot = s.indexOf(u'.');
  const QString whole = dot < 0 ? s : s.left(dot);
  return (negative ? QStringLiteral("-") : QString()) + GroupDigits(whole) + (dot < 0 ? QString() : s.mid(dot));
}

QString FormatGeneral(double v) {
  if (!std::isfinite(v)) v = 0;
  return QString::number(v, 'g', 15);
}

QString IntegerPart(const QString& s) {
  const int dot = s.indexOf(Separators().decimal);
  return WithoutThousands(dot < 0 ? s : s.left(dot));
}

bool GroupingAllows(const QString& text, int caret) {
  const QChar th = Separators().thousand;
  if (!text.contains(th)) return true;
  QString work = text;
  int c = caret;
  int smallest = std::numeric_limits<int>::max();
  // Separator places count from 1 and caret places from 0: a separator at place p with the
  // caret at p + 3 has exactly three digits between them.
  for (int at = work.indexOf(th); at >= 0; at = work.indexOf(th)) {
    const int place = at + 1;
    const int d = std::abs(place - c);
    if (d < 3) return false;
    smallest = std::min(smallest, d);
    if (c > place) c -= place;
    work.remove(0, place);
  }
  return smallest == 3;
}

QString RegroupMoney(const QString& text, bool group) {
  if (text.isEmpty()) return text;
  QString rest = text;
  const bool negative = rest.startsWith(u'-');
  if (negative) rest.remove(0, 1);
  const int dot = rest.indexOf(Separators().decimal);
  const QString kept = dot < 0 ? QString() : rest.mid(dot);
  QString digits;
  for (QChar c : dot < 0 ? rest : rest.left(dot))
    if (IsDigit(c)) digits += c;
  while (digits.size() > 1 && digits[0] == u'0') digits.remove(0, 1);
  if (digits.isEmpty()) digits = QStringLiteral("0");
  return (negative ? QStringLiteral("-") : QString()) + (group ? GroupDigits(digits) : digits) + kept;
}

QString MixedCase(const QString& s) {
  QString out;
  bool capitalise = true;
  const int n = s.size();
  for (int i = 0; i < n; ++i) {
    const QChar c = s[i];
    if (c == u' ' || c == u'\'' || c == u',' || c == u'-' || c == u'.') {
      out += c;
      capitalise = true;
    } else if (capitalise) {
      out += c >= u'a' && c <= u'z' ? QChar(c.unicode() - 32) : c;
      capitalise = false;
    } else {
      out += c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c;
    }
    if (out == QStringLiteral("Mc")) capitalise = true;
    const int mc = out.indexOf(QStringLiteral(" Mc"));
    if (mc >= 0 && mc + 3 == out.size() && out.size() > 2) capitalise = true;
    if (i >= n - 3 && (out.endsWith(QStringLiteral(" I")) || out.endsWith(QStringLiteral(" II")))) capitalise = true;
  }
  return out;
}

bool LooksLikeLink(const QString& s) { return s.contains(QStringLiteral("://")) || s.indexOf(u'@') > 0; }

}  // namespace controls
