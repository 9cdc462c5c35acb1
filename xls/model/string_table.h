// The workbook's shared strings: every distinct cell text once, with a use count, reused free
// indexes, and the SST and EXTSST records that write them split at whole characters.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

struct TXLSIncrementArray {
  struct Item {
    const char16_t* text = nullptr;  // in the table's text blocks
    std::uint32_t length = 0;
    std::int32_t sstPosition = -1;
    std::int32_t useCount = 0;
    std::uint32_t serial = 0;  // given when the index receives its text
    std::u16string_view Text() const { return {text, length}; }
  };
  std::array<Item, 100> items;
};

struct TSTHashEntry {
  TSTHashEntry* next = nullptr;
  std::uint32_t hash = 0;
  std::int32_t index = 0;
};

class TXLSStringTable {
 public:
  static constexpr std::int32_t kPageSize = 100;
  static constexpr std::int32_t kStringsPerBucket = 8;

  TXLSStringTable();
  ~TXLSStringTable();
  TXLSStringTable(const TXLSStringTable&) = delete;
  TXLSStringTable& operator=(const TXLSStringTable&) = delete;

  // The index of text with one more use. Texts longer than a cell holds (32,767 characters)
  // are cut there.
  std::int32_t Add(const std::u16string& text);
  // The same for length characters at text (a reader's buffer: no string of its own first).
  std::int32_t Add(const char16_t* text, std::size_t length);
  // The serial number of the text at index, 0 when the index is not in use. An index gets a new
  // one each time it receives a text, so that index and serial name one text for as long as it
  // stays in the table.
  std::uint32_t SerialOf(std::int32_t index) const;
  // One more use of index when it still holds the text it held under that serial; false,
  // changing nothing, otherwise. A reader that remembers where its text went the last time
  // counts a repeated text without hashing or comparing it (a long text costs as little as a
  // short one).
  bool UseAgain(std::int32_t index, std::uint32_t serial);
  // Room for count more distinct strings: the hash is sized for them at once instead of
  // doubling on the way (a reader calls this with the count of a file's shared strings).
  void Reserve(std::int32_t count);
  // One use less; at 0 the string is dropped and its index freed. An index that is not in use
  // is left alone.
  void Release(std::int32_t index);
  void MoveUse(std::int32_t oldIndex, std::int32_t newIndex);
  std::u16string GetString(std::int32_t index) const;
  std::int32_t GetSSTPosition(std::int32_t index) const;
  std::int32_t GetUseCount(std::int32_t index) const;
  std::int32_t IndexOf(const std::u16string& text) const;
  void NumberStrings();
  // Appends SST, CONTINUE and EXTSST records; streamPosition is where the SST record begins.
  int WriteSST(TXLSBlobList& output, std::uint32_t streamPosition);

  void SetRecordLimit(std::uint16_t limit) { recordLimit_ = limit; }
  std::uint16_t RecordLimit() const { return recordLimit_; }
  std::int32_t Count() const { return count_; }
  std::int32_t TotalUses() const { return totalUses_; }
  std::int32_t DistinctStrings() const { return distinct_; }
  std::int32_t FreeCount() const { return static_cast<std::int32_t>(free_.size()); }
  std::int32_t AllocatedItems() const { return allocated_; }
  // Texts looked up by their hash (each Add): a reader's repeated texts count none.
  std::int64_t Lookups() const { return lookups_; }

 private:
  TXLSIncrementArray::Item& ItemAt(std::int32_t index);
  const TXLSIncrementArray::Item& ItemAt(std::int32_t index) const;
  static std::uint32_t HashOf(std::u16string_view text);
  TSTHashEntry* HashFind(std::u16string_view text) const { return HashFind(text, HashOf(text)); }
  TSTHashEntry* HashFind(std::u16string_view text, std::uint32_t hash) const;
  void HashAdd(std::uint32_t hash, std::int32_t index);
  void ResizeBuckets(std::uint64_t newCount);
  // One more use of the text when it is there already (its index), else 0.
  std::int32_t AddText(std::u16string_view text);
  std::int32_t PlaceNew(std::uint32_t hash, std::u16string_view text);
  TSTHashEntry* NewEntry();
  void FreeEntry(TSTHashEntry* e);
  void Unhash(std::u16string_view text);
  const char16_t* StoreText(std::u16string_view text);
  void DropText(TXLSIncrementArray::Item& item);
  void CompactTexts();
  void GrowBuckets();
  void GrowPages();
  void ShrinkPages();
  void BeginRecord();
  void CloseRecord(TXLSBlobList& output);
  void WriteSSTString(TXLSBlobList& output, std::u16string_view text, std::int32_t ordinal);
  void AddExtSSTEntry(std::uint32_t position, std::uint32_t offset);

  std::vector<std::unique_ptr<TXLSIncrementArray>> pages_;
  // The characters of the texts, one after the other in blocks (a long text in a block of its
  // own): no allocation per string. A dropped text leaves a hole; once the holes outweigh the
  // texts in use, those are copied together into fresh blocks.
  static constexpr std::size_t kTextBlock = 32768;
  std::vector<std::unique_ptr<char16_t[]>> textBlocks_;
  char16_t* blockNext_ = nullptr;
  std::size_t blockLeft_ = 0;
  std::size_t liveChars_ = 0;
  std::size_t deadChars_ = 0;
  std::int32_t count_ = 0;
  std::int32_t pageSlots_ = 0;
  std::int32_t allocated_ = 0;
  std::vector<std::int32_t> free_;
  std::int32_t totalUses_ = 0;
  std::int32_t distinct_ = 0;
  std::uint32_t lastSerial_ = 0;
  std::int64_t lookups_ = 0;
  std::vector<TSTHashEntry*> buckets_;
  // Hash entries come from blocks (one allocation per 4096 strings, not one per string);
  // freed ones wait in a list for reuse.
  static constexpr std::size_t kEntryBlock = 4096;
  std::vector<std::unique_ptr<TSTHashEntry[]>> entryBlocks_;
  std::size_t blockUsed_ = kEntryBlock;
  TSTHashEntry* freeEntries_ = nullptr;
  std::uint32_t mask_ = 7;
  std::int32_t entries_ = 0;
  std::int32_t sizeLimit_ = -1;
  std::uint16_t recordLimit_ = 8224;
  bool firstSST_ = true;
  bool firstExtSST_ = true;
  std::unique_ptr<TXLSBlobList> extSST_;
  std::unique_ptr<TXLSBlob> record_;
  std::unique_ptr<TXLSBlob> extRecord_;
  std::uint32_t position_ = 0;
};

}  // namespace xls
