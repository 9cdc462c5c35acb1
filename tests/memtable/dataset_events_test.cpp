// The refresh events, and the error events of Edit, Post and Delete with the action their
// handler answers: fail passes the error on, abort ends the operation silently, retry runs
// the record operation again.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;
using memtable_test::Column;

namespace {

// A table whose next record operations of a kind fail with a database error.
class Busy : public TmvxMemTable {
 public:
  using TmvxMemTable::TmvxMemTable;
  int editFailures = 0, postFailures = 0, deleteFailures = 0;

 protected:
  void InternalEdit() override {
    Fail(editFailures);
    TmvxMemTable::InternalEdit();
  }
  void InternalPost() override {
    Fail(postFailures);
    TmvxMemTable::InternalPost();
  }
  void InternalDelete() override {
    Fail(deleteFailures);
    TmvxMemTable::InternalDelete();
  }

 private:
  void Fail(int& failures) {
    if (failures > 0) {
      --failures;
      DatabaseError("busy", this);
    }
  }
};

struct Operation {
  const char* name;
  int Busy::*failures;
  DataSet::DataSetErrorEvent DataSet::*errorEvent;
  DataSet::NotifyEvent DataSet::*after;
  std::function<void(Busy&)> run;
};

const Operation kOperations[] = {
    {"Edit", &Busy::editFailures, &DataSet::OnEditError, &DataSet::AfterEdit, [](Busy& t) { t.Edit(); }},
    {"Post", &Busy::postFailures, &DataSet::OnPostError, &DataSet::AfterPost,
     [](Busy& t) {
       t.Edit();
       t.FieldByName("Name").SetAsString("changed");
       t.Post();
     }},
    {"Delete", &Busy::deleteFailures, &DataSet::OnDeleteError, &DataSet::AfterDelete, [](Busy& t) { t.Delete(); }},
};

enum class Outcome { Error, Aborted, Done };

}  // namespace

TEST(ErrorEvents, TheHandlersActionFailsAbortsOrRetriesEditPostAndDelete) {
  for (const Operation& op : kOperations) {
    // No handler, then each answer.
    for (int answer = -1; answer <= daRetry; ++answer) {
      SCOPED_TRACE(std::string(op.name) + ", answer " + std::to_string(answer));
      Busy t("T");
      t.GetFieldDefs().Add("Id", ftInteger);
      t.GetFieldDefs().Add("Name", ftString, 10);
      t.Open();
      AppendRow(t, std::string("1"), std::string("one"));
      AppendRow(t, std::string("2"), std::string("two"));
      t.First();
      t.*op.failures = 1;
      int calls = 0, after = 0;
      std::string told;
      t.*op.after = [&](DataSet&) { ++after; };
      if (answer >= 0)
        t.*op.errorEvent = [&](DataSet& d, const EDatabaseError& e, DataAction& action) {
          ++calls;
          told = (&d == &t ? "T " : "another ") + std::string(e.what()) + (action == daFail ? ", fail" : "");
          action = static_cast<DataAction>(answer);
        };
      Outcome outcome = Outcome::Done;
      try {
        op.run(t);
      } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "T: busy");
        outcome = Outcome::Error;
      } catch (const EAbort&) {
        outcome = Outcome::Aborted;
      }
      const Outcome expected = answer == daRetry ? Outcome::Done : answer == daAbort ? Outcome::Aborted : Outcome::Error;
      EXPECT_EQ(outcome, expected);
      EXPECT_EQ(calls, answer >= 0 ? 1 : 0);
      if (answer >= 0) {
        EXPECT_EQ(told, "T T: busy, fail");
      }
      EXPECT_EQ(after, outcome == Outcome::Done ? 1 : 0);
      // A failed or aborted post keeps the edit; a retried one stores it.
      if (op.errorEvent == &DataSet::OnPostError) {
        EXPECT_EQ(t.State(), outcome == Outcome::Done ? dsBrowse : dsEdit);
        t.Cancel();
      }
      const char* names = op.errorEvent == &DataSet::OnDeleteError   ? "two"
                          : op.errorEvent == &DataSet::OnPostError ? "changed,two"
                                                                   : "one,two";
      EXPECT_EQ(Column(t, "Name"), outcome == Outcome::Done ? names : "one,two");
    }
  }
}

// The errors of the table itself reach the events: a key another record has, a record that
// another table on the store took away.
TEST(ErrorEvents, APostRefusedForItsKeyIsMendedAndRetried) {
  TmvxMemTable t("T");
  t.GetFieldDefs().Add("Code", ftString, 4);
  t.GetIndexDefs().Add("ByCode", "Code", ixUnique);
  t.Open();
  AppendRow(t, std::string("A"));
  std::string told;
  t.OnPostError = [&](DataSet& d, const EDatabaseError& e, DataAction& action) {
    if (!dynamic_cast<const EMemTableDupKey*>(&e)) return;
    told += e.what();
    d.FieldByName("Code").SetAsString(d.FieldByName("Code").AsString() + "2");
    action = daRetry;
  };
  AppendRow(t, std::string("A"));
  EXPECT_EQ(told, kDuplicateKeyText);
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.FieldByName("Code").AsString(), "A2");
  EXPECT_EQ(Column(t, "Code"), "A,A2");
  // Without a mend the handler is asked again at each try, until it gives up.
  int tries = 0;
  t.OnPostError = [&](DataSet&, const EDatabaseError&, DataAction& action) { action = ++tries < 3 ? daRetry : daFail; };
  t.Append();
  t.FieldByName("Code").SetAsString("A");
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST(ErrorEvents, EditAndDeleteOfARecordAnotherTableTookAway) {
  TmvxMemTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.SetAttachMaxCount(2);
  a.AttachedAutoRefresh = false;
  b.SetAttachedTo(&a);
  a.Open();
  b.Open();
  for (const char* id : {"1", "2"}) AppendRow(a, std::string(id));
  b.First();
  a.First();
  a.Delete();
  std::string told;
  auto abort = [&](DataSet& d, const EDatabaseError& e, DataAction& action) {
    told += d.Name() + " " + e.what() + "; ";
    action = daAbort;
  };
  b.OnEditError = b.OnDeleteError = abort;
  EXPECT_THROW(b.Edit(), EAbort);
  EXPECT_EQ(b.State(), dsBrowse);
  EXPECT_THROW(b.Delete(), EAbort);
  EXPECT_EQ(told, "b b: Record not found; b b: Record not found; ");
  b.OnDeleteError = nullptr;
  EXPECT_THROW(b.Delete(), EDatabaseError);
  EXPECT_EQ(Column(b, "Id"), "2");
}

// Refresh is told before the table settles an edit and after it has fetched its record
// again, also when another table on the store refreshes it after a post.
TEST(RefreshEvents, BeforeAndAfterTheRefresh) {
  TmvxMemTable a("a"), b("b");
  a.GetFieldDefs().Add("Id", ftInteger);
  a.SetAttachMaxCount(2);
  b.SetAttachedTo(&a);
  a.Open();
  b.Open();
  std::string log;
  for (TmvxMemTable* t : {&a, &b}) {
    t->BeforeRefresh = [&](DataSet& d) { log += "before " + d.Name() + ", "; };
    t->AfterRefresh = [&](DataSet& d) {
      log += "after " + d.Name() + " at " + std::to_string(static_cast<TmvxCustomMemTable&>(d).RecordCount()) + ", ";
    };
    t->AfterPost = [&](DataSet& d) { log += "posted " + d.Name() + ", "; };
  }
  a.Append();
  a.FieldByName("Id").SetAsInteger(1);
  a.Refresh();
  EXPECT_EQ(log, "before a, before b, after b at 1, posted a, after a at 1, ");
}
