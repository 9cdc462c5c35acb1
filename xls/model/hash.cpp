#include "xls/model/hash.h"

#include "xls/model/codepage.h"

namespace xls {

std::uint32_t HashOfKey(const std::u16string& key) { return HashOfKey(key.data(), key.size()); }

std::uint32_t HashOfKey(const char16_t* key, std::size_t length) {
  std::uint32_t h = 0;
  for (std::size_t i = 0; i < length; ++i) h = h * 33u + key[i];
  return h + (h >> 5);
}

std::u16string IndexKey(std::int32_t i) {
  std::string s = std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

THash::THash() { buckets_.assign(mask_ + 1, nullptr); }

THash::~THash() {
  for (THashEntry* head : buckets_) {
    while (head) {
      THashEntry* next = head->next;
      delete head;
      head = next;
    }
  }
}

THashEntry* THash::Find(const std::u16string& key) const {
  std::uint32_t h = HashOf(key);
  for (THashEntry* e = buckets_[h & mask_]; e; e = e->next)
    if (e->hash == h && e->key == key) return e;
  return nullptr;
}

THashEntry* THash::FindOrAdd(const std::u16string& key) {
  if (static_cast<std::uint32_t>(count_) > mask_) Grow(1);
  if (THashEntry* found = Find(key)) return found;
  THashEntry* e = NewEntry();
  if (!e) return nullptr;
  ++count_;
  e->hash = HashOf(key);
  e->key = key;
  THashEntry*& head = buckets_[e->hash & mask_];
  e->next = head;
  head = e;
  return e;
}

void THash::Remove(const std::u16string& key) {
  std::uint32_t h = HashOf(key);
  THashEntry** link = &buckets_[h & mask_];
  while (*link) {
    THashEntry* e = *link;
    if (e->hash == h && e->key == key) {
      *link = e->next;
      delete e;
      --count_;
      return;
    }
    link = &e->next;
  }
}

void THash::Grow(int n) {
  if (n <= 0 || n > 30) return;
  std::uint64_t newCount = static_cast<std::uint64_t>(mask_ + 1) << n;
  if (limit_ != -1 && newCount > static_cast<std::uint64_t>(limit_)) return;
  if (newCount > (1u << 30)) return;
  std::uint32_t oldCount = mask_ + 1;
  mask_ = static_cast<std::uint32_t>(newCount - 1);
  buckets_.resize(static_cast<std::size_t>(newCount), nullptr);
  RedistributeChains(buckets_, oldCount, mask_);
}

std::vector<std::string> THash::GetKeys() const {
  std::vector<std::string> keys;
  keys.reserve(static_cast<std::size_t>(count_));
  for (THashEntry* e : buckets_)
    for (; e; e = e->next) keys.push_back(WideToAnsi(e->key));
  return keys;
}

std::string THashString::GetValue(const std::u16string& key) const {
  auto* e = static_cast<THashStringEntry*>(Find(key));
  return e ? e->value : std::string();
}
void THashString::SetValue(const std::u16string& key, const std::string& s) {
  static_cast<THashStringEntry*>(FindOrAdd(key))->value = s;
}

std::int32_t THashInteger::GetValue(const std::u16string& key) const {
  auto* e = static_cast<THashIntEntry*>(Find(key));
  return e ? e->value : 0;
}
void THashInteger::SetValue(const std::u16string& key, std::int32_t i) {
  static_cast<THashIntEntry*>(FindOrAdd(key))->value = i;
}

void THashBool::SetValue(const std::u16string& key, bool b) {
  static_cast<THashBoolEntry*>(FindOrAdd(key))->value = b;
}

THashObjectBase* THashObject::GetValue(const std::u16string& key) const {
  auto* e = static_cast<THashObjectEntry*>(Find(key));
  return e ? e->object : nullptr;
}
void THashObject::SetValue(const std::u16string& key, THashObjectBase* object) {
  auto* e = static_cast<THashObjectEntry*>(FindOrAdd(key));
  if (e->object != object && e->owns) delete e->object;
  e->object = object;
}

std::int32_t TIntegerArray::GetItem(std::int32_t i) const {
  auto* e = static_cast<THashIntegerEntry*>(Find(IndexKey(i)));
  return e ? e->value : -1;
}
void TIntegerArray::SetItem(std::int32_t i, std::int32_t v) {
  static_cast<THashIntegerEntry*>(FindOrAdd(IndexKey(i)))->value = v;
}

std::u16string TWideStringArray::GetItem(std::int32_t i) const {
  auto* e = static_cast<THashWideStringEntry*>(Find(IndexKey(i)));
  return e ? e->value : std::u16string();
}
void TWideStringArray::SetItem(std::int32_t i, const std::u16string& w) {
  static_cast<THashWideStringEntry*>(FindOrAdd(IndexKey(i)))->value = w;
}

bool TBoolArray::GetItem(std::int32_t i) const {
  auto* e = static_cast<THashBoolEntry*>(Find(IndexKey(i)));
  return e ? e->value : false;
}
void TBoolArray::SetItem(std::int32_t i, bool b) {
  static_cast<THashBoolEntry*>(FindOrAdd(IndexKey(i)))->value = b;
}

}  // namespace xls
