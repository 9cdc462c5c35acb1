// Small conversions between the core's 8-bit texts and Qt, and the locale-free number parsing
// of the windows ("." is the decimal point whatever the user's locale says).
#pragma once

#include <QString>
#include <string>

namespace ui {

// A core text as QString: UTF-8 when it is valid UTF-8, else read as Latin-1 (the 8-bit texts
// of older configuration and document files).
QString Qs(const std::string& text);
QString Qs(std::string_view text);
// A QString as a core text (UTF-8).
std::string Ss(const QString& text);

// The message text of `id` in the current language.
QString L(int id);
// The message text of `id` in `language` (1..4), as L gives it while that language is current;
// what the windows measure to make room for the longest text of every language.
QString LIn(int id, int language);

// A text as the caption of a menu item, button, check box, group box or tab, where "&" marks
// the mnemonic: an "&" that is not followed by a letter or digit is meant literally and is
// doubled ("Print Title & Set" shows as written), "&&" stays one literal "&", and "&Clear"
// keeps its mnemonic.
QString MenuText(const QString& text);
// The text a caption shows: the mnemonic marks taken out, "&&" shown as "&".
QString ShownText(const QString& caption);

// Whole-text conversions with the C locale; no blanks, no group separators, finite only.
bool ParseInteger(const QString& text, int& value);
bool ParseDecimal(const QString& text, double& value);

// The part of a path after its last folder separator ("/" or "\").
QString ShortName(const QString& path);

}  // namespace ui

namespace ui {
// A document value with its decimals ("." point); empty for NaN.
QString FormatNumber(int decimals, float value);
// The page name of display group `group` (1..9) of model `model` (1-based) in the current
// language, framed by three blanks on each side as the tabs show it.
QString PageCaption(int model, int group);
// A record's description in the current language.
template <typename Record>
QString Description(const Record& record);
}  // namespace ui

#include "core/common.h"
template <typename Record>
QString ui::Description(const Record& record) {
  const int lang = core::State().LanguageIndex;
  if (lang < 1 || lang > 4) return QString();
  return Qs(record.descriptions[lang - 1].view());
}
