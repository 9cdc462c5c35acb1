// BIFF record framing shared by every record writer of the save: a record is [id u16][data
// length u16][data] in one exactly sized TXLSBlob. Records longer than the format's data limit
// (8224 bytes in BIFF8, 2080 in BIFF5) go on in CONTINUE records; TXLSBiffWriter writes one
// logical record whose total length is known ahead as a first record plus CONTINUE records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/byte_stream.h"
#include "xls/model/blob.h"

namespace xls {

constexpr std::uint16_t kRecContinue = 0x003C;
constexpr std::uint16_t kBiff8RecordLimit = 8224;
constexpr std::uint16_t kBiff5RecordLimit = 2080;

// A record blob of exactly 4 + dataLength bytes with its header written.
std::unique_ptr<TXLSBlob> NewBiffRecord(std::uint16_t id, std::uint32_t dataLength);
// One-value records.
std::unique_ptr<TXLSBlob> WordRecord(std::uint16_t id, std::uint32_t value);
// CODENAME: the character count, option byte 1 and the UTF-16 characters (at most 255).
std::unique_ptr<TXLSBlob> CodeNameRecord(const std::u16string& name);
std::unique_ptr<TXLSBlob> DoubleRecord(std::uint16_t id, double value);

// BOF of a substream (type 0x0005 globals, 0x0010 worksheet) in the record version's form.
std::unique_ptr<TXLSBlob> BuildBofRecord(int version, std::uint16_t type);
// BIFF5 EXTERNSHEET records: a sheet of this workbook by name, and the two-byte forms (1, kind)
// that stand for the sheet itself (kind 2) and close the list (kind 4).
// The name is given as written, in the workbook's code page.
std::unique_ptr<TXLSBlob> Biff5ExternSheetByName(const std::string& name);
std::unique_ptr<TXLSBlob> Biff5ExternSheetMark(std::uint8_t kind);

// The record as one record of at most limit data bytes followed by CONTINUE records; a record
// within the limit comes back unchanged.
std::unique_ptr<TXLSBlob> SplitRecord(std::unique_ptr<TXLSBlob> record, std::uint16_t limit);
// The byte count of a record of size bytes (header included) once split at the limit.
std::uint32_t SplitRecordSize(std::uint32_t size, std::uint16_t limit);

// Appends a record (split when longer than the limit) to a list; a null record adds nothing.
// The result is 1, or -1 when the append failed.
int AddBiffRecord(TXLSBlobList& list, std::unique_ptr<TXLSBlob> record, std::uint16_t limit);

// Writes a list's chunks to a stream in order, freeing each once it is written, so that the
// records and the stream they go to are not both held whole. The list is empty afterwards.
// 1, or -1 at the first short write.
int DrainBlobList(TXLSBlobList& list, platform::ByteStream& out);

class TXLSBiffWriter {
 public:
  TXLSBiffWriter(TXLSBlobList& output, std::uint16_t limit) : output_(output), limit_(limit) {}
  ~TXLSBiffWriter() { Flush(); }
  TXLSBiffWriter(const TXLSBiffWriter&) = delete;
  TXLSBiffWriter& operator=(const TXLSBiffWriter&) = delete;

  // Opens a logical record of total data bytes; an open record is flushed first.
  void BeginRecord(std::uint16_t id, std::uint32_t total);
  // Copies the bytes in, opening CONTINUE records at the limit wherever it falls.
  void Append(const TXLSBlob& blob);
  void Append(const std::uint8_t* data, std::uint32_t count);
  void Flush();

 private:
  void Open(std::uint16_t id, std::uint32_t length);

  TXLSBlobList& output_;
  std::uint32_t remaining_ = 0;
  std::uint16_t limit_;
  std::uint32_t room_ = 0;
  std::unique_ptr<TXLSBlob> record_;
};

}  // namespace xls
