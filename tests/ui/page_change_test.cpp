// The parameter grid after a page change, driven by real mouse and key events: the highlighted
// row, the grid's current row and the line an entry edits are the same one, offline and with
// online edit against the in-process simulated drive.
#include <QTabBar>
#include <QTest>

#include "core/common.h"
#include "core/serial_link.h"
#include "tests/ui/ui_test_support.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"
#include "ui/common/grid_look.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using ui::TMainForm;
using ui::TParamForm;

namespace {

QPoint CellCentre(TParamForm& view, int column, int row) {
  return view.parGrid->visualRect(view.parGrid->model()->index(row - 1, column)).center();
}

void ClickCell(TParamForm& view, int column, int row) {
  QTest::mouseClick(view.parGrid->viewport(), Qt::LeftButton, {}, CellCentre(view, column, row));
}

void ClickTab(TParamForm& view, int tab) {
  QTest::mouseClick(view.TabControl, Qt::LeftButton, {}, view.TabControl->tabRect(tab).center());
  QCoreApplication::processEvents();
}

// Types on the grid as a user does: the first key opens the editor, the rest go to it.
void Type(TParamForm& view, const QString& text, bool enter) {
  QTest::keyClicks(view.parGrid, text.left(1));
  QWidget* editor = view.parGrid->Editor();
  QVERIFY(editor);
  QTest::keyClicks(editor, text.mid(1));
  if (enter) QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
}

QColor Pixel(TParamForm& view, int column, int row) {
  const QImage image = view.parGrid->viewport()->grab().toImage();
  const QRect r = view.parGrid->visualRect(view.parGrid->model()->index(row - 1, column));
  return image.pixelColor(r.right() - 3, r.bottom() - 3);
}

// The three rows that must agree, and the line the selection points at.
void CheckOneRow(TParamForm& view, int row, const char* code) {
  QCOMPARE(view.CurrentRow, row);
  QCOMPARE(view.parGrid->currentRow() + 1, row);
  QCOMPARE(view.Cell(2, row), QString(code));
  QVERIFY(view.SelectedIndex >= 0);
  QVERIFY(core::State().Document[static_cast<std::size_t>(view.SelectedIndex)].code == code);
  QCOMPARE(Pixel(view, 1, row), ui::kCurrentBlue);
  for (int other = 1; other < view.RowCount(); ++other)
    if (other != row) QCOMPARE(Pixel(view, 1, other), QColor(Qt::white));
}

float Value(const char* code) {
  for (const auto& line : core::State().Document)
    if (line.code == code) return line.value;
  return -1;
}

}  // namespace

class PageChangeTest : public QObject {
  Q_OBJECT
 private slots:
  void entryAfterAPageChangeEditsTheHighlightedRow() {
    uitest::Sandbox box;
    box.SetSetting("ParameterOnline", 1);
    simdrive::Drive drive("Kestravel", "KV100", "1.0");
    drive.AddStation(1);
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(drive));
    auto& s = core::State();
    s.LinkedStation = 1;
    s.LinkedModel = 1;
    s.LinkProduct = "KV100";
    form.SetLinkedState(true);
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    QVERIFY(view->TabControl->isVisible());
    auto& gui = box.gui();

    // Row 4 of the first page, then the second page: row 1 of that page is the one highlighted,
    // and typing edits it (P0.05, a float at register 107), not row 4 (P1.00 at 200).
    ClickCell(*view, 1, 4);
    CheckOneRow(*view, 4, "P0.03");
    ClickTab(*view, 1);
    CheckOneRow(*view, 1, "P0.05");
    Type(*view, "1", true);
    QCOMPARE(gui.messages.size(), std::size_t(1));
    QCOMPARE(gui.messages[0].text, QString("Write Parameter Successfully!!"));
    QCOMPARE(drive.Holding(1, 107), std::uint16_t(0));  // 1.0f, low word first
    QCOMPARE(drive.Holding(1, 108), std::uint16_t(0x3F80));
    QCOMPARE(drive.Holding(1, 200), std::uint16_t(0));
    QCOMPARE(Value("P0.05"), 1.0f);
    QCOMPARE(view->Cell(6, 1), QString("1.0"));
    QCOMPARE(view->Cell(6, 4), QString("1.2345"));

    // A click on another row of the page and on the page again agree as well.
    ClickCell(*view, 3, 3);
    CheckOneRow(*view, 3, "P0.07");
    ClickTab(*view, 0);
    CheckOneRow(*view, 1, "P0.00");

    // An entry still open when the page changes is committed to its own line, and the new
    // page's cells keep their texts.
    ClickCell(*view, 6, 2);
    Type(*view, "123", false);
    QVERIFY(view->parGrid->EditorOpen());
    ClickTab(*view, 1);
    QVERIFY(!view->parGrid->EditorOpen());
    QCOMPARE(Value("P0.01"), 123.0f);
    QCOMPARE(drive.Holding(1, 101), std::uint16_t(12300));
    QCOMPARE(gui.messages.back().text, QString("Write Parameter Successfully!!"));
    CheckOneRow(*view, 1, "P0.05");
    QCOMPARE(view->Cell(6, 2), QString("0"));  // P0.06 on the second page
    QCOMPARE(Value("P0.06"), 0.0f);

    // Offline the same holds for the document alone.
    form.OperationOnlineClick();
    const int requests = drive.RequestCount();
    ClickCell(*view, 6, 5);
    ClickTab(*view, 2);
    CheckOneRow(*view, 1, "P2.00");  // read-only: typing opens no editor
    QTest::keyClicks(view->parGrid, "7");
    QVERIFY(!view->parGrid->EditorOpen());
    ClickTab(*view, 0);
    Type(*view, "2", true);
    QCOMPARE(Value("P0.00"), 2.0f);
    QCOMPARE(Value("P0.04"), 0.0f);
    QCOMPARE(drive.RequestCount(), requests);
    QCOMPARE(gui.unexpected, 0);
    core::ClosePort();
  }
};

QTEST_MAIN(PageChangeTest)
#include "page_change_test.moc"
