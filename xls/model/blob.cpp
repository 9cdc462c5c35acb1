#include "xls/model/blob.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "xls/model/codepage.h"

namespace xls {

TXLSBlob::TXLSBlob(std::uint32_t capacity) : capacity_(capacity) {
  if (capacity_ == 0) return;
  if (capacity_ <= kInline) {
    data_ = inline_;
    return;
  }
  data_ = static_cast<std::uint8_t*>(std::malloc(capacity_));
  if (!data_) throw std::bad_alloc();
}

TXLSBlob::~TXLSBlob() {
  if (data_ != inline_) std::free(data_);
}

void TXLSBlob::Zero() {
  if (data_) std::memset(data_, 0, capacity_);
}

void TXLSBlob::EnsureCapacity(std::uint32_t position, std::uint32_t count) {
  std::uint64_t need = static_cast<std::uint64_t>(position) + count;
  if (need <= capacity_) return;
  if (need > 0xFFFFFFFFull) throw std::length_error("record buffer past 4 GB");
  if (need <= kInline && (data_ == nullptr || data_ == inline_)) {
    data_ = inline_;
  } else if (data_ == inline_) {
    auto* grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(need)));
    if (!grown) throw std::bad_alloc();
    std::memcpy(grown, inline_, capacity_);
    data_ = grown;
  } else {
    auto* grown = static_cast<std::uint8_t*>(std::realloc(data_, static_cast<std::size_t>(need)));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
  }
  capacity_ = static_cast<std::uint32_t>(need);
}

void TXLSBlob::CopyIn(std::uint32_t position, const void* src, std::uint32_t count) {
  if (count == 0) return;
  EnsureCapacity(position, count);
  std::memmove(data_ + position, src, count);
}

void TXLSBlob::WriteUnsigned(std::uint32_t position, std::uint64_t v, int width) {
  EnsureCapacity(position, static_cast<std::uint32_t>(width));
  for (int i = 0; i < width; ++i) {
    int at = bigEndian_ ? width - 1 - i : i;
    data_[position + at] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

std::uint64_t TXLSBlob::ReadUnsigned(std::uint32_t position, int width) const {
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) {
    int at = bigEndian_ ? width - 1 - i : i;
    std::uint64_t p = static_cast<std::uint64_t>(position) + at;
    std::uint8_t b = p < capacity_ ? data_[p] : 0;
    v |= static_cast<std::uint64_t>(b) << (8 * i);
  }
  return v;
}

void TXLSBlob::AddByte(std::uint32_t v) {
  WriteUnsigned(size_, v & 0xFF, 1);
  size_ += 1;
}
void TXLSBlob::AddWord(std::uint32_t v) {
  WriteUnsigned(size_, v & 0xFFFF, 2);
  size_ += 2;
}
void TXLSBlob::AddDWord(std::uint32_t v) {
  WriteUnsigned(size_, v, 4);
  size_ += 4;
}
void TXLSBlob::AddDouble(double v) {
  WriteDouble(size_, v);
  size_ += 8;
}
void TXLSBlob::AddString(const std::string& s) {
  WriteString(size_, s);
  size_ += static_cast<std::uint32_t>(s.size());
}
void TXLSBlob::AddWideString(const std::u16string& w) { AddWideString(w.data(), w.size()); }
void TXLSBlob::AddWideString(const char16_t* w, std::size_t count) {
  WriteWideString(size_, w, count);
  size_ += static_cast<std::uint32_t>(2 * count);
}
void TXLSBlob::AddBlob(const TXLSBlob* b) {
  if (!b || b->size_ == 0) return;
  CopyIn(size_, b->data_, b->size_);
  size_ += b->size_;
}

void TXLSBlob::AddBlobRange(const TXLSBlob& source, std::uint32_t offset, std::uint32_t count) {
  if (count == 0) return;
  CopyIn(size_, source.data_ + offset, count);
  size_ += count;
}

void TXLSBlob::PutBlobRange(const TXLSBlob& source, std::uint32_t offset, std::uint32_t count,
                            std::uint32_t position) {
  PutBuffer(source.data_, offset, count, position);
}

void TXLSBlob::PutBuffer(const void* memory, std::uint32_t offset, std::uint32_t count,
                         std::uint32_t position) {
  if (count == 0) return;
  CopyIn(position, static_cast<const std::uint8_t*>(memory) + offset, count);
  if (position + count > size_) size_ = position + count;
}

void TXLSBlob::Fill(std::uint32_t position, std::uint32_t count, std::uint8_t value) {
  if (count == 0) return;
  EnsureCapacity(position, count);
  std::memset(data_ + position, value, count);
}

void TXLSBlob::WriteByte(std::uint32_t position, std::uint32_t v) { WriteUnsigned(position, v & 0xFF, 1); }
void TXLSBlob::WriteWord(std::uint32_t position, std::uint32_t v) { WriteUnsigned(position, v & 0xFFFF, 2); }
void TXLSBlob::WriteDWord(std::uint32_t position, std::uint32_t v) { WriteUnsigned(position, v, 4); }
void TXLSBlob::WriteDouble(std::uint32_t position, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  WriteUnsigned(position, bits, 8);
}
void TXLSBlob::WriteString(std::uint32_t position, const std::string& s) {
  CopyIn(position, s.data(), static_cast<std::uint32_t>(s.size()));
}
void TXLSBlob::WriteWideString(std::uint32_t position, const std::u16string& w) {
  WriteWideString(position, w.data(), w.size());
}
void TXLSBlob::WriteWideString(std::uint32_t position, const char16_t* w, std::size_t count) {
  EnsureCapacity(position, static_cast<std::uint32_t>(2 * count));
  if constexpr (std::endian::native == std::endian::little) {
    if (count > 0) std::memcpy(data_ + position, w, 2 * count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    data_[position + 2 * i] = static_cast<std::uint8_t>(w[i] & 0xFF);
    data_[position + 2 * i + 1] = static_cast<std::uint8_t>(w[i] >> 8);
  }
}

std::uint8_t TXLSBlob::GetByte(std::uint32_t position) const {
  return static_cast<std::uint8_t>(ReadUnsigned(position, 1));
}
std::uint16_t TXLSBlob::GetWord(std::uint32_t position) const {
  return static_cast<std::uint16_t>(ReadUnsigned(position, 2));
}
std::uint32_t TXLSBlob::GetDWord(std::uint32_t position) const {
  return static_cast<std::uint32_t>(ReadUnsigned(position, 4));
}
double TXLSBlob::GetDouble(std::uint32_t position) const {
  std::uint64_t bits = ReadUnsigned(position, 8);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

std::string TXLSBlob::GetRawString(std::uint32_t position, std::uint32_t n) const {
  std::string s;
  if (position >= capacity_) return s;
  std::uint32_t avail = capacity_ - position;
  s.assign(reinterpret_cast<const char*>(data_ + position), n < avail ? n : avail);
  return s;
}

std::string TXLSBlob::GetString(std::uint32_t position, std::uint32_t n) const {
  std::string s = GetRawString(position, n);
  auto nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

std::u16string TXLSBlob::GetRawWideString(std::uint32_t position, std::uint32_t n) const {
  std::u16string w;
  std::uint32_t units = n / 2;
  w.reserve(units);
  for (std::uint32_t i = 0; i < units; ++i) {
    std::uint64_t p = static_cast<std::uint64_t>(position) + 2 * i;
    if (p + 2 > capacity_) break;
    w.push_back(static_cast<char16_t>(data_[p] | (data_[p + 1] << 8)));
  }
  return w;
}

std::u16string TXLSBlob::GetWideString(std::uint32_t position, std::uint32_t n) const {
  std::u16string w = GetRawWideString(position, n);
  auto nul = w.find(u'\0');
  if (nul != std::u16string::npos) w.resize(nul);
  return w;
}

std::u16string TXLSBlob::ReadBiffString(std::uint32_t& position, bool shortLength,
                                        bool hasOptions, bool cutAtNul) const {
  std::uint32_t count;
  if (shortLength) {
    count = GetByte(position);
    position += 1;
  } else {
    count = GetWord(position);
    position += 2;
  }
  std::uint8_t options = 0;
  if (hasOptions) {
    options = GetByte(position);
    position += 1;
  }
  std::u16string text;
  if (options & 1) {
    text = cutAtNul ? GetWideString(position, 2 * count) : GetRawWideString(position, 2 * count);
    position += 2 * count;
  } else {
    std::string bytes = cutAtNul ? GetString(position, count) : GetRawString(position, count);
    text = AnsiToWideCP(bytes, kCodePage1252);
    position += count;
  }
  return text;
}

void TXLSBlob::GetBiffString(std::uint32_t& position, bool shortLength, std::u16string& text,
                             bool hasOptions) const {
  text = ReadBiffString(position, shortLength, hasOptions, true);
}

void TXLSBlob::GetBiffStringRaw(std::uint32_t& position, bool shortLength, std::u16string& text,
                                bool hasOptions) const {
  text = ReadBiffString(position, shortLength, hasOptions, false);
}

int TXLSBlob::WriteToStream(platform::ByteStream& stream) const {
  if (size_ == 0) return 1;
  return stream.Write(data_, size_) == size_ ? 1 : -1;
}

// ---------------------------------------------------------------------------------------------

TXLSBlobList::TXLSBlobList() = default;

TXLSBlobList::~TXLSBlobList() {
  for (TXLSBlob* chunk : chunks_) delete chunk;
}

void TXLSBlobList::Add(TXLSBlob* chunk) { chunks_.push_back(chunk); }

int TXLSBlobList::NewChunk() {
  Add(new TXLSBlob(chunkSize_));
  fill_ = 0;
  return 1;
}

int TXLSBlobList::AppendBlob(TXLSBlob* blob, bool keep) {
  if (!blob) return 1;
  std::uint32_t n = blob->GetSize();
  std::uint32_t done = 0;
  while (done < n) {
    if (fill_ == chunkSize_) NewChunk();
    TXLSBlob* last = chunks_.back();
    std::uint32_t room = chunkSize_ - fill_;
    std::uint32_t part = n - done > room ? room : n - done;
    last->AddBlobRange(*blob, done, part);
    fill_ = static_cast<std::uint16_t>(fill_ + part);
    done += part;
    totalSize_ += part;
    last->SetSize(fill_);
  }
  if (!keep) delete blob;
  return 1;
}

int TXLSBlobList::AppendList(const TXLSBlobList& other) {
  for (TXLSBlob* chunk : other.chunks_) AppendBlob(chunk, true);
  return 1;
}

void TXLSBlobList::PutChunk(std::size_t i, TXLSBlob* blob) {
  if (i == chunks_.size()) {
    Add(blob);
    totalSize_ += blob ? blob->GetSize() : 0;
    // A chunk put at the end may be shorter than a full chunk: later appends must not be
    // written into it, so the next append opens a fresh chunk.
    fill_ = chunkSize_;
  } else if (i < chunks_.size()) {
    chunks_[i] = blob;
  } else {
    delete blob;  // no such place: the list took the blob and has nowhere to keep it
  }
}

int TXLSBlobList::WriteToStream(platform::ByteStream& stream) const {
  for (TXLSBlob* chunk : chunks_) {
    int r = chunk->WriteToStream(stream);
    if (r != 1) return r;
  }
  return 1;
}

int TXLSBlobList::CopyRange(std::uint32_t offset, std::uint32_t count, TXLSBlob& target) const {
  std::uint64_t start = 0;
  std::size_t i = 0;
  while (i < chunks_.size() && start + chunks_[i]->GetSize() <= offset) {
    start += chunks_[i]->GetSize();
    ++i;
  }
  if (i == chunks_.size()) return -1;  // offset at or past the end of the run
  if (count == 0) return 1;
  std::uint32_t inChunk = static_cast<std::uint32_t>(offset - start);
  std::uint32_t wanted = count;
  while (wanted > 0) {
    if (i >= chunks_.size()) return -1;  // the range runs past the end
    const TXLSBlob* chunk = chunks_[i];
    std::uint32_t left = chunk->GetSize() - inChunk;
    std::uint32_t part = left < wanted ? left : wanted;
    target.AddBlobRange(*chunk, inChunk, part);
    wanted -= part;
    inChunk = 0;
    ++i;
  }
  return 1;
}

int TXLSBlobList::ReadBlob(std::uint32_t offset, std::uint32_t count, TXLSBlob*& blob) const {
  blob = nullptr;
  try {
    auto* b = new TXLSBlob(count);
    if (CopyRange(offset, count, *b) != 1) {
      delete b;
      return -1;
    }
    blob = b;
    return 1;
  } catch (const std::exception&) {
    return -1;
  }
}

int TXLSBlobList::ReadUnicodeString(std::uint32_t offset, std::uint32_t count,
                                    std::uint32_t& bytesUsed, std::u16string& text) const {
  bytesUsed = 0;
  text.clear();
  TXLSBlob option(1);
  if (CopyRange(offset, 1, option) != 1) return -1;
  bool wide = option.GetByte(0) == 1;
  std::uint32_t bodyBytes = wide ? 2 * count : count;
  TXLSBlob body(bodyBytes);
  int r = CopyRange(offset + 1, bodyBytes, body);
  if (r != 1) return r;
  text = wide ? body.GetRawWideString(0, bodyBytes)
              : AnsiToWideCP(body.GetRawString(0, bodyBytes), kCodePage1252);
  bytesUsed = bodyBytes + 1;
  return 1;
}

}  // namespace xls
