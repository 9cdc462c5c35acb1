// The in-memory table against SQLite's in-memory database, with the same records
// (an integer key, a 20-character text, a float and a date-time): append, building an
// index on the text (beside std::sort over the same texts), locating by an indexed key,
// a filtered walk, and appends, key edits and deletes with indexes kept up to date on
// every change; saving the table to a file and loading it back (SQLite: its backup to and
// from a file); the memory a record takes; locating and editing with a current index
// that is not maintained; loads from a data set that append one record or replace them all
// (time, and the peak of memory beside a load through a stream). Run with 100,000 and
// 1,000,000 records.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "platform/dataset/date_time.h"

using namespace memtable;
using namespace dataset;

namespace {

// Both engines run in one process, one after the other: freed memory is kept and the
// heap grown once before any timing, so that neither pays for fresh pages the other
// one touched first.
const bool kWarmHeap = [] {
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  std::vector<std::unique_ptr<char[]>> blocks;
  for (int i = 0; i < 3000000; ++i) {
    blocks.emplace_back(new char[96]);
    blocks.back()[0] = 1;
  }
  return true;
}();

struct Data {
  std::vector<int> keys;
  std::vector<std::string> texts;
  std::vector<double> values;
  std::vector<double> stamps;  // date-times, and the same as the field stores them
  std::vector<double> stampMs;
  std::vector<int> probes;  // 100,000 keys to locate
};

const Data& GetData(int n) {
  static std::map<int, std::unique_ptr<Data>> cache;
  auto& d = cache[n];
  if (!d) {
    d = std::make_unique<Data>();
    std::mt19937 rng(42);
    for (int i = 0; i < n; ++i) {
      d->keys.push_back(i);
      std::string t(20, ' ');
      for (char& c : t) c = static_cast<char>('a' + rng() % 26);
      d->texts.push_back(t);
      d->values.push_back(static_cast<double>(rng() % 1000000) / 1000.0);
      d->stamps.push_back(EncodeDate(2020, 1, 1) + static_cast<double>(rng() % 100000) / 100.0);
      d->stampMs.push_back(TimeStampToMSecs(DateTimeToTimeStamp(d->stamps.back())));
    }
    for (int i = 0; i < 100000; ++i) d->probes.push_back(static_cast<int>(rng() % static_cast<unsigned>(n)));
  }
  return *d;
}

std::unique_ptr<TmvxMemTable> NewTable() {
  auto t = std::make_unique<TmvxMemTable>();
  t->GetFieldDefs().Add("Key", ftInteger);
  t->GetFieldDefs().Add("Text", ftString, 20);
  t->GetFieldDefs().Add("Value", ftFloat);
  t->GetFieldDefs().Add("Stamp", ftDateTime);
  // Indexes that are built on demand, not kept up while appending.
  t->GetIndexDefs().Add("ByKey", "Key", ixNonMaintained);
  t->GetIndexDefs().Add("ByText", "Text", ixNonMaintained);
  t->Open();
  return t;
}

void Fill(TmvxMemTable& t, const Data& d) {
  Field& key = t.FieldByName("Key");
  Field& text = t.FieldByName("Text");
  Field& value = t.FieldByName("Value");
  Field& stamp = t.FieldByName("Stamp");
  std::vector<char> buf(21);
  for (std::size_t i = 0; i < d.keys.size(); ++i) {
    t.Append();
    std::int32_t k = d.keys[i];
    key.SetData(&k);
    std::copy(d.texts[i].begin(), d.texts[i].end(), buf.begin());
    buf[20] = 0;
    text.SetData(buf.data());
    value.SetData(&d.values[i]);
    stamp.SetData(&d.stampMs[i]);
    t.Post();
  }
}

// A filled table per size, shared by the read benchmarks.
TmvxMemTable& FilledTable(int n) {
  static std::map<int, std::unique_ptr<TmvxMemTable>> cache;
  auto& t = cache[n];
  if (!t) {
    t = NewTable();
    Fill(*t, GetData(n));
  }
  return *t;
}

struct SqliteDb {
  sqlite3* db = nullptr;
  SqliteDb() {
    sqlite3_open(":memory:", &db);
    Exec("CREATE TABLE t(key INTEGER, text TEXT, value REAL, stamp REAL)");
  }
  ~SqliteDb() { sqlite3_close(db); }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  void Fill(const Data& d) {
    Exec("BEGIN");
    sqlite3_stmt* st;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &st, nullptr);
    for (std::size_t i = 0; i < d.keys.size(); ++i) {
      sqlite3_bind_int(st, 1, d.keys[i]);
      sqlite3_bind_text(st, 2, d.texts[i].data(), 20, SQLITE_STATIC);
      sqlite3_bind_double(st, 3, d.values[i]);
      sqlite3_bind_double(st, 4, d.stamps[i]);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec("COMMIT");
  }
};

SqliteDb& FilledDb(int n) {
  static std::map<int, std::unique_ptr<SqliteDb>> cache;
  auto& db = cache[n];
  if (!db) {
    db = std::make_unique<SqliteDb>();
    db->Fill(GetData(n));
    db->Exec("CREATE INDEX by_key ON t(key)");
  }
  return *db;
}

// Every iteration runs `work` on a new object from `make`; making the object, `after` (a check
// of the result) and freeing the object are not timed.
template <typename Make, typename Work, typename After>
void TimeOnFresh(benchmark::State& state, Make make, Work work, After after) {
  for (auto _ : state) {
    state.PauseTiming();
    auto object = make();
    state.ResumeTiming();
    work(*object);
    state.PauseTiming();
    after(*object);
    object.reset();
    state.ResumeTiming();
  }
}

template <typename Make, typename Work>
void TimeOnFresh(benchmark::State& state, Make make, Work work) {
  TimeOnFresh(state, make, work, [](auto&) {});
}

// Appends every record to a new table; a standalone store takes no lock (a store that
// serves tables on one thread only).
void AppendAll(benchmark::State& state, bool standalone) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TimeOnFresh(
      state,
      [standalone] {
        auto t = NewTable();
        if (standalone) {
          t->Close();
          t->SetStandalone(true);
          t->Open();
        }
        return t;
      },
      [&d](TmvxMemTable& t) { Fill(t, d); });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MemTableAppend(benchmark::State& state) { AppendAll(state, false); }

void BM_MemTableAppendStandalone(benchmark::State& state) { AppendAll(state, true); }

void BM_SqliteAppend(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TimeOnFresh(state, [] { return std::make_unique<SqliteDb>(); }, [&d](SqliteDb& db) { db.Fill(d); });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MemTableIndexBuild(benchmark::State& state) {
  TmvxMemTable& t = FilledTable(static_cast<int>(state.range(0)));
  TmvxIndex* index = t.GetIndexes().GetIndexByName("ByText");
  for (auto _ : state) index->Rebuild();
}

void BM_MemTableIndexBuildByCodes(benchmark::State& state) {
  TmvxMemTable& t = FilledTable(static_cast<int>(state.range(0)));
  TmvxIndex index("ByTextCodes", &t, "Text:L", 0, 1, false);
  for (auto _ : state) index.Rebuild();
}

void BM_StdSortTexts(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> keys = d.texts;
    state.ResumeTiming();
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
  }
}

void BM_SqliteIndexBuild(benchmark::State& state) {
  SqliteDb& db = FilledDb(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    db.Exec("CREATE INDEX by_text ON t(text)");
    state.PauseTiming();
    db.Exec("DROP INDEX by_text");
    state.ResumeTiming();
  }
}

void BM_MemTableLocate(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TmvxMemTable& t = FilledTable(static_cast<int>(state.range(0)));
  t.GetIndexes().GetIndexByName("ByKey")->Rebuild();
  t.SetIndexName("ByKey");
  Field& text = t.FieldByName("Text");
  for (auto _ : state) {
    std::size_t found = 0;
    for (int key : d.probes) {
      if (t.Locate("Key", Variant(key), 0)) {
        ++found;
        benchmark::DoNotOptimize(text.AsString());
      }
    }
    if (found != d.probes.size()) state.SkipWithError("a key was not found");
  }
  t.SetIndexName("");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(d.probes.size()));
}

void BM_SqliteLocate(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  SqliteDb& db = FilledDb(static_cast<int>(state.range(0)));
  sqlite3_stmt* st;
  sqlite3_prepare_v2(db.db, "SELECT text FROM t WHERE key = ?", -1, &st, nullptr);
  for (auto _ : state) {
    std::size_t found = 0;
    for (int key : d.probes) {
      sqlite3_bind_int(st, 1, key);
      if (sqlite3_step(st) == SQLITE_ROW) {
        ++found;
        benchmark::DoNotOptimize(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
      }
      sqlite3_reset(st);
    }
    if (found != d.probes.size()) state.SkipWithError("a key was not found");
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(d.probes.size()));
}

void BM_MemTableFilteredWalk(benchmark::State& state) {
  TmvxMemTable& t = FilledTable(static_cast<int>(state.range(0)));
  t.SetFilter("Value > 900.5");
  t.SetFiltered(true);
  Field& text = t.FieldByName("Text");
  for (auto _ : state) {
    std::size_t n = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      benchmark::DoNotOptimize(text.AsString());
      ++n;
    }
    state.counters["rows"] = static_cast<double>(n);
  }
  t.SetFiltered(false);
}

void BM_SqliteFilteredWalk(benchmark::State& state) {
  SqliteDb& db = FilledDb(static_cast<int>(state.range(0)));
  sqlite3_stmt* st;
  sqlite3_prepare_v2(db.db, "SELECT text FROM t WHERE value > 900.5", -1, &st, nullptr);
  for (auto _ : state) {
    std::size_t n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      benchmark::DoNotOptimize(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
      ++n;
    }
    sqlite3_reset(st);
    state.counters["rows"] = static_cast<double>(n);
  }
  sqlite3_finalize(st);
}

// ---- maintained indexes ----
//
// Appending in random key order with an index kept up to date on every post, against
// appending without it and building it afterwards, and against SQLite with the same
// index; then key edits and deletes one record at a time with the indexes kept.

std::unique_ptr<TmvxMemTable> NewMaintainedTable(int indexes) {
  auto t = std::make_unique<TmvxMemTable>();
  t->GetFieldDefs().Add("Key", ftInteger);
  t->GetFieldDefs().Add("Text", ftString, 20);
  t->GetFieldDefs().Add("Value", ftFloat);
  t->GetFieldDefs().Add("Stamp", ftDateTime);
  if (indexes >= 1) t->GetIndexDefs().Add("ByText", "Text", 0);
  if (indexes >= 2) t->GetIndexDefs().Add("ByKey", "Key", 0);
  if (indexes >= 3) t->GetIndexDefs().Add("ByValue", "Value", 0);
  t->Open();
  return t;
}

// The same indexes in SQLite.
std::unique_ptr<SqliteDb> NewIndexedDb(int indexes) {
  auto db = std::make_unique<SqliteDb>();
  if (indexes >= 1) db->Exec("CREATE INDEX by_text ON t(text)");
  if (indexes >= 2) db->Exec("CREATE INDEX by_key ON t(key)");
  if (indexes >= 3) db->Exec("CREATE INDEX by_value ON t(value)");
  return db;
}

// A filled database with its indexes and one statement prepared, for the edits and deletes.
struct ChangedDb {
  std::unique_ptr<SqliteDb> db;
  sqlite3_stmt* st = nullptr;
  ChangedDb(int n, int indexes, const char* sql) : db(NewIndexedDb(indexes)) {
    db->Fill(GetData(n));
    sqlite3_prepare_v2(db->db, sql, -1, &st, nullptr);
  }
  ~ChangedDb() { sqlite3_finalize(st); }
};

void BM_MemTableAppendMaintainedIndex(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TimeOnFresh(state, [] { return NewMaintainedTable(1); }, [&d](TmvxMemTable& t) { Fill(t, d); });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MemTableAppendThenBuildIndex(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TimeOnFresh(state, [] { return NewMaintainedTable(0); }, [&d](TmvxMemTable& t) {
    Fill(t, d);
    TmvxIndex index("ByText", &t, "Text", 0, 1, false);
    index.Rebuild();
  });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SqliteAppendMaintainedIndex(benchmark::State& state) {
  const Data& d = GetData(static_cast<int>(state.range(0)));
  TimeOnFresh(state, [] { return NewIndexedDb(1); }, [&d](SqliteDb& db) { db.Fill(d); });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

constexpr int kChanges = 20000;

// New texts and record numbers for the edits and deletes, the same for both engines.
struct Changes {
  std::vector<std::string> texts;
  std::vector<int> positions;  // 0-based record numbers to edit
  std::vector<int> keys;       // distinct keys to delete
};

const Changes& GetChanges(int n) {
  static std::map<int, std::unique_ptr<Changes>> cache;
  auto& c = cache[n];
  if (!c) {
    c = std::make_unique<Changes>();
    std::mt19937 rng(7);
    for (int i = 0; i < kChanges; ++i) {
      std::string t(20, ' ');
      for (char& ch : t) ch = static_cast<char>('a' + rng() % 26);
      c->texts.push_back(t);
      c->positions.push_back(static_cast<int>(rng() % static_cast<unsigned>(n)));
    }
    std::vector<int> all(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) all[static_cast<std::size_t>(i)] = i;
    std::shuffle(all.begin(), all.end(), rng);
    c->keys.assign(all.begin(), all.begin() + kChanges);
  }
  return *c;
}

void BM_MemTableKeyEdit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Changes& c = GetChanges(n);
  TimeOnFresh(
      state,
      [n] {
        auto t = NewMaintainedTable(1);
        Fill(*t, GetData(n));
        return t;
      },
      [&c](TmvxMemTable& t) {
        Field& text = t.FieldByName("Text");
        for (int i = 0; i < kChanges; ++i) {
          t.SetRecNo(c.positions[static_cast<std::size_t>(i)] + 1);
          t.Edit();
          text.SetData(c.texts[static_cast<std::size_t>(i)].c_str());
          t.Post();
        }
      });
  state.SetItemsProcessed(state.iterations() * kChanges);
}

void BM_SqliteKeyEdit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Changes& c = GetChanges(n);
  TimeOnFresh(
      state, [n] { return std::make_unique<ChangedDb>(n, 1, "UPDATE t SET text = ? WHERE rowid = ?"); },
      [&c](ChangedDb& db) {
        for (int i = 0; i < kChanges; ++i) {
          sqlite3_bind_text(db.st, 1, c.texts[static_cast<std::size_t>(i)].data(), 20, SQLITE_STATIC);
          sqlite3_bind_int(db.st, 2, c.positions[static_cast<std::size_t>(i)] + 1);
          sqlite3_step(db.st);
          sqlite3_reset(db.st);
        }
      });
  state.SetItemsProcessed(state.iterations() * kChanges);
}

void BM_MemTableDeleteThreeIndexes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Changes& c = GetChanges(n);
  TimeOnFresh(
      state,
      [n] {
        auto t = NewMaintainedTable(3);
        Fill(*t, GetData(n));
        t->SetIndexName("ByKey");
        return t;
      },
      [&c](TmvxMemTable& t) {
        for (int key : c.keys) {
          t.Locate("Key", Variant(key), 0);
          t.Delete();
        }
      },
      [&state, n](TmvxMemTable& t) {
        if (t.RecordCount() != n - kChanges) state.SkipWithError("wrong count after the deletes");
      });
  state.SetItemsProcessed(state.iterations() * kChanges);
}

void BM_SqliteDeleteThreeIndexes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Changes& c = GetChanges(n);
  TimeOnFresh(
      state, [n] { return std::make_unique<ChangedDb>(n, 3, "DELETE FROM t WHERE key = ?"); },
      [&c](ChangedDb& db) {
        for (int key : c.keys) {
          sqlite3_bind_int(db.st, 1, key);
          sqlite3_step(db.st);
          sqlite3_reset(db.st);
        }
      });
  state.SetItemsProcessed(state.iterations() * kChanges);
}

// ---- saving and loading ----

void BM_MemTableSaveFile(benchmark::State& state) {
  TmvxMemTable& t = FilledTable(static_cast<int>(state.range(0)));
  const std::string path = bench::TempFile("_table.kvmt");
  TmvxBinaryStreamFormat format;
  for (auto _ : state) t.SaveFileThroughFormat(path, &format);
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MemTableLoadFile(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string path = bench::TempFile("_table.kvmt");
  TmvxBinaryStreamFormat format;
  FilledTable(n).SaveFileThroughFormat(path, &format);
  TimeOnFresh(
      state, [] { return NewTable(); }, [&](TmvxMemTable& t) { t.LoadFileThroughFormat(path, &format); },
      [&](TmvxMemTable& t) {
        if (t.RecordCount() != n) state.SkipWithError("wrong count after the load");
      });
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// SQLite's own way to a file and back: its backup between the in-memory database and a file.
void Backup(sqlite3* from, sqlite3* to) {
  sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
  sqlite3_backup_step(b, -1);
  sqlite3_backup_finish(b);
}

void BM_SqliteSaveFile(benchmark::State& state) {
  SqliteDb& db = FilledDb(static_cast<int>(state.range(0)));
  const std::string path = bench::TempFile("_table.sqlite");
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(path.c_str());
    state.ResumeTiming();
    sqlite3* file = nullptr;
    sqlite3_open(path.c_str(), &file);
    Backup(db.db, file);
    sqlite3_close(file);
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SqliteLoadFile(benchmark::State& state) {
  const std::string path = bench::TempFile("_table.sqlite");
  std::remove(path.c_str());
  {
    sqlite3* file = nullptr;
    sqlite3_open(path.c_str(), &file);
    Backup(FilledDb(static_cast<int>(state.range(0))).db, file);
    sqlite3_close(file);
  }
  TimeOnFresh(state, [] { return std::make_unique<SqliteDb>(); }, [&](SqliteDb& db) {
    sqlite3* file = nullptr;
    sqlite3_open(path.c_str(), &file);
    Backup(file, db.db);
    sqlite3_close(file);
  });
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// ---- memory ----
//
// The rise of the peak resident size over filling a new table (the benchmark's table, its
// indexes not built) or a new SQLite database (no index), per record.

void BM_MemTableMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const long rise = bench::PeakRiseInChild([n] { GetData(n); }, [n] {
      auto t = NewTable();
      Fill(*t, GetData(n));
      return t->RecordCount() == n;
    });
    if (rise < 0) state.SkipWithError("the measuring child failed");
    state.counters["bytes_per_record"] = static_cast<double>(rise) / n;
  }
}

void BM_SqliteMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const long rise = bench::PeakRiseInChild([n] { GetData(n); }, [n] {
      SqliteDb db;
      db.Fill(GetData(n));
      return true;
    });
    if (rise < 0) state.SkipWithError("the measuring child failed");
    state.counters["bytes_per_record"] = static_cast<double>(rise) / n;
  }
}

// ---- a current index that is not maintained ----
//
// Locate by the key of the current, non-maintained index and edit the record: another
// field (the index stays in order), or the key itself (the index falls out of order and is
// scanned until it is chosen again). Time per locate and edit.

constexpr int kUnmaintainedEdits = 200;

void LocateAndEdit(benchmark::State& state, bool key) {
  const int n = static_cast<int>(state.range(0));
  const Data& d = GetData(n);
  TimeOnFresh(
      state,
      [n] {
        auto t = NewTable();
        Fill(*t, GetData(n));
        t->SetIndexName("ByKey");
        return t;
      },
      [&](TmvxMemTable& t) {
        Field& edited = t.FieldByName(key ? "Key" : "Value");
        for (int i = 0; i < kUnmaintainedEdits; ++i) {
          const int probe = d.probes[static_cast<std::size_t>(i)];
          if (!t.Locate("Key", Variant(probe), 0)) {
            state.SkipWithError("a key was not found");
            return;
          }
          t.Edit();
          // A new key leaves the range of the others, so that every probe finds its record.
          if (key)
            edited.SetAsInteger(n + i);
          else
            edited.SetAsFloat(i * 0.5);
          t.Post();
        }
      });
  state.SetItemsProcessed(state.iterations() * kUnmaintainedEdits);
}

void BM_MemTableUnmaintainedLocateEditValue(benchmark::State& state) { LocateAndEdit(state, false); }
void BM_MemTableUnmaintainedLocateEditKey(benchmark::State& state) { LocateAndEdit(state, true); }

void BM_SqliteLocateEditValue(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Data& d = GetData(n);
  TimeOnFresh(
      state, [n] { return std::make_unique<ChangedDb>(n, 2, "UPDATE t SET value = ? WHERE key = ?"); },
      [&](ChangedDb& db) {
        for (int i = 0; i < kUnmaintainedEdits; ++i) {
          sqlite3_bind_double(db.st, 1, i * 0.5);
          sqlite3_bind_int(db.st, 2, d.probes[static_cast<std::size_t>(i)]);
          sqlite3_step(db.st);
          sqlite3_reset(db.st);
        }
      });
  state.SetItemsProcessed(state.iterations() * kUnmaintainedEdits);
}

// ---- loads from a data set ----
//
// An appending load of one record into a table of n records with a unique index, time per
// load (the record is searched in the indexes: the time hardly grows with n); and the rise of
// the peak resident size over a load that puts n records in place of n others, from a data set
// and through a stream, per record. Both bring the same records; what the load from a data set
// takes beyond the stream's is its bookkeeping.

std::unique_ptr<TmvxMemTable> KeyedTable(int n, int first) {
  auto t = std::make_unique<TmvxMemTable>();
  t->GetFieldDefs().Add("Id", ftInteger);
  t->GetFieldDefs().Add("Name", ftString, 12);
  t->GetIndexDefs().Add("ById", "Id", ixUnique);
  t->Open();
  Field& id = t->FieldByName("Id");
  Field& name = t->FieldByName("Name");
  for (int i = 0; i < n; ++i) {
    t->Append();
    id.SetAsInteger(first + i);
    name.SetAsString("n" + std::to_string(i));
    t->Post();
  }
  return t;
}

void BM_MemTableAppendingLoadOne(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto t = KeyedTable(n, 0);
  auto one = KeyedTable(0, 0);
  int next = n;
  for (auto _ : state) {
    state.PauseTiming();
    one->EmptyTable();
    one->Append();
    one->FieldByName("Id").SetAsInteger(next++);
    one->Post();
    state.ResumeTiming();
    t->LoadRecordsFrom(*one, TmvxCustomMemTable::mtcpoAppend);
  }
  if (t->RecordCount() != next) state.SkipWithError("wrong count after the loads");
}

void LoadPeak(benchmark::State& state, bool stream) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::unique_ptr<TmvxMemTable> t, source;
    platform::MemoryStream bytes;
    TmvxBinaryStreamFormat format;
    const long rise = bench::PeakRiseInChild(
        [&] {
          t = KeyedTable(n, 0);
          source = KeyedTable(n, n);
          if (!stream) return;
          source->SaveThroughFormat(bytes, &format);
          source.reset();
          bytes.Seek(0, platform::SeekOrigin::Begin);
        },
        [&] {
          if (stream)
            t->LoadThroughFormat(bytes, &format);
          else
            t->LoadRecordsFrom(*source, 0);
          return t->RecordCount() == n;
        });
    if (rise < 0) state.SkipWithError("the measuring child failed");
    state.counters["peak_MB"] = static_cast<double>(rise) / 1e6;
    state.counters["bytes_per_record"] = static_cast<double>(rise) / n;
  }
}

void BM_MemTableReplacingLoadPeak(benchmark::State& state) { LoadPeak(state, false); }
void BM_MemTableStreamLoadPeak(benchmark::State& state) { LoadPeak(state, true); }

#define SIZES ->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3)
#define ONCE ->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1)

BENCHMARK(BM_MemTableAppend) SIZES;
BENCHMARK(BM_MemTableAppendStandalone) SIZES;
BENCHMARK(BM_SqliteAppend) SIZES;
BENCHMARK(BM_MemTableIndexBuild) SIZES;
BENCHMARK(BM_MemTableIndexBuildByCodes) SIZES;
BENCHMARK(BM_StdSortTexts) SIZES;
BENCHMARK(BM_SqliteIndexBuild) SIZES;
BENCHMARK(BM_MemTableLocate) SIZES;
BENCHMARK(BM_SqliteLocate) SIZES;
BENCHMARK(BM_MemTableFilteredWalk) SIZES;
BENCHMARK(BM_SqliteFilteredWalk) SIZES;
BENCHMARK(BM_MemTableAppendMaintainedIndex) ONCE;
BENCHMARK(BM_MemTableAppendThenBuildIndex) ONCE;
BENCHMARK(BM_SqliteAppendMaintainedIndex) ONCE;
BENCHMARK(BM_MemTableKeyEdit) ONCE;
BENCHMARK(BM_SqliteKeyEdit) ONCE;
BENCHMARK(BM_MemTableDeleteThreeIndexes) ONCE;
BENCHMARK(BM_SqliteDeleteThreeIndexes) ONCE;
BENCHMARK(BM_MemTableSaveFile) SIZES;
BENCHMARK(BM_SqliteSaveFile) SIZES;
BENCHMARK(BM_MemTableLoadFile) SIZES;
BENCHMARK(BM_SqliteLoadFile) SIZES;
BENCHMARK(BM_MemTableMemory) ONCE;
BENCHMARK(BM_SqliteMemory) ONCE;
BENCHMARK(BM_MemTableUnmaintainedLocateEditValue) ONCE;
BENCHMARK(BM_MemTableUnmaintainedLocateEditKey) ONCE;
BENCHMARK(BM_SqliteLocateEditValue) ONCE;
BENCHMARK(BM_MemTableAppendingLoadOne)->Arg(10000)->Arg(100000)->Arg(400000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemTableReplacingLoadPeak) ONCE;
BENCHMARK(BM_MemTableStreamLoadPeak) ONCE;

}  // namespace
