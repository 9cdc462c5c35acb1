#include "core/station_set.h"

#include <string>
#include <vector>

namespace core {

int StationSet::lowest() const {
  for (int s = 1; s <= 254; ++s)
    if (contains(s)) return s;
  return 0;
}

int StationSet::highest() const {
  for (int s = 254; s >= 1; --s)
    if (contains(s)) return s;
  return 0;
}

bool ParseStationNumber(std::string_view text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;  // beyond the runtime's integers
  }
  value = negative ? -v : v;
  return true;
}

namespace {

// Items at commas and line breaks; blanks before an item are skipped, blanks before the comma
// stay in it; quotes keep commas inside the item (and stay in it, so it is no number).
std::vector<std::string> SplitItems(std::string_view text) {
  std::vector<std::string> items;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::string item;
    char quote = 0;
    for (; i < text.size(); ++i) {
      char c = text[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == ',' || c == '\r' || c == '\n') {
        break;
      }
      item += c;
    }
    if (i < text.size()) ++i;  // the separator
    if (!item.empty()) items.push_back(std::move(item));
  }
  return items;
}

bool InRange(std::int64_t v) { return v >= 1 && v <= 254; }

}  // namespace

StationSet ParseStationList(std::string_view text) {
  StationSet set;
  for (const std::string& item : SplitItems(text)) {
    auto dash = item.find('-');
    std::int64_t a, b;
    if (dash == std::string::npos) {
      if (ParseStationNumber(item, a) && InRange(a)) set.add(static_cast<int>(a));
    } else if (dash >= 1) {
      std::string_view first(item.data(), dash);
      std::string_view second = std::string_view(item).substr(dash + 1, 99);
      if (ParseStationNumber(first, a) && ParseStationNumber(second, b) && InRange(a) && b > a && b <= 254)
        for (auto s = a; s <= b; ++s) set.add(static_cast<int>(s));
    }
  }
  return set;
}

}  // namespace core
