// Values shared across the spreadsheet library.
#pragma once

#include <cstdint>

namespace xls {

// Record versions handed to the record builders: 1 writes BIFF5, anything else BIFF8.
constexpr int kBiff5 = 1;
constexpr int kBiff8 = 2;

// Automation constants at the interfaces.
constexpr std::int32_t kXlAutomatic = -4105;
constexpr std::int32_t kXlNone = -4142;

// Sheet bounds, 0-based.
constexpr int kMaxRow = 65535;
constexpr int kMaxCol = 255;

}  // namespace xls
