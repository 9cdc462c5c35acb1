// The code-page conversions of the platform layer (platform/codepage.h) under the spreadsheet
// library's names: 8-bit text of BIFF records to the wide (UTF-16) text of the model and back.
#pragma once

#include "platform/codepage.h"

namespace xls {

using platform::AnsiToWideCP;
using platform::kCodePage1252;
using platform::Utf8ToWide;
using platform::WideToAnsi;
using platform::WideToAnsiCP;
using platform::WideToUtf8;

}  // namespace xls
