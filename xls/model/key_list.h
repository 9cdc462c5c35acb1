// The containers under the workbook's format tables: a de-duplicating list of key strings with
// use counts and fixed leading entries (fonts, cell formats), a list of owned objects found by
// key (styles) and an array of strings with a string-to-index map (number formats).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/hash.h"

namespace xls {

struct TXLSKeyEntry {
  std::u16string key;
  std::int32_t useCount = 0;
  std::int32_t outputIndex = 0;   // 1-based place in the written order, 0 when not written
  std::int32_t arrayPosition = 0;
};

class TXLSKeyList {
 public:
  static constexpr int kGrowStep = 50;

  TXLSKeyList();
  virtual ~TXLSKeyList();
  TXLSKeyList(const TXLSKeyList&) = delete;
  TXLSKeyList& operator=(const TXLSKeyList&) = delete;

  void Clear();
  virtual std::int32_t GetOutputIndex(std::int32_t index) const;
  std::u16string GetKey(std::int32_t index) const;
  // The index of an entry holding key; one use moves from old (when it is a counted entry of
  // the list) to it. old 0 in a list with fixed entries, or below the base, releases nothing.
  std::int32_t Intern(std::int32_t old, const std::u16string& key);
  void SetEntry(std::int32_t index, const std::u16string& key);
  void Compact();
  void MoveUse(std::int32_t oldIndex, std::int32_t newIndex);
  void AddUse(std::int32_t index);
  void ResetUseCounts();
  void SetKeyIndex(const std::u16string& key, std::int32_t index) { map_->SetValue(key, index); }
  void Grow();

  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t BaseIndex() const { return baseIndex_; }
  std::int32_t FixedCount() const { return fixedCount_; }
  std::int32_t UsedCount() const { return usedCount_; }
  const std::u16string& DefaultKey() const { return defaultKey_; }
  // The use count of an entry; 0 outside the list.
  std::int32_t GetUseCount(std::int32_t index) const;
  // The list index of the entry a key maps to, or -1.
  std::int32_t Find(const std::u16string& key) const;
  // Entries in written order, valid after Compact.
  const std::vector<TXLSKeyEntry*>& OutputOrder() const { return outputOrder_; }

 protected:
  void SetBaseIndex(std::uint16_t base) { baseIndex_ = base; }
  void SetFixedCountValue(std::int32_t n) { fixedCount_ = n; }
  void SetDefaultKey(const std::u16string& key) { defaultKey_ = key; }

 private:
  bool Inside(std::int32_t index) const {
    return index >= baseIndex_ && index - baseIndex_ < count_;
  }
  bool Counted(std::int32_t index) const {
    return Inside(index) && index - baseIndex_ >= fixedCount_;
  }
  void CountUse(std::int32_t index);
  void ReleaseUse(std::int32_t index);

  std::unique_ptr<THashInteger> map_;
  // The entries in list order, count_ of them; a deque, so that an entry stays where it is
  // (the written order points at them) without an allocation of its own.
  std::deque<TXLSKeyEntry> entries_;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
  std::u16string defaultKey_;
  std::uint16_t baseIndex_ = 1;
  std::int32_t fixedCount_ = 0;
  std::vector<TXLSKeyEntry*> outputOrder_;
  std::int32_t usedCount_ = 0;
};

struct TXLSObjEntry {
  virtual ~TXLSObjEntry() = default;
  std::u16string key;
};

class TXLSObjList {
 public:
  TXLSObjList();
  virtual ~TXLSObjList();
  TXLSObjList(const TXLSObjList&) = delete;
  TXLSObjList& operator=(const TXLSObjList&) = delete;

  // Takes the entry; an entry with a key already held replaces the one at that index.
  std::int32_t Add(TXLSObjEntry* entry);
  TXLSObjEntry* GetItem(std::int32_t index) const;
  void Clear();
  void Grow();
  std::int32_t Count() const { return count_; }
  std::int32_t BaseIndex() const { return baseIndex_; }

 protected:
  void SetBaseIndex(std::uint16_t base) { baseIndex_ = base; }

 private:
  std::unique_ptr<THashInteger> map_;
  std::vector<std::unique_ptr<TXLSObjEntry>> entries_;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
  std::uint16_t baseIndex_ = 1;
};

class TXLSStringList {
 public:
  TXLSStringList();
  virtual ~TXLSStringList();
  TXLSStringList(const TXLSStringList&) = delete;
  TXLSStringList& operator=(const TXLSStringList&) = delete;

  virtual void SetString(std::int32_t index, const std::u16string& s);
  virtual std::u16string GetString(std::int32_t index) const;
  virtual std::int32_t AddOrFind(const std::u16string& s);
  void PutString(const std::u16string& s, std::int32_t index) { TXLSStringList::SetString(index, s); }
  std::int32_t IndexOf(const std::u16string& s) const { return map_.GetValue(s); }
  bool Exists(const std::u16string& s) const { return map_.Exists(s); }
  void Grow();
  std::int32_t Count() const { return count_; }
  // The first index from index on that holds a text of the list's own, or Count().
  std::int32_t NextIndex(std::int32_t index) const;

 protected:
  // For lists whose own indexes start above 0.
  explicit TXLSStringList(std::int32_t firstIndex);

 private:
  // By index, only the indexes given a text: a file may give one a high index.
  std::map<std::int32_t, std::u16string> strings_;
  std::int32_t capacity_ = 0;
  THashInteger map_;
  std::int32_t count_ = 0;
};

}  // namespace xls
