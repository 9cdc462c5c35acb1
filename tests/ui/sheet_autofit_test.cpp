// Autofit of spreadsheet columns and rows through Qt's font metrics, as the program installs it:
// every fitted text fits the pixels its column or row gets, measured again with QFontMetrics.
#include <QFont>
#include <QFontMetrics>
#include <QTest>

#include "ui/main/sheet_text_measurer.h"
#include "xls/model/format_objects.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

class SheetAutofitTest : public QObject {
  Q_OBJECT

 private slots:
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
};

QTEST_MAIN(SheetAutofitTest)
#include "sheet_autofit_test.moc"
