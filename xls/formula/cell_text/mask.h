// Wildcard masks for COUNTIF / SUMIF criteria: "*" any run of characters, "?" one character,
// "[abc]", "[a-z]" and "[!0-9]" sets; letters match without regard to case (ASCII rules). Masks
// and texts are 8-bit (ANSI) strings; in a double-byte code page a lead byte and its trail byte
// form one character. An invalid mask raises EMaskException when it is compiled.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace xls {

class EMaskException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TMask {
 public:
  // Compiles the mask; codePage picks the double-byte lead bytes (932, 936, 949, 950; every
  // other code page is single-byte).
  explicit TMask(const std::string& mask, int codePage = 1252);
  bool Matches(const std::string& text) const;
  int StateCount() const { return static_cast<int>(states_.size()); }

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
  int codePage_;
};

bool MatchesMask(const std::string& text, const std::string& mask, int codePage = 1252);

}  // namespace xls
