// Wildcard masks with sets: the shared mask engine (platform/wildcard_mask.h) under the
// spreadsheet library's names (the calculator's criteria and exact lookups match with
// WildcardMatches instead, which knows no sets but an escape): "*" any run of characters, "?" one character (dropped
// right after a "*"), "[abc]", "[a-z]" and "[!0-9]" sets; letters match without regard to case
// (ASCII rules). Masks and texts are 8-bit (ANSI) strings; in a double-byte code page a lead
// byte and its trail byte form one character. An invalid mask raises EMaskException when it is
// compiled.
#pragma once

#include <string>

#include "platform/wildcard_mask.h"

namespace xls {

using EMaskException = platform::WildcardMaskError;

class TMask : public platform::WildcardMask {
 public:
  // Compiles the mask; codePage picks the double-byte lead bytes (932, 936, 949, 950; every
  // other code page is single-byte).
  explicit TMask(const std::string& mask, int codePage = 1252) : WildcardMask(mask, {codePage, true}) {}
};

inline bool MatchesMask(const std::string& text, const std::string& mask, int codePage = 1252) {
  return TMask(mask, codePage).Matches(text);
}

}  // namespace xls
