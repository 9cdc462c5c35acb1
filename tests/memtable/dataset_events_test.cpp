// The error events of Edit, Post and Delete with the action their handler answers: fail passes
// the error on, abort ends the operation silently, retry runs the record operation again.
#include <gtest/gtest.h>

#include "memtable/mem_table.h"
#include "tests/memtable/test_tables.h"

using namespace memtable;
using namespace dataset;
using memtable_test::AppendRow;

namespace {

// A table whose next record operation of one kind (0 edit, 1 post, 2 delete) fails once.
struct Busy : TmvxMemTable {
  using TmvxMemTable::TmvxMemTable;
  int failing = -1;
  void Fail(int kind) {
    if (kind != failing) return;
    failing = -1;
    DatabaseError("busy", this);
  }
  void InternalEdit() override { Fail(0); TmvxMemTable::InternalEdit(); }
  void InternalPost() override { Fail(1); TmvxMemTable::InternalPost(); }
  void InternalDelete() override { Fail(2); TmvxMemTable::InternalDelete(); }
};

}  // namespace

TEST(ErrorEvents, TheHandlersActionFailsAbortsOrRetriesEditPostAndDelete) {
  DataSet::DataSetErrorEvent DataSet::*const events[] = {&DataSet::OnEditError, &DataSet::OnPostError, &DataSet::OnDeleteError};
  const char* const outcomes[] = {"T: busy", "aborted", "after, done"};  // by action
  for (int kind = 0; kind < 3; ++kind)
    for (int answer = daFail; answer <= daRetry; ++answer) {
      Busy t("T");
      t.GetFieldDefs().Add("Name", ftString, 10);
      t.Open();
      AppendRow(t, std::string("one"));
      t.failing = kind;
      std::string log;
      (kind == 0 ? t.AfterEdit : kind == 1 ? t.AfterPost : t.AfterDelete) = [&](DataSet&) { log += "after, "; };
      t.*events[kind] = [&](DataSet& d, const EDatabaseError& e, DataAction& action) {
        log += (&d == &t && action == daFail ? "told " : "? ") + std::string(e.what()) + ", ";
        action = static_cast<DataAction>(answer);
      };
      try {
        kind == 2 ? t.Delete() : t.Edit();
        if (kind == 1) t.Post();
        log += "done";
      } catch (const EDatabaseError& e) {
        log += e.what();
      } catch (const EAbort&) {
        log += "aborted";
      }
      EXPECT_EQ(log, "told T: busy, " + std::string(outcomes[answer])) << kind;
    }
}

// The table's own key error is told at each try, until the handler gives up or the key it mended
// lets the record in. A handler that gave the record up and answers retry leaves nothing to post.
TEST(ErrorEvents, APostRefusedForItsKeyIsRetriedUntilGivenUpOrMended) {
  TmvxMemTable t("T");
  t.GetFieldDefs().Add("Code", ftString, 4);
  t.GetIndexDefs().Add("ByCode", "Code", ixUnique);
  t.Open();
  AppendRow(t, std::string("A"));
  int tries = 0;
  t.OnPostError = [&](DataSet& d, const EDatabaseError&, DataAction& action) {
    if (++tries == 4) d.FieldByName("Code").SetAsString("B");
    if (tries == 5) d.Cancel();
    action = tries == 3 || tries > 5 ? daFail : daRetry;
  };
  EXPECT_THROW(AppendRow(t, std::string("A")), EMemTableDupKey);  // tries 1 to 3
  t.Post();                                                          // 4: mended
  t.AfterPost = [](DataSet&) { ADD_FAILURE() << "nothing was posted"; };
  AppendRow(t, std::string("A"));  // 5: cancelled
  EXPECT_EQ(memtable_test::Column(t, "Code") + " after " + std::to_string(tries), "A,B after 5");
}
