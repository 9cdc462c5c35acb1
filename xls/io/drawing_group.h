// The workbook's drawing group as a BIFF8 save writes it: one logical MSODRAWINGGROUP record
// holding the Escher DggContainer with the property table and the split-menu colours. The
// drawing-group record with its shape clusters and the picture store join it with the sheet
// drawings; until then every workbook writes the 40 data bytes of a workbook without drawings.
#pragma once

#include <cstdint>

#include "xls/model/blob.h"

namespace xls {

constexpr std::uint16_t kRecMsoDrawingGroup = 0x00EB;

// Appends the 8-byte Escher header: version (4 bits), instance (12 bits), type, length.
void WriteEscherHeader(TXLSBlob& blob, std::uint32_t version, std::uint32_t instance,
                       std::uint32_t length, std::uint32_t type);

class TMSODrawingGroup {
 public:
  // The bytes of the DggContainer, headers included.
  std::uint32_t GetSize() const;
  // MSODRAWINGGROUP, split at the record data limit. Returns 1.
  int Write(TXLSBlobList& output, std::uint16_t limit) const;
};

}  // namespace xls
