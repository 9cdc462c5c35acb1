// The monitor and profile windows against the simulated drive behind the in-process port: the
// monitor's layout for each test model, one tick's requests on the wire, commands, set-points,
// the register panel, forced inputs and the failures that end the window; the profile window's
// reads, Send, lamps and lock; then the Monitor and Profile commands of the main window.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "controls/edit/typed_edit.h"
#include "core/texts.h"
#include "tests/ui/drive_support.h"
#include "tools/simdrive/live.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"
#include "ui/drive/lamps.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/main/main_form.h"

using platform::gui::IdAbort;
using platform::gui::IdCancel;
using platform::gui::IdRetry;
using simdrive::Fault;
using simdrive::FaultKind;
using ui::TMonitorForm;
using ui::TProfileForm;
using uitest::Frame;
using uitest::Hi;
using uitest::Lo;
using uitest::WithCrc;

namespace {

// A fourth model for what the test models lack: set-points with decimals, floats, status bits
// out of order, input-register bit words.
const char* const kExtraModel =
    "[MODEL=KV400]\n"
    "[MONIDFIR=W901;0;Firmware;Firmware;Firmware;Firmware]\n"
    "[MONSPEED1=W910;1;Speed;Velocita;Drehzahl;Vitesse]\n"
    "[MONPOS1=L920;2;Target;Obiettivo;Ziel;Cible]\n"
    "[MONPOS2=L922;0;Speed;Velocita;Drehzahl;Vitesse]\n"
    "[MONCONTYP=W930;0;Control;Controllo;Steuerung;Commande]\n"
    "[MONREGI=J941;;Inputs;Ingressi;Eingaenge;Entrees]\n"
    "[MONREGS=W944;;Status;Stato;Status;Etat]\n"
    "[MONSTS=5;Five;Cinque;Fuenf;Cinq]\n"
    "[MONSTS=2;Two;Due;Zwei;Deux]\n"
    "[MONSTSH=5;Hint five;Suggerimento cinque;Hinweis fuenf;Astuce cinq]\n"
    "[MONSTSH=2;Hint two;Suggerimento due;Hinweis zwei;Astuce deux]\n"
    "[MONINP=1;In1;In1;In1;In1]\n"
    "[MONMON1=F960;2;Float;Float;Float;Float]\n"
    "[MONMON2=G962;1;Input float;Input float;Input float;Input float]\n"
    "[MONPAR=W100;0;Control mode;Modo;Steuerart;Mode]\n";

Frame Read(int function, int address, int count) { return uitest::ReadFrame(function, address, count); }
Frame Write6(int address, int value) { return WithCrc({1, 6, Hi(address), Lo(address), Hi(value), Lo(value)}); }

// The drive of `model` (1-based) linked at station 1 behind the in-process port.
struct Bench : uitest::FakeBench {
  explicit Bench(int model = 1, const QString& extra = kExtraModel)
      : FakeBench(std::array{"KV100", "KV200", "KV300", "KV400"}[model - 1], 1, model, extra) {}
};

bool Lit(QWidget* lamp) { return ui::LampColour(lamp) == ui::kLampRed; }


// The profile window's drive: profiles sent take effect in its registers.
Frame Read(int address, int count) { return uitest::ReadFrame(3, address, count); }
Frame Profile(std::array<std::uint16_t, 7> words) {
  Frame f{1, 16, 0x03, 0x8E, 0, 7, 14};
  for (std::uint16_t w : words) {
    f.push_back(uitest::Hi(w));
    f.push_back(uitest::Lo(w));
  }
  return uitest::WithCrc(f);
}

struct ProfileBench : uitest::FakeBench {
  ProfileBench() : drive(*FakeBench::drive) {
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

class MonitorTest : public QObject {
  Q_OBJECT
 private slots:
  void layoutFollowsTheModelsItems() {
    {
      Bench bench(1);
      TMonitorForm form;
      QCOMPARE(form.height(), 565);
      QVERIFY(!form.GroupBox3->isHidden());
      QCOMPARE(form.advGrid->rowCount(), 3);
      QCOMPARE(form.Label5->text(), QString("Firmware"));
      QVERIFY(!form.StaticIDFIR->isHidden());
      QCOMPARE(form.setpointName[4]->text(), QString("Position 1"));
      QCOMPARE(form.editPos[0]->maxLength(), 11);
      QCOMPARE(form.editPos[1]->maxLength(), 8);
      QVERIFY(!form.ButtonCmd[7]->isHidden() && form.setpointUnit[0]->text() == "SET");
      // Bits: alarm 1, 2 and 16, input 1 (8 is beyond the five panels), output 1, status 3 and 5.
      QVERIFY(!form.PanelAlarm[0]->isHidden() && !form.PanelAlarm[15]->isHidden() && form.PanelAlarm[2]->isHidden());
      QVERIFY(!form.PanelInput[0]->isHidden() && form.PanelInput[1]->isHidden());
      QCOMPARE(form.PanelInput[0]->text(), QString("Run"));
      QCOMPARE(form.PanelAlarm[0]->toolTip(), QString("Heat sink hot"));
      QVERIFY(!form.PanelStato[1]->isHidden() && form.PanelStato[2]->isHidden());
      QVERIFY(!form.ButtonSet[0]->isHidden() && !form.ButtonReset[4]->isHidden());  // MONREGIF 942
      QCOMPARE(form.comboPar->count(), 2);
      QCOMPARE(form.comboPar->currentIndex(), -1);
      QVERIFY(form.Timer()->isActive());  // switched on by the set-point read at creation
      form.show();
      form.close();
      QCOMPARE(form.result(), int(IdCancel));
      QVERIFY(!form.Timer()->isActive());
    }
    {
      // No advanced list: the bit box moves up and the window is 88 pixels shorter; no
      // identification, no force buttons.
      Bench bench(2);
      TMonitorForm form;
      QVERIFY(form.GroupBox3->isHidden());
      QCOMPARE(form.GroupBox4->y(), 352);
      QCOMPARE(form.height(), 565 - 88);
      QVERIFY(form.StaticIDFIR->isHidden() && form.Label5->isHidden());
      QVERIFY(!form.StaticMon[0]->isHidden() && form.StaticMon[1]->isHidden());
      QVERIFY(!form.ButtonCmd[0]->isHidden() && form.ButtonCmd[1]->isHidden());
      QVERIFY(form.editSpeed[0]->isHidden() && form.setpointButton[0]->isHidden());
      QVERIFY(form.ButtonSet[0]->isHidden());
    }
    {
      // A model without monitor items: nothing to show, nothing asked of the drive.
      Bench bench(3);
      TMonitorForm form;
      QVERIFY(form.StaticMon[0]->isHidden() && form.ButtonCmd[0]->isHidden() && form.PanelAlarm[0]->isHidden());
      QCOMPARE(form.comboPar->count(), 0);
      form.TimerTimer();
      QVERIFY(bench.Sent().empty());
    }
    {
      // Another language: labels follow it, the parameter list keeps the first language.
      Bench bench(1);
      core::State().LanguageIndex = 3;
      TMonitorForm form;
      QCOMPARE(form.Label5->text(), QString("Firmware"));
      QCOMPARE(form.setpointName[0]->text(), QString("Drehzahl 1"));
      QCOMPARE(form.ButtonCmd[0]->text(), QString("Start"));
      QCOMPARE(form.comboPar->itemText(1), QString("Maximum frequency"));
    }
  }

  void oneTickOnTheWireAndWhatItShows() {
    Bench bench(1);
    auto& d = *bench.drive;
    d.SetHolding(1, 910, 1500);
    d.SetHolding(1, 920, 0xFFFE);
    d.SetHolding(1, 921, 0xFFFF);
    TMonitorForm form;
    // Creation reads the eight set-points: four words, four 32-bit positions.
    const std::vector<Frame> creation = bench.Sent();
    QCOMPARE(creation.size(), std::size_t(8));
    QCOMPARE(creation[0], Read(3, 910, 1));
    QCOMPARE(creation[4], Read(3, 920, 2));
    QCOMPARE(form.editSpeed[0]->text(), QString("1500"));
    QCOMPARE(form.editPos[0]->text(), QString("-2"));

    d.SetHolding(1, 901, 123);
    d.SetInput(1, 1000, static_cast<std::uint16_t>(-505));
    d.SetInput(1, 1002, 0x86A0);  // 100000
    d.SetInput(1, 1003, 0x0001);
    d.SetHolding(1, 940, 0x8001);  // alarms 1 and 16
    d.SetInput(1, 941, 0x0001);    // input 1, from the input registers
    d.SetHolding(1, 941, 0);
    d.SetHolding(1, 943, 0x0001);
    d.SetHolding(1, 944, 0x0014);  // status bits 3 and 5
    d.SetHolding(1, 950, 5000);
    d.SetInput(1, 956, static_cast<std::uint16_t>(-12));
    form.comboPar->setCurrentIndex(1);
    bench.port->ClearHistory();
    form.TimerTimer();
    const std::vector<Frame> expected = {
        Read(3, 901, 1),  Read(3, 902, 1), Read(4, 1000, 1), Read(4, 1001, 1), Read(4, 1002, 2), Read(3, 940, 1),
        Read(4, 941, 1),  Read(3, 943, 1), Read(3, 944, 1),  Read(3, 945, 1),  Read(3, 950, 1),  Read(3, 951, 1),
        Read(3, 952, 1),  Read(3, 953, 1), Read(3, 954, 1),  Read(3, 955, 1),  Read(4, 956, 1),  Read(3, 101, 1),
    };
    QCOMPARE(bench.Sent(), expected);
    QCOMPARE(form.StaticIDFIR->text(), QString("1.23"));
    QCOMPARE(form.advGrid->item(0, 0)->text(), QString("Output frequency = -50.5"));
    QCOMPARE(form.advGrid->item(2, 0)->text(), QString("Output power = 1000.00"));
    QCOMPARE(form.StaticMon[0]->text(), QString("50.00"));
    QCOMPARE(form.StaticMon[6]->text(), QString("-12"));
    QCOMPARE(form.StaticMonValue->text(), QString("0.00"));
    QVERIFY(Lit(form.PanelAlarm[0]) && Lit(form.PanelAlarm[15]) && !Lit(form.PanelAlarm[1]));
    QVERIFY(Lit(form.PanelInput[0]) && Lit(form.PanelOutput1));
    QVERIFY(Lit(form.PanelStato[0]) && Lit(form.PanelStato[1]));
    QCOMPARE(form.StaticStatus[0]->text(), QString("Fun. data"));  // bit 1 clear
    QCOMPARE(form.StaticStatus[1]->text(), QString("Motor database"));
    QVERIFY(form.Timer()->isActive());
  }

  void statusPanelsFollowAscendingBitsAndFloatsAreDecoded() {
    Bench bench(4);
    auto& d = *bench.drive;
    d.SetHolding(1, 944, 0x0002);  // bit number 2 only
    d.SetHolding(1, 960, 0x0000);
    d.SetHolding(1, 961, 0x4148);  // 12.5
    d.SetInput(1, 963, 0xC050);    // -3.25
    TMonitorForm form;
    form.TimerTimer();
    QCOMPARE(form.PanelStato[0]->text(), QString("Five"));
    QVERIFY(Lit(form.PanelStato[0]) && !Lit(form.PanelStato[1]));  // panel 1 shows bit 2
    QCOMPARE(form.PanelStato[0]->toolTip(), QString("Hint two"));
    QCOMPARE(form.PanelStato[1]->toolTip(), QString("Hint five"));
    QCOMPARE(form.StaticMon[0]->text(), QString("12.50"));
    QCOMPARE(form.StaticMon[1]->text(), QString("-3.2"));
  }

  void commandsOnTheWire() {
    Bench bench(1);
    auto& d = *bench.drive;
    TMonitorForm form;
    form.TimerTimer();
    bench.port->ClearHistory();
    form.ButtonCmd[0]->click();  // W948 mask 1
    form.ButtonCmd[6]->click();  // coil 20
    QVERIFY(form.Requested(TMonitorForm::kCommand1));
    QVERIFY(bench.Sent().empty());  // a click only raises the request
    form.TimerTimer();
    const std::vector<Frame> sent = bench.Sent();
    QCOMPARE(sent[0], Read(3, 948, 1));
    QCOMPARE(sent[1], Write6(948, 1));
    QCOMPARE(sent[2], Read(3, 948, 1));  // the read that confirms the write's answer
    QCOMPARE(sent[3], Read(1, 20, 1));
    QCOMPARE(sent[4], WithCrc({1, 5, 0, 20, 0xFF, 0}));
    QCOMPARE(sent[5], Read(1, 20, 1));
    QCOMPARE(sent[6], Read(3, 901, 1));
    QCOMPARE(d.Holding(1, 948), std::uint16_t(1));
    QVERIFY(d.Coil(1, 20));

    // Bit 0 of the last status word refuses the 948 commands with "Table Full!!".
    d.SetHolding(1, 944, 1);
    form.TimerTimer();
    bench.port->ClearHistory();
    form.ButtonCmd[1]->click();
    form.TimerTimer();
    QCOMPARE(bench.box.gui().messages.back().text, QString("Table Full!!"));
    QVERIFY(bench.Sent().empty());  // dropped, and the tick ended there
    QVERIFY(!form.Requested(TMonitorForm::kCommand1 + 1));

    // A failed command says so and the tick goes on.
    d.SetHolding(1, 944, 0);
    form.TimerTimer();
    d.SetFault(Fault{FaultKind::Exception, 2, 1, 5});
    form.ButtonCmd[7]->click();
    form.TimerTimer();
    QVERIFY(bench.box.gui().messages.back().text.startsWith("Write Fail"));
    QCOMPARE(bench.box.gui().messages.back().caption, QString("Communication Message"));

    // 948 with value 4 toggles mask 4 and ends the window with IDRETRY, timer off.
    bench.port->ClearHistory();
    form.ButtonCmd[3]->click();
    form.TimerTimer();
    QCOMPARE(bench.Sent().size(), std::size_t(3));
    QCOMPARE(bench.Sent()[1], Write6(948, 1 | 4));
    QCOMPARE(form.result(), int(IdRetry));
    QVERIFY(!form.Timer()->isActive());
  }

  void setpointsAreScaledCheckedAndKeptWhileTyped() {
    Bench bench(4);
    auto& d = *bench.drive;
    auto& gui = bench.box.gui();
    d.SetHolding(1, 910, 123);  // 12.3
    TMonitorForm form;
    QCOMPARE(form.editSpeed[0]->text(), QString("12.3"));
    QVERIFY(!form.RefreshPending());  // the absent set-points count as read

    bench.port->ClearHistory();
    form.editSpeed[0]->setText("50.0");
    form.editPos[0]->setText("-1.5");
    form.editPos[1]->setText("70000");
    form.setpointButton[0]->click();
    form.setpointButton[4]->click();
    form.setpointButton[5]->click();
    form.TimerTimer();
    const std::vector<Frame> sent = bench.Sent();
    QCOMPARE(sent[1], Write6(910, 500));
    QCOMPARE(sent[2], Read(3, 910, 1));  // the read that confirms the word write's answer
    QCOMPARE(sent[3], WithCrc({1, 16, Hi(920), Lo(920), 0, 2, 4, 0xFF, 0x6A, 0xFF, 0xFF}));  // -150, low word first
    QCOMPARE(sent[4], WithCrc({1, 16, Hi(922), Lo(922), 0, 2, 4, 0x11, 0x70, 0x00, 0x01}));  // every L item is 32 bits
    QCOMPARE(form.editSpeed[0]->text(), QString("50.0"));

    // A value the register cannot hold is refused with a message and stays in the edit.
    bench.port->ClearHistory();
    form.editSpeed[0]->setText("7000.0");
    form.setpointButton[0]->click();
    form.editControl->setText("70000");
    form.ButtonConSet->click();
    form.TimerTimer();
    QCOMPARE(gui.messages.size(), std::size_t(2));
    QVERIFY(gui.messages[0].text.contains("Speed: the value 7000.0 does not fit"));
    QVERIFY(gui.messages[0].text.contains("-3276.8 to 6553.5"));
    QCOMPARE(form.editSpeed[0]->text(), QString("7000.0"));
    for (const Frame& f : bench.Sent()) QVERIFY(f[1] != 6 && f[1] != 16);
    // Not a number: the edit is emptied, nothing is sent.
    form.editSpeed[0]->setText("fast");
    form.setpointButton[0]->click();
    form.TimerTimer();
    QVERIFY(form.editSpeed[0]->text().isEmpty());

    // What the user types is not overwritten by a refresh; a failed read counts as done.
    d.SetHolding(1, 910, 77);
    d.SetHolding(1, 920, 5);
    d.SetHolding(1, 921, 0);
    QTest::keyClicks(form.editSpeed[0], "42");
    form.RefreshSetpoints();
    QCOMPARE(form.editSpeed[0]->text(), QString("42"));
    QCOMPARE(form.editPos[0]->text(), QString("0.05"));
    d.SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    form.RefreshSetpoints();
    QVERIFY(!form.RefreshPending());
  }

  // Every write of the monitor against each fate of the write on a plain line: done, done but
  // unanswered, ignored (the reads still answered), refused, and unanswered by a drive that then
  // answers nothing (where the tick reaches the write at all). A failure says what the drive
  // holds, read back; a field shows that or keeps what was typed, and is never emptied.
  void everyFailedWriteSaysWhatTheDriveHolds() {
    using F = TMonitorForm&;
    using D = const simdrive::Drive&;
    struct Case {
      const char* name;  // as the messages name it
      int model, function;
      std::function<QLineEdit*(F)> request;  // returns the field written, if any
      QString typed, held, old;  // held: the value written as the monitor shows it; old: before it
      bool command, deadReached;
      std::function<bool(D)> holds;  // the drive holds the value written
    };
    const Case cases[] = {
        {"Speed", 4, 6,
         [](F f) { f.editSpeed[0]->setText("50.0"); f.setpointButton[0]->click(); return f.editSpeed[0]; },
         "50.0", "50.0", "12.3", false, true, [](D d) { return d.Holding(1, 910) == 500; }},
        {"Target", 4, 16, [](F f) { f.editPos[0]->setText("-1.5"); f.setpointButton[4]->click(); return f.editPos[0]; },
         "-1.5", "-1.50", "0.00", false, true,
         [](D d) { return d.Holding(1, 920) == 0xFF6A && d.Holding(1, 921) == 0xFFFF; }},
        {"Control", 4, 6, [](F f) { f.editControl->setText("7"); f.ButtonConSet->click(); return f.editControl; },
         "7", "7", "0", false, true, [](D d) { return d.Holding(1, 930) == 7; }},
        {"register 500", 4, 6,
         [](F f) { f.editAdd->setText("500"); f.editVal->setText("77"); f.Button2->click(); return f.editVal; },
         "77", "77", "0", false, false, [](D d) { return d.Holding(1, 500) == 77; }},
        {"register 942", 1, 6, [](F f) { f.ButtonSet[0]->click(); return nullptr; }, "", "1", "0", false, false,
         [](D d) { return d.Holding(1, 942) == 1; }},
        {"register 948", 1, 6, [](F f) { f.ButtonCmd[0]->click(); return nullptr; }, "", "1", "0", true, true,
         [](D d) { return d.Holding(1, 948) == 1; }},
        {"coil 20", 1, 5, [](F f) { f.ButtonCmd[6]->click(); return nullptr; }, "", "1", "0", true, true,
         [](D d) { return d.Coil(1, 20); }},
    };
    enum Fate { Done, Unanswered, Ignored, Refused, Dead };
    using K = FaultKind;
    const FaultKind kinds[] = {K::None, K::Silence, K::Ignore, K::Exception, K::Ignore};
    for (const Case& c : cases) {
      // A command's read-back tells what the register holds; a value's, whether it is the one written.
      const QString name = c.name, back = "read back from the drive, " + name;
      const QString held = back + " now holds " + c.held + (c.command ? "." : ", the value written.");
      const QString notHeld = c.command ? back + " now holds " + c.old + "."
                                        : "Read back from the drive, " + name + " holds " + c.old +
                                              ", not the value written.";
      const QString refused = QString("Write Fail\nThe drive refused the %1: illegal data value (exception 3).")
                                  .arg(c.command ? "command" : "value");
      for (Fate fate : {Done, Unanswered, Ignored, Refused, Dead}) {
        if (fate == Dead && !c.deadReached) continue;
        Bench bench(c.model);
        bench.drive->SetHolding(1, 910, 123);
        auto& gui = bench.box.gui();
        TMonitorForm form;
        form.TimerTimer();
        const std::size_t before = gui.messages.size();
        bench.drive->SetFault(Fault{kinds[fate], fate == Refused ? 3 : 0, -1, c.function});
        // The dead drive answers nothing from the write on (a command's read before it, yes).
        if (fate == Dead)
          core::State().ProcessMessages = [&] {
            for (const auto& f : bench.port->SentFrames())
              if (f.bytes[1] == c.function) bench.drive->SetFault(Fault{FaultKind::Ignore, 0, -1, 0});
          };
        QLineEdit* field = c.request(form);
        form.TimerTimer();
        core::State().ProcessMessages = nullptr;
        const QString last = gui.messages.size() > before ? gui.messages.back().text : QString();
        const QByteArray said = QString("%1, fate %2: %3").arg(c.name).arg(int(fate)).arg(last).toUtf8();
        // Reported done or not, the message and the drive agree.
        if (fate == Done || (fate == Unanswered && last.isEmpty())) QVERIFY2(c.holds(*bench.drive), said);
        if (fate == Ignored || fate == Refused) QVERIFY2(!c.holds(*bench.drive), said);
        // What the field shows: the drive's value when the message told it, else what was typed.
        QString shown = c.typed;
        if (fate == Done) QVERIFY2(gui.messages.size() == before, said);
        if (fate == Unanswered && !last.isEmpty()) {  // (empty: the write was confirmed by a read)
          QVERIFY2(last.startsWith("Write Fail\nNo valid reply from the drive to the ") &&
                       last.endsWith("The drive may have done the write all the same: " + held), said);
          shown = c.held;
        }
        if (fate == Ignored) {
          QVERIFY2(last.endsWith(notHeld), said);
          shown = c.old;
        }
        if (fate == Refused) QCOMPARE(last, refused);
        if (fate == Dead) QVERIFY2(last.endsWith("back failed too, so the value the drive holds is unknown."), said);
        if (field && (fate != Unanswered || !last.isEmpty())) QCOMPARE(field->text(), shown);
      }
    }
  }

  void registerPanelAndForcedInputs() {
    Bench bench(1);
    auto& d = *bench.drive;
    TMonitorForm form;
    form.editAdd->setText("65001");
    form.editVal->setText("9");
    form.Button1->click();
    QVERIFY(form.editAdd->text().isEmpty() && form.editVal->text().isEmpty());
    QVERIFY(!form.Requested(TMonitorForm::kRegisterRead));
    form.editAdd->setText("65000");
    form.Button1->click();
    QVERIFY(form.Requested(TMonitorForm::kRegisterRead));

    // An L parameter (P0.03 at 103) is read two registers wide, anything else one.
    d.SetHolding(1, 103, 0x86A0);
    d.SetHolding(1, 104, 0x0001);
    form.editAdd->setText("103");
    bench.port->ClearHistory();
    form.TimerTimer();
    QCOMPARE(bench.Sent()[2], Read(3, 103, 2));
    QCOMPARE(form.editVal->text(), QString("100000"));

    // Writes: 70000 does not fit one word; an L parameter takes it.
    form.editAdd->setText("500");
    form.editVal->setText("70000");
    form.Button2->click();
    bench.port->ClearHistory();
    form.TimerTimer();
    QVERIFY(bench.box.gui().messages.back().text.contains("does not fit"));
    for (const Frame& f : bench.Sent()) QVERIFY(f[1] != 6);
    form.editAdd->setText("103");
    form.Button2->click();
    form.TimerTimer();
    QCOMPARE(d.Holding(1, 103), std::uint16_t(0x1170));
    QCOMPARE(d.Holding(1, 104), std::uint16_t(0x0001));

    // Two clicks on the same force button before a tick: the bit is back to clear, one write.
    form.ButtonSet[0]->click();
    form.ButtonSet[0]->click();
    form.ButtonReset[2]->click();
    QCOMPARE(form.ForceWord(), std::uint16_t(0x0020));
    bench.port->ClearHistory();
    form.TimerTimer();
    int forceWrites = 0;
    for (const Frame& f : bench.Sent())
      if (f == Write6(942, 0x0020)) ++forceWrites;
    QCOMPARE(forceWrites, 1);
    QCOMPARE(d.Holding(1, 942), std::uint16_t(0x0020));
  }

  // A drive that does not answer is asked for one set-point at creation, not all eight.
  void deadDriveIsAskedForOneSetpoint() {
    Bench bench(1);
    bench.drive->SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    TMonitorForm form;
    QCOMPARE(bench.Sent(), std::vector<Frame>(2, Read(3, 910, 1)));  // one read, two tries
    QVERIFY(form.Timer()->isActive() && !form.RefreshPending());
  }

  // The demonstration configuration names every monitor caption (214 is none) in every language.
  void demonstrationConfigurationNamesTheMonitorsCaptions() {
    uitest::Sandbox box(QString(), false);
    QVERIFY(QFile::copy(QString(KV_TEST_DATA) + "/../../demo/Kestravel.cfg", box.Path("Kestravel.cfg")));
    QVERIFY(core::LoadConfiguration() && core::State().ModelCount == 3);
    for (int& lang = (core::State().LanguageIndex = 1); lang <= 4; ++lang)
      for (int id = 190; id <= 217; ++id)
        QVERIFY2(id == 214 || core::LangStr(id) != core::BuiltInText(id), qPrintable(QString::number(id)));
    // The message boxes' titles and headlines too, in each language but English (the built-in texts).
    for (int& lang = (core::State().LanguageIndex = 1); lang <= 4; ++lang)
      for (int id : {73, 75, 76, 78, 99, 100, 101, 214})
        QVERIFY2((core::LangStr(id) == core::BuiltInText(id)) == (lang == 1), qPrintable(QString::number(id)));
    core::State().LanguageIndex = 3;
    QCOMPARE(ui::L(78), QString("ZEITUEBERSCHREITUNG !!"));
  }

  // The demonstration configuration's ready and running texts follow the simulated drive's status word.
  void demonstrationStatusFollowsTheSimulatedDrive() {
    uitest::FakeBench bench(QString(KV_TEST_DATA) + "/../../demo/Kestravel.cfg", "KV100", 1, 1);
    simdrive::LiveDrive live(*bench.drive, {1});
    live.UseModel(core::State().Models[0]);
    TMonitorForm form;
    const auto shown = [&] {
      live.Step(0.5);
      form.TimerTimer();
      return form.StaticStatus[0]->text() + "/" + form.StaticStatus[1]->text();  // ready/running
    };
    QCOMPARE(shown(), QString("Yes/No"));
    form.ButtonCmd[0]->click();  // Run
    form.TimerTimer();           // sends it
    QCOMPARE(shown(), QString("Yes/Yes"));
  }

  void failuresEndTheWindow() {
    Bench bench(1);
    auto& d = *bench.drive;
    TMonitorForm form;
    // A failed encoder read ends the tick early: the raised set-point request waits.
    form.TimerTimer();
    d.SetHolding(1, 901, 7);
    bench.port->ScriptReply(WithCrc({1, 3, 2, 0, 7}));
    bench.port->ScriptReply({0x01});
    bench.port->ScriptReply({0x01});
    form.setpointButton[0]->click();
    form.TimerTimer();
    QVERIFY(form.Requested(TMonitorForm::kSpeed1));
    QCOMPARE(form.Failures(), 0);
    form.TimerTimer();
    QVERIFY(!form.Requested(TMonitorForm::kSpeed1));

    // Nine silent polls, one answer, then ten silent ones end it with IDABORT.
    d.SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    for (int i = 0; i < 9; ++i) form.TimerTimer();
    QCOMPARE(form.Failures(), 9);
    d.ClearFault();
    form.TimerTimer();
    QCOMPARE(form.Failures(), 0);
    d.SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    for (int i = 0; i < 9; ++i) form.TimerTimer();
    QCOMPARE(form.result(), 0);
    form.TimerTimer();
    QCOMPARE(form.result(), int(IdAbort));
    QVERIFY(!form.Timer()->isActive());
  }

  void monitorCommandOfTheMainWindow() {
    const auto endedByDrive = [](QDialog& dialog) {
      auto& form = static_cast<TMonitorForm&>(dialog);
      form.ButtonCmd[3]->click();
      form.TimerTimer();
    };
    {
      // Without text 70 in the configuration the message is not blank.
      Bench bench(1);
      ui::TMainForm main;
      uitest::LinkWindow(main);
      bench.gui().dialogScripts.push_back(endedByDrive);
      main.OperationMonitorClick();
      QCOMPARE(bench.gui().messages.back().text, ui::extra::MonitorEndedByDrive());
    }
    Bench bench(1, "[LANGID=70;The drive restarts.;Il drive riparte.;Der Antrieb startet neu.;Le variateur redemarre.]\n");
    auto& gui = bench.box.gui();
    ui::TMainForm main;
    auto& s = core::State();
    uitest::LinkWindow(main);
    QVERIFY(main.ItemEnabled("OperationMonitor"));
    QVERIFY(main.ItemEnabled("MonitorButton"));

    // Closed by the user: nothing else happens.
    gui.dialogScripts.push_back([](QDialog& dialog) {
      dialog.show();
      dialog.close();
    });
    main.OperationMonitorClick();
    QCOMPARE(gui.dialogs.back(), QString("ui::TMonitorForm"));
    QCOMPARE(s.LinkedStation, 1);
    QVERIFY(gui.messages.empty());

    // Ten silent polls: unlinked, "Cummunication Error!!".
    bench.drive->SetFault(Fault{FaultKind::Silence, 0, -1, 0});
    gui.dialogScripts.push_back([](QDialog& dialog) {
      for (int i = 0; i < 10; ++i) static_cast<TMonitorForm&>(dialog).TimerTimer();
    });
    main.OperationMonitorClick();
    QCOMPARE(s.LinkedStation, 0);
    QVERIFY(!main.ItemEnabled("OperationMonitor"));
    QCOMPARE(gui.messages.back().text, QString("Cummunication Error!!"));
    QCOMPARE(gui.messages.back().icon, platform::gui::Icon::Stop);

    // The command that ends the session: text 70 from the configuration.
    bench.drive->ClearFault();
    core::OpenPortOn(std::make_unique<simdrive::FakePort>(*bench.drive));
    uitest::LinkWindow(main);
    gui.dialogScripts.push_back(endedByDrive);
    main.OperationMonitorClick();
    QCOMPARE(s.LinkedStation, 0);
    QCOMPARE(gui.messages.back().text, QString("The drive restarts."));
    QCOMPARE(gui.messages.back().caption, QString("Communication Message"));
  }

  // The profile window: the settings and set-points read at opening, the Send bytes and the
  // checks before them, the lamps and the lock of the inputs, the handshake between the timer
  // and the actions, and the Profile command.
  void readsTheDriveAtOpening() {
    ProfileBench bench;
    bench.ModeThreeWithHome();
    TProfileForm form;
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
    ProfileBench bench;
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

    // A failed send says so and what the drive holds (read back); the window stays.
    form.comboF257->setCurrentIndex(0);
    const QString timeOut = "TIME-OUT !!\nNo valid reply from the drive to the write: no answer in time, or a damaged "
                            "reply.\nThe drive may have done the write all the same: read back from the drive, the "
                            "profile (registers 910 to 916)";
    bench.drive.SetFault(Fault{FaultKind::Silence, 0, -1, 16});  // it does the write
    form.Button1->click();
    QCOMPARE(gui.messages.back().text, timeOut + " now holds 723 9 10 20 300 65535 65535, the value written.");
    QCOMPARE(gui.messages.back().caption, QString("Cummunication Error!!"));
    bench.drive.SetFault(Fault{FaultKind::Ignore, 0, -1, 16});  // it does not
    form.EditAccel->SetText("11");
    form.Button1->click();
    QVERIFY2(gui.messages.back().text.endsWith("holds 723 9 10 20 300 65535 65535, not the value written."),
             qPrintable(gui.messages.back().text));
    bench.drive.SetFault(Fault{FaultKind::Exception, 4, -1, 16});  // a refusal is no time-out
    form.Button1->click();
    QCOMPARE(gui.messages.back().text, QString("The drive failed while acting on the write (exception 4)."));
    QCOMPARE(form.result(), 0);
  }

  void lampsAndTheLockOfTheInputs() {
    ProfileBench bench;
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
    ProfileBench bench;
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
    ProfileBench bench;
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

QTEST_MAIN(MonitorTest)
#include "monitor_test.moc"
