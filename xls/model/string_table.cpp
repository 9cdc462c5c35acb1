#include "xls/model/string_table.h"

#include <algorithm>

#include "xls/model/hash.h"
#include "xls/model/key_text.h"

namespace xls {

TXLSStringTable::TXLSStringTable() { buckets_.assign(mask_ + 1, nullptr); }

TXLSStringTable::~TXLSStringTable() = default;

TSTHashEntry* TXLSStringTable::NewEntry() {
  if (TSTHashEntry* e = freeEntries_) {
    freeEntries_ = e->next;
    return e;
  }
  if (blockUsed_ == kEntryBlock) {
    entryBlocks_.push_back(std::make_unique<TSTHashEntry[]>(kEntryBlock));
    blockUsed_ = 0;
  }
  return &entryBlocks_.back()[blockUsed_++];
}

void TXLSStringTable::FreeEntry(TSTHashEntry* e) {
  e->next = freeEntries_;
  freeEntries_ = e;
}

TXLSIncrementArray::Item& TXLSStringTable::ItemAt(std::int32_t index) {
  return pages_[static_cast<std::size_t>((index - 1) / kPageSize)]->items[static_cast<std::size_t>((index - 1) % kPageSize)];
}
const TXLSIncrementArray::Item& TXLSStringTable::ItemAt(std::int32_t index) const {
  return pages_[static_cast<std::size_t>((index - 1) / kPageSize)]->items[static_cast<std::size_t>((index - 1) % kPageSize)];
}

// ----- hash -----------------------------------------------------------------------------------

std::uint32_t TXLSStringTable::HashOf(std::u16string_view text) { return HashOfKey(text.data(), text.size()); }

TSTHashEntry* TXLSStringTable::HashFind(std::u16string_view text, std::uint32_t h) const {
  for (TSTHashEntry* e = buckets_[h & mask_]; e; e = e->next)
    if (e->hash == h && ItemAt(e->index).Text() == text) return e;
  return nullptr;
}

void TXLSStringTable::GrowBuckets() { ResizeBuckets(static_cast<std::uint64_t>(mask_ + 1) * 2); }

void TXLSStringTable::ResizeBuckets(std::uint64_t newCount) {
  if (sizeLimit_ != -1 && newCount > static_cast<std::uint64_t>(sizeLimit_)) return;
  std::uint32_t oldCount = mask_ + 1;
  if (newCount <= oldCount) return;
  mask_ = static_cast<std::uint32_t>(newCount - 1);
  buckets_.resize(static_cast<std::size_t>(newCount), nullptr);
  RedistributeChains(buckets_, oldCount, mask_);
}

void TXLSStringTable::Reserve(std::int32_t count) {
  if (count <= 0) return;
  const std::uint64_t wanted = static_cast<std::uint64_t>(entries_) + static_cast<std::uint64_t>(count);
  std::uint64_t buckets = static_cast<std::uint64_t>(mask_) + 1;
  while (buckets < wanted && buckets < (std::uint64_t{1} << 31)) buckets *= 2;
  ResizeBuckets(buckets);
  pages_.reserve(static_cast<std::size_t>((static_cast<std::uint64_t>(count_) + count) / kPageSize + 1));
}

void TXLSStringTable::HashAdd(std::uint32_t hash, std::int32_t index) {
  if (static_cast<std::uint32_t>(entries_) > mask_) GrowBuckets();
  TSTHashEntry* e = NewEntry();
  e->hash = hash;
  e->index = index;
  TSTHashEntry*& head = buckets_[e->hash & mask_];
  e->next = head;
  head = e;
  ++entries_;
}

void TXLSStringTable::Unhash(std::u16string_view text) {
  std::uint32_t h = HashOf(text);
  TSTHashEntry** link = &buckets_[h & mask_];
  while (*link) {
    TSTHashEntry* e = *link;
    if (e->hash == h && ItemAt(e->index).Text() == text) {
      *link = e->next;
      FreeEntry(e);
      --entries_;
      return;
    }
    link = &e->next;
  }
}

// ----- strings --------------------------------------------------------------------------------

const char16_t* TXLSStringTable::StoreText(std::u16string_view text) {
  if (text.empty()) return nullptr;
  char16_t* place;
  if (text.size() > kTextBlock / 4) {
    textBlocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(text.size()));
    place = textBlocks_.back().get();
  } else {
    if (text.size() > blockLeft_) {
      deadChars_ += blockLeft_;  // the rest of the last block stays unused
      textBlocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(kTextBlock));
      blockNext_ = textBlocks_.back().get();
      blockLeft_ = kTextBlock;
    }
    place = blockNext_;
    blockNext_ += text.size();
    blockLeft_ -= text.size();
  }
  std::copy(text.begin(), text.end(), place);
  liveChars_ += text.size();
  return place;
}

void TXLSStringTable::DropText(TXLSIncrementArray::Item& item) {
  liveChars_ -= item.length;
  deadChars_ += item.length;
  item.text = nullptr;
  item.length = 0;
  if (deadChars_ > kTextBlock && deadChars_ > liveChars_) CompactTexts();
}

void TXLSStringTable::CompactTexts() {
  std::vector<std::unique_ptr<char16_t[]>> old;
  old.swap(textBlocks_);
  blockNext_ = nullptr;
  blockLeft_ = 0;
  liveChars_ = deadChars_ = 0;
  std::int32_t left = count_;
  for (std::size_t p = 0; p < pages_.size() && left > 0; ++p) {
    for (auto& item : pages_[p]->items) {
      if (left-- == 0) break;
      if (item.length > 0) item.text = StoreText(item.Text());
    }
  }
}

void TXLSStringTable::GrowPages() {
  if (pageSlots_ * kPageSize < count_) pageSlots_ += 100;
  if (allocated_ < count_) {
    pages_.push_back(std::make_unique<TXLSIncrementArray>());
    allocated_ += kPageSize;
  }
}

void TXLSStringTable::ShrinkPages() {
  while (count_ + 150 <= allocated_) {
    pages_.pop_back();
    allocated_ -= kPageSize;
  }
  while (static_cast<std::int32_t>(pages_.size()) + 150 <= pageSlots_) pageSlots_ -= 100;
}

std::int32_t TXLSStringTable::PlaceNew(std::uint32_t hash, std::u16string_view text) {
  ++distinct_;
  std::int32_t index;
  if (free_.empty()) {
    ++count_;
    GrowPages();
    index = count_;
  } else {
    index = free_.back();
    free_.pop_back();
  }
  auto& item = ItemAt(index);
  item.useCount = 1;
  item.text = StoreText(text);
  item.length = static_cast<std::uint32_t>(text.size());
  item.sstPosition = -1;
  // 0 stays "none": after 2^32 texts the numbers go round past it.
  if (++lastSerial_ == 0) ++lastSerial_;
  item.serial = lastSerial_;
  HashAdd(hash, index);
  return index;
}

std::int32_t TXLSStringTable::AddText(std::u16string_view text) {
  if (text.size() > kMaxCellText) text = text.substr(0, kMaxCellText);
  ++totalUses_;
  ++lookups_;
  const std::uint32_t hash = HashOf(text);
  if (TSTHashEntry* e = HashFind(text, hash)) {
    ++ItemAt(e->index).useCount;
    return e->index;
  }
  return PlaceNew(hash, text);
}

std::int32_t TXLSStringTable::Add(const std::u16string& text) { return AddText(text); }

std::int32_t TXLSStringTable::Add(const char16_t* text, std::size_t length) {
  return AddText(std::u16string_view(text, length));
}

std::uint32_t TXLSStringTable::SerialOf(std::int32_t index) const {
  if (index < 1 || index > count_) return 0;
  const auto& item = ItemAt(index);
  return item.useCount > 0 ? item.serial : 0;
}

bool TXLSStringTable::UseAgain(std::int32_t index, std::uint32_t serial) {
  if (serial == 0 || index < 1 || index > count_) return false;
  auto& item = ItemAt(index);
  if (item.useCount <= 0 || item.serial != serial) return false;
  ++item.useCount;
  ++totalUses_;
  return true;
}

void TXLSStringTable::Release(std::int32_t index) {
  if (index < 1 || index > count_) return;
  auto& item = ItemAt(index);
  // A free index has no use to give back; releasing it again would hand it out twice.
  if (item.useCount <= 0) return;
  --item.useCount;
  --totalUses_;
  if (item.useCount > 0) return;
  --distinct_;
  Unhash(item.Text());
  DropText(item);
  if (index != count_) {
    free_.push_back(index);
  } else {
    --count_;
    ShrinkPages();
  }
}

void TXLSStringTable::MoveUse(std::int32_t oldIndex, std::int32_t newIndex) {
  if (oldIndex > 0) Release(oldIndex);
  if (newIndex >= 1 && newIndex <= count_ && ItemAt(newIndex).useCount > 0) {
    ++ItemAt(newIndex).useCount;
    ++totalUses_;
  }
}

std::u16string TXLSStringTable::GetString(std::int32_t index) const {
  if (index < 1 || index > count_) return {};
  return std::u16string(ItemAt(index).Text());
}

std::int32_t TXLSStringTable::GetSSTPosition(std::int32_t index) const {
  if (index < 1 || index > count_) return -1;
  return ItemAt(index).sstPosition;
}

std::int32_t TXLSStringTable::GetUseCount(std::int32_t index) const {
  if (index < 1 || index > count_) return 0;
  return ItemAt(index).useCount;
}

std::int32_t TXLSStringTable::IndexOf(const std::u16string& text) const {
  TSTHashEntry* e = HashFind(text.size() > kMaxCellText ? text.substr(0, kMaxCellText) : text);
  return e ? e->index : -1;
}

void TXLSStringTable::NumberStrings() {
  std::int32_t next = 0, left = count_;
  // Page by page: one item after the other without working out each one's page.
  for (std::size_t p = 0; p < pages_.size() && left > 0; ++p) {
    for (auto& item : pages_[p]->items) {
      if (left-- == 0) break;
      item.sstPosition = item.useCount > 0 ? next++ : -1;
    }
  }
}

// ----- SST and EXTSST ---------------------------------------------------------------------------

void TXLSStringTable::BeginRecord() {
  record_ = std::make_unique<TXLSBlob>(recordLimit_ + 4u);
  if (firstSST_) {
    record_->AddWord(0x00FC);
    record_->AddWord(0);
    record_->AddDWord(static_cast<std::uint32_t>(totalUses_));
    record_->AddDWord(static_cast<std::uint32_t>(distinct_));
    firstSST_ = false;
  } else {
    record_->AddWord(0x003C);
    record_->AddWord(0);
  }
  position_ += record_->GetSize();
}

void TXLSStringTable::CloseRecord(TXLSBlobList& output) {
  record_->PutWord(record_->GetSize() - 4, 2);
  output.Append(record_.release());
}

void TXLSStringTable::AddExtSSTEntry(std::uint32_t position, std::uint32_t offset) {
  std::uint32_t limit = recordLimit_ + 4u;
  if (extRecord_ && extRecord_->GetSize() + 8 > limit) {
    extRecord_->PutWord(extRecord_->GetSize() - 4, 2);
    extSST_->Append(extRecord_.release());
  }
  if (!extRecord_) {
    extRecord_ = std::make_unique<TXLSBlob>(limit);
    if (firstExtSST_) {
      extRecord_->AddWord(0x00FF);
      extRecord_->AddWord(0);
      extRecord_->AddWord(kStringsPerBucket);
      firstExtSST_ = false;
    } else {
      extRecord_->AddWord(0x003C);
      extRecord_->AddWord(0);
    }
  }
  extRecord_->AddDWord(position);
  extRecord_->AddWord(offset);
  extRecord_->AddWord(0);
}

void TXLSStringTable::WriteSSTString(TXLSBlobList& output, std::u16string_view text, std::int32_t ordinal) {
  const std::uint32_t limit = recordLimit_ + 4u;
  std::size_t done = 0;
  bool continued = false;
  for (;;) {
    if (!record_) BeginRecord();
    std::uint32_t n = static_cast<std::uint32_t>(text.size() - done);
    std::uint32_t overhead = continued ? 1 : 3;
    std::uint32_t size = record_->GetSize();
    bool indexed = !continued && ordinal % kStringsPerBucket == 0;
    if (2 * n + size + overhead <= limit) {
      if (indexed) AddExtSSTEntry(position_, size);
      if (!continued) record_->AddWord(static_cast<std::uint32_t>(text.size()));
      record_->AddByte(1);
      record_->AddWideString(text.data() + done, n);
      position_ += overhead + 2 * n;
      return;
    }
    std::uint32_t freeSpace = limit - size;
    std::uint32_t m = freeSpace >= overhead ? (freeSpace - overhead) / 2 : 0;
    // Readers decode each piece on its own: a surrogate pair is never cut in two.
    if (m > 0 && m < n) {
      const char16_t lastUnit = text[done + m - 1];
      if (lastUnit >= 0xD800 && lastUnit < 0xDC00) --m;
    }
    if (m == 0 && !continued) {
      CloseRecord(output);  // too little room even for one character: start in the next record
      continue;
    }
    if (indexed) AddExtSSTEntry(position_, size);
    if (!continued) record_->AddWord(static_cast<std::uint32_t>(text.size()));
    record_->AddByte(1);
    record_->AddWideString(text.data() + done, m);
    position_ += overhead + 2 * m;
    done += m;
    CloseRecord(output);
    continued = true;
  }
}

int TXLSStringTable::WriteSST(TXLSBlobList& output, std::uint32_t streamPosition) {
  firstSST_ = true;
  firstExtSST_ = true;
  extSST_ = std::make_unique<TXLSBlobList>();
  record_.reset();
  extRecord_.reset();
  position_ = streamPosition;
  std::int32_t ordinal = 0, left = count_;
  for (std::size_t p = 0; p < pages_.size() && left > 0; ++p) {
    for (const auto& item : pages_[p]->items) {
      if (left-- == 0) break;
      if (item.useCount > 0) WriteSSTString(output, item.Text(), ordinal++);
    }
  }
  if (record_ && record_->GetSize() > 4) CloseRecord(output);
  record_.reset();
  if (extRecord_ && extRecord_->GetSize() > 4) {
    extRecord_->PutWord(extRecord_->GetSize() - 4, 2);
    extSST_->Append(extRecord_.release());
  }
  extRecord_.reset();
  output.AppendList(*extSST_);
  extSST_.reset();
  return 1;
}

}  // namespace xls
