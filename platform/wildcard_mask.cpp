#include "platform/wildcard_mask.h"

namespace platform {

namespace {

std::uint8_t Upper(std::uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 32) : c; }

[[noreturn]] void Invalid(const std::string& mask, size_t index) {
  std::string text = "'" + mask + "' is an invalid mask at (" + std::to_string(index + 1) + ")";
  throw WildcardMaskError(text);
}

}  // namespace

WildcardMask::WildcardMask(const std::string& mask, WildcardRules rules) : rules_(rules) {
  // Counted first, so that the states are made in one array of the right size.
  int count = Compile(mask, false);
  states_.resize(static_cast<size_t>(count));
  Compile(mask, true);
}

bool WildcardMask::IsLead(std::uint8_t c) const {
  switch (rules_.codePage) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
  }
}

size_t WildcardMask::CharLength(const std::string& text, size_t pos) const {
  return pos + 1 < text.size() && IsLead(static_cast<std::uint8_t>(text[pos])) ? 2 : 1;
}

int WildcardMask::Compile(const std::string& mask, bool fill) {
  int count = 0, wildcards = 0;
  bool skip = false;
  auto add = [&](size_t at) -> State* {
    if (skip && ++wildcards > kMaxWildcards) Invalid(mask, at);
    State* s = fill ? &states_[static_cast<size_t>(count)] : nullptr;
    if (s) s->skip = skip;
    skip = false;
    ++count;
    return s;
  };
  const size_t n = mask.size();
  size_t i = 0;
  while (i < n) {
    const auto c = static_cast<std::uint8_t>(mask[i]);
    if (c == '*') {
      skip = true;
      ++i;
    } else if (c == '?') {
      if (!skip || !rules_.dropQuestionAfterStar) {
        if (State* s = add(i)) s->kind = kAny;
      }
      ++i;
    } else if (c == '[') {
      size_t start = i;
      std::bitset<256> set;
      bool negate = false, any = false, closed = false;
      int prev = -1;
      ++i;
      if (i < n && mask[i] == '!') negate = true, ++i;
      while (i < n) {
        auto m = static_cast<std::uint8_t>(mask[i]);
        if (m == ']') {
          closed = true;
          break;
        }
        if (IsLead(m) && i + 1 < n) {  // double-byte characters cannot be members
          i += 2;
          prev = -1;
          continue;
        }
        if (m == '-') {
          if (prev < 0) Invalid(mask, i);
          if (i + 1 >= n) Invalid(mask, i);
          std::uint8_t last = Upper(static_cast<std::uint8_t>(mask[i + 1]));
          for (int k = prev; k <= last; ++k) set.set(static_cast<size_t>(k)), any = true;
          prev = last;
          i += 2;
          continue;
        }
        m = Upper(m);
        set.set(m);
        any = true;
        prev = m;
        ++i;
      }
      if (!closed || !any) Invalid(mask, i < n ? i : (n > start ? n - 1 : start));
      if (State* s = add(start)) {
        s->kind = kSet;
        s->negate = negate;
        s->set = std::make_unique<std::bitset<256>>(set);
      }
      ++i;
    } else if (IsLead(c) && i + 1 < n) {
      if (State* s = add(i)) {
        s->kind = kDoubleByte;
        s->lead = c;
        s->trail = static_cast<std::uint8_t>(mask[i + 1]);
      }
      i += 2;
    } else {
      if (State* s = add(i)) {
        s->kind = kLiteral;
        s->literal = Upper(c);
      }
      ++i;
    }
  }
  // The end of the text.
  if (State* s = add(n)) {
    s->kind = kLiteral;
    s->literal = 0;
  }
  return count;
}

bool WildcardMask::Accepts(const State& s, const std::string& text, size_t pos) const {
  const bool end = pos >= text.size();
  switch (s.kind) {
    case kLiteral:
      if (s.literal == 0) return end;
      return !end && Upper(static_cast<std::uint8_t>(text[pos])) == s.literal;
    case kAny: return !end;
    case kSet: {
      if (end) return false;
      bool in = s.set->test(Upper(static_cast<std::uint8_t>(text[pos])));
      return in != s.negate;
    }
    case kDoubleByte:
      return pos + 1 < text.size() && static_cast<std::uint8_t>(text[pos]) == s.lead &&
             static_cast<std::uint8_t>(text[pos + 1]) == s.trail;
  }
  return false;
}

bool WildcardMask::Matches(const std::string& text) const {
  // Backtracking resumes at the most recent wildcard. Once a later wildcard has been placed,
  // moving an earlier one further right can only leave less text for the rest, so only the
  // latest point needs keeping: the answer is the same and the work stays linear per attempt.
  bool havePoint = false;
  size_t pointPos = 0, pointState = 0;
  size_t pos = 0, st = 0;
  for (;;) {
    bool failed = false;
    for (; st < states_.size(); ++st) {
      const State& s = states_[st];
      if (s.skip) {
        while (pos < text.size() && !Accepts(s, text, pos)) pos += CharLength(text, pos);
        if (pos < text.size()) havePoint = true, pointPos = pos + CharLength(text, pos), pointState = st;
      }
      if (!Accepts(s, text, pos)) {
        failed = true;
        break;
      }
      if (pos < text.size()) pos += s.kind == kDoubleByte ? 2 : CharLength(text, pos);
    }
    if (!failed) return true;
    if (!havePoint) return false;
    havePoint = false;
    pos = pointPos;
    st = pointState;
  }
}

}  // namespace platform
