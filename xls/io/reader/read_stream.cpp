#include "xls/io/reader/read_stream.h"

#include <cstring>

#include "platform/little_endian.h"
#include "xls/model/codepage.h"
#include "xls/model/file_streams.h"

namespace xls {

std::uint32_t PlainPrefix(std::uint16_t id, std::uint32_t length) {
  switch (id) {
    case kRecBOF:
    case kRecFilePass:
    case 0x00E1:  // INTERFACEHDR
    case 0x0194:  // USREXCL
    case 0x0195:  // FILELOCK
    case 0x0196:  // RRDINFO
    case 0x0138:  // RRDHEAD
      return length;
    case kRecBoundSheet:
      return length < 4 ? length : 4;
    default:
      return 0;
  }
}

bool IsBofBody(const std::uint8_t* data, std::uint32_t size) {
  if (size < 4) return false;
  const std::uint16_t version = platform::LoadLE16(data);
  const std::uint16_t type = platform::LoadLE16(data + 2);
  const bool knownVersion = (version & 0x00FF) == 0 && version >= 0x0200 && version <= 0x0600;
  switch (type) {
    case 0x0005:  // workbook globals
    case 0x0006:  // VB module
    case 0x0010:  // worksheet or dialog sheet
    case 0x0020:  // chart
    case 0x0040:  // macro sheet
    case 0x0100:  // workspace
      return knownVersion;
    default:
      return false;
  }
}

TXLSReadStream::TXLSReadStream(std::u16string password) : password_(std::move(password)) {}

TXLSReadStream::~TXLSReadStream() = default;

int TXLSReadStream::OpenFile(const std::u16string& fileName) {
  fileName_ = fileName;
  sourceStream_ = nullptr;
  return Open();
}

int TXLSReadStream::OpenStream(platform::ByteStream& stream) {
  fileName_.clear();
  sourceStream_ = &stream;
  sourceStart_ = stream.Position();
  if (sourceStart_ < 0) sourceStart_ = 0;
  return Open();
}

int TXLSReadStream::Open() {
  Close();
  decrypter_.reset();
  decrypting_ = false;
  int result = OpenStorage();
  if (result == 1) return OpenWorkbookStream();
  if (result == kReadNoCompoundFile) return OpenBare();
  return result;
}

int TXLSReadStream::OpenStorage() {
  root_.reset();
  if (fileName_.empty() && !sourceStream_) return 1;
  auto reader = std::make_unique<platform::CompoundFileReader>();
  platform::FileResult opened;
  if (sourceStream_) {
    opened = reader->OpenStream(*sourceStream_);
    sourceStream_->Seek(sourceStart_, platform::SeekOrigin::Begin);
  } else {
    opened = reader->OpenFile(WideToUtf8(fileName_));
  }
  if (!opened) return kReadNoCompoundFile;
  root_ = std::move(reader);
  return 1;
}

int TXLSReadStream::OpenWorkbookStream() {
  if (!root_) return kReadNoWorkbook;
  int entry = root_->Find(platform::CompoundFileReader::kRoot, u"workbook");
  if (entry < 0 || root_->GetEntry(entry).type != platform::CompoundEntryType::Stream)
    entry = root_->Find(platform::CompoundFileReader::kRoot, u"book");
  if (entry < 0 || root_->GetEntry(entry).type != platform::CompoundEntryType::Stream) return kReadNoWorkbook;
  workbookCopy_.clear();
  if (!root_->StreamInPlace(entry, workbookData_, workbookSize_)) {
    if (!root_->ReadStream(entry, workbookCopy_)) return kReadNoWorkbook;
    workbookData_ = workbookCopy_.data();
    workbookSize_ = workbookCopy_.size();
  }
  workbookPosition_ = 0;
  bare_ = false;
  position_ = 0;
  return 1;
}

int TXLSReadStream::OpenBare() {
  if (sourceStream_) {
    bareStream_ = sourceStream_;
  } else {
    try {
      ownBare_ = std::make_unique<TWFileStream>(fileName_, 0);
    } catch (const EFOpenError&) {
      return kReadNoCompoundFile;  // nothing to read at all
    }
    bareStream_ = ownBare_.get();
    sourceStart_ = 0;
  }
  bare_ = true;
  position_ = 0;
  std::uint8_t header[4];
  if (bareStream_->Read(header, 4) == 4) {
    std::uint16_t id = platform::LoadLE16(&header[0]);
    std::uint16_t length = platform::LoadLE16(&header[2]);
    if (id == kRecBOF && length >= 4 && length <= 30 &&
        bareStream_->Seek(sourceStart_, platform::SeekOrigin::Begin) == sourceStart_)
      return 1;
  }
  Close();
  return kReadNoWorkbook;
}

std::size_t TXLSReadStream::ReadBareBytes(void* buffer, std::size_t count) {
  return bare_ && bareStream_ ? bareStream_->Read(buffer, count) : 0;
}

int TXLSReadStream::ReadHeader(std::uint16_t& id, std::uint16_t& length) {
  if (!HasSource()) return kReadEndOfStream;
  std::uint8_t copy[4];
  const std::uint8_t* header = copy;
  std::size_t got;
  if (!bare_ && workbookSize_ - workbookPosition_ >= 4) {
    header = workbookData_ + workbookPosition_;  // read in place, not through a copy
    workbookPosition_ += 4;
    got = 4;
  } else {
    got = ReadBytes(copy, 4);
  }
  if (decrypting_) decrypter_->Skip(static_cast<std::uint32_t>(got));
  position_ += static_cast<std::uint32_t>(got);
  if (got < 4) return kReadEndOfStream;
  id = platform::LoadLE16(&header[0]);
  length = platform::LoadLE16(&header[2]);
  lastId_ = id;
  return 1;
}

int TXLSReadStream::ReadBody(std::uint32_t length, std::unique_ptr<TXLSBlob>& blob) {
  blob.reset();
  if (length == 0) return 1;
  auto body = std::make_unique<TXLSBlob>(length);
  const int status = ReadBodyInto(length, *body);
  if (status == 1) blob = std::move(body);
  return status;
}

int TXLSReadStream::ReadBodyInto(std::uint32_t length, TXLSBlob& blob) {
  const std::uint32_t oldSize = blob.GetSize();
  const std::uint32_t oldCapacity = blob.GetCapacity();
  blob.SetSize(0);
  const bool in = HasSource();
  std::size_t got = 0;
  if (in && length > 0) {
    if (length > oldCapacity) blob.EnsureCapacity(0, length);
    got = ReadBytes(blob.GetData(), length);
  }
  // Parsers that slip past a body read zeros: clear what a longer body before, or the grown
  // buffer, left after this one.
  const std::uint32_t dirtyEnd = blob.GetCapacity() > oldCapacity ? blob.GetCapacity() : oldSize;
  if (dirtyEnd > got) std::memset(blob.GetData() + got, 0, dirtyEnd - got);
  blob.SetSize(static_cast<std::uint32_t>(got));
  if (decrypting_ && got > 0) {
    // The XOR key index depends on the length of the whole record, so a record that keeps a
    // plain prefix is decrypted whole and the prefix put back.
    const std::uint32_t plain = std::min(PlainPrefix(lastId_, length), static_cast<std::uint32_t>(got));
    if (plain == got && lastId_ == kRecBOF && !IsBofBody(blob.GetData(), plain)) {
      // BOF bodies stay plain, but LibreOffice encrypts the BOF of an embedded chart: a body
      // that is no BOF as it stands is taken decrypted when that makes it one.
      std::vector<std::uint8_t> raw(blob.GetData(), blob.GetData() + got);
      decrypter_->Decrypt(blob.GetData(), static_cast<std::uint32_t>(got));
      if (!IsBofBody(blob.GetData(), static_cast<std::uint32_t>(got))) std::memcpy(blob.GetData(), raw.data(), got);
    } else if (plain == got) {
      decrypter_->Skip(plain);
    } else {
      std::uint8_t prefix[4];
      std::memcpy(prefix, blob.GetData(), std::min<std::uint32_t>(plain, sizeof prefix));
      decrypter_->Decrypt(blob.GetData(), static_cast<std::uint32_t>(got));
      std::memcpy(blob.GetData(), prefix, std::min<std::uint32_t>(plain, sizeof prefix));
    }
  }
  position_ += static_cast<std::uint32_t>(got);
  if (!in || got < length) return kReadShortRecord;
  return 1;
}

int TXLSReadStream::SetFilePass(const TXLSBlob& body) {
  decrypter_.reset();
  decrypting_ = false;
  int status;
  std::unique_ptr<TXLSDecrypter> decrypter = CreateDecrypter(body, status);
  if (!decrypter) return status;
  status = decrypter->CheckPassword(body, kDefaultPassword);
  // A malformed record fails whatever the password; otherwise the caller's password decides.
  if (status != 1 && status != kDecryptBadRecord && status != kDecryptUnsupported)
    status = password_.empty() ? kDecryptNoPassword : decrypter->CheckPassword(body, password_);
  if (status != 1) return status;
  decrypter->Skip(position_);
  decrypter_ = std::move(decrypter);
  decrypting_ = true;
  return 1;
}

void TXLSReadStream::Close() {
  ownBare_.reset();
  bareStream_ = nullptr;
  workbookData_ = nullptr;
  workbookSize_ = workbookPosition_ = 0;
  workbookCopy_.clear();
  workbookCopy_.shrink_to_fit();
  position_ = 0;
}

int TXLSReadStream::CloseStorage() {
  if (bare_) return 1;
  // A workbook stream still open in place in the file is copied out first: it reads on.
  if (workbookData_ && workbookData_ != workbookCopy_.data()) {
    workbookCopy_.assign(workbookData_, workbookData_ + workbookSize_);
    workbookData_ = workbookCopy_.data();
  }
  root_.reset();
  return 1;
}

// --- record groups ---

int TXLSRecordGroupReader::ReadRecord() {
  std::uint16_t id = 0, length = 0;
  int status = stream_.ReadHeader(id, length);
  if (status != 1) return status;
  if (!pendingBody_) pendingBody_ = std::make_unique<TXLSBlob>(length);
  status = stream_.ReadBodyInto(length, *pendingBody_);
  if (status != 1) return status;
  pendingId_ = id;
  havePending_ = true;
  // Decryption starts right after the FILEPASS body.
  if (id == kRecFilePass) return stream_.SetFilePass(*pendingBody_);
  return 1;
}

int TXLSRecordGroupReader::Next(TXLSRecordGroup& group) {
  group.id = 0;
  group.chunks = nullptr;
  if (!havePending_ && status_ == 1) status_ = ReadRecord();
  if (!havePending_) return status_;
  group.id = pendingId_;
  // A group of one record (nearly every group) takes the list of the last one again and
  // swaps its buffer with the record read ahead: nothing is allocated per record.
  if (!list_ || list_->Count() != 1) {
    list_ = std::make_unique<TXLSBlobList>();
    list_->Add(new TXLSBlob(0));
  }
  TXLSBlob* spare = list_->GetChunk(0);
  list_->PutChunk(0, pendingBody_.release());
  pendingBody_.reset(spare);
  havePending_ = false;
  while (status_ == 1) {
    status_ = ReadRecord();
    if (status_ != 1 || !havePending_) break;
    bool joins = (join_ && pendingId_ == kRecContinue) ||
                 (group.id == kRecMsoDrawingGroup && pendingId_ == kRecMsoDrawingGroup);
    if (!joins) break;
    list_->Add(pendingBody_.release());
    havePending_ = false;
  }
  group.chunks = list_.get();
  // A record read before a failure (the FILEPASS that failed) is still handed out.
  return 1;
}

}  // namespace xls
