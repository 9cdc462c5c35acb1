// Wildcard masks: "*" any run of characters, "?" one character, "[abc]", "[a-z]" and "[!0-9]"
// sets; letters match without regard to case (ASCII rules). Masks and texts are 8-bit (ANSI)
// strings; in a double-byte code page a lead byte and its trail byte form one character. A
// mask is compiled once; an invalid one raises WildcardMaskError with the message "'<mask>' is
// an invalid mask at (<1-based position>)". The spreadsheet library's masks (xls/formula/cell_text)
// and the filter's LIKE (platform/dataset) match with it.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class WildcardMaskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct WildcardRules {
  // Picks the double-byte lead bytes (932, 936, 949, 950; every other code page is single-byte).
  int codePage = 1252;
  // A "?" right after a "*" is dropped ("*?" matches what "*" does); when false it still
  // stands for one character, as in file-name matching.
  bool dropQuestionAfterStar = true;
};

class WildcardMask {
 public:
  explicit WildcardMask(const std::string& mask, WildcardRules rules = {});
  bool Matches(const std::string& text) const;
  int StateCount() const { return static_cast<int>(states_.size()); }

  // More "*"-led states than this make a mask invalid.
  static constexpr int kMaxWildcards = 30;

 private:
  enum Kind : std::uint8_t { kLiteral = 0, kAny = 1, kSet = 2, kDoubleByte = 3 };
  struct State {
    bool skip = false;
    Kind kind = kLiteral;
    std::uint8_t literal = 0;
    bool negate = false;
    std::unique_ptr<std::bitset<256>> set;
    std::uint8_t lead = 0, trail = 0;
  };
  bool IsLead(std::uint8_t c) const;
  bool Accepts(const State& s, const std::string& text, size_t pos) const;
  size_t CharLength(const std::string& text, size_t pos) const;
  int Compile(const std::string& mask, bool fill);

  std::vector<State> states_;
  WildcardRules rules_;
};

}  // namespace platform
