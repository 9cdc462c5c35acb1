// Letter case as name comparisons ignore it: Unicode simple case folding of single UTF-16 code
// units (sheet names and compound-file entry names both compare through FoldCase), and ASCII
// letters only for the byte names of settings and INI files.
#pragma once

#include <string_view>

namespace platform {

// Two code units are the same letter without regard to case exactly when their FoldCase
// values are equal (the classes of Unicode's simple case mappings in the BMP; the Turkic dotted
// and dotless i stand alone, as simple folding has them). The value is the class's capital
// (the member that no simple upper-case mapping changes, the lowest if several), so that an
// ordering by folded units is the ordering by upper-cased units for every letter that has one
// capital.
char16_t FoldCase(char16_t c);

// -1, 0 or 1 comparing unit by unit after FoldCase; lengths are not looked at first.
int CompareFolded(std::u16string_view a, std::u16string_view b);

// Whether two byte strings are the same with A-Z and a-z taken as equal; other bytes compare as they are.
bool SameAsciiName(std::string_view a, std::string_view b);

}  // namespace platform
