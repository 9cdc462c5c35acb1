// Online edit: an accepted entry is written to the linked drive at once (the in-process
// simulated drive); a failed write and a document of another model keep the old value.
#include <QTest>

#include "core/common.h"
#include "core/serial_link.h"
#include "tests/ui/ui_test_support.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using ui::TMainForm;
using ui::TParamForm;
using uitest::Sandbox;

using uitest::EnterValue;

namespace {
float Value(const char* code) { return uitest::DocumentLine(code).value; }
}  // namespace

class OnlineEditTest : public QObject {
  Q_OBJECT
 private slots:
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
    EnterValue(*view, row, "12.34");
    QCOMPARE(drive.Holding(3, 101), std::uint16_t(1234));
    QCOMPARE(gui.messages.size(), size_t(1));
    QCOMPARE(gui.messages[0].text, QString("Write Parameter Successfully!!"));
    QCOMPARE(gui.messages[0].caption, QString("Write Message"));
    QCOMPARE(Value("P0.01"), 12.34f);
    QVERIFY(s.DocumentModified);
    QCOMPARE(form.StatusPanel(5), QString(" Online Edit"));

    // The drive does not answer: the old value stays, in the document and in the cell.
    drive.SetFault({simdrive::FaultKind::Silence});
    EnterValue(*view, row, "20");
    QCOMPARE(gui.messages.size(), size_t(2));
    QCOMPARE(gui.messages[1].text, QString("TIME-OUT !!\nNo valid reply from the drive: no answer in time, a "
                                           "damaged reply, or a read refused."));
    QCOMPARE(gui.messages[1].caption, QString("Cummunication Error!!"));
    QCOMPARE(Value("P0.01"), 12.34f);
    QCOMPARE(view->Cell(6, row), QString("12.34"));
    drive.ClearFault();

    // Out of range: no transaction at all.
    const int before = drive.RequestCount();
    EnterValue(*view, row, "401");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text.left(13), QString("Over Range!!!"));

    // A range wider than the register: the value that does not fit is named with the register's
    // limits (not reported as a time-out), and nothing is sent.
    uitest::DocumentLine("P0.01").maximum = 1000;
    EnterValue(*view, row, "700");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text, QString("P0.01: the value 700 does not fit the parameter's register, which "
                                               "takes -327.68 to 655.35. Nothing was sent."));
    QCOMPARE(gui.messages.back().caption, QString("Error Message"));
    QCOMPARE(Value("P0.01"), 12.34f);

    // A document of another model is never written to this drive.
    gui.messageAnswers.push_back(platform::gui::IdNo);  // the modified document is not saved
    uitest::NewDocument(form, box.gui(), 1);
    view = uitest::ParamView(form);
    const int servo = uitest::RowOfCode(*view, "P0.01");
    EnterValue(*view, servo, "30");
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.messages.back().text, QString("Different Model"));
    QCOMPARE(Value("P0.01"), 60.0f);
    QCOMPARE(view->Cell(6, servo), QString("60.0"));

    // Offline again: the entry only changes the document.
    form.OperationOnlineClick();
    QVERIFY(!s.OnlineEdit);
    const size_t messages = gui.messages.size();
    EnterValue(*view, servo, "30");
    QCOMPARE(Value("P0.01"), 30.0f);
    QCOMPARE(gui.messages.size(), messages);
    QCOMPARE(drive.RequestCount(), before);
    QCOMPARE(gui.unexpected, 0);
    core::ClosePort();
  }
};

QTEST_MAIN(OnlineEditTest)
#include "online_edit_test.moc"
