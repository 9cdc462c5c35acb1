// The document dialogs on their own: model lists, required choices, modal results, the print
// title dialog's groups and height, and the station grid.
#include <QTest>

#include "core/common.h"
#include "core/config.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"

using platform::gui::IdCancel;
using platform::gui::IdOk;
using uitest::Sandbox;

class DialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void modelChoiceShowsTheModelInformation() {
    Sandbox box;
    core::LoadConfiguration();
    ui::TNewModelForm dialog(nullptr);
    QCOMPARE(dialog.comboModel->count(), 3);
    QCOMPARE(dialog.comboModel->currentText(), QString("KV100"));
    QCOMPARE(dialog.infoLabels[0]->text(), QString("Kestravel KV100 vector drive"));
    QCOMPARE(dialog.infoLabels[1]->text(), QString("0.75 to 7.5 kW"));
    QVERIFY(dialog.infoLabels[0]->font().bold());
    dialog.comboModel->setCurrentIndex(1);
    QCOMPARE(dialog.infoLabels[0]->text(), QString("Kestravel KV200 servo drive"));
    QCOMPARE(dialog.infoLabels[1]->text(), QString());
    dialog.OK->click();
    QCOMPARE(dialog.result(), int(IdOk));
  }

  // Without models OK does nothing; Cancel and Escape close with IdCancel.
  void withoutModelsOnlyCancelCloses() {
    Sandbox box(QString(), false);
    core::LoadConfiguration();
    ui::TNewModelForm model(nullptr);
    ui::TCompareDefForm drive(nullptr);
    ui::TCompareFilesForm files(nullptr);
    files.file1->setText("/x.par");
    for (ui::TDocumentDialog* dialog : std::initializer_list<ui::TDocumentDialog*>{&model, &drive, &files}) {
      dialog->setResult(0);
      dialog->OK->click();
      QCOMPARE(dialog->result(), 0);
      dialog->Cancel->click();
      QCOMPARE(dialog->result(), int(IdCancel));
    }
    ui::TAboutForm about(nullptr);
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    QCOMPARE(about.result(), int(IdCancel));
  }

  void fileCompareSetUpsNeedTheirFiles() {
    Sandbox box;
    core::LoadConfiguration();
    ui::TCompareFileForm two(nullptr);
    box.gui().fileAnswers.push_back({false, QString()});
    two.Button1Click();
    QCOMPARE(two.file1->text(), QString());
    QCOMPARE(box.gui().fileDialogs[0].filter, QString("Parameter Files|*.par"));
    QCOMPARE(box.gui().fileDialogs[0].defaultSuffix, QString("par"));
    QVERIFY(!box.gui().fileDialogs[0].save);
    two.file2->setText("/b.par");
    two.OK->click();
    QCOMPARE(two.result(), 0);
    two.file1->setText("/a.par");
    two.OK->click();
    QCOMPARE(two.result(), int(IdOk));

    ui::TCompareFilesForm three(nullptr);
    three.OK->click();
    QCOMPARE(three.result(), 0);
    three.file1->setText("/a.par");
    three.OK->click();
    QCOMPARE(three.result(), int(IdOk));
  }

  void printTitleShowsTheDocumentsGroups() {
    Sandbox box;
    ui::TMainForm form;
    uitest::NewDocument(form, box.gui(), 1);  // KV200: transfer groups 1 and 2
    ui::TPrintTitleForm dialog(&form);
    QCOMPARE(dialog.ShrunkBy(), 96);
    QVERIFY(!dialog.checkGroup[0]->isHidden());
    QVERIFY(!dialog.checkGroup[1]->isHidden());
    for (int k = 2; k < 9; ++k) QVERIFY(dialog.checkGroup[k]->isHidden());
    QCOMPARE(dialog.checkGroup[0]->text(), QString("Basic (A)"));
    QCOMPARE(dialog.checkGroup[1]->text(), QString("Position (B)"));
    QCOMPARE(dialog.editPage->text(), QString("      /"));
    QVERIFY(!dialog.editPage->isEnabled());
    dialog.titleEdits[0]->setText("T");
    dialog.checkPrint->setChecked(true);
    dialog.ClearClick();
    QCOMPARE(dialog.titleEdits[0]->text(), QString());
    QVERIFY(dialog.checkPrint->isChecked());

    uitest::NewDocument(form, box.gui(), 0);  // KV100: groups 1 to 4
    ui::TPrintTitleForm four(&form);
    QCOMPARE(four.ShrunkBy(), 80);
    core::State().Document.back().transferGroup = 9;  // every check box's room is needed
    ui::TPrintTitleForm nine(&form);
    QCOMPARE(nine.ShrunkBy(), 0);
    QCOMPARE(nine.height() - dialog.height(), 96);
    QCOMPARE(nine.height() - four.height(), 80);
  }

  void servicesAndFilters() {
    QCOMPARE(platform::gui::QtFilter("Parameter & Compare Files|*.par;*.cmp|Parameter Files|*.par"),
             QString("Parameter & Compare Files (*.par *.cmp);;Parameter Files (*.par)"));
    QVERIFY(dynamic_cast<platform::gui::DesktopServices*>(&platform::gui::Gui()));
    {
      platform::gui::ScopedScript script;
      QCOMPARE(&platform::gui::Gui(), static_cast<platform::gui::Services*>(&*script));
      // Unscripted questions count as unexpected and answer as a closed box.
      QCOMPARE(platform::gui::Gui().MessageBox("q", "c", platform::gui::Buttons::YesNoCancel,
                                               platform::gui::Icon::Warning),
               int(IdCancel));
      QCOMPARE(platform::gui::Gui().MessageBox("i", "c", platform::gui::Buttons::Ok, platform::gui::Icon::Stop),
               int(IdOk));
      QCOMPARE(script->unexpected, 1);
    }
    QVERIFY(dynamic_cast<platform::gui::DesktopServices*>(&platform::gui::Gui()));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
