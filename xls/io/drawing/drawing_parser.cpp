#include "xls/io/drawing/drawing_parser.h"

#include <algorithm>

namespace xls {

TXLSDrawingParserItem* TXLSDrawingParserItem::AddChild(std::deque<TXLSDrawingParserItem>& store,
                                                       const TMSOHeader& header) {
  consumed_ += static_cast<std::uint64_t>(header.Length()) + 8;
  children_.push_back(&store.emplace_back(this, header));
  return children_.back();
}

TXLSDrawingParserItem* TXLSDrawingParserItem::Child(std::size_t index) const {
  return index >= 1 && index <= children_.size() ? children_[index - 1] : nullptr;
}

void TXLSDrawingParser::ParseFrom(const TXLSBlobList& list, std::size_t skipBlocks) {
  for (std::size_t i = skipBlocks; i < list.Count(); ++i) {
    const TXLSBlob* block = list.GetChunk(i);
    if (block && block->GetSize() > 0) ParseBytes(block->GetData(), block->GetSize());
  }
}

void TXLSDrawingParser::OpenRecord() {
  std::uint32_t at = 0;
  TXLSBlob raw(8);
  raw.PutBuffer(headerBytes_, 0, 8, 0);
  raw.SetSize(8);
  TMSOHeader header;
  header.ReadFrom(raw, at);
  headerFill_ = 0;
  if (current_ && current_->depth_ + 1 > kMaxDepth) throw EMsoParseError("Drawing records nested too deeply");
  TXLSDrawingParserItem* item;
  if (current_) {
    item = current_->AddChild(items_, header);
  } else {
    item = &items_.emplace_back(nullptr, header);
    roots_.push_back(item);
  }
  current_ = item;
  item->skip_ = false;
  if (OnHeader) OnHeader(*this, header, item->skip_, header.IsContainer());
}

void TXLSDrawingParser::CloseCompleted() {
  while (current_ && current_->consumed_ == current_->header_.Length()) {
    TXLSDrawingParserItem* done = current_;
    if (!done->skip_) {
      if (!done->header_.IsContainer() && OnAtom) {
        static const TXLSBlob empty;
        OnAtom(*this, done->header_, done->data_ ? *done->data_ : empty);
      }
      if (OnEnd) OnEnd(*this, done->header_, done->header_.IsContainer());
    }
    current_ = done->parent_;
    if (!current_) {
      if (OnFinish) OnFinish(*this);
      break;
    }
  }
}

void TXLSDrawingParser::ParseBytes(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  while (at < size) {
    const bool inData = current_ && (current_->skip_ || !current_->header_.IsContainer()) &&
                        current_->consumed_ < current_->header_.Length() && headerFill_ == 0;
    if (inData) {
      const std::uint64_t need = current_->header_.Length() - current_->consumed_;
      const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(need, size - at));
      if (!current_->skip_) {
        if (!current_->data_) current_->data_.emplace(n);
        TXLSBlob& blob = *current_->data_;
        blob.EnsureCapacity(blob.GetSize(), n);
        blob.PutBuffer(data, static_cast<std::uint32_t>(at), n, blob.GetSize());
        blob.SetSize(blob.GetSize() + n);
      }
      current_->consumed_ += n;
      at += n;
      CloseCompleted();
      continue;
    }
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(8 - headerFill_, size - at));
    std::copy(data + at, data + at + n, headerBytes_ + headerFill_);
    headerFill_ += n;
    at += n;
    if (headerFill_ < 8) break;
    OpenRecord();
    // Atoms and skipped records of length 0, and empty containers, are complete at once.
    CloseCompleted();
  }
}

}  // namespace xls
