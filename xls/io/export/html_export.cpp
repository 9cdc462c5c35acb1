#include "xls/io/export/html_export.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <unordered_set>
#include <vector>

#include "platform/atomic_file.h"
#include "xls/io/export/export_cells.h"
#include "xls/io/export/export_file.h"
#include "xls/model/cell_address.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {

constexpr const char* kCrLf = "\r\n";

// Rounding to the nearest integer, halves to the even one.
long long RoundEven(double v) { return std::llrint(v); }

std::string Num(long long v) { return std::to_string(v); }

std::string Hex6(std::uint32_t bgr) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
  return buf;
}

// A font name as CSS takes it: plain names as they are, others as a quoted string whose
// quotes, backslashes, angle brackets and control characters are escaped.
std::string CssFontName(const std::u16string& name) {
  bool plain = !name.empty();
  for (char16_t c : name) {
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u' ' ||
          c == u'-' || c == u'_')) {
      plain = false;
      break;
    }
  }
  if (plain) return WideToUtf8(name);
  std::string out = "\"";
  for (char16_t c : name) {
    if (c == u'"' || c == u'\\' || c == u'<' || c == u'>' || c == u'&' || c < 0x20 || c == 0x7F) {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\%X ", static_cast<unsigned>(c));
      out += buf;
    } else {
      out += WideToUtf8(std::u16string(1, c));
    }
  }
  return out + "\"";
}

std::string HtmlText(const std::u16string& text) { return WideToUtf8(TXLSFormater::HtmlEscape(text)); }

// A relative address: every byte outside the unreserved characters percent-encoded.
std::string UrlPart(const std::string& utf8) {
  std::string out;
  for (unsigned char b : utf8) {
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~') {
      out += static_cast<char>(b);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", b);
      out += buf;
    }
  }
  return out;
}

std::string Picture000(std::int32_t i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", i);
  return buf;
}

// The class key of a cell: its format, or for the top-left cell of a merged area whose last
// column or row is formatted differently, the three formats.
std::string ClassKey(std::int32_t xf, std::int32_t rightXF, std::int32_t bottomXF) {
  if (rightXF < 0 || (rightXF == xf && bottomXF == xf)) return Num(xf);
  return Num(xf) + "r" + Num(rightXF) + "b" + Num(bottomXF);
}

struct CellPlace {
  bool written = false;  // false for a merged cell other than its area's top-left one
  std::int32_t rows = 1, columns = 1;
  std::int32_t xf = 0, rightXF = -1, bottomXF = -1;
};

CellPlace PlaceOf(const TXLSCellReader& cells, std::int32_t r, std::int32_t c) {
  CellPlace p;
  p.xf = cells.XF(r, c);
  const TXLSCellRef* cell = cells.Sheet().Cells().FindCell(r, c);
  if (cell && cell->Merged()) {
    if (!cell->IsMergeMaster()) return p;
    p.rows = cell->Merge()->rows;
    p.columns = cell->Merge()->columns;
    p.rightXF = cells.XF(r, c + p.columns - 1);
    p.bottomXF = cells.XF(r + p.rows - 1, c);
  }
  p.written = true;
  return p;
}

bool WriteLines(const std::string& path, const std::string& text) {
  platform::AtomicFileStream file(path);
  if (!file.IsOpen()) return false;
  if (file.Write(text.data(), text.size()) != text.size()) return false;
  return file.Commit();
}

constexpr char kVersionLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLength = 9;  // "v" and eight letters or digits
constexpr std::size_t kOwnerLength = 6;

bool IsVersionLetters(const std::string& name, std::size_t from, std::size_t to) {
  return name.find_first_not_of(kVersionLetters, from) >= to;
}

// A subfolder's name: "v" and eight random letters or digits, then "-" and the mark of the page
// that owns it. Without the mark it was written before pages marked their subfolders.
bool IsVersionName(const std::string& name) {
  if (name.size() < kRandomLength || name[0] != 'v' || !IsVersionLetters(name, 1, kRandomLength)) return false;
  return name.size() == kRandomLength ||
         (name.size() == kRandomLength + 1 + kOwnerLength && name[kRandomLength] == '-' &&
          IsVersionLetters(name, kRandomLength + 1, name.size()));
}

// The mark of a page's subfolders: a hash of the page's name (pages of one folder differ in
// their extension, "book.htm" and "book.html").
std::string OwnerMark(const std::string& pageName) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : pageName) hash = (hash ^ c) * 1099511628211ull;
  std::string mark;
  for (std::size_t i = 0; i < kOwnerLength; ++i, hash /= sizeof kVersionLetters - 1)
    mark += kVersionLetters[hash % (sizeof kVersionLetters - 1)];
  return mark;
}

// The pages of a set as they were written before each set had a subfolder of its own.
bool IsFlatPageName(const std::string& name) {
  if (name == "tabstrip.htm") return true;
  if (name.size() < 11 || name.rfind("Sheet", 0) != 0 || name.compare(name.size() - 4, 4, ".htm") != 0) return false;
  return name.find_first_not_of("0123456789", 5) == name.size() - 4;
}

// The folder of a page set: "<page's name without extension>.files" beside the page. Every
// save writes its pages into a new subfolder with a name of its own, and the frameset page
// refers to that subfolder; so the rename that puts the page in place switches the whole set
// at once. Pages whose names differ only in their extension ("book.htm", "book.html") share
// the folder, and each marks its subfolders with its name. A save removes the subfolders its
// page referred to before and those it left when killed (its mark, no page refers to them),
// never one that a page of the folder refers to. A save locks the folder from start to end, so
// that two saves into it never remove each other's pages.
class PageSetFolder {
 public:
  explicit PageSetFolder(const std::string& page) : page_(page) {
    namespace fs = std::filesystem;
    const fs::path parent = fs::path(page).parent_path();
    pageFolder_ = parent.empty() ? std::string(".") : parent.string();
    stem_ = fs::path(page).stem().string();
    mark_ = OwnerMark(fs::path(page).filename().string());
    name_ = stem_ + ".files";
    path_ = pageFolder_ + "/" + name_;
  }
  ~PageSetFolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  PageSetFolder(const PageSetFolder&) = delete;
  PageSetFolder& operator=(const PageSetFolder&) = delete;

  const std::string& Path() const { return path_; }

  // Creates the folder when it is not there, locks it, notes what the page refers to and clears
  // what is left of killed saves.
  bool Open() {
    std::error_code error;
    std::filesystem::create_directories(path_, error);
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return false;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    std::string head;
    if (PageHead(page_, head)) {
      for (const std::string& name : Names(fd_))
        if (IsVersionName(name) && Refers(head, name)) before_.push_back(name);
    }
    RemoveUnreferenced();
    return true;
  }

  // A new empty subfolder: its name, or empty when none can be made.
  std::string NewVersion() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = "v";
      const std::uint64_t bits = (static_cast<std::uint64_t>(random()) << 32) ^ random();
      for (std::size_t i = 1; i < kRandomLength; ++i)
        name += kVersionLetters[(bits >> (6 * i)) % (sizeof kVersionLetters - 1)];
      name += "-" + mark_;
      if (::mkdirat(fd_, name.c_str(), 0777) == 0) return name;
      if (errno != EEXIST) break;
    }
    return {};
  }

  // The subfolder's address as the page writes it, relative to the page.
  std::string Reference(const std::string& version) const { return UrlPart(name_) + "/" + version; }

  bool PageRefersTo(const std::string& version) const {
    std::string head;
    return PageHead(page_, head) && Refers(head, version);
  }

  // Puts the folder's entries (a new subfolder's among them) and the folder itself on disk.
  bool Flush() const {
    if (::fsync(fd_) != 0 && errno != EINVAL) return false;
    const int parent = ::open(pageFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return false;
    const bool synced = ::fsync(parent) == 0 || errno == EINVAL;
    ::close(parent);
    return synced;
  }

  // Removes a subfolder of this user's with the files in it (nothing that is not a file).
  void RemoveVersion(const std::string& version) const {
    const int dir = ::openat(fd_, version.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return;
    struct stat st {};
    if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid()) {
      ::close(dir);
      return;
    }
    for (const std::string& name : Names(dir)) ::unlinkat(dir, name.c_str(), 0);
    ::close(dir);
    ::unlinkat(fd_, version.c_str(), AT_REMOVEDIR);
  }

  // Removes, of what no page of the folder refers to, the subfolders that this page referred to
  // before the save or that carry its mark, and what was written before pages marked their
  // subfolders (subfolders without a mark, the pages of a set without a subfolder), whose page
  // cannot be told. Nothing while a page of the folder cannot be read.
  void RemoveUnreferenced() const {
    std::string heads;
    if (!PageHeads(heads)) return;
    const bool flatSet = heads.find("src=\"" + UrlPart(name_) + "/tabstrip.htm\"") != std::string::npos;
    for (const std::string& name : Names(fd_)) {
      struct stat st {};
      if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::geteuid()) continue;
      if (S_ISDIR(st.st_mode) && IsVersionName(name) && !Refers(heads, name) &&
          (name.size() == kRandomLength || name.compare(kRandomLength + 1, kOwnerLength, mark_) == 0 ||
           std::find(before_.begin(), before_.end(), name) != before_.end())) {
        RemoveVersion(name);
      } else if (S_ISREG(st.st_mode) && !flatSet && IsFlatPageName(name)) {
        ::unlinkat(fd_, name.c_str(), 0);
      }
    }
  }

 private:
  // The names in a folder, "." and ".." left out.
  static std::vector<std::string> Names(int folder) {
    std::vector<std::string> names;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
      ::close(fd);
      return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
  }

  bool Refers(const std::string& head, const std::string& version) const {
    return head.find("src=\"" + Reference(version) + "/") != std::string::npos;
  }

  // The start of a page, where a frameset names its folder (empty when there is no page or it
  // is not a file): false when the page is there but cannot be read.
  static bool PageHead(const std::string& page, std::string& head) {
    head.assign(16 * 1024, '\0');
    const int fd = ::open(page.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      head.clear();
      return errno == ENOENT;
    }
    struct stat st {};
    ssize_t n = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, head.data(), head.size());
    ::close(fd);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n >= 0;
  }

  // The heads of this page and of every other name of its folder with the page's stem, one after
  // the other: false when one of them cannot be read.
  bool PageHeads(std::string& heads) const {
    if (!PageHead(page_, heads)) return false;
    const int folder = ::open(pageFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    const std::string own = std::filesystem::path(page_).filename().string();
    bool read = true;
    for (const std::string& name : Names(folder)) {
      if (name == own || name == name_ || std::filesystem::path(name).stem().string() != stem_) continue;
      std::string head;
      read = read && PageHead(pageFolder_ + "/" + name, head);
      heads += head;
    }
    ::close(folder);
    return read;
  }

  std::string page_, pageFolder_, stem_, mark_, name_, path_;
  std::vector<std::string> before_;  // the subfolders the page referred to when the save began
  int fd_ = -1;
};

}  // namespace

std::string TXLSHTMLExport::GetBorderWidth(std::int32_t weight, std::int32_t lineStyle) {
  double points = 0;
  switch (weight) {
    case kWeightHairline: points = 0.1; break;
    case kWeightThin: points = 0.5; break;
    case kWeightMedium: points = 1.5; break;
    case kWeightThick: points = 2; break;
    default: break;
  }
  if (lineStyle == kLineDouble) points += 1.5;
  std::string text = FloatToDotStr(points);
  return (text.empty() ? "0" : text) + "pt";
}

std::string TXLSHTMLExport::GetBorderStyleName(std::int32_t lineStyle) {
  switch (lineStyle) {
    case kLineContinuous: return "solid";
    case kLineDash:
    case kLineDashDot:
    case kLineDashDotDot:
    case kLineSlantDashDot: return "dashed";
    case kLineDot: return "dotted";
    case kLineDouble: return "double";
    default: return "";
  }
}

std::string TXLSHTMLExport::ColorToHTML(std::uint32_t color) { return "#" + Hex6(color); }

std::string TXLSHTMLExport::GetAlignAttribute(const Variant& value) {
  return IsRightAlignedType(value) ? "align=right " : "align=left ";
}

std::string TXLSHTMLExport::GetCellStyle(TXLSCellReader& cells, const std::string& key, std::int32_t xf,
                                         std::int32_t rightXF, std::int32_t bottomXF) {
  const TXLSCellLook& look = cells.Look(xf);
  std::string s = " td.f" + key + " {font-family: " + CssFontName(look.fontName) + "; ";
  s += "font-size: " + Num(RoundEven(look.fontSize)) + "pt; padding:1px; ";
  if (look.bold) s += "font-weight: bold; ";
  if (look.italic) s += "font-style: italic; ";
  switch (look.horizontal) {
    case kHAlignLeft: s += "text-align: left; padding-right: 0; "; break;
    case kHAlignCenter: s += "text-align: center; "; break;
    case kHAlignRight: s += "text-align: right; padding-left: 0;"; break;
    case kHAlignJustify: s += "text-align: justify; "; break;
    default: break;
  }
  switch (look.vertical) {
    case kVAlignBottom: s += "vertical-align: bottom; padding-top: 0; "; break;
    case kVAlignTop: s += "vertical-align: top; padding-bottom: 0;"; break;
    case kVAlignCenter: s += "vertical-align: middle; "; break;
    default: break;
  }
  s += "color: #" + Hex6(look.fontColor) + "; ";
  if (look.filled) s += "background-color: #" + Hex6(look.interiorColor) + "; ";
  if (!look.wrap) s += "white-space: nowrap; ";
  struct Edge {
    const char* name;
    std::int32_t code;
    std::int32_t xf;
  };
  const Edge edges[] = {{"border-top: ", kEdgeTop, xf},
                        {"border-left: ", kEdgeLeft, xf},
                        {"border-bottom: ", kEdgeBottom, bottomXF >= 0 ? bottomXF : xf},
                        {"border-right: ", kEdgeRight, rightXF >= 0 ? rightXF : xf}};
  TXLSXFList& xfs = cells.XFs();
  for (const Edge& e : edges) {
    const std::int32_t style = xfs.GetBorderLineStyle(e.xf, e.code);
    if (style == kXlNone) continue;
    s += e.name;
    s += GetBorderWidth(xfs.GetBorderWeight(e.xf, e.code), style) + " " + GetBorderStyleName(style) + " " +
         ColorToHTML(cells.ColorOf(xfs.GetBorderColor(e.xf, e.code))) + "; ";
  }
  return s + "}";
}

std::int32_t TXLSHTMLExport::WriteRange(const TXLSRange& range, platform::ByteStream& stream) {
  IXLSWorksheet& sheet = *range.GetWorksheet();
  TXLSCellReader cells(sheet);
  const std::int32_t r1 = range.GetFirstRow(), r2 = range.GetLastRow();
  const std::int32_t c1 = range.GetFirstCol(), c2 = range.GetLastCol();
  TXLSTextSink out(stream);

  // The style block: one rule per class key, in the order the keys first appear.
  out << "<html><head>\r\n<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n"
         "<STYLE TYPE=\"text/css\">\r\n<!--\r\n";
  std::unordered_set<std::string> keys;
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      const CellPlace p = PlaceOf(cells, r, c);
      if (!p.written) continue;
      std::string key = ClassKey(p.xf, p.rightXF, p.bottomXF);
      if (keys.count(key)) continue;
      const bool plain = key.find('r') == std::string::npos;
      out << GetCellStyle(cells, key, p.xf, plain ? -1 : p.rightXF, plain ? -1 : p.bottomXF);
      keys.insert(std::move(key));
    }
  }
  out << "-->\r\n</STYLE>\r\n</head><body>\r\n";

  // The table, streamed row by row.
  std::vector<long long> pixels;
  long long tableWidth = 0;
  std::string cols;
  for (std::int32_t c = c1; c <= c2; ++c) {
    const double w = sheet.ColumnInfo().GetColumnWidth(c);
    const long long px = RoundEven(w * 7.1 + 6.12);
    tableWidth += px;
    cols += " <col width=" + Num(px) + " style='width:" + FloatToDotStr((w * 7.1 + 6.12) / 1.333) + "pt' >\r\n";
  }
  out << "<table border=0 cellpadding=0 cellspacing=0 width=" << Num(tableWidth)
      << " style='border-collapse:collapse;table-layout:fixed'>\r\n" << cols;
  const TXLSRowInfoList& rows = sheet.RowInfo();
  std::string attributes;
  for (std::int32_t r = r1; r <= r2; ++r) {
    out << "<tr>\r\n";
    for (std::int32_t c = c1; c <= c2; ++c) {
      attributes.clear();
      if (c == c1 && rows.HasCustomHeight(r)) {
        const double h = rows.GetRowHeight(r);
        attributes = " height=" + Num(RoundEven(h * 1.333)) + " style='height:" + FloatToDotStr(h) + "pt' ";
      }
      const CellPlace p = PlaceOf(cells, r, c);
      if (!p.written) continue;
      if (p.columns > 1) attributes += "colspan=" + Num(p.columns) + " ";
      if (p.rows > 1) attributes += "rowspan=" + Num(p.rows) + " ";
      const Variant value = cells.Value(r, c);
      const TXLSCellLook& look = cells.Look(p.xf);
      if (look.horizontal == kHAlignGeneral) attributes += GetAlignAttribute(value);
      out << " <td " << attributes << " class=f" << ClassKey(p.xf, p.rightXF, p.bottomXF) << ">"
          << WideToUtf8(formater_.FormatValueEx(value, look.numberFormat, true)) << "</td>";
    }
    out << "</tr>\r\n";
  }
  out << "</table></body></html>";
  return out.Flush() ? 1 : -1;
}

std::int32_t TXLSHTMLExport::SaveRangeToFile(const TXLSRange& range, const std::u16string& fileName) {
  platform::AtomicFileStream file(WideToUtf8(fileName));
  if (!file.IsOpen()) return -1;
  if (WriteRange(range, file) != 1) return -1;
  return file.Commit() ? 1 : -1;
}

std::int32_t TXLSHTMLExport::SaveSheetToFile(IXLSWorksheet& sheet, const std::u16string& fileName) {
  IXLSRange used = sheet.GetUsedRange();
  return SaveRangeToFile(*used, fileName);
}

std::int32_t TXLSHTMLExport::SaveWorkbook(TXLSWorkbook& book, const std::u16string& fileName) {
  written_.clear();
  IXLSWorkSheets& sheets = book.GetWorksheets();
  if (sheets.GetCount() == 0) return 1;
  if (sheets.GetCount() == 1) {
    if (SaveSheetToFile(*sheets.GetItem(1), fileName) != 1) return -1;
    written_.push_back(fileName);
    return 1;
  }
  // The page replaced is the one a symbolic link leads to, and its folder goes beside it.
  const std::string page = platform::FinalTarget(WideToUtf8(fileName));
  if (page.empty()) return -1;
  PageSetFolder folder(page);
  if (!folder.Open()) return -1;
  const std::string version = folder.NewVersion();
  if (version.empty()) return -1;

  // The new set's pages, each complete on disk, in a folder that no page refers to yet.
  std::vector<std::u16string> names;
  auto inVersion = [&](const std::string& name) { return folder.Path() + "/" + version + "/" + name; };
  bool written = true;
  for (std::int32_t i = 1; i <= sheets.GetCount() && written; ++i) {
    const std::string name = inVersion("Sheet" + Picture000(i) + ".htm");
    platform::AtomicFileStream file(name);
    IXLSRange used = sheets.GetItem(i)->GetUsedRange();
    written = file.IsOpen() && WriteRange(*used, file) == 1 && file.Commit();
    names.push_back(Utf8ToWide(name));
  }
  if (written) {
    names.push_back(Utf8ToWide(inVersion("tabstrip.htm")));
    written = WriteLines(inVersion("tabstrip.htm"), TabStripText(book)) && folder.Flush();
  }
  // The frameset page that refers to the new folder replaces the old one in one rename: a reader
  // finds the old set or the new one.
  names.push_back(Utf8ToWide(page));
  const std::string frames = FramesetText(book, folder.Reference(version));
  const bool committed = written && WriteLines(page, frames);
  // A page renamed into place whose folder could not be flushed afterwards still switched the set.
  if (!committed && !(written && folder.PageRefersTo(version))) {
    folder.RemoveVersion(version);
    return -1;
  }
  folder.RemoveUnreferenced();
  written_ = std::move(names);
  return committed ? 1 : -1;
}

std::string TXLSHTMLExport::TabStripText(TXLSWorkbook& book) {
  std::string text =
      "<html>\r\n<head>\r\n <meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n"
      "<style>\r\n<!--\r\nA {\r\n    text-decoration:none;\r\n    color:#000000;\r\n    font-size:9pt;\r\n"
      "}\r\n-->\r\n</style>\r\n</head>\r\n<body topmargin=0 leftmargin=0 bgcolor=\"#808080\">\r\n"
      "<table border=0 cellspacing=1>\r\n <tr>\r\n";
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    text += "<td bgcolor=\"#FFFFFF\" nowrap><b><small><small>&nbsp;<a href=\"Sheet" + Picture000(i) +
            ".htm\" target=\"frSheet\"><font face=\"Arial\" color=\"#000000\">" +
            HtmlText(sheets.GetItem(i)->GetName()) + "</font></a>&nbsp;</small></small></b></td>" + kCrLf;
  }
  text += " </tr>\r\n</table>\r\n</body>\r\n</html>\r\n";
  return text;
}

std::int32_t TXLSHTMLExport::WriteTabStrip(TXLSWorkbook& book, const std::u16string& fileName) {
  return WriteLines(WideToUtf8(fileName), TabStripText(book)) ? 1 : -1;
}

std::string TXLSHTMLExport::FramesetText(TXLSWorkbook& book, const std::string& folder) {
  IXLSWorkSheets& sheets = book.GetWorksheets();
  std::int32_t active = 1;
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    if (sheets.GetItem(i) == book.GetActiveSheet()) active = i;
  }
  std::string text =
      "<html>\r\n<head>\r\n  <meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">\r\n</head>\r\n"
      "<frameset rows=\"*,39\" border=0 width=0 frameborder=no framespacing=0>\r\n";
  text += "<frame src=\"" + folder + "/Sheet" + Picture000(active) + ".htm\" name=\"frSheet\">\r\n";
  text += "<frame src=\"" + folder + "/tabstrip.htm\" name=\"frTabs\" marginwidth=0 marginheight=0>\r\n";
  text +=
      "<noframes>\r\n<body>\r\n<p>This page uses the frames. Your browser does not support frames.</p>\r\n"
      "</body>\r\n</noframes>\r\n</frameset>\r\n</html>\r\n";
  return text;
}

std::int32_t TXLSHTMLExport::WriteFrameset(TXLSWorkbook& book, const std::u16string& fileName) {
  const std::string folder = std::filesystem::path(WideToUtf8(fileName)).stem().string() + ".files";
  return WriteLines(WideToUtf8(fileName), FramesetText(book, UrlPart(folder))) ? 1 : -1;
}

}  // namespace xls
