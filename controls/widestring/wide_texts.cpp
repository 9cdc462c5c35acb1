#include "controls/widestring/wide_texts.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include "controls/widestring/code_pages.h"
#include "platform/wide_case.h"

namespace widestring {

std::string SyncHotKeyFailedText(std::u16string_view wide, std::u16string_view ansi) {
  return "Internal Error: SyncHotKeyPosition Failed (\"" + WideStringToStringEx(wide, CP_UTF8) + "\" <> \"" +
         WideStringToStringEx(ansi, CP_UTF8) + "\").";
}

std::u16string ShortHintPart(std::u16string_view hint) { return std::u16string(hint.substr(0, hint.find(u'|'))); }

std::u16string LongHintPart(std::u16string_view hint) {
  const auto bar = hint.find(u'|');
  return std::u16string(bar == std::u16string_view::npos ? hint : hint.substr(bar + 1));
}

namespace {

// "(&X)" at the end, as Far East captions carry their hot key.
bool EndsInHotKeyGroup(std::u16string_view caption) {
  return caption.size() >= 4 && caption.substr(caption.size() - 4, 2) == u"(&" && caption.back() == u')';
}

}  // namespace

std::u16string StripHotKeys(std::u16string_view caption, bool farEast) {
  if (farEast && EndsInHotKeyGroup(caption)) caption.remove_suffix(4);
  std::u16string out;
  for (char16_t c : caption)
    if (c != u'&') out.push_back(c);
  return out;
}

bool SameCaptionText(std::u16string_view a, std::u16string_view b, bool sameText) {
  const bool farEast = FarEastLocale();
  const std::u16string x = StripHotKeys(a, farEast);
  const std::u16string y = StripHotKeys(b, farEast);
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i] && !(sameText && platform::CharUpperW(x[i]) == platform::CharUpperW(y[i]))) return false;
  return true;
}

std::u16string SyncHotKeyPosition(std::u16string_view wide, std::u16string_view ansi) {
  const bool farEast = FarEastLocale();
  const std::u16string plainWide = StripHotKeys(wide, farEast);
  const std::u16string plainAnsi = StripHotKeys(ansi, farEast);
  // The 8-bit caption's trailing hot-key group goes to the end of the result whole.
  std::u16string_view group;
  const std::u16string_view fullAnsi = ansi;
  if (farEast && EndsInHotKeyGroup(ansi)) {
    group = ansi.substr(ansi.size() - 4);
    ansi.remove_suffix(4);
  }
  bool same = plainWide.size() == plainAnsi.size();
  // A character that the code page lacks stands as "?" in the 8-bit caption.
  for (std::size_t i = 0; same && i < plainWide.size(); ++i)
    same = plainWide[i] == plainAnsi[i] || plainAnsi[i] == u'?';
  if (!same) throw EWideInternalError(SyncHotKeyFailedText(wide, fullAnsi));
  // Every "&" of the 8-bit caption, by the plain-text position it stands before.
  std::vector<std::size_t> marks;
  std::size_t plain = 0;
  for (char16_t c : ansi) {
    if (c == u'&')
      marks.push_back(plain);
    else
      ++plain;
  }
  std::u16string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i <= plainWide.size(); ++i) {
    while (next < marks.size() && marks[next] == i) {
      out.push_back(u'&');
      ++next;
    }
    if (i < plainWide.size()) out.push_back(plainWide[i]);
  }
  out += group;
  return out;
}

std::u16string KeptInStepGet(const std::u16string& stored, const std::string& ansi) {
  if (WideStringToString(stored) == ansi) return stored;
  return StringToWideString(ansi);
}

void KeptInStepSet(const std::u16string& value, std::u16string& stored, const std::string& ansi,
                   const std::function<void(const std::string&)>& setAnsi) {
  if (value == KeptInStepGet(stored, ansi)) return;
  stored = value;
  const std::string newAnsi = WideStringToString(value);
  if (newAnsi == ansi) setAnsi(std::string());
  setAnsi(newAnsi);
}

unsigned CheckResult(unsigned result) {
  if (result == 0) throw std::system_error(errno ? errno : EINVAL, std::generic_category());
  return result;
}

}  // namespace widestring
