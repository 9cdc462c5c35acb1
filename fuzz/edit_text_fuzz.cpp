// Text typed or pasted into the typed edit control, through the rules that need no window:
// classification, the conversions to numbers, the formats, the grouping check, money
// regrouping and the mixed-case rule. Input: a byte choosing the thousand separator, the
// number of decimals and whether the text is UTF-8 or UTF-16, then the text.
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controls/edit/edit_text.h"

namespace {

// The characters of s other than the thousand separator.
QString WithoutSeparators(const QString& s) {
  QString out;
  for (QChar c : s)
    if (c != controls::Separators().thousand) out += c;
  return out;
}

QString Digits(const QString& s) {
  QString out;
  for (QChar c : s)
    if (c >= u'0' && c <= u'9') out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 512) return 0;
  static const char16_t kThousands[] = {u',', u' ', u'\'', u'\u00A0'};
  const std::uint8_t how = data[0];
  controls::SetThousandSeparator(QChar(kThousands[how & 3]));
  const int decimals = (how >> 2) % 10;
  const QString text = how & 0x80 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 1), (size - 1) / 2)
                                  : QString::fromUtf8(reinterpret_cast<const char*>(data + 1), size - 1);
  const QChar th = controls::Separators().thousand;

  const controls::NumberClass kind = controls::ClassifyNumber(text);
  (void)controls::SignIsLeading(text, how & 0x40);
  const double v = controls::EditToFloat(text);
  const std::int32_t whole = controls::TruncToInt(v);
  (void)controls::HexToInt(text);
  (void)controls::TextToInt(text);
  (void)controls::IntegerPart(text);
  (void)controls::LooksLikeLink(text);
  for (int caret = 0; caret <= text.size() + 1; ++caret) (void)controls::GroupingAllows(text, caret);
  if (kind == controls::NumberClass::Numeric && std::isfinite(v) && std::fabs(v) < 2e9 &&
      whole != static_cast<std::int32_t>(std::trunc(v)))
    __builtin_trap();

  // A whole number prints and reads back.
  if (controls::TextToInt(QString::number(whole)) != whole) __builtin_trap();

  // The formats: grouped is fixed with separators; what they print reads back as the value
  // they print (within the decimals shown).
  const QString fixed = controls::FormatFixed(v, decimals);
  const QString grouped = controls::FormatGrouped(v, decimals);
  if (WithoutSeparators(grouped) != fixed) __builtin_trap();
  if (std::isfinite(v) && std::fabs(v) < 1e15) {
    const double back = controls::EditToFloat(grouped);
    if (std::fabs(back - v) > 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9) + std::fabs(v) * 1e-15) __builtin_trap();
  }
  (void)controls::FormatGeneral(v);

  // Money regrouping never changes a digit, keeps what follows the decimal separator, and a
  // second regrouping changes nothing.
  for (bool group : {false, true}) {
    const QString money = controls::RegroupMoney(text, group);
    if (text.isEmpty()) {
      if (!money.isEmpty()) __builtin_trap();
      continue;
    }
    if (controls::RegroupMoney(money, group) != money) __builtin_trap();
    const int dot = text.indexOf(u'.');
    const int moneyDot = money.indexOf(u'.');
    if ((dot < 0) != (moneyDot < 0) || (dot >= 0 && text.mid(dot) != money.mid(moneyDot))) __builtin_trap();
    const int sign = text.startsWith(u'-') ? 1 : 0;
    QString digits = Digits(dot < 0 ? text.mid(sign) : text.mid(sign, dot - sign));
    while (digits.size() > 1 && digits[0] == u'0') digits.remove(0, 1);
    if (digits.isEmpty()) digits = QStringLiteral("0");
    const QString moneyWhole = moneyDot < 0 ? money : money.left(moneyDot);
    if (Digits(moneyWhole) != digits) __builtin_trap();
    if (!group && moneyWhole.contains(th)) __builtin_trap();
  }

  // The mixed-case rule keeps the length and, applied again, changes nothing.
  const QString mixed = controls::MixedCase(text);
  if (mixed.size() != text.size() || controls::MixedCase(mixed) != mixed) __builtin_trap();
  return 0;
}
