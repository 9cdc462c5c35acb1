// A serial port that goes away under a drive command (the adapter unplugged: the in-process
// line fails after a number of requests, or the simulated drive's pseudo-terminal closes)
// against a drive that only falls silent: the first closes the link with one message from
// whichever command or window met it, the second keeps the time-out messages and the link.
#include <QFile>
#include <QTest>

#include "core/config.h"
#include "tests/ui/drive_support.h"
#include <QLabel>
#include <QProgressBar>

#include "ui/drive/connect_form.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/motor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/drive/read_write_form.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdAbort;
using platform::gui::IdCancel;
using platform::gui::IdNo;
using platform::gui::IdYes;
using platform::gui::ScriptedServices;
using ui::TMainForm;

namespace {

const QString kPortGone = "The serial port is gone";

void RunModal(QDialog& dialog) { dialog.exec(); }

// The last message is the port's, and the only one since `before` messages: stop icon, the
// communication texts; the window is unlinked and the port closed.
void ExpectPortGone(ScriptedServices& gui, TMainForm& form, std::size_t before = 0) {
  QCOMPARE(gui.messages.size(), before + 1);
  const auto& box = gui.messages.back();
  QVERIFY2(box.text.startsWith("Cummunication Error!!\n") && box.text.contains(kPortGone), qPrintable(box.text));
  QCOMPARE(box.caption, QString("Communication Message"));
  QCOMPARE(box.icon, platform::gui::Icon::Stop);
  QCOMPARE(core::State().LinkedStation, 0);
  QVERIFY(!core::IsPortOpen());
  QVERIFY(!form.ItemEnabled("OperationRead"));
  QCOMPARE(form.StatusPanel(3), QString(" No Station linked"));
  gui.messages.clear();
}

// The main window linked to station 1 of KV100 behind the in-process line, a document of it
// open, Online Edit on.
struct LinkedBench : uitest::FakeBench {
  LinkedBench() {
    box.SetSetting("ParameterOnline", 1);
    form = std::make_unique<TMainForm>();
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(*drive));
    port = static_cast<simdrive::FakePort*>(core::CurrentPort());
    uitest::LinkWindow(*form);
    uitest::NewDocument(*form, gui(), 0);
  }
  std::unique_ptr<TMainForm> form;
};

}  // namespace

class PortGoneTest : public QObject {
  Q_OBJECT
 private slots:
  // Link, take the line away (the drive's pseudo-terminal closes), Read: one message, unlinked.
  void readAfterTheLineWentAway() {
    uitest::Sandbox box;
    uitest::PtyLine line("KV100");
    line.drive.AddStation(1);
    TMainForm form;
    auto& gui = box.gui();
    gui.dialogScripts.push_back(uitest::LinkDialog("1"));
    form.OperationLinkClick();
    QCOMPARE(core::State().LinkedStation, 1);
    QCOMPARE(form.StatusPanel(3), QString(" Linking 001"));
    line.server.Stop();
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationReadClick();
    ExpectPortGone(gui, form);
    QVERIFY(form.ChildKind().isEmpty());

    // The line goes away while the probe asks the station: no "TIME-OUT !!", the port closed.
    uitest::PtyLine second("KV100");
    second.drive.AddStation(1);
    core::State().ProcessMessages = [&] { second.server.Stop(); };
    gui.dialogScripts.push_back(uitest::LinkDialog("1"));
    form.OperationLinkClick();
    ExpectPortGone(gui, form);
    QCOMPARE(second.drive.RequestCount(), 0);
  }

  // Every drive command that meets the failed port: the one message, the link closed; what
  // reached the drive before it is what the line let through.
  void everyDriveCommandClosesTheLinkWithOneMessage() {
    // Read and Compare Inverter (after its model choice) read the drive in bulk.
    for (auto command : {&TMainForm::OperationReadClick, &TMainForm::CompareInverterClick}) {
      LinkedBench bench;
      bench.port->UnplugAfter(3);
      bench.gui().dialogScripts.push_back(uitest::PressOk());
      bench.gui().dialogScripts.push_back(RunModal);
      (bench.form.get()->*command)();
      ExpectPortGone(bench.gui(), *bench.form);
      QCOMPARE(bench.drive->RequestCount(), 3);
      QCOMPARE(bench.form->ChildKind(), QString("ParamForm"));  // the open document stays
    }
    {
      LinkedBench bench;
      bench.port->UnplugAfter(2);
      bench.gui().dialogScripts.push_back(uitest::PressOk());
      bench.gui().dialogScripts.push_back(RunModal);
      bench.form->OperationWriteClick();
      QVERIFY(bench.gui().messages.back().text.contains("Already written to station 1: 2 of"));
      ExpectPortGone(bench.gui(), *bench.form);
      QCOMPARE(bench.drive->RequestCount(), 2);
    }
    {
      LinkedBench bench;
      QVERIFY(core::State().OnlineEdit);
      bench.port->UnplugAfter(0);
      ui::TParamForm* view = uitest::ParamView(*bench.form);
      const int row = uitest::RowOfCode(*view, "P0.01");
      const QString before = view->Cell(6, row);
      uitest::EnterValue(*view, row, "12.34");
      ExpectPortGone(bench.gui(), *bench.form);
      QCOMPARE(view->Cell(6, row), before);
      QVERIFY(!core::State().OnlineEdit);
    }
    {
      LinkedBench bench;
      bench.port->UnplugAfter(0);
      bench.gui().inputAnswers.push_back({true, "1234"});
      bench.form->PasswordButtonClick();
      ExpectPortGone(bench.gui(), *bench.form);
    }
    // The monitor and the profile window close at the first tick that meets it, not after ten.
    for (bool monitor : {true, false}) {
      LinkedBench bench;
      int result = 0;
      bench.gui().dialogScripts.push_back([&](QDialog& dialog) {
        bench.port->UnplugAfter(0);
        if (monitor)
          static_cast<ui::TMonitorForm&>(dialog).TimerTimer();
        else
          static_cast<ui::TProfileForm&>(dialog).TimerTimer();
        result = dialog.result();
      });
      if (monitor)
        bench.form->OperationMonitorClick();
      else
        bench.form->OperationProfileClick();
      QCOMPARE(result, int(IdAbort));
      ExpectPortGone(bench.gui(), *bench.form);
    }
  }

  // The motor download: the record it stopped at is in the message; the window closed.
  void motorDownloadSaysWhereItStopped() {
    uitest::Sandbox box(QString(), false);
    QVERIFY(QFile::copy(QString(KV_TEST_DATA) + "/motor/Kestravel.cfg", box.Path("Kestravel.cfg")));
    core::LoadConfiguration();
    simdrive::Drive drive("Kestravel", "KV150", "1.00");
    drive.AddStation(1);
    drive.SetMotorTable(2000, 8);
    TMainForm form;
    auto line = std::make_unique<simdrive::FakePort>(drive);
    line->UnplugAfter(2);
    core::OpenPortOn(std::move(line));
    uitest::LinkWindow(form);
    auto& gui = box.gui();
    gui.messageAnswers.push_back(IdYes);  // Confirm Download ??
    gui.dialogScripts.push_back([&gui](QDialog& dialog) {
      gui.dialogScripts.push_back(RunModal);
      static_cast<ui::TMotorForm&>(dialog).UpdButtonClick();
    });
    form.OperationMotorClick();
    QVERIFY(gui.messages.back().text.contains("Motor record 3 was not written."));
    QVERIFY(gui.messages.back().text.contains("Records 1 to 2 are in the drive."));
    ExpectPortGone(gui, form, 1);
    QCOMPARE(drive.MotorWrites(), 2);
  }

  // The windows stop at the failure: the write asks nothing about the next station, the scan
  // asks no further station.
  void windowsStopAtTheFailure() {
    uitest::FakeBench bench;
    bench.drive->AddStation(2);
    auto& s = core::State();
    for (const auto& def : s.ParamDefs)
      if (def.model == 1) s.Document.push_back(def);
    bench.port->UnplugAfter(2);
    ui::TReadWriteForm write;
    write.ReadMode = false;
    write.Stations.add(1);
    write.Stations.add(2);
    write.Groups.fill(true);
    write.exec();
    QCOMPARE(write.result(), int(IdNo));
    QCOMPARE(write.FailedResult, core::kResultPortFailed);
    QVERIFY(bench.gui().messages.empty());
    QCOMPARE(bench.drive->RequestCount(), 2);

    core::OpenPortOn(std::make_unique<simdrive::FakePort>(*bench.drive));
    static_cast<simdrive::FakePort*>(core::CurrentPort())->UnplugAfter(1);
    bench.drive->SetFault({simdrive::FaultKind::Silence, 0, -1, 0});
    ui::TConnectForm scan;
    for (int station : {1, 2}) scan.Stations.add(station);
    QCOMPARE(scan.ProbeSingleStation(), int(IdCancel));
    scan.exec();
    QCOMPARE(scan.result(), int(IdCancel));
    QCOMPARE(bench.drive->RequestCount(), 3);
    QCOMPARE(scan.Label1->text(), QString("Station_001 ... ... ..."));
    QCOMPARE(scan.ProgBar->value(), 0);
  }

  // A drive that falls silent is no port failure: the time-out messages, the link kept.
  void aSilentDriveKeepsTheLink() {
    LinkedBench bench;
    bench.drive->SetFault({simdrive::FaultKind::Silence, 0, -1, 0});
    auto& gui = bench.gui();
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    bench.form->OperationReadClick();
    QCOMPARE(gui.messages.size(), std::size_t(2));
    QVERIFY(gui.messages[0].text.startsWith("Error Reading Parameter "));
    QCOMPARE(gui.messages[1].text, QString("TIME-OUT !!"));
    QCOMPARE(core::State().LinkedStation, 1);
    QVERIFY(core::IsPortOpen() && !core::PortFailed());
    QVERIFY(bench.form->ItemEnabled("OperationRead"));
  }
};

QTEST_MAIN(PortGoneTest)
#include "port_gone_test.moc"
