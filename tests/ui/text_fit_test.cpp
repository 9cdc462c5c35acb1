// What the windows draw, in each of the four languages of the test configuration (whose
// translations are longer than the English texts): every text against the room it has,
// measured with the widget's own font, and the grid headers checked on the drawn pixels. A
// screenshot of each window per language is kept under the build folder (ui_screenshots/).
#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTextDocument>

#include "core/common.h"
#include "core/documents.h"
#include "tests/ui/drive_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/grid_look.h"
#include "ui/common/qt_text.h"
#include "ui/drive/group_forms.h"
#include "ui/drive/link_form.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/read_write_form.h"
#include "ui/main/compare_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using ui::TMainForm;
using uitest::Sandbox;
using uitest::Shot;

namespace {

// A label shows its whole text when the text is no wider than its contents less the indent
// (half an "x" when the label has a frame).
QString LabelCut(const QLabel* label) {
  const QFontMetrics m = label->fontMetrics();
  const int indent = label->indent() >= 0 ? label->indent() : label->frameWidth() > 0 ? m.horizontalAdvance('x') / 2 : 0;
  const int room = label->contentsRect().width() - indent;
  // A rich text is laid out by the label itself: its size hint is what it needs.
  const bool rich = label->textFormat() == Qt::RichText ||
                    (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
  const int needs = rich ? label->sizeHint().width() - (label->width() - room) : m.horizontalAdvance(label->text());
  return needs <= room ? QString() : QString("%1 \"%2\": %3 > %4").arg(label->objectName(), label->text()).arg(needs).arg(room);
}

QString ButtonCut(const QAbstractButton* button) {
  const int needs = button->sizeHint().width();
  return needs <= button->width()
             ? QString()
             : QString("%1 \"%2\": %3 > %4").arg(button->objectName(), button->text()).arg(needs).arg(button->width());
}

// Every visible label, button and group-box title of a dialog that does not show its whole
// text, and every part that lies outside the dialog.
QStringList DialogCuts(QWidget& dialog) {
  QStringList cuts;
  for (QLabel* label : dialog.findChildren<QLabel*>())
    if (label->isVisible()) cuts << LabelCut(label);
  for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
    if (button->isVisible()) cuts << ButtonCut(button);
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
    const int title = box->fontMetrics().horizontalAdvance(ui::ShownText(box->title()));
    if (title > box->width() - 16) cuts << QString("%1 title \"%2\"").arg(box->objectName(), box->title());
  }
  for (QWidget* part : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (part->isVisible() && !dialog.rect().contains(part->geometry())) cuts << part->objectName() + " outside the dialog";
  cuts.removeAll(QString());
  return cuts;
}

// The first status panel of the main window that cuts its text, or nothing.
QString PanelCut(TMainForm& form) {
  for (int p = 1; p <= 5; ++p) {
    const QString panel = LabelCut(form.findChild<QLabel*>(QString("StatusPanel%1").arg(p)));
    if (!panel.isEmpty()) return panel;
  }
  return QString();
}

// The header row as drawn: each section's text keeps 2 pixels from both edges of its cell (a
// text that runs over shows dark pixels at the edges, in its own cell or the neighbour's),
// and a section with a text shows some of it.
QString HeaderCut(QTableWidget* grid) {
  QHeaderView* header = grid->horizontalHeader();
  const QImage image = header->grab().toImage();
  auto dark = [&](int x, int y) { return x >= 0 && x < image.width() && qGray(image.pixel(x, y)) < 100; };
  for (int c = 0; c < grid->columnCount(); ++c) {
    if (grid->isColumnHidden(c) || header->sectionSize(c) < 8) continue;
    const int left = header->sectionViewportPosition(c);
    const int right = left + header->sectionSize(c) - 1;  // the grid line
    int inside = 0;
    for (int y = 0; y < image.height() - 1; ++y) {
      for (int x : {left, left + 1, right - 2, right - 1})
        if (dark(x, y)) return QString("column %1 \"%2\": text at the cell's edge").arg(c).arg(grid->horizontalHeaderItem(c)->text());
      for (int x = left + 2; x < right - 2; ++x) inside += dark(x, y);
    }
    if (!grid->horizontalHeaderItem(c)->text().isEmpty() && inside == 0) return QString("column %1: no text drawn").arg(c);
  }
  return QString();
}

}  // namespace

class TextFitTest : public QObject {
  Q_OBJECT
 private slots:
  void captionsKeepALiteralAmpersand() {
    // Qt's own reading of the caption: no mnemonic where "&" is meant literally.
    QCOMPARE(ui::MenuText("Print Title & Set"), QString("Print Title && Set"));
    QVERIFY(QKeySequence::mnemonic(ui::MenuText("Print Title & Set")).isEmpty());
    QCOMPARE(QKeySequence::mnemonic(ui::MenuText("&Clear Print Title")), QKeySequence(Qt::ALT | Qt::Key_C));
    const std::pair<const char*, const char*> shown[] = {
        {"Print Title & Set", "Print Title & Set"}, {"A && B", "A & B"}, {"Tail &", "Tail &"}, {"&Clear", "Clear"}};
    for (const auto& [text, expected] : shown) QCOMPARE(ui::ShownText(ui::MenuText(text)), QString(expected));
    Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 0);
    QCOMPARE(ui::ShownText(form.Item("FilePrintTitle")->text()), QString("Print Title & Set"));
    ui::TPrintTitleForm dialog(&form);
    QCOMPARE(dialog.windowTitle(), QString("Print Title & Set"));
    QCOMPARE(ui::ShownText(dialog.Clear->text()), QString("Clear Print Title"));
  }

  void statusPanelsHoldTheirLongestTexts() {
    for (int lang = 1; lang <= 4; ++lang) {
      Sandbox box;
      box.SetSetting("ParameterLanguage", lang);
      box.SetSetting("ParameterOnline", 1);
      TMainForm form;
      QCOMPARE(core::State().LanguageIndex, lang);
      // Maximised on a screen 1280 pixels wide, the first panel has room for every menu hint.
      form.setWindowState(Qt::WindowNoState);
      form.resize(1280, 800);
      form.show();
      auto cut = [&](const QString& state) {
        QCoreApplication::processEvents();
        const QString panel = PanelCut(form);
        return panel.isEmpty() ? panel : QString("language %1, %2: %3").arg(lang).arg(state, panel);
      };
      QVERIFY2(cut("not linked").isEmpty(), qPrintable(cut("not linked")));
      if (lang == 1) {
        const QStringList panels{" Ready", " Ver:xxx", " No Station linked", " Model:xxxxxxxxxxxx", ""};
        for (int p = 1; p <= 5; ++p) QCOMPARE(form.StatusPanel(p), panels[p - 1]);
      }
      auto& s = core::State();
      s.LinkedStation = 254;
      s.LinkedModel = 1;
      s.LinkRevision = "2.10";
      s.LinkProduct = "KV100";
      form.SetLinkedState(true);
      form.UpdateStatusBar();
      QVERIFY2(cut("linked online").isEmpty(), qPrintable(cut("linked online")));
      if (lang == 1) {
        const QStringList panels{" Ready", " Ver:2.10", " Linking 254", " Model:KV100", " Online Edit"};
        for (int p = 1; p <= 5; ++p) QCOMPARE(form.StatusPanel(p), panels[p - 1]);
      }
      uitest::NewDocument(form, box.gui(), 1);
      form.Item("OperationOnline")->setChecked(false);  // checked off while online: the offline text
      form.UpdateStatusBar();
      QVERIFY2(cut("offline edit").isEmpty(), qPrintable(cut("offline edit")));
      for (const QString name : {"FileNew", "FileOpen", "CompareInverter", "CompareFiles", "FilePrintTitle", "FilePrint",
                                 "EditFind", "OperationLink", "OperationMonitor", "ViewLingua", "HelpAbout"}) {
        form.MenuSelect(form.Item(name));
        QCOMPARE(form.StatusPanel(1), " " + form.ItemHint(name));
        QVERIFY2(cut("hint of " + name).isEmpty(), qPrintable(cut("hint of " + name)));
      }
    }
  }

  void gridHeadersStayInTheirCells() {
    for (int lang = 1; lang <= 4; ++lang) {
      Sandbox box;
      box.SetSetting("ParameterLanguage", lang);
      TMainForm form;
      form.setWindowState(Qt::WindowNoState);
      form.resize(800, 600);  // narrow enough that the longer headers are cut to fit
      form.show();
      uitest::NewDocument(form, box.gui(), 0);
      ui::TParamForm* view = uitest::ParamView(form);
      QVERIFY(view);
      view->SelectRow(2);
      QCoreApplication::processEvents();
      const QString cut = HeaderCut(view->parGrid) + PanelCut(form);
      QVERIFY2(cut.isEmpty(), qPrintable(QString("language %1 parameters: %2").arg(lang).arg(cut)));
      Shot(form, QString("main_window_parameters_%1").arg(lang));
      if (lang == 1) {
        const QImage image = form.grab().toImage();
        QCOMPARE(image.pixelColor(view->parGrid->horizontalHeader()->mapTo(&form, QPoint(3, 3))), ui::kHeaderCream);
      }

      auto& s = core::State();
      s.CmpHeader = {};
      s.CmpHeader.kind = core::FilesWithDefaults;
      s.CmpHeader.model = 1;
      s.CmpHeader.fileNames[0] = "/plant/drive with a long name.par";
      s.CompareRecords.assign(2, core::CompareRecord{});
      for (auto& r : s.CompareRecords) r.displayGroup = r.transferGroup = 1;
      ui::TCompareForm compare(nullptr);
      compare.resize(700, 200);
      compare.show();
      QCoreApplication::processEvents();
      const QString compareCut = HeaderCut(compare.compGrid);
      QVERIFY2(compareCut.isEmpty(), qPrintable(QString("language %1 compare: %2").arg(lang).arg(compareCut)));
      Shot(compare, QString("compare_view_%1").arg(lang));
      form.FileCloseClick();
      if (lang == 1) Shot(form, "main_window_empty");
    }
  }

  // The dialogs, the print-title dialog (its third remark line and the title edits inside their
  // group) and the read/write progress window with the longest code.
  void dialogsShowTheirTexts() {
    for (int lang = 1; lang <= 4; ++lang) {
      Sandbox box;
      box.SetSetting("ParameterLanguage", lang);
      TMainForm form;
      uitest::NewDocument(form, box.gui(), 0);
      core::State().LinkedModel = 1;
      ui::TLinkForm link(&form);
      ui::TReadForm read(&form);
      ui::TWriteForm write(&form);
      ui::TNewModelForm model(&form);
      ui::TCompareFilesForm files(&form);
      ui::TAboutForm about(&form);
      ui::TPrintTitleForm title(&form);
      QCOMPARE(title.windowTitle(), ui::LIn(8, lang));
      for (QDialog* dialog : std::initializer_list<QDialog*>{&link, &read, &write, &model, &files, &about, &title}) {
        dialog->show();
        QStringList cuts = DialogCuts(*dialog);
        if (dialog == &title) {
          for (QLineEdit* edit : title.titleEdits)
            if (!title.GroupBox1->rect().adjusted(2, 2, -2, -2).contains(edit->geometry())) cuts << edit->objectName() + " outside its group";
        }
        cuts.removeAll(QString());
        QVERIFY2(cuts.isEmpty(), qPrintable(QString("language %1 %2: %3").arg(lang).arg(dialog->objectName(), cuts.join("; "))));
        Shot(*dialog, dialog == &title ? QString("print_title_%1").arg(lang) : QString("%1_%2").arg(dialog->objectName()).arg(lang));
      }

      auto& doc = core::State().Document;
      doc[1].code = "P0.01-ABCDEFGHIJKLMN";  // 20 characters, the longest a code can be
      for (const bool reading : {true, false}) {
        ui::TReadWriteForm progress(&form);
        progress.ReadMode = reading;
        progress.Groups.fill(true);
        if (reading) core::State().ParamDefs[1].code = doc[1].code;
        progress.show();  // sizes the window; its loop starts only when events are processed
        progress.Label1->setText(ui::L(reading ? 92 : 93) + ui::Qs(doc[1].code.view()));
        const QString cut = LabelCut(progress.Label1);
        QVERIFY2(cut.isEmpty(), qPrintable(QString("language %1: %2").arg(lang).arg(cut)));
        QCOMPARE(progress.ProgBar->width(), progress.Label1->width());
        Shot(progress, QString("progress_%1_%2").arg(reading ? "read" : "write").arg(lang));
        progress.hide();
      }
    }
  }

  // The monitor's labels (but its 26-pixel bit lamps) with the test and the demonstration
  // configurations, and the shares of the motor table's columns.
  void monitorAndMotorTableShowTheirTexts() {
    for (int lang = 1; lang <= 4; ++lang)
      for (const QString config : {"/Kestravel.cfg", "/../../demo/Kestravel.cfg"}) {
        uitest::FakeBench bench(KV_TEST_DATA + config, "KV100", 1, 1);
        core::State().LanguageIndex = lang;
        ui::TMonitorForm monitor;
        monitor.show();
        for (QLabel* label : monitor.findChildren<QLabel*>())
          if (label->isVisible() && !label->objectName().startsWith("Panel"))
            QVERIFY2(LabelCut(label).isEmpty(), qPrintable(QString("language %1, %2: %3").arg(lang).arg(config, LabelCut(label))));
      }
    // A cell as wide as a header needs shows it whole in the bold header font.
    QFont sans("DejaVu Sans", 9), bold = sans;
    bold.setBold(true);
    for (const QString head : {"cos phi", "Poles", "L mH"})
      QCOMPARE(ui::HeaderText(QFontMetrics(bold), head, ui::HeaderNeeds(sans, head)), head);
    // A wide header takes what it needs from the others; without room, equal shares.
    QCOMPARE(ui::ShareColumnWidths({10, 10, 70}, 120), (std::vector<int>{25, 25, 70}));
    QCOMPARE(ui::ShareColumnWidths({10, 44, 40}, 120), (std::vector<int>{36, 44, 40}));
    QCOMPARE(ui::ShareColumnWidths({60, 70, 10}, 120), (std::vector<int>{40, 40, 40}));
  }
};

QTEST_MAIN(TextFitTest)
#include "text_fit_test.moc"
