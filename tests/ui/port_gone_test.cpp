// A serial port that goes away under a drive command (the in-process line fails after a number
// of requests) closes the link with one message from whichever command met it.
#include <QComboBox>

#include "tests/ui/drive_support.h"
#include "ui/common/extra_texts.h"
#include "ui/common/port_failure.h"
#include "ui/common/qt_text.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/motor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/drive/read_write_form.h"
#include "ui/main/main_form.h"

using ui::TMainForm;

namespace {

void RunModal(QDialog& dialog) { dialog.exec(); }
void Download(QDialog& motor) { static_cast<ui::TMotorForm&>(motor).UpdButtonClick(); }

// A drive window closes at the first transaction that meets the failed port (the monitor's and the profile's at a tick).
void Aborted(QDialog& d) { QCOMPARE(d.result(), int(platform::gui::IdAbort)); }
template <typename W> void Tick(QDialog& d) { static_cast<W&>(d).TimerTimer(); Aborted(d); }

// The main window linked to KV100 at station 1, its document open, Online Edit on; model 3 has motors.
struct LinkedBench : uitest::FakeBench {
  explicit LinkedBench(int passes) : FakeBench("KV100", 1, 1, "[MOTOR=2000;8]") {
    box.SetSetting("ParameterOnline", 1);
    form = std::make_unique<TMainForm>();
    uitest::LinkWindow(*form);
    uitest::NewDocument(*form, gui(), 0);
    drive->SetMotorTable(2000, 8);
    gui().inputAnswers.push_back({true, "1"});  // the level password
    port->UnplugAfter(passes);
  }
  template <typename... Scripts> void Run(void (TMainForm::*command)(), Scripts... scripts) {
    (gui().dialogScripts.push_back(scripts), ...);
    (form.get()->*command)();
  }
  std::unique_ptr<TMainForm> form;
};

}  // namespace

class PortGoneTest : public QObject {
  Q_OBJECT
 private slots:
  // Every drive command, the line failing after `passes` requests: the port's message alone, and unlinked.
  void everyDriveCommandClosesTheLinkWithOneMessage() {
    const struct { int passes; void (*run)(LinkedBench&); QString says; } cases[] = {
        {3, [](LinkedBench& b) { b.Run(&TMainForm::OperationReadClick, uitest::PressOk(), RunModal); }, {}},
        {3, [](LinkedBench& b) { b.Run(&TMainForm::CompareInverterClick, uitest::PressOk(), RunModal); }, {}},
        // Two word writes, each with the read that confirms its answer.
        {4, [](LinkedBench& b) { b.Run(&TMainForm::OperationWriteClick, uitest::PressOk(), RunModal); },
         "Already written to station 1: 2 of"},
        {0, [](LinkedBench& b) { uitest::EnterValue(*uitest::ParamView(*b.form), 2, "12"); }, {}},  // online edit
        {0, [](LinkedBench& b) { b.form->PasswordButtonClick(); }, {}},
        {0, [](LinkedBench& b) { b.Run(&TMainForm::OperationMonitorClick, Tick<ui::TMonitorForm>); }, {}},
        {0, [](LinkedBench& b) { b.Run(&TMainForm::OperationProfileClick, Tick<ui::TProfileForm>); }, {}},
        {0, [](LinkedBench& b) { b.Run(&TMainForm::OperationMonitorClick, [](QDialog& d) {  // a command button
           static_cast<ui::TMonitorForm&>(d).ButtonCmdClick(1);
           Tick<ui::TMonitorForm>(d);
         }); }, {}},
        {0, [](LinkedBench& b) { b.Run(&TMainForm::OperationProfileClick, [](QDialog& d) {  // Send
           auto& profile = static_cast<ui::TProfileForm&>(d);
           for (QComboBox* mode : {profile.comboF001, profile.comboF002, profile.comboF003}) mode->setCurrentIndex(0);
           profile.Button1Click();
           Aborted(d);
         }); }, {}},
        {0, [](LinkedBench& b) {  // Insert reads the drive's motor in use
           core::State().LinkedModel = 3;
           b.Run(&TMainForm::OperationMotorClick, [](QDialog& d) { static_cast<ui::TMotorForm&>(d).InsButtonClick(); Aborted(d); });
         }, {}},
        {2, [](LinkedBench& b) {
           core::State().LinkedModel = 3;
           b.gui().messageAnswers.push_back(platform::gui::IdYes);  // Confirm Download ??
           b.Run(&TMainForm::OperationMotorClick, Download, RunModal);
           b.gui().messages.erase(b.gui().messages.begin());
         }, "Motor record 3 was not written."},
        {2, [](LinkedBench&) {  // a write to two stations goes to no further one
           ui::TReadWriteForm write;
           write.ReadMode = false;
           write.Stations = core::ParseStationList("1-2");
           write.Groups.fill(true);
           write.exec();
           ui::HandlePortFailure();  // as the main window
         }, {}},
    };
    for (const auto& c : cases) {
      LinkedBench bench(c.passes);
      c.run(bench);
      const auto& messages = bench.gui().messages;
      QCOMPARE(messages.size(), std::size_t(1));
      const QString& text = messages[0].text;
      QVERIFY2(text.startsWith("Cummunication Error!!\n") && text.contains("The serial port is gone") &&
                   text.contains(c.says), qPrintable(text));
      QVERIFY(core::State().LinkedStation == 0 && !core::IsPortOpen());
      // The status bar says unlinked, as after an unlink (the model is the open document's).
      QCOMPARE(bench.form->StatusPanel(2), " " + ui::L(34) + ui::extra::NoRevision());
      QCOMPARE(bench.form->StatusPanel(3), " " + ui::L(36));
      QCOMPARE(bench.form->StatusPanel(5), QString());
    }
  }
};

QTEST_MAIN(PortGoneTest)
#include "port_gone_test.moc"
