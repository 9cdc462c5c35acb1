// The ordered list of record references behind an index: positions 0..size-1 like an
// array, but held in chunks of up to 2 * kChunk entries. The start position of each
// chunk is kept relative to its group of kGroup chunks, and each group's start beside
// them, so that an insert or erase at any position moves at most one chunk and updates
// the starts of the chunks after it in its group and of the groups after it (about
// sqrt(n) work each, with a small constant, instead of n).
//
// Each entry carries a 64-bit sort key beside its reference (0 where the index has
// none): a key that orders like the index's comparison wherever two keys differ, so
// that a search compares keys held together in memory and reaches a record only when
// the keys are equal. A list made keyless holds the references alone (its keys read 0
// and it is searched by PartitionPoint only), 8 bytes an entry less.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace memtable {

struct TmvxRecord;

template <std::size_t Chunk, std::size_t Group>
class BasicRecordList {
 public:
  using value_type = TmvxRecord*;
  static constexpr std::size_t kChunk = Chunk;
  static constexpr std::size_t kGroup = Group;

  std::size_t size() const { return size_; }
  // Keyless or keyed, while the list is empty.
  void SetKeyed(bool keyed) {
    if (size_ == 0) keyed_ = keyed;
  }
  bool Keyed() const { return keyed_; }
  bool empty() const { return size_ == 0; }
  void reserve(std::size_t) {}
  void clear() {
    chunks_.clear();
    keys_.clear();
    starts_.clear();
    groupStarts_.clear();
    frontKeys_.clear();
    size_ = 0;
    last_ = 0;
  }

  TmvxRecord* operator[](std::size_t pos) const {
    std::size_t c = ChunkOf(pos);
    return chunks_[c][pos - Start(c)];
  }

  void push_back(TmvxRecord* r, std::uint64_t key = 0) {
    if (chunks_.empty() || chunks_.back().size() >= kChunk) {
      if (chunks_.size() % kGroup == 0) groupStarts_.push_back(size_);
      starts_.push_back(size_ - groupStarts_.back());
      frontKeys_.push_back(key);
      chunks_.emplace_back();
      keys_.emplace_back();
      chunks_.back().reserve(kChunk);
      if (keyed_) keys_.back().reserve(kChunk);
    }
    chunks_.back().push_back(r);
    if (keyed_) keys_.back().push_back(key);
    ++size_;
  }

  void insert(std::size_t pos, TmvxRecord* r, std::uint64_t key = 0) {
    if (pos >= size_) {
      push_back(r, key);
      return;
    }
    std::size_t c = ChunkOf(pos);
    std::size_t at = pos - Start(c);
    chunks_[c].insert(chunks_[c].begin() + static_cast<std::ptrdiff_t>(at), r);
    if (keyed_) {
      keys_[c].insert(keys_[c].begin() + static_cast<std::ptrdiff_t>(at), key);
      if (at == 0) frontKeys_[c] = key;
    }
    Shift(c, 1);
    ++size_;
    if (chunks_[c].size() >= 2 * kChunk) Split(c);
  }

  void erase(std::size_t pos) {
    std::size_t c = ChunkOf(pos);
    std::size_t at = pos - Start(c);
    chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(at));
    if (keyed_) keys_[c].erase(keys_[c].begin() + static_cast<std::ptrdiff_t>(at));
    Shift(c, -1);
    --size_;
    if (chunks_[c].empty()) {
      RemoveChunk(c);
      return;
    }
    if (at == 0 && keyed_) frontKeys_[c] = keys_[c].front();
    if (c + 1 < chunks_.size() && chunks_[c].size() + chunks_[c + 1].size() <= kChunk) {
      // Two thin neighbours become one, so that deletes do not leave a trail of
      // nearly empty chunks.
      chunks_[c].insert(chunks_[c].end(), chunks_[c + 1].begin(), chunks_[c + 1].end());
      if (keyed_) keys_[c].insert(keys_[c].end(), keys_[c + 1].begin(), keys_[c + 1].end());
      RemoveChunk(c + 1);
    }
  }

  // The first position whose entry does not satisfy below, for a list in which the
  // entries that satisfy it come first: a binary search over the chunks' first entries,
  // then within one chunk.
  template <typename Below>
  std::size_t PartitionPoint(Below below) const {
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
      std::size_t mid = lo + (hi - lo) / 2;
      if (below(chunks_[mid].front()))
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo == 0) return 0;
    const auto& chunk = chunks_[lo - 1];
    auto it = std::partition_point(chunk.begin() + 1, chunk.end(), below);
    return Start(lo - 1) + static_cast<std::size_t>(it - chunk.begin());
  }

  // The same search for a keyed list, whose entries carry sort keys: an entry whose key lies
  // before key (after it, with descending) is below, one whose key lies after is not,
  // and only for an equal key is the record itself asked.
  template <typename Below>
  std::size_t PartitionPointKeyed(std::uint64_t key, bool descending, Below below) const {
    auto entryBelow = [&](std::uint64_t k, TmvxRecord* r) {
      if (k != key) return (k < key) != descending;
      return below(r);
    };
    std::size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
      std::size_t mid = lo + (hi - lo) / 2;
      if (entryBelow(frontKeys_[mid], chunks_[mid].front()))
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo == 0) return 0;
    const auto& chunk = chunks_[lo - 1];
    const auto& keys = keys_[lo - 1];
    std::size_t a = 1, b = chunk.size();
    while (a < b) {
      std::size_t mid = a + (b - a) / 2;
      if (entryBelow(keys[mid], chunk[mid]))
        a = mid + 1;
      else
        b = mid;
    }
    return Start(lo - 1) + a;
  }

  // Replaces the contents with the entries of v (and their keys, when given), in order.
  void Assign(const std::vector<TmvxRecord*>& v, const std::vector<std::uint64_t>* keys = nullptr) {
    clear();
    for (std::size_t i = 0; i < v.size(); ++i) push_back(v[i], keys ? (*keys)[i] : 0);
  }
  std::vector<TmvxRecord*> ToVector() const {
    std::vector<TmvxRecord*> v;
    v.reserve(size_);
    for (const auto& chunk : chunks_) v.insert(v.end(), chunk.begin(), chunk.end());
    return v;
  }

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TmvxRecord*;
    using difference_type = std::ptrdiff_t;
    using pointer = TmvxRecord* const*;
    using reference = TmvxRecord* const&;
    const_iterator(const BasicRecordList* list, std::size_t chunk, std::size_t offset)
        : list_(list), chunk_(chunk), offset_(offset) {}
    reference operator*() const { return list_->chunks_[chunk_][offset_]; }
    const_iterator& operator++() {
      if (++offset_ >= list_->chunks_[chunk_].size()) {
        ++chunk_;
        offset_ = 0;
      }
      return *this;
    }
    bool operator==(const const_iterator& o) const { return chunk_ == o.chunk_ && offset_ == o.offset_; }
    bool operator!=(const const_iterator& o) const { return !(*this == o); }

   private:
    const BasicRecordList* list_;
    std::size_t chunk_, offset_;
  };
  const_iterator begin() const { return const_iterator(this, 0, 0); }
  const_iterator end() const { return const_iterator(this, chunks_.size(), 0); }

 private:
  std::size_t Start(std::size_t c) const { return groupStarts_[c / kGroup] + starts_[c]; }

  // After a chunk grew or shrank by one: the later chunks of its group and the later
  // groups move.
  void Shift(std::size_t c, int by) {
    const std::size_t groupEnd = std::min(starts_.size(), (c / kGroup + 1) * kGroup);
    for (std::size_t k = c + 1; k < groupEnd; ++k) starts_[k] += static_cast<std::size_t>(by);
    for (std::size_t g = c / kGroup + 1; g < groupStarts_.size(); ++g) groupStarts_[g] += static_cast<std::size_t>(by);
  }

  // Chunk and group starts from the chunk sizes, after chunks came or went.
  void Rebase() {
    starts_.resize(chunks_.size());
    groupStarts_.assign((chunks_.size() + kGroup - 1) / kGroup, 0);
    std::size_t at = 0;
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
      if (c % kGroup == 0) groupStarts_[c / kGroup] = at;
      starts_[c] = at - groupStarts_[c / kGroup];
      at += chunks_[c].size();
    }
    last_ = 0;
  }

  // The chunk that holds a position; a walk in order finds it at once.
  std::size_t ChunkOf(std::size_t pos) const {
    std::size_t c = last_;
    if (c < chunks_.size()) {
      std::size_t start = Start(c);
      if (pos >= start) {
        if (pos < start + chunks_[c].size()) return c;
        if (c + 1 < chunks_.size() && pos < Start(c + 1) + chunks_[c + 1].size()) return last_ = c + 1;
      }
    }
    std::size_t g =
        static_cast<std::size_t>(std::upper_bound(groupStarts_.begin(), groupStarts_.end(), pos) - groupStarts_.begin()) - 1;
    const std::size_t first = g * kGroup, end = std::min(chunks_.size(), first + kGroup);
    const std::size_t rel = pos - groupStarts_[g];
    c = static_cast<std::size_t>(std::upper_bound(starts_.begin() + static_cast<std::ptrdiff_t>(first),
                                                  starts_.begin() + static_cast<std::ptrdiff_t>(end), rel) -
                                 starts_.begin()) -
        1;
    return last_ = c;
  }

  void Split(std::size_t c) {
    std::vector<TmvxRecord*> upper(chunks_[c].begin() + static_cast<std::ptrdiff_t>(kChunk), chunks_[c].end());
    std::vector<std::uint64_t> upperKeys;
    if (keyed_) upperKeys.assign(keys_[c].begin() + static_cast<std::ptrdiff_t>(kChunk), keys_[c].end());
    chunks_[c].resize(kChunk);
    if (keyed_) keys_[c].resize(kChunk);
    const auto at = static_cast<std::ptrdiff_t>(c + 1);
    frontKeys_.insert(frontKeys_.begin() + at, keyed_ ? upperKeys.front() : 0);
    chunks_.insert(chunks_.begin() + at, std::move(upper));
    keys_.insert(keys_.begin() + at, std::move(upperKeys));
    Rebase();
  }

  void RemoveChunk(std::size_t c) {
    const auto at = static_cast<std::ptrdiff_t>(c);
    chunks_.erase(chunks_.begin() + at);
    keys_.erase(keys_.begin() + at);
    frontKeys_.erase(frontKeys_.begin() + at);
    Rebase();
  }

  std::vector<std::vector<TmvxRecord*>> chunks_;
  std::vector<std::vector<std::uint64_t>> keys_;
  std::vector<std::size_t> starts_;       // relative to the chunk's group
  std::vector<std::size_t> groupStarts_;  // absolute, one per kGroup chunks
  std::vector<std::uint64_t> frontKeys_;
  std::size_t size_ = 0;
  mutable std::size_t last_ = 0;
  bool keyed_ = true;
};

// Chunks of 512 references (4 KiB) in groups of 64.
using RecordList = BasicRecordList<512, 64>;

}  // namespace memtable
