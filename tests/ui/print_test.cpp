// The printed reports: the layouts' geometry read from the report's own layout, PDFs of every
// layout and compare kind read back with poppler-utils (pages, texts and their order, A4, the
// font), the print set's flags, and the print commands run from the main window. One page of
// each layout is kept as a PNG in ui_screenshots/ of the build folder.
#include <QDir>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QTest>
#include <cmath>

#include "core/common.h"
#include "platform/report/preview_window.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/main_form.h"
#include "ui/main/print_commands.h"

using platform::report::ReportLayout;
using platform::report::TBandedReport;
using ui::TMainForm;
using uitest::Sandbox;

namespace {

QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000) || p.exitCode() != 0) qWarning() << program << p.readAllStandardError();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of each page of a PDF, as pdftotext lays it out.
QStringList PdfPages(const QString& pdf) {
  QStringList pages = Run("pdftotext", {"-layout", pdf, "-"}).split('\f');
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

// Keeps page 1 of the PDF as ui_screenshots/print_<name>.png.
void Snapshot(const QString& pdf, const QString& name) {
  const QString folder = QStringLiteral(KV_BINARY_DIR) + "/ui_screenshots";
  QDir().mkpath(folder);
  Run("pdftoppm", {"-r", "60", "-f", "1", "-l", "1", "-png", "-singlefile", pdf, folder + "/print_" + name});
  QVERIFY(QFileInfo::exists(folder + "/print_" + name + ".png"));
}

core::ParameterDefinition Parameter(int k) {
  core::ParameterDefinition r;
  r.code = QString::asprintf("P%03d", k).toStdString();
  r.unit = "Hz";
  r.descriptions[0] = QString::asprintf("Parameter number %d", k).toStdString();
  r.decimals = 1;
  r.minimum = 0;
  r.maximum = 100;
  r.defaultValue = 5;
  r.value = static_cast<float>(k) / 10;
  r.transferGroup = 1 + (k - 1) % 3;
  return r;
}

void MakeParameterDocument(int n) {
  auto& s = core::State();
  s.Document.clear();
  for (int k = 1; k <= n; ++k) s.Document.push_back(Parameter(k));
  s.ParHeader.recordCount = static_cast<std::uint16_t>(n);
  s.ParHeader.model = 1;
  s.DocumentName = "drive.par";
}

void MakeCompareDocument(int kind) {
  auto& s = core::State();
  s.ParHeader = {};
  s.CompareRecords.clear();
  for (int k = 1; k <= 5; ++k) {
    core::CompareRecord r;
    const core::ParameterDefinition p = Parameter(k);
    r.code = p.code;
    r.unit = p.unit;
    r.descriptions = p.descriptions;
    r.decimals = 2;
    r.defaultValue = 1;
    r.values = {2, 3, core::AbsentValue()};
    s.CompareRecords.push_back(r);
  }
  s.CmpHeader = {};
  s.CmpHeader.kind = static_cast<std::uint8_t>(kind);
  s.CmpHeader.station = 7;
  s.CmpHeader.model = 1;
  s.CmpHeader.fileNames[0] = "/data/first.par";
  s.CmpHeader.fileNames[1] = "/data/second.par";
}

bool Near(double a, double b) { return std::abs(a - b) < 0.005; }

// The left of control `name` in the column header (or detail) band on page 1, or -1.
double LeftOf(const ReportLayout& layout, const QString& band, const QString& name) {
  const auto* b = layout.pages[0].Band(band);
  const auto* item = b ? b->Item(name) : nullptr;
  return item ? item->rect.left() : -1;
}

int DetailRows(const ReportLayout& layout, int page) {
  int rows = 0;
  for (const auto& band : layout.pages[static_cast<std::size_t>(page)].bands) rows += band.name == "DetailBand";
  return rows;
}

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT
 private slots:
  void parameterListPaginatesAndReadsBack() {
    Sandbox box;
    TMainForm form;
    MakeParameterDocument(100);
    auto& s = core::State();
    s.Document[0].minimum = core::AbsentValue();
    s.PrintTitles[0] = "Pump station 4";
    auto report = ui::DocumentReport(*form.printTable);
    QVERIFY(report);
    const ReportLayout layout = report->Layout();

    // Bands: header, title on page 1 only, column header, rows that stay inside the page.
    QCOMPARE(layout.pages.size(), size_t(3));
    QCOMPARE(DetailRows(layout, 0) + DetailRows(layout, 1) + DetailRows(layout, 2), 100);
    QCOMPARE(DetailRows(layout, 0), 42);  // (277 - 9.3 - 36 - 5.3) / 5.3
    QCOMPARE(DetailRows(layout, 1), 49);
    for (std::size_t p = 0; p < 3; ++p) {
      const auto& bands = layout.pages[p].bands;
      QCOMPARE(bands[0].name, QString("PageHeaderBand"));
      QCOMPARE(bool(layout.pages[p].Band("TitleBand")), p == 0);
      QVERIFY(Near(layout.pages[p].Band("ColumnHeaderBand")->rect.top(), p == 0 ? 45.3 : 9.3));
      QVERIFY(bands.back().rect.bottom() <= 277.0001);
    }
    QCOMPARE(layout.pages[1].bands[2].row, 42);
    // Columns and their rules, header and detail alike.
    const struct { const char *head, *data, *rule; double left, ruleAt; } columns[] = {
        {"RptLDescription", "RptDBDescription", "RptShape13", 2.1, 67.7}, {"RptLCode", "RptDBCode", "RptShape18", 70.9, 84.7},
        {"RptLUnit", "RptDBUnit", "RptShape10", 87.3, 99.5},              {"RptLRange", "RptDBRange", "RptShape19", 102.1, 129.1},
        {"RptLDefault", "RptDBDefault", "RptShape11", 132.3, 158.8},      {"RptLSetting", "RptDBSetting", nullptr, 161.9, 0}};
    for (const auto& c : columns) {
      QVERIFY2(Near(LeftOf(layout, "ColumnHeaderBand", c.head), c.left), c.head);
      QVERIFY2(Near(LeftOf(layout, "DetailBand", c.data), c.left), c.data);
      if (c.rule) QVERIFY2(Near(LeftOf(layout, "ColumnHeaderBand", c.rule), c.ruleAt), c.rule);
    }
    const auto* title = layout.pages[0].Band("TitleBand");
    QVERIFY(Near(title->rect.height(), 36.0));
    const auto* page = title->Item("RptSysPage");
    QCOMPARE(page->text, QString("1"));
    QVERIFY(Near(page->rect.left(), 169.3) && Near(page->rect.top(), 11.1) && page->font.points == 10);
    QVERIFY(Near(title->Item("RptLRemark3")->rect.left(), 25.4) && Near(title->Item("RptLRemark3")->rect.top(), 27.0));
    QCOMPARE(title->Item("RptLTitle")->text, QString("Pump station 4"));
    QVERIFY(title->Item("RptLTitle")->font.points == 9);
    QVERIFY(layout.pages[0].Band("PageHeaderBand")->Item("RptLabelName")->font.bold);

    const QString pdf = box.Path("par.pdf");
    QString error;
    QVERIFY2(report->SaveToPdf(pdf, error), qPrintable(error));
    const QString info = Run("pdfinfo", {pdf});
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+3\\n")), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Page size:\\s+59[45].* x 84[12].* pts \\(A4\\)")), qPrintable(info));
    const QString fonts = Run("pdffonts", {pdf});
    QVERIFY2(fonts.contains("LiberationSans") || fonts.contains("Arial"), qPrintable(fonts));
    const QStringList pages = PdfPages(pdf);
    QCOMPARE(pages.size(), 3);
    for (int p = 0; p < 3; ++p) {
      QVERIFY(pages[p].contains("Parameters List") && pages[p].contains("Description"));
      QCOMPARE(pages[p].contains("Title:"), p == 0);
      QCOMPARE(pages[p].contains("Pump station 4"), p == 0);
    }
    const QString all = pages.join('\n');
    qsizetype at = 0;
    for (int k = 1; k <= 100; ++k) {
      const qsizetype next = all.indexOf(QString::asprintf("P%03d", k), at);
      QVERIFY2(next > at, qPrintable(QString::asprintf("P%03d out of order", k)));
      at = next;
    }
    const QString first = all.section('\n', all.left(all.indexOf("P001")).count('\n'), all.left(all.indexOf("P001")).count('\n'));
    QVERIFY2(!first.contains("~") && first.contains("Parameter number 1 "), qPrintable(first));
    QVERIFY(all.contains(QRegularExpression("P002\\s+Hz\\s+0\\.0~100\\.0\\s+5\\.0\\s+0\\.2")));
    Snapshot(pdf, "par");

    // A printer asked for pages 2 and 3 gets those two.
    QPrinter printer(QPrinter::HighResolution);
    report->SetUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(box.Path("range.pdf"));
    printer.setPageRanges(QPageRanges::fromString("2-3"));
    QVERIFY(report->Print(printer, layout, error));
    const QStringList printed = PdfPages(box.Path("range.pdf"));
    QCOMPARE(printed.size(), 2);
    QVERIFY(!printed[0].contains("Title:") && printed[0].contains("P043") && printed[1].contains("P100"));
  }

  void printSetFlagsChooseTheTitleAndTheGroups() {
    Sandbox box;
    TMainForm form;
    MakeParameterDocument(9);
    auto& s = core::State();
    s.PrintSet[0] = false;
    s.PrintSet[2] = false;  // transfer group 2
    ReportLayout layout = ui::DocumentReport(*form.printTable)->Layout();
    QVERIFY(!layout.pages[0].Band("TitleBand"));
    QVERIFY(Near(layout.pages[0].Band("ColumnHeaderBand")->rect.top(), 9.3));
    QCOMPARE(DetailRows(layout, 0), 6);
    for (const auto& band : layout.pages[0].bands)
      if (band.name == "DetailBand") QVERIFY(!QStringList({"P002", "P005", "P008"}).contains(band.Item("RptDBCode")->text));

    // Nothing chosen: an empty table still prints its page, with the title band when flag 1 is on.
    s.PrintSet.fill(false);
    s.PrintSet[0] = true;
    auto report = ui::DocumentReport(*form.printTable);
    layout = report->Layout();
    QCOMPARE(layout.pages.size(), size_t(1));
    QCOMPARE(DetailRows(layout, 0), 0);
    QVERIFY(layout.pages[0].Band("TitleBand") && layout.pages[0].Band("ColumnHeaderBand"));
    QString error;
    QVERIFY(report->SaveToPdf(box.Path("empty.pdf"), error));
    const QStringList pages = PdfPages(box.Path("empty.pdf"));
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages[0].contains("Parameters List") && pages[0].contains("Setting") && !pages[0].contains("P00"));
    // A PDF that cannot be written says why and leaves nothing behind.
    QVERIFY(!report->SaveToPdf(box.Path("missing/x.pdf"), error));
    QVERIFY(!error.isEmpty());
  }

  void compareKindsShowTheirColumns() {
    Sandbox box;
    TMainForm form;
    const struct { int kind; QStringList heads; } kinds[] = {
        {0, {"Default", "Station_007"}}, {1, {"first.par", "second.par"}}, {2, {"Default", "first.par", "second.par", "------"}}};
    for (const auto& k : kinds) {
      MakeCompareDocument(k.kind);
      auto report = ui::DocumentReport(*form.printTable);
      QVERIFY(report);
      const ReportLayout layout = report->Layout();
      const auto* head = layout.pages[0].Band("ColumnHeaderBand");
      if (k.kind == 2) {
        QVERIFY(Near(head->Item("RptLValue3")->rect.left(), 168.3) && Near(head->Item("RptShape22")->rect.left(), 165.1));
        QVERIFY(Near(head->Item("RptLCode")->rect.left(), 62.4));
      } else {
        // w = (165.1 - 118.5) div 5 = 9.3: value 2 and 3 go, the rest spread out.
        for (const char* gone : {"RptLValue2", "RptLValue3", "RptShape11", "RptShape22"}) QVERIFY(!head->Item(gone));
        QVERIFY(!layout.pages[0].Band("DetailBand")->Item("RptShape23"));
        QVERIFY(Near(head->Item("RptLCode")->rect.left(), 71.7) && Near(head->Item("RptShape18")->rect.left(), 96.9));
        QVERIFY(Near(head->Item("RptShape19")->rect.left(), 155.7) && Near(head->Item("RptLValue1")->rect.left(), 158.9));
        QVERIFY(Near(head->Item("RptLDescription")->rect.width(), 59.3 - 2.1 - 0.4 + 9.3));
      }
      const QString pdf = box.Path(QString("cmp%1.pdf").arg(k.kind));
      QString error;
      QVERIFY(report->SaveToPdf(pdf, error));
      const QString text = PdfPages(pdf).join('\n');
      qsizetype at = text.indexOf("Unit");
      for (const QString& h : k.heads) {
        QVERIFY2(text.indexOf(h, at) > at, qPrintable(h + "\n" + text));
        at = text.indexOf(h, at);
      }
      const QString values = k.kind == 1 ? "P003\\s+Hz\\s+2\\.00\\s+3\\.00\\n" : k.kind == 0 ? "P003\\s+Hz\\s+1\\.00\\s+2\\.00\\n"
                                                                                  : "P003\\s+Hz\\s+1\\.00\\s+2\\.00\\s+3\\.00\\n";
      QVERIFY2(text.contains(QRegularExpression(values)), qPrintable(text));
      if (k.kind == 2) Snapshot(pdf, "comp");
    }
  }

  void threeAcrossPrintsEveryRecord() {
    Sandbox box;
    TMainForm form;
    MakeParameterDocument(10);
    ReportLayout layout = ui::ThreeAcrossReport(*form.print2Table)->Layout();
    QCOMPARE(layout.pages.size(), size_t(1));
    QCOMPARE(DetailRows(layout, 0), 43);
    const auto* head = layout.pages[0].Band("ColumnHeaderBand");
    const struct { const char *box, *text; double left; } boxes[] = {{"RptShape6", "RptLCode1", 1.8},   {"RptShape7", "RptLValue1", 29.3},
                                                                     {"RptShape8", "RptLCode2", 67.7},  {"RptShape9", "RptLValue2", 95.2},
                                                                     {"RptShape12", "RptLCode3", 133.6}, {"RptShape14", "RptLValue3", 161.1}};
    for (const auto& b : boxes) {
      QVERIFY(Near(head->Item(b.box)->rect.left(), b.left) && Near(head->Item(b.box)->rect.width(), 27.7));
      QVERIFY(Near(head->Item(b.text)->rect.left(), b.left + 1.85) && Near(head->Item(b.text)->rect.width(), 24));
      QVERIFY(head->Item(b.text)->font.bold && head->Item(b.text)->font.points == 11);
    }
    QVERIFY(layout.pages[0].Band("PageHeaderBand")->Item("RptLabelName")->text.startsWith("drive.par - "));

    // 300 records: three pages of 43 rows, each page running down its three pairs.
    MakeParameterDocument(300);
    auto report = ui::ThreeAcrossReport(*form.print2Table);
    layout = report->Layout();
    QCOMPARE(layout.pages.size(), size_t(3));
    const auto& second = layout.pages[1].bands;
    QCOMPARE(second[2].Item("RptDBCode1")->text, QString("P130"));
    QCOMPARE(second[2].Item("RptDBCode3")->text, QString("P216"));
    QCOMPARE(second[2].Item("RptDBValue3")->text, QString("21.6"));
    QString error;
    QVERIFY(report->SaveToPdf(box.Path("excel.pdf"), error));
    const QStringList pages = PdfPages(box.Path("excel.pdf"));
    QCOMPARE(pages.size(), 3);
    QVERIFY(pages[0].contains(QRegularExpression("P001\\s+0\\.1\\s+P044\\s+4\\.4\\s+P087\\s+8\\.7")));
    QVERIFY(pages[2].contains(QRegularExpression("P300\\s+30\\.0")) && pages[2].contains("Code"));
    Snapshot(box.Path("excel.pdf"), "excel");
  }

  void commandsPreviewPrintAndSave() {
    Sandbox box;
    TMainForm form;
    for (const char* name : {"FilePrintPreview", "FilePrint", "Print2Button"}) form.ClickItem(name);
    QVERIFY(box.gui().dialogs.empty());  // no document: nothing to print
    uitest::NewDocument(form, box.gui(), 0);
    const QString code = QString::fromStdString(core::State().Document[0].code.str());
    for (const char* name : {"FilePrintPreview", "FilePrint", "Print2Button"}) QVERIFY2(form.Item(name)->isEnabled(), name);

    // Preview: maximised, every page shown; Save as PDF writes the pages, a bad folder is reported.
    box.gui().dialogScripts.push_back([&](QDialog& dialog) {
      auto& preview = dynamic_cast<platform::report::TPreviewWindow&>(dialog);
      QVERIFY(preview.windowState() & Qt::WindowMaximized);
      QCOMPARE(preview.View()->pageCount(), static_cast<int>(preview.Layout().pages.size()));
      preview.resize(1000, 750);
      preview.show();
      QApplication::processEvents();
      QVERIFY(preview.grab().save(QStringLiteral(KV_BINARY_DIR) + "/ui_screenshots/print_preview.png"));
      box.gui().fileAnswers.push_back({true, box.Path("preview")});
      box.gui().fileAnswers.push_back({true, box.Path("missing/preview.pdf")});
      QVERIFY(preview.SaveAsPdf());
      QVERIFY(!preview.SaveAsPdf());
    });
    QVERIFY(form.ClickItem("FilePrintPreview"));
    QCOMPARE(box.gui().dialogs.back(), QString("platform::report::TPreviewWindow"));
    QVERIFY(PdfPages(box.Path("preview.pdf")).join("").contains(code));
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCOMPARE(box.gui().messages[0].icon, platform::gui::Icon::Stop);
    QVERIFY(box.gui().messages[0].text.startsWith("The PDF file could not be saved:\n" + box.Path("missing/preview.pdf")));

    // The tool bar and the failure follow the chosen language.
    form.ViewLinguaClick();  // Italiano
    box.gui().dialogScripts.push_back([&](QDialog& dialog) {
      auto& preview = dynamic_cast<platform::report::TPreviewWindow&>(dialog);
      QCOMPARE(preview.Command("ZoomIn")->text(), QString("Ingrandisci"));
      QCOMPARE(preview.Command("SaveAsPdf")->text(), QString("Salva come PDF..."));
      QCOMPARE(preview.Command("Close")->text(), QString("Chiudi"));
      box.gui().fileAnswers.push_back({true, box.Path("missing/preview.pdf")});
      QVERIFY(!preview.SaveAsPdf());
    });
    QVERIFY(form.ClickItem("FilePrintPreview"));
    QVERIFY(box.gui().messages.back().text.startsWith("Impossibile salvare il file PDF:\n" + box.Path("missing")));
    form.ViewLinguaClick();
    form.ViewLinguaClick();
    form.ViewLinguaClick();  // English again

    // Print and the three-across list go through the print dialog to the chosen printer.
    auto printTo = [&](const QString& file) {
      box.gui().dialogScripts.push_back([file](QDialog& dialog) {
        QPrinter* printer = static_cast<QPrintDialog&>(dialog).printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        dialog.setResult(QDialog::Accepted);  // OK without the dialog taking its own settings
      });
    };
    printTo(box.Path("printed.pdf"));
    QVERIFY(form.ClickItem("FilePrint"));
    QVERIFY(PdfPages(box.Path("printed.pdf")).join("").contains("Parameters List"));
    printTo(box.Path("across.pdf"));
    QVERIFY(form.ClickItem("Print2Button"));
    QVERIFY(PdfPages(box.Path("across.pdf")).join("").contains(QRegularExpression(code + "\\s")));
    QCOMPARE(box.gui().unexpected, 0);
  }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
