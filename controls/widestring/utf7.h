// UTF-7 (RFC 2152) for the wide-string support: stored wide texts travel as 7-bit text.
#pragma once

#include <string>
#include <string_view>

namespace widestring {

// UTF-16 to UTF-7. The directly encoded characters, white space (tab, CR, LF, blank) and the
// optional direct characters are written as they are; "+" is written "+-"; every other
// character goes in modified base64 between "+" and "-", where the closing "-" is written only
// when the next character is a base64 letter or "-" (never at the end of the text).
std::string WideToUtf7Text(std::u16string_view text);

// UTF-7 to UTF-16. Raises EWideGeneralError (SInvalidUtf7) for a byte above 127, a shifted run
// that yields no character (other than "+-"), or a run whose leftover bits are not zero.
std::u16string Utf7TextToWide(std::string_view text);

}  // namespace widestring
