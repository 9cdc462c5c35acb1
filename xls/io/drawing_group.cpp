#include "xls/io/drawing_group.h"

#include "xls/io/biff_writer.h"

namespace xls {
namespace {

constexpr std::uint32_t kDggContainer = 0xF000;
constexpr std::uint32_t kOpt = 0xF00B;
constexpr std::uint32_t kSplitMenuColors = 0xF11E;
constexpr std::uint32_t kSplitColors[4] = {0x0800000D, 0x0800000C, 0x08000017, 0x100000F7};
constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kOptSize = kHeaderSize;  // a property table without properties
constexpr std::uint32_t kSplitMenuSize = kHeaderSize + 16;

}  // namespace

void WriteEscherHeader(TXLSBlob& blob, std::uint32_t version, std::uint32_t instance,
                       std::uint32_t length, std::uint32_t type) {
  blob.AddDWord((version & 0xF) | ((instance & 0xFFF) << 4) | ((type & 0xFFFF) << 16));
  blob.AddDWord(length);
}

std::uint32_t TMSODrawingGroup::GetSize() const { return kHeaderSize + kOptSize + kSplitMenuSize; }

int TMSODrawingGroup::Write(TXLSBlobList& output, std::uint16_t limit) const {
  const std::uint32_t size = GetSize();
  TXLSBiffWriter writer(output, limit);
  writer.BeginRecord(kRecMsoDrawingGroup, size);
  TXLSBlob body(size);
  WriteEscherHeader(body, 15, 0, size - kHeaderSize, kDggContainer);
  WriteEscherHeader(body, 3, 0, 0, kOpt);
  WriteEscherHeader(body, 0, 4, 16, kSplitMenuColors);
  for (std::uint32_t colour : kSplitColors) body.AddDWord(colour);
  writer.Append(body);
  writer.Flush();
  return 1;
}

}  // namespace xls
