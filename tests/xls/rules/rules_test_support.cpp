#include "rules_test_support.h"

#include <cstdio>

#include "xls/formula/calc/calculator.h"

namespace xls::test {

std::vector<std::uint8_t> Hex(const std::string& text) {
  std::vector<std::uint8_t> out;
  unsigned v = 0;
  int n = 0;
  for (char c : text) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) continue;
    v = v * 16 + static_cast<unsigned>(d);
    if (++n == 2) {
      out.push_back(static_cast<std::uint8_t>(v));
      v = 0;
      n = 0;
    }
  }
  return out;
}

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x ", b);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string HexOf(const TXLSBlob& blob, std::uint32_t from) {
  return HexOf(std::vector<std::uint8_t>(blob.GetData() + from, blob.GetData() + blob.GetSize()));
}

std::unique_ptr<TXLSBlobList> Group(const std::vector<std::uint8_t>& body, int continues) {
  auto list = std::make_unique<TXLSBlobList>();
  for (int i = 0; i <= continues; ++i) {
    auto* b = new TXLSBlob(static_cast<std::uint32_t>(body.size()));
    for (std::uint8_t v : body) b->AddByte(v);
    list->Add(b);
  }
  return list;
}

std::vector<std::uint8_t> Tokens(TXLSCalculator& calc, const std::u16string& text, int kind) {
  if (text.empty()) return {};
  auto f = calc.CompileText(text, 0);
  if (!f) return {};
  std::unique_ptr<TXLSBlob> bytes;
  if (calc.GetFormulaBytes(*f, bytes, kind, 0, 0, 0) != 1) return {};
  return std::vector<std::uint8_t>(bytes->GetData() + 2, bytes->GetData() + 2 + bytes->GetWord(0));
}

namespace {
void Word(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void DWord(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Word(b, v);
  Word(b, v >> 16);
}
void Ranges(std::vector<std::uint8_t>& b, const std::vector<std::vector<int>>& ranges) {
  Word(b, static_cast<std::uint32_t>(ranges.size()));
  for (const auto& r : ranges)
    for (int v : r) Word(b, static_cast<std::uint32_t>(v));
}
}  // namespace

std::vector<std::uint8_t> CFBody(TXLSCalculator& calc, int type, int op, const std::u16string& f1,
                                 const std::u16string& f2, std::uint32_t options) {
  const auto t1 = Tokens(calc, f1), t2 = Tokens(calc, f2);
  std::vector<std::uint8_t> b{static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(op)};
  Word(b, static_cast<std::uint32_t>(t1.size()));
  Word(b, static_cast<std::uint32_t>(t2.size()));
  DWord(b, options);  // bit 29: a pattern block follows
  Word(b, 0);
  for (std::uint8_t v : {0x00, 0x04, 0x0A, 0x00}) b.push_back(v);
  b.insert(b.end(), t1.begin(), t1.end());
  b.insert(b.end(), t2.begin(), t2.end());
  return b;
}

std::vector<std::uint8_t> CondFmtBody(int rules, const std::vector<std::vector<int>>& ranges) {
  std::vector<std::uint8_t> b;
  Word(b, static_cast<std::uint32_t>(rules));
  Word(b, 1);
  for (int i = 0; i < 4; ++i) Word(b, 0);  // the bounds, recomputed by the reader
  Ranges(b, ranges);
  return b;
}

std::vector<std::uint8_t> DVBody(TXLSCalculator& calc, std::uint32_t options, const std::vector<std::u16string>& texts,
                                 const std::u16string& f1, const std::u16string& f2,
                                 const std::vector<std::vector<int>>& ranges, int kind) {
  std::vector<std::uint8_t> b;
  DWord(b, options);
  for (const std::u16string& text : texts) {
    if (text.empty()) {
      for (std::uint8_t v : {1, 0, 0, 0}) b.push_back(v);
      continue;
    }
    Word(b, static_cast<std::uint32_t>(text.size()));
    b.push_back(1);
    for (char16_t c : text) Word(b, c);
  }
  for (const std::u16string* f : {&f1, &f2}) {
    const auto t = Tokens(calc, *f, kind);
    Word(b, static_cast<std::uint32_t>(t.size()));
    Word(b, 0);
    b.insert(b.end(), t.begin(), t.end());
  }
  Ranges(b, ranges);
  return b;
}

}  // namespace xls::test

namespace xls::test {
namespace {

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::uint32_t W(const std::vector<std::uint8_t>& b, std::size_t at) {
  return at + 1 < b.size() ? static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8)) : 0;
}

std::string FormulaAt(TXLSCalculator& calc, const std::vector<std::uint8_t>& b, std::size_t at, std::size_t size) {
  if (size == 0) return "-";
  if (at + size > b.size()) return "<short>";
  auto f = calc.CompileBytes(b.data(), at + size, at, 0x0600, size);
  if (!f) return "<bad tokens>";
  std::u16string text;
  calc.GetFormulaText(0, *f, text, 0, 0);
  return Utf8(text);
}

std::string Slice(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to) {
  if (to > b.size()) to = b.size();
  return from < to ? HexOf(std::vector<std::uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(from),
                                                     b.begin() + static_cast<std::ptrdiff_t>(to)))
                   : "";
}

// A counted string: count (u16 or the given count), flag byte, characters.
std::string Text(const std::vector<std::uint8_t>& b, std::size_t& at, std::uint32_t count) {
  if (at >= b.size()) return "<short>";
  const bool wide = b[at++] & 1;
  std::u16string s;
  for (std::uint32_t i = 0; i < count && at < b.size(); ++i) {
    s += wide ? static_cast<char16_t>(W(b, at)) : static_cast<char16_t>(b[at]);
    at += wide ? 2 : 1;
  }
  if (s == std::u16string(1, u'\0')) s.clear();
  return "\"" + Utf8(s) + "\"";
}

}  // namespace

std::string DescribeRuleRecord(TXLSCalculator& calc, std::uint16_t id, const std::vector<std::uint8_t>& b) {
  char head[16];
  std::snprintf(head, sizeof head, "%04X ", id);
  std::string out = head;
  if (id == 0x01B1 && b.size() >= 12) {
    const std::uint32_t s1 = W(b, 2), s2 = W(b, 4);
    const std::size_t blocks = b.size() >= 12 + s1 + s2 ? b.size() - s1 - s2 : 12;
    return out + Slice(b, 0, 2) + " | " + Slice(b, 6, blocks) + " | " + FormulaAt(calc, b, blocks, s1) + " | " +
           FormulaAt(calc, b, blocks + s1, s2);
  }
  if (id == 0x01BE && b.size() >= 4) {
    out += Slice(b, 0, 4);
    std::size_t at = 4;
    for (int i = 0; i < 4; ++i) {
      const std::uint32_t count = W(b, at);
      at += 2;
      out += " " + Text(b, at, count);
    }
    for (int i = 0; i < 2; ++i) {
      const std::uint32_t size = W(b, at);
      out += " | " + FormulaAt(calc, b, at + 4, size);
      at += 4 + size;
    }
    return out + " | " + Slice(b, at, b.size());
  }
  if (id == 0x009E && b.size() >= 24) {
    char options[8];
    std::snprintf(options, sizeof options, "%04x", W(b, 2) & ~0x000Cu);
    out += Slice(b, 0, 2) + " " + options + " | " + Slice(b, 4, 24);
    std::size_t at = 24;
    for (std::size_t cond : {4u, 14u})
      if (b[cond] == 6) out += " " + Text(b, at, b[cond + 6]);
    return out;
  }
  return out + Slice(b, 0, b.size());
}

}  // namespace xls::test
