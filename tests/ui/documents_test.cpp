// The document commands: new, open, save, save as, close, recent files, the ask-to-save rule
// on every path, the visible/enabled state of every command, and the document dialogs on their own.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "core/common.h"
#include "core/config.h"
#include "core/documents.h"
#include "core/settings.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdCancel;
using platform::gui::IdNo;
using platform::gui::IdOk;
using platform::gui::IdYes;
using ui::TMainForm;
using uitest::Sandbox;

namespace {

// Makes a document of model k (list index), edits its first value and saves it under `path`.
void MakeParameterFile(TMainForm& form, Sandbox& box, int k, const QString& path, float firstValue) {
  uitest::NewDocument(form, box.gui(), k);
  core::State().Document[0].value = firstValue;
  box.gui().fileAnswers.push_back({true, path});
  form.FileSaveAsClick();
}

}  // namespace

class DocumentsTest : public QObject {
  Q_OBJECT
 private slots:
  void newNeedsAModelWithDefinitions() {
    Sandbox box;
    TMainForm form;
    box.gui().dialogScripts.push_back([](QDialog& d) { static_cast<ui::TDocumentDialog&>(d).Cancel->click(); });
    form.FileNewClick();
    QVERIFY(!form.Child());
    QCOMPARE(box.gui().dialogs, std::vector<QString>{"ui::TNewModelForm"});
    uitest::NewDocument(form, box.gui(), 1);
    QCOMPARE(form.ChildKind(), QString("ParamForm"));
    const auto& s = core::State();
    QCOMPARE(s.Document.size(), size_t(4));
    QCOMPARE(s.Document[3].value, -5.0f);  // values start at the defaults
    QCOMPARE(s.DocumentName, std::string("Untitled"));
    QCOMPARE(form.StatusPanel(4), QString(" Model:KV200"));
    QVERIFY(form.OpenFileName.isEmpty());
  }

  void saveAsThenSaveWritesBackWithoutDialog() {
    Sandbox box;
    TMainForm form;
    const QString path = box.Path("drive.par");
    MakeParameterFile(form, box, 0, path, 2.0f);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [drive.par]"));
    QCOMPARE(form.OpenFileName, path);
    QVERIFY(form.ItemVisible("FileRecent1"));
    QVERIFY(!form.ItemVisible("FileRecent"));
    QCOMPARE(form.Item("FileRecent1")->text(), QString("drive.par"));
    QCOMPARE(box.gui().fileDialogs.back().filter, QString("Parameter Files|*.par"));
    QVERIFY(box.gui().fileDialogs.back().save);

    core::State().Document[0].value = 3.0f;
    core::State().DocumentModified = true;
    const size_t dialogs = box.gui().fileDialogs.size();
    form.ClickItem("SaveButton");
    QCOMPARE(box.gui().fileDialogs.size(), dialogs);
    QVERIFY(!core::State().DocumentModified);
    core::ParameterFileHeader header;
    std::vector<core::ParameterDefinition> records;
    QVERIFY(core::ReadParameterFile(path.toStdString(), 3, header, records));
    QCOMPARE(records[0].value, 3.0f);

    // A document opened from a file saves back to it as well; an Untitled one always asks.
    uitest::NewDocument(form, box.gui(), 0);
    box.gui().fileAnswers.push_back({false, QString()});
    form.FileSaveClick();
    QCOMPARE(box.gui().fileDialogs.size(), dialogs + 1);
    QCOMPARE(box.gui().fileDialogs.back().fileName, QString("Untitled"));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [Untitled]"));
  }

  void openPicksTheKindByExtension() {
    Sandbox box;
    TMainForm form;
    const QString upper = box.Path("UPPER.PAR");
    MakeParameterFile(form, box, 1, upper, 1.0f);
    form.FileCloseClick();
    QVERIFY(!form.Child());
    QVERIFY(form.OpenFileName.isEmpty());
    QVERIFY(form.OpenDocument(upper));
    QCOMPARE(form.ChildKind(), QString("ParamForm"));
    QCOMPARE(core::State().Document[0].value, 1.0f);
    QVERIFY(form.ItemVisible("OperationWrite"));

    // Not a document: a name with ".par" inside but another extension.
    const QString other = box.Path("copy.par.bak");
    QVERIFY(QFile::copy(upper, other));
    core::State().Document[0].value = 7.0f;
    QVERIFY(!form.OpenDocument(other));
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCOMPARE(box.gui().messages[0].caption, QString("Error Message"));
    QCOMPARE(form.ChildKind(), QString("ParamForm"));
    QCOMPARE(core::State().Document[0].value, 7.0f);
    QCOMPARE(form.OpenFileName, upper);
  }

  void failedOrRefusedLoadsKeepTheOpenDocument() {
    Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 0);
    const QString broken = box.Path("broken.par");
    uitest::WriteFile(broken, "not a parameter file");
    QVERIFY(!form.OpenDocument(broken));
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QVERIFY(box.gui().messages[0].text.contains("broken.par"));
    QCOMPARE(core::State().Document.size(), size_t(18));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [Untitled]"));
    QVERIFY(core::RecentFiles()[0].empty());

    // A model number beyond the configuration's models: refused, never used as an index.
    core::ParameterFileHeader header;
    header.model = 9;
    header.modelName = "KV900";
    std::vector<core::ParameterDefinition> records(1);
    records[0].code = "P0.00";
    header.recordCount = 1;
    const std::string bytes = core::EncodeParameterFile(header, records);
    const QString unknown = box.Path("unknown.par");
    uitest::WriteFile(unknown, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QVERIFY(!form.OpenDocument(unknown));
    QCOMPARE(box.gui().messages.size(), size_t(2));
    QVERIFY(box.gui().messages[1].text.startsWith("Model Unknown!!"));
    QCOMPARE(core::State().ParHeader.model, 1u);

    QVERIFY(!form.OpenDocument(box.Path("missing.cmp")));
    QCOMPARE(box.gui().messages.size(), size_t(3));
  }

  void recentFiles() {
    Sandbox box;
    TMainForm form;
    const QString a = box.Path("a.par");
    const QString b = box.Path("b.par");
    MakeParameterFile(form, box, 0, a, 1.0f);
    MakeParameterFile(form, box, 1, b, 2.0f);
    QCOMPARE(form.Item("FileRecent1")->text(), QString("b.par"));
    QCOMPARE(form.Item("FileRecent2")->text(), QString("a.par"));
    QVERIFY(!form.ItemVisible("FileRecent3"));

    form.ClickItem("FileRecent2");  // not modified: no question
    QCOMPARE(form.OpenFileName, a);
    QCOMPARE(core::State().ParHeader.model, 1u);
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [a.par]"));
    QCOMPARE(form.Item("FileRecent1")->text(), QString("a.par"));  // swapped to the top
    QCOMPARE(form.Item("FileRecent2")->text(), QString("b.par"));

    QVERIFY(QFile::remove(b));
    core::State().DocumentModified = true;
    form.FileRecentClick(2);
    QCOMPARE(box.gui().messages.size(), size_t(1));  // no ask-to-save: the file is gone
    QCOMPARE(box.gui().messages[0].text, QString("File not Found"));
    QCOMPARE(box.gui().messages[0].caption, QString("Error Message"));
    QCOMPARE(form.OpenFileName, a);
  }

  void askToSave_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    for (const char* command : {"FileNew", "FileOpen", "FileRecent1", "FileClose", "FileExit", "CompareFile", "CompareFiles"}) {
      QTest::addRow("%s Yes", command) << command << int(IdYes);
      QTest::addRow("%s No", command) << command << int(IdNo);
      QTest::addRow("%s Cancel", command) << command << int(IdCancel);
      QTest::addRow("%s Yes then dialog cancelled", command) << command << -1;
    }
  }

  void askToSave() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    Sandbox box;
    TMainForm form;
    form.show();
    auto& gui = box.gui();
    const QString recent = box.Path("recent.par");
    MakeParameterFile(form, box, 1, recent, 4.0f);
    uitest::NewDocument(form, box.gui(), 0);
    core::State().Document[0].value = 3.0f;
    core::State().DocumentModified = true;
    QWidget* child = form.Child();
    const QString saved = box.Path("saved.par");

    gui.messageAnswers.push_back(answer == -1 ? IdYes : answer);
    if (answer == IdYes) gui.fileAnswers.push_back({true, saved});
    if (answer == -1) gui.fileAnswers.push_back({false, QString()});
    const bool proceeds = answer == IdYes || answer == IdNo;
    // What the command does next: scripted so that it ends without a new document.
    if (proceeds && command != "FileRecent1" && command != "FileClose" && command != "FileExit")
      command == "FileOpen" ? gui.fileAnswers.push_back({false, QString()})
                            : gui.dialogScripts.push_back([](QDialog& d) { d.done(IdCancel); });
    if (answer == IdNo && command == "FileExit") gui.messageAnswers.push_back(IdNo);  // asked again on close
    const size_t messagesBefore = gui.messages.size();
    const size_t dialogsBefore = gui.dialogs.size();
    const size_t filesBefore = gui.fileDialogs.size();
    form.ClickItem(command);

    const auto& s = core::State();
    QCOMPARE(gui.unexpected, 0);
    QCOMPARE(gui.messages[messagesBefore].text, QString("The File has been modified!\nDo you want to save the file ?"));
    QCOMPARE(gui.messages[messagesBefore].caption, QString("Quorvane Test 1.00"));
    QCOMPARE(QFileInfo::exists(saved), answer == IdYes);
    if (!proceeds) {
      QCOMPARE(form.Child(), child);
      QVERIFY(s.DocumentModified);
      QCOMPARE(s.Document[0].value, 3.0f);
      QCOMPARE(gui.dialogs.size(), dialogsBefore);
      QCOMPARE(gui.fileDialogs.size(), filesBefore + (answer == -1 ? 1 : 0));
      QVERIFY(form.isVisible());
      return;
    }
    if (command == "FileRecent1") QCOMPARE(form.OpenFileName, recent);
    if (command == "FileClose") QVERIFY(!form.Child());
    if (command == "FileExit") {
      QVERIFY(!form.isVisible());
      QCOMPARE(gui.messages.size(), messagesBefore + (answer == IdNo ? 2 : 1));
    }
    if (command == "FileNew") QCOMPARE(gui.dialogs.back(), QString("ui::TNewModelForm"));
    if (command == "FileOpen") QVERIFY(!gui.fileDialogs.back().save);
    if (command == "CompareFile") QCOMPARE(gui.dialogs.back(), QString("ui::TCompareFileForm"));
    if (command == "CompareFiles") QCOMPARE(gui.dialogs.back(), QString("ui::TCompareFilesForm"));
    if (answer == IdYes && (command == "FileNew" || command == "FileOpen" || command.startsWith("Compare"))) {
      // The command was cancelled after the save: the saved file is now the document's file.
      QCOMPARE(form.OpenFileName, saved);
      core::State().Document[0].value = 5.0f;
      core::State().DocumentModified = true;
      const size_t files = gui.fileDialogs.size();
      form.FileSaveClick();
      QCOMPARE(gui.fileDialogs.size(), files);
      core::ParameterFileHeader header;
      std::vector<core::ParameterDefinition> records;
      QVERIFY(core::ReadParameterFile(saved.toStdString(), 3, header, records));
      QCOMPARE(records[0].value, 5.0f);
    }
  }

  void stationTitlesAndPrintTitles() {
    Sandbox box;
    TMainForm form;
    auto& s = core::State();
    s.StationTitles[7] = "Pump 7";
    box.gui().dialogScripts.push_back([](QDialog& d) {
      auto& dialog = static_cast<ui::TStationForm&>(d);
      QCOMPARE(dialog.Title(7), QString("Pump 7"));
      QCOMPARE(dialog.stationGrid->item(253, 0)->text(), QString("254"));  // the last station, not editable
      QVERIFY(!(dialog.stationGrid->item(253, 0)->flags() & Qt::ItemIsEditable));
      dialog.SetTitle(8, "Fan 8");
      dialog.OK->click();
    });
    form.EditStationClick();
    QCOMPARE(s.StationTitles[8], std::string("Fan 8"));
    QCOMPARE(core::ReadSettingStr("ParameterStation8"), std::string("Fan 8"));
    box.gui().dialogScripts.push_back([](QDialog& d) {
      auto& dialog = static_cast<ui::TStationForm&>(d);
      dialog.ClearClick();
      QCOMPARE(dialog.Title(7), QString());
      dialog.Cancel->click();
    });
    form.EditStationClick();
    QCOMPARE(s.StationTitles[7], std::string("Pump 7"));

    s.PrintTitles[0] = "Plant";
    uitest::NewDocument(form, box.gui(), 0);
    box.gui().dialogScripts.push_back([](QDialog& d) {
      auto& dialog = static_cast<ui::TPrintTitleForm&>(d);
      QCOMPARE(dialog.titleEdits[0]->text(), QString("Plant"));
      dialog.titleEdits[2]->setText("ACME");
      dialog.checkPrint->setChecked(false);
      dialog.checkGroup[1]->setChecked(false);
      dialog.OK->click();
    });
    form.FilePrintTitleClick();
    QCOMPARE(s.PrintTitles[2], std::string("ACME"));
    QVERIFY(!s.PrintSet[0]);
    QVERIFY(!s.PrintSet[2]);
    QVERIFY(s.PrintSet[1]);
  }

  // Visible and enabled state of every command in each state of the window.
  void commandStateMatrix() {
    enum State { Start, ParamDoc, CompareDoc, Closed, Linked, LinkedParamDoc };
    struct Row {
      const char* item;
      const char* visible;  // one letter per state: 1 shown, 0 hidden
      const char* enabled;  // 1 enabled, 0 disabled
    };
    // States:                        S P C X L LP
    const Row rows[] = {
        {"FileNew", "111111", "111111"},
        {"FileOpen", "111111", "111111"},
        {"FileClose", "011001", "111111"},
        {"CompareInverter", "111111", "000011"},
        {"CompareFile", "111111", "111111"},
        {"CompareFiles", "111111", "111111"},
        {"FileSave", "011001", "111111"},
        {"FileSaveAs", "011001", "111111"},
        {"FileExport", "011001", "111111"},
        {"FilePrintTitle", "011001", "111111"},
        {"FilePrintPreview", "011001", "111111"},
        {"FilePrint", "011001", "111111"},
        {"FileRecent", "110000", "000000"},  // until a recent file exists
        {"FileExit", "111111", "111111"},
        {"Edit1", "011001", "111111"},
        {"EditStation", "000000", "111111"},
        {"EditFind", "111111", "010001"},  // a parameter view with lines
        {"EditGoto", "111111", "010001"},
        {"EditDefinite", "111111", "111111"},
        {"OperationLink", "111111", "111111"},
        {"OperationRead", "111111", "000011"},
        {"OperationWrite", "010001", "000011"},
        {"OperationMotor", "000000", "111111"},
        {"OperationMonitor", "111111", "000011"},
        {"OperationProfile", "111111", "000011"},
        {"OperationOnline", "111111", "000011"},
        {"ViewLingua", "111111", "111111"},
        {"SaveButton", "111111", "011001"},
        {"PrintButton", "111111", "011001"},
        {"Print2Button", "111111", "011001"},
        {"PrintPreviewButton", "111111", "011001"},
        {"LinkButton", "111111", "111111"},
        {"MonitorButton", "111111", "000011"},
        {"ProfileButton", "111111", "000011"},
        {"ReadButton", "111111", "000011"},
        {"WriteButton", "111111", "000011"},
        {"PasswordButton", "111111", "000011"},
        {"MotorButton", "000000", "000000"},
        {"ContentsButton", "111111", "111111"},
    };
    Sandbox box;
    TMainForm form;
    const QString cmp = box.Path("k.cmp");
    uitest::WriteCompareFile(cmp);
    for (int state = Start; state <= LinkedParamDoc; ++state) {
      switch (state) {
        case ParamDoc: uitest::NewDocument(form, box.gui(), 0); break;
        case CompareDoc: QVERIFY(form.OpenDocument(cmp)); break;
        case Closed: form.FileCloseClick(); break;
        case Linked: {
          auto& s = core::State();
          s.LinkedStation = 1;
          s.LinkedModel = 1;
          form.SetLinkedState(true);
          break;
        }
        case LinkedParamDoc: uitest::NewDocument(form, box.gui(), 0); break;
        default: break;
      }
      for (const Row& row : rows) {
        const QString item = row.item;
        const bool visible = row.visible[state] == '1';
        const bool enabled = row.enabled[state] == '1';
        if (form.ItemVisible(item) != visible || form.ItemEnabled(item) != enabled)
          QFAIL(qPrintable(QString("%1 in state %2: visible %3 enabled %4").arg(item).arg(state)
                               .arg(form.ItemVisible(item)).arg(form.ItemEnabled(item))));
      }
    }
    // A hidden but enabled item still acts through its tool button; a disabled one does not.
    QVERIFY(form.ClickItem("ReadButton"));
    form.FileCloseClick();
    QVERIFY(!form.ItemVisible("FileSave"));
    QVERIFY(!form.ClickItem("SaveButton"));
  }

  // The document dialogs on their own: model lists, required choices, modal results, the print
  // title dialog's groups and height, the window services.
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

QTEST_MAIN(DocumentsTest)
#include "documents_test.moc"
