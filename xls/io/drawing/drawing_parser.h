// Walks the Escher tree of a sheet drawing that arrives over several MSODRAWING records (with
// OBJ, TXO and CONTINUE records between them). The stack of open containers stays between
// calls, so a container may start in one record and end in a later one; a record header or an
// atom's data that runs past the end of one call's bytes is completed by the next call, so the
// events are the same however the bytes are split. Four events report what is met.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "xls/io/drawing/escher.h"

namespace xls {

class TXLSDrawingParser;

class TXLSDrawingParserItem {
 public:
  TXLSDrawingParserItem(TXLSDrawingParserItem* parent, const TMSOHeader& header)
      : parent_(parent), header_(header), depth_(parent ? parent->depth_ + 1 : 0) {}
  // A new child, made in the parser's store: this item's consumed bytes grow by the child's
  // whole record.
  TXLSDrawingParserItem* AddChild(std::deque<TXLSDrawingParserItem>& store, const TMSOHeader& header);
  // 1-based; nullptr outside 1..ChildCount().
  TXLSDrawingParserItem* Child(std::size_t index) const;
  std::size_t ChildCount() const { return children_.size(); }
  TXLSDrawingParserItem* Parent() const { return parent_; }
  const TMSOHeader& Header() const { return header_; }
  std::int32_t Depth() const { return depth_; }
  std::uint64_t Consumed() const { return consumed_; }

 private:
  friend class TXLSDrawingParser;
  TXLSDrawingParserItem* parent_;
  TMSOHeader header_;
  std::int32_t depth_;
  std::uint64_t consumed_ = 0;
  bool skip_ = false;
  // Grown by the bytes that actually arrive, never reserved from the header's length.
  std::optional<TXLSBlob> data_;
  std::vector<TXLSDrawingParserItem*> children_;
};

class TXLSDrawingParser {
 public:
  // Records nested deeper than this are refused: drawings nest a few levels only.
  static constexpr std::int32_t kMaxDepth = 64;

  std::function<void(TXLSDrawingParser&, const TMSOHeader&, bool& skip, bool isContainer)> OnHeader;
  std::function<void(TXLSDrawingParser&, const TMSOHeader&, const TXLSBlob& data)> OnAtom;
  std::function<void(TXLSDrawingParser&, const TMSOHeader&, bool isContainer)> OnEnd;
  std::function<void(TXLSDrawingParser&)> OnFinish;

  TXLSDrawingParser() = default;
  TXLSDrawingParser(const TXLSDrawingParser&) = delete;
  TXLSDrawingParser& operator=(const TXLSDrawingParser&) = delete;

  // Walks every block of the list; ParseFrom leaves out the first blocks (those of an OBJ or
  // TXO record that the drawing data follows). Throws EMsoParseError for records nested past
  // kMaxDepth.
  void Parse(const TXLSBlobList& list) { ParseFrom(list, 0); }
  void ParseFrom(const TXLSBlobList& list, std::size_t skipBlocks);
  // The same over plain memory.
  void ParseBytes(const std::uint8_t* data, std::size_t size);

  TXLSDrawingParserItem* Root() const { return roots_.empty() ? nullptr : roots_.front(); }
  TXLSDrawingParserItem* Current() const { return current_; }

 private:
  void OpenRecord();
  void CloseCompleted();

  // Every record met, in the order met: one store rather than an allocation a record, and freed
  // without recursion however deep the tree.
  std::deque<TXLSDrawingParserItem> items_;
  std::vector<TXLSDrawingParserItem*> roots_;
  TXLSDrawingParserItem* current_ = nullptr;
  std::uint8_t headerBytes_[8] = {};
  std::uint32_t headerFill_ = 0;
};

}  // namespace xls
