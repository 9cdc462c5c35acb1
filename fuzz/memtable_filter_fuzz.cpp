// Filter texts and LIKE masks typed by a user: parsed and evaluated on a small table.
// Any failure must be one of the table's or the framework's errors, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/dataset/mask.h"
#include "memtable/mem_table.h"

namespace {

memtable::TmvxMemTable& Table() {
  static memtable::TmvxMemTable* table = [] {
    auto* t = new memtable::TmvxMemTable;
    t->GetFieldDefs().Add("I", dataset::ftInteger);
    t->GetFieldDefs().Add("S", dataset::ftString, 12);
    t->GetFieldDefs().Add("F", dataset::ftFloat);
    t->GetFieldDefs().Add("D", dataset::ftDate);
    t->Open();
    const char* texts[] = {"abc", "ABD", "", "x y"};
    for (int i = 0; i < 4; ++i) {
      t->Append();
      t->FieldByName("I").SetAsInteger(i - 1);
      if (i != 2) t->FieldByName("S").SetAsString(texts[i]);
      t->FieldByName("F").SetAsFloat(i * 0.5);
      t->FieldByName("D").SetAsString("2024-01-0" + std::to_string(i + 1));
      t->Post();
    }
    return t;
  }();
  return *table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  memtable::TmvxMemTable& t = Table();
  try {
    t.SetFilterOptions(size % 2 ? dataset::foCaseInsensitive : 0u);
    t.SetFilter(text);
    t.SetFiltered(true);
    for (t.First(); !t.Eof(); t.Next()) {
    }
  } catch (const dataset::EDatabaseError&) {
  } catch (const dataset::VariantError&) {
  }
  t.SetFiltered(false);
  try {
    dataset::MatchesMask("abcABC", text);
  } catch (const dataset::MaskError&) {
  }
  return 0;
}
