// The link dialog, the station probe, the transfer-group choice and the bulk read and write
// windows, against the simulated drive behind the in-process port.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/ui/drive_support.h"
#include "ui/drive/connect_form.h"
#include "ui/drive/group_forms.h"
#include "ui/drive/link_form.h"
#include "ui/drive/read_write_form.h"

using platform::gui::IdCancel;
using platform::gui::IdNo;
using platform::gui::IdOk;
using platform::gui::IdRetry;
using platform::gui::IdYes;
using simdrive::Fault;
using simdrive::FaultKind;

namespace {

// A sandbox with the configuration loaded and a simulated drive (no station yet) on the open port.
struct Bench : uitest::FakeBench {
  explicit Bench(const char* product = "KV100") : FakeBench(product, 0) {}
};

int Index(const char* code) {
  const auto& defs = core::State().ParamDefs;
  for (std::size_t i = 0; i < defs.size(); ++i)
    if (defs[i].code == code && defs[i].model == 1) return static_cast<int>(i);
  return -1;
}

}  // namespace

class DriveWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void linkDialogTurnsTheStationTextIntoASet() {
    uitest::Sandbox box;
    core::LoadConfiguration();
    ui::TLinkForm form;
    QCOMPARE(form.comboPort->count(), 16);
    QCOMPARE(form.editStation->maxLength(), 30);
    QVERIFY(form.SetBaud(57600));
    QCOMPARE(form.Baud(), 57600);
    QVERIFY(!form.SetBaud(1200));

    form.editStation->setText("0,255,5-5");
    form.LinkClick();
    QCOMPARE(form.result(), 0);  // nothing usable: stays open
    form.editStation->setText("1,3,5-12");
    form.LinkClick();
    QCOMPARE(form.result(), int(IdOk));
    QCOMPARE(form.Stations.count(), 10);
    QVERIFY(form.Stations.contains(12));
    form.Unlink->click();
    QCOMPARE(form.result(), int(platform::gui::IdAbort));
    form.Close->click();
    QCOMPARE(form.result(), int(IdCancel));
  }

  // One station is probed directly (the product trimmed); several are scanned by the window,
  // which stops at the first that answers (product as sent) or at Cancel before the next one.
  void probeAndScanFindTheAnsweringStation() {
    {
      Bench bench("  KV100\t ");
      bench.drive->AddStation(9);
      ui::TConnectForm form;
      form.Stations.add(9);
      QCOMPARE(form.ProbeSingleStation(), int(IdYes));
      QCOMPARE(core::State().DeviceProduct, std::string("KV100"));
      QCOMPARE(core::State().DeviceStation, 9);
      form.Stations.clear();
      form.Stations.add(8);  // silent
      QCOMPARE(form.ProbeSingleStation(), int(IdNo));
    }
    Bench bench(" KV100 ");
    bench.drive->AddStation(7);
    bench.drive->AddStation(9);
    ui::TConnectForm form;
    for (int s : {2, 4, 7, 9}) form.Stations.add(s);
    QCOMPARE(form.ProbeSingleStation(), int(IdCancel));  // several: the window scans
    QCOMPARE(form.ProgBar->maximum(), 4);
    QCOMPARE(form.exec(), int(IdYes));
    QCOMPARE(core::State().DeviceStation, 7);
    QCOMPARE(form.ProgBar->value(), 2);
    QCOMPARE(form.Label1->text(), QString("Station_007 ... ... ..."));
    QCOMPARE(core::State().DeviceProduct, std::string(" KV100 "));  // not trimmed on this path

    ui::TConnectForm none;
    for (int s : {3, 4}) none.Stations.add(s);
    none.ProbeSingleStation();
    QCOMPARE(none.exec(), int(IdCancel));
    QCOMPARE(none.ProgBar->value(), 2);

    ui::TConnectForm cancelled;
    for (int s : {1, 7}) cancelled.Stations.add(s);
    cancelled.ProbeSingleStation();
    const int requests = bench.drive->RequestCount();
    QTimer::singleShot(0, &cancelled, [&cancelled] { cancelled.Cancel->click(); });
    QCOMPARE(cancelled.exec(), int(IdCancel));
    QCOMPARE(bench.drive->RequestCount(), requests);
  }

  void groupChoiceOffersTheLinkedModelsGroups() {
    uitest::Sandbox box(
        "[MODEL=KV400]\n[GROUP=X;Ex;Ex2;Ex3;Ex4]\n[GROUP=Y;Why;Why2;Why3;Why4]\n[GROUP=Z;Zed;Zed2;Zed3;Zed4]\n"
        "[PAR=Q1;W1;1;1;1;0;0;1;0;;D]\n[PAR=Q3;W3;1;3;1;0;0;1;0;;D]\n");
    core::LoadConfiguration();
    auto& s = core::State();
    s.LinkedModel = 4;
    ui::TReadForm read;
    QCOMPARE(read.Shrink(), 96);
    QCOMPARE(read.height(), 216 - 96);
    QVERIFY(!read.checkGroup[0]->isHidden() && read.checkGroup[0]->isChecked());
    QVERIFY(read.checkGroup[1]->isHidden());
    QVERIFY(!read.checkGroup[2]->isHidden());
    QCOMPARE(read.checkGroup[2]->text(), QString("Zed (Z)"));
    auto flags = read.Flags();
    QVERIFY(flags[0] && !flags[1] && flags[2] && !flags[3]);
    read.checkGroup[0]->setChecked(false);
    read.checkGroup[2]->setChecked(false);
    read.OKClick();
    QCOMPARE(read.result(), 0);  // nothing chosen: stays open
    read.checkGroup[2]->setChecked(true);
    read.OKClick();
    QCOMPARE(read.result(), int(IdOk));

    s.LanguageIndex = 2;
    s.LinkedModel = 1;
    ui::TWriteForm write;
    QCOMPARE(write.Shrink(), 16 * 5);
    QCOMPARE(write.checkGroup[1]->text(), QString("Motore (B)"));
    QCOMPARE(write.height(), 217 - 80);
  }

  // The read loop fills the read values with their scale and sign; a refused read names the
  // parameter; a choice of groups without lines reads nothing.
  void readLoop() {
    Bench bench;
    bench.drive->AddStation(3);
    bench.drive->SetHolding(3, 101, 4950);    // P0.01, 2 decimals
    bench.drive->SetHolding(3, 102, 0xFFFE);  // P0.02, signed, 1 decimal
    auto& s = core::State();
    s.LinkedModel = 1;
    ui::TReadWriteForm form;
    form.ReadMode = true;
    form.Station = 3;
    form.Groups.fill(false);
    form.Groups[0] = true;  // transfer group 1: P0.00 .. P0.04
    QCOMPARE(form.exec(), int(IdYes));
    QCOMPARE(s.ReadValues.size(), std::size_t(5));
    QCOMPARE(s.ReadValues[1].value, 49.5f);
    QCOMPARE(s.ReadValues[2].value, -0.2f);
    QVERIFY(s.ReadValues[4].code == "P0.04");
    QCOMPARE(form.ProgBar->value(), 5);

    bench.drive->SetFault(Fault{FaultKind::Exception, 2, -1, 1});  // coil reads refused
    ui::TReadWriteForm all;
    all.Station = 3;
    all.Groups.fill(true);
    QCOMPARE(all.exec(), int(IdNo));
    auto& gui = bench.box.gui();
    QCOMPARE(int(gui.messages.size()), 1);
    QCOMPARE(gui.messages[0].text, QString("Error Reading Parameter P0.06\n"
                                           "No valid reply from the drive to the read: no answer in time, a "
                                           "damaged reply, or the read refused."));
    QCOMPARE(gui.messages[0].caption, QString("Read Error"));
    QVERIFY(gui.messages[0].icon == platform::gui::Icon::None);

    s.LinkedModel = 3;
    const int requests = bench.drive->RequestCount();
    ui::TReadWriteForm empty;
    empty.Groups.fill(false);
    empty.Groups[8] = true;
    QCOMPARE(empty.exec(), int(IdYes));
    QVERIFY(s.ReadValues.empty());
    QCOMPARE(bench.drive->RequestCount(), requests);
  }

  void writeLoopResults() {
    Bench bench;
    bench.drive->AddStation(5);
    auto& s = core::State();
    s.Document = {s.ParamDefs[static_cast<std::size_t>(Index("P0.01"))], s.ParamDefs[static_cast<std::size_t>(Index("P2.00"))]};
    s.Document[0].value = 12.34f;
    QString failure;  // the account of the last run's failure
    auto run = [&](std::initializer_list<int> stations) {
      ui::TReadWriteForm form;
      form.ReadMode = false;
      for (int st : stations) form.Stations.add(st);
      form.Groups.fill(true);
      const int result = form.exec();
      failure = form.Failure;
      return result;
    };
    QCOMPARE(run({5}), int(IdYes));
    QCOMPARE(bench.drive->Holding(5, 101), std::uint16_t(1234));
    // P2.00 is read-only: one write, and the read that confirms its answer.
    QCOMPARE(bench.drive->RequestCount(), 2);

    bench.drive->SetFault(Fault{FaultKind::Exception, 3, -1, 0});
    QCOMPARE(run({5}), int(IdRetry));
    bench.drive->SetFault(Fault{FaultKind::Exception, 2, -1, 0});
    QCOMPARE(run({5}), int(IdNo));
    bench.drive->ClearFault();

    // Station 2 is silent: the user is asked whether to go on.
    auto& gui = bench.box.gui();
    s.Document[0].value = 1.5f;
    gui.messageAnswers.push_back(IdYes);
    QCOMPARE(run({2, 5}), int(IdYes));
    QCOMPARE(bench.drive->Holding(5, 101), std::uint16_t(150));
    // Nobody answers the read back either: whether the write was done is not known.
    QCOMPARE(gui.messages.back().text, QString("Writing parameter P0.01 to station 2 was not confirmed.\n"
                                               "No valid reply from the drive to the write: no answer in time, "
                                               "or a damaged reply.\n"
                                               "The drive may have done the write all the same: reading P0.01 back "
                                               "failed too, so the value the drive holds is unknown.\n"
                                               "Already written to station 2: 0 of 1 parameters (they stay written)."
                                               "\n\nContinue to Next Station ?"));
    QCOMPARE(gui.messages.back().caption, QString("Cummunication Error!!"));
    s.Document[0].value = 2.5f;
    gui.messageAnswers.push_back(IdNo);
    QCOMPARE(run({2, 5}), int(IdCancel));
    QCOMPARE(bench.drive->Holding(5, 101), std::uint16_t(150));

    // A failure in the middle names the parameter, the station and what was written before it.
    bench.drive->AddStation(7);
    s.Document = {s.ParamDefs[static_cast<std::size_t>(Index("P0.00"))], s.ParamDefs[static_cast<std::size_t>(Index("P0.01"))]};
    s.Document[0].value = 2;
    s.Document[1].value = 700;  // 2 decimals: beyond the 16-bit register
    gui.messageAnswers.push_back(IdYes);
    QCOMPARE(run({5, 7}), int(IdNo));
    QCOMPARE(bench.drive->Holding(7, 100), std::uint16_t(2));
    QCOMPARE(failure, QString("Parameter P0.01 was not written to station 7.\n"
                              "The value does not fit the parameter's register; nothing was sent.\n"
                              "Already written to station 7: 1 of 2 parameters (they stay written)."));
    QVERIFY(gui.messages.back().text.startsWith("Parameter P0.01 was not written to station 5."));
    s.Document[1].value = 1;
    QCOMPARE(run({5, 9}), int(IdNo));  // station 9 does not answer
    QVERIFY(failure.endsWith("Written in full before: station 5."));

    // The drive stores the value but its answer is lost: the read back shows it, and the write
    // counts as done. A drive that neither stores nor answers stops the write at the first value
    // it does not hold already, naming what it holds.
    bench.drive->SetFault(Fault{FaultKind::Silence, 0, -1, 6});
    s.Document[1].value = 3.25f;
    QCOMPARE(run({5}), int(IdYes));
    QCOMPARE(bench.drive->Holding(5, 101), std::uint16_t(325));
    bench.drive->SetFault(Fault{FaultKind::Ignore, 0, -1, 6});
    s.Document[1].value = 4;
    QCOMPARE(run({5}), int(IdNo));
    QCOMPARE(failure, QString("Parameter P0.01 was not written to station 5.\n"
                              "No valid reply from the drive to the write: no answer in time, or a damaged reply.\n"
                              "Read back from the drive, P0.01 holds 3.25, not the value written.\n"
                              "Already written to station 5: 1 of 2 parameters (they stay written)."));
    QCOMPARE(bench.drive->Holding(5, 101), std::uint16_t(325));
    bench.drive->ClearFault();

    s.Document[0].editable = 0;
    s.Document[1].editable = 0;
    int before = bench.drive->RequestCount();
    QCOMPARE(run({5}), int(IdYes));
    QCOMPARE(bench.drive->RequestCount(), before);
  }
};

QTEST_MAIN(DriveWindowsTest)
#include "drive_windows_test.moc"
