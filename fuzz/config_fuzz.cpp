// The configuration loader over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/config.h"
#include "core/texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The loader works line by line within a model: a few lines show all it does, and long
  // inputs only slow the search down (the seeds are parts of the test configuration).
  if (size > 4096) return 0;
  // One state for every run, with what a load does not reset put back by hand: a fresh state
  // per run would cost more than the load itself.
  static core::AppState& s = *new core::AppState;
  for (auto& texts : s.LangTable)
    for (auto& text : texts)
      if (!text.empty()) text.clear();
  s.Print2Enabled = false;
  core::LoadConfigurationText(s, std::string_view(reinterpret_cast<const char*>(data), size));
  // Every definition must be usable by the views.
  for (const auto& d : s.ParamDefs) {
    if (d.model < 1 || d.model > s.ModelCount) __builtin_trap();
    (void)core::FormatValue(d.decimals, d.defaultValue);
  }
  return 0;
}
