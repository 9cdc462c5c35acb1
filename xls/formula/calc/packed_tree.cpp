#include "xls/formula/calc/packed_tree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace xls {

namespace {

// Which optional fields of a node follow its kind.
enum : std::uint8_t {
  kHasText = 1,
  kHasNumber = 2,
  kHasValue = 4,
  kHasRawToken = 8,
  kHasRange = 16,
  kHasChildren = 32,
};
// Reference flags: the four absolute flags and the offset flag as bits, or, when one of them
// is neither 0 nor 1, the five bytes as they are after this byte.
constexpr std::uint8_t kRangeFlagBytes = 0x80;

// Writes nodes to a byte vector from its start, the vector only ever growing (its bytes past
// Size() are room, kept from one tree to the next): each node's head and each range is written
// straight into room made for the longest one.
class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
  const std::uint8_t* Data() const { return out_.data(); }
  std::size_t Size() const { return size_; }

  void Node(const TXLSSyntaxItem& n) {
    Head(n.kind, n.text, n.number, n.value, n.rawToken, n.range.get(), n.ChildCount());
    for (int i = 1; i <= n.ChildCount(); ++i) Node(*n.Child(i));
  }
  void Node(const TXLSFlatTree& t, std::uint32_t index) {
    const TXLSFlatNode& n = t.nodes[index];
    Head(n.kind, t.Text(n), n.number, n.value, n.rawToken, n.hasRange ? &n.range : nullptr,
         static_cast<int>(n.childCount));
    for (std::uint32_t i = 0; i < n.childCount; ++i) Node(t, t.children[n.firstChild + i]);
  }

  // A node's fields up to its children, which follow it.
  void Head(std::int32_t kind, std::u16string_view text, double number, std::int32_t value, std::int32_t rawToken,
            const TXLSRangeItem* range, int childCount) {
    std::uint64_t numberBits = 0;
    std::memcpy(&numberBits, &number, sizeof numberBits);
    std::uint8_t flags = 0;
    if (!text.empty()) flags |= kHasText;
    if (numberBits != 0) flags |= kHasNumber;
    if (value != 0) flags |= kHasValue;
    if (rawToken != 0) flags |= kHasRawToken;
    if (range) flags |= kHasRange;
    if (childCount > 0) flags |= kHasChildren;
    std::uint8_t* p = PutSigned(Room(kMaxHead + 3 * text.size()), kind);
    *p++ = flags;
    if (flags & kHasText) {
      p = PutUnsigned(p, text.size());
      for (char16_t c : text) p = PutUnsigned(p, c);
    }
    if (flags & kHasNumber) {
      for (int i = 0; i < 8; ++i) *p++ = static_cast<std::uint8_t>(numberBits >> (8 * i));
    }
    if (flags & kHasValue) p = PutSigned(p, value);
    if (flags & kHasRawToken) p = PutSigned(p, rawToken);
    if (flags & kHasRange) p = PutRange(p, *range);
    if (flags & kHasChildren) p = PutUnsigned(p, static_cast<std::uint64_t>(childCount));
    size_ = static_cast<std::size_t>(p - out_.data());
  }

  void Bytes(const std::uint8_t* from, std::size_t count) {
    if (count == 0) return;
    std::memcpy(Room(count), from, count);
    size_ += count;
  }

  void Range(const TXLSRangeItem& r) { size_ = static_cast<std::size_t>(PutRange(Room(kMaxRange), r) - out_.data()); }

 private:
  // Where the next count bytes go.
  std::uint8_t* Room(std::size_t count) {
    if (size_ + count > out_.size()) out_.resize(std::max(2 * out_.size(), size_ + count + 1024));
    return out_.data() + size_;
  }

  // Varints of up to 64 bits take up to 10 bytes; the signed ones of 32 bits, 5.
  static constexpr std::size_t kMaxRange = 1 + 5 + 6 * 5;
  static constexpr std::size_t kMaxHead = 5 + 1 + 10 + 8 + 5 + 5 + kMaxRange + 10;

  static std::uint8_t* PutUnsigned(std::uint8_t* p, std::uint64_t v) {
    while (v >= 0x80) {
      *p++ = static_cast<std::uint8_t>(v | 0x80);
      v >>= 7;
    }
    *p++ = static_cast<std::uint8_t>(v);
    return p;
  }
  static std::uint8_t* PutSigned(std::uint8_t* p, std::int32_t v) {
    const std::int64_t w = v;
    return PutUnsigned(p, (static_cast<std::uint64_t>(w) << 1) ^ static_cast<std::uint64_t>(w >> 63));
  }
  static std::uint8_t* PutRange(std::uint8_t* p, const TXLSRangeItem& r) {
    const std::uint8_t f[5] = {r.firstRowAbs, r.lastRowAbs, r.firstColAbs, r.lastColAbs, r.offset};
    std::uint8_t bits = 0;
    bool plain = true;
    for (int i = 0; i < 5; ++i) {
      plain = plain && f[i] <= 1;
      bits = static_cast<std::uint8_t>(bits | (f[i] & 1) << i);
    }
    *p++ = plain ? bits : kRangeFlagBytes;
    if (!plain) {
      for (std::uint8_t b : f) *p++ = b;
    }
    for (std::int32_t v : {r.firstRow, r.lastRow, r.firstCol, r.lastCol, r.kind, r.externId}) p = PutSigned(p, v);
    return p;
  }

  std::vector<std::uint8_t>& out_;
  std::size_t size_ = 0;
};

class Reader {
 public:
  explicit Reader(const std::uint8_t* p) : p_(p), copied_(p) {}

  std::uint8_t Byte() { return *p_++; }
  std::uint64_t Unsigned() {
    std::uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
      const std::uint8_t b = Byte();
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
  }
  std::int64_t Signed() {
    const std::uint64_t u = Unsigned();
    return static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
  }
  std::int32_t Int() { return static_cast<std::int32_t>(Signed()); }

  std::unique_ptr<TXLSSyntaxItem> Node() {
    auto n = std::make_unique<TXLSSyntaxItem>(Int());
    const std::uint8_t flags = Byte();
    if (flags & kHasText) {
      n->text.resize(static_cast<std::size_t>(Unsigned()));
      for (char16_t& c : n->text) c = static_cast<char16_t>(Unsigned());
    }
    if (flags & kHasNumber) {
      std::uint64_t bits = 0;
      for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(Byte()) << (8 * i);
      std::memcpy(&n->number, &bits, sizeof bits);
    }
    if (flags & kHasValue) n->value = Int();
    if (flags & kHasRawToken) n->rawToken = Int();
    if (flags & kHasRange) {
      n->range = std::make_unique<TXLSRangeItem>();
      Range(*n->range);
    }
    if (flags & kHasChildren) {
      for (std::uint64_t i = Unsigned(); i > 0; --i) n->AddChild(Node());
    }
    return n;
  }

  // Copies the node here and its children to w with their ranges changed, or, without w, only
  // reads them; whether a range changed. The bytes between ranges go to w in one piece each: those
  // up to a range when it is met, the rest by Flush.
  bool CopyNode(Writer* w, const TXLSPackedTree::RangeChange& change) {
    std::int32_t kind = 0;
    const std::uint8_t flags = NodeHead(kind);
    bool changed = false;
    if (flags & kHasRange) {
      const std::uint8_t* start = p_;
      TXLSRangeItem range;
      Range(range);
      const TXLSRangeItem before = range;
      change(kind, range);
      if (!(range == before)) {
        changed = true;
        if (w) {
          w->Bytes(copied_, static_cast<std::size_t>(start - copied_));
          w->Range(range);
          copied_ = p_;
        }
      }
    }
    if (flags & kHasChildren) {
      for (std::uint64_t count = Unsigned(); count > 0; --count) changed = CopyNode(w, change) || changed;
    }
    return changed;
  }
  void Flush(Writer& w) { w.Bytes(copied_, static_cast<std::size_t>(p_ - copied_)); }

  // Reads the node here and its children until one answers `test` with true.
  bool FindNode(const TXLSPackedTree::NodeTest& test) {
    std::int32_t kind = 0;
    const std::uint8_t flags = NodeHead(kind);
    TXLSRangeItem range;
    if (flags & kHasRange) Range(range);
    if (test(kind, (flags & kHasRange) ? &range : nullptr)) return true;
    if (flags & kHasChildren) {
      for (std::uint64_t i = Unsigned(); i > 0; --i)
        if (FindNode(test)) return true;
    }
    return false;
  }

 private:
  // Reads a node's kind and flags and passes over its text, number, value and raw token, up to
  // its range; the flags.
  std::uint8_t NodeHead(std::int32_t& kind) {
    kind = Int();
    const std::uint8_t flags = Byte();
    if (flags & kHasText) {
      for (std::uint64_t i = Unsigned(); i > 0; --i) Unsigned();
    }
    if (flags & kHasNumber) p_ += 8;
    if (flags & kHasValue) Int();
    if (flags & kHasRawToken) Int();
    return flags;
  }

  void Range(TXLSRangeItem& r) {
    std::uint8_t f[5];
    const std::uint8_t bits = Byte();
    for (int i = 0; i < 5; ++i) f[i] = static_cast<std::uint8_t>(bits >> i & 1);
    if (bits == kRangeFlagBytes) {
      for (std::uint8_t& b : f) b = Byte();
    }
    r.firstRowAbs = f[0], r.lastRowAbs = f[1], r.firstColAbs = f[2], r.lastColAbs = f[3], r.offset = f[4];
    r.firstRow = Int();
    r.lastRow = Int();
    r.firstCol = Int();
    r.lastCol = Int();
    r.kind = Int();
    r.externId = Int();
  }

  const std::uint8_t* p_;
  const std::uint8_t* copied_;  // where the bytes CopyNode has not written yet start
};

std::size_t HeaderAndPayload(const std::uint8_t* bytes, const std::uint8_t** payload) {
  Reader r(bytes);
  const std::uint64_t n = r.Unsigned();
  std::size_t header = 1;
  while (bytes[header - 1] & 0x80) ++header;
  if (payload) *payload = bytes + header;
  return header + static_cast<std::size_t>(n);
}

// Nodes are written here first, and then copied into a block of their exact size: the buffer
// keeps its room from one tree to the next.
std::vector<std::uint8_t>& Scratch() {
  thread_local std::vector<std::uint8_t> nodes;
  return nodes;
}

std::atomic<std::uint64_t> unpacked{0};

}  // namespace

TXLSPackedTree::TXLSPackedTree(const TXLSSyntaxItem* tree) {
  if (!tree) return;
  Writer w(Scratch());
  w.Node(*tree);
  *this = TXLSPackedTree(w.Data(), w.Size());
}

TXLSPackedTree::TXLSPackedTree(const TXLSFlatTree& tree) {
  if (tree.nodes.empty()) return;
  Writer w(Scratch());
  w.Node(tree, static_cast<std::uint32_t>(tree.nodes.size() - 1));
  *this = TXLSPackedTree(w.Data(), w.Size());
}

bool TXLSPackedTree::operator==(const TXLSPackedTree& other) const {
  const std::size_t size = Size();
  return size == other.Size() && (size == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), size) == 0);
}

TXLSPackedTree::TXLSPackedTree(const std::uint8_t* nodes, std::size_t size) {
  std::uint8_t header[10];
  std::size_t headerSize = 0;
  for (std::uint64_t v = size;; v >>= 7) {
    header[headerSize++] = static_cast<std::uint8_t>(v >= 0x80 ? (v & 0x7F) | 0x80 : v);
    if (v < 0x80) break;
  }
  bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(headerSize + size);
  std::memcpy(bytes_.get(), header, headerSize);
  std::memcpy(bytes_.get() + headerSize, nodes, size);
}

TXLSPackedTree::TXLSPackedTree(const TXLSPackedTree& other) { *this = other; }

TXLSPackedTree& TXLSPackedTree::operator=(const TXLSPackedTree& other) {
  if (this == &other) return *this;
  bytes_.reset();
  if (other.bytes_) {
    const std::size_t size = other.Size();
    bytes_ = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(bytes_.get(), other.bytes_.get(), size);
  }
  return *this;
}

std::size_t TXLSPackedTree::Size() const { return bytes_ ? HeaderAndPayload(bytes_.get(), nullptr) : 0; }

std::unique_ptr<TXLSSyntaxItem> TXLSPackedTree::Unpack() const {
  if (!bytes_) return nullptr;
  const std::uint8_t* payload = nullptr;
  HeaderAndPayload(bytes_.get(), &payload);
  unpacked.fetch_add(1, std::memory_order_relaxed);
  return Reader(payload).Node();
}

bool TXLSPackedTree::AnyNode(const NodeTest& test) const {
  if (!bytes_) return false;
  const std::uint8_t* payload = nullptr;
  HeaderAndPayload(bytes_.get(), &payload);
  return Reader(payload).FindNode(test);
}

std::uint64_t TXLSPackedTree::UnpackCount() { return unpacked.load(std::memory_order_relaxed); }

bool TXLSPackedTree::ChangedNodes(const RangeChange& change, TXLSPackedTree* out) const {
  const std::uint8_t* payload = nullptr;
  HeaderAndPayload(bytes_.get(), &payload);
  if (!out) return Reader(payload).CopyNode(nullptr, change);
  Writer w(Scratch());
  Reader r(payload);
  const bool changed = r.CopyNode(&w, change);
  r.Flush(w);
  *out = TXLSPackedTree(w.Data(), w.Size());
  return changed;
}

TXLSPackedTree TXLSPackedTree::WithRanges(const RangeChange& change) const {
  if (!bytes_) return {};
  TXLSPackedTree out;
  ChangedNodes(change, &out);
  return out;
}

bool TXLSPackedTree::ChangeRanges(const RangeChange& change) {
  // Mostly nothing changes (a formula without offset references): a reading pass tells.
  if (!bytes_ || !ChangedNodes(change, nullptr)) return false;
  ChangedNodes(change, this);
  return true;
}

}  // namespace xls
