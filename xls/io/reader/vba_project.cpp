#include "xls/io/reader/vba_project.h"

#include <algorithm>

#include "xls/model/codepage.h"

namespace xls {

// --- decompression ---

TXLSVBADecompressor::TXLSVBADecompressor(const TXLSBlob& source, std::uint32_t startOffset)
    : source_(source), position_(startOffset), sourceSize_(source.GetSize()) {
  chunk_.reserve(kChunkSize);
}

std::unique_ptr<TXLSBlob> TXLSVBADecompressor::Decompress() {
  if (position_ >= sourceSize_ || source_.GetByte(position_) != 1) return nullptr;
  ++position_;
  while (position_ < sourceSize_)
    if (!DecompressChunk()) return nullptr;
  auto result = std::make_unique<TXLSBlob>(output_.TotalSize());
  if (output_.TotalSize() && output_.CopyRange(0, output_.TotalSize(), *result) != 1) return nullptr;
  result->SetSize(output_.TotalSize());
  return result;
}

bool TXLSVBADecompressor::DecompressChunk() {
  if (sourceSize_ - position_ < 2) return false;
  std::uint16_t header = source_.GetWord(position_);
  if (((header >> 12) & 7) != 3) return false;
  std::uint64_t end = static_cast<std::uint64_t>(position_) + (header & 0xFFF) + 3;
  if (end > sourceSize_) return false;  // the chunk is cut short
  chunkEnd_ = static_cast<std::uint32_t>(end);
  position_ += 2;
  chunk_.clear();
  const std::uint8_t* src = source_.GetData();
  if (header & 0x8000) {
    while (position_ < chunkEnd_) {
      std::uint8_t flags = src[position_++];
      for (int bit = 0; bit < 8 && position_ < chunkEnd_; ++bit) {
        if (!(flags & (1 << bit))) {
          if (chunk_.size() >= kChunkSize) return false;
          chunk_.push_back(src[position_++]);
          continue;
        }
        if (chunkEnd_ - position_ < 2) return false;
        std::uint16_t token = static_cast<std::uint16_t>(src[position_] | src[position_ + 1] << 8);
        position_ += 2;
        std::size_t done = chunk_.size();
        int bitCount = 4;
        while (bitCount < 12 && (std::size_t(1) << bitCount) < done) ++bitCount;
        std::uint32_t length = (token & (0xFFFFu >> bitCount)) + 3;
        std::uint32_t offset = (static_cast<std::uint32_t>(token) >> (16 - bitCount)) + 1;
        if (offset > done || done + length > kChunkSize) return false;
        for (std::uint32_t k = 0; k < length; ++k) chunk_.push_back(chunk_[chunk_.size() - offset]);
      }
    }
  } else {
    if (chunkEnd_ - position_ < kChunkSize) return false;
    chunk_.assign(src + position_, src + position_ + kChunkSize);
    position_ += kChunkSize;
    // The header claims its own size; the raw bytes always count 4096.
    if (position_ != chunkEnd_) return false;
  }
  TXLSBlob piece(static_cast<std::uint32_t>(chunk_.size()));
  if (!chunk_.empty()) piece.PutBuffer(chunk_.data(), 0, static_cast<std::uint32_t>(chunk_.size()), 0);
  piece.SetSize(static_cast<std::uint32_t>(chunk_.size()));
  output_.AppendBlob(&piece, true);
  return true;
}

// --- the project ---

namespace {

const TXLSFileStream* StreamItem(const TXLSFileStorage* storage, const std::u16string& name) {
  return storage ? dynamic_cast<const TXLSFileStream*>(storage->FindItem(name)) : nullptr;
}

}  // namespace

int TXLSVBAProject::SetStorage(const TXLSFileStorage* storage) {
  storage_ = storage;
  vba_ = nullptr;
  modules_.clear();
  codePage_ = 1252;
  projectName_.clear();
  moduleName_.clear();
  moduleStreamName_.clear();
  moduleTextOffset_ = -1;
  int result = ReadProject();
  if (result != 1) modules_.clear();
  return result;
}

int TXLSVBAProject::ReadProject() {
  if (!storage_) return -1;
  vba_ = dynamic_cast<const TXLSFileStorage*>(storage_->FindItem(u"VBA"));
  const TXLSFileStream* signature = StreamItem(vba_, u"_vba_project");
  if (!signature || !signature->Data() || signature->Data()->GetSize() < 2 || signature->Data()->GetWord(0) != 0x61CC)
    return -1;
  const TXLSFileStream* dirStream = StreamItem(vba_, u"dir");
  if (!dirStream || !dirStream->Data()) return -1;
  std::unique_ptr<TXLSBlob> dir = TXLSVBADecompressor(*dirStream->Data(), 0).Decompress();
  if (!dir) return -1;
  return ReadDir(*dir);
}

std::u16string TXLSVBAProject::Text(const TXLSBlob& blob, std::uint32_t at, std::uint32_t length) const {
  return AnsiToWideCP(blob.GetRawString(at, length), codePage_);
}

int TXLSVBAProject::ReadDir(const TXLSBlob& dir) {
  const std::uint64_t size = dir.GetSize();
  std::uint64_t at = 0;
  while (size - at >= 6) {
    const std::uint16_t id = dir.GetWord(static_cast<std::uint32_t>(at));
    const std::uint32_t length = dir.GetDWord(static_cast<std::uint32_t>(at + 2));
    const std::uint64_t data = at + 6;
    std::uint64_t advance = length;
    // Every record's own data must lie inside the stream (PROJECTVERSION's size word is a
    // reserved value; its 6 bytes of data are checked below).
    if (id != 9 && data + length > size) return -1;
    const auto d = static_cast<std::uint32_t>(data);
    switch (id) {
      case 3:  // PROJECTCODEPAGE
        if (length >= 2) codePage_ = dir.GetWord(d);
        break;
      case 4:  // PROJECTNAME
        if (length >= 1) projectName_ = Text(dir, d, length);
        break;
      case 5:  // PROJECTDOCSTRING, PROJECTHELPFILEPATH, PROJECTCONSTANTS, REFERENCENAME:
      case 6:  // the record's second, UTF-16 part follows with its own size
      case 12:
      case 22: {
        if (data + length + 6 > size) return -1;
        advance = static_cast<std::uint64_t>(length) + 2 + dir.GetDWord(d + length + 2) + 4;
        break;
      }
      case 9:  // PROJECTVERSION
        advance = 6;
        break;
      case 15:  // PROJECTMODULES, then PROJECTCOOKIE
        if (length >= 2) modules_.reserve(dir.GetWord(d));
        advance = static_cast<std::uint64_t>(length) + 8;
        break;
      case 25:  // MODULENAME
        moduleName_ = Text(dir, d, length);
        moduleTextOffset_ = -1;
        break;
      case 26:  // MODULESTREAMNAME
        moduleStreamName_ = Text(dir, d, length);
        break;
      case 49:  // MODULEOFFSET
        if (length >= 4) moduleTextOffset_ = dir.GetDWord(d);
        break;
      case 43:  // end of a module
        if (CompleteModule() != 1) return -1;
        break;
      default:
        break;
    }
    if (id == 16) break;  // end of the dir stream
    if (data + advance > size) return -1;
    at = data + advance;
  }
  return 1;
}

int TXLSVBAProject::CompleteModule() {
  TXLSVBAModule module;
  module.name = moduleName_;
  const TXLSFileStream* stream = StreamItem(vba_, moduleStreamName_);
  if (stream && stream->Data()) {
    if (moduleTextOffset_ < 0 || moduleTextOffset_ > stream->Data()->GetSize()) return -1;
    std::unique_ptr<TXLSBlob> text =
        TXLSVBADecompressor(*stream->Data(), static_cast<std::uint32_t>(moduleTextOffset_)).Decompress();
    if (!text) return -1;
    module.text = AnsiToWideCP(text->GetString(0, text->GetSize()), codePage_);
  }
  modules_.push_back(std::move(module));
  return 1;
}

}  // namespace xls
