// Helpers of the writer tests: saving into memory, taking the workbook stream out of the
// compound file, walking its records, and a checker of the stream offsets that the records
// carry (BOUNDSHEET, INDEX, DBCELL, EXTSST), which none of the outside readers verifies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xls/model/workbook.h"

namespace xls::test {

struct BiffRecord {
  std::uint16_t id = 0;
  std::uint32_t offset = 0;  // of the record header in the stream
  std::vector<std::uint8_t> data;

  std::uint16_t Word(std::size_t at) const;
  std::uint32_t DWord(std::size_t at) const;
  double Double(std::size_t at) const;
};

// The records of a workbook stream up to its zero padding.
std::vector<BiffRecord> ParseRecords(const std::vector<std::uint8_t>& stream);
// The named stream of a compound file; fails the test when it is missing.
std::vector<std::uint8_t> ReadStream(const std::vector<std::uint8_t>& file, const std::u16string& name);
// A BIFF8 (format 2) or BIFF5 (format 1) save into memory: the workbook stream.
std::vector<std::uint8_t> SaveStream(TXLSWorkbook& book, int format);
std::vector<std::uint8_t> SaveFileBytes(TXLSWorkbook& book, int format);

// Records of one substream: [from, EOF].
std::vector<BiffRecord> Substream(const std::vector<BiffRecord>& records, std::uint32_t bofOffset);
std::vector<std::uint16_t> Ids(const std::vector<BiffRecord>& records);
const BiffRecord* FindRecord(const std::vector<BiffRecord>& records, std::uint16_t id);

// Every offset problem found, as text; empty when the stream is consistent.
std::vector<std::string> CheckOffsets(const std::vector<std::uint8_t>& stream);

// A fresh folder under the temporary folder, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A whole file's bytes (none when it cannot be read), and bytes written as a file.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Runs a shell command; the exit status and everything it printed.
int RunCommand(const std::string& command, std::string& output);

// JSON literals for the expectations handed to the checker scripts: a UTF-8 or UTF-16 text
// (control characters as \u escapes) and a number with all its digits and a decimal point.
std::string Json(const std::string& utf8);
std::string Json(const std::u16string& text);
std::string JsonNumber(double v);

}  // namespace xls::test
