// The ordered list of record references behind an index: positions 0..size-1 like an
// array, but held in chunks of up to 2 * kChunk entries with the start position of each
// chunk beside them, so that an insert or erase at any position moves at most one chunk
// and the chunk starts after it (about sqrt(n) work each instead of n).
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace memtable {

struct TmvxRecord;

class RecordList {
 public:
  using value_type = TmvxRecord*;
  static constexpr std::size_t kChunk = 1024;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void reserve(std::size_t) {}
  void clear() {
    chunks_.clear();
    starts_.clear();
    size_ = 0;
    last_ = 0;
  }

  TmvxRecord* operator[](std::size_t pos) const {
    std::size_t c = ChunkOf(pos);
    return chunks_[c][pos - starts_[c]];
  }

  void push_back(TmvxRecord* r) {
    if (chunks_.empty() || chunks_.back().size() >= kChunk) {
      starts_.push_back(size_);
      chunks_.emplace_back();
      chunks_.back().reserve(kChunk);
    }
    chunks_.back().push_back(r);
    ++size_;
  }

  void insert(std::size_t pos, TmvxRecord* r) {
    if (pos >= size_) {
      push_back(r);
      return;
    }
    std::size_t c = ChunkOf(pos);
    auto& chunk = chunks_[c];
    chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(pos - starts_[c]), r);
    for (std::size_t k = c + 1; k < starts_.size(); ++k) ++starts_[k];
    ++size_;
    if (chunk.size() >= 2 * kChunk) Split(c);
  }

  void erase(std::size_t pos) {
    std::size_t c = ChunkOf(pos);
    auto& chunk = chunks_[c];
    chunk.erase(chunk.begin() + static_cast<std::ptrdiff_t>(pos - starts_[c]));
    for (std::size_t k = c + 1; k < starts_.size(); ++k) --starts_[k];
    --size_;
    if (chunk.empty()) {
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(c));
      last_ = 0;
    } else if (c + 1 < chunks_.size() && chunk.size() + chunks_[c + 1].size() <= kChunk) {
      // Two thin neighbours become one, so that deletes do not leave a trail of
      // nearly empty chunks.
      auto& next = chunks_[c + 1];
      chunk.insert(chunk.end(), next.begin(), next.end());
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c + 1));
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(c + 1));
      last_ = 0;
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
    return starts_[lo - 1] + static_cast<std::size_t>(it - chunk.begin());
  }

  // Replaces the contents with the entries of v, in order.
  void Assign(const std::vector<TmvxRecord*>& v) {
    clear();
    for (TmvxRecord* r : v) push_back(r);
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
    const_iterator(const RecordList* list, std::size_t chunk, std::size_t offset)
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
    const RecordList* list_;
    std::size_t chunk_, offset_;
  };
  const_iterator begin() const { return const_iterator(this, 0, 0); }
  const_iterator end() const { return const_iterator(this, chunks_.size(), 0); }

 private:
  // The chunk that holds a position; a walk in order finds it at once.
  std::size_t ChunkOf(std::size_t pos) const {
    std::size_t c = last_;
    if (c < chunks_.size() && pos >= starts_[c]) {
      if (pos < starts_[c] + chunks_[c].size()) return c;
      if (c + 1 < chunks_.size() && pos < starts_[c + 1] + chunks_[c + 1].size()) return last_ = c + 1;
    }
    c = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin()) - 1;
    return last_ = c;
  }

  void Split(std::size_t c) {
    auto& chunk = chunks_[c];
    std::vector<TmvxRecord*> upper(chunk.begin() + static_cast<std::ptrdiff_t>(kChunk), chunk.end());
    chunk.resize(kChunk);
    std::size_t start = starts_[c] + kChunk;
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c + 1), std::move(upper));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(c + 1), start);
    last_ = 0;
  }

  std::vector<std::vector<TmvxRecord*>> chunks_;
  std::vector<std::size_t> starts_;
  std::size_t size_ = 0;
  mutable std::size_t last_ = 0;
};

}  // namespace memtable
