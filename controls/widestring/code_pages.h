// Wide-string support: the platform flags, the default code page and the conversions between
// 8-bit code pages and UTF-16.
//
// The one-byte and two-byte tables are the platform layer's (platform/codepage.h); this
// unit adds the code-page numbers that stand for a locale's code page, the locale's ANSI code
// page, and UTF-7 as code page 65000.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace widestring {

// Code-page numbers with a meaning of their own.
inline constexpr unsigned CP_ACP = 0;         // the ANSI code page of the system locale
inline constexpr unsigned CP_THREAD_ACP = 3;  // the ANSI code page of the thread's locale
inline constexpr unsigned CP_UTF7 = 65000;
inline constexpr unsigned CP_UTF8 = 65001;

// The platform flags. Qt windows take and show UTF-16 everywhere, and the platforms Qt 6 runs
// on are all past the versions these name: every flag is true.
bool PlatformIsUnicode();
bool PlatformIsXPOrLater();
bool PlatformIs2003OrLater();
bool PlatformIsVistaOrLater();

// The code page that the support converts with when none is named: CP_THREAD_ACP from
// start-up. SetDefaultUserCodePage changes it for the run; RestoreDefaultUserCodePage puts back
// the start-up value (what shut-down does).
unsigned DefaultUserCodePage();
void SetDefaultUserCodePage(unsigned codePage);
void RestoreDefaultUserCodePage();

// The ANSI code page of a locale name ("ru_RU.UTF-8", "de_DE", "C"): 1250..1258, 874, 932, 936,
// 949 or 950 by the locale's language (and territory for Chinese), else 1252.
unsigned AnsiCodePageOfLocale(std::string_view locale);
// The ANSI code page of the locale of this process (LC_ALL, else LC_CTYPE, else LANG).
unsigned ThreadAnsiCodePage();
// Whether the locale of this process is a Far East one: its ANSI code page is a two-byte one
// (932 Japanese, 936 and 950 Chinese, 949 Korean), whose captions carry their hot key as a
// trailing "(&X)".
bool FarEastLocale();
// CP_ACP and CP_THREAD_ACP turned into the code page they stand for; others as they are.
unsigned ResolveCodePage(unsigned codePage);

// The code pages converted here: 874, 932, 936, 949, 950, 1250..1258, 28591, 65000, 65001.
const std::vector<unsigned>& SupportedCodePages();
bool IsSupportedCodePage(unsigned codePage);

// 8-bit text in `codePage` to UTF-16. A byte (or byte pair) that the code page does not define
// becomes U+FFFD, except in 1252, whose five unassigned bytes stand for the control characters
// of the same value. A code page that is not supported is read as 1252. UTF-7 text that is not
// well formed raises EWideGeneralError.
std::u16string StringToWideStringEx(std::string_view text, unsigned codePage);
// UTF-16 to 8-bit text in `codePage`: a character that the code page lacks becomes "?", and
// *lossless (when given) tells whether none did. A code page that is not supported is written
// as 1252.
std::string WideStringToStringEx(std::u16string_view text, unsigned codePage, bool* lossless = nullptr);

// The same in the default code page.
std::u16string StringToWideString(std::string_view text);
std::string WideStringToString(std::u16string_view text);

}  // namespace widestring
