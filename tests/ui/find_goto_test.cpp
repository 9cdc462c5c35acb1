// The Edit menu on the parameter view. Find and Go to: both directions, letter case, the end of
// the search, every page of Go to, the grid scrolled to the line, and the commands offered only
// with a parameter view that has lines. The favourite parameters and their window. Screenshots
// of the dialogs go to ui_screenshots/.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "core/common.h"
#include "core/config.h"
#include "core/settings.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/qt_text.h"
#include "ui/main/definite_form.h"
#include "ui/main/find_goto_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using ui::TDefiniteAddForm;
using ui::TDefiniteForm;
using ui::TFindGotoForm;
using ui::TMainForm;
using ui::TParamForm;

namespace {

int IndexOf(const char* code) {
  int i = -1;
  for (const auto& line : core::State().Document)
    if (++i, line.code == code) return i;
  return -1;
}

QString SelectedCode(TParamForm& view) { return view.Cell(2, view.CurrentRow); }

// A model with 60 lines on one page, so that the grid must scroll.
QString LongModel() {
  QString text = "[MODEL=KV900]\n[GROUP=A;Basic;Base;Grundlagen;Base]\n[PAGE=Main;Principale;Haupt;Principal]\n";
  for (int i = 0; i < 60; ++i)
    text += QString("[PAR=L%1;W%2;1;1;1;0;0;100;0;;Line %1]\n").arg(i, 2, 10, QChar('0')).arg(1000 + i);
  return text;
}

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

class FindGotoTest : public QObject {
  Q_OBJECT
 private slots:
  void findGoesUpAndDownIgnoringCaseAndStopsAtTheEnd() {
    uitest::Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm& view = *uitest::ParamView(form);
    view.TabControl->setCurrentIndex(1);  // page 2: P0.05 .. P1.04
    QCOMPARE(SelectedCode(view), QString("P0.05"));
    TFindGotoForm dialog(&view);
    QCOMPARE(dialog.FindGroup, 2);
    QCOMPARE(dialog.FindIndex, IndexOf("P0.05"));
    QVERIFY(dialog.RadioDown->isChecked());

    auto find = [&](const QString& text) {
      dialog.editFind->setText(text);
      dialog.FindButtonClick();
      QCoreApplication::processEvents();
      QCoreApplication::processEvents();
    };
    // "Torque gain" (P0.05, where it starts), "Fine gain" (P1.03), "Very fine gain" (P1.04).
    find("gAIn");
    QCOMPARE(SelectedCode(view), QString("P1.03"));
    QCOMPARE(view.SelectedIndex, IndexOf("P1.03"));
    find("GAIN");
    QCOMPARE(SelectedCode(view), QString("P1.04"));
    auto& messages = box.gui().messages;
    for (int again = 1; again <= 2; ++again) {
      find("gain");
      QCOMPARE(messages.size(), std::size_t(again));
      QCOMPARE(messages.back().text, QString("Search Text\n'gain' not Found!"));
      QCOMPARE(messages.back().caption, QString("Find"));
      QCOMPARE(SelectedCode(view), QString("P1.04"));
      QCOMPARE(dialog.FindIndex, IndexOf("P1.04"));
    }
    dialog.RadioUp->setChecked(true);
    find("Gain");
    QCOMPARE(SelectedCode(view), QString("P1.03"));
    find("gain");
    QCOMPARE(SelectedCode(view), QString("P0.05"));
    find("gain");
    QCOMPARE(messages.size(), std::size_t(3));
    // Only the page shown at the start is searched: "Control mode" is on page 1.
    dialog.RadioDown->setChecked(true);
    find("control");
    QCOMPARE(messages.size(), std::size_t(4));
    find("");
    QCOMPARE(messages.size(), std::size_t(5));

    // No line selected: down starts at line 0, up finds nothing.
    view.SelectedIndex = -1;
    TFindGotoForm fresh(&view);
    fresh.editFind->setText("fine");
    fresh.RadioUp->setChecked(true);
    fresh.FindButtonClick();
    QCOMPARE(messages.size(), std::size_t(6));
    fresh.RadioDown->setChecked(true);
    fresh.FindButtonClick();
    QCOMPARE(fresh.FindIndex, IndexOf("P1.03"));
    QCOMPARE(box.gui().unexpected, 0);
  }

  // Find and Go to open ready for the keyboard: keys go to the page's field, Enter presses its button.
  void typingAndEnterSearchAtOnce() {
    uitest::Sandbox box;
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm& view = *uitest::ParamView(form);
    view.TabControl->setCurrentIndex(2);  // page 3 holds "Input voltage" (P2.03)
    const auto type = [&](const char* command, const QString& keys, const char* code) {
      box.gui().dialogScripts.push_back([keys](QDialog& d) {
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        if (keys.isEmpty()) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);  // the next code
        QTest::keyClicks(QApplication::focusWidget(), keys);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
      });
      QVERIFY(form.ClickItem(command));
      QCOMPARE(SelectedCode(view), QString(code));
    };
    type("EditFind", "voltage", "P2.03");
    type("EditGoto", "", "P0.01");
  }

  void gotoReachesEveryPageAndTheLineFoundLast() {
    uitest::Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm& view = *uitest::ParamView(form);
    TFindGotoForm dialog(&view);
    // KV100's lines are on pages 1 to 3: three buttons named as the tabs, 96 pixels saved.
    for (int k = 1; k <= 9; ++k) QCOMPARE(!dialog.RadioGroup[k - 1]->isHidden(), k <= 3);
    QCOMPARE(ui::ShownText(dialog.RadioGroup[1]->text()), QString("Motor"));
    QCOMPARE(dialog.height(), 336 - 96);
    QCOMPARE(dialog.GotoButton->y(), 244 - 96);
    QCOMPARE(dialog.GotoGroup, 1);
    QCOMPARE(dialog.comboCode->count(), 5);

    const char* targets[] = {"P0.03", "P1.02", "P2.02"};
    for (int k = 1; k <= 3; ++k) {
      dialog.RadioGroup[k - 1]->click();
      QCOMPARE(dialog.GotoGroup, k);
      for (int e = 0; e < dialog.comboCode->count(); ++e)
        QCOMPARE(core::State().Document[dialog.GotoIndexes[e]].displayGroup, k);
      dialog.comboCode->setCurrentIndex(dialog.comboCode->findText(targets[k - 1]));
      dialog.GotoButtonClick();
      QCoreApplication::processEvents();
      QCoreApplication::processEvents();
      QCOMPARE(view.CurrentGroup, k);
      QCOMPARE(SelectedCode(view), QString(targets[k - 1]));
    }

    // Find stops at P1.03; the view moves elsewhere; Go to P1.03 still goes there.
    view.TabControl->setCurrentIndex(1);
    TFindGotoForm again(&view);
    again.editFind->setText("fine gain");
    again.FindButtonClick();
    QCoreApplication::processEvents();
    QCOMPARE(SelectedCode(view), QString("P1.03"));
    view.SelectRow(1);
    again.RadioGroup[1]->click();
    again.comboCode->setCurrentIndex(again.comboCode->findText("P1.03"));
    again.GotoButtonClick();
    QCoreApplication::processEvents();
    QCOMPARE(SelectedCode(view), QString("P1.03"));
  }

  void gotoScrollsTheGridToTheLine() {
    uitest::Sandbox box(LongModel());
    TMainForm form;
    form.resize(900, 500);
    form.show();
    uitest::NewDocument(form, box.gui(), 3);
    TParamForm& view = *uitest::ParamView(form);
    QCoreApplication::processEvents();
    QCOMPARE(view.parGrid->verticalScrollBar()->value(), 0);
    TFindGotoForm dialog(&view);
    dialog.PageControl->setCurrentIndex(1);
    dialog.comboCode->setCurrentIndex(dialog.comboCode->findText("L57"));
    dialog.GotoButtonClick();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(SelectedCode(view), QString("L57"));
    const QRect cell = view.parGrid->visualItemRect(view.parGrid->item(view.CurrentRow - 1, 6));
    QVERIFY(view.parGrid->viewport()->rect().contains(cell));

    dialog.show();
    QTest::qWait(20);
    uitest::Shot(dialog, "find_goto");
    dialog.PageControl->setCurrentIndex(0);
    uitest::Shot(dialog, "find");
  }

  void offeredOnlyWithAParameterViewThatHasLines() {
    uitest::Sandbox box("[MODEL=KV0]\n[PAR=Z1;W1;1;1;0;0;0;9;0;;Nowhere]\n[PAR=Z2;W2;1;1;12;0;0;9;0;;Nowhere]\n");
    TMainForm form;
    auto offered = [&form] { return form.Item("EditFind")->isEnabled() && form.Item("EditGoto")->isEnabled(); };
    QVERIFY(!offered());
    QVERIFY(!form.ClickItem("EditFind"));
    uitest::NewDocument(form, box.gui(), 0);
    QVERIFY(offered());
    box.gui().dialogScripts.push_back([](QDialog& d) {
      QCOMPARE(static_cast<TFindGotoForm&>(d).PageControl->currentIndex(), 1);
    });
    QVERIFY(form.ClickItem("EditGoto"));
    QCOMPARE(box.gui().dialogs.back(), QString("ui::TFindGotoForm"));

    // A parameter document without a line on any page (display groups outside 1..9).
    form.FileCloseClick();
    core::State().DocumentModified = false;
    uitest::NewDocument(form, box.gui(), 3);
    QCOMPARE(form.ChildKind(), QString("ParamForm"));
    QCOMPARE(uitest::ParamView(form)->TabCount(), 0);
    QVERIFY(!offered());
    // A compare document.
    const QString cmp = box.Path("k.cmp");
    uitest::WriteCompareFile(cmp);
    QVERIFY(form.OpenDocument(cmp));
    QCOMPARE(form.ChildKind(), QString("CompareForm"));
    QVERIFY(!offered());
    QVERIFY(!form.ClickItem("EditFind"));
    form.FileCloseClick();
    QVERIFY(!offered());
  }

  // The favourite parameters: the list edited in the add dialog and kept in the settings file,
  // restored after a restart, the favourites grid's editing rules (password every time, a lone
  // "-" while typing, the parameter view refreshed), more than 256 definitions.
  void listEditedStoredAndRestoredAfterARestart() {
    uitest::Sandbox box;
    auto& gui = box.gui();
    {
      TMainForm form;
      uitest::NewDocument(form, gui, 0);
      WithFavourites(form, gui, [&gui](TDefiniteForm& f) {
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
      // A key that asks for the password is not typed: the editor shows the line's own text, selected.
      gui.inputAnswers = {{true, "level1"}};
      QTest::keyClick(f.parGrid, '7');
      QVERIFY(f.Editor());
      QCOMPARE(f.Editor()->text() + "|" + f.Editor()->selectedText(), QString("-12.5|-12.5"));
      f.CommitEditor();
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

QTEST_MAIN(FindGotoTest)
#include "find_goto_test.moc"
