// The parameter and compare file decoders over arbitrary bytes; what decodes must encode to
// the same length and decode again to the same records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/documents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  core::ParameterFileHeader ph;
  std::vector<core::ParameterDefinition> pr;
  if (core::DecodeParameterFile(bytes, 8, ph, pr)) {
    std::string again = core::EncodeParameterFile(ph, pr);
    if (again.size() != size) __builtin_trap();
    core::ParameterFileHeader ph2;
    std::vector<core::ParameterDefinition> pr2;
    if (!core::DecodeParameterFile(again, 8, ph2, pr2) || core::EncodeParameterFile(ph2, pr2) != again) __builtin_trap();
  }
  core::CompareFileHeader ch;
  std::vector<core::CompareRecord> cr;
  if (core::DecodeCompareFile(bytes, 8, ch, cr)) {
    std::string again = core::EncodeCompareFile(ch, cr);
    if (again.size() != size) __builtin_trap();
  }
  return 0;
}
