// Find and Go to on the parameter view: both directions, letter case, the end of the search,
// every page of Go to, the grid scrolled to the line, and the commands offered only with a
// parameter view that has lines. A screenshot of the dialog goes to ui_screenshots/.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "core/common.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/qt_text.h"
#include "ui/main/find_goto_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

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
};

QTEST_MAIN(FindGotoTest)
#include "find_goto_test.moc"
