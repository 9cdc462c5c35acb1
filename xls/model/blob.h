// Record buffers: TXLSBlob holds one BIFF record (or any byte run) with typed appends, writes
// and reads; TXLSBlobList holds a whole stream as 4048-byte chunks, so that no single buffer
// grows with the workbook.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_stream.h"

namespace xls {

class TXLSBlob {
 public:
  explicit TXLSBlob(std::uint32_t capacity = 0);
  ~TXLSBlob();
  TXLSBlob(const TXLSBlob&) = delete;
  TXLSBlob& operator=(const TXLSBlob&) = delete;

  std::uint8_t* GetData() { return data_; }
  const std::uint8_t* GetData() const { return data_; }
  std::uint32_t GetCapacity() const { return capacity_; }
  std::uint32_t GetSize() const { return size_; }
  void SetSize(std::uint32_t n) { size_ = n < capacity_ ? n : capacity_; }
  void Reset() { size_ = 0; }
  void Zero();
  bool BigEndian() const { return bigEndian_; }
  void SetBigEndian(bool value) { bigEndian_ = value; }

  // Grows the buffer to exactly position + count bytes when that exceeds the capacity.
  void EnsureCapacity(std::uint32_t position, std::uint32_t count);

  // Appends at the end (position = size), growing as needed.
  void AddByte(std::uint32_t v);
  void AddWord(std::uint32_t v);
  void AddDWord(std::uint32_t v);
  void AddDouble(double v);
  void AddString(const std::string& s);
  void AddWideString(const std::u16string& w);
  void AddWideString(const char16_t* w, std::size_t count);
  void AddBlob(const TXLSBlob* b);

  // Copies from another buffer or from memory. A buffer made at its final size never grows
  // here; one that is too small is grown rather than overrun.
  void AddBlobRange(const TXLSBlob& source, std::uint32_t offset, std::uint32_t count);
  void AddWholeBlob(const TXLSBlob& source) { AddBlobRange(source, 0, source.GetSize()); }
  void PutBlobRange(const TXLSBlob& source, std::uint32_t offset, std::uint32_t count,
                    std::uint32_t position);
  void PutBuffer(const void* memory, std::uint32_t offset, std::uint32_t count,
                 std::uint32_t position);
  void Fill(std::uint32_t position, std::uint32_t count, std::uint8_t value);

  // Writes at a position, growing to cover it; the size is not changed.
  void WriteByte(std::uint32_t position, std::uint32_t v);
  void WriteWord(std::uint32_t position, std::uint32_t v);
  void WriteDWord(std::uint32_t position, std::uint32_t v);
  void WriteDouble(std::uint32_t position, double v);
  void WriteString(std::uint32_t position, const std::string& s);
  void WriteWideString(std::uint32_t position, const std::u16string& w);
  void WriteWideString(std::uint32_t position, const char16_t* w, std::size_t count);
  void PutByte(std::uint32_t v, std::uint32_t position) { WriteByte(position, v); }
  void PutWord(std::uint32_t v, std::uint32_t position) { WriteWord(position, v); }
  void PutWideString(const std::u16string& w, std::uint32_t position) {
    WriteWideString(position, w);
  }

  // Reads at a position. Record parsers keep reads within the record; bytes past the end of
  // the buffer read as 0 so that a parser's slip can never touch foreign memory.
  std::uint8_t GetByte(std::uint32_t position) const;
  std::uint16_t GetWord(std::uint32_t position) const;
  std::uint32_t GetDWord(std::uint32_t position) const;
  double GetDouble(std::uint32_t position) const;
  std::string GetString(std::uint32_t position, std::uint32_t n) const;         // cut at NUL
  std::u16string GetWideString(std::uint32_t position, std::uint32_t n) const;  // cut at NUL
  std::string GetRawString(std::uint32_t position, std::uint32_t n) const;
  std::u16string GetRawWideString(std::uint32_t position, std::uint32_t n) const;

  // A BIFF string: character count (1 byte when shortLength, else 2), the option byte when
  // hasOptions, then UTF-16 (option bit 0) or code-page-1252 bytes. position advances.
  void GetBiffString(std::uint32_t& position, bool shortLength, std::u16string& text,
                     bool hasOptions) const;
  void GetBiffStringRaw(std::uint32_t& position, bool shortLength, std::u16string& text,
                        bool hasOptions) const;

  // Writes the used bytes in one call; 1 when all were written, else -1.
  int WriteToStream(platform::ByteStream& stream) const;

 private:
  void CopyIn(std::uint32_t position, const void* src, std::uint32_t count);
  std::uint64_t ReadUnsigned(std::uint32_t position, int width) const;
  void WriteUnsigned(std::uint32_t position, std::uint64_t v, int width);
  std::u16string ReadBiffString(std::uint32_t& position, bool shortLength, bool hasOptions,
                                bool cutAtNul) const;

  // Most records are a few bytes: those live in the buffer's own inline bytes, which saves
  // a heap block per record. The inline bytes come last, so that a slip past them still
  // leaves the object.
  static constexpr std::uint32_t kInline = 32;

  std::uint8_t* data_ = nullptr;
  std::uint32_t capacity_ = 0;
  std::uint32_t size_ = 0;
  bool bigEndian_ = false;
  std::uint8_t inline_[kInline];
};

class TXLSBlobList {
 public:
  static constexpr std::uint16_t kChunkSize = 4048;

  TXLSBlobList();
  virtual ~TXLSBlobList();
  TXLSBlobList(const TXLSBlobList&) = delete;
  TXLSBlobList& operator=(const TXLSBlobList&) = delete;

  virtual void Add(TXLSBlob* chunk);  // takes ownership
  int NewChunk();
  // Appends the used bytes of blob; unless keep, the blob is deleted afterwards.
  int AppendBlob(TXLSBlob* blob, bool keep);
  int Append(TXLSBlob* blob) { return AppendBlob(blob, false); }
  int AppendList(const TXLSBlobList& other);
  TXLSBlob* GetChunk(std::size_t i) const { return i < chunks_.size() ? chunks_[i] : nullptr; }
  // Takes the blob: i == count adds it at the end; i < count puts it in place of chunk i, which
  // is not deleted (the caller that swaps chunks keeps what it took out); past the end it is
  // deleted.
  void PutChunk(std::size_t i, TXLSBlob* blob);
  std::size_t Count() const { return chunks_.size(); }
  std::uint32_t TotalSize() const { return totalSize_; }
  std::uint16_t ChunkSize() const { return chunkSize_; }

  int WriteToStream(platform::ByteStream& stream) const;
  int CopyRange(std::uint32_t offset, std::uint32_t count, TXLSBlob& target) const;
  // A new blob of exactly count bytes, or nullptr and -1.
  int ReadBlob(std::uint32_t offset, std::uint32_t count, TXLSBlob*& blob) const;
  // A BIFF8 string body that begins with its option byte (1 = UTF-16, else 1252 bytes).
  int ReadUnicodeString(std::uint32_t offset, std::uint32_t count, std::uint32_t& bytesUsed,
                        std::u16string& text) const;

 private:
  std::vector<TXLSBlob*> chunks_;
  std::uint16_t chunkSize_ = kChunkSize;
  std::uint32_t totalSize_ = 0;
  std::uint16_t fill_ = kChunkSize;
};

}  // namespace xls
