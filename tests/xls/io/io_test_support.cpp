#include "io_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "platform/compound_file.h"
#include "xls/model/codepage.h"
#include "xls/io/workbook_writer.h"

namespace xls::test {

std::uint16_t BiffRecord::Word(std::size_t at) const {
  return at + 2 <= data.size() ? static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8)) : 0;
}

std::uint32_t BiffRecord::DWord(std::size_t at) const {
  return static_cast<std::uint32_t>(Word(at)) | (static_cast<std::uint32_t>(Word(at + 2)) << 16);
}

double BiffRecord::Double(std::size_t at) const {
  double v = 0;
  if (at + 8 <= data.size()) std::memcpy(&v, data.data() + at, 8);
  return v;
}

std::vector<BiffRecord> ParseRecords(const std::vector<std::uint8_t>& stream) {
  std::vector<BiffRecord> out;
  std::size_t at = 0;
  while (at + 4 <= stream.size()) {
    BiffRecord r;
    r.id = static_cast<std::uint16_t>(stream[at] | (stream[at + 1] << 8));
    const std::size_t length = static_cast<std::size_t>(stream[at + 2] | (stream[at + 3] << 8));
    if (r.id == 0 && length == 0) break;  // the zero padding after the last EOF
    if (at + 4 + length > stream.size()) {
      ADD_FAILURE() << "record at " << at << " runs past the stream";
      break;
    }
    r.offset = static_cast<std::uint32_t>(at);
    r.data.assign(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                  stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + length));
    out.push_back(std::move(r));
    at += 4 + length;
  }
  return out;
}

std::vector<std::uint8_t> ReadStream(const std::vector<std::uint8_t>& file, const std::u16string& name) {
  platform::CompoundFileReader reader;
  platform::FileResult opened = reader.Open(file);
  EXPECT_TRUE(opened.ok) << opened.error;
  std::vector<std::uint8_t> bytes;
  if (!opened) return bytes;
  int entry = reader.Find(platform::CompoundFileReader::kRoot, name);
  EXPECT_GE(entry, 0) << "no such stream";
  if (entry >= 0) {
    EXPECT_TRUE(reader.ReadStream(entry, bytes).ok);
  }
  return bytes;
}

std::vector<std::uint8_t> SaveFileBytes(TXLSWorkbook& book, int format) {
  platform::MemoryStream memory;
  std::string error;
  EXPECT_EQ(SaveWorkbookToStream(book, memory, format, &error), 1) << error;
  return memory.Bytes();
}

std::vector<std::uint8_t> SaveStream(TXLSWorkbook& book, int format) {
  return ReadStream(SaveFileBytes(book, format), format == kSaveBiff5 ? u"Book" : u"Workbook");
}

std::vector<BiffRecord> Substream(const std::vector<BiffRecord>& records, std::uint32_t bofOffset) {
  std::vector<BiffRecord> out;
  bool inside = false;
  for (const BiffRecord& r : records) {
    if (r.offset == bofOffset) inside = true;
    if (!inside) continue;
    out.push_back(r);
    if (r.id == 0x000A) break;
  }
  return out;
}

std::vector<std::uint16_t> Ids(const std::vector<BiffRecord>& records) {
  std::vector<std::uint16_t> ids;
  for (const BiffRecord& r : records) ids.push_back(r.id);
  return ids;
}

const BiffRecord* FindRecord(const std::vector<BiffRecord>& records, std::uint16_t id) {
  for (const BiffRecord& r : records)
    if (r.id == id) return &r;
  return nullptr;
}

namespace {

// The SST's bytes with the stream position of each, over its CONTINUE records.
struct SstBytes {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> positions;
  std::vector<bool> recordStart;  // the byte opens a CONTINUE record's data
};

void CheckSst(const std::vector<BiffRecord>& globals, std::vector<std::string>& problems) {
  SstBytes sst;
  std::map<std::uint32_t, std::uint32_t> recordOf;  // data position -> record offset
  bool inSst = false;
  for (const BiffRecord& r : globals) {
    if (r.id == 0x00FC) {
      inSst = true;
    } else if (!(inSst && r.id == 0x003C)) {
      inSst = false;
      continue;
    }
    for (std::size_t i = 0; i < r.data.size(); ++i) {
      sst.bytes.push_back(r.data[i]);
      sst.positions.push_back(r.offset + 4 + static_cast<std::uint32_t>(i));
      sst.recordStart.push_back(i == 0 && r.id == 0x003C);
      recordOf[r.offset + 4 + static_cast<std::uint32_t>(i)] = r.offset;
    }
  }
  const BiffRecord* ext = FindRecord(globals, 0x00FF);
  if (sst.bytes.empty()) {
    if (ext) problems.push_back("EXTSST without SST");
    return;
  }
  auto u16 = [&](std::size_t at) {
    return at + 1 < sst.bytes.size() ? static_cast<std::uint32_t>(sst.bytes[at] | (sst.bytes[at + 1] << 8)) : 0u;
  };
  const std::uint32_t unique = u16(4) | (u16(6) << 16);
  std::vector<std::uint32_t> starts;
  std::size_t at = 8;
  for (std::uint32_t s = 0; s < unique && at + 3 <= sst.bytes.size(); ++s) {
    starts.push_back(sst.positions[at]);
    std::uint32_t chars = u16(at);
    std::uint8_t flags = sst.bytes[at + 2];
    at += 3;
    std::uint32_t runs = 0, extra = 0;
    if (flags & 8) { runs = u16(at); at += 2; }
    if (flags & 4) { extra = u16(at) | (u16(at + 2) << 16); at += 4; }
    while (chars > 0 && at < sst.bytes.size()) {
      if (sst.recordStart[at]) {  // a string continued: a new option byte
        flags = sst.bytes[at];
        ++at;
        continue;
      }
      at += (flags & 1) ? 2 : 1;
      --chars;
    }
    at += 4 * runs + extra;
  }
  if (starts.size() != unique) problems.push_back("SST holds fewer strings than it counts");
  if (!ext) {
    problems.push_back("SST without EXTSST");
    return;
  }
  const std::uint32_t bucket = ext->Word(0);
  if (bucket == 0) {
    problems.push_back("EXTSST bucket size 0");
    return;
  }
  const std::size_t entries = (ext->data.size() - 2) / 8;
  const std::size_t expected = (starts.size() + bucket - 1) / bucket;
  if (entries != expected)
    problems.push_back("EXTSST has " + std::to_string(entries) + " entries for " + std::to_string(expected) + " buckets");
  for (std::size_t k = 0; k < entries && k * bucket < starts.size(); ++k) {
    const std::uint32_t position = ext->DWord(2 + 8 * k);
    const std::uint32_t inRecord = ext->Word(6 + 8 * k);
    const std::uint32_t start = starts[k * bucket];
    if (position != start)
      problems.push_back("EXTSST entry " + std::to_string(k) + " points at " + std::to_string(position) +
                         ", string starts at " + std::to_string(start));
    else if (inRecord != position - recordOf[position])
      problems.push_back("EXTSST entry " + std::to_string(k) + " has record offset " + std::to_string(inRecord));
  }
}

void CheckSheet(const std::vector<BiffRecord>& sheet, bool biff8,
                const std::map<std::uint32_t, std::uint16_t>& idAt, std::vector<std::string>& problems) {
  const std::string where = "sheet at " + std::to_string(sheet.front().offset) + ": ";
  std::vector<std::uint32_t> dbcells;
  std::int64_t minRow = -1, maxRow = -1;
  for (const BiffRecord& r : sheet) {
    if (r.id == 0x00D7) dbcells.push_back(r.offset);
    if (r.id == 0x0208) {
      std::int64_t row = r.Word(0);
      if (minRow < 0 || row < minRow) minRow = row;
      if (row > maxRow) maxRow = row;
    }
  }
  const BiffRecord* index = sheet.size() > 1 && sheet[1].id == 0x020B ? &sheet[1] : nullptr;
  if (!index) {
    if (FindRecord(sheet, 0x020B)) problems.push_back(where + "INDEX is not right after BOF");
    if (minRow >= 0) problems.push_back(where + "rows without INDEX");
  } else {
    const std::size_t first = biff8 ? 16 : 12;
    const std::uint32_t rwMic = biff8 ? index->DWord(4) : index->Word(4);
    const std::uint32_t rwMac = biff8 ? index->DWord(8) : index->Word(6);
    if (minRow >= 0 && (rwMic != minRow || rwMac != maxRow + 1))
      problems.push_back(where + "INDEX rows " + std::to_string(rwMic) + ".." + std::to_string(rwMac) +
                         " for ROW records " + std::to_string(minRow) + ".." + std::to_string(maxRow));
    std::vector<std::uint32_t> listed;
    for (std::size_t at = first; at + 4 <= index->data.size(); at += 4) listed.push_back(index->DWord(at));
    if (listed != dbcells) problems.push_back(where + "INDEX does not list the DBCELL records' positions");
  }
  // Each DBCELL points back at its block's first ROW and at each row's first cell.
  std::size_t i = 0;
  std::uint32_t previousEnd = 0;
  for (std::size_t k = 0; k < sheet.size(); ++k) {
    const BiffRecord& db = sheet[k];
    if (db.id != 0x00D7) continue;
    std::vector<std::uint32_t> rows;
    for (std::size_t j = i; j < k; ++j)
      if (sheet[j].id == 0x0208 && sheet[j].offset > previousEnd) rows.push_back(sheet[j].offset);
    i = k + 1;
    previousEnd = db.offset;
    const std::uint32_t back = db.DWord(0);
    const std::size_t offsets = (db.data.size() - 4) / 2;
    if (rows.empty()) {
      if (back != 0 || offsets != 0) problems.push_back(where + "DBCELL of a block without rows is not empty");
      continue;
    }
    if (db.offset - back != rows.front())
      problems.push_back(where + "DBCELL at " + std::to_string(db.offset) + " does not point at its first ROW");
    if (offsets != rows.size())
      problems.push_back(where + "DBCELL at " + std::to_string(db.offset) + " has " + std::to_string(offsets) +
                         " row offsets for " + std::to_string(rows.size()) + " rows");
    std::uint32_t position = rows.front() + 20;
    for (std::size_t n = 0; n < offsets; ++n) {
      position += db.Word(4 + 2 * n);
      if (!idAt.count(position))
        problems.push_back(where + "DBCELL row offset " + std::to_string(n) + " falls inside a record");
    }
  }
}

}  // namespace

std::vector<std::string> CheckOffsets(const std::vector<std::uint8_t>& stream) {
  std::vector<std::string> problems;
  const std::vector<BiffRecord> records = ParseRecords(stream);
  if (records.empty() || records.front().id != 0x0809) return {"no BOF at the start"};
  const bool biff8 = records.front().Word(0) == 0x0600;
  std::map<std::uint32_t, std::uint16_t> idAt;
  for (const BiffRecord& r : records) idAt[r.offset] = r.id;
  const std::vector<BiffRecord> globals = Substream(records, 0);
  CheckSst(globals, problems);
  for (const BiffRecord& b : globals) {
    if (b.id != 0x0085) continue;
    const std::uint32_t offset = b.DWord(0);
    auto found = idAt.find(offset);
    if (found == idAt.end() || found->second != 0x0809) {
      problems.push_back("BOUNDSHEET offset " + std::to_string(offset) + " is not a BOF");
      continue;
    }
    const std::vector<BiffRecord> sheet = Substream(records, offset);
    if (sheet.front().Word(2) != 0x0010) problems.push_back("BOUNDSHEET offset " + std::to_string(offset) + " is not a worksheet BOF");
    CheckSheet(sheet, biff8, idAt, problems);
  }
  return problems;
}

TempDir::TempDir() {
  std::string t = (std::filesystem::temp_directory_path() / "kv_xls_XXXXXX").string();
  if (mkdtemp(t.data())) path_ = t;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Json(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Json(const std::u16string& text) { return Json(WideToUtf8(text)); }

std::string JsonNumber(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  std::string t = s.str();
  if (t.find_first_of(".e") == std::string::npos) t += ".0";
  return t;
}

}  // namespace xls::test
