// The profile window against the simulated drive behind the in-process port: the settings and
// set-points read at opening, the Send bytes and the checks before them, the lamps and the
// lock of the inputs, the handshake between the timer and the actions, and the Profile command.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "controls/edit/typed_edit.h"
#include "tests/ui/drive_support.h"
#include "ui/drive/lamps.h"
#include "ui/drive/profile_form.h"
#include "ui/main/main_form.h"

using platform::gui::IdAbort;
using platform::gui::IdCancel;
using simdrive::Fault;
using simdrive::FaultKind;
using ui::TProfileForm;
using uitest::Frame;

namespace {

Frame Read(int address, int count) { return uitest::ReadFrame(3, address, count); }
Frame Profile(std::array<std::uint16_t, 7> words) {
  Frame f{1, 16, 0x03, 0x8E, 0, 7, 14};
  for (std::uint16_t w : words) {
    f.push_back(uitest::Hi(w));
    f.push_back(uitest::Lo(w));
  }
  return uitest::WithCrc(f);
}

struct Bench : uitest::FakeBench {
  Bench() : drive(*FakeBench::drive) {
    drive.SetProfileMotion(true);  // a profile sent takes effect in the drive's registers
  }
  // A drive in mode 3 with HOME: F001 3, F002 2, F003 3, F257 35, ENABLE and HOME ticked.
  void ModeThreeWithHome() {
    for (auto [reg, value] : std::initializer_list<std::pair<int, int>>{
             {1, 3}, {2, 2}, {3, 3}, {257, 35}, {911, 0x09}, {262, 10}, {263, 20}, {260, 300}, {258, 0xFFFF}, {259, 0xFFFF}})
      drive.SetHolding(1, static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(value));
  }
  simdrive::Drive& drive;
};

bool Shows(QWidget* lamp, const QColor& colour) { return ui::LampColour(lamp) == colour; }

}  // namespace

class ProfileTest : public QObject {
  Q_OBJECT
 private slots:
  void readsTheDriveAtOpening() {
    Bench bench;
    bench.ModeThreeWithHome();
    TProfileForm form;
    QCOMPARE(form.windowTitle(), QString("Manage the Motor Setting"));
    const std::vector<Frame> expected = {Read(1, 1), Read(2, 1),   Read(3, 1),   Read(257, 1), Read(911, 1),
                                         Read(262, 1), Read(263, 1), Read(260, 1), Read(258, 2)};
    QCOMPARE(bench.Sent(), expected);
    QCOMPARE(form.comboF001->currentIndex(), 2);
    QCOMPARE(form.comboF002->currentIndex(), 1);
    QCOMPARE(form.comboF003->currentIndex(), 2);
    QCOMPARE(form.comboF257->currentText(), QString("35"));
    QVERIFY(form.CheckEnable->isChecked() && form.CheckHome->isChecked() && !form.CheckRun->isChecked());
    QVERIFY(form.EditPosition->isEnabled() && form.CheckHome->isEnabled() && form.comboF257->isEnabled());
    QVERIFY(!form.CheckDir->isEnabled() && !form.EditTorque->isEnabled());
    QVERIFY(!form.comboF001->isEnabled());  // locked until the first status poll
    QCOMPARE(form.EditPosition->Text(), QString("-1"));
    QCOMPARE(form.EditAccel->Text(), QString("10"));
    QCOMPARE(form.EditSpeed->Text(), QString("300"));
    QVERIFY(!form.SettingsPending());
    QVERIFY(form.Timer()->isActive());

    // F257 = 15 is not in the table: no entry; mode 3 without HOME reads 30, 31, 32 and 34.
    bench.drive.SetHolding(1, 257, 15);
    bench.drive.SetHolding(1, 911, 0);
    bench.drive.SetHolding(1, 34, 7);
    bench.port->ClearHistory();
    TProfileForm other;
    QCOMPARE(other.comboF257->currentIndex(), -1);
    QCOMPARE(bench.Sent().back(), Read(34, 2));
    QCOMPARE(other.EditPosition->Text(), QString("7"));

    // A failed settings read keeps the settings pending; the next tick reads all five again.
    bench.port->ScriptReply({0x01});
    bench.port->ScriptReply({0x01});  // register 1, both tries
    TProfileForm third;
    QVERIFY(third.SettingsPending());
    QCOMPARE(third.comboF001->currentIndex(), -1);
    bench.port->ClearHistory();
    third.TimerTimer();
    QCOMPARE(bench.Sent().front(), Read(1, 1));
    QCOMPARE(bench.Sent().back(), Read(900, 1));
    QCOMPARE(third.comboF001->currentIndex(), 2);
    QVERIFY(!third.SettingsPending());
  }

  void sendWritesSevenWordsAfterItsChecks() {
    Bench bench;
    bench.ModeThreeWithHome();
    auto& gui = bench.box.gui();
    TProfileForm form;
    bench.port->ClearHistory();
    form.Button1->click();
    // 3 + 8*2 + 64*3 + 512*35 = 18131; flags ENABLE + HOME; position -1 in both words.
    QCOMPARE(bench.Sent(), std::vector<Frame>{Profile({18131, 0x09, 10, 20, 300, 0xFFFF, 0xFFFF})});

    // Mode 2: the torque goes into 915, 916 stays 0; the ranges are checked first.
    form.comboF003->setCurrentIndex(1);
    form.comboF003Change();
    QVERIFY(!form.CheckHome->isChecked() && form.EditTorque->isEnabled() && !form.EditPosition->isEnabled());
    form.EditAccel->SetText("9999");
    form.EditSpeed->SetText("4000");
    form.EditTorque->SetText("20001");
    bench.port->ClearHistory();
    form.Button1->click();
    QCOMPARE(gui.beeps, 1);
    QVERIFY(bench.Sent().empty());
    form.EditTorque->SetText("20000");
    form.Button1->click();
    QCOMPARE(bench.Sent(), std::vector<Frame>{Profile({3 + 16 + 128, 0x01, 9999, 0, 4000, 20000, 0})});
    for (auto [field, text] : {std::pair{form.EditSpeed, "4001"}, std::pair{form.EditAccel, "10000"}}) {
      const QString before = field->Text();
      field->SetText(text);
      form.Button1->click();
      field->SetText(before);
    }
    QCOMPARE(gui.beeps, 3);

    // Mode 1: neither torque (even out of range) nor position is sent.
    form.comboF003->setCurrentIndex(0);
    form.comboF003Change();
    form.EditTorque->SetText("30000");
    bench.port->ClearHistory();
    form.Button1->click();
    QCOMPARE(bench.Sent(), std::vector<Frame>{Profile({3 + 16 + 64, 0x01, 9999, 0, 4000, 0, 0})});

    // Mode 3 with HOME and no F257 entry: a beep.
    form.comboF003->setCurrentIndex(2);
    form.comboF003Change();
    form.CheckHome->click();
    QVERIFY(form.comboF257->isEnabled());
    form.comboF257->setCurrentIndex(-1);
    form.Button1->click();
    QCOMPARE(gui.beeps, 4);

    // A failed send says so; the window stays.
    form.comboF257->setCurrentIndex(0);
    bench.drive.SetFault(Fault{FaultKind::Silence, 0, -1, 16});
    form.Button1->click();
    QCOMPARE(gui.messages.back().text, QString("TIME-OUT !!"));
    QCOMPARE(gui.messages.back().caption, QString("Cummunication Error!!"));
    QCOMPARE(form.result(), 0);
  }

  void lampsAndTheLockOfTheInputs() {
    Bench bench;
    bench.ModeThreeWithHome();
    TProfileForm form;
    bench.drive.SetHolding(1, 900, 0x0383);
    form.TimerTimer();
    QVERIFY(Shows(form.Panel[0], ui::kLampGreen) && Shows(form.Panel[1], ui::kLampGreen));
    QVERIFY(!Shows(form.Panel[2], ui::kLampGreen) && !Shows(form.Panel[3], ui::kLampGreen));
    QVERIFY(Shows(form.Panel[4], ui::kLampRed) && Shows(form.Panel[5], ui::kLampRed) && Shows(form.Panel[6], ui::kLampRed));
    QVERIFY(!form.comboF001->isEnabled() && !form.Label3->isEnabled() && !form.CheckReset->isEnabled());
    bench.drive.SetHolding(1, 900, 0x0030);
    form.TimerTimer();
    QVERIFY(form.comboF003->isEnabled() && form.Label1->isEnabled() && form.CheckReset->isEnabled());
    QVERIFY(Shows(form.Panel[2], ui::kLampGreen) && !Shows(form.Panel[0], ui::kLampGreen));

    // A failed poll: lamps out, but the inputs keep their last lock.
    bench.drive.SetHolding(1, 900, 0x0001);
    form.TimerTimer();
    bench.drive.SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    form.TimerTimer();
    QVERIFY(!Shows(form.Panel[0], ui::kLampGreen));
    QVERIFY(!form.comboF001->isEnabled() && !form.CheckReset->isEnabled());
    for (int i = 0; i < 8; ++i) form.TimerTimer();
    QCOMPARE(form.Failures(), 9);
    QCOMPARE(form.result(), 0);
    form.TimerTimer();
    QCOMPARE(form.result(), int(IdAbort));
    QVERIFY(!form.Timer()->isActive());
  }

  void actionsNeverWaitForTheTimer() {
    Bench bench;
    bench.ModeThreeWithHome();
    TProfileForm form;
    auto& s = core::State();
    // Send clicked while a tick waits in its transaction: it runs when the tick ends.
    int clicks = 0;
    s.ProcessMessages = [&] {
      if (clicks++ == 0) form.Button1Click();
    };
    bench.port->ClearHistory();
    form.TimerTimer();
    s.ProcessMessages = nullptr;
    QCOMPARE(bench.Sent(), (std::vector<Frame>{Read(900, 1), Profile({18131, 0x09, 10, 20, 300, 0xFFFF, 0xFFFF})}));
    QVERIFY(form.Timer()->isActive());

    // A double click: the second Send comes while the first one's transaction runs.
    clicks = 0;
    s.ProcessMessages = [&] {
      if (clicks++ == 0) form.Button1Click();
    };
    bench.port->ClearHistory();
    form.Button1Click();
    s.ProcessMessages = nullptr;
    QCOMPARE(bench.Sent().size(), std::size_t(2));
    QVERIFY(bench.box.gui().messages.empty());

    // With the timer off an action runs at once and switches it on again.
    form.Timer()->stop();
    bench.port->ClearHistory();
    form.Button1Click();
    QCOMPARE(bench.Sent().size(), std::size_t(1));
    QVERIFY(form.Timer()->isActive());

    // Cancel during a tick closes the window; the Send queued behind it is dropped.
    clicks = 0;
    s.ProcessMessages = [&] {
      if (clicks++ == 0) {
        form.Button1Click();
        form.Cancel->click();
      }
    };
    bench.port->ClearHistory();
    form.TimerTimer();
    s.ProcessMessages = nullptr;
    QCOMPARE(form.result(), int(IdCancel));
    QCOMPARE(bench.Sent(), std::vector<Frame>{Read(900, 1)});
    QVERIFY(!form.Timer()->isActive());
  }

  void profileCommandOfTheMainWindow() {
    Bench bench;
    auto& gui = bench.box.gui();
    ui::TMainForm main;
    auto& s = core::State();
    uitest::LinkWindow(main);
    QVERIFY(main.ItemEnabled("OperationProfile") && main.ItemEnabled("ProfileButton"));
    gui.dialogScripts.push_back([](QDialog& dialog) { static_cast<TProfileForm&>(dialog).OK->click(); });
    main.OperationProfileClick();
    QCOMPARE(s.LinkedStation, 1);
    TProfileForm escaped;
    escaped.show();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    QCOMPARE(escaped.result(), int(IdCancel));
    bench.drive.SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    gui.dialogScripts.push_back([](QDialog& dialog) {
      for (int i = 0; i < 10; ++i) static_cast<TProfileForm&>(dialog).TimerTimer();
    });
    main.OperationProfileClick();
    QCOMPARE(gui.dialogs.back(), QString("ui::TProfileForm"));
    QCOMPARE(s.LinkedStation, 0);
    QCOMPARE(gui.messages.back().text, QString("Cummunication Error!!"));
    QCOMPARE(gui.messages.back().icon, platform::gui::Icon::Stop);
  }
};

QTEST_MAIN(ProfileTest)
#include "profile_test.moc"
