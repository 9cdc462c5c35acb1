// The monitor and profile windows on a live simulated drive: linked through the COM folder to a
// pseudo-terminal, as a user would, with the windows shown and their timers running. The
// monitor's values move with the drive, a command and a set-point reach it, a profile is sent;
// screenshots of both windows with their live values go to ui_screenshots/.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "controls/edit/typed_edit.h"
#include "tests/ui/drive_support.h"
#include "tools/simdrive/live.h"
#include "ui/drive/lamps.h"
#include "ui/drive/link_form.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/main/main_form.h"

using platform::gui::IdCancel;
using uitest::Shot;

class MonitorLiveTest : public QObject {
  Q_OBJECT
 private slots:
  void watchCommandAndSendOverThePseudoTerminal() {
    uitest::Sandbox box;
    uitest::PtyLine line("KV100");
    line.drive.AddStation(1);
    line.drive.SetProfileMotion(true);
    ui::TMainForm main;
    auto& gui = box.gui();
    auto& s = core::State();
    gui.dialogScripts.push_back([](QDialog& dialog) {
      auto& form = static_cast<ui::TLinkForm&>(dialog);
      form.comboPort->setCurrentIndex(2);
      form.editStation->setText("1");
      form.Link->click();
    });
    main.OperationLinkClick();
    QCOMPARE(s.LinkedModel, 1);

    simdrive::LiveDrive live(line.drive, {1});
    live.UseModel(s.Models[0]);
    live.Step(12.5);  // an alarm is on at this time
    line.drive.SetHolding(1, 910, 1500);

    gui.dialogScripts.push_back([&](QDialog& dialog) {
      auto& form = static_cast<ui::TMonitorForm&>(dialog);
      form.comboPar->setCurrentIndex(1);
      dialog.show();
      QVERIFY(QTest::qWaitFor([&] { return !form.StaticMonValue->text().isEmpty(); }, 5000));
      QCOMPARE(form.editSpeed[0]->text(), QString("1500"));
      QCOMPARE(form.StaticIDFIR->text(), QString("1.23"));
      QVERIFY(ui::LampColour(form.PanelAlarm[0]) == ui::kLampRed);
      const QString before = form.StaticMon[0]->text();
      live.Step(13.5);
      QVERIFY(QTest::qWaitFor([&] { return form.StaticMon[0]->text() != before; }, 5000));

      // Run: the command reaches the drive and the drive reports it running.
      form.ButtonCmd[0]->click();
      QVERIFY(QTest::qWaitFor([&] { return line.drive.Holding(1, 948) == 1; }, 5000));
      live.Step(14.0);
      QVERIFY(QTest::qWaitFor([&] { return ui::LampColour(form.PanelStato[0]) == ui::kLampRed; }, 5000));
      form.editSpeed[0]->setText("1200");
      form.setpointButton[0]->click();
      QVERIFY(QTest::qWaitFor([&] { return line.drive.Holding(1, 910) == 1200; }, 5000));
      QVERIFY(QTest::qWaitFor([&] { return !form.advGrid->item(2, 0)->text().isEmpty(); }, 5000));
      Shot(dialog, "monitor");
      dialog.done(IdCancel);
    });
    main.OperationMonitorClick();
    QCOMPARE(gui.dialogs.back(), QString("ui::TMonitorForm"));
    QCOMPARE(s.LinkedStation, 1);

    line.drive.SetHolding(1, 3, 2);
    line.drive.SetHolding(1, 900, 0x0081);
    gui.dialogScripts.push_back([&](QDialog& dialog) {
      auto& form = static_cast<ui::TProfileForm&>(dialog);
      dialog.show();
      QVERIFY(QTest::qWaitFor([&] { return ui::LampColour(form.Panel[0]) == ui::kLampGreen; }, 5000));
      QVERIFY(!form.comboF001->isEnabled());  // locked while enabled
      QVERIFY(form.EditTorque->isEnabled());
      form.comboF001->setCurrentIndex(0);
      form.comboF002->setCurrentIndex(0);
      form.EditAccel->SetText("150");
      form.EditDecel->SetText("250");
      form.EditSpeed->SetText("1800");
      form.EditTorque->SetText("75");
      form.CheckEnable->setChecked(true);
      form.CheckRun->setChecked(true);
      form.Button1->click();
      QCOMPARE(line.drive.Holding(1, 916), std::uint16_t(0));
      QCOMPARE(line.drive.Holding(1, 910), std::uint16_t(1 + 8 + 128));
      QCOMPARE(line.drive.Holding(1, 5), std::uint16_t(75));
      QCOMPARE(line.drive.Holding(1, 4), std::uint16_t(1800));
      QVERIFY(QTest::qWaitFor([&] { return ui::LampColour(form.Panel[1]) == ui::kLampGreen; }, 5000));
      Shot(dialog, "profile");
      form.OK->click();
    });
    main.OperationProfileClick();
    QCOMPARE(gui.dialogs.back(), QString("ui::TProfileForm"));
    QVERIFY(gui.messages.empty());
  }
};

QTEST_MAIN(MonitorLiveTest)
#include "monitor_live_test.moc"
