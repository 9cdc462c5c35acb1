// Helpers of the decryption and read-stream tests: the records that our read stream delivers,
// the records of a plain twin as olefile (python3-olefile) reads them, and shell commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xls::test {

struct Record {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> body;
  bool operator==(const Record&) const = default;
};

// Every record of a workbook file through TXLSReadStream and TXLSRecordGroupReader (groups
// taken apart again). status gets 1 when the stream ended cleanly, else the failing status.
std::vector<Record> ReadRecords(const std::string& path, const std::u16string& password, int& status);
// The records of a plain workbook as olefile reads its workbook stream, up to the zero padding.
std::vector<Record> PeerRecords(const std::string& path);
// The records after the FILEPASS record (or after the first record that the twin writes in its
// place, id 0 with zeros), so that twins that keep or drop FILEPASS compare alike.
std::vector<Record> AfterFilePass(const std::vector<Record>& records);
// Where records differ, as text; empty when equal.
std::string CompareRecords(const std::vector<Record>& ours, const std::vector<Record>& twin);

// Writes the records as the "Workbook" stream of a new compound file, FILEPASS replaced by a
// record of id 0 and the same length so that the stream offsets hold; false on failure.
bool WritePlainCopy(const std::vector<Record>& records, const std::string& path);
// Every non-empty cell of every sheet as python3-xlrd reads the file, one line each; empty when
// xlrd fails.
std::string PeerCells(const std::string& path);

int RunCommand(const std::string& command, std::string& output);
std::string SourceDir();
// ../shared/data/encrypted-xls beside the source tree; empty when absent.
std::string SampleDir();

}  // namespace xls::test
