// The records of a BIFF workbook, one at a time: TXLSReadStream opens the compound file (from
// a file or a caller's stream), picks the "Workbook" or "Book" stream, reads record headers
// and bodies, counts the stream position and, once a FILEPASS record has been accepted,
// decrypts the bodies. A file that is no compound file but starts with a BOF record is read as
// a bare BIFF stream. TXLSRecordGroupReader joins each record with the CONTINUE records that
// follow it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "xls/io/crypto/decrypter.h"
#include "xls/model/blob.h"

namespace xls {

// Status codes of the read stream beside 1 and the decryption codes (-1001..-1005).
constexpr int kReadEndOfStream = 100;   // fewer than 4 bytes left for a header
constexpr int kReadShortRecord = -1;    // a body shorter than its length
constexpr int kReadNoCompoundFile = -2; // the source is no compound file, or cannot be read
constexpr int kReadNoWorkbook = -3;     // no workbook stream and no bare BIFF stream

constexpr std::uint16_t kRecBOF = 0x0809;
constexpr std::uint16_t kRecFilePass = 0x002F;
constexpr std::uint16_t kRecContinue = 0x003C;
constexpr std::uint16_t kRecBoundSheet = 0x0085;
constexpr std::uint16_t kRecMsoDrawingGroup = 0x00EB;

class TXLSReadStream {
 public:
  explicit TXLSReadStream(std::u16string password = {});
  ~TXLSReadStream();
  TXLSReadStream(const TXLSReadStream&) = delete;
  TXLSReadStream& operator=(const TXLSReadStream&) = delete;

  // Store the source and Open. A caller's stream is read from its current position; it stays
  // the caller's.
  int OpenFile(const std::u16string& fileName);
  int OpenStream(platform::ByteStream& stream);
  // 1 ready; -2 the file cannot be read at all; -3 neither a workbook stream nor a bare stream.
  int Open();

  // 1 with the record id and data length; 100 at the end of the stream.
  int ReadHeader(std::uint16_t& id, std::uint16_t& length);
  // 1 with a blob of exactly length bytes (nullptr for length 0); -1 when fewer remain.
  int ReadBody(std::uint32_t length, std::unique_ptr<TXLSBlob>& blob);
  // The same into a buffer the caller reuses (grown when too small): its size becomes the
  // count of bytes read, and the bytes past them read as 0 as in a buffer of exactly that size.
  int ReadBodyInto(std::uint32_t length, TXLSBlob& blob);
  // Installs decryption for the rest of the stream: the default password is tried first, then
  // the caller's. 1, or a decryption status; on failure nothing is decrypted.
  int SetFilePass(const TXLSBlob& body);

  // Ends reading the workbook stream; position := 0.
  void Close();
  // Lets go of the compound file; 1.
  int CloseStorage();

  std::uint32_t Position() const { return position_; }
  bool Decrypting() const { return decrypting_; }
  bool Bare() const { return bare_; }
  // The opened compound file (the reader takes the macro project and "Ctls" from it), or
  // nullptr when reading a bare stream.
  const platform::CompoundFileReader* RootStorage() const { return root_.get(); }

 private:
  int OpenStorage();
  int OpenWorkbookStream();
  int OpenBare();
  // Bytes of the workbook stream (or of the bare stream); fewer at its end.
  std::size_t ReadBytes(void* buffer, std::size_t count) {
    if (bare_ || !workbookData_) return ReadBareBytes(buffer, count);
    const std::size_t n = workbookPosition_ < workbookSize_ ? std::min(count, workbookSize_ - workbookPosition_) : 0;
    std::memcpy(buffer, workbookData_ + workbookPosition_, n);
    workbookPosition_ += n;
    return n;
  }
  std::size_t ReadBareBytes(void* buffer, std::size_t count);
  bool HasSource() const { return bare_ ? bareStream_ != nullptr : workbookData_ != nullptr; }

  std::u16string fileName_;
  std::uint32_t position_ = 0;
  platform::ByteStream* sourceStream_ = nullptr;
  std::int64_t sourceStart_ = 0;
  std::unique_ptr<platform::CompoundFileReader> root_;
  // The workbook stream: in place in the compound file when its sectors follow one another,
  // else a copy in workbookCopy_.
  const std::uint8_t* workbookData_ = nullptr;
  std::size_t workbookSize_ = 0;
  std::size_t workbookPosition_ = 0;
  std::vector<std::uint8_t> workbookCopy_;
  std::unique_ptr<platform::ByteStream> ownBare_;
  platform::ByteStream* bareStream_ = nullptr;
  bool bare_ = false;
  std::u16string password_;
  std::unique_ptr<TXLSDecrypter> decrypter_;
  bool decrypting_ = false;
  std::uint16_t lastId_ = 0;  // the id of the header read last: says which bytes stay plain
};

// Records that are never encrypted, and the BOUNDSHEET whose first 4 bytes (the substream
// position) stay plain: the count of leading body bytes of a record that stay plain.
std::uint32_t PlainPrefix(std::uint16_t id, std::uint32_t length);

// True when the bytes are a BOF body: a BIFF version (0x0200..0x0600) and a known substream
// type (globals, module, worksheet, chart, macro sheet, workspace).
bool IsBofBody(const std::uint8_t* data, std::uint32_t size);

// A record with the CONTINUE records that follow it: chunk i of the list is the body of the
// i-th record (chunk 0 the record itself; an empty body is an empty chunk). The list belongs
// to the group reader and is valid until its next Next: the buffers are reused record after
// record.
struct TXLSRecordGroup {
  std::uint16_t id = 0;
  const TXLSBlobList* chunks = nullptr;
};

class TXLSRecordGroupReader {
 public:
  explicit TXLSRecordGroupReader(TXLSReadStream& stream) : stream_(stream) {}
  // A FILEPASS record switches decryption on as soon as it is read, so the records after it
  // arrive decrypted however far the caller reads ahead.
  // 1 with the next group; 100 after the last group; a failure code after the group that was
  // collected before the failure.
  int Next(TXLSRecordGroup& group);
  // In a chart sheet every record, CONTINUE included, is a group of its own.
  void SetJoinContinue(bool join) { join_ = join; }

 private:
  int ReadRecord();

  TXLSReadStream& stream_;
  bool join_ = true;
  bool havePending_ = false;  // a record read ahead that starts the next group
  std::uint16_t pendingId_ = 0;
  std::unique_ptr<TXLSBlob> pendingBody_;
  std::unique_ptr<TXLSBlobList> list_;  // the chunks of the group handed out last
  int status_ = 1;  // the stream's result once it is no longer 1
};

}  // namespace xls
