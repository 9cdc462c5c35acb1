// The library's one keyed lookup: a chained hash table keyed by wide strings, and the small
// typed maps and sparse arrays built on it (a sparse array's key is the decimal index).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xls {

struct THashEntry {
  virtual ~THashEntry() = default;
  THashEntry* next = nullptr;
  std::uint32_t hash = 0;
  std::u16string key;
};

struct THashStringEntry : THashEntry {
  std::string value;
};
struct THashWideStringEntry : THashEntry {
  std::u16string value;
};
struct THashIntegerEntry : THashEntry {
  std::int32_t value = 0;
};
struct THashIntEntry : THashEntry {
  std::int32_t value = 0;
};
struct THashBoolEntry : THashEntry {
  bool value = false;
};

// The stored objects are owned through this base so that an owning map can delete them.
class THashObjectBase {
 public:
  virtual ~THashObjectBase() = default;
};

struct THashObjectEntry : THashEntry {
  ~THashObjectEntry() override {
    if (owns) delete object;
  }
  bool owns = true;
  THashObjectBase* object = nullptr;
};

// The hash of a key: h = h * 33 + unit over the UTF-16 units, then h + (h >> 5).
std::uint32_t HashOfKey(const std::u16string& key);
std::uint32_t HashOfKey(const char16_t* key, std::size_t length);
// The decimal text of a sparse-array index, "-5" for -5.
std::u16string IndexKey(std::int32_t i);

// After a bucket array has grown from oldCount to mask + 1 buckets, moves every entry of the
// old chains whose hash now selects another bucket to the head of that bucket's chain.
template <typename Entry>
void RedistributeChains(std::vector<Entry*>& buckets, std::uint32_t oldCount, std::uint32_t mask) {
  for (std::uint32_t i = 0; i < oldCount; ++i) {
    Entry** link = &buckets[i];
    while (*link) {
      Entry* e = *link;
      std::uint32_t b = e->hash & mask;
      if (b != i) {
        *link = e->next;
        e->next = buckets[b];
        buckets[b] = e;
      } else {
        link = &e->next;
      }
    }
  }
}

class THash {
 public:
  THash();
  virtual ~THash();
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;

  static std::uint32_t HashOf(const std::u16string& key) { return HashOfKey(key); }
  THashEntry* Find(const std::u16string& key) const;
  bool Exists(const std::u16string& key) const { return Find(key) != nullptr; }
  // The entry of key, created through NewEntry when absent; nullptr when the map creates no
  // entries (the bare base).
  THashEntry* FindOrAdd(const std::u16string& key);
  void Remove(const std::u16string& key);
  void Grow(int n);
  std::vector<std::string> GetKeys() const;

  std::int32_t Count() const { return count_; }
  std::uint32_t BucketCount() const { return mask_ + 1; }
  void SetLimit(std::int32_t limit) { limit_ = limit; }

 protected:
  virtual THashEntry* NewEntry() { return nullptr; }

 private:
  std::vector<THashEntry*> buckets_;
  std::uint32_t mask_ = 7;
  std::int32_t count_ = 0;
  std::int32_t limit_ = -1;
};

class THashString : public THash {
 public:
  std::string GetValue(const std::u16string& key) const;
  void SetValue(const std::u16string& key, const std::string& s);

 protected:
  THashEntry* NewEntry() override { return new THashStringEntry; }
};

class THashInteger : public THash {
 public:
  std::int32_t GetValue(const std::u16string& key) const;
  void SetValue(const std::u16string& key, std::int32_t i);

 protected:
  THashEntry* NewEntry() override { return new THashIntEntry; }
};

class THashBool : public THash {
 public:
  void SetValue(const std::u16string& key, bool b);

 protected:
  THashEntry* NewEntry() override { return new THashBoolEntry; }
};

class THashObject : public THash {
 public:
  explicit THashObject(bool ownsObjects = true) : ownsObjects_(ownsObjects) {}
  THashObjectBase* GetValue(const std::u16string& key) const;
  // Replaces the stored object; an owned object that is replaced by another is deleted.
  void SetValue(const std::u16string& key, THashObjectBase* object);
  bool OwnsObjects() const { return ownsObjects_; }

 protected:
  THashEntry* NewEntry() override {
    auto* e = new THashObjectEntry;
    e->owns = ownsObjects_;
    return e;
  }

 private:
  bool ownsObjects_;
};

class TIntegerArray : public THash {
 public:
  std::int32_t GetItem(std::int32_t i) const;  // -1 when never set
  void SetItem(std::int32_t i, std::int32_t v);
  void Delete(std::int32_t i) { Remove(IndexKey(i)); }

 protected:
  THashEntry* NewEntry() override { return new THashIntegerEntry; }
};

class TWideStringArray : public THash {
 public:
  std::u16string GetItem(std::int32_t i) const;
  void SetItem(std::int32_t i, const std::u16string& w);

 protected:
  THashEntry* NewEntry() override { return new THashWideStringEntry; }
};

class TBoolArray : public THash {
 public:
  bool GetItem(std::int32_t i) const;
  void SetItem(std::int32_t i, bool b);

 protected:
  THashEntry* NewEntry() override { return new THashBoolEntry; }
};

class TObjectArray : public THashObject {
 public:
  explicit TObjectArray(bool owning = true) : THashObject(owning) {}
  static std::unique_ptr<TObjectArray> CreateOwning() { return std::make_unique<TObjectArray>(true); }
  THashObjectBase* GetItem(std::int32_t i) const { return GetValue(IndexKey(i)); }
  bool Exists(std::int32_t i) const { return THash::Exists(IndexKey(i)); }
  void SetItem(std::int32_t i, THashObjectBase* object) { SetValue(IndexKey(i), object); }
  void Delete(std::int32_t i) { Remove(IndexKey(i)); }
};

}  // namespace xls
