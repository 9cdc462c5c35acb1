// A serial port that goes away under a drive command (the in-process line fails after a number
// of requests, or the simulated drive's pseudo-terminal closes) against a drive that only falls
// silent: the first closes the link with one message from whichever command met it, the second
// keeps the time-out messages and the link.
#include <QFile>
#include <QLabel>
#include <QTest>

#include "core/config.h"
#include "tests/ui/drive_support.h"
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
using ui::TMainForm;

namespace {

void RunModal(QDialog& dialog) { dialog.exec(); }

// The last message is the port's and the only one since `before`; the window is unlinked and
// the port closed.
void ExpectPortGone(platform::gui::ScriptedServices& gui, TMainForm& form, std::size_t before = 0) {
  QCOMPARE(gui.messages.size(), before + 1);
  const auto& box = gui.messages.back();
  QVERIFY2(box.text.startsWith("Cummunication Error!!\n") && box.text.contains("The serial port is gone"),
           qPrintable(box.text));
  QCOMPARE(box.caption, QString("Communication Message"));
  QCOMPARE(box.icon, platform::gui::Icon::Stop);
  QVERIFY(core::State().LinkedStation == 0 && !core::IsPortOpen() && !form.ItemEnabled("OperationRead"));
  QCOMPARE(form.StatusPanel(3), QString(" No Station linked"));
  gui.messages.clear();
}

// The main window linked to station 1 of KV100 on the in-process line, a document of it open,
// Online Edit on.
struct LinkedBench : uitest::FakeBench {
  LinkedBench() {
    box.SetSetting("ParameterOnline", 1);
    form = std::make_unique<TMainForm>();
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(*drive));
    port = static_cast<simdrive::FakePort*>(core::CurrentPort());
    uitest::LinkWindow(*form);
    uitest::NewDocument(*form, gui(), 0);
  }
  void Bulk(void (TMainForm::*command)()) {
    gui().dialogScripts.push_back(uitest::PressOk());
    gui().dialogScripts.push_back(RunModal);
    (form.get()->*command)();
  }
  std::unique_ptr<TMainForm> form;
};

// The monitor and the profile window close at the first tick that meets the failed port, not
// after ten.
template <typename Window>
void FirstTickCloses(LinkedBench& bench, void (TMainForm::*command)()) {
  bench.gui().dialogScripts.push_back([](QDialog& dialog) {
    static_cast<Window&>(dialog).TimerTimer();
    QCOMPARE(dialog.result(), int(IdAbort));
  });
  (bench.form.get()->*command)();
}

}  // namespace

class PortGoneTest : public QObject {
  Q_OBJECT
 private slots:
  // Link; a silent drive keeps the link; the line goes away: Read says so once and unlinks.
  void readAfterTheLineWentAway() {
    uitest::Sandbox box;
    uitest::PtyLine line("KV100");
    line.drive.AddStation(1);
    TMainForm form;
    auto& gui = box.gui();
    gui.dialogScripts.push_back(uitest::LinkDialog("1"));
    form.OperationLinkClick();
    QCOMPARE(form.StatusPanel(3), QString(" Linking 001"));
    line.drive.SetFault({simdrive::FaultKind::Silence, 0, 2, 0});
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationReadClick();
    QCOMPARE(gui.messages.size(), std::size_t(2));  // "Error Reading Parameter ", "TIME-OUT !!"
    QVERIFY(core::State().LinkedStation == 1 && core::IsPortOpen() && !core::PortFailed());
    gui.messages.clear();

    line.server.Stop();
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationReadClick();
    ExpectPortGone(gui, form);

    // The line goes away while the probe asks the station: no "TIME-OUT !!".
    uitest::PtyLine second("KV100");
    core::State().ProcessMessages = [&] { second.server.Stop(); };
    gui.dialogScripts.push_back(uitest::LinkDialog("1"));
    form.OperationLinkClick();
    ExpectPortGone(gui, form);
  }

  // Every drive command that meets the failed port; what reached the drive before it is what
  // the line let through.
  void everyDriveCommandClosesTheLinkWithOneMessage() {
    struct Case {
      int passes;
      void (*run)(LinkedBench&);
      QString says;
    };
    const Case cases[] = {
        {3, [](LinkedBench& b) { b.Bulk(&TMainForm::OperationReadClick); }, {}},
        {3, [](LinkedBench& b) { b.Bulk(&TMainForm::CompareInverterClick); }, {}},
        {2, [](LinkedBench& b) { b.Bulk(&TMainForm::OperationWriteClick); }, "Already written to station 1: 2 of"},
        {0, [](LinkedBench& b) { uitest::EnterValue(*uitest::ParamView(*b.form), 2, "12"); }, {}},  // online edit
        {0, [](LinkedBench& b) { b.gui().inputAnswers.push_back({true, "1"}); b.form->PasswordButtonClick(); }, {}},
        {0, [](LinkedBench& b) { FirstTickCloses<ui::TMonitorForm>(b, &TMainForm::OperationMonitorClick); }, {}},
        {0, [](LinkedBench& b) { FirstTickCloses<ui::TProfileForm>(b, &TMainForm::OperationProfileClick); }, {}},
    };
    for (const Case& c : cases) {
      LinkedBench bench;
      bench.port->UnplugAfter(c.passes);
      c.run(bench);
      QVERIFY(!bench.gui().messages.empty() && bench.gui().messages.back().text.contains(c.says));
      ExpectPortGone(bench.gui(), *bench.form);
      QCOMPARE(bench.drive->RequestCount(), c.passes);
    }
  }

  // The motor download: the record it stopped at is in the message.
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
    ExpectPortGone(gui, form, 1);
    QCOMPARE(drive.MotorWrites(), 2);
  }

  // The progress windows stop at the failure: the write asks nothing about the next station,
  // the scan asks no further station.
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
    QCOMPARE(write.exec(), int(IdNo));
    QVERIFY(bench.gui().messages.empty());

    core::OpenPortOn(std::make_unique<simdrive::FakePort>(*bench.drive));
    static_cast<simdrive::FakePort*>(core::CurrentPort())->UnplugAfter(1);
    bench.drive->SetFault({simdrive::FaultKind::Silence, 0, -1, 0});
    ui::TConnectForm scan;
    scan.Stations.add(1);
    scan.Stations.add(2);
    QCOMPARE(scan.exec(), int(IdCancel));
    QCOMPARE(scan.Label1->text(), QString("Station_001 ... ... ..."));
    QCOMPARE(bench.drive->RequestCount(), 3);
  }
};

QTEST_MAIN(PortGoneTest)
#include "port_gone_test.moc"
