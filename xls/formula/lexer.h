// Cuts the text of a formula (without the leading "=") into tokens for the parser. The syntax
// is fixed whatever the regional settings: ";" between arguments, "." as decimal point, text in
// double quotes, sheet names optionally in single quotes.
#pragma once

#include <string>
#include <vector>

namespace xls {

enum TokenKind : int {
  kTokIdentifier = 1,
  kTokNumber = 2,
  kTokString = 3,
  kTokOpen = 4,
  kTokClose = 5,
  kTokSeparator = 6,
  kTokPlus = 7,
  kTokMinus = 8,
  kTokMul = 9,
  kTokDiv = 10,
  kTokReference = 11,
  kTokConcat = 12,
  kTokEqual = 13,
  kTokNotEqual = 14,
  kTokGreater = 15,
  kTokLess = 16,
  kTokGreaterEqual = 17,
  kTokLessEqual = 18,
  kTokPower = 19,
  kTokPercent = 20,
  kTokSheetReference = 21,
  // Reference operators, so that printed unions and intersections read back:
  // "," joins references (union), a space between two references intersects them.
  kTokUnion = 22,
  kTokIntersect = 23,
  // Error constants such as #N/A, and array constants {1;2|3;4} (";" between columns, "|"
  // between rows), so that every constant a file holds prints as text that reads back.
  kTokError = 24,
  kTokArrayOpen = 25,
  kTokArrayClose = 26,
  kTokArrayRow = 27,
};

// The error constants as written in formulas, indexed with their BIFF codes.
struct ErrorConstant {
  const char* text;
  int code;
};
extern const ErrorConstant kErrorConstants[7];
// BIFF code of an error text (exact upper case), -1 when none; text of a code, nullptr when none.
int ErrorCodeOfText(const std::string& text);
const char* ErrorTextOfCode(int code);

struct TXLSToken {
  int kind = 0;
  std::string text;
};

// The token list with a read position.
class TXLSTokens {
 public:
  void Add(int kind, std::string text);
  void First();
  void Next();
  void Previous();
  bool End() const { return end_; }
  int Kind() const;                 // -1 at the end
  std::string Text() const;         // empty at the end
  const TXLSToken* Peek(int offset) const;
  int Count() const { return static_cast<int>(tokens_.size()); }
  const TXLSToken& At(int i) const { return tokens_[static_cast<size_t>(i)]; }

 private:
  std::vector<TXLSToken> tokens_;
  int current_ = -1;
  bool end_ = true;
};

class TXLSLexer {
 public:
  void SetText(std::string text);
  // 1 when the whole text was cut into tokens, -1 on a character that starts no token or an
  // unterminated string or quoted sheet name.
  int Scan();
  TXLSTokens& Tokens() { return tokens_; }

 private:
  char Char(int offset = 0) const;
  bool AtEnd() const { return pos_ > static_cast<int>(text_.size()); }
  void Advance() { ++pos_; }
  void Emit(int kind);
  void Single(int kind);

  std::string text_;
  int pos_ = 0;  // 1-based
  std::string acc_;
  int state_ = 0;
  char decimal_ = '.';
  TXLSTokens tokens_;
};

}  // namespace xls
