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
  int Busy::*failures;
  DataSet::DataSetErrorEvent DataSet::*errorEvent;
  DataSet::NotifyEvent DataSet::*after;
  std::function<void(Busy&)> run;
  const char* namesWhenDone;
};

const Operation kOperations[] = {
    {&Busy::editFailures, &DataSet::OnEditError, &DataSet::AfterEdit, [](Busy& t) { t.Edit(); }, "one,two"},
    {&Busy::postFailures, &DataSet::OnPostError, &DataSet::AfterPost,
     [](Busy& t) {
       t.Edit();
       t.FieldByName("Name").SetAsString("changed");
       t.Post();
     },
     "changed,two"},
    {&Busy::deleteFailures, &DataSet::OnDeleteError, &DataSet::AfterDelete, [](Busy& t) { t.Delete(); }, "two"},
};

}  // namespace

TEST(ErrorEvents, TheHandlersActionFailsAbortsOrRetriesEditPostAndDelete) {
  for (const Operation& op : kOperations) {
    for (int answer = -1; answer <= daRetry; ++answer) {  // no handler, then each action
      SCOPED_TRACE(std::string(op.namesWhenDone) + ", answer " + std::to_string(answer));
      Busy t("T");
      t.GetFieldDefs().Add("Name", ftString, 10);
      t.Open();
      AppendRow(t, std::string("one"));
      AppendRow(t, std::string("two"));
      t.First();
      t.*op.failures = 1;
      int calls = 0, after = 0;
      t.*op.after = [&](DataSet&) { ++after; };
      if (answer >= 0)
        t.*op.errorEvent = [&](DataSet& d, const EDatabaseError& e, DataAction& action) {
          ++calls;
          EXPECT_EQ(&d, &t);
          EXPECT_STREQ(e.what(), "T: busy");
          EXPECT_EQ(action, daFail);
          action = static_cast<DataAction>(answer);
        };
      std::string outcome = "done";
      try {
        op.run(t);
      } catch (const EDatabaseError& e) {
        outcome = e.what();
      } catch (const EAbort&) {
        outcome = "aborted";
      }
      EXPECT_EQ(outcome, answer == daRetry ? "done" : answer == daAbort ? "aborted" : "T: busy");
      EXPECT_EQ(calls, answer >= 0 ? 1 : 0);
      EXPECT_EQ(after, outcome == "done" ? 1 : 0);
      // A failed or aborted post keeps the edit.
      if (op.errorEvent == &DataSet::OnPostError) {
        EXPECT_EQ(t.State(), outcome == "done" ? dsBrowse : dsEdit);
        t.Cancel();
      }
      EXPECT_EQ(Column(t, "Name"), outcome == "done" ? op.namesWhenDone : "one,two");
    }
  }
}

// The table's own error for a key another record has reaches the event: asked again at each
// try until it gives up, or until the key it mended lets the record in.
TEST(ErrorEvents, APostRefusedForItsKeyIsMendedAndRetried) {
  TmvxMemTable t("T");
  t.GetFieldDefs().Add("Code", ftString, 4);
  t.GetIndexDefs().Add("ByCode", "Code", ixUnique);
  t.Open();
  AppendRow(t, std::string("A"));
  int tries = 0;
  t.OnPostError = [&](DataSet&, const EDatabaseError&, DataAction& action) { action = ++tries < 3 ? daRetry : daFail; };
  t.Append();
  t.FieldByName("Code").SetAsString("A");
  EXPECT_THROW(t.Post(), EMemTableDupKey);
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(t.State(), dsInsert);
  t.OnPostError = [](DataSet& d, const EDatabaseError& e, DataAction& action) {
    if (!dynamic_cast<const EMemTableDupKey*>(&e)) return;
    d.FieldByName("Code").SetAsString("B");
    action = daRetry;
  };
  t.Post();
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(Column(t, "Code"), "A,B");
  // A handler that gave the record up and answers retry leaves nothing to post.
  tries = 0;
  t.OnPostError = [&](DataSet& d, const EDatabaseError&, DataAction& action) {
    d.Cancel();
    action = ++tries == 1 ? daRetry : daFail;
  };
  t.AfterPost = [](DataSet&) { ADD_FAILURE() << "nothing was posted"; };
  AppendRow(t, std::string("A"));
  EXPECT_EQ(tries, 1);
  EXPECT_EQ(Column(t, "Code"), "A,B");
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
    t->AfterRefresh = [&](DataSet& d) { log += "after " + d.Name() + ", "; };
    t->AfterPost = [&](DataSet& d) { log += "posted " + d.Name() + ", "; };
  }
  a.Append();
  a.FieldByName("Id").SetAsInteger(1);
  a.Refresh();
  EXPECT_EQ(log, "before a, before b, after b, posted a, after a, ");
}
