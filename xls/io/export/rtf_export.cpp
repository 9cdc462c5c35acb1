#include "xls/io/export/rtf_export.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "xls/io/export/export_cells.h"
#include "xls/io/export/export_file.h"
#include "xls/io/export/rtf_styles.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

namespace {

struct DefinedCell {
  std::int32_t row, column;  // the cell whose style and text the paragraph carries
  bool text;                 // false for the lower rows of a merged area
};

// The merged area of a cell: first row and column and size; false for a cell outside one.
bool AreaOf(const IXLSWorksheet& sheet, std::int32_t r, std::int32_t c, std::int32_t& r0, std::int32_t& c0,
            std::int32_t& rows, std::int32_t& columns) {
  const TXLSCellRef* cell = sheet.Cells().FindCell(r, c);
  if (!cell || !cell->Merged()) return false;
  const TXLSCellRef* master = cell->Merge()->master;
  r0 = master->Row();
  c0 = master->Column();
  rows = master->Merge()->rows;
  columns = master->Merge()->columns;
  return true;
}

std::uint32_t Big32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}
std::int32_t Little32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
                                   (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24));
}

// The pixel size that the picture's own header gives; false when the bytes do not tell it.
bool PixelSize(const TXLSRTFPicture& p, std::int32_t& width, std::int32_t& height) {
  const std::vector<std::uint8_t>& b = p.bytes;
  std::int64_t w = 0, h = 0;
  if (p.blipType == 6) {  // PNG: the IHDR chunk comes first
    if (b.size() < 24 || b[0] != 0x89 || b[1] != 'P' || b[12] != 'I' || b[13] != 'H') return false;
    w = Big32(b, 16);
    h = Big32(b, 20);
  } else if (p.blipType == 7) {  // BITMAPINFOHEADER: width, height (negative: top-down)
    if (b.size() < 12 || Little32(b, 0) < 12) return false;
    w = Little32(b, 4);
    h = Little32(b, 8);
    if (h < 0) h = -h;
  } else if (p.blipType == 5) {  // JPEG: the first start-of-frame marker
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
    std::size_t at = 2;
    while (true) {
      if (at + 9 > b.size() || b[at] != 0xFF) return false;
      const std::uint8_t marker = b[at + 1];
      const std::size_t length = (std::size_t{b[at + 2]} << 8) | b[at + 3];
      if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
        h = (b[at + 5] << 8) | b[at + 6];
        w = (b[at + 7] << 8) | b[at + 8];
        break;
      }
      if (length < 2) return false;
      at += 2 + length;
    }
  } else {
    return false;
  }
  if (w <= 0 || h <= 0 || w > 1000000 || h > 1000000) return false;
  width = static_cast<std::int32_t>(w);
  height = static_cast<std::int32_t>(h);
  return true;
}

}  // namespace

std::string RtfPicture(const TXLSRTFPicture& picture) {
  const char* word = picture.blipType == 5   ? "\\jpegblip"
                     : picture.blipType == 6 ? "\\pngblip"
                     : picture.blipType == 7 ? "\\dibitmap0"
                                             : nullptr;
  if (!word) return std::string();
  std::string s = std::string("{\\pict") + word;
  std::int32_t width = 0, height = 0;
  const bool known = PixelSize(picture, width, height);
  if (known) s += "\\picw" + std::to_string(width) + "\\pich" + std::to_string(height);
  const long long goalWidth = picture.widthPoints > 0 ? std::llrint(picture.widthPoints * 20) : known ? width * 15LL : 0;
  const long long goalHeight = picture.heightPoints > 0 ? std::llrint(picture.heightPoints * 20) : known ? height * 15LL : 0;
  if (goalWidth > 0 && goalHeight > 0) {
    s += "\\picwgoal" + std::to_string(goalWidth) + "\\pichgoal" + std::to_string(goalHeight);
  }
  s.reserve(s.size() + picture.bytes.size() * 2 + picture.bytes.size() / 127 * 2 + 8);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < picture.bytes.size(); ++i) {
    if (i % 127 == 0) s += "\r\n";
    s += kHex[picture.bytes[i] >> 4];
    s += kHex[picture.bytes[i] & 15];
  }
  return s + "}\r\n";
}

double TXLSRTFExport::ColumnWidth(IXLSWorksheet& sheet, std::int32_t column) {
  return columnWidth_ ? columnWidth_(sheet, column) : sheet.ColumnInfo().GetColumnWidth(column);
}

void TXLSRTFExport::WriteSheet(IXLSWorksheet& sheet, TXLSRTFStyles& styles, TXLSTextSink* out) {
  const TXLSCellHeap& heap = sheet.Cells();
  if (heap.Empty()) return;
  const std::int32_t r1 = heap.FirstRow(), r2 = heap.LastRow();
  const std::int32_t c1 = heap.FirstColumn(), c2 = heap.LastColumn();
  TXLSCellReader cells(sheet);
  const TXLSPageSetup& setup = *sheet.GetPageSetup();

  styles.SetPageSetup(&setup);
  styles.SetScale(1.0);
  const Variant wide = setup.GetFitToPagesWide();
  if (setup.GetFitMode() && wide.IsInteger() && wide.IntegerValue() == 1) {
    double characters = 0;
    for (std::int32_t c = c1; c <= c2; ++c) characters += ColumnWidth(sheet, c);
    const double table = TXLSRTFStyles::ColumnWidthTwips(characters);
    const double page = styles.UsablePageWidth();
    if (page > 0 && table > 0 && page < table) {
      const double scale = page / table;
      styles.SetScale(scale < 0.3 ? 1.0 : scale);
    }
  }
  const double scale = styles.GetScale();

  // Strings of a format are made once: the numbers they hold do not change within a document.
  std::map<std::pair<std::int32_t, std::int32_t>, std::string> definitions;
  std::map<std::pair<std::int32_t, bool>, std::string> characterStyles;
  std::vector<std::int32_t> widths;
  for (std::int32_t c = c1; c <= c2; ++c) widths.push_back(TXLSRTFStyles::ColumnWidthTwips(ColumnWidth(sheet, c) * scale));

  // The pictures anchored in the used range, by cell.
  std::map<std::pair<std::int32_t, std::int32_t>, TXLSRTFPicture> pictures;
  if (out && pictures_) {
    for (TXLSRTFPicture& p : pictures_(sheet)) {
      if (p.row >= r1 && p.row <= r2 && p.column >= c1 && p.column <= c2) pictures.emplace(std::make_pair(p.row, p.column), std::move(p));
    }
  }

  std::vector<DefinedCell> defined;
  std::string line;
  for (std::int32_t r = r1; r <= r2; ++r) {
    if (out) {
      line = "\\trowd\\trql\\trleft36";
      if (sheet.RowInfo().Find(r)) line += "\\trrh-" + std::to_string(styles.RowHeightTwips(sheet.RowInfo().GetRowHeight(r)));
      *out << line << "\r\n";
    }
    defined.clear();
    std::int32_t right = 36;
    for (std::int32_t c = c1; c <= c2; ++c) {
      right += widths[static_cast<std::size_t>(c - c1)];
      std::int32_t ar = r, ac = c, rows = 1, columns = 1;
      const bool merged = AreaOf(sheet, r, c, ar, ac, rows, columns);
      // The columns of a merged area before its last one only widen it.
      if (merged && c < ac + columns - 1 && c < c2) continue;
      const std::int32_t first = merged ? std::max(ac, c1) : c;
      const std::int32_t xf = cells.XF(r, first);
      const std::int32_t rightXF = cells.XF(r, c);
      auto& definition = definitions[{xf, rightXF}];
      if (definition.empty()) definition = styles.CellDefinition(cells, xf, rightXF);
      if (out) {
        if (merged && rows > 1) *out << (r == ar ? "\\clvmgf" : "\\clvmrg");
        *out << definition << "\\cellx" << std::to_string(right) << "\r\n";
      }
      defined.push_back({r, first, !merged || (r == ar && first == ac)});
    }
    for (const DefinedCell& d : defined) {
      const std::int32_t xf = cells.XF(d.row, d.column);
      const TXLSCellLook& look = cells.Look(xf);
      const Variant value = d.text ? cells.Value(d.row, d.column) : Variant();
      const auto t = static_cast<std::uint16_t>(value.Type());
      const bool number = (t >= 2 && t <= 6) || t == 11 || (t >= 16 && t <= 20);
      auto& style = characterStyles[{xf, number}];
      if (style.empty()) style = styles.CharacterStyle(look, value);
      if (!out) continue;
      *out << "\\pard\\intbl\\plain\r\n" << style << ' ';
      if (d.text && !pictures.empty()) {
        auto picture = pictures.find({d.row, d.column});
        if (picture != pictures.end()) *out << RtfPicture(picture->second);
      }
      if (d.text) *out << RtfEscape(formater_.FormatValue(value, look.numberFormat));
      *out << "\\cell\r\n";
    }
    if (out) *out << "\\row\r\n";
  }
}

std::int32_t TXLSRTFExport::WriteDocument(const std::vector<IXLSWorksheet*>& sheets, platform::ByteStream& stream) {
  TXLSRTFStyles styles;
  // First walk: the fonts and colours of the head.
  for (IXLSWorksheet* sheet : sheets) WriteSheet(*sheet, styles, nullptr);
  if (!sheets.empty()) styles.SetPageSetup(sheets.back()->GetPageSetup().get());
  TXLSTextSink out(stream);
  out << "{\\rtf1\\ansi\\ansicpg1252\n\r" << styles.Head();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (i > 0) out << "\\pard \\page \\par\r\n";
    WriteSheet(*sheets[i], styles, &out);
  }
  out << "}";
  return out.Flush() ? 1 : -1;
}

std::int32_t TXLSRTFExport::SaveWorkbookToStream(TXLSWorkbook& book, platform::ByteStream& stream) {
  std::vector<IXLSWorksheet*> sheets;
  for (std::int32_t i = 1; i <= book.GetWorksheets().GetCount(); ++i) sheets.push_back(book.GetWorksheets().GetItem(i));
  return WriteDocument(sheets, stream);
}

std::int32_t TXLSRTFExport::SaveSheetToStream(IXLSWorksheet& sheet, platform::ByteStream& stream) {
  return WriteDocument({&sheet}, stream);
}

std::int32_t TXLSRTFExport::SaveWorkbookToFile(TXLSWorkbook& book, const std::u16string& fileName) {
  platform::AtomicFileStream file(WideToUtf8(fileName));
  if (!file.IsOpen() || SaveWorkbookToStream(book, file) != 1) return -1;
  return file.Commit() ? 1 : -1;
}

std::int32_t TXLSRTFExport::SaveSheetToFile(IXLSWorksheet& sheet, const std::u16string& fileName) {
  platform::AtomicFileStream file(WideToUtf8(fileName));
  if (!file.IsOpen() || SaveSheetToStream(sheet, file) != 1) return -1;
  return file.Commit() ? 1 : -1;
}

}  // namespace xls
