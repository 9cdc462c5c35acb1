// Helpers shared by the in-memory table tests.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "memtable/mem_table.h"

namespace memtable_test {

// A table that lets the tests reach the record-buffer hooks.
class TestTable : public memtable::TmvxMemTable {
 public:
  using TmvxMemTable::TmvxMemTable;
  using TmvxCustomMemTable::AllocRecordBuffer;
  using TmvxCustomMemTable::FreeRecordBuffer;
  using TmvxCustomMemTable::GetRecord;
  using TmvxCustomMemTable::InternalAddRecord;
  using TmvxCustomMemTable::ActiveBuffer;
};

// Appends one record with the given values (strings; an empty text sets null).
template <typename... Values>
void AppendRow(dataset::DataSet& t, const Values&... values) {
  t.Append();
  int i = 0;
  ((values.empty() ? t.GetField(i).Clear() : t.GetField(i).SetAsString(values), ++i), ...);
  t.Post();
}

// Defines the fields Id (an integer) and Name (a text of `width`) on `t`, opens it and appends
// `rows` (id, name).
inline void IdsAndNames(memtable::TmvxMemTable& t, int width,
                        std::initializer_list<std::pair<const char*, const char*>> rows) {
  t.GetFieldDefs().Add("Id", dataset::ftInteger);
  t.GetFieldDefs().Add("Name", dataset::ftString, width);
  t.Open();
  for (const auto& [id, name] : rows) AppendRow(t, std::string(id), std::string(name));
}

// The values of one field over the whole table, walked from the first record.
inline std::string Column(dataset::DataSet& t, const std::string& field) {
  std::string out;
  for (t.First(); !t.Eof(); t.Next()) {
    if (!out.empty()) out += ",";
    dataset::Field& f = t.FieldByName(field);
    out += f.IsNull() ? "null" : f.AsString();
  }
  return out;
}

}  // namespace memtable_test
