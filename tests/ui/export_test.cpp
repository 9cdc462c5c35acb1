// The program's spreadsheets: autofit of columns and rows through Qt's font metrics (every
// fitted text fits the pixels its column or row gets, measured again with QFontMetrics), and
// File > Export As end to end: a parameter document written as a workbook and read back by
// python3-xlrd, LibreOffice and gnumeric; a failed save shows a message; without a parameter
// view nothing happens.
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include "core/common.h"
#include "core/texts.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/main_form.h"
#include "ui/main/sheet_text_measurer.h"
#include "xls/model/format_objects.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

using ui::TMainForm;
using uitest::Sandbox;

namespace {

QStringList ReadWithXlrd(const QString& path) {
  QProcess p;
  p.start("/usr/bin/python3", {QStringLiteral(KV_TEST_DATA) + "/../ui/export_check.py", path});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    qWarning() << p.readAllStandardError();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class ExportTest : public QObject {
  Q_OBJECT
 private slots:
  // The program installs Qt's font metrics for spreadsheet autofit before its window opens.
  void initTestCase() { ui::InstallSheetTextMeasurer(); }
  void cleanupTestCase() { xls::SetTextMeasurer(nullptr); }

  // One text a column: the column is as wide as the text, its margins and a third of a "0".
  void columnsHoldTheirTexts() {
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
    const struct {
      const char16_t* cell;
      const char16_t* text;
      int size;
      bool bold;
    } cells[] = {{u"A1", u"Parameter description", 10, false},
                 {u"D1", u"WWWWWWWW", 14, true},
                 {u"B1", u"i", 10, false},
                 {u"C1", u"Frequenzsollwert \u00fcber Analogeingang", 8, false}};
    for (const auto& c : cells) {
      xls::IXLSRange r = sheet->GetRange(c.cell);
      r->SetValue(xls::Variant(c.text));
      r->SetFontSize(c.size);
      r->SetFontBold(c.bold);
    }
    sheet->GetUsedRange()->AutoFit(true);
    for (const auto& c : cells) {
      xls::IXLSRange r = sheet->GetRange(c.cell);
      QFont font(QString::fromStdU16String(r->GetFontName()));
      font.setPointSize(c.size);
      font.setBold(c.bold);
      const int text = QFontMetrics(font).horizontalAdvance(QString::fromStdU16String(c.text));
      const int room = xls::TXLSAutoFit::CharsToPixels(r->GetColumnWidth().NumberValue());
      QVERIFY2(text <= room, qPrintable(QString("%1: %2 px in %3").arg(QString::fromStdU16String(c.cell)).arg(text).arg(room)));
      // Not much more than the text and its margins either.
      QVERIFY2(room <= text + 5 + QFontMetrics(font).horizontalAdvance('0') + 2,
               qPrintable(QString("%1: %2 px for %3").arg(QString::fromStdU16String(c.cell)).arg(room).arg(text)));
    }
  }

  void rowsHoldTheirLines() {
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
    sheet->GetRange(u"A1")->SetValue(xls::Variant(u"big"));
    sheet->GetRange(u"A1")->SetFontSize(24);
    sheet->GetRange(u"A2")->SetValue(xls::Variant(u"one two three four five six seven"));
    sheet->GetRange(u"A2")->SetWrapText(xls::Variant(true));
    sheet->GetUsedRange()->AutoFit(false);
    QFont big(QString::fromStdU16String(sheet->GetRange(u"A1")->GetFontName()));
    big.setPointSize(24);
    const double dpi = xls::TXLSAutoFit::ScreenDpi();
    const double row1 = sheet->GetRange(u"A1")->GetRowHeight().NumberValue() * dpi / 72;
    QVERIFY2(row1 >= QFontMetrics(big).height(), qPrintable(QString::number(row1)));
    // The wrapped text takes several lines of the default font.
    QFont normal(QString::fromStdU16String(sheet->GetRange(u"A2")->GetFontName()));
    normal.setPointSize(10);
    const double row2 = sheet->GetRange(u"A2")->GetRowHeight().NumberValue() * dpi / 72;
    QVERIFY2(row2 >= 2 * QFontMetrics(normal).height(), qPrintable(QString::number(row2)));
  }

  // The document exported once, read back by xlrd (cell types and styles), then by LibreOffice
  // and gnumeric (the spreadsheet tests' peer checker) with the texts as they show them.
  void exportsTheDocumentAsTextCells() {
    Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 1);
    auto& document = core::State().Document;
    const int n = static_cast<int>(document.size());
    QVERIFY(n >= 3);
    document[0].decimals = 2;
    document[0].value = 1.5f;
    document[1].value = core::AbsentValue();
    box.gui().fileAnswers.push_back({true, box.Path("params")});
    form.FileExportClick();
    QCOMPARE(box.gui().fileDialogs.size(), size_t(1));
    QCOMPARE(box.gui().fileDialogs[0].filter, QString("Excel Files|*.xls"));
    QVERIFY(box.gui().messages.empty());
    const QString file = box.Path("params.xls");
    QVERIFY(QFileInfo::exists(file));

    const QStringList lines = ReadWithXlrd(file);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines[0], QString("sheets Sheet1"));
    QCOMPARE(lines[1], QString("size %1 2").arg(n + 1));
    QStringList expected{"0 0 text 1 1 Code", "0 1 text 1 1 Value"};
    QJsonArray display;
    auto add = [&display](int r, int c, const QString& text) { display.append(QJsonArray{r, c, "text", QJsonArray{text}}); };
    add(0, 0, "Code");
    add(0, 1, "Value");
    for (int r = 0; r < n; ++r) {
      const auto& record = document[static_cast<std::size_t>(r)];
      const QString code = QString::fromStdString(record.code.str());
      const QString value = QString::fromStdString(core::FormatValue(record.decimals, record.value));
      expected << QString("%1 0 text 0 1 %2").arg(r + 1).arg(code);
      add(r + 1, 0, code);
      if (core::IsAbsent(record.value)) {
        expected << QString("%1 1 empty 0 1 ").arg(r + 1);  // a blank of the centred block
      } else {
        expected << QString("%1 1 text 0 1 %2").arg(r + 1).arg(value);
        add(r + 1, 1, value);
      }
    }
    QCOMPARE(lines.mid(2), expected);
    QVERIFY(lines.contains("1 1 text 0 1 1.50"));  // the decimals stay as typed

    QJsonObject checked{{"path", file}, {"sheet", "Sheet1"}, {"display", display}};
    uitest::WriteFile(box.Path("peers.json"), QJsonDocument(QJsonObject{{"files", QJsonArray{checked}}}).toJson());
    for (const char* peer : {"libreoffice", "gnumeric"}) {
      QProcess p;
      p.start("/usr/bin/python3", {QStringLiteral(KV_TEST_DATA) + "/../xls/io/peers_check.py", peer, box.Path(""),
                                   box.Path("peers.json")});
      QVERIFY(p.waitForFinished(300000));
      QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())));
    }
  }

  // Without a parameter view nothing happens; a failed save shows a message and leaves nothing.
  void failedSaveShowsAMessage() {
    Sandbox box;
    TMainForm form;
    form.FileExportClick();
    QVERIFY(box.gui().fileDialogs.empty());
    QVERIFY(box.gui().messages.empty());
    uitest::NewDocument(form, box.gui(), 1);
    box.gui().fileAnswers.push_back({true, box.Path("missing/params.xls")});
    form.FileExportClick();
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCOMPARE(box.gui().messages[0].caption, QString::fromStdString(core::LangStr(73)));
    QVERIFY(box.gui().messages[0].text.contains("missing"));
    QVERIFY(!QFileInfo::exists(box.Path("missing")));

    // Export As and Save As name the failed step in the chosen language, the path and the
    // system's reason after it.
    QVERIFY(box.gui().messages[0].text.startsWith("Cannot create \"" + box.Path("missing/params.xls") + "\": "));
    form.ViewLinguaClick();
    form.ViewLinguaClick();  // Deutsch
    box.gui().fileAnswers.push_back({true, box.Path("missing/params.xls")});
    form.FileExportClick();
    QVERIFY(box.gui().messages.back().text.startsWith("Fehler beim Erstellen von \"" + box.Path("missing/params.xls")));
    box.gui().fileAnswers.push_back({true, box.Path("missing/params.par")});
    form.FileSaveAsClick();
    QVERIFY2(box.gui().messages.back().text.startsWith("Fehler beim Erstellen von \"" + box.Path("missing/params.par") +
                                                       "\": "),
             qPrintable(box.gui().messages.back().text));
    QCOMPARE(box.gui().messages.size(), size_t(3));
    QVERIFY(!QFileInfo::exists(box.Path("missing")));
  }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
