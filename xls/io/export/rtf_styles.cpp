#include "xls/io/export/rtf_styles.h"

#include <cmath>
#include <cstdio>

#include "xls/formula/cell_text/number_format.h"
#include "xls/io/export/export_cells.h"
#include "xls/model/codepage.h"
#include "xls/model/format_objects.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/xf_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {

long long RoundEven(double v) { return std::llrint(v); }
std::string Num(long long v) { return std::to_string(v); }

struct Paper {
  std::int32_t code, width, height;
};
constexpr Paper kPapers[] = {
    {1, 12242, 15842},  {2, 12242, 15842},  {18, 12242, 15842}, {3, 15842, 24482},  {17, 15842, 24482},
    {4, 24482, 15842},  {5, 12242, 20162},  {6, 7922, 12242},   {7, 10802, 15122},  {8, 16840, 23813},
    {9, 11908, 16840},  {10, 11908, 16840}, {11, 8393, 11908},  {13, 8393, 11908},  {12, 14175, 20071},
    {14, 12242, 18722}, {40, 12242, 18722}, {41, 12242, 18722}, {15, 12191, 15593}, {16, 14402, 20162},
    {19, 5582, 12782},  {20, 5942, 13682},  {21, 6482, 14942},  {22, 6482, 15842},  {23, 7202, 16562},
    {27, 6238, 12474},  {28, 9186, 12985},  {29, 18371, 25967}, {30, 12985, 18371}, {31, 6465, 9186},
    {32, 6465, 12985},  {33, 14175, 20015}, {34, 9980, 14175},  {35, 9980, 7089},   {36, 6238, 13041},
    {37, 5582, 10802},  {38, 5222, 9362},   {39, 21422, 15842},
};

const Paper* PaperOf(std::int32_t code) {
  for (const Paper& p : kPapers) {
    if (p.code == code) return &p;
  }
  return nullptr;
}

}  // namespace

std::string RtfEscape(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\\': out += "\\\\"; continue;
      case u'{': out += "\\{"; continue;
      case u'}': out += "\\}"; continue;
      case u'\r':
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        out += "\\line ";
        continue;
      case u'\n': out += "\\line "; continue;
      case u'\t': out += "\\tab "; continue;
      default: break;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    bool lossless = false;
    const std::string ansi = WideToAnsiCP(std::u16string_view(&c, 1), 1252, &lossless);
    char buf[16];
    if (lossless && ansi.size() == 1) {
      std::snprintf(buf, sizeof buf, "\\'%02x", static_cast<unsigned char>(ansi[0]));
    } else {
      std::snprintf(buf, sizeof buf, "\\u%d?", static_cast<int>(static_cast<std::int16_t>(c)));
    }
    out += buf;
  }
  return out;
}

std::int32_t TXLSRTFStyles::ColorNumber(std::uint32_t rgb) {
  rgb &= 0xFFFFFF;
  auto found = colorIndex_.find(rgb);
  if (found != colorIndex_.end()) return found->second + 1;
  colors_.push_back(rgb);
  const auto index = static_cast<std::int32_t>(colors_.size() - 1);
  colorIndex_.emplace(rgb, index);
  return index + 1;
}

std::int32_t TXLSRTFStyles::FontNumber(const std::u16string& name) {
  const std::u16string key = TXLSFormater::UpperCase(name);
  auto found = fontIndex_.find(key);
  if (found != fontIndex_.end()) return found->second + 1;
  fonts_.push_back(name);
  const auto index = static_cast<std::int32_t>(fonts_.size() - 1);
  fontIndex_.emplace(key, index);
  return index + 1;
}

std::string TXLSRTFStyles::CharacterStyle(const TXLSCellLook& look, const Variant& value) {
  std::string s = "\\f" + Num(FontNumber(look.fontName));
  s += "\\fs" + Num(RoundEven(look.fontSize * 2 * scale_));
  if (look.italic) s += "\\i";
  if (look.bold) s += "\\b";
  if (look.strikethrough) s += "\\strike";
  if (look.fontColorIndex != kXlAutomatic && look.fontColorIndex != kXlNone) {
    s += "\\cf" + Num(ColorNumber(look.fontColor));
  }
  switch (look.underline) {
    case kUnderlineDouble:
    case kUnderlineDoubleAccounting: s += "\\uldb"; break;
    case kUnderlineSingle: s += "\\ul"; break;
    case kUnderlineSingleAccounting: s += "\\uld"; break;
    default: break;
  }
  const std::string indent = Num(RoundEven(30 * scale_));
  switch (look.horizontal) {
    case kHAlignRight: s += "\\qr\\ri" + indent; break;
    case kHAlignLeft: s += "\\ql\\li" + indent; break;
    case kHAlignJustify: s += "\\qj"; break;
    case kHAlignCenter: s += "\\qc"; break;
    default: {
      const auto t = static_cast<std::uint16_t>(value.Type());
      const bool number = (t >= 2 && t <= 6) || t == 11 || (t >= 16 && t <= 20);
      s += number ? "\\qr\\ri" + indent : "\\li" + indent;
    }
  }
  if (look.vertical == kVAlignTop) s += "\\sb" + Num(RoundEven(25 * scale_));
  return s;
}

std::string TXLSRTFStyles::BorderWords(std::int32_t lineStyle, std::int32_t weight, std::uint32_t rgb) {
  const char* name = nullptr;
  switch (lineStyle) {
    case kLineContinuous: name = "\\brdrs"; break;
    case kLineDashDot: name = "\\brdrdashd"; break;
    case kLineDashDotDot: name = "\\brdrdashdd"; break;
    case kLineSlantDashDot: name = "\\brdrdashdotstr"; break;
    case kLineDot: name = "\\brdrdot"; break;
    case kLineDash: name = "\\brdrdashsm"; break;
    default: break;
  }
  std::string s;
  if (lineStyle == kLineContinuous && weight == kWeightHairline) {
    s = "\\brdrhair";
  } else if (lineStyle == kLineDouble) {
    if (weight == kWeightThick) s = "\\brdrdb\\brdrw20";
  } else if (name) {
    switch (weight) {
      case kWeightThin: s = std::string(name) + "\\brdrw20"; break;
      case kWeightMedium: s = std::string(name) + "\\brdrw40"; break;
      case kWeightThick: s = std::string(name) + "\\brdrw60"; break;
      default: break;
    }
  }
  return s + "\\brdrcf" + Num(ColorNumber(rgb));
}

std::string TXLSRTFStyles::CellDefinition(TXLSCellReader& cells, std::int32_t xf, std::int32_t rightXF) {
  const TXLSCellLook& look = cells.Look(xf);
  std::string s = look.vertical == kVAlignTop      ? "\\clvertalt"
                  : look.vertical == kVAlignCenter ? "\\clvertalc"
                                                   : "\\clvertalb";
  struct Edge {
    const char* word;
    std::int32_t code;
    std::int32_t xf;
  };
  const Edge edges[] = {{"\\clbrdrt ", kEdgeTop, xf},
                        {"\\clbrdrr ", kEdgeRight, rightXF},
                        {"\\clbrdrl ", kEdgeLeft, xf},
                        {"\\clbrdrb ", kEdgeBottom, xf}};
  TXLSXFList& xfs = cells.XFs();
  for (const Edge& e : edges) {
    const std::int32_t style = xfs.GetBorderLineStyle(e.xf, e.code);
    if (style == kXlNone) continue;
    s += e.word;
    s += BorderWords(style, xfs.GetBorderWeight(e.xf, e.code), cells.ColorOf(xfs.GetBorderColor(e.xf, e.code)));
    s += " ";
  }
  // Shading only for a fill with a palette colour: an automatic interior is the page itself.
  if (look.filled && look.interiorColorIndex != kXlNone && look.interiorColorIndex != kXlAutomatic) {
    s += "\\clcbpat" + Num(ColorNumber(look.interiorColor));
  }
  return s;
}

std::int32_t TXLSRTFStyles::UsablePageWidth() const {
  if (!pageSetup_) return -1;
  const Paper* paper = PaperOf(pageSetup_->GetPaperSize());
  if (!paper) return -1;
  const std::int32_t width = pageSetup_->GetOrientation() == 2 ? paper->height : paper->width;
  return width - InchesToTwips(pageSetup_->GetLeftMargin()) - InchesToTwips(pageSetup_->GetRightMargin());
}

std::int32_t TXLSRTFStyles::RowHeightTwips(double points) const {
  return static_cast<std::int32_t>(RoundEven(points * scale_ * 19.5));
}

std::int32_t TXLSRTFStyles::ColumnWidthPixels(double characters) {
  return static_cast<std::int32_t>(characters < 1 ? RoundEven(characters * 100 / 8) : RoundEven(characters * 7) + 5);
}

std::int32_t TXLSRTFStyles::ColumnWidthTwips(double characters) {
  return static_cast<std::int32_t>(RoundEven(ColumnWidthPixels(characters) * 1440.0 / 96.0));
}

std::int32_t TXLSRTFStyles::InchesToTwips(double inches) { return static_cast<std::int32_t>(RoundEven(1440 * inches)); }

std::string TXLSRTFStyles::Head() const {
  std::string s;
  if (!fonts_.empty()) {
    s += "{\\fonttbl ";
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      s += "{\\f" + Num(static_cast<long long>(i + 1)) + " \\fnil " + RtfEscape(fonts_[i]) + ";}\r\n";
    }
    s += "}\r\n";
  }
  if (!colors_.empty()) {
    s += "{\\colortbl ;";
    for (std::uint32_t c : colors_) {
      s += "\\red" + Num(c & 0xFF) + "\\green" + Num((c >> 8) & 0xFF) + "\\blue" + Num((c >> 16) & 0xFF) + ";";
    }
    s += "}\r\n";
  }
  if (pageSetup_) {
    std::string page;
    const bool landscape = pageSetup_->GetOrientation() == 2;
    if (const Paper* paper = PaperOf(pageSetup_->GetPaperSize())) {
      const std::int32_t w = landscape ? paper->height : paper->width;
      const std::int32_t h = landscape ? paper->width : paper->height;
      page += "\\paperw" + Num(w) + "\\paperh" + Num(h);
    }
    const std::pair<const char*, double> margins[] = {{"\\margl", pageSetup_->GetLeftMargin()},
                                                      {"\\margr", pageSetup_->GetRightMargin()},
                                                      {"\\margt", pageSetup_->GetTopMargin()},
                                                      {"\\margb", pageSetup_->GetBottomMargin()}};
    for (const auto& [word, inches] : margins) {
      const std::int32_t twips = InchesToTwips(inches);
      if (twips > 0) page += word + Num(twips);
    }
    if (landscape) page += "\\landscape";
    if (!page.empty()) s += page + "\r\n";
  }
  return s;
}

}  // namespace xls
