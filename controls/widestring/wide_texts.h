// Wide-string support, the text services without windows: the errors and their texts, hints,
// hot keys, and wide strings kept in step with an 8-bit property.
//
// On Qt every widget, menu and action already holds UTF-16 text, so the wide forms of captions
// and hints are the Qt texts themselves; what is here serves the 8-bit side (configuration
// texts, document fields, old stored texts) and the menu helpers of wide_menus.h.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace widestring {

// The errors of the wide-string support. EWideGeneralError: bad input (malformed UTF-7);
// EWideInternalError: a fault of the support itself (a buffer too small, a failed hot-key
// synchronisation, a helper made the wrong way).
class EWideError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EWideGeneralError : public EWideError {
 public:
  using EWideError::EWideError;
};
class EWideInternalError : public EWideError {
 public:
  using EWideError::EWideError;
};

// The message texts.
inline constexpr const char* SBufferOverflow = "Buffer overflow";
inline constexpr const char* SInvalidUtf7 = "Invalid UTF7";
inline constexpr const char* SHelperIndexFailed =
    "Wide-string internal error: FindWideComponentHelperIndex failed.";
inline constexpr const char* SHelperCreate =
    "Wide-string internal error: TWideComponentHelper.Create should never be encountered.";
// "Internal Error: SyncHotKeyPosition Failed ("<wide>" <> "<ansi>")." with both captions as UTF-8.
std::string SyncHotKeyFailedText(std::u16string_view wide, std::u16string_view ansi);

// The short and the long part of a hint: the text before and after the first "|"; the whole
// text when there is none.
std::u16string ShortHintPart(std::u16string_view hint);
std::u16string LongHintPart(std::u16string_view hint);

// Hot keys of captions. A caption marks its hot key with "&"; "&&" is a literal "&".
// StripHotKeys removes every "&"; in a Far East locale (`farEast`) a trailing "(&X)" group is
// removed whole.
std::u16string StripHotKeys(std::u16string_view caption, bool farEast = false);
// Whether two captions are the same text once their hot keys are stripped (a trailing "(&X)"
// whole in a Far East locale of the process, FarEastLocale); `sameText` compares without regard
// to case.
bool SameCaptionText(std::u16string_view a, std::u16string_view b, bool sameText = false);
// The wide caption with its "&" moved to where the 8-bit caption has it, when the two differ
// only in that (in a Far East locale, the 8-bit caption's trailing "(&X)" replaces the wide
// one's); throws EWideInternalError (SyncHotKeyFailedText) when the wide caption cannot
// follow.
std::u16string SyncHotKeyPosition(std::u16string_view wide, std::u16string_view ansi);

// A wide string kept beside an 8-bit property (a caption, a hint, a title). The wide value
// counts only while its 8-bit form in the default code page equals the property; when the
// property was changed behind its back, the property converted to wide is the value.
std::u16string KeptInStepGet(const std::u16string& stored, const std::string& ansi);
// Stores `value` when it differs from the current value and hands its 8-bit form to the
// setter; when the 8-bit form is what the property already holds but the wide text differs,
// the setter first receives an empty text so that a change is signalled.
void KeptInStepSet(const std::u16string& value, std::u16string& stored, const std::string& ansi,
                   const std::function<void(const std::string&)>& setAnsi);

// A check on a handle or atom result: 0 raises the last error of the system (errno) as
// std::system_error.
unsigned CheckResult(unsigned result);

}  // namespace widestring
