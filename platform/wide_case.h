// Letter tests and case mapping of single UTF-16 characters, standing in for the system's
// IsCharAlphaW / CharUpperBuffW / CharLowerBuffW. Covers Latin (ASCII, Latin-1, Latin
// Extended-A), Greek and Cyrillic letters; other characters map to themselves and count as
// letters only when they lie in a block of letters of those scripts.
#pragma once

namespace platform {

bool IsCharAlphaW(char16_t c);
char16_t CharUpperW(char16_t c);
char16_t CharLowerW(char16_t c);

}  // namespace platform
