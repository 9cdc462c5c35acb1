// The road to a drive and back: Link through the COM folder to the simulated drive on a
// pseudo-terminal, Read into a new document, edit, Write, compare with the defaults, Unlink;
// the monitor and profile windows live on that line; and the ways it can fail.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cmath>

#include "core/documents.h"
#include "core/settings.h"
#include "controls/edit/typed_edit.h"
#include "tests/ui/drive_support.h"
#include "tools/simdrive/live.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"
#include "ui/drive/connect_form.h"
#include "ui/drive/lamps.h"
#include "ui/drive/link_form.h"
#include "ui/drive/monitor_form.h"
#include "ui/drive/profile_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdCancel;
using platform::gui::IdOk;
using platform::gui::ScriptedServices;
using ui::TMainForm;
using Line = uitest::PtyLine;

namespace {

// Answers the link dialog with port 3 and the station text.
ScriptedServices::DialogScript LinkDialog(const QString& stations) {
  return [stations](QDialog& dialog) {
    auto& form = static_cast<ui::TLinkForm&>(dialog);
    form.comboPort->setCurrentIndex(2);
    form.SetBaud(19200);
    form.editStation->setText(stations);
    form.Link->click();
  };
}

// Shows a progress window modally, so that it runs its own loop.
void RunModal(QDialog& dialog) { dialog.exec(); }

}  // namespace

class LinkRoadTest : public QObject {
  Q_OBJECT
 private slots:
  void linkReadEditWriteUnlink() {
    uitest::Sandbox box;
    Line line("KV100");
    line.drive.AddStation(5);
    line.drive.SetHolding(5, 101, 6000);  // P0.01 = 60.00 Hz
    line.drive.SetHolding(5, 102, 0xFFF6);  // P0.02 = -1.0 %
    TMainForm form;
    auto& gui = box.gui();
    auto& s = core::State();

    gui.dialogScripts.push_back(LinkDialog("5"));
    form.OperationLinkClick();
    QCOMPARE(s.LinkedStation, 5);
    QCOMPARE(s.LinkedModel, 1);
    QCOMPARE(s.LinkProduct, std::string("KV100"));
    QVERIFY(form.ItemEnabled("OperationRead"));
    QVERIFY(form.ItemEnabled("PasswordButton"));
    for (auto [name, value] : {std::pair{"ParameterLinkPort", 3}, {"ParameterLinkData", 8}, {"ParameterLinkParity", int('N')},
                               {"ParameterLinkStop", 1}})
      QCOMPARE(core::ReadSettingInt(name), value);
    QCOMPARE(core::ReadSettingStr("ParameterLinkStation"), std::string("5"));
    QVERIFY(gui.messages.empty());

    // Read every group into a new document.
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationReadClick();
    QCOMPARE(form.ChildKind(), QString("ParamForm"));
    QCOMPARE(s.Document.size(), std::size_t(18));
    QCOMPARE(s.ParHeader.model, 1u);
    QCOMPARE(s.Document[1].value, 60.0f);
    QCOMPARE(s.Document[2].value, -1.0f);
    QCOMPARE(s.DocumentName, std::string("Untitled"));
    QVERIFY(form.ItemVisible("OperationWrite"));

    // Edit and write back.
    s.Document[1].value = 55.5f;
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationWriteClick();
    QCOMPARE(line.drive.Holding(5, 101), std::uint16_t(5550));
    QCOMPARE(s.WriteStationList, std::string("5"));
    QVERIFY(gui.messages.empty());

    // A value the register cannot hold stops the write there and says so, not "TIME-OUT !!".
    s.Document[1].value = 700;
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    form.OperationWriteClick();
    QVERIFY2(gui.messages.back().text.startsWith("Parameter P0.01 was not written to station 5.\nThe value does not fit"),
             qPrintable(gui.messages.back().text));
    QCOMPARE(gui.messages.back().caption, QString("Communication Message"));
    gui.messages.clear();
    s.Document[1].value = 55.5f;

    // A document of another model is not written into this drive.
    s.ParHeader.model = 2;
    const int requests = line.drive.RequestCount();
    form.OperationWriteClick();
    QCOMPARE(gui.messages.back().text, QString("Different Model"));
    QCOMPARE(line.drive.RequestCount(), requests);
    s.ParHeader.model = 1;

    // The level password's write: done, not answered (what its register holds, read back as it
    // is: the register need not hold the password), refused (the refusal).
    const struct { simdrive::Fault fault; QString message; } passwords[] = {
        {{}, QString()},
        {{simdrive::FaultKind::Silence, 0, -1, 6},
         "No valid reply from the drive to the write: no answer in time, or a damaged reply.\nThe drive may have done "
         "the write all the same: read back from the drive, register 900 now holds 1234."},
        {{simdrive::FaultKind::Exception, 3, -1, 6}, "The drive refused the value: illegal data value (exception 3)."},
    };
    for (const auto& c : passwords) {
      line.drive.SetFault(c.fault);
      line.drive.SetHolding(5, 900, 0);
      const std::size_t before = gui.messages.size();
      gui.inputAnswers.push_back({true, "1234"});
      form.PasswordButtonClick();
      QCOMPARE(gui.messages.size(), before + (c.message.isEmpty() ? 0 : 1));
      if (!c.message.isEmpty()) {
        QCOMPARE(gui.messages.back().text, "Write Fail\n" + c.message);
        QCOMPARE(gui.messages.back().caption, QString("TIME-OUT !!"));
      }
      QCOMPARE(line.drive.Holding(5, 900), std::uint16_t(c.fault.kind == simdrive::FaultKind::Exception ? 0 : 1234));
    }
    line.drive.ClearFault();

    // Read offers to save a modified document first; Cancel keeps it.
    s.DocumentModified = true;
    s.Document[0].value = 3;
    gui.messageAnswers.push_back(IdCancel);
    form.OperationReadClick();
    QCOMPARE(gui.messages.back().buttons, platform::gui::Buttons::YesNoCancel);
    QCOMPARE(s.Document[0].value, 3.0f);
    s.DocumentModified = false;

    // Compare Inverter with Default reads the linked drive: every register holds its default but P0.01.
    for (const auto& d : s.ParamDefs) {
      if (d.model != 1 || d.type != 'W') continue;
      const float scale = d.decimals == 1 ? 10.0f : d.decimals == 2 ? 100.0f : d.decimals == 4 ? 1e4f : d.decimals == 5 ? 1e5f : 1.0f;
      line.drive.SetHolding(5, static_cast<std::uint16_t>(d.reg), static_cast<std::uint16_t>(std::lround(d.defaultValue * scale)));
    }
    line.drive.SetHolding(5, 101, 6000);
    gui.dialogScripts.push_back(uitest::PressOk());  // model choice
    gui.dialogScripts.push_back(RunModal);           // bulk read of every group
    form.CompareInverterClick();
    QCOMPARE(form.ChildKind(), QString("CompareForm"));
    QCOMPARE(int(s.CmpHeader.kind), 0);
    QCOMPARE(int(s.CmpHeader.station), 5);
    QCOMPARE(s.CmpHeader.model, 1u);
    bool found = false;
    for (const auto& r : s.CompareRecords) {
      QVERIFY(r.code != "P0.00");  // equal to its default
      if (r.code == "P0.01") {
        found = true;
        QCOMPARE(r.values[0], 60.0f);
        QCOMPARE(r.defaultValue, 50.0f);
      }
    }
    QVERIFY(found);
    QCOMPARE(s.CmpHeader.recordCount, std::uint16_t(s.CompareRecords.size()));

    // A read that fails keeps the open compare document.
    line.drive.SetFault(simdrive::Fault{simdrive::FaultKind::Silence, 0, -1, 0});
    const auto before = s.CompareRecords.size();
    gui.dialogScripts.push_back(uitest::PressOk());
    gui.dialogScripts.push_back(RunModal);
    gui.messageAnswers.push_back(IdOk);  // the read window's own error box
    form.CompareInverterClick();
    QCOMPARE(gui.messages.back().text, QString("TIME-OUT !!"));
    QCOMPARE(s.CompareRecords.size(), before);
    QCOMPARE(form.ChildKind(), QString("CompareForm"));
    line.drive.ClearFault();

    // Unlink through the dialog.
    gui.dialogScripts.push_back([](QDialog& dialog) {
      auto& f = static_cast<ui::TLinkForm&>(dialog);
      QVERIFY(!f.Link->isEnabled());
      f.Unlink->click();
    });
    form.OperationLinkClick();
    QCOMPARE(s.LinkedStation, 0);
    QVERIFY(!form.ItemEnabled("OperationRead"));
    QCOMPARE(gui.unexpected, 0);
  }

  // A document belongs to the model its header names: KV150's numbered 1 is model 4 here and written to the
  // drive; one named for another model than the drive's is never written; without KV150 it is refused.
  void documentsOfAnotherConfigurationNeverReachTheDrive() {
    uitest::FakeBench bench("KV150", 1, 4,
                            "[MODEL=KV150]\n[PAR=P0.02;W102;1;1;1;0;0.00;400.00;0.50;Hz;Minimum frequency]");
    auto& s = core::State();
    const QString par = bench.box.Path("other.par"), cmp = bench.box.Path("other.cmp");
    {
      auto& gui = bench.gui();
      TMainForm form;
      uitest::LinkWindow(form, 1, 4);
      uitest::NewDocument(form, gui, 3);
      uitest::DocumentLine("P0.02").value = 5.0f;
      s.ParHeader.model = s.CmpHeader.model = s.Document[0].model = 1;
      s.CmpHeader.modelName = "KV150";
      QVERIFY(core::SaveParameterFile(par.toStdString()) && core::SaveCompareFile(cmp.toStdString()));
      QVERIFY(form.OpenDocument(cmp) && s.CmpHeader.model == 4 && form.OpenDocument(par) && s.ParHeader.model == 4 &&
              s.Document[0].model == 4);
      const auto write = [&] {
        gui.dialogScripts.push_back(uitest::PressOk());
        gui.dialogScripts.push_back(RunModal);
        form.OperationWriteClick();
      };
      write();
      QCOMPARE(bench.drive->Holding(1, 102), std::uint16_t(500));
      const int requests = bench.drive->RequestCount();
      s.ParHeader.modelName = "KV100";  // the linked model's number, another model's name
      form.OperationOnlineClick();
      uitest::EnterValue(*uitest::ParamView(form), 1, "6");
      write();
      QCOMPARE(gui.messages.back().text, QString("Different Model"));
      QCOMPARE(bench.drive->RequestCount(), requests);
    }
    uitest::Sandbox plain;
    auto& messages = plain.gui().messages;
    const QString refused = "Model Unknown!!\nThe document is of model KV150, which this configuration does not hold:\n";
    TMainForm form;
    uitest::NewDocument(form, plain.gui(), 0);
    for (const QString& path : {par, cmp}) {
      QVERIFY(!form.OpenDocument(path));
      QCOMPARE(messages.back().text, refused + path);
      QCOMPARE(form.ChildKind(), QString("ParamForm"));
    }
    plain.gui().dialogScripts.push_back(uitest::PressOk([&](QDialog& d) {
      static_cast<ui::TCompareFileForm&>(d).file1->setText(par);
      static_cast<ui::TCompareFileForm&>(d).file2->setText(par);
    }));
    form.CompareFileClick();
    QCOMPARE(messages.back().text, refused + par);
  }

  // Behind a line that sends every request back, Link's probe shows the echo, and an online
  // edit the drive refuses or leaves unanswered is reported as such.
  void onlineEditBehindAnEchoingLine() {
    uitest::Sandbox box;
    box.SetSetting("ParameterOnline", 1);
    Line line("KV100");
    line.server.SetEchoLine(true);
    line.drive.AddStation(5);
    TMainForm form;
    auto& gui = box.gui();
    gui.dialogScripts.push_back(LinkDialog("5"));
    form.OperationLinkClick();
    QVERIFY(core::State().OnlineEdit && core::PortLineEcho() == core::LineEcho::Echoes);
    uitest::NewDocument(form, gui, 0);
    ui::TParamForm* view = uitest::ParamView(form);
    const int row = uitest::RowOfCode(*view, "P0.01");
    line.drive.SetFault({simdrive::FaultKind::Exception, 3, -1, 6});
    uitest::EnterValue(*view, row, "20");
    QCOMPARE(gui.messages.back().text, QString("The drive refused the value: illegal data value (exception 3)."));
    line.drive.SetFault({simdrive::FaultKind::Silence, 0, -1, 6});
    uitest::EnterValue(*view, row, "30");
    QVERIFY2(gui.messages.back().text.startsWith("TIME-OUT !!"), qPrintable(gui.messages.back().text));
    QCOMPARE(gui.unexpected, 0);
  }

  // Link leaves the line known either way, so that nothing is written on a line known neither
  // way: noise ahead of every reply does not hide a line without echo, nor a lost copy of the
  // probe an echoing one; the station a scan finds is learnt alike.
  void linkLearnsTheLine() {
    uitest::Sandbox box;
    TMainForm form;
    auto& gui = box.gui();
    for (int kind = 0; kind < 3; ++kind) {
      Line line("KV100");
      simdrive::LineFaults faults;
      faults.noiseBefore = {0x00};
      if (kind == 1) {
        faults.echo = true;
        faults.lostCopies = {1};
      }
      line.server.SetLineFaults(faults);
      line.drive.AddStation(5);
      gui.dialogScripts.push_back(LinkDialog(kind == 2 ? "4-5" : "5"));
      if (kind == 2) gui.dialogScripts.push_back(RunModal);
      form.OperationLinkClick();
      QCOMPARE(core::State().LinkedStation, 5);
      QCOMPARE(core::PortLineEcho(), kind == 1 ? core::LineEcho::Echoes : core::LineEcho::Quiet);
      QCOMPARE(core::State().DeviceProduct, std::string("KV100"));
      form.Unlink();
    }
    QCOMPARE(gui.unexpected, 0);
  }

  void scanFindsTheAnsweringStation() {
    uitest::Sandbox box;
    Line line("KV200");
    line.drive.AddStation(4);
    TMainForm form;
    auto& gui = box.gui();
    gui.dialogScripts.push_back(LinkDialog("2-4"));
    gui.dialogScripts.push_back(RunModal);  // the probe window scans 2, 3, 4
    form.OperationLinkClick();
    QCOMPARE(core::State().LinkedStation, 4);
    QCOMPARE(core::State().LinkedModel, 2);
    QVERIFY(!form.ItemEnabled("PasswordButton"));  // KV200 has no level-password item
    QCOMPARE(core::ReadSettingStr("ParameterLinkStation"), std::string("2-4"));
  }

  // The program's explanations under the configured captions come in the language the user
  // chose, and say whether a write or a read failed: an unanswered online edit, a refused one in
  // each of the four languages, then an unanswered probe.
  void ownTextsFollowTheChosenLanguage() {
    uitest::Sandbox box;
    box.SetSetting("ParameterOnline", 1);
    Line line("KV100");
    line.drive.AddStation(5);
    TMainForm form;
    auto& gui = box.gui();
    gui.dialogScripts.push_back(LinkDialog("5"));
    form.OperationLinkClick();
    uitest::NewDocument(form, gui, 0);
    ui::TParamForm* view = uitest::ParamView(form);
    const int row = uitest::RowOfCode(*view, "P0.01");
    // The drive stores each value but its answer is lost: the value read back is named.
    const QStringList readBack = {
        "The drive may have done the write all the same: read back from the drive, P0.01 now holds 31.00, the "
        "value written.",
        "L'inverter potrebbe aver eseguito comunque la scrittura: riletto dall'inverter, P0.01 ora vale 32.00, il "
        "valore scritto.",
        "Der Umrichter hat den Wert möglicherweise trotzdem geschrieben: aus dem Umrichter zurückgelesen, hat P0.01 "
        "jetzt den Wert 33.00, den geschriebenen Wert.",
        "Le variateur a peut-être effectué l'écriture malgré tout : relu dans le variateur, P0.01 vaut maintenant "
        "34.00, la valeur écrite.",
    };
    line.drive.SetFault({simdrive::FaultKind::Silence, 0, -1, 6});
    for (int language = 1; language <= 4; ++language) {
      if (language > 1) form.ViewLinguaClick();
      uitest::EnterValue(*view, row, QString::number(30 + language));
      QCOMPARE(gui.messages.back().text, ui::L(78) + "\n" +
                                             ui::extra::TransactionFailure(core::kResultBadReply, ui::extra::Exchange::Write) +
                                             "\n" + readBack[language - 1]);
      QCOMPARE(view->Cell(6, row), QString("%1.00").arg(30 + language));
    }
    QCOMPARE(line.drive.Holding(5, 101), std::uint16_t(3400));
    form.ViewLinguaClick();  // English again
    const QStringList refused = {
        "The drive refused the value: illegal data value (exception 3).",
        "L'inverter ha rifiutato il valore: valore dati non valido (eccezione 3).",
        "Der Umrichter hat den Wert abgelehnt: unzulässiger Datenwert (Ausnahme 3).",
        "Le variateur a refusé la valeur : valeur de données non autorisée (exception 3).",
    };
    line.drive.SetFault({simdrive::FaultKind::Exception, 3, -1, 6});
    for (int language = 1; language <= 4; ++language) {
      if (language > 1) form.ViewLinguaClick();
      uitest::EnterValue(*view, row, "20");
      QCOMPARE(gui.messages.back().text, refused[language - 1]);
    }
    line.drive.ClearFault();
    gui.dialogScripts.push_back([](QDialog& dialog) { static_cast<ui::TLinkForm&>(dialog).Unlink->click(); });
    form.OperationLinkClick();
    gui.dialogScripts.push_back(LinkDialog("9"));  // nobody there
    form.OperationLinkClick();
    QCOMPARE(gui.messages.back().text, ui::L(78) + "\nLa station 9 n'a pas répondu à la connexion : aucune réponse "
                                                   "valide à temps à la demande de son identification.");
    QCOMPARE(gui.unexpected, 0);

    // The language is told by the name the configuration gives it, not by its number; one of a
    // name not known gets English.
    auto& s = core::State();
    s.LanguageIndex = 3;
    s.LangTable[113][2] = "Francais";
    QCOMPARE(ui::extra::PortGone().left(24), QString("Le port série a disparu "));
    s.LangTable[113][2] = "Espanol";
    QCOMPARE(ui::extra::PortGone().left(24), QString("The serial port is gone:"));
    s.LanguageIndex = 2;
    QCOMPARE(ui::extra::TransactionFailure(core::kResultException + 1, ui::extra::Exchange::ReadThenWrite),
             QString("L'inverter ha rifiutato il comando: funzione non valida (eccezione 1)."));
  }

  void failedLinksLeaveThePortClosed() {
    uitest::Sandbox box;
    Line line("KV999");
    line.drive.AddStation(1);
    TMainForm form;
    auto& gui = box.gui();
    auto& s = core::State();

    gui.dialogScripts.push_back(LinkDialog("1"));
    form.OperationLinkClick();
    QCOMPARE(gui.messages.back().text, QString("Model Unknown!!"));
    QCOMPARE(gui.messages.back().caption, QString("Communication Message"));
    QCOMPARE(s.LinkedStation, 0);

    gui.dialogScripts.push_back(LinkDialog("9"));  // nobody there
    form.OperationLinkClick();
    QCOMPARE(gui.messages.back().text, QString("TIME-OUT !!\nStation 9 did not answer Link: no valid reply in time to "
                                               "the request for its identification."));
    QCOMPARE(s.LinkedStation, 0);
    QVERIFY(!form.ItemEnabled("OperationRead"));

    // The line goes away under the scan: it asks no further station, and only the port's message follows.
    s.ProcessMessages = [&] { line.server.Stop(); };
    gui.dialogScripts.push_back(LinkDialog("1-2"));
    gui.dialogScripts.push_back([](QDialog& probe) {
      probe.exec();
      QCOMPARE(static_cast<ui::TConnectForm&>(probe).Label1->text(), QString("Station_001 ... ... ..."));
    });
    form.OperationLinkClick();
    QVERIFY(gui.messages.back().text.startsWith("Cummunication Error!!\nThe serial port is gone"));
  }

  // The line goes away under the probe of the one station asked: no scan window opens, only the port's message.
  void aLineGoneUnderTheProbeOpensNoScan() {
    uitest::Sandbox box;
    Line line("KV100");
    TMainForm form;
    core::State().ProcessMessages = [&] { line.server.Stop(); };
    box.gui().dialogScripts.push_back(LinkDialog("1"));
    form.OperationLinkClick();
    QCOMPARE(box.gui().dialogs, std::vector<QString>{"ui::TLinkForm"});
    QCOMPARE(box.gui().messages.size(), std::size_t(1));
    QVERIFY(box.gui().messages[0].text.startsWith("Cummunication Error!!\nThe serial port is gone"));
  }

  // The monitor and profile windows shown with their timers running: the monitor's values move
  // with the drive, a command and a set-point reach it, a profile is sent; screenshots of both.
  void watchCommandAndSendOverThePseudoTerminal() {
    uitest::Sandbox box;
    Line line("KV100");
    line.drive.AddStation(1);
    line.drive.SetProfileMotion(true);
    ui::TMainForm main;
    auto& gui = box.gui();
    auto& s = core::State();
    gui.dialogScripts.push_back(LinkDialog("1"));
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
      uitest::Shot(dialog, "monitor");
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
      uitest::Shot(dialog, "profile");
      form.OK->click();
    });
    main.OperationProfileClick();
    QCOMPARE(gui.dialogs.back(), QString("ui::TProfileForm"));
    QVERIFY(gui.messages.empty());
  }
};

QTEST_MAIN(LinkRoadTest)
#include "link_road_test.moc"
