// The compare view for the three kinds of comparison, opened from .cmp files written by the
// core, the two file compare commands, and a comparison without a difference saved, opened
// and printed.
#include <QFile>
#include <QProcess>
#include <QTest>

#include "core/common.h"
#include "core/documents.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/grid_look.h"
#include "ui/main/compare_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "platform/report/preview_window.h"

using ui::TCompareForm;
using ui::TMainForm;
using uitest::Sandbox;

namespace {

core::CompareRecord Record(const char* code, int group, int decimals, float def, float v1, float v2 = 0, float v3 = 0) {
  core::CompareRecord r;
  r.transferGroup = group;
  r.displayGroup = group;
  r.decimals = decimals;
  r.defaultValue = def;
  r.values = {v1, v2, v3};
  r.code = code;
  r.unit = "Hz";
  r.descriptions[0] = std::string("English ") + code;
  r.descriptions[1] = std::string("Italiano ") + code;
  return r;
}

// Writes a compare document through the core's writer and opens it in the window.
TCompareForm* OpenCompare(TMainForm& form, Sandbox& box, const core::CompareFileHeader& header,
                          const std::vector<core::CompareRecord>& records) {
  auto& s = core::State();
  s.CmpHeader = header;
  s.CmpHeader.recordCount = static_cast<std::uint16_t>(records.size());
  s.CompareRecords = records;
  const QString path = box.Path("doc.cmp");
  if (!core::SaveCompareFile(path.toStdString())) return nullptr;
  s.CmpHeader = {};
  s.CompareRecords.clear();
  if (!form.OpenDocument(path)) return nullptr;
  return uitest::CompareView(form);
}

}  // namespace

class CompareGridTest : public QObject {
  Q_OBJECT
 private slots:
  // The three kinds, each from a file written by the core: columns, headers (station, short
  // file names, "------" for a missing file), cells (empty for NaN), tabs only for two pages.
  void layoutOfEachKind() {
    Sandbox box(uitest::LanguageNames());
    TMainForm form;
    struct Kind {
      core::CompareKind kind;
      std::vector<core::CompareRecord> records;
      QStringList heads;
      QStringList row1;
      int tabs;
    };
    const float nan = core::AbsentValue();
    const Kind kinds[] = {
        {core::DriveWithDefaults,
         {Record("P0.01", 1, 2, 50, 60), Record("P0.02", 1, 1, nan, 5)},
         {"Description", "Code", "Unit", "Default", "Station_007"},
         {"English P0.01", "P0.01", "Hz", "50.00", "60.00"},
         1},
        {core::FileWithFile,
         {Record("P5.00", 2, 1, 0, 1.5, 2.5)},
         {"Description", "Code", "Unit", "one.par", "two.par"},
         {"English P5.00", "P5.00", "Hz", "1.5", "2.5"},
         1},
        {core::FilesWithDefaults,
         {Record("P0.01", 1, 0, 1, 2, nan, nan), Record("P1.00", 2, 0, 1, 3, 4, 5), Record("P1.01", 2, 0, 1, 6, 7, 8)},
         {"Description", "Code", "Unit", "Default", "one.par", "two.par", "------"},
         {"English P0.01", "P0.01", "Hz", "1", "2", "", ""},
         2},
    };
    for (const Kind& k : kinds) {
      core::CompareFileHeader h;
      h.kind = k.kind;
      h.station = 7;
      h.model = 1;
      h.modelName = "KV100";
      h.fileNames[0] = "/plant/one.par";
      h.fileNames[1] = "C:\\old\\two.par";
      TCompareForm* view = OpenCompare(form, box, h, k.records);
      QVERIFY(view);
      QCOMPARE(view->ColumnCount(), int(k.heads.size()));
      for (int c = 0; c < k.heads.size(); ++c) {
        QCOMPARE(view->Cell(c, 0), k.heads[c]);
        QCOMPARE(view->Cell(c, 1), k.row1[c]);
      }
      QCOMPARE(view->TabCount(), k.tabs);
      QCOMPARE(view->TabControl->isHidden(), k.tabs < 2);
      QCOMPARE(form.StatusPanel(4), QString(" Model:KV100"));
      QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [doc.cmp]"));
      QVERIFY(!form.ItemVisible("OperationWrite"));
    }
    TCompareForm* view = uitest::CompareView(form);
    QCOMPARE(view->TabControl->tabText(1), QString("   Motor   "));
    view->TabControl->setCurrentIndex(1);
    QCOMPARE(view->RowCount(), 3);
    QCOMPARE(view->Cell(1, 2), QString("P1.01"));
    QCOMPARE(view->Cell(6, 2), QString("8"));
    QCOMPARE(view->CurrentRow, 1);

    // Colours: the first data row is highlighted, the default column red elsewhere.
    QImage image(600, 20, QImage::Format_RGB32);
    QPainter p(&image);
    view->compGridDrawCell(&p, 3, 1, QRect(0, 0, 600, 20));
    QCOMPARE(image.pixelColor(599, 10), ui::kCurrentBlue);
    view->compGridDrawCell(&p, 3, 2, QRect(0, 0, 600, 20));
    QCOMPARE(image.pixelColor(599, 10), QColor(Qt::white));
    p.end();

    form.ViewLinguaClick();  // to language 2: headers and descriptions change, tabs stay
    QCoreApplication::processEvents();
    QCOMPARE(view->Cell(0, 0), QString("Descrizione"));
    QCOMPARE(view->Cell(0, 1), QString("Italiano P1.00"));
    QCOMPARE(view->Cell(4, 0), QString("one.par"));
    QCOMPARE(view->TabControl->tabText(1), QString("   Motor   "));

    core::State().CmpHeader.kind = 5;  // no file holds such a kind; the view shows it as kind 2
    TCompareForm above(&form);
    QCOMPARE(above.Kind(), 2);
    QCOMPARE(above.ColumnCount(), 7);
  }

  void compareCommandsBuildTheDocument() {
    Sandbox box;
    TMainForm form;
    auto& gui = box.gui();
    auto& s = core::State();
    auto saveAs = [&](int model, const QString& name, float first) {
      uitest::NewDocument(form, gui, model);
      s.Document[0].value = first;
      gui.fileAnswers.push_back({true, box.Path(name)});
      form.FileSaveAsClick();
    };
    saveAs(0, "one.par", 2.0f);
    saveAs(0, "two.par", 1.0f);
    saveAs(1, "servo.par", 2.0f);

    gui.dialogScripts.push_back([&](QDialog& d) {
      auto& dialog = static_cast<ui::TCompareFileForm&>(d);
      gui.fileAnswers.push_back({true, box.Path("one.par")});
      dialog.Button1Click();
      dialog.OK->click();  // one file only: stays open
      QCOMPARE(dialog.result(), 0);
      gui.fileAnswers.push_back({true, box.Path("two.par")});
      dialog.Button2Click();
      dialog.OK->click();
    });
    form.ClickItem("CompareFile");
    TCompareForm* view = uitest::CompareView(form);
    QVERIFY(view);
    QCOMPARE(s.CmpHeader.kind, std::uint8_t(core::FileWithFile));
    QCOMPARE(view->RowCount(), 2);
    QCOMPARE(view->Cell(1, 1), QString("P0.00"));
    QCOMPARE(view->Cell(3, 0), QString("one.par"));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [Untitled]"));
    QVERIFY(s.Document.empty());

    // Files of different models.
    gui.dialogScripts.push_back([&](QDialog& d) {
      auto& dialog = static_cast<ui::TCompareFileForm&>(d);
      dialog.file1->setText(box.Path("one.par"));
      dialog.file2->setText(box.Path("servo.par"));
      dialog.OK->click();
    });
    form.CompareFileClick();
    QCOMPARE(gui.messages.back().text, QString("Different Model"));
    QCOMPARE(uitest::CompareView(form), view);

    gui.dialogScripts.push_back([&](QDialog& d) {
      auto& dialog = static_cast<ui::TCompareFilesForm&>(d);
      dialog.file1->setText(box.Path("one.par"));
      dialog.file3->setText(box.Path("two.par"));
      dialog.OK->click();
    });
    form.CompareFilesClick();
    view = uitest::CompareView(form);
    QVERIFY(view);
    QCOMPARE(s.CmpHeader.kind, std::uint8_t(core::FilesWithDefaults));
    QCOMPARE(view->Cell(5, 0), QString("------"));
    QCOMPARE(view->Cell(6, 0), QString("two.par"));
    QCOMPARE(view->Cell(1, 1), QString("P0.00"));
    QCOMPARE(view->Cell(4, 1), QString("2"));
    QCOMPARE(view->Cell(5, 1), QString());
    QCOMPARE(view->Cell(6, 1), QString("1"));

    // The compare document saves as a compare file and opens again.
    gui.fileAnswers.push_back({true, box.Path("result")});
    form.FileSaveClick();
    QCOMPARE(gui.fileDialogs.back().filter, QString("Compare Files|*.cmp"));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [result.cmp]"));
    form.FileCloseClick();
    QVERIFY(form.OpenDocument(box.Path("result.cmp")));
    QCOMPARE(uitest::CompareView(form)->Cell(6, 1), QString("1"));
    QCOMPARE(gui.unexpected, 0);
  }

  // A compare that finds no difference opens its empty view; Save writes it (its header alone),
  // Save again writes back to its file, and it opens again and prints as an empty comparison.
  void emptyComparisonSavesOpensAndPrints() {
    Sandbox box;
    TMainForm form;
    auto& gui = box.gui();
    uitest::NewDocument(form, gui, 0);
    gui.fileAnswers.push_back({true, box.Path("one.par")});
    form.FileSaveAsClick();
    gui.dialogScripts.push_back(uitest::PressOk([&](QDialog& d) {
      auto& dialog = static_cast<ui::TCompareFileForm&>(d);
      dialog.file1->setText(box.Path("one.par"));
      dialog.file2->setText(box.Path("one.par"));
    }));
    form.CompareFileClick();
    TCompareForm* view = uitest::CompareView(form);
    QVERIFY(view);
    QCOMPARE(view->RowCount(), 2);
    QCOMPARE(view->Cell(1, 1), QString());

    const QString path = box.Path("same.cmp");
    gui.fileAnswers.push_back({true, path});
    form.FileSaveClick();
    QVERIFY(gui.messages.empty());
    QCOMPARE(QFileInfo(path).size(), qint64(core::kCompareHeaderSize));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [same.cmp]"));
    // Named now: Save writes back to that file without a dialog.
    QVERIFY(QFile::remove(path));
    const std::size_t dialogs = gui.fileDialogs.size();
    form.FileSaveClick();
    QCOMPARE(gui.fileDialogs.size(), dialogs);
    QCOMPARE(QFileInfo(path).size(), qint64(core::kCompareHeaderSize));

    form.FileCloseClick();
    QVERIFY(form.Child() == nullptr);
    QVERIFY(form.OpenDocument(path));
    view = uitest::CompareView(form);
    QVERIFY(view);
    QCOMPARE(view->RowCount(), 2);
    QCOMPARE(view->Cell(3, 0), QString("one.par"));
    QCOMPARE(view->Cell(4, 0), QString("one.par"));
    QCOMPARE(view->Cell(1, 1), QString());
    QCOMPARE(view->TabCount(), 0);
    QVERIFY(core::State().CompareRecords.empty());
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00 - [same.cmp]"));

    // The report of the empty comparison: its column heads and no line.
    gui.dialogScripts.push_back([&](QDialog& dialog) {
      auto& preview = dynamic_cast<platform::report::TPreviewWindow&>(dialog);
      QCOMPARE(preview.Layout().pages.size(), std::size_t(1));
      gui.fileAnswers.push_back({true, box.Path("same.pdf")});
      QVERIFY(preview.SaveAsPdf());
    });
    QVERIFY(form.ClickItem("FilePrintPreview"));
    QProcess text;
    text.start("pdftotext", {"-layout", box.Path("same.pdf"), "-"});
    QVERIFY(text.waitForFinished(30000) && text.exitCode() == 0);
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains("Unit") && printed.contains("one.par") && !printed.contains("P0."), qPrintable(printed));
    QVERIFY(gui.messages.empty());
    QCOMPARE(gui.unexpected, 0);
  }
};

QTEST_MAIN(CompareGridTest)
#include "compare_grid_test.moc"
