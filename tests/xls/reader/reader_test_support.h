// Helpers of the reader tests: our model printed in the line format of xlrd_dump.py, that
// script's reading of the same file, and a line-by-line comparison.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xls/model/workbook.h"

namespace xls::test {

// Sheets, cells with their font, alignment and format, merged areas, column widths and names;
// rows only as far as peerDump names them ("row" lines), so that rows the model keeps for its
// cells do not count.
std::string DumpModel(TXLSWorkbook& book, const std::string& peerDump);
// xlrd_dump.py's output for the file; empty when xlrd fails.
std::string PeerDump(const std::string& path);
// The first differing lines, as text; empty when equal.
std::string CompareDumps(const std::string& ours, const std::string& peer);

// A bare BIFF stream built record by record.
struct BiffBuilder {
  std::vector<std::uint8_t> bytes;
  BiffBuilder& Record(std::uint16_t id, const std::vector<std::uint8_t>& body);
  // BOF of the given substream type (5 globals, 0x10 worksheet) and version (0x0600, 0x0500).
  BiffBuilder& Bof(std::uint16_t type, std::uint16_t version = 0x0600);
  BiffBuilder& Eof() { return Record(0x000A, {}); }
};
// Little-endian pieces of record bodies.
void PutWord(std::vector<std::uint8_t>& b, std::uint32_t v);
void PutDWord(std::vector<std::uint8_t>& b, std::uint32_t v);
void PutDouble(std::vector<std::uint8_t>& b, double v);
// A BIFF8 string: 2-byte length (1 byte when shortLength), option byte 0, 8-bit characters.
void PutString8(std::vector<std::uint8_t>& b, const std::string& s, bool shortLength = false);

int RunCommand(const std::string& command, std::string& output);
// A peer script's output split at its "file <name>" lines: the lines after each, by name
// (LibreOffice's javaldx warnings left out).
std::map<std::string, std::string> FileSections(const std::string& output);
std::string SourceDir();

}  // namespace xls::test
