#include "xls/formula/lexer.h"

namespace xls {

void TXLSTokens::Add(int kind, std::string text) {
  tokens_.push_back({kind, std::move(text)});
  if (tokens_.size() == 1) {
    current_ = 0;
    end_ = false;
  }
}

void TXLSTokens::First() {
  current_ = tokens_.empty() ? -1 : 0;
  end_ = tokens_.empty();
}

void TXLSTokens::Next() {
  if (current_ < 0) return;
  ++current_;
  if (current_ >= Count()) current_ = -1;
  end_ = current_ < 0;
}

void TXLSTokens::Previous() {
  if (current_ < 0) {
    // Stepping back from the end returns to the last token.
    current_ = Count() - 1;
  } else {
    --current_;
  }
  end_ = current_ < 0;
}

int TXLSTokens::Kind() const { return current_ < 0 ? -1 : tokens_[static_cast<size_t>(current_)].kind; }

std::string TXLSTokens::Text() const {
  return current_ < 0 ? std::string() : tokens_[static_cast<size_t>(current_)].text;
}

const TXLSToken* TXLSTokens::Peek(int offset) const {
  if (current_ < 0) return nullptr;
  int i = current_ + offset;
  if (i < 0 || i >= Count()) return nullptr;
  return &tokens_[static_cast<size_t>(i)];
}

const ErrorConstant kErrorConstants[7] = {
    {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
    {"#NAME?", 0x1D}, {"#NUM!", 0x24},  {"#N/A", 0x2A},
};

int ErrorCodeOfText(const std::string& text) {
  for (const auto& e : kErrorConstants) {
    if (text == e.text) return e.code;
  }
  return -1;
}

const char* ErrorTextOfCode(int code) {
  for (const auto& e : kErrorConstants) {
    if (code == e.code) return e.text;
  }
  return nullptr;
}

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool InReferenceSet(char c) {
  return c == '!' || c == '$' || IsDigit(c) || c == ':' || IsLetter(c) || c == '_';
}
bool EndsIdentifier(char c) {
  switch (c) {
    case ' ': case '"': case ',': case ';': case '{': case '}': case '|': case '(': case ')': case '+': case '-': case '/':
    case '*': case '^': case '=': case '&': case '%': case '>': case '<':
      return true;
  }
  return false;
}
// Tokens after which a space may stand for the intersection of two references.
bool EndsOperand(int kind) {
  return kind == kTokIdentifier || kind == kTokReference || kind == kTokSheetReference ||
         kind == kTokClose;
}
bool StartsReference(char c) { return IsLetter(c) || c == '$' || c == '\'' || c == '('; }

}  // namespace

void TXLSLexer::SetText(std::string text) {
  text_ = std::move(text);
  pos_ = 1;
  acc_.clear();
  state_ = 0;
  tokens_ = TXLSTokens();
}

char TXLSLexer::Char(int offset) const {
  int i = pos_ + offset;
  if (i < 1 || i > static_cast<int>(text_.size())) return 0;
  return text_[static_cast<size_t>(i - 1)];
}

void TXLSLexer::Emit(int kind) {
  tokens_.Add(kind, acc_);
  acc_.clear();
  state_ = 0;
}

void TXLSLexer::Single(int kind) {
  tokens_.Add(kind, std::string(1, Char()));
  Advance();
}

int TXLSLexer::Scan() {
  int result = 1;
  state_ = 0;
  acc_.clear();
  while (result == 1) {
    if (AtEnd()) {
      switch (state_) {
        case 1: Emit(kTokIdentifier); break;
        case 3: Emit(kTokNumber); break;
        case 4: Emit(kTokReference); break;
        case 5: Emit(kTokSheetReference); break;
        case 2: case 6: result = -1; break;
      }
      break;
    }
    char c = Char();
    switch (state_) {
      case 0:
        if (IsLetter(c)) {
          acc_ = c; Advance(); state_ = 1;
        } else if (IsDigit(c) || c == decimal_) {
          acc_ = c; Advance(); state_ = 3;
        } else if (c == ' ') {
          // Spaces separate tokens; between two references they intersect them.
          while (Char() == ' ') Advance();
          int count = tokens_.Count();
          if (count > 0 && EndsOperand(tokens_.At(count - 1).kind) && StartsReference(Char()) &&
              !(tokens_.At(count - 1).kind == kTokIdentifier && Char() == '(')) {
            tokens_.Add(kTokIntersect, " ");
          }
        } else if (c == '"') {
          acc_.clear(); Advance(); state_ = 2;
        } else if (c == '\'') {
          acc_.clear(); Advance(); state_ = 6;
        } else if (c == '$') {
          acc_.assign(1, '$'); Advance(); state_ = 4;
        } else if (c == '>') {
          if (Char(1) == '=') { tokens_.Add(kTokGreaterEqual, ">="); Advance(); Advance(); }
          else Single(kTokGreater);
        } else if (c == '<') {
          if (Char(1) == '=') { tokens_.Add(kTokLessEqual, "<="); Advance(); Advance(); }
          else if (Char(1) == '>') { tokens_.Add(kTokNotEqual, "<>"); Advance(); Advance(); }
          else Single(kTokLess);
        } else {
          int kind = 0;
          switch (c) {
            case ';': kind = kTokSeparator; break;
            case '(': kind = kTokOpen; break;
            case ')': kind = kTokClose; break;
            case '+': kind = kTokPlus; break;
            case '-': kind = kTokMinus; break;
            case '/': kind = kTokDiv; break;
            case '*': kind = kTokMul; break;
            case '^': kind = kTokPower; break;
            case '=': kind = kTokEqual; break;
            case '&': kind = kTokConcat; break;
            case '%': kind = kTokPercent; break;
            case ',': kind = kTokUnion; break;
            case '{': kind = kTokArrayOpen; break;
            case '}': kind = kTokArrayClose; break;
            case '|': kind = kTokArrayRow; break;
          }
          if (c == '#') {
            // An error constant: the longest known error text at this place.
            std::string found;
            for (const auto& e : kErrorConstants) {
              std::string t = e.text;
              bool match = true;
              for (size_t k = 0; k < t.size() && match; ++k) {
                char ch = Char(static_cast<int>(k));
                if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
                match = ch == t[k];
              }
              if (match && t.size() > found.size()) found = t;
            }
            if (found.empty()) {
              result = -1;
            } else {
              tokens_.Add(kTokError, found);
              pos_ += static_cast<int>(found.size());
            }
            break;
          }
          if (kind == 0) result = -1;
          else Single(kind);
        }
        break;
      case 1:
        if (IsLetter(c) || IsDigit(c) || c == '_') {
          acc_ += c; Advance();
        } else if (c == '$' || c == ':') {
          acc_ += c; Advance(); state_ = 4;
        } else if (c == '!') {
          acc_ += c; Advance(); state_ = 5;
        } else if (c == '\'') {
          Advance(); state_ = 6;
        } else if (EndsIdentifier(c)) {
          Emit(kTokIdentifier);
        } else {
          acc_ += c; Advance();
        }
        break;
      case 2:
        Advance();
        if (c == '"') {
          if (Char() == '"') { acc_ += '"'; Advance(); }
          else Emit(kTokString);
        } else {
          acc_ += c;
        }
        break;
      case 3:
        if (IsDigit(c) || c == decimal_) {
          acc_ += c; Advance();
        } else if (c == ':') {
          acc_ += c; Advance(); state_ = 4;
        } else {
          Emit(kTokNumber);
        }
        break;
      case 4:
      case 5:
        if (InReferenceSet(c)) {
          acc_ += c; Advance();
        } else if (c == '\'') {
          Advance(); state_ = 6;
        } else {
          Emit(state_ == 4 ? kTokReference : kTokSheetReference);
        }
        break;
      case 6:
        Advance();
        if (c == '\'') {
          if (Char() == '\'') { acc_ += '\''; Advance(); }
          else state_ = 5;
        } else {
          acc_ += c;
        }
        break;
    }
  }
  return result;
}

}  // namespace xls
