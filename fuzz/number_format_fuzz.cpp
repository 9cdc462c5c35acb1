// Number-format texts and wildcard masks as a user or a file gives them: any text renders any
// value without failing, and any mask either compiles or raises the mask error. Texts stop a
// little past the 255 characters a file's format holds: every input renders thirteen times, and
// longer texts only made the runs slower as the fuzzer grew them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "xls/formula/cell_text/mask.h"
#include "xls/formula/cell_text/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 8 + 300) return 0;
  double v;
  std::memcpy(&v, data, 8);
  std::u16string format;
  for (size_t i = 8; i < size; ++i) format += static_cast<char16_t>(data[i]);
  static const xls::TXLSFormater formater;
  for (const xls::Variant& value : {xls::Variant(v), xls::Variant(-v), xls::Variant(0.0), xls::Variant(1.5),
                                    xls::Variant(u"abc"), xls::Variant::Date(45322.75)}) {
    formater.FormatValueEx(value, format, false);
    formater.FormatValueEx(value, format, true);
  }
  formater.FormatValueEx(xls::Variant(v), xls::TXLSFormater::MapDateLetters(format), false);
  // The formatter keeps the format it parsed last; ending every input on the same one keeps what
  // an input allocates and frees even, so libFuzzer does not run it again to look for a leak.
  formater.FormatValueEx(xls::Variant(v), u"0", false);
  const std::string bytes(reinterpret_cast<const char*>(data + 8), size - 8);
  try {
    xls::TMask mask(bytes, (data[0] & 1) ? 932 : 1252);
    mask.Matches(bytes);
    mask.Matches(std::string(300, 'a'));
  } catch (const xls::EMaskException&) {
  }
  return 0;
}
