// The configuration loader over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/config.h"
#include "core/texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::AppState s;
  core::LoadConfigurationText(s, std::string_view(reinterpret_cast<const char*>(data), size));
  // Every definition must be usable by the views.
  for (const auto& d : s.ParamDefs) {
    if (d.model < 1 || d.model > s.ModelCount) __builtin_trap();
    (void)core::FormatValue(d.decimals, d.defaultValue);
  }
  return 0;
}
