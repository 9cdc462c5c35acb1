// Wide-string and wide-character properties in form streams. The form stream stores 8-bit
// properties itself; for each published property of a wide kind, the filers here add two
// stream properties under its name:
//
//   wide string     "<name>W" (read only: a wide or 8-bit string, applied only while the
//                   reading switch is on) and "<name>_UTF7" (the value as UTF-7 text)
//   wide character  "<name>W" (the character as a wide string of one character) and
//                   "<name>_UTF7" (read only: the first character of the decoded text)
//
// A value is written only when it differs from the ancestor's (or, without an ancestor, from
// the property's default). A wide character stored with another type of value, or as more than
// one character, raises platform::EReadError with platform::SInvalidPropertyValue.
#pragma once

#include "platform/form_stream.h"

namespace widestring {

// Whether "<name>W" of a wide-string property is applied when read (off from start-up: it is
// then read and dropped).
bool WideFormPropertyReading();
void SetWideFormPropertyReading(bool on);

class TWideWideStringPropertyFiler {
 public:
  static void DefineProperties(platform::Filer& filer, const platform::PublishedProperty& property,
                               platform::FormPersistent* ancestor);
};

class TWideWideCharPropertyFiler {
 public:
  static void DefineProperties(platform::Filer& filer, const platform::PublishedProperty& property,
                               platform::FormPersistent* ancestor);
};

// Adds the two filers to every object a form stream reads or writes (installed once; what the
// wide application does at start-up). Uninstall takes them away again.
void InstallWidePropertyFilers();
void UninstallWidePropertyFilers();

}  // namespace widestring
