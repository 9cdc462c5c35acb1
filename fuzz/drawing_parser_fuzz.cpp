// The drawing parser fed one sheet drawing in pieces split at fuzzer-chosen points must report
// the same events (and fail at the same place) as when it gets the whole data at once; the same
// bytes then go through a sheet drawing (read, written again) and the drawing-group reader.
//
// Input: byte 0 gives the number of pieces (1..16), then two bytes per split point, then the data.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "xls/io/drawing/drawing_group.h"
#include "xls/io/drawing/drawing_parser.h"
#include "xls/io/drawing/sheet_drawing.h"

namespace {

std::string Events(const std::vector<std::pair<const std::uint8_t*, std::size_t>>& pieces) {
  std::string events;
  xls::TXLSDrawingParser parser;
  parser.OnHeader = [&](xls::TXLSDrawingParser&, const xls::TMSOHeader& h, bool& skip, bool container) {
    events += "H" + std::to_string(h.RecType()) + "/" + std::to_string(h.Length()) + (container ? "c " : " ");
    skip = (h.RecType() & 7) == 5;  // some records are skipped
  };
  parser.OnAtom = [&](xls::TXLSDrawingParser&, const xls::TMSOHeader& h, const xls::TXLSBlob& data) {
    events += "A" + std::to_string(h.RecType()) + ":" + std::to_string(data.GetSize());
    for (std::uint32_t i = 0; i < data.GetSize() && i < 8; ++i) events += "," + std::to_string(data.GetByte(i));
    events += " ";
  };
  parser.OnEnd = [&](xls::TXLSDrawingParser&, const xls::TMSOHeader& h, bool) { events += "E" + std::to_string(h.RecType()) + " "; };
  parser.OnFinish = [&](xls::TXLSDrawingParser&) { events += "F "; };
  try {
    for (const auto& [data, size] : pieces) parser.ParseBytes(data, size);
  } catch (const xls::EMsoParseError& e) {
    events += std::string("error ") + e.what();
  }
  return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t pieces = 1 + data[0] % 16;
  std::size_t at = 1;
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < pieces && at + 2 <= size; ++i, at += 2) cuts.push_back(static_cast<std::size_t>(data[at] | data[at + 1] << 8));
  const std::uint8_t* body = data + at;
  const std::size_t n = size - at;
  for (std::size_t& c : cuts) c = n ? c % (n + 1) : 0;
  std::sort(cuts.begin(), cuts.end());

  std::vector<std::pair<const std::uint8_t*, std::size_t>> split;
  std::size_t from = 0;
  for (std::size_t c : cuts) {
    split.emplace_back(body + from, c - from);
    from = c;
  }
  split.emplace_back(body + from, n - from);
  if (Events({{body, n}}) != Events(split)) std::abort();

  // The same pieces as a sheet's MSODRAWING records, then the drawing written again.
  xls::TMSODrawingGroup group;
  xls::TMsoDrawing drawing(&group, 1, {});
  try {
    for (const auto& [p, s] : split) {
      xls::TXLSBlobList record;
      auto* block = new xls::TXLSBlob(static_cast<std::uint32_t>(s));
      for (std::size_t i = 0; i < s; ++i) block->AddByte(p[i]);
      record.Add(block);
      // The first byte picks the record kind: OBJ, TXO (with the next pieces as its CONTINUE
      // blocks), NOTE, or drawing data.
      const std::uint8_t kind = s > 0 ? p[0] & 0xC0 : 0;
      if (kind == 0x80) {
        drawing.ReadObj(record);
      } else if (kind == 0x40) {
        auto* text = new xls::TXLSBlob(static_cast<std::uint32_t>(s));
        for (std::size_t i = 0; i < s; ++i) text->AddByte(p[s - 1 - i]);
        record.Add(text);
        drawing.ReadTxo(record, (p[0] & 1) != 0);
      } else if (kind == 0xC0 && s >= 8) {
        drawing.ReadNote(static_cast<std::uint16_t>(p[1] | p[2] << 8), p[3], p[4], u"x", p[5]);
      } else {
        drawing.ReadDrawing(record);
      }
    }
  } catch (const xls::EMsoParseError&) {
  }
  drawing.FinishRead();
  drawing.AssignShapeIds();
  xls::TXLSBlobList out;
  drawing.WriteDrawing(out, 8224, false);
  drawing.WriteNotes(out, 0x0600);

  xls::TXLSBlobList whole;
  auto* block = new xls::TXLSBlob(static_cast<std::uint32_t>(n));
  for (std::size_t i = 0; i < n; ++i) block->AddByte(body[i]);
  whole.Add(block);
  try {
    xls::TMSODrawingGroup read;
    if (read.Read(whole) == 1) {
      xls::TXLSBlobList written;
      read.Write(written, 8224);
    }
  } catch (const xls::EMsoParseError&) {
  }
  return 0;
}
