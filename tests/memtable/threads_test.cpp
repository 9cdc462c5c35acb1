// Tables attached to one store, each used by its own thread, append, edit, delete, load
// (appending and replacing, from a data set and through a stream) and walk at once, with the
// refresh of the other tables on and off. Afterwards every record is in the store once and in
// every index of every table, nothing was refused that repeated no key, and nothing posted is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;

namespace {

constexpr int kSteps = 150;
// Keys: thread i posts i * kBand + n and loads i * kBand + kLoaded + n; a replacing load of
// generation g brings kGenerations + g * 100 + n. No key is ever used twice.
constexpr int kBand = 1000000, kLoaded = 500000, kGenerations = 9000000, kGenerationSize = 20;

struct Kept {
  std::string name;
  std::int32_t unique;  // the store's unique number of the record (from a bookmark); -1 when not known
};

std::int32_t UniqueOf(TmvxMemTable& t) {
  const Bookmark b = t.GetBookmark();
  std::int32_t unique = -1;
  if (b.size() >= 8) std::memcpy(&unique, b.data() + 4, 4);
  return unique;
}

struct Stress {
  const int threads;
  const bool refresh, replace;
  std::vector<std::unique_ptr<TmvxMemTable>> tables;
  std::vector<std::map<int, Kept>> kept;
  std::mutex generationsLock;
  std::map<std::int32_t, int> generationAt;  // first unique number of a replacing load -> generation
  std::atomic<int> nextGeneration{0};

  Stress(int n, bool autoRefresh, bool replacing) : threads(n), refresh(autoRefresh), replace(replacing), kept(n) {
    for (int i = 0; i < n; ++i) {
      auto& t = tables.emplace_back(std::make_unique<TmvxMemTable>("t" + std::to_string(i)));
      if (i == 0) t->SetAttachMaxCount(n);
      if (i > 0) t->SetAttachedTo(tables[0].get());
      t->GetIndexDefs().Add("ById", "Id", ixUnique);
      t->GetIndexDefs().Add("ByName", "Name");
      t->AttachedAutoRefresh = autoRefresh;
    }
    memtable_test::IdsAndNames(*tables[0], 12, {});
    for (auto& t : tables) {
      t->Open();
      t->SetIndexName("ById");
    }
  }

  void Work(int i) {
    TmvxMemTable& t = *tables[static_cast<std::size_t>(i)];
    std::map<int, Kept>& mine = kept[static_cast<std::size_t>(i)];
    std::mt19937 rng(static_cast<unsigned>(i * 7 + threads * 3 + refresh + 2 * replace));
    TmvxMemTable source;
    memtable_test::IdsAndNames(source, 12, {});
    auto fill = [&](int first, int count, const std::string& name) {
      source.EmptyTable();
      for (int n = 0; n < count; ++n) AppendRow(source, std::to_string(first + n), name);
    };
    TmvxBinaryStreamFormat format;
    int posted = 0, loaded = 0;
    for (int step = 0; step < kSteps; ++step) {
      const unsigned what = rng() % 100;
      const std::string name = "s" + std::to_string(step);
      try {
        if (what < 40) {
          const int id = i * kBand + posted++;
          AppendRow(t, std::to_string(id), name);
          mine[id] = {name, UniqueOf(t)};
        } else if (what < 65 && !mine.empty()) {
          const int id = std::next(mine.begin(), static_cast<long>(rng() % mine.size()))->first;
          if (!t.Locate("Id", Variant(id), 0)) {  // only a replacing load takes a record away
            ASSERT_TRUE(replace) << "lost " << id;
            mine.erase(id);
            continue;
          }
          ASSERT_EQ(t.FieldByName("Id").AsInteger(), id);
          if (what < 55) {
            t.Edit();
            t.FieldByName("Name").SetAsString(name);
            t.Post();
            mine[id].name = name;
          } else {
            t.Delete();
            mine.erase(id);
          }
        } else if (what < 75) {
          const int first = i * kBand + kLoaded + loaded, count = 1 + static_cast<int>(rng() % 5);
          loaded += count;
          fill(first, count, name);
          t.LoadRecordsFrom(source, TmvxCustomMemTable::mtcpoAppend);
          for (int id = first; id < first + count; ++id) mine[id] = {name, -1};
        } else if (what < 82 && replace) {
          const int generation = nextGeneration++;
          fill(kGenerations + generation * 100, kGenerationSize, "g" + std::to_string(generation));
          if (generation % 2) {
            t.LoadRecordsFrom(source, 0);
          } else {
            platform::MemoryStream stream;
            source.SaveThroughFormat(stream, &format);
            stream.Seek(0, platform::SeekOrigin::Begin);
            t.LoadThroughFormat(stream, &format);
          }
          // Unless another replacing load came meanwhile, the table stands on the first record
          // it brought, in row order: the store numbered them from there.
          t.SetIndexName("");
          t.First();
          if (t.FieldByName("Id").AsInteger() == kGenerations + generation * 100) {
            std::lock_guard<std::mutex> g(generationsLock);
            generationAt[UniqueOf(t)] = generation;
          }
          t.SetIndexName("ById");
        } else {
          // A walk in key order steps upwards, whatever the others do.
          std::int64_t last = -1;
          int n = 0;
          for (t.First(); !t.Eof() && n < 60; t.Next(), ++n) {
            const std::int64_t id = t.FieldByName("Id").AsInteger();
            ASSERT_GT(id, last);
            last = id;
          }
        }
      } catch (const EMemTableDupKey& e) {
        FAIL() << "thread " << i << " refused a key no record holds: " << e.what();
      } catch (const EDatabaseError& e) {
        // The record being changed went away with a replacing load meanwhile.
        ASSERT_TRUE(replace) << "thread " << i << ": " << e.what();
        t.Cancel();
      }
    }
  }

  void Check() {
    // The store's records, read from the store itself: each key once.
    std::map<int, std::string> stored;
    TmvxMemTable& t0 = *tables[0];
    for (PmvxRecord r : t0.Common().Records()) {
      if (!r) continue;
      std::int32_t id;
      std::memcpy(&id, t0.Common().FieldPointer(r, &t0.FieldByName("Id")) + 1, 4);
      const auto* name = reinterpret_cast<const char*>(t0.Common().FieldPointer(r, &t0.FieldByName("Name")) + 1);
      EXPECT_TRUE(stored.emplace(id, name).second) << "key " << id << " twice";
    }
    // Every index of every table holds every record once, ById in key order.
    for (auto& t : tables)
      for (const std::string index : {"", "ById", "ByName"}) {
        t->SetIndexName(index);
        std::map<int, std::string> seen;
        std::int64_t last = -1;
        for (t->First(); !t->Eof(); t->Next()) {
          const int id = static_cast<int>(t->FieldByName("Id").AsInteger());
          EXPECT_TRUE(seen.emplace(id, t->FieldByName("Name").AsString()).second) << t->Name() << " " << index;
          if (index == "ById") {
            EXPECT_GT(id, last);
          }
          last = id;
        }
        EXPECT_EQ(seen, stored) << t->Name() << " " << index;
      }
    // What the threads kept: all of it, when nothing replaced the records; otherwise what
    // they posted after the last replacing load, beside that load's records.
    std::map<int, std::string> expected;
    std::set<int> unsure;  // loaded while another thread may have replaced them
    std::int32_t since = -1;
    if (replace && !generationAt.empty()) {
      const auto& [at, generation] = *generationAt.rbegin();
      since = at;
      for (int n = 0; n < kGenerationSize; ++n) expected[kGenerations + generation * 100 + n] = "g" + std::to_string(generation);
    }
    for (const auto& mine : kept)
      for (const auto& [id, k] : mine) {
        if (!replace || k.unique > since + kGenerationSize - 1)
          expected[id] = k.name;
        else if (k.unique < 0)
          unsure.insert(id);
      }
    std::map<int, std::string> sure = stored;
    for (int id : unsure) sure.erase(id);
    EXPECT_EQ(sure, expected);
  }
};

}  // namespace

TEST(StoreThreads, TablesOnOneStoreKeepEveryRecordOnceInEveryIndex) {
  for (int threads = 2; threads <= 4; ++threads)
    for (bool refresh : {true, false})
      for (bool replace : {false, true}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, refresh " + (refresh ? "on" : "off") +
                     (replace ? ", replacing loads" : ""));
        Stress run(threads, refresh, replace);
        std::vector<std::thread> workers;
        for (int i = 0; i < threads; ++i) workers.emplace_back([&run, i] { run.Work(i); });
        for (std::thread& w : workers) w.join();
        run.Check();
      }
}
