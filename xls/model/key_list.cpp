#include "xls/model/key_list.h"

namespace xls {

TXLSKeyList::TXLSKeyList() : map_(std::make_unique<THashInteger>()) { Grow(); }

TXLSKeyList::~TXLSKeyList() = default;

void TXLSKeyList::Clear() {
  entries_.clear();
  outputOrder_.clear();
  map_ = std::make_unique<THashInteger>();
  count_ = 0;
  capacity_ = 0;
  usedCount_ = 0;
  Grow();
}

void TXLSKeyList::Grow() {
  if (count_ == capacity_) capacity_ += kGrowStep;
}

std::int32_t TXLSKeyList::GetOutputIndex(std::int32_t index) const {
  if (!Inside(index)) return 0;
  return entries_[static_cast<std::size_t>(index - baseIndex_)].outputIndex;
}

std::u16string TXLSKeyList::GetKey(std::int32_t index) const {
  if (!Inside(index)) return defaultKey_;
  return entries_[static_cast<std::size_t>(index - baseIndex_)].key;
}

std::int32_t TXLSKeyList::GetUseCount(std::int32_t index) const {
  return Inside(index) ? entries_[static_cast<std::size_t>(index - baseIndex_)].useCount : 0;
}

std::int32_t TXLSKeyList::Find(const std::u16string& key) const {
  return map_->Exists(key) ? map_->GetValue(key) : -1;
}

void TXLSKeyList::CountUse(std::int32_t index) {
  if (!Counted(index)) return;
  TXLSKeyEntry& e = entries_[static_cast<std::size_t>(index - baseIndex_)];
  if (e.useCount++ == 0) ++usedCount_;
}

void TXLSKeyList::ReleaseUse(std::int32_t index) {
  if (!Counted(index)) return;
  TXLSKeyEntry& e = entries_[static_cast<std::size_t>(index - baseIndex_)];
  // A use that was never counted is not taken away: counts never go below zero.
  if (e.useCount <= 0) return;
  if (--e.useCount == 0) --usedCount_;
}

std::int32_t TXLSKeyList::Intern(std::int32_t old, const std::u16string& key) {
  if (old > baseIndex_ && Inside(old) && entries_[static_cast<std::size_t>(old - baseIndex_)].key == key) return old;
  if (!map_->Exists(key)) {
    Grow();
    std::int32_t index = baseIndex_ + count_;
    entries_.emplace_back().key = key;
    ++count_;
    map_->SetValue(key, index);
    CountUse(index);
    ReleaseUse(old);
    return index;
  }
  std::int32_t found = map_->GetValue(key);
  ReleaseUse(old);
  CountUse(found);
  return found;
}

void TXLSKeyList::SetEntry(std::int32_t index, const std::u16string& key) {
  if (index < baseIndex_) return;
  std::int32_t pos = index - baseIndex_;
  if (pos >= count_) count_ = pos + 1;
  while (capacity_ < count_) capacity_ += kGrowStep;
  // Slots skipped over hold the default key, so that no slot is ever empty.
  while (entries_.size() < static_cast<std::size_t>(count_)) entries_.emplace_back().key = defaultKey_;
  // The entry is renewed in place: its key keeps its buffer, and a pointer to it in the
  // written order stays valid.
  TXLSKeyEntry& entry = entries_[static_cast<std::size_t>(pos)];
  if (entry.useCount > 0 && pos >= fixedCount_) --usedCount_;
  entry.key.assign(key);
  entry.useCount = 0;
  entry.outputIndex = 0;
  entry.arrayPosition = 0;
  map_->SetValue(key, index);
  CountUse(index);
  Grow();
}

void TXLSKeyList::Compact() {
  outputOrder_.clear();
  outputOrder_.reserve(static_cast<std::size_t>(usedCount_ + fixedCount_));
  for (std::int32_t pos = 0; pos < count_; ++pos) {
    TXLSKeyEntry& e = entries_[static_cast<std::size_t>(pos)];
    if (pos < fixedCount_ || e.useCount > 0) {
      outputOrder_.push_back(&e);
      e.outputIndex = static_cast<std::int32_t>(outputOrder_.size());
      e.arrayPosition = pos;
    } else {
      e.outputIndex = 0;
    }
  }
  usedCount_ = static_cast<std::int32_t>(outputOrder_.size());
}

void TXLSKeyList::MoveUse(std::int32_t oldIndex, std::int32_t newIndex) {
  ReleaseUse(oldIndex);
  CountUse(newIndex);
}

void TXLSKeyList::AddUse(std::int32_t index) { CountUse(index); }

void TXLSKeyList::ResetUseCounts() {
  for (TXLSKeyEntry& e : entries_) e.useCount = 0;
  usedCount_ = 0;
}

// ---------------------------------------------------------------------------------------------

TXLSObjList::TXLSObjList() : map_(std::make_unique<THashInteger>()) { Grow(); }
TXLSObjList::~TXLSObjList() = default;

void TXLSObjList::Grow() {
  if (count_ == capacity_) {
    capacity_ += TXLSKeyList::kGrowStep;
    entries_.resize(static_cast<std::size_t>(capacity_));
  }
}

std::int32_t TXLSObjList::Add(TXLSObjEntry* entry) {
  std::unique_ptr<TXLSObjEntry> owned(entry);
  if (map_->Exists(entry->key)) {
    std::int32_t index = map_->GetValue(entry->key);
    entries_[index - baseIndex_] = std::move(owned);
    return index;
  }
  Grow();
  std::int32_t index = baseIndex_ + count_;
  map_->SetValue(entry->key, index);
  entries_[count_++] = std::move(owned);
  return index;
}

TXLSObjEntry* TXLSObjList::GetItem(std::int32_t index) const {
  if (index < baseIndex_ || index - baseIndex_ >= count_) return nullptr;
  return entries_[index - baseIndex_].get();
}

void TXLSObjList::Clear() {
  entries_.clear();
  map_ = std::make_unique<THashInteger>();
  count_ = 0;
  capacity_ = 0;
  Grow();
}

// ---------------------------------------------------------------------------------------------

TXLSStringList::TXLSStringList() { Grow(); }

TXLSStringList::TXLSStringList(std::int32_t firstIndex) : count_(firstIndex) { Grow(); }

TXLSStringList::~TXLSStringList() = default;

void TXLSStringList::Grow() {
  if (count_ >= capacity_) capacity_ = count_ + TXLSKeyList::kGrowStep;
}

std::int32_t TXLSStringList::AddOrFind(const std::u16string& s) {
  if (map_.Exists(s)) return map_.GetValue(s);
  std::int32_t index = count_++;
  Grow();
  strings_[index] = s;
  map_.SetValue(s, index);
  return index;
}

std::u16string TXLSStringList::GetString(std::int32_t index) const {
  if (index < 0 || index >= count_) return {};
  auto it = strings_.find(index);
  return it == strings_.end() ? std::u16string() : it->second;
}

std::int32_t TXLSStringList::NextIndex(std::int32_t index) const {
  for (auto it = strings_.lower_bound(index); it != strings_.end(); ++it)
    if (!it->second.empty()) return it->first;
  return count_;
}

void TXLSStringList::SetString(std::int32_t index, const std::u16string& s) {
  if (index < 0) return;
  if (index >= count_) {
    count_ = index + 1;
    Grow();
  }
  strings_[index] = s;
  map_.SetValue(s, index);
}

}  // namespace xls
