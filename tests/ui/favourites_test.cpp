// The favourite parameters: the list edited in the add dialog and kept in the settings file,
// restored after a restart, the favourites grid's editing rules (password every time, a lone
// "-" while typing, the parameter view refreshed), and a configuration with more than 256
// definitions. A screenshot of both windows goes to ui_screenshots/.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "core/common.h"
#include "core/config.h"
#include "core/settings.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/definite_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdCancel;
using platform::gui::IdOk;
using ui::TDefiniteAddForm;
using ui::TDefiniteForm;
using ui::TMainForm;

namespace {

int RowOf(TDefiniteForm& form, const QString& code) {
  for (int row = 1; row < form.RowCount(); ++row)
    if (form.Cell(2, row) == code) return row;
  return -1;
}

void Pick(QListWidget* list, const QString& code) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text().startsWith(code + ":")) return list->setCurrentRow(i);
  QFAIL(qPrintable("no entry " + code));
}

void Shot(QWidget& w, const QString& name) {
  w.show();
  QTest::qWait(20);
  uitest::Shot(w, name);
}

// Opens the favourites window through the Edit menu and runs `inside` on it.
void WithFavourites(TMainForm& form, platform::gui::ScriptedServices& gui, std::function<void(TDefiniteForm&)> inside) {
  gui.dialogScripts.push_back([inside](QDialog& d) { inside(static_cast<TDefiniteForm&>(d)); });
  QVERIFY(form.ClickItem("EditDefinite"));
}

}  // namespace

class FavouritesTest : public QObject {
  Q_OBJECT
 private slots:
  void listEditedStoredAndRestoredAfterARestart() {
    uitest::Sandbox box;
    auto& gui = box.gui();
    {
      TMainForm form;
      uitest::NewDocument(form, gui, 0);
      WithFavourites(form, gui, [&gui](TDefiniteForm& f) {
        QCOMPARE(f.windowTitle(), QString("Definite Parameter"));
        QCOMPARE(f.RowCount(), 2);  // no list yet: one empty row, nothing to edit
        QCOMPARE(f.SelectedIndex, -1);
        QVERIFY(!f.OpenEditor());
        gui.dialogScripts.push_back([](QDialog& d) {
          auto& add = static_cast<TDefiniteAddForm&>(d);
          QCOMPARE(add.listPar->count(), 18);
          QCOMPARE(add.listPar->item(1)->text(), QString("P0.01:Maximum frequency"));
          for (const char* code : {"P0.01", "P1.00", "P0.03"}) {
            Pick(add.listPar, code);
            add.AddButton->click();
          }
          QCOMPARE(add.listPar->count(), 15);
          add.listDef->setCurrentRow(2);
          add.UpButton->click();  // P0.01, P0.03, P1.00
          add.listDef->setCurrentRow(0);
          add.UpButton->click();  // nothing above the first
          add.listDef->setCurrentRow(2);
          add.DownButton->click();  // nothing below the last
          QCOMPARE(add.listDef->item(1)->text(), QString("P0.03:Acceleration time"));
          Shot(add, "favourites_add");
          add.OK->click();
        });
        f.AddButton->click();
        QCOMPARE(f.RowCount(), 4);
        QCOMPARE(f.Cell(2, 1), QString("P0.01"));
        QCOMPARE(f.Cell(2, 3), QString("P1.00"));
        QCOMPARE(f.Cell(6, 2), QString("3000"));
        Shot(f, "favourites");
        f.CloseButton->click();
      });
    }
    // The settings file holds the list in order.
    QCOMPARE(core::ReadSettingInt("ParameterDefinite"), 3);
    QCOMPARE(core::ReadSettingStr("ParameterDefinite2"), std::string("P0.03"));

    // A restart: fresh state, the list read back from the file; a KV200 document shows only its
    // own codes, and a confirmed shorter list leaves the entries beyond it unread.
    core::ResetState();
    TMainForm again;
    uitest::NewDocument(again, gui, 1);  // KV200 has P0.00, P0.01, P5.00, P5.01
    WithFavourites(again, gui, [&gui](TDefiniteForm& f) {
      QCOMPARE(f.RowCount(), 2);
      QCOMPARE(f.Cell(2, 1), QString("P0.01"));
      gui.dialogScripts.push_back([](QDialog& d) {
        auto& add = static_cast<TDefiniteAddForm&>(d);
        QCOMPARE(add.listDef->count(), 1);
        add.Cancel->click();
      });
      f.AddButton->click();
    });
    QCOMPARE(core::ReadSettingInt("ParameterDefinite"), 3);  // Cancel stores nothing
    core::ResetState();
    TMainForm third;
    uitest::NewDocument(third, gui, 0);
    WithFavourites(third, gui, [&gui](TDefiniteForm& f) {
      QCOMPARE(f.RowCount(), 4);
      gui.dialogScripts.push_back([](QDialog& d) {
        auto& add = static_cast<TDefiniteAddForm&>(d);
        add.listDef->setCurrentRow(0);
        add.RemoveButton->click();
        QCOMPARE(add.listDef->count(), 2);
        QCOMPARE(add.listPar->count(), 16);
        add.OK->click();
      });
      f.AddButton->click();
      QCOMPARE(f.RowCount(), 3);
      QCOMPARE(f.Cell(2, 1), QString("P0.03"));
    });
    QCOMPARE(core::ReadSettingInt("ParameterDefinite"), 2);
    QCOMPARE(core::ReadSettingStr("ParameterDefinite3"), std::string("P1.00"));  // stays, unread
    QCOMPARE(gui.unexpected, 0);
  }

  void editingFollowsTheParameterViewAndRefreshesIt() {
    uitest::Sandbox box;
    auto& gui = box.gui();
    core::WriteSettingInt("ParameterDefinite", 2);
    core::WriteSettingStr("ParameterDefinite1", "P0.02");  // level 1: "level1"
    core::WriteSettingStr("ParameterDefinite2", "P0.01");
    TMainForm form;
    uitest::NewDocument(form, gui, 0);
    ui::TParamForm& view = *uitest::ParamView(form);
    QVERIFY(!core::State().DocumentModified);
    WithFavourites(form, gui, [&](TDefiniteForm& f) {
      const int row = RowOf(f, "P0.02");
      f.SelectRow(row);
      // The password is asked every time, and the view's accepted password is not touched.
      gui.inputAnswers = {{true, "wrong"}};
      QVERIFY(!f.OpenEditor());
      gui.inputAnswers = {{true, " Level1 "}};
      QVERIFY(f.OpenEditor());
      QVERIFY(core::State().EnteredPassword.empty());
      // A lone "-" is kept while typing, so a negative value can be entered.
      QLineEdit* editor = f.Editor();
      QVERIFY(editor);
      editor->selectAll();
      editor->del();
      QTest::keyClick(editor, '-');
      QCOMPARE(editor->text(), QString("-"));
      QTest::keyClicks(editor, "12");
      QTest::keyClick(editor, 'x');
      QCOMPARE(editor->text(), QString("-12"));  // back to the last accepted text, with a beep
      QCOMPARE(gui.beeps, 1);
      QTest::keyClicks(editor, ".5");
      f.CommitEditor();
      QCOMPARE(f.Cell(6, row), QString("-12.5"));
      QCOMPARE(core::State().Document[2].value, -12.5f);
      QVERIFY(core::State().DocumentModified);
      QCoreApplication::processEvents();  // the view behind refreshes at once
      QCOMPARE(view.Cell(6, uitest::RowOfCode(view, "P0.02")), QString("-12.5"));
      // Out of range: the box, the old text back.
      gui.inputAnswers = {{true, "level1"}};
      QVERIFY(f.OpenEditor());
      f.Editor()->selectAll();
      QTest::keyClicks(f.Editor(), "150");
      f.CommitEditor();
      QCOMPARE(gui.messages.back().text.section('\n', 0, 0), QString("Over Range!!!"));
      QCOMPARE(f.Cell(6, row), QString("-12.5"));
      QCOMPARE(gui.inputs.size(), std::size_t(3));
    });
    QCOMPARE(gui.unexpected, 0);
  }

  void everyDefinitionIndexIsOfferedOnce() {
    // 300 definitions: indexes beyond 255 are favourites like the others.
    QString big = "[MODEL=KV999]\n[PAGE=Main;Main;Main;Main]\n";
    for (int i = 0; i < 300; ++i) big += QString("[PAR=B%1;W%2;1;1;1;0;0;9;0;;Big %1]\n").arg(i).arg(3000 + i);
    uitest::Sandbox box(big);
    auto& gui = box.gui();
    TMainForm form;
    uitest::NewDocument(form, gui, 3);
    WithFavourites(form, gui, [&gui](TDefiniteForm& f) {
      gui.dialogScripts.push_back([](QDialog& d) {
        auto& add = static_cast<TDefiniteAddForm&>(d);
        QCOMPARE(add.listPar->count(), 300);
        Pick(add.listPar, "B290");
        add.AddButton->click();
        QCOMPARE(add.listPar->count(), 299);  // no longer offered, so it cannot be added twice
        add.AddAllButton->click();
        QCOMPARE(add.listDef->count(), 300);
        QCOMPARE(add.listPar->count(), 0);
        add.RemoveAllButton->click();
        QCOMPARE(add.listPar->count(), 300);
        Pick(add.listPar, "B299");
        add.AddButton->click();
        Pick(add.listPar, "B3");
        add.AddButton->click();
        add.OK->click();
      });
      f.AddButton->click();
      QCOMPARE(f.RowCount(), 3);
      QCOMPARE(f.Cell(2, 1), QString("B299"));
    });
    QCOMPARE(core::ReadSettingInt("ParameterDefinite"), 2);
    QCOMPARE(gui.unexpected, 0);
  }
};

QTEST_MAIN(FavouritesTest)
#include "favourites_test.moc"
