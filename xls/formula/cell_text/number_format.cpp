#include "xls/formula/cell_text/number_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/wide_case.h"

namespace xls {

namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithNoCase(std::u16string_view s, size_t pos, std::u16string_view word) {
  if (pos + word.size() > s.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (LowerAscii(s[pos + i]) != LowerAscii(word[i])) return false;
  return true;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// ---- Sections and their tokens --------------------------------------------------------------

enum class Tok {
  Literal,   // text shown as it is
  Digit,     // 0, # or ?
  Decimal,   // .
  Group,     // , (grouping or scaling by 1000)
  Percent,   // %
  Exponent,  // E+ or E- (ch holds the sign)
  Slash,     // / of a fraction
  Text,      // @
  General,   // General
  Year,      // n = 2 or 4
  Month,     // n = 1..5
  Day,       // n = 1..4
  Hour,      // n = 1 or 2
  Minute,    // n = 1 or 2
  Second,    // n = 1 or 2
  SecFrac,   // n digits of fractional seconds
  Elapsed,   // [h], [mm], [ss]: ch 'h', 'm' or 's', n = width
  AmPm,      // text holds the format's own letters (AM/PM or A/P)
};

struct Token {
  Token(Tok k, char16_t c = 0, int count = 0, std::u16string t = {}) : kind(k), ch(c), n(count), text(std::move(t)) {}
  Tok kind;
  char16_t ch;
  int n;
  std::u16string text;
};

enum class CondOp { None, Less, LessEq, Greater, GreaterEq, Equal, NotEqual };

struct Section {
  std::u16string source;
  std::u16string colour;  // lower case; empty when none
  CondOp op = CondOp::None;
  double operand = 0;
  std::vector<Token> tokens;
  bool date = false;
  bool hasDigits = false;
  bool hasGeneral = false;
  bool hasText = false;
  bool ampm = false;
};

const char16_t* const kColours[] = {u"red", u"green", u"blue", u"black", u"maroon", u"yellow", u"white"};

std::vector<std::u16string> SplitSections(std::u16string_view format) {
  std::vector<std::u16string> out;
  std::u16string cur;
  bool quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (!quoted && c == u'\\' && i + 1 < format.size()) {
      cur += c;
      cur += format[++i];
      continue;
    }
    if (c == u'"') quoted = !quoted;
    if (c == u';' && !quoted) {
      out.push_back(cur);
      cur.clear();
      if (out.size() == 4) return out;
      continue;
    }
    cur += c;
  }
  out.push_back(cur);
  return out;
}

void AddLiteral(Section& s, std::u16string_view text) {
  if (text.empty()) return;
  if (!s.tokens.empty() && s.tokens.back().kind == Tok::Literal) {
    s.tokens.back().text += text;
    return;
  }
  Token t{Tok::Literal};
  t.text = text;
  s.tokens.push_back(t);
}

void ParseBracket(Section& s, std::u16string_view inner) {
  std::u16string lower;
  for (char16_t c : inner) lower += LowerAscii(c);
  if (lower.empty()) return;
  for (const char16_t* name : kColours) {
    if (lower == name) {
      if (s.colour.empty()) s.colour = name;
      return;
    }
  }
  if (lower[0] == u'$') {  // [$text-locale]: the text before "-" is shown
    size_t dash = inner.find(u'-');
    AddLiteral(s, inner.substr(1, dash == std::u16string_view::npos ? std::u16string_view::npos : dash - 1));
    return;
  }
  if (lower[0] == u'<' || lower[0] == u'>' || lower[0] == u'=') {
    size_t k = 1;
    CondOp op;
    if (lower[0] == u'=') {
      op = CondOp::Equal;
    } else if (lower[0] == u'<' && k < lower.size() && lower[k] == u'=') {
      op = CondOp::LessEq, ++k;
    } else if (lower[0] == u'<' && k < lower.size() && lower[k] == u'>') {
      op = CondOp::NotEqual, ++k;
    } else if (lower[0] == u'>' && k < lower.size() && lower[k] == u'=') {
      op = CondOp::GreaterEq, ++k;
    } else {
      op = lower[0] == u'<' ? CondOp::Less : CondOp::Greater;
    }
    double v = 0;
    if (TextToDouble(lower.substr(k), v)) {
      s.op = op;
      s.operand = v;
    }
    return;
  }
  char16_t first = lower[0];
  if ((first == u'h' || first == u'm' || first == u's') &&
      std::all_of(lower.begin(), lower.end(), [&](char16_t c) { return c == first; })) {
    Token t{Tok::Elapsed};
    t.ch = first;
    t.n = static_cast<int>(lower.size());
    s.tokens.push_back(t);
    s.date = true;
  }
  // Anything else in brackets (other colours, locale or calendar codes) is not shown.
}

Section ParseSection(std::u16string_view src) {
  Section s;
  s.source = src;
  size_t i = 0;
  auto run = [&](char16_t letter) {
    size_t n = 0;
    while (i + n < src.size() && LowerAscii(src[i + n]) == letter) ++n;
    return static_cast<int>(n);
  };
  while (i < src.size()) {
    char16_t c = src[i];
    char16_t lc = LowerAscii(c);
    if (c == u'"') {
      size_t end = src.find(u'"', i + 1);
      if (end == std::u16string_view::npos) end = src.size();
      AddLiteral(s, src.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == u'\\') {
      if (i + 1 < src.size()) AddLiteral(s, src.substr(i + 1, 1));
      i += 2;
    } else if (c == u'_') {
      AddLiteral(s, u" ");
      i += 2;
    } else if (c == u'*') {
      i += 2;  // fill character: there is no column width to fill
    } else if (c == u'[') {
      size_t end = src.find(u']', i + 1);
      if (end == std::u16string_view::npos) {
        AddLiteral(s, src.substr(i));
        break;
      }
      ParseBracket(s, src.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (StartsWithNoCase(src, i, u"general")) {
      s.tokens.push_back({Tok::General});
      s.hasGeneral = true;
      i += 7;
    } else if (c == u'0' || c == u'#' || c == u'?') {
      s.tokens.push_back({Tok::Digit, c});
      s.hasDigits = true;
      ++i;
    } else if (c == u'.') {
      s.tokens.push_back({Tok::Decimal});
      ++i;
    } else if (c == u',') {
      s.tokens.push_back({Tok::Group});
      ++i;
    } else if (c == u'%') {
      s.tokens.push_back({Tok::Percent});
      ++i;
    } else if (c == u'@') {
      s.tokens.push_back({Tok::Text});
      s.hasText = true;
      ++i;
    } else if (lc == u'e' && i + 1 < src.size() && (src[i + 1] == u'+' || src[i + 1] == u'-') && s.hasDigits) {
      s.tokens.push_back({Tok::Exponent, src[i + 1]});
      i += 2;
    } else if (lc == u'e') {  // the year, as yyyy
      s.tokens.push_back({Tok::Year, 0, 4});
      s.date = true;
      i += static_cast<size_t>(run(u'e'));
    } else if (c == u'/' && s.hasDigits && !s.date) {
      s.tokens.push_back({Tok::Slash});
      ++i;
    } else if (lc == u'a' && StartsWithNoCase(src, i, u"am/pm")) {
      Token t{Tok::AmPm};
      t.text = src.substr(i, 5);
      s.tokens.push_back(t);
      s.date = s.ampm = true;
      i += 5;
    } else if (lc == u'a' && StartsWithNoCase(src, i, u"a/p")) {
      Token t{Tok::AmPm};
      t.text = src.substr(i, 3);
      s.tokens.push_back(t);
      s.date = s.ampm = true;
      i += 3;
    } else if (lc == u'y') {
      int n = run(u'y');
      s.tokens.push_back({Tok::Year, 0, n <= 2 ? 2 : 4});
      s.date = true;
      i += static_cast<size_t>(n);
    } else if (lc == u'm') {
      int n = run(u'm');
      s.tokens.push_back({Tok::Month, 0, std::min(n, 5)});
      s.date = true;
      i += static_cast<size_t>(n);
    } else if (lc == u'd') {
      int n = run(u'd');
      s.tokens.push_back({Tok::Day, 0, std::min(n, 4)});
      s.date = true;
      i += static_cast<size_t>(n);
    } else if (lc == u'h') {
      int n = run(u'h');
      s.tokens.push_back({Tok::Hour, 0, std::min(n, 2)});
      s.date = true;
      i += static_cast<size_t>(n);
    } else if (lc == u's') {
      int n = run(u's');
      s.tokens.push_back({Tok::Second, 0, std::min(n, 2)});
      s.date = true;
      i += static_cast<size_t>(n);
    } else {
      AddLiteral(s, src.substr(i, 1));
      ++i;
    }
  }
  if (!s.date) return s;
  // Date sections: "m" next to hours or seconds means minutes (whatever separates them: "h:mm",
  // "hh.mm", "mm ss"); "." and zeros after seconds are fractions of a second; digit placeholders
  // elsewhere are shown as they are.
  std::vector<Token>& t = s.tokens;
  auto separator = [&](size_t j) {
    const Tok k = t[j].kind;
    return k == Tok::Literal || k == Tok::Digit || k == Tok::Decimal || k == Tok::Group || k == Tok::Percent ||
           k == Tok::Slash;
  };
  auto prevTime = [&](size_t k) {
    for (size_t j = k; j-- > 0;) {
      if (separator(j)) continue;
      return t[j].kind == Tok::Hour || (t[j].kind == Tok::Elapsed && t[j].ch == u'h');
    }
    return false;
  };
  auto nextSecond = [&](size_t k) {
    for (size_t j = k + 1; j < t.size(); ++j) {
      if (separator(j)) continue;
      return t[j].kind == Tok::Second || (t[j].kind == Tok::Elapsed && t[j].ch == u's');
    }
    return false;
  };
  std::vector<Token> out;
  for (size_t k = 0; k < t.size(); ++k) {
    Token tok = t[k];
    if (tok.kind == Tok::Month && tok.n <= 2 && (prevTime(k) || nextSecond(k))) tok.kind = Tok::Minute;
    if (tok.kind == Tok::Decimal && !out.empty() &&
        (out.back().kind == Tok::Second || (out.back().kind == Tok::Elapsed && out.back().ch == u's'))) {
      int n = 0;
      while (k + 1 < t.size() && t[k + 1].kind == Tok::Digit && t[k + 1].ch == u'0' && n < 3) ++k, ++n;
      if (n > 0) {
        out.push_back({Tok::SecFrac, 0, n});
        continue;
      }
    }
    if (tok.kind == Tok::Digit || tok.kind == Tok::Decimal || tok.kind == Tok::Group ||
        tok.kind == Tok::Percent || tok.kind == Tok::Slash) {
      out.push_back({Tok::Literal, 0, 0,
                     std::u16string(1, tok.kind == Tok::Digit     ? tok.ch
                                       : tok.kind == Tok::Decimal ? u'.'
                                       : tok.kind == Tok::Group   ? u','
                                       : tok.kind == Tok::Percent ? u'%'
                                                                  : u'/')});
      continue;
    }
    out.push_back(tok);
  }
  s.tokens = out;
  s.hasDigits = false;
  return s;
}

// ---- Decimal digits --------------------------------------------------------------------------

// A non-negative value times 10^shift rounded half away from zero to `decimals` places, as its
// integer digits (no leading zeros; empty for 0) and exactly `decimals` fraction digits. The
// value is first taken to 15 significant digits, so that 2.675 rounds to 2.68 as it reads; the
// shift lets percentages of the largest doubles show without overflowing.
void Digits(double v, int decimals, std::string& intPart, std::string& fracPart, int shift = 0) {
  intPart.clear();
  fracPart.assign(static_cast<size_t>(decimals), '0');
  if (!(v > 0) || !std::isfinite(v)) return;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  std::string mant;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') mant += *p;
  int exp10 = std::atoi(p + 1) + shift;
  // mant holds d.dddd... with the point after the first digit: value = 0.mant x 10^(exp10 + 1).
  int pointPos = exp10 + 1;  // digits before the decimal point
  int keep = pointPos + decimals;  // digits to keep
  std::string digits;
  if (keep < 0) return;
  if (keep < static_cast<int>(mant.size())) {
    digits = mant.substr(0, static_cast<size_t>(keep));
    if (mant[static_cast<size_t>(keep)] >= '5') {
      int j = static_cast<int>(digits.size()) - 1;
      while (j >= 0 && digits[static_cast<size_t>(j)] == '9') digits[static_cast<size_t>(j--)] = '0';
      if (j >= 0) {
        ++digits[static_cast<size_t>(j)];
      } else {
        digits.insert(digits.begin(), '1');
        ++pointPos;
      }
    }
  } else {
    digits = mant + std::string(static_cast<size_t>(keep) - mant.size(), '0');
  }
  // digits now stands for value x 10^decimals with pointPos digits before the point.
  int total = static_cast<int>(digits.size());
  int intCount = total - decimals;
  if (intCount > 0) {
    intPart = digits.substr(0, static_cast<size_t>(intCount));
    fracPart = digits.substr(static_cast<size_t>(intCount));
  } else {
    fracPart = std::string(static_cast<size_t>(-intCount), '0') + digits;
  }
  size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? std::string() : intPart.substr(nz);
}

// ---- Numbers ---------------------------------------------------------------------------------

struct NumberLayout {
  std::vector<size_t> intDigits;   // token positions of the integer placeholders
  std::vector<size_t> fracDigits;  // after the decimal point
  std::vector<size_t> expDigits;   // after E+ / E-
  size_t decimal = SIZE_MAX, exponent = SIZE_MAX;
  bool grouping = false;
  int scale1000 = 0;
  int percents = 0;
};

NumberLayout Layout(const Section& s) {
  NumberLayout L;
  const auto& t = s.tokens;
  size_t lastInt = SIZE_MAX;
  for (size_t k = 0; k < t.size(); ++k) {
    switch (t[k].kind) {
      case Tok::Digit:
        if (L.exponent != SIZE_MAX) L.expDigits.push_back(k);
        else if (L.decimal != SIZE_MAX) L.fracDigits.push_back(k);
        else L.intDigits.push_back(k), lastInt = k;
        break;
      case Tok::Decimal:
        if (L.decimal == SIZE_MAX && L.exponent == SIZE_MAX) L.decimal = k;
        break;
      case Tok::Exponent:
        if (L.exponent == SIZE_MAX) L.exponent = k;
        break;
      case Tok::Percent:
        ++L.percents;
        break;
      default:
        break;
    }
  }
  // Commas between integer placeholders group; commas right after the last placeholder of the
  // integer part (or of the fraction part) divide by 1000 each.
  size_t lastNum = L.fracDigits.empty() ? lastInt : L.fracDigits.back();
  for (size_t k = 0; k < t.size(); ++k) {
    if (t[k].kind != Tok::Group) continue;
    if (!L.intDigits.empty() && k > L.intDigits.front() && k < lastInt) {
      L.grouping = true;
    } else if (lastNum != SIZE_MAX && k > lastNum) {
      bool trailing = true;
      for (size_t j = lastNum + 1; j < k; ++j)
        if (t[j].kind != Tok::Group && t[j].kind != Tok::Decimal) trailing = false;
      if (trailing) ++L.scale1000;
    }
  }
  return L;
}

// Fills integer placeholders right to left with the digits; extra digits go to the leftmost.
// Returns the text for each placeholder position.
std::vector<std::u16string> FillInteger(const Section& s, const std::vector<size_t>& pos, const std::string& digits,
                                        bool grouping) {
  std::vector<std::u16string> out(pos.size());
  if (pos.empty()) return out;
  int di = static_cast<int>(digits.size()) - 1;
  int shown = 0;  // digits emitted so far, for grouping
  auto put = [&](std::u16string& slot, char16_t d) {
    if (grouping && shown > 0 && shown % 3 == 0) slot.insert(slot.begin(), u',');
    slot.insert(slot.begin(), d);
    ++shown;
  };
  for (size_t k = pos.size(); k-- > 0;) {
    char16_t ph = s.tokens[pos[k]].ch;
    if (di >= 0) {
      put(out[k], static_cast<char16_t>(digits[static_cast<size_t>(di--)]));
    } else if (ph == u'0') {
      put(out[k], u'0');
    } else if (ph == u'?') {
      out[k] = u" ";
    }
    if (k == 0)
      while (di >= 0) put(out[k], static_cast<char16_t>(digits[static_cast<size_t>(di--)]));
  }
  return out;
}

std::vector<std::u16string> FillFraction(const Section& s, const std::vector<size_t>& pos, const std::string& digits) {
  std::vector<std::u16string> out(pos.size());
  size_t lastNonZero = digits.find_last_not_of('0');
  for (size_t k = 0; k < pos.size(); ++k) {
    char16_t ph = s.tokens[pos[k]].ch;
    bool trailingZero = lastNonZero == std::string::npos || k > lastNonZero;
    if (!trailingZero || ph == u'0') out[k] = std::u16string(1, static_cast<char16_t>(digits[k]));
    else if (ph == u'?') out[k] = u" ";
  }
  return out;
}

std::u16string Assemble(const Section& s, const std::vector<std::pair<size_t, std::u16string>>& filled,
                        const std::u16string& text) {
  std::u16string out;
  size_t f = 0;
  for (size_t k = 0; k < s.tokens.size(); ++k) {
    const Token& t = s.tokens[k];
    while (f < filled.size() && filled[f].first < k) ++f;
    if (f < filled.size() && filled[f].first == k) {
      out += filled[f].second;
      continue;
    }
    switch (t.kind) {
      case Tok::Literal: out += t.text; break;
      case Tok::Percent: out += u'%'; break;
      case Tok::Text: out += text; break;
      default: break;
    }
  }
  return out;
}

void AddFilled(std::vector<std::pair<size_t, std::u16string>>& filled, const std::vector<size_t>& pos,
               const std::vector<std::u16string>& texts) {
  for (size_t k = 0; k < pos.size(); ++k) filled.emplace_back(pos[k], texts[k]);
}

std::u16string RenderPlain(const Section& s, const NumberLayout& L, double v, int shift = 0) {
  std::string ip, fp;
  Digits(v, static_cast<int>(L.fracDigits.size()), ip, fp, shift);
  std::vector<std::pair<size_t, std::u16string>> filled;
  AddFilled(filled, L.intDigits, FillInteger(s, L.intDigits, ip, L.grouping));
  if (L.decimal != SIZE_MAX) {
    std::u16string point = u".";
    if (L.intDigits.empty() && !ip.empty()) point = Ascii(ip) + point;
    filled.emplace_back(L.decimal, point);
  }
  // The decimal point shows also when no fraction digit does (4 in #.## is "4.").
  AddFilled(filled, L.fracDigits, FillFraction(s, L.fracDigits, fp));
  std::sort(filled.begin(), filled.end(), [](auto& a, auto& b) { return a.first < b.first; });
  return Assemble(s, filled, u"");
}

// v x 10^-e in two steps, so that neither power leaves the range of doubles (5e-324 ... 1e308).
double Mantissa(double v, int e) {
  const int half = e / 2;
  return v / std::pow(10.0, half) / std::pow(10.0, e - half);
}

// The value shown is v x 10^shift (percent signs and trailing commas scale it).
std::u16string RenderScientific(const Section& s, const NumberLayout& L, double v, int shift) {
  int ni = static_cast<int>(L.intDigits.size());
  int nd = static_cast<int>(L.fracDigits.size());
  bool engineering = ni > 1 && s.tokens[L.intDigits.front()].ch == u'#';
  int e = 0;
  std::string ip, fp;
  if (v > 0) {
    int lg = static_cast<int>(std::floor(std::log10(v))) + shift;
    auto pick = [&](int lgv) {
      if (engineering) return static_cast<int>(std::floor(static_cast<double>(lgv) / ni)) * ni;
      return ni == 0 ? lgv + 1 : lgv - (ni - 1);
    };
    e = pick(lg);
    Digits(Mantissa(v, e - shift), nd, ip, fp);
    int limit = engineering ? ni : std::max(ni, 1);
    if (static_cast<int>(ip.size()) > limit || (ni == 0 && !ip.empty())) {  // rounding carried over
      e = pick(lg + 1);
      Digits(Mantissa(v, e - shift), nd, ip, fp);
    }
  } else {
    Digits(0, nd, ip, fp);
  }
  std::vector<std::pair<size_t, std::u16string>> filled;
  AddFilled(filled, L.intDigits, FillInteger(s, L.intDigits, ip, L.grouping));
  if (L.decimal != SIZE_MAX) filled.emplace_back(L.decimal, u".");
  AddFilled(filled, L.fracDigits, FillFraction(s, L.fracDigits, fp));
  char16_t sign = s.tokens[L.exponent].ch;
  std::u16string mark = u"E";
  if (e < 0) mark += u'-';
  else if (sign == u'+') mark += u'+';
  std::string ed = std::to_string(std::abs(e));
  if (L.expDigits.empty()) mark += Ascii(ed);
  filled.emplace_back(L.exponent, mark);
  AddFilled(filled, L.expDigits, FillInteger(s, L.expDigits, ed == "0" ? std::string() : ed, false));
  std::sort(filled.begin(), filled.end(), [](auto& a, auto& b) { return a.first < b.first; });
  return Assemble(s, filled, u"");
}

// The fraction num/den nearest to frac (0 <= frac < 1) with den <= maxDen (at most 99999): of
// the denominators 1, 2, ..., maxDen in turn, each takes the nearest numerator and replaces the
// fraction so far when it comes closer by more than 1e-12. Only few denominators can do so:
// those that come closer than every smaller one lie on the continued fraction of frac, at
// q' + j*q (j = 1 .. a) between two of its convergents q' and q. Along one such run the
// distance shrinks by 1/(d1*d2) > 1e-10 from one denominator d1 to the next d2, so once one of
// them replaces the fraction all later ones do too, and the run's last denominator within
// maxDen decides alone. The distances are worked out exactly as when trying every
// denominator, so that the roundings agree.
void ClosestFraction(double frac, long long maxDen, long long& num, long long& den) {
  double best = 2;
  auto consider = [&](long long d) {
    long long n = std::llround(frac * static_cast<double>(d));
    double err = std::fabs(frac - static_cast<double>(n) / static_cast<double>(d));
    if (err < best - 1e-12) best = err, num = n, den = d;
  };
  num = 0, den = 1;
  consider(1);
  // Below this every numerator rounds to 0, and 0/1 stays.
  if (!(frac * static_cast<double>(maxDen) >= 0.5) || frac >= 1) return;
  // frac = m / 2^e exactly; frac >= 0.5 / 99999 keeps e below 71.
  int exponent = 0;
  const double mantissa = std::frexp(frac, &exponent);
  using Wide = unsigned __int128;
  Wide rest = static_cast<Wide>(static_cast<std::uint64_t>(std::ldexp(mantissa, 53)));
  Wide whole = static_cast<Wide>(1) << (53 - exponent);
  // The continued fraction by Euclid's steps on rest / whole; q0 and q are the denominators of
  // the last two convergents (0 and 1 before the first step).
  long long q0 = 0, q = 1;
  while (rest != 0) {
    const Wide a = whole / rest;  // the next term: the run is q0 + q, q0 + 2q, ..., q0 + a*q
    const Wide r = whole % rest;
    whole = rest, rest = r;
    const long long room = (maxDen - q0) / q;  // the steps of the run that stay within maxDen
    if (room < 1) return;
    if (a > static_cast<Wide>(room)) {
      consider(q0 + room * q);
      return;
    }
    const long long next = q0 + static_cast<long long>(a) * q;
    consider(next);
    q0 = q, q = next;
  }
}

// Fractions: [integer part] numerator / denominator. The numerator is the run of placeholders
// right before the slash; the denominator is placeholders (largest denominator 9, 99, ...) or a
// fixed number written after the slash.
std::u16string RenderFraction(const Section& s, double v, size_t slash) {
  const auto& t = s.tokens;
  std::vector<size_t> numPos, intPos, denPos;
  size_t k = slash;
  while (k > 0 && t[k - 1].kind == Tok::Digit) numPos.insert(numPos.begin(), --k);
  for (size_t j = 0; j < k; ++j)
    if (t[j].kind == Tok::Digit) intPos.push_back(j);
  // A fixed denominator is written as digits, such as 8 or 100 (whose zeros read as digit
  // placeholders); fixedPos holds its tokens.
  long long fixedDen = 0;
  std::vector<size_t> fixedPos;
  size_t denLiteral = SIZE_MAX;
  size_t j = slash + 1;
  while (j < t.size() && t[j].kind == Tok::Digit) denPos.push_back(j++);
  if (denPos.empty() && j < t.size() && t[j].kind == Tok::Literal && t[j].text[0] >= u'1' && t[j].text[0] <= u'9') {
    for (; j < t.size() && fixedDen < 100000; ++j) {
      if (t[j].kind == Tok::Digit && t[j].ch == u'0') {
        fixedDen *= 10;
      } else if (t[j].kind == Tok::Literal) {
        const std::u16string& lit = t[j].text;
        size_t n = 0;
        // Denominators stop growing at 100000 (the digits beyond read as literal text).
        while (n < lit.size() && lit[n] >= u'0' && lit[n] <= u'9' && fixedDen < 100000)
          fixedDen = fixedDen * 10 + (lit[n++] - u'0');
        if (n == 0) break;
        if (denLiteral == SIZE_MAX) denLiteral = j;
        if (n < lit.size()) {
          fixedPos.push_back(j);
          break;
        }
      } else {
        break;
      }
      fixedPos.push_back(j);
    }
  }
  if (numPos.empty() || (denPos.empty() && fixedDen <= 0)) return RenderPlain(s, Layout(s), v);

  // From 2^52 on a double has no fraction: the whole number shows with the fraction blank (or
  // over 1 when the format has no integer part), in the digits a plain format gives it.
  const bool huge = v >= 4503599627370496.0;
  double whole = std::floor(v);  // without an integer part it goes into the numerator below
  double frac = huge ? 0 : v - whole;
  long long num = 0, den = 1;
  if (fixedDen > 0) {
    den = fixedDen;
    num = std::llround(frac * static_cast<double>(den));
  } else {
    long long maxDen = 1;
    for (size_t n = 0; n < denPos.size() && n < 5; ++n) maxDen *= 10;
    maxDen -= 1;
    ClosestFraction(frac, maxDen, num, den);
  }
  if (!intPos.empty() && num == den) whole += 1, num = 0;
  auto decimal = [](double x) {
    std::string ip, fp;
    Digits(x, 0, ip, fp);
    return ip;
  };
  std::string numeratorDigits;  // the numerator of a format without an integer part
  if (intPos.empty()) {
    // The whole number goes into the numerator; past 2^53 it is shown in its decimal digits.
    const double numerator = whole * static_cast<double>(den) + static_cast<double>(num);
    if (numerator < 9007199254740992.0) num = static_cast<long long>(numerator);
    else numeratorDigits = decimal(numerator);
    whole = 0;
  }

  std::vector<std::pair<size_t, std::u16string>> filled;
  std::string wholeDigits = whole >= 1 ? decimal(whole) : std::string();
  bool blankFraction = !intPos.empty() && num == 0;
  if (blankFraction && wholeDigits.empty()) wholeDigits = "0";
  AddFilled(filled, intPos, FillInteger(s, intPos, wholeDigits, false));
  if (blankFraction) {
    // No fraction to show: the fraction's places stay blank so that columns line up.
    size_t last = !fixedPos.empty() ? fixedPos.back() : (denPos.empty() ? slash : denPos.back());
    for (size_t p = numPos.front(); p <= last; ++p) {
      std::u16string blank;
      const bool fixed = std::find(fixedPos.begin(), fixedPos.end(), p) != fixedPos.end();
      if (fixed) blank.clear();
      else if (t[p].kind == Tok::Digit || t[p].kind == Tok::Slash) blank = t[p].ch == u'#' ? u"" : u" ";
      else if (t[p].kind == Tok::Literal) blank = std::u16string(t[p].text.size(), u' ');
      filled.emplace_back(p, blank);
    }
  } else {
    std::string nd = !numeratorDigits.empty() ? numeratorDigits : (num > 0 ? std::to_string(num) : std::string());
    if (nd.empty() && intPos.empty()) nd = "0";
    AddFilled(filled, numPos, FillInteger(s, numPos, nd, false));
    filled.emplace_back(slash, u"/");
    for (size_t p : fixedPos)
      if (t[p].kind == Tok::Digit) filled.emplace_back(p, u"0");
    std::string dd = std::to_string(den);
    if (!denPos.empty()) {
      // The denominator reads left to right; unused places become spaces.
      for (size_t n = 0; n < denPos.size(); ++n) {
        std::u16string slot;
        if (n == 0 && dd.size() > denPos.size()) slot = Ascii(dd.substr(0, dd.size() - denPos.size() + 1));
        else {
          size_t idx = n + (dd.size() > denPos.size() ? dd.size() - denPos.size() : 0);
          if (idx < dd.size()) slot = std::u16string(1, static_cast<char16_t>(dd[idx]));
          else if (t[denPos[n]].ch != u'#') slot = u" ";
        }
        filled.emplace_back(denPos[n], slot);
      }
    }
  }
  std::sort(filled.begin(), filled.end(), [](auto& a, auto& b) { return a.first < b.first; });
  return Assemble(s, filled, u"");
}

std::u16string RenderNumber(const Section& s, double v) {
  if (s.hasGeneral || (s.hasText && !s.hasDigits)) {
    std::u16string out;
    for (const Token& t : s.tokens) {
      if (t.kind == Tok::Literal) out += t.text;
      else if (t.kind == Tok::General || t.kind == Tok::Text) out += TXLSFormater::GeneralNumber(v);
      else if (t.kind == Tok::Percent) out += u'%';
    }
    return out;
  }
  NumberLayout L = Layout(s);
  if (!s.hasDigits) return Assemble(s, {}, u"");
  if (!std::isfinite(v)) return TXLSFormater::GeneralNumber(v);
  // Scientific formats and percentages of the largest numbers take the scaling as a power of
  // ten: the product would not be a double.
  const int shift = 2 * L.percents - 3 * L.scale1000;
  if (L.exponent != SIZE_MAX) return RenderScientific(s, L, v, shift);
  const double raw = v;
  for (int p = 0; p < L.percents; ++p) v *= 100;
  for (int p = 0; p < L.scale1000; ++p) v /= 1000;
  if (!std::isfinite(v)) return RenderPlain(s, L, raw, shift);
  for (size_t k = 0; k < s.tokens.size(); ++k)
    if (s.tokens[k].kind == Tok::Slash && L.decimal == SIZE_MAX) return RenderFraction(s, v, k);
  return RenderPlain(s, L, v);
}

// ---- Dates and times -------------------------------------------------------------------------

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void CivilFromDays(long long z, int& y, int& m, int& d) {
  // Days since 1970-01-01 to a proleptic Gregorian date.
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long yy = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2 ? 1 : 0));
}

std::u16string Pad(long long v, int width) {
  std::string s = std::to_string(v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return Ascii(s);
}

// `serial`: v counts days as the format's own program does (serial 1 is 1900-01-01, 60 its
// 29 February 1900, 0 its "1900-01-00"); otherwise v is a date value of the proleptic calendar.
// From 1900-03-01 on the two are the same.
std::u16string RenderDate(const Section& s, double v, bool serial) {
  if (!std::isfinite(v) || std::fabs(v) > 2958466.0) return std::u16string(u"#");
  int fracDigits = 0;
  bool elapsed = false;
  for (const Token& t : s.tokens) {
    if (t.kind == Tok::SecFrac) fracDigits = std::max(fracDigits, t.n);
    if (t.kind == Tok::Elapsed) elapsed = true;
  }
  std::u16string sign;
  if (elapsed && v < 0) sign = u"-", v = -v;
  // A format that shows a time rounds it to the places of a second shown (to the second without
  // any), so that 23:59:59.6 in hh:mm:ss is the next day's 00:00:00; times are kept to the
  // millisecond: further places show zeros. A date alone is the day the value lies in (to the
  // millisecond).
  const bool timeShown = std::any_of(s.tokens.begin(), s.tokens.end(), [](const Token& t) {
    return t.kind == Tok::Hour || t.kind == Tok::Minute || t.kind == Tok::Second || t.kind == Tok::SecFrac ||
           t.kind == Tok::Elapsed || t.kind == Tok::AmPm;
  });
  const int shownDigits = fracDigits;
  fracDigits = std::min(fracDigits, 3);
  long long unitsPerSecond = 1;
  for (int k = 0; k < fracDigits; ++k) unitsPerSecond *= 10;
  long long unitsPerDay = 86400 * unitsPerSecond;
  long long units;
  if (elapsed || timeShown) {
    units = std::llround(v * static_cast<double>(unitsPerDay));
  } else {
    const long long ms = std::llround(v * 86400000.0);
    units = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  }
  long long days = units >= 0 ? units / unitsPerDay : -((-units + unitsPerDay - 1) / unitsPerDay);
  long long inDay = units - days * unitsPerDay;
  long long secs = inDay / unitsPerSecond;
  long long sub = inDay % unitsPerSecond;
  int hour = static_cast<int>(secs / 3600), minute = static_cast<int>(secs / 60 % 60), second = static_cast<int>(secs % 60);
  long long totalSeconds = units / unitsPerSecond;
  int y, m, d;
  // 1899-12-30 is 25569 days before 1970-01-01; serials 1 to 59 lie a day later.
  CivilFromDays(days - 25569 + (serial && days >= 1 && days < 60 ? 1 : 0), y, m, d);
  if (serial && (days == 0 || days == 60)) y = 1900, m = days ? 2 : 1, d = days ? 29 : 0;
  int weekday = static_cast<int>(((days % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday

  std::u16string out = sign;
  for (const Token& t : s.tokens) {
    switch (t.kind) {
      case Tok::Literal: out += t.text; break;
      case Tok::Year: out += t.n == 2 ? Pad(((y % 100) + 100) % 100, 2) : Pad(y, 4); break;
      case Tok::Month:
        if (t.n <= 2) out += Pad(m, t.n);
        else if (t.n == 3) out += Ascii(std::string(kMonths[m - 1]).substr(0, 3));
        else if (t.n == 4) out += Ascii(kMonths[m - 1]);
        else out += static_cast<char16_t>(kMonths[m - 1][0]);
        break;
      case Tok::Day:
        if (t.n <= 2) out += Pad(d, t.n);
        else if (t.n == 3) out += Ascii(std::string(kDays[weekday]).substr(0, 3));
        else out += Ascii(kDays[weekday]);
        break;
      case Tok::Hour: {
        int h = hour;
        if (s.ampm) h = h % 12 == 0 ? 12 : h % 12;
        out += Pad(h, t.n);
        break;
      }
      case Tok::Minute: out += Pad(minute, t.n); break;
      case Tok::Second: out += Pad(second, t.n); break;
      case Tok::SecFrac: {
        std::u16string f = Pad(sub, fracDigits) + std::u16string(static_cast<size_t>(shownDigits - fracDigits), u'0');
        out += u'.';
        out += f.substr(0, static_cast<size_t>(t.n));
        break;
      }
      case Tok::Elapsed:
        if (t.ch == u'h') out += Pad(totalSeconds / 3600, t.n);
        else if (t.ch == u'm') out += Pad(totalSeconds / 60, t.n);
        else out += Pad(totalSeconds, t.n);
        break;
      case Tok::AmPm: {
        bool pm = hour >= 12;
        if (t.text.size() == 3) {
          out += t.text[pm ? 2 : 0];
        } else {
          out += pm ? u"PM" : u"AM";
        }
        break;
      }
      case Tok::General: out += TXLSFormater::GeneralNumber(v); break;
      default: break;
    }
  }
  return out;
}

bool Satisfies(const Section& s, double v) {
  switch (s.op) {
    case CondOp::Less: return v < s.operand;
    case CondOp::LessEq: return v <= s.operand;
    case CondOp::Greater: return v > s.operand;
    case CondOp::GreaterEq: return v >= s.operand;
    case CondOp::Equal: return v == s.operand;
    case CondOp::NotEqual: return v != s.operand;
    case CondOp::None: return true;
  }
  return true;
}

std::u16string Html(const std::u16string& text, const std::u16string& colour, bool html) {
  if (!html) return text;
  std::u16string out = text.empty() ? std::u16string(u"&nbsp;") : TXLSFormater::HtmlEscape(text);
  if (!colour.empty()) out = u"<font color=\"" + colour + u"\">" + out + u"</font>";
  return out;
}

bool IsGeneralFormat(std::u16string_view format) {
  return format.empty() || format == u"@" || (format.size() == 7 && StartsWithNoCase(format, 0, u"general"));
}

}  // namespace

// ---- Text operations -------------------------------------------------------------------------

std::u16string TXLSFormater::LowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = platform::CharLowerW(c);
  return out;
}

std::u16string TXLSFormater::UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = platform::CharUpperW(c);
  return out;
}

std::u16string TXLSFormater::ProperCase(std::u16string_view text) {
  std::u16string out = LowerCase(text);
  bool inWord = false;
  for (char16_t& c : out) {
    if (platform::IsCharAlphaW(c)) {
      if (!inWord) c = platform::CharUpperW(c);
      inWord = true;
    } else {
      inWord = false;
    }
  }
  return out;
}

std::u16string TXLSFormater::MapDateLetters(std::u16string_view format) {
  static const char16_t kFrom[] = {0x0434, 0x041C, 0x0433, 0x0447, 0x043C, 0x0441};
  static const char16_t kTo[] = {u'D', u'M', u'Y', u'h', u'm', u's'};
  std::u16string out(format);
  bool quoted = false;
  for (char16_t& c : out) {
    if (c == u'"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    bool done = false;
    for (int k = 0; k < 6 && !done; ++k)
      if (c == kFrom[k]) c = kTo[k], done = true;
    char16_t up = platform::CharUpperW(c);
    for (int k = 0; k < 6 && !done; ++k)
      if (up == platform::CharUpperW(kFrom[k])) c = kTo[k], done = true;
  }
  return out;
}

std::u16string TXLSFormater::HtmlEscape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\r':
        out += u"<br>";
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        break;
      default: out += c;
    }
  }
  return out;
}

std::u16string TXLSFormater::GeneralNumber(double v) {
  if (std::isnan(v)) return u"NaN";
  if (std::isinf(v)) return v > 0 ? u"INF" : u"-INF";
  if (v == 0) return u"0";
  double a = std::fabs(v);
  char buf[64];
  if (a >= 1e-5 && a < 1e15) {
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (s.find('e') != std::string::npos) {  // %g chose exponent form near the bounds
      int digits = 15 - 1 - static_cast<int>(std::floor(std::log10(a)));
      std::snprintf(buf, sizeof buf, "%.*f", std::clamp(digits, 0, 20), v);
      s = buf;
      if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
      }
    }
    return Ascii(s);
  }
  std::snprintf(buf, sizeof buf, "%.14E", v);
  std::string s = buf;
  size_t e = s.find('E');
  std::string mant = s.substr(0, e), ex = s.substr(e + 1);
  if (mant.find('.') != std::string::npos) {
    mant.erase(mant.find_last_not_of('0') + 1);
    if (mant.back() == '.') mant.pop_back();
  }
  char sign = ex[0];
  std::string digits = ex.substr(1);
  while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
  return Ascii(mant + "E" + sign + digits);
}

namespace {

// A format's sections (at most four) and each one parsed.
struct ParsedFormat {
  std::u16string format;
  std::vector<std::u16string> parts;
  std::vector<Section> sections;
};

// The format last asked for on this thread, parsed once: the cells of a column share a format,
// and a format renders one value after another.
const ParsedFormat& Parsed(std::u16string_view format) {
  thread_local ParsedFormat last;
  thread_local bool valid = false;
  if (!valid || last.format != format) {
    valid = false;
    last.format.assign(format);
    last.parts = SplitSections(format);
    last.sections.clear();
    for (const std::u16string& part : last.parts) last.sections.push_back(ParseSection(part));
    valid = true;
  }
  return last;
}

}  // namespace

bool TXLSFormater::IsDateFormat(std::u16string_view format) {
  if (IsGeneralFormat(format)) return false;
  return Parsed(format).sections[0].date;
}

std::u16string TXLSFormater::FormatValueEx(const Variant& value, std::u16string_view format, bool html) const {
  auto general = [&](const std::u16string& colour) {
    std::u16string text;
    if (value.IsNumber() && !value.IsInteger()) text = GeneralNumber(value.NumberValue());
    else if (value.IsError()) text = ErrorCodeText(value.ErrorCode()).empty() ? value.ToText() : ErrorCodeText(value.ErrorCode());
    else text = value.ToText();
    return Html(text, colour, html);
  };
  if (value.IsBoolean()) return value.BooleanValue() ? u"True" : u"False";
  if (IsGeneralFormat(format) || value.IsEmptyOrNull()) return general(u"");

  const ParsedFormat& parsed = Parsed(format);
  const std::vector<std::u16string>& parts = parsed.parts;
  if (!value.IsNumber()) {
    // Text: the fourth section, or a single section that holds "@", shows it.
    const Section* textSection = nullptr;
    if (parts.size() >= 4) textSection = &parsed.sections[3];
    else if (parts.size() == 1 && parsed.sections[0].hasText) textSection = &parsed.sections[0];
    if (!value.IsText() || textSection == nullptr) return general(u"");
    const Section& s = *textSection;
    std::u16string out;
    for (const Token& t : s.tokens) {
      if (t.kind == Tok::Literal) out += t.text;
      else if (t.kind == Tok::Text) out += value.TextValue();
    }
    return Html(out, s.colour, html);
  }

  double v = value.NumberValue();
  const std::span<const Section> sections(parsed.sections.data(), std::min<size_t>(parsed.sections.size(), 3));
  bool conditional = sections[0].op != CondOp::None || (sections.size() > 1 && sections[1].op != CondOp::None);
  const Section* chosen = &sections[0];
  bool negate = false;
  if (sections[0].date) {
    chosen = &sections[0];
  } else if (conditional) {
    chosen = nullptr;
    size_t k = 0;
    for (; k < sections.size() && k < 2 && sections[k].op != CondOp::None; ++k) {
      if (Satisfies(sections[k], v)) {
        chosen = &sections[k];
        break;
      }
    }
    if (chosen == nullptr) {
      if (k < sections.size()) chosen = &sections[k];
      else return Html(GeneralNumber(v), u"", html);  // no section takes the value
    }
    // A section that takes only negative values, and the second section taking what the first
    // condition left, show values without their sign.
    if (v < 0 && ((chosen->op == CondOp::Less && chosen->operand <= 0) ||
                  (chosen->op == CondOp::LessEq && chosen->operand < 0) ||
                  (chosen == &sections[1] && chosen->op == CondOp::None)))
      negate = true;
  } else if (v < 0 && sections.size() > 1) {
    chosen = &sections[1];
    negate = parts[1] != parts[0];
  } else if (v == 0 && sections.size() > 2) {
    chosen = &sections[2];
  }
  if (negate) v = -v;

  std::u16string text;
  if (chosen->date) {
    text = RenderDate(*chosen, v, !value.IsDate());
  } else {
    std::u16string sign;
    if (v < 0) sign = u"-", v = -v;
    text = RenderNumber(*chosen, v);
    // A value that rounds to zero in this format shows no sign.
    if (!sign.empty() && (!chosen->hasDigits || text != RenderNumber(*chosen, 0))) text = sign + text;
  }
  return Html(text, chosen->colour, html);
}

}  // namespace xls
