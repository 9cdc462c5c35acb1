#include "platform/wide_case.h"

namespace platform {

namespace {

// Latin Extended-A pairs upper/lower as even/odd code points, except the runs that start odd.
bool LatinExtAUpper(char16_t c) {
  if (c >= 0x0100 && c <= 0x0137) return (c & 1) == 0;
  if (c >= 0x0139 && c <= 0x0148) return (c & 1) == 1;
  if (c >= 0x014A && c <= 0x0177) return (c & 1) == 0;
  if (c == 0x0179 || c == 0x017B || c == 0x017D) return true;
  return false;
}

bool LatinExtALower(char16_t c) {
  if (c >= 0x0101 && c <= 0x0137) return (c & 1) == 1;
  if (c >= 0x013A && c <= 0x0148) return (c & 1) == 0;
  if (c >= 0x014B && c <= 0x0177) return (c & 1) == 1;
  if (c == 0x017A || c == 0x017C || c == 0x017E) return true;
  return false;
}

}  // namespace

bool IsCharAlphaW(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return true;
  if (c == 0x00AA || c == 0x00B5 || c == 0x00BA) return true;
  if (c >= 0x00C0 && c <= 0x024F) return c != 0x00D7 && c != 0x00F7;
  if (c >= 0x0370 && c <= 0x03FF) return c != 0x037E && c != 0x0387 && c != 0x0375;
  if (c >= 0x0400 && c <= 0x052F) return !(c >= 0x0482 && c <= 0x0489);
  return false;
}

char16_t CharUpperW(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c < 0x80) return c;
  if (c == 0x00FF) return 0x0178;
  if (c == 0x0131) return u'I';
  if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return static_cast<char16_t>(c - 32);
  if (LatinExtALower(c)) return static_cast<char16_t>(c - 1);
  if (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 32);
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 80);
  return c;
}

char16_t CharLowerW(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0x80) return c;
  if (c == 0x0178) return 0x00FF;
  if (c == 0x0130) return u'i';
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 32);
  if (LatinExtAUpper(c)) return static_cast<char16_t>(c + 1);
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 32);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 80);
  return c;
}

}  // namespace platform
