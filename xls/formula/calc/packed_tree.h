// A syntax tree packed into one small block of bytes, the form in which stored formulas keep
// their trees: a formula cell such as =A1+1 would otherwise hold three nodes of about a hundred
// bytes each and a reference record, all allocated apart. Unpacking gives back a tree equal to
// the packed one in every field (kinds, texts, numbers bit for bit, values, raw tokens,
// references with their flags, children), so whoever reads the tree cannot tell the difference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "xls/formula/syntax_tree.h"

namespace xls {

class TXLSPackedTree {
 public:
  TXLSPackedTree() = default;
  explicit TXLSPackedTree(const TXLSSyntaxItem* tree);
  // The same bytes as the tree the flat tree stands for would give; empty without nodes.
  explicit TXLSPackedTree(const TXLSFlatTree& tree);
  TXLSPackedTree(const TXLSPackedTree& other);
  TXLSPackedTree& operator=(const TXLSPackedTree& other);
  TXLSPackedTree(TXLSPackedTree&&) noexcept = default;
  TXLSPackedTree& operator=(TXLSPackedTree&&) noexcept = default;

  bool Empty() const { return !bytes_; }
  // A new tree equal to the packed one; nullptr when empty.
  std::unique_ptr<TXLSSyntaxItem> Unpack() const;
  // Bytes held, the size word included (0 when empty).
  std::size_t Size() const;

  // A change made to the reference of one node, given the node's kind. It must pack no tree
  // itself: the new bytes are written to the buffer that packing uses.
  using RangeChange = std::function<void(std::int32_t kind, TXLSRangeItem& range)>;
  // The tree with `change` made to the range of every node that has one, in one pass over the
  // bytes: the same as unpacking, changing the ranges and packing again, without a tree built.
  TXLSPackedTree WithRanges(const RangeChange& change) const;
  // The same in place; false, and the bytes left as they are, when no range changed.
  bool ChangeRanges(const RangeChange& change);
  // Whether some node answers `test` with true, given its kind and its range (nullptr where it
  // has none), in one pass over the bytes without a tree built; false when empty.
  using NodeTest = std::function<bool(std::int32_t kind, const TXLSRangeItem* range)>;
  bool AnyNode(const NodeTest& test) const;
  bool operator==(const TXLSPackedTree& other) const;
  // Trees that Unpack built in this process.
  static std::uint64_t UnpackCount();

 private:
  // The bytes of a tree whose nodes (in prefix order) are the size bytes at `nodes`.
  TXLSPackedTree(const std::uint8_t* nodes, std::size_t size);
  // The nodes with the ranges changed, packed into `out` when given; false when none changed.
  bool ChangedNodes(const RangeChange& change, TXLSPackedTree* out) const;

  // A varint byte count, then the nodes in prefix order.
  std::unique_ptr<std::uint8_t[]> bytes_;
};

}  // namespace xls
