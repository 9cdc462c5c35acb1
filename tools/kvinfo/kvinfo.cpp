// Loads the configuration file of the current folder and lists the drive models it defines.
#include <cstdio>

#include "core/config.h"
#include "core/texts.h"

int main() {
  if (!core::LoadConfiguration()) {
    std::fprintf(stderr, "Cannot read %s\n", core::kConfigurationFileName);
    return 1;
  }
  const auto& s = core::State();
  std::printf("%s - %s\n", s.AppTitle.c_str(), s.AppInfo.c_str());
  if (s.ModelCount == 0) {
    std::printf("No models: %s is missing or defines none.\n", core::kConfigurationFileName);
    return 0;
  }
  std::printf("%d model(s), %d parameter(s)\n", s.ModelCount, s.ParamCount);
  for (int m = 0; m < s.ModelCount; ++m)
    std::printf("  %d  %-20s %d parameter(s)\n", m + 1, s.Models[m].name.str().c_str(), s.ParamCountPerModel[m]);
  return 0;
}
