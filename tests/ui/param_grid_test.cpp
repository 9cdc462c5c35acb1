// The parameter view: tabs by display group, cells, the keystroke filter, the range check, the
// access-level passwords, the selection rules, the look, and online edit against the
// in-process simulated drive.
#include <QCoreApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTabBar>
#include <QTest>
#include <QToolTip>
#include <QHelpEvent>

#include "core/common.h"
#include "core/param_access.h"
#include "core/serial_link.h"
#include "tests/ui/ui_test_support.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"
#include "ui/common/grid_look.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"
#include "ui/main/setting_grid.h"

using ui::TMainForm;
using ui::TParamForm;
using uitest::RowOfCode;
using uitest::Sandbox;

namespace {

// The main window linked with online edit to a simulated KV100 at station 1 behind the
// in-process port, a new document of it open in `view`.
struct OnlineGrid {
  OnlineGrid() {
    box.SetSetting("ParameterOnline", 1);
    drive.AddStation(1);
    form = std::make_unique<TMainForm>();
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(drive));
    uitest::LinkWindow(*form, 1);
    uitest::NewDocument(*form, box.gui(), 0);
    view = uitest::ParamView(*form);
  }
  ~OnlineGrid() { core::ClosePort(); }
  Sandbox box;
  simdrive::Drive drive{"Kestravel", "KV100", "1.0"};
  std::unique_ptr<TMainForm> form;
  TParamForm* view = nullptr;
};

// Opens the editor on the setting cell of `row`, types `keys` one at a time and presses Enter.
void TypeIntoRow(TParamForm& view, int row, const QString& keys, bool enter = true) {
  view.SelectRow(row);
  view.parGrid->OpenEditor();
  QLineEdit* editor = view.parGrid->Editor();
  QVERIFY(editor);
  editor->selectAll();
  editor->del();
  for (QChar c : keys) QTest::keyClick(editor, c.toLatin1());
  if (enter) {
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the delegate commits through a posted call
  }
}

}  // namespace

class ParamGridTest : public QObject {
  Q_OBJECT
 private slots:
  // A new document's view: tabs by display group, cells, the selection kept in the setting
  // column, Go to and refresh, the owner-drawn colours; a one-page model has no tab strip.
  void newDocumentView() {
    Sandbox box;
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    QVERIFY(view);
    QCOMPARE(view->TabCount(), 3);
    QVERIFY(!view->TabControl->isHidden());
    QCOMPARE(view->TabControl->tabText(1), QString("   Motor   "));
    QVERIFY(view->parGrid->isColumnHidden(0));
    QCOMPARE(view->RowCount(), 6);  // header and the five lines of display group 1
    const QStringList row2{"1", "Maximum frequency", "P0.01", "Hz", "0.00~400.00", "50.00", "50.00"};
    for (int c = 0; c < 7; ++c) QCOMPARE(view->Cell(c, 2), row2[c]);
    QCOMPARE(view->Cell(4, 3), QString("-100.0~100.0"));
    QCOMPARE(view->SelectedIndex, 0);
    QCOMPARE(view->CurrentGroup, 1);
    QCOMPARE(view->parGrid->currentColumn(), 6);
    QVERIFY(!core::State().DocumentModified);

    view->TabControl->setCurrentIndex(2);
    QCOMPARE(view->CurrentGroup, 3);
    QCOMPARE(view->RowCount(), 6);
    QCOMPARE(view->Cell(2, 1), QString("P2.00"));

    // A cell of another column selects the setting cell of its row; a tab change selects row 1
    // and makes it the highlighted row too.
    view->TabControl->setCurrentIndex(0);
    view->parGrid->setCurrentCell(2, 1);  // row 3, description column
    QCOMPARE(view->parGrid->currentColumn(), 6);
    QCOMPARE(view->parGrid->currentRow(), 2);
    QCOMPARE(view->CurrentRow, 3);
    QCOMPARE(view->SelectedIndex, 2);
    view->TabControl->setCurrentIndex(1);
    QCOMPARE(view->CurrentRow, 1);
    QCOMPARE(view->parGrid->currentRow(), 0);
    QCOMPARE(view->SelectedIndex, 5);

    view->GotoRow(9, 2);  // P1.01 on the Motor tab
    QCOMPARE(view->TabControl->currentIndex(), 1);
    QCOMPARE(view->Cell(2, view->CurrentRow), QString("P1.01"));
    QCOMPARE(view->SelectedIndex, 9);
    view->GotoRow(0, 9);  // a group without a tab and a line not shown: nothing
    QCOMPARE(view->TabControl->currentIndex(), 1);
    view->GotoRow(400, 1);
    QCOMPARE(view->TabControl->currentIndex(), 1);

    uitest::DocumentLine("P1.01").value = 0.5f;
    view->RefreshSettings();
    QCOMPARE(view->Cell(6, view->CurrentRow), QString("0.50000"));

    QImage image(600, 20, QImage::Format_RGB32);
    auto pixel = [&](int column, int row) {
      image.fill(Qt::gray);
      QPainter p(&image);
      view->parGridDrawCell(&p, column, row, QRect(0, 0, 600, 20));
      p.end();
      return image.pixelColor(599, 10);
    };
    QCOMPARE(pixel(1, view->CurrentRow), ui::kCurrentBlue);
    QCOMPARE(pixel(5, view->CurrentRow), ui::kCurrentBlue);
    QCOMPARE(pixel(6, view->CurrentRow), QColor(Qt::black));  // the frame of the setting cell
    QCOMPARE(image.pixelColor(300, 10), QColor(Qt::white));
    QCOMPARE(pixel(6, 2), QColor(Qt::white));
    QCOMPARE(pixel(1, 2), QColor(Qt::white));

    uitest::NewDocument(form, box.gui(), 2);  // KV300: one parameter, one page, no tab strip
    view = uitest::ParamView(form);
    QCOMPARE(view->TabCount(), 1);
    QVERIFY(view->TabControl->isHidden());
    QCOMPARE(view->RowCount(), 2);
  }

  // The keystroke filter under a decimal-comma locale: "." is the decimal point whatever the
  // locale, a rejected key beeps and leaves the last accepted text.
  void keystrokeFilterBeepsAndKeepsTheLastAcceptedText() {
    Sandbox box;
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    const int row = RowOfCode(*view, "P0.00");  // 0 decimals
    TypeIntoRow(*view, row, "1.5", false);
    QCOMPARE(view->parGrid->Editor()->text(), QString("15"));
    QCOMPARE(box.gui().beeps, 1);
    QTest::keyClick(view->parGrid->Editor(), 'x');
    QCOMPARE(view->parGrid->Editor()->text(), QString("15"));
    QCOMPARE(box.gui().beeps, 2);
    QTest::keyClick(view->parGrid->Editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    // 15 is above the maximum 3: refused, old text back.
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCOMPARE(box.gui().messages[0].text, QString("Over Range!!!\n\nCode:P0.00\nRange Value:0~3"));
    QCOMPARE(box.gui().messages[0].caption, QString("Error Message"));
    QCOMPARE(view->Cell(6, row), QString("0"));
    QCOMPARE(uitest::DocumentLine("P0.00").value, 0.0f);
    QVERIFY(!core::State().DocumentModified);

    const int dec = RowOfCode(*view, "P0.01");  // 2 decimals: "." passes, "," does not
    TypeIntoRow(*view, dec, "-12,5", false);
    QCOMPARE(view->parGrid->Editor()->text(), QString("-125"));
    QCOMPARE(box.gui().beeps, 3);
    view->parGrid->Editor()->setText(QString());
    QTest::keyClicks(view->parGrid->Editor(), "12.5");
    QCOMPARE(box.gui().beeps, 3);
    QTest::keyClick(view->parGrid->Editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    QLocale::setDefault(previous);
    QCOMPARE(view->Cell(6, dec), QString("12.50"));
    QCOMPARE(view->Cell(4, dec), QString("0.00~400.00"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 12.5f);
  }

  void typingOnASettingCellStartsAnEntry() {
    Sandbox box;
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    const int row = RowOfCode(*view, "P0.01");
    view->SelectRow(row);
    view->parGrid->setFocus();
    QTest::keyClick(view->parGrid, '7');
    QVERIFY(view->parGrid->EditorOpen());
    QCOMPARE(view->parGrid->Editor()->text(), QString("7"));
    QTest::keyClick(view->parGrid->Editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(view->Cell(6, row), QString("7.00"));
    // Leaving the cell by a click on another row commits as well.
    view->SelectRow(row);
    QTest::keyClick(view->parGrid, '8');
    view->SelectRow(1);
    QCoreApplication::processEvents();
    QVERIFY(!view->parGrid->EditorOpen());
    QCOMPARE(view->Cell(6, row), QString("8.00"));
    QCOMPARE(view->CurrentRow, 1);
  }

  // What a committed entry does to the cell, the document and the messages: both range ends
  // are inside, one step beyond is refused with the old text back, an empty entry puts the old
  // text back, a lone "-" stays without changing the value; a bound that is not a number refuses
  // every entry (minimum) or sets no bound (maximum).
  void committedEntries() {
    Sandbox box;
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    uitest::DocumentLine("P0.03").maximum = core::AbsentValue();
    uitest::DocumentLine("P0.02").minimum = core::AbsentValue();
    TParamForm* view = uitest::ParamView(form);
    view->FillGrid();
    QCOMPARE(view->Cell(4, RowOfCode(*view, "P0.03")), QString());  // no range shown
    core::State().EnteredPassword = "LEVEL1";
    struct Entry {
      const char* code;
      const char* typed;
      const char* cell;
      float value;
      bool refused;  // the Over Range box
    };
    const Entry entries[] = {
        {"P0.01", "400", "400.00", 400, false},   {"P0.01", "0", "0.00", 0, false},
        {"P0.01", "400.01", "0.00", 0, true},     {"P0.01", "-0.01", "0.00", 0, true},
        {"P0.01", "", "0.00", 0, false},          {"P0.01", "-", "-", 0, false},
        {"P0.03", "1000000", "1000000", 1000000, false},
        {"P0.02", "1", "0.0", 0, true},
    };
    size_t messages = 0;
    for (const Entry& e : entries) {
      const int row = RowOfCode(*view, e.code);
      TypeIntoRow(*view, row, e.typed);
      messages += e.refused;
      QCOMPARE(box.gui().messages.size(), messages);
      QCOMPARE(view->Cell(6, row), QString(e.cell));
      QCOMPARE(uitest::DocumentLine(e.code).value, e.value);
    }
    QCOMPARE(box.gui().messages.back().text, QString("Over Range!!!\n\nCode:P0.02\nRange Value:"));
    QVERIFY(core::State().DocumentModified);

    view->TabControl->setCurrentIndex(2);  // display group 3: read-only lines
    view->SelectRow(1);
    QVERIFY(!view->parGrid->OpenEditor());
    QVERIFY(!view->parGrid->EditorOpen());
    QCOMPARE(view->parGridMouseMove(6, 1), Qt::ForbiddenCursor);
    QCOMPARE(view->parGridMouseMove(5, 1), Qt::ArrowCursor);
    view->TabControl->setCurrentIndex(0);
    QCOMPARE(view->parGridMouseMove(6, 1), Qt::PointingHandCursor);
  }

  void accessLevelPasswordIsAskedAndRemembered() {
    Sandbox box;
    TMainForm form;
    form.show();
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    auto& gui = box.gui();
    const int level1 = RowOfCode(*view, "P0.02");
    const int level2 = RowOfCode(*view, "P0.04");

    gui.inputAnswers.push_back({false, QString()});  // cancelled
    view->SelectRow(level1);
    view->parGrid->OpenEditor();
    QVERIFY(!view->parGrid->EditorOpen());
    QCOMPARE(gui.inputs.size(), size_t(1));
    QCOMPARE(gui.inputs[0].caption, QString("Setting"));
    QCOMPARE(gui.inputs[0].prompt, QString("Enter the Password"));

    gui.inputAnswers.push_back({true, "level2"});  // another level's password
    view->parGrid->OpenEditor();
    QVERIFY(!view->parGrid->EditorOpen());
    QVERIFY(core::State().EnteredPassword.empty());
    QVERIFY(gui.messages.empty());

    gui.inputAnswers.push_back({true, "  Level1 "});  // blanks and case do not matter
    TypeIntoRow(*view, level1, "12.5");
    QCOMPARE(core::State().EnteredPassword, std::string("LEVEL1"));
    QCOMPARE(uitest::DocumentLine("P0.02").value, 12.5f);
    TypeIntoRow(*view, level1, "1");  // remembered: no question
    QCOMPARE(gui.inputs.size(), size_t(3));

    gui.inputAnswers.push_back({true, "level2"});
    TypeIntoRow(*view, level2, "5");
    QCOMPARE(core::State().EnteredPassword, std::string("LEVEL2"));
    QCOMPARE(uitest::DocumentLine("P0.04").value, 5.0f);
    gui.inputAnswers.push_back({true, "level1"});  // level 1 asks again
    TypeIntoRow(*view, level1, "2");
    QCOMPARE(gui.inputs.size(), size_t(5));
    QCOMPARE(gui.unexpected, 0);
  }

  // Online edit: an accepted entry is written to the linked drive at once; a failed write, a
  // value the register cannot hold and a document of another model keep the old value.
  void writesEachAcceptedEntryToTheDrive() {
    Sandbox box;
    box.SetSetting("ParameterOnline", 1);
    simdrive::Drive drive("Kestravel", "KV100", "1.0");
    drive.AddStation(3);
    TMainForm form;
    form.show();
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(drive));
    auto& s = core::State();
    uitest::LinkWindow(form, 3);
    QVERIFY(s.OnlineEdit);
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    auto& gui = box.gui();

    const int row = uitest::RowOfCode(*view, "P0.01");  // W101, 2 decimals
    uitest::EnterValue(*view, row, "12.34");
    QCOMPARE(drive.Holding(3, 101), std::uint16_t(1234));
    QCOMPARE(gui.messages.size(), size_t(1));
    QCOMPARE(gui.messages[0].text, QString("Write Parameter Successfully!!"));
    QCOMPARE(gui.messages[0].caption, QString("Write Message"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 12.34f);
    QVERIFY(s.DocumentModified);
    QCOMPARE(form.StatusPanel(5), QString(" Online Edit"));

    // The drive answers neither the write nor the read back: what it holds is not known, and the
    // old value stays, in the document and in the cell.
    drive.SetFault({simdrive::FaultKind::Silence});
    uitest::EnterValue(*view, row, "20");
    QCOMPARE(gui.messages.size(), size_t(2));
    QCOMPARE(gui.messages[1].text, QString("TIME-OUT !!\nNo valid reply from the drive to the write: no answer "
                                           "in time, or a damaged reply.\nThe drive may have done the write all "
                                           "the same: reading P0.01 back failed too, so the value the drive holds "
                                           "is unknown."));
    QCOMPARE(gui.messages[1].caption, QString("Cummunication Error!!"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 12.34f);
    QCOMPARE(view->Cell(6, row), QString("12.34"));
    drive.ClearFault();

    // Out of range: no transaction at all.
    const int before = drive.RequestCount();
    uitest::EnterValue(*view, row, "401");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text.left(13), QString("Over Range!!!"));

    // A range wider than the register: the value that does not fit is named with the register's
    // limits (not reported as a time-out), and nothing is sent.
    uitest::DocumentLine("P0.01").maximum = 1000;
    uitest::EnterValue(*view, row, "700");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text, QString("P0.01: the value 700 does not fit the parameter's register, which "
                                               "takes -327.68 to 655.35. Nothing was sent."));
    QCOMPARE(gui.messages.back().caption, QString("Error Message"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 12.34f);

    // A document of another model is never written to this drive.
    gui.messageAnswers.push_back(platform::gui::IdNo);  // the modified document is not saved
    uitest::NewDocument(form, box.gui(), 1);
    view = uitest::ParamView(form);
    const int servo = uitest::RowOfCode(*view, "P0.01");
    uitest::EnterValue(*view, servo, "30");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text, QString("Different Model"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 60.0f);
    QCOMPARE(view->Cell(6, servo), QString("60.0"));

    // Offline again: the entry only changes the document.
    form.OperationOnlineClick();
    QVERIFY(!s.OnlineEdit);
    const size_t messages = gui.messages.size();
    uitest::EnterValue(*view, servo, "30");
    QCOMPARE(uitest::DocumentLine("P0.01").value, 30.0f);
    QCOMPARE(gui.messages.size(), messages);
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.unexpected, 0);
    core::ClosePort();
  }

  // A setting whose value in the drive is unknown (the write unanswered, the read back too) is
  // marked, with its hint, until the parameter is read or written again; no other cell is.
  void aSettingOfUnknownValueIsMarkedUntilReadAgain() {
    OnlineGrid bench;
    TParamForm* view = bench.view;
    const int row = uitest::RowOfCode(*view, "P0.01"), other = uitest::RowOfCode(*view, "P0.02");
    auto cell = [&](int r) {
      return view->parGrid->visualRect(view->parGrid->model()->index(r - 1, ui::kSettingColumn));
    };
    auto marked = [&](int r) -> bool {
      // What is drawn: the dashed frame's orange in the setting cell.
      const QImage image = view->parGrid->viewport()->grab().toImage().copy(cell(r));
      bool orange = false;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) orange = orange || image.pixelColor(x, y) == ui::kUnknownOrange;
      if (orange != ui::SettingUnknown(*view->parGrid, r))
        QTest::qFail("drawn and known marks differ", __FILE__, __LINE__);
      return orange;
    };
    view->SelectRow(other);
    QVERIFY(!marked(row) && !marked(other));

    // Done but unanswered, then nothing answered: unknown. Stored, unanswered but read back, or
    // answered: known.
    const struct { simdrive::Fault fault; const char* value; bool unknown; } fates[] = {
        {{simdrive::FaultKind::Silence}, "20", true}, {{simdrive::FaultKind::Silence, 0, -1, 6}, "20", false},
        {{simdrive::FaultKind::Silence}, "20", true}, {{}, "20", false}, {{simdrive::FaultKind::Silence}, "21", true}};
    for (const auto& fate : fates) {
      bench.drive.SetFault(fate.fault);
      uitest::EnterValue(*view, row, fate.value);
      view->SelectRow(other);
      QCOMPARE(marked(row), fate.unknown);
      QVERIFY(!marked(other));
    }
    QCOMPARE(QToolTip::text(), QString());
    QHelpEvent help(QEvent::ToolTip, cell(row).center(), QPoint(10, 10));
    QCoreApplication::sendEvent(view->parGrid->viewport(), &help);
    QCOMPARE(QToolTip::text(), QString("The drive's value is not known: a write of it was not confirmed and reading it "
                                       "back failed. Read the drive, or write the value again."));
    // A read of the parameter (here the drive's Read) tells its value again.
    bench.drive.ClearFault();
    int definition = 0;
    while (core::State().ParamDefs[static_cast<std::size_t>(definition)].code.str() != "P0.01") ++definition;
    float value = 0;
    QCOMPARE(core::ReadParam(1, definition, value), 0);
    QVERIFY(!marked(row));
    QCOMPARE(bench.box.gui().unexpected, 0);
  }

  // A write whose answer is lost, damaged or does not confirm it may still have been done: the
  // parameter is read back, and the cell and the document show what the drive holds.
  void aWriteWithoutItsAnswerIsReadBack() {
    OnlineGrid bench;
    auto& drive = bench.drive;
    TParamForm* view = bench.view;
    auto& gui = bench.box.gui();
    const int row = uitest::RowOfCode(*view, "P0.01");
    const QString failed = "TIME-OUT !!\nNo valid reply from the drive to the write: no answer in time, or a damaged reply.\n";

    // Stored, its answer lost, changed (the reply did not confirm it) or damaged every time.
    const struct { simdrive::FaultKind kind; QString typed, holds; std::uint16_t reg; } stored[] = {
        {simdrive::FaultKind::Silence, "61", "61.00", 6100},
        {simdrive::FaultKind::WrongValue, "62.5", "62.50", 6250},
        {simdrive::FaultKind::BadCrc, "62.75", "62.75", 6275}};
    for (const auto& c : stored) {
      drive.SetFault({c.kind, 0, -1, 6});
      uitest::EnterValue(*view, row, c.typed);
      QCOMPARE(drive.Holding(1, 101), c.reg);
      const QString readBack = "P0.01 now holds " + c.holds + ", the value written.";
      if (c.kind == simdrive::FaultKind::Silence) {
        QCOMPARE(gui.messages.back().text, failed + "The drive may have done the write all the same: read back from "
                                                    "the drive, " + readBack);
      }
      QVERIFY2(gui.messages.back().text.endsWith(readBack), qPrintable(c.typed));
      QCOMPARE(gui.messages.back().caption, QString("Cummunication Error!!"));
      QCOMPARE(view->Cell(6, row), c.holds);
      QCOMPARE(uitest::DocumentLine("P0.01").value, c.holds.toFloat());
    }

    // Neither stored nor answered: the cell keeps what the drive holds, which someone else may have changed.
    drive.SetFault({simdrive::FaultKind::Ignore, 0, -1, 6});
    drive.SetHolding(1, 101, 4000);
    core::State().DocumentModified = false;
    uitest::EnterValue(*view, row, "70");
    QCOMPARE(drive.Holding(1, 101), std::uint16_t(4000));
    QCOMPARE(gui.messages.back().text, failed + "Read back from the drive, P0.01 holds 40.00, not the value written.");
    QCOMPARE(view->Cell(6, row), QString("40.00"));
    QCOMPARE(uitest::DocumentLine("P0.01").value, 40.0f);
    QVERIFY(core::State().DocumentModified);

    // A tab change asked for while the write waits for the drive shows the other tab's lines
    // once the entry is in its cell (the drive's log runs inside the transaction).
    drive.SetFault({simdrive::FaultKind::Silence, 0, -1, 6});
    drive.SetLog([&](const std::string&) {
      QMetaObject::invokeMethod(view->TabControl, [view] { view->TabControl->setCurrentIndex(2); }, Qt::QueuedConnection);
    });
    uitest::EnterValue(*view, row, "63");
    drive.SetLog(nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(view->CurrentGroup, 3);
    QCOMPARE(view->Cell(6, row), ui::SettingRowCells(view->Cell(0, row).toInt())[6]);
    QCOMPARE(uitest::DocumentLine("P0.01").value, 63.0f);
    view->TabControl->setCurrentIndex(0);

    // A float that the drive holds as written is told by its bits: a 0 reads back as 0 (not as
    // the read's display value, 1e-10), and the document is left as it was.
    view->TabControl->setCurrentIndex(1);
    uitest::DocumentLine("P0.05").value = 0;
    core::State().DocumentModified = false;
    drive.SetHolding(1, 107, 0x3F80);  // P0.05 is F107, 1.0 before the write
    drive.SetFault({simdrive::FaultKind::Silence, 0, -1, 16});
    uitest::EnterValue(*view, uitest::RowOfCode(*view, "P0.05"), "0");
    QVERIFY2(gui.messages.back().text.endsWith("P0.05 now holds 0.0, the value written."),
             qPrintable(gui.messages.back().text));
    QVERIFY(uitest::DocumentLine("P0.05").value == 0.0f);
    QVERIFY(!core::State().DocumentModified);
    view->TabControl->setCurrentIndex(0);

    // A refusal is the drive's own answer: nothing is read back.
    drive.SetFault({simdrive::FaultKind::Exception, 3, -1, 6});
    const int requests = drive.RequestCount();
    uitest::EnterValue(*view, row, "71");
    QCOMPARE(drive.RequestCount(), requests + 1);
    QCOMPARE(view->Cell(6, row), QString("63.00"));
    QCOMPARE(gui.unexpected, 0);
  }
};

QTEST_MAIN(ParamGridTest)
#include "param_grid_test.moc"
