// The motor data table window against the simulated drive behind the in-process port: Insert,
// Replace, Delete and Download with the requests checked on the wire, the .pmo file checked
// byte by byte, and the Motor command of the main window. A screenshot of the window goes to
// ui_screenshots/.
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "core/common.h"
#include "core/config.h"
#include "core/motor.h"
#include "core/serial_link.h"
#include "tests/ui/ui_test_support.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"
#include "ui/drive/motor_form.h"
#include "ui/main/main_form.h"

using platform::gui::Buttons;
using platform::gui::IdNo;
using platform::gui::IdYes;
using simdrive::Fault;
using simdrive::FaultKind;

namespace {

constexpr std::uint16_t kTable = 2000;
constexpr int kRecords = 8;
const std::vector<std::uint16_t> kInUse = {75, 400, 152, 5000, 1460, 4, 83, 51, 712, 584, 986};

// The motor test configuration (model KV150, 8 records from register 2000, password "motor"),
// linked at station 1 to a simulated drive whose motor in use has the data above.
struct Bench {
  Bench() : box(QString(), false) {
    QFile::copy(QString(KV_TEST_DATA) + "/motor/Kestravel.cfg", box.Path("Kestravel.cfg"));
    core::LoadConfiguration();
    auto& s = core::State();
    s.ProgramFolder = (QDir(box.Path("")).absolutePath() + "/").toStdString();
    drive = std::make_unique<simdrive::Drive>("Kestravel", "KV150", "1.00");
    drive->AddStation(1);
    drive->SetMotorTable(kTable, kRecords);
    SetInUse(kInUse, "  SIM-7K5 ");
    auto port = std::make_unique<simdrive::FakePort>(*drive);
    wire = port.get();
    core::OpenPortOn(std::move(port));
    s.LinkedStation = 1;
    s.LinkedModel = 1;
  }
  ~Bench() { core::ClosePort(); }

  void SetInUse(const std::vector<std::uint16_t>& data, const char* code) {
    for (std::size_t w = 0; w < data.size(); ++w)
      drive->SetHolding(1, static_cast<std::uint16_t>(kTable + kRecords + w), data[w]);
    for (int k = 0; k < 5; ++k)
      drive->SetHolding(1, static_cast<std::uint16_t>(kTable + kRecords + 11 + k),
                        static_cast<std::uint16_t>(code[2 * k] << 8 | code[2 * k + 1]));
  }
  QByteArray File() const {
    QFile f(box.Path("KV150.pmo"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  platform::gui::ScriptedServices& gui() { return box.gui(); }

  uitest::Sandbox box;
  std::unique_ptr<simdrive::Drive> drive;
  simdrive::FakePort* wire = nullptr;
};

// The request frame of a 16-register read or write (without its CRC, and without the data of a write).
std::vector<std::uint8_t> Head(std::uint8_t function, std::uint16_t address) {
  std::vector<std::uint8_t> h{1, function, static_cast<std::uint8_t>(address >> 8),
                              static_cast<std::uint8_t>(address & 0xFF), 0, 16};
  if (function == 16) h.push_back(32);
  return h;
}
bool StartsWith(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& head) {
  return frame.size() >= head.size() && std::equal(head.begin(), head.end(), frame.begin());
}

// The 32 file bytes of a record: eleven words little-endian, then the code right-aligned in ten
// characters with each pair swapped.
QByteArray RecordBytes(const std::vector<std::uint16_t>& data, const QByteArray& code) {
  QByteArray b;
  for (std::uint16_t w : data) b += char(w & 0xFF), b += char(w >> 8);
  const QByteArray field = code.rightJustified(10, ' ');
  for (int k = 0; k < 10; k += 2) b += field[k + 1], b += field[k];
  return b;
}

}  // namespace

class MotorWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void insertReplaceDeleteKeepTheFileAndAskTheDrive() {
    Bench bench;
    auto& gui = bench.gui();
    ui::TMotorForm form;
    QCOMPARE(form.parGrid->columnCount(), 13);
    QCOMPARE(form.Cell(1, 0), QString("Code"));
    // Equal shares, but "cos phi" (column 8) takes the room its header needs from the others.
    QVERIFY(form.parGrid->columnWidth(8) > (681 - 55) / 12);
    QCOMPARE(form.parGrid->columnWidth(3), (681 - 55 - form.parGrid->columnWidth(8)) / 11);
    // No motor file yet: every row shows only its number.
    QCOMPARE(form.RowCount(), kRecords + 1);
    QCOMPARE(form.Cell(0, 8), QString("8"));
    QCOMPARE(form.Cell(1, 1), QString());
    QCOMPARE(form.Cell(2, 1), QString());

    // Insert: the motor in use is read once; a duplicate or blank code is asked again.
    gui.inputAnswers = {{true, "m4"}};
    form.InsButtonClick();
    QCOMPARE(bench.wire->SentFrames().size(), std::size_t(1));
    QVERIFY(StartsWith(bench.wire->SentFrames()[0].bytes, Head(3, kTable + kRecords)));
    QCOMPARE(gui.inputs.back().caption, QString("MotorForm"));
    QCOMPARE(gui.inputs.back().prompt, QString("Enter Motor Code"));
    QCOMPARE(form.Cell(1, 1), QString("M4"));
    QCOMPARE(form.Cell(2, 1), QString("7.5"));
    QCOMPARE(form.Cell(5, 1), QString("50.00"));
    QCOMPARE(form.Cell(8, 1), QString("0.83"));
    QCOMPARE(form.SelectedRow(), 1);
    QByteArray expected = RecordBytes(kInUse, "M4") + QByteArray(7 * 32, '\xFF');
    QCOMPARE(bench.File(), expected);

    gui.inputAnswers = {{true, " M4"}, {true, "   "}, {true, "motorcode1X"}, {true, "MOTORCODE1y"}, {true, "x9"}};
    form.InsButtonClick();
    QCOMPARE(gui.messages.size(), std::size_t(2));  // " M4" and the blanks refused
    QCOMPARE(gui.messages[0].text, QString("Invalid Code"));
    QCOMPARE(gui.messages[0].caption, QString("MotorForm"));
    QCOMPARE(form.Cell(1, 2), QString("MOTORCODE1"));  // cut to ten characters
    form.InsButtonClick();
    // Differs only after the tenth character: the same stored code, refused.
    QCOMPARE(gui.messages.size(), std::size_t(3));
    QCOMPARE(form.Cell(1, 3), QString("X9"));
    expected = RecordBytes(kInUse, "M4") + RecordBytes(kInUse, "MOTORCODE1") + RecordBytes(kInUse, "X9") +
               QByteArray(5 * 32, '\xFF');
    QCOMPARE(bench.File(), expected);

    // Replace row 2: a wrong password does nothing and says nothing; the right one in any case
    // reads the drive again and stores the new data with the new code.
    bench.wire->ClearHistory();
    form.SelectRow(2);
    gui.inputAnswers = {{true, "motr"}};
    form.ChgButtonClick();
    QVERIFY(bench.wire->SentFrames().empty());
    QCOMPARE(gui.messages.size(), std::size_t(3));
    const std::vector<std::uint16_t> other = {110, 230, 380, 6000, 1750, 2, 88, 90, 150, 120, 400};
    bench.SetInUse(other, "     OTHER");
    gui.inputAnswers = {{true, " Motor "}, {true, "y2"}};
    form.ChgButtonClick();
    QCOMPARE(gui.inputs[gui.inputs.size() - 2].prompt, QString("Enter the Password"));
    QCOMPARE(bench.wire->SentFrames().size(), std::size_t(1));
    QCOMPARE(form.Cell(1, 2), QString("Y2"));
    QCOMPARE(form.Cell(2, 2), QString("11.0"));
    QCOMPARE(form.SelectedRow(), 2);

    // Delete row 1 with the password: 32 bytes 0xFF, no other question.
    form.SelectRow(1);
    gui.inputAnswers = {{true, "motor"}};
    form.DelButtonClick();
    expected = QByteArray(32, '\xFF') + RecordBytes(other, "Y2") + RecordBytes(kInUse, "X9") + QByteArray(5 * 32, '\xFF');
    QCOMPARE(bench.File(), expected);
    QCOMPARE(form.Cell(1, 1), QString());

    // Replace and Delete on a free row do nothing at all.
    const std::size_t inputs = gui.inputs.size();
    form.SelectRow(5);
    form.ChgButtonClick();
    form.DelButtonClick();
    QCOMPARE(gui.inputs.size(), inputs);

    // The file is read back whole by the next window.
    ui::TMotorForm again;
    QCOMPARE(again.Cell(1, 2), QString("Y2"));
    QCOMPARE(again.Cell(1, 3), QString("X9"));
    QCOMPARE(gui.unexpected, 0);
  }

  void downloadWritesEveryRecordInOrder() {
    Bench bench;
    auto& gui = bench.gui();
    {
      std::vector<core::MotorRecord> table(kRecords, core::FreeMotorRecord());
      core::MotorWords words{};
      for (int w = 0; w < 16; ++w) words[w] = static_cast<std::uint16_t>(0x0100 + w);
      table[0] = core::RecordOf(words);
      table[2] = core::RecordOf(words);
      QVERIFY(core::SaveMotorTable(bench.box.Path("KV150.pmo").toStdString(), table));
    }
    ui::TMotorForm form;
    gui.messageAnswers = {IdNo};
    form.UpdButtonClick();
    QVERIFY(bench.wire->SentFrames().empty());
    QCOMPARE(gui.messages.back().text, QString("Confirm Download ??"));
    QCOMPARE(gui.messages.back().buttons, Buttons::YesNo);

    ui::TWriteMotorForm* shown = nullptr;
    gui.messageAnswers = {IdYes};
    gui.dialogScripts.push_back([&shown](QDialog& d) {
      shown = static_cast<ui::TWriteMotorForm*>(&d);
      d.exec();
      QCOMPARE(shown->ProgBar->value(), kRecords);
      QCOMPARE(shown->Label1->text(), QString("Write Motor Record no.8"));
    });
    form.UpdButtonClick();
    QCOMPARE(gui.messages.size(), std::size_t(2));  // the two confirmations only
    const auto& frames = bench.wire->SentFrames();
    QCOMPARE(frames.size(), std::size_t(kRecords));
    for (int i = 0; i < kRecords; ++i) {
      QVERIFY2(StartsWith(frames[i].bytes, Head(16, kTable + i)), qPrintable(QString::number(i)));
      const std::vector<std::uint16_t> got = bench.drive->MotorRecord(1, i);
      QCOMPARE(got[1], std::uint16_t(i == 0 || i == 2 ? 0x0101 : 0xFFFF));  // free records too
    }
    QCOMPARE(frames[0].bytes[7], std::uint8_t(0x01));  // words go high byte first on the wire
    QCOMPARE(frames[0].bytes[8], std::uint8_t(0x00));

    // A refused write stops the download at that record.
    bench.wire->ClearHistory();
    bench.drive->SetFault(Fault{FaultKind::Exception, 4, -1, 16});
    gui.messageAnswers = {IdYes};
    gui.dialogScripts.push_back([](QDialog& d) { d.exec(); });
    form.UpdButtonClick();
    QCOMPARE(bench.wire->SentFrames().size(), std::size_t(1));
    QVERIFY(gui.messages.back().text.startsWith("TIME-OUT !!\nMotor record 1 was not written."));
    QCOMPARE(gui.messages.back().caption, QString("Communication Message"));

    // A record the drive stored without answering reads back as written: the download goes on.
    // One it ignored stops it, with what the drive holds there.
    auto download = [&](core::MotorWords words, FaultKind fault, int result) {
      core::State().MotorRecords[0] = core::RecordOf(words);
      bench.drive->SetFault(Fault{fault, 0, -1, 16});
      gui.messageAnswers = {IdYes};
      gui.dialogScripts.push_back([result](QDialog& d) { QCOMPARE(d.exec(), result); });
      form.UpdButtonClick();
    };
    const std::size_t boxes = gui.messages.size();
    download({7, 8, 9}, FaultKind::Silence, IdYes);
    QCOMPARE(gui.messages.size(), boxes + 1);  // the confirmation only
    QCOMPARE(bench.drive->MotorRecord(1, 0)[1], std::uint16_t(8));
    download({4, 5, 6}, FaultKind::Ignore, IdNo);
    const QString& text = gui.messages.back().text;
    QVERIFY2(text.startsWith("TIME-OUT !!\nMotor record 1 was not written.") &&
                 text.contains("\nRead back from the drive, motor record 1 holds 7 8 9 ") &&
                 text.endsWith(", not the value written."),
             qPrintable(text));
    QCOMPARE(gui.unexpected, 0);
  }

  void driveFailuresAndAFullTableChangeNothing() {
    Bench bench;
    auto& gui = bench.gui();
    // A file of one record: the other seven are free, not zeros that count as in use.
    {
      QFile f(bench.box.Path("KV150.pmo"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(RecordBytes(kInUse, "ONE"));
    }
    ui::TMotorForm form;
    QCOMPARE(form.Cell(1, 1), QString("ONE"));
    QCOMPARE(form.Cell(2, 2), QString());
    QCOMPARE(core::FirstFreeMotorRecord(core::State().MotorRecords), 1);

    bench.drive->SetFault(Fault{FaultKind::Ignore, 0, -1, 0});
    form.InsButtonClick();
    QCOMPARE(gui.messages.back().text.section('\n', 0, 0), QString("TIME-OUT !!"));
    QCOMPARE(gui.messages.back().caption, QString("Cummunication Error!!"));
    bench.drive->ClearFault();
    bench.drive->SetHolding(1, kTable + kRecords + 2, 0xFFFF);
    form.InsButtonClick();
    QCOMPARE(gui.messages.back().text, QString("No Valid Data Available"));
    QVERIFY(gui.inputs.empty());  // no code asked either time
    QCOMPARE(bench.File().size(), 32);

    // A full table: "Table Full!!" before anything is sent.
    for (auto& r : core::State().MotorRecords) r = core::RecordOf(core::MotorWords{1, 2, 3});
    bench.wire->ClearHistory();
    form.InsButtonClick();
    QCOMPARE(gui.messages.back().text, QString("Table Full!!"));
    QVERIFY(bench.wire->SentFrames().empty());
  }

  void motorCommandFollowsTheLinkedModel() {
    Bench bench;
    auto& gui = bench.gui();
    ui::TMainForm main;  // started in the sandbox's folder, which holds the configuration
    uitest::LinkWindow(main);
    QVERIFY(main.ItemVisible("OperationMotor"));
    QVERIFY(main.Item("MotorButton")->isEnabled());
    gui.dialogScripts.push_back([&bench](QDialog& d) {
      auto& form = static_cast<ui::TMotorForm&>(d);
      QCOMPARE(form.RecordCount, kRecords);
      QCOMPARE(form.MotorRegister, int(kTable));
      form.show();
      QTest::qWait(50);
      bench.gui().inputAnswers = {{true, "kv-7k5"}};
      form.InsButtonClick();
      bench.SetInUse({22, 230, 95, 5000, 2850, 2, 80, 40, 2900, 2100, 1800}, "          ");
      bench.gui().inputAnswers = {{true, "sp2k2"}};
      form.InsButtonClick();
      uitest::Shot(form, "motor_table");
      form.CloseButton->click();
    });
    QVERIFY(main.ClickItem("MotorButton"));
    QCOMPARE(gui.dialogs.back(), QString("ui::TMotorForm"));
    // The table is kept in the folder the program runs in, not beside the built program.
    QCOMPARE(bench.File(), RecordBytes(kInUse, "KV-7K5") +
                               RecordBytes({22, 230, 95, 5000, 2850, 2, 80, 40, 2900, 2100, 1800}, "SP2K2") +
                               QByteArray(6 * 32, '\xFF'));
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/KV150.pmo"));
    main.SetLinkedState(false);
    QVERIFY(!main.ItemVisible("OperationMotor"));
  }

};

QTEST_MAIN(MotorWindowTest)
#include "motor_window_test.moc"
