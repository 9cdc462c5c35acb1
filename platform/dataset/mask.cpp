#include "platform/dataset/mask.h"

#include <cctype>

namespace dataset {
namespace {

char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Tests c against the set that starts after "[" at mask[i]; returns the index after "]".
std::size_t MatchSet(const std::string& mask, std::size_t i, char c, bool& matched) {
  std::size_t start = i - 1;
  bool negate = false;
  if (i < mask.size() && mask[i] == '!') {
    negate = true;
    ++i;
  }
  bool in = false;
  bool first = true;
  while (i < mask.size() && (mask[i] != ']' || first)) {
    first = false;
    char lo = Up(mask[i]);
    char hi = lo;
    if (i + 2 < mask.size() && mask[i + 1] == '-' && mask[i + 2] != ']') {
      hi = Up(mask[i + 2]);
      i += 2;
    }
    if (c >= lo && c <= hi) in = true;
    ++i;
  }
  if (i >= mask.size())
    throw MaskError("'" + mask + "' is an invalid mask at (" + std::to_string(start + 1) + ")");
  matched = in != negate;
  return i + 1;
}

}  // namespace

bool MatchesMask(const std::string& text, const std::string& mask) {
  // Greedy match that backtracks only to the last "*": every other element consumes
  // exactly one character, so this finds a match whenever one exists.
  std::size_t t = 0, m = 0;
  std::size_t starM = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = ++m;
      starT = t;
      continue;
    }
    if (m < mask.size()) {
      char c = Up(text[t]);
      bool ok;
      std::size_t next;
      if (mask[m] == '?') {
        ok = true;
        next = m + 1;
      } else if (mask[m] == '[') {
        next = MatchSet(mask, m + 1, c, ok);
      } else {
        ok = Up(mask[m]) == c;
        next = m + 1;
      }
      if (ok) {
        m = next;
        ++t;
        continue;
      }
    }
    if (starM == std::string::npos) return false;
    m = starM;
    t = ++starT;
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  if (m < mask.size()) {
    // Check the rest of the mask for an unclosed set before answering.
    for (std::size_t i = m; i < mask.size(); ++i)
      if (mask[i] == '[') {
        bool dummy;
        i = MatchSet(mask, i + 1, 'A', dummy) - 1;
      }
    return false;
  }
  return true;
}

}  // namespace dataset
