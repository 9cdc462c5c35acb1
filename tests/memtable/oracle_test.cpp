// Orders and filtered record sets of random tables checked against SQLite, and LIKE
// masks against Python's fnmatch.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "platform/dataset/mask.h"
#include "memtable/mem_table.h"

using namespace memtable;
using namespace dataset;

namespace {

struct Row {
  int id;
  std::optional<int> i;
  std::optional<double> f;
  std::optional<std::string> s, s2;
};

// Text alphabet: '_' lies between the upper and lower case letters, so folding to
// lower and folding to upper case give different orders.
const char kAlphabet[] = "aAbBcZz_0";

class Sql {
 public:
  Sql() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, i INTEGER, f REAL, s TEXT, s2 TEXT)");
  }
  ~Sql() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << (err ? err : "");
      sqlite3_free(err);
    }
  }
  void Put(const Row& r) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO t VALUES(?,?,?,?,?)", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, r.id);
    if (r.i) sqlite3_bind_int(st, 2, *r.i);
    else sqlite3_bind_null(st, 2);
    if (r.f) sqlite3_bind_double(st, 3, *r.f); else sqlite3_bind_null(st, 3);
    if (r.s) sqlite3_bind_text(st, 4, r.s->c_str(), -1, SQLITE_TRANSIENT); else sqlite3_bind_null(st, 4);
    if (r.s2) sqlite3_bind_text(st, 5, r.s2->c_str(), -1, SQLITE_TRANSIENT); else sqlite3_bind_null(st, 5);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
  }
  // Each result row as its columns joined by "|", nulls as "N".
  std::vector<std::string> Query(const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string line;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) line += "|";
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL: line += "N"; break;
          case SQLITE_INTEGER: line += std::to_string(sqlite3_column_int64(st, c)); break;
          case SQLITE_FLOAT: line += Variant(sqlite3_column_double(st, c)).ToString(); break;
          default: line += reinterpret_cast<const char*>(sqlite3_column_text(st, c)); break;
        }
      }
      out.push_back(line);
    }
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

class OracleTest : public ::testing::Test {
 protected:
  void MakeTable() {
    t.GetFieldDefs().Add("Id", ftInteger);
    t.GetFieldDefs().Add("I", ftInteger);
    t.GetFieldDefs().Add("F", ftFloat);
    t.GetFieldDefs().Add("S", ftString, 8);
    t.GetFieldDefs().Add("S2", ftString, 8);
  }
  std::string RandomText() {
    std::string s;
    int n = static_cast<int>(rng() % 5);
    for (int k = 0; k < n; ++k) s += kAlphabet[rng() % (sizeof kAlphabet - 1)];
    return s;
  }
  Row RandomRow(int id) {
    Row r{id, {}, {}, {}, {}};
    if (rng() % 10) r.i = static_cast<int>(rng() % 21) - 10;
    if (rng() % 10) r.f = (static_cast<int>(rng() % 41) - 20) * 0.25;
    if (rng() % 10) r.s = RandomText();
    if (rng() % 10) r.s2 = RandomText();
    return r;
  }
  void Write(const Row& r) {
    t.FieldByName("Id").SetAsInteger(r.id);
    r.i ? t.FieldByName("I").SetAsInteger(*r.i) : t.FieldByName("I").Clear();
    r.f ? t.FieldByName("F").SetAsFloat(*r.f) : t.FieldByName("F").Clear();
    r.s ? t.FieldByName("S").SetAsString(*r.s) : t.FieldByName("S").Clear();
    r.s2 ? t.FieldByName("S2").SetAsString(*r.s2) : t.FieldByName("S2").Clear();
  }
  void Append(const Row& r) {
    t.Append();
    Write(r);
    t.Post();
    sql.Put(r);
  }
  std::string Value(const char* field, bool fold) {
    Field& f = t.FieldByName(field);
    if (f.IsNull()) return "N";
    std::string v = f.AsString();
    if (fold)
      for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return v;
  }
  std::mt19937 rng{12345};
  TmvxMemTable t;
  Sql sql;
};

struct KeyPart {
  const char* field;  // our field; the SQL column is its lower-case name
  bool desc;
  bool nocase;
  bool locale;  // through our collation rather than by character codes
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST_F(OracleTest, IndexOrdersMatchOrderBy) {
  const char* fields[] = {"I", "F", "S", "S2"};
  int checked = 0;
  for (int round = 0; round < 12; ++round) {
    t.Close();
    t.GetFieldDefs().Clear();
    t.GetIndexDefs().Clear();
    MakeTable();
    sql.Exec("DELETE FROM t");
    // Random index definitions: one to three fields, each ascending or descending,
    // texts by character codes or without regard to case.
    std::vector<std::vector<KeyPart>> orders;
    for (int k = 0; k < 8; ++k) {
      std::vector<KeyPart> order;
      int n = 1 + static_cast<int>(rng() % 3);
      for (int p = 0; p < n; ++p) {
        const char* f = fields[rng() % 4];
        bool text = f[0] == 'S';
        bool nocase = text && rng() % 2;
        order.push_back({f, rng() % 2 == 0, nocase, nocase && rng() % 2});
      }
      std::string def;
      for (const KeyPart& p : order) {
        def += (def.empty() ? "" : ";") + std::string(p.field) + ":";
        if (p.desc) def += "D";
        if (p.nocase) def += "C";
        if (!p.locale) def += "L";
      }
      t.GetIndexDefs().Add("X" + std::to_string(k), def);
      orders.push_back(order);
    }
    t.Open();
    int rows = 150 + static_cast<int>(rng() % 150);
    for (int id = 1; id <= rows; ++id) Append(RandomRow(id));

    auto compare = [&](const char* stage) {
      for (std::size_t k = 0; k < orders.size(); ++k) {
        std::string order, cols;
        for (const KeyPart& p : orders[k]) {
          std::string col = Lower(p.field);
          std::string coll = p.nocase ? " COLLATE NOCASE" : " COLLATE BINARY";
          if (p.desc) order += col + " IS NULL DESC, ";
          order += col + coll + (p.desc ? " DESC, " : ", ");
          cols += (cols.empty() ? "" : ", ") + (p.nocase ? "lower(" + col + ")" : col);
        }
        std::vector<std::string> expected =
            sql.Query("SELECT " + cols + " FROM t ORDER BY " + order.substr(0, order.size() - 2));
        t.SetIndexName("X" + std::to_string(k));
        std::vector<std::string> got;
        for (t.First(); !t.Eof(); t.Next()) {
          std::string line;
          for (std::size_t p = 0; p < orders[k].size(); ++p)
            line += (p ? "|" : "") + Value(orders[k][p].field, orders[k][p].nocase);
          got.push_back(line);
        }
        ASSERT_EQ(got.size(), expected.size()) << stage;
        for (std::size_t r = 0; r < got.size(); ++r)
          ASSERT_EQ(got[r], expected[r]) << stage << ", index " << t.GetIndexDefs()[static_cast<int>(k)].Fields
                                         << ", row " << r << " after " << (r ? got[r - 1] : "-");
        ++checked;
      }
      t.SetIndexName("");
    };
    compare("maintained while appending");
    t.GetIndexes().RebuildAll();
    compare("rebuilt");

    // Edits and deletes, kept up to date in every index.
    for (int n = 0; n < rows / 5; ++n) {
      int id = 1 + static_cast<int>(rng() % rows);
      if (!t.Locate("Id", Variant(id), 0)) continue;
      if (rng() % 3 == 0) {
        t.Delete();
        sql.Exec("DELETE FROM t WHERE id = " + std::to_string(id));
      } else {
        Row r = RandomRow(id);
        t.Edit();
        Write(r);
        t.Post();
        sql.Put(r);
      }
    }
    for (int id = rows + 1; id <= rows + 20; ++id) Append(RandomRow(id));
    compare("after edits and deletes");
  }
  EXPECT_EQ(checked, 12 * 8 * 3);
}

namespace {

// A random filter, as our filter text and as the SQL condition that means the same.
struct Condition {
  std::string ours, sql;
};

class FilterGen {
 public:
  FilterGen(std::mt19937& rng, bool caseInsensitive) : rng_(rng), ci_(caseInsensitive) {}

  Condition Make(int depth) {
    if (depth <= 0 || rng_() % 3 == 0) return Atom();
    switch (rng_() % 3) {
      case 0: {
        Condition a = Make(depth - 1), b = Make(depth - 1);
        return {"(" + a.ours + ") AND (" + b.ours + ")", "(" + a.sql + ") AND (" + b.sql + ")"};
      }
      case 1: {
        Condition a = Make(depth - 1), b = Make(depth - 1);
        return {"(" + a.ours + ") OR (" + b.ours + ")", "(" + a.sql + ") OR (" + b.sql + ")"};
      }
      default: {
        Condition a = Make(depth - 1);
        return {"NOT (" + a.ours + ")", "NOT (" + a.sql + ")"};
      }
    }
  }

 private:
  std::string Op() {
    static const char* const kOps[] = {"=", "<>", "<", ">", "<=", ">="};
    return kOps[rng_() % 6];
  }
  std::string Int() { return std::to_string(static_cast<int>(rng_() % 25) - 12); }
  std::string Float() {
    int q = static_cast<int>(rng_() % 81) - 40;
    return Variant(q * 0.25).ToString();
  }
  std::string Text(bool star = false) {
    std::string s;
    int n = static_cast<int>(rng_() % 3);
    for (int k = 0; k < n; ++k) s += kAlphabet[rng_() % (sizeof kAlphabet - 1)];
    if (star) s += "*";
    return s;
  }
  static std::string Quote(const std::string& s) { return "'" + s + "'"; }
  static Condition Wrap(const std::string& ours, const std::string& sql) { return {ours, "COALESCE(" + sql + ", 0)"}; }

  Condition TextCompare(const std::string& ourLeft, const std::string& sqlLeft) {
    std::string op = Op();
    bool equality = op == "=" || op == "<>";
    if (equality && rng_() % 3 == 0) {
      // Partial comparison: a trailing "*" compares only the characters before it.
      std::string text = Text(true);
      std::size_t n = text.size() - 1;
      std::string core = text.substr(0, n);
      std::string l = n ? "substr(" + sqlLeft + ", 1, " + std::to_string(n) + ")" : "''";
      std::string r = Quote(core);
      if (ci_) {
        l = "upper(" + l + ")";
        r = "upper(" + r + ")";
      }
      if (n == 0) {  // "*" alone is an ordinary character
        if (ci_) return Wrap(ourLeft + " " + op + " '*'", "upper(" + sqlLeft + ") " + op + " '*'");
        return Wrap(ourLeft + " " + op + " '*'", sqlLeft + " " + op + " '*'");
      }
      return Wrap(ourLeft + " " + op + " " + Quote(text), l + " " + op + " " + r);
    }
    std::string text = Text();
    if (equality && ci_) return Wrap(ourLeft + " " + op + " " + Quote(text), "upper(" + sqlLeft + ") " + op + " upper(" + Quote(text) + ")");
    return Wrap(ourLeft + " " + op + " " + Quote(text), sqlLeft + " " + op + " " + Quote(text));
  }

  Condition Atom() {
    switch (rng_() % 12) {
      case 0: { std::string o = Op(), c = Int(); return Wrap("I " + o + " " + c, "i " + o + " " + c); }
      case 1: { std::string o = Op(), c = Float(); return Wrap("F " + o + " " + c, "f " + o + " " + c); }
      case 2: return TextCompare("S", "s");
      case 3: return TextCompare("S2", "s2");
      case 4: {
        const char* f = rng_() % 2 ? "S" : "I";
        bool neg = rng_() % 2;
        return {std::string(f) + (neg ? " IS NOT NULL" : " IS NULL"), Lower(f) + (neg ? " IS NOT NULL" : " IS NULL")};
      }
      case 5: {
        // An IN list stops at its first null element.
        std::string ours = "I IN (", sql;
        int n = 1 + static_cast<int>(rng_() % 6);
        bool stopped = false;
        for (int k = 0; k < n; ++k) {
          bool null = rng_() % 8 == 0;
          std::string v = null ? "NULL" : Int();
          ours += (k ? ", " : "") + v;
          if (null) stopped = true;
          if (!stopped) sql += (sql.empty() ? "" : ", ") + v;
        }
        if (sql.empty()) return {ours + ")", "0"};
        return Wrap(ours + ")", "i IN (" + sql + ")");
      }
      case 6: { std::string o = Op(), c = Float(); return Wrap("I + F " + o + " " + c, "i + f " + o + " " + c); }
      case 7: { std::string o = Op(), c = Int(); return Wrap("I * 2 - 3 " + o + " " + c, "i * 2 - 3 " + o + " " + c); }
      case 8: { std::string o = Op(), c = Float(); return Wrap("F / 2 " + o + " " + c, "f / 2.0 " + o + " " + c); }
      case 9: { std::string o = Op(), c = Int(); return Wrap("-I " + o + " " + c, "-i " + o + " " + c); }
      case 10: return TextCompare("UPPER(S)", "upper(s)");
      default: return TextCompare("S + S2", "(s || s2)");
    }
  }

  std::mt19937& rng_;
  bool ci_;
};

}  // namespace

TEST_F(OracleTest, FilteredRecordSetsMatchWhere) {
  MakeTable();
  t.Open();
  for (int id = 1; id <= 250; ++id) Append(RandomRow(id));
  int checked = 0;
  for (int n = 0; n < 2500; ++n) {
    bool ci = rng() % 3 == 0;
    FilterGen gen(rng, ci);
    Condition c = gen.Make(3);
    t.SetFilterOptions(ci ? static_cast<FilterOptions>(foCaseInsensitive) : 0u);
    t.SetFilter(c.ours);
    t.SetFiltered(true);
    std::vector<std::string> got;
    for (t.First(); !t.Eof(); t.Next()) got.push_back(t.FieldByName("Id").AsString());
    t.SetFiltered(false);
    std::vector<std::string> expected = sql.Query("SELECT id FROM t WHERE " + c.sql + " ORDER BY id");
    ASSERT_EQ(got, expected) << c.ours << "\n" << c.sql;
    ++checked;
  }
  EXPECT_EQ(checked, 2500);
}

TEST(MaskOracle, LikeMatchesPythonFnmatchOnUpperCasedText) {
  std::mt19937 rng(777);
  const char letters[] = "abAB.c";
  std::vector<std::pair<std::string, std::string>> cases;
  for (int n = 0; n < 3000; ++n) {
    std::string text, mask;
    int tl = static_cast<int>(rng() % 7);
    for (int k = 0; k < tl; ++k) text += letters[rng() % (sizeof letters - 1)];
    int ml = static_cast<int>(rng() % 5);
    for (int k = 0; k < ml; ++k) {
      switch (rng() % 7) {
        case 0: mask += "*"; break;
        case 1: mask += "?"; break;
        case 2: mask += "[a-b]"; break;
        case 3: mask += "[!a]"; break;
        case 4: mask += "[AC.]"; break;
        default: mask += letters[rng() % (sizeof letters - 1)]; break;
      }
    }
    cases.emplace_back(text, mask);
  }
  std::string path = std::string(KV_BINARY_DIR) + "/memtable_mask_cases.txt";
  {
    std::ofstream out(path);
    for (auto& c : cases) out << c.first << "\t" << c.second << "\n";
  }
  std::string script =
      "import fnmatch,sys\n"
      "for line in open(sys.argv[1]):\n"
      "    t, m = line.rstrip('\\n').split('\\t')\n"
      "    print(1 if fnmatch.fnmatchcase(t.upper(), m.upper()) else 0)\n";
  std::string scriptPath = std::string(KV_BINARY_DIR) + "/memtable_mask_check.py";
  {
    std::ofstream out(scriptPath);
    out << script;
  }
  FILE* p = popen(("/usr/bin/python3 " + scriptPath + " " + path).c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string answers;
  char buf[4096];
  std::size_t got;
  while ((got = fread(buf, 1, sizeof buf, p)) > 0) answers.append(buf, got);
  ASSERT_EQ(pclose(p), 0);
  std::istringstream in(answers);
  std::string line;
  std::size_t i = 0, matches = 0;
  while (std::getline(in, line)) {
    ASSERT_LT(i, cases.size());
    bool expected = line == "1";
    matches += expected;
    EXPECT_EQ(MatchesMask(cases[i].first, cases[i].second), expected)
        << "text '" << cases[i].first << "' mask '" << cases[i].second << "'";
    ++i;
  }
  EXPECT_EQ(i, cases.size());
  EXPECT_GT(matches, 200u);  // the cases are not all misses
  std::remove(path.c_str());
  std::remove(scriptPath.c_str());

  // The same masks through a table's filter.
  TmvxMemTable t;
  t.GetFieldDefs().Add("Id", ftInteger);
  t.GetFieldDefs().Add("S", ftString, 10);
  t.Open();
  for (std::size_t k = 0; k < 40; ++k) {
    t.Append();
    t.FieldByName("Id").SetAsInteger(static_cast<int>(k));
    t.FieldByName("S").SetAsString(cases[k].first);
    t.Post();
  }
  for (std::size_t k = 0; k < 200; ++k) {
    t.SetFilter("S LIKE '" + cases[k].second + "'");
    t.SetFiltered(true);
    std::set<int> ids;
    for (t.First(); !t.Eof(); t.Next()) ids.insert(static_cast<int>(t.FieldByName("Id").AsInteger()));
    t.SetFiltered(false);
    for (std::size_t r = 0; r < 40; ++r)
      EXPECT_EQ(ids.count(static_cast<int>(r)) == 1, MatchesMask(cases[r].first, cases[k].second));
  }
}

TEST_F(OracleTest, IndexSwitchingRangesAndRecordNumbersMatchSql) {
  MakeTable();
  t.GetIndexDefs().Add("ByI", "I");
  t.GetIndexDefs().Add("ByS", "S:C");
  t.GetIndexDefs().Add("ByFDown", "F:D");
  t.Open();
  for (int id = 1; id <= 300; ++id) Append(RandomRow(id));
  struct Order {
    const char* index;
    const char* field;
    std::string sqlKey, sqlOrder;
    bool fold;
  };
  const Order orders[] = {{"ByI", "I", "i", "i", false},
                          {"ByS", "S", "lower(s)", "lower(s)", true},
                          {"ByFDown", "F", "f", "f IS NULL DESC, f DESC", false}};
  int checked = 0, nonTrivial = 0;
  for (int step = 0; step < 400; ++step) {
    const Order& o = orders[rng() % 3];
    t.SetIndexName(o.index);
    // A range on the current index, its start open now and then.
    std::string lo, hi, ourLo, ourHi;
    if (o.field[0] == 'S') {
      ourLo = RandomText();
      ourHi = ourLo + "zz";
      lo = "lower('" + ourLo + "')";
      hi = "lower('" + ourHi + "')";
    } else {
      int a = static_cast<int>(rng() % 21) - 10, b = a + static_cast<int>(rng() % 12);
      ourLo = std::to_string(a);
      ourHi = std::to_string(b);
      lo = ourLo;
      hi = ourHi;
    }
    const bool openStart = rng() % 4 == 0;
    t.SetRange(openStart ? Variant() : Variant(ourLo), Variant(ourHi));
    std::string where = openStart ? "(" + o.sqlKey + " IS NULL OR " + o.sqlKey + " <= " + hi + ")"
                                  : "(" + o.sqlKey + " >= " + lo + " AND " + o.sqlKey + " <= " + hi + ")";
    const bool filtered = rng() % 2;
    if (filtered) {
      int c = static_cast<int>(rng() % 11) - 5;
      t.SetFilter("I > " + std::to_string(c));
      where += " AND COALESCE(i > " + std::to_string(c) + ", 0)";
    }
    t.SetFiltered(filtered);
    std::vector<std::string> expected =
        sql.Query("SELECT " + o.sqlKey + " FROM t WHERE " + where + " ORDER BY " + o.sqlOrder);
    std::vector<std::string> got;
    for (t.First(); !t.Eof(); t.Next()) got.push_back(Value(o.field, o.fold));
    ASSERT_EQ(got, expected) << o.index << " range " << ourLo << ".." << ourHi << " where " << where;
    ASSERT_EQ(t.RecordCount(), static_cast<int>(expected.size()));
    if (expected.size() > 5) ++nonTrivial;
    // Record numbers count the shown records in the index's order.
    for (int k = 0; k < 3 && !expected.empty(); ++k) {
      int no = 1 + static_cast<int>(rng() % expected.size());
      t.SetRecNo(no);
      ASSERT_EQ(t.GetRecNo(), no) << o.index << " " << where;
      ASSERT_EQ(Value(o.field, o.fold), expected[static_cast<std::size_t>(no - 1)]);
    }
    t.CancelRange();
    t.SetFiltered(false);
    // Now and then a change, kept up to date while ranges come and go.
    if (step % 4 == 0) {
      int id = 1 + static_cast<int>(rng() % 300);
      if (t.Locate("Id", Variant(id), 0)) {
        Row r = RandomRow(id);
        t.Edit();
        Write(r);
        t.Post();
        sql.Put(r);
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 400);
  EXPECT_GT(nonTrivial, 150);  // the ranges are not all (nearly) empty
}
