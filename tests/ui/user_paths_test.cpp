// What a user meets on the way through the main window: commands that are not built yet stay
// disabled, the password box hides what is typed, a port that does not open says why, a
// compare with a file that cannot be read says so, the menus and pages answer the keyboard, and
// the file dialogs start in the user's own folders.
#include <QFile>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <pty.h>
#include <unistd.h>

#include "core/common.h"
#include "core/serial_link.h"
#include "platform/serial_port.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/qt_text.h"
#include "ui/drive/link_form.h"
#include "ui/main/command_status.h"
#include "ui/main/compare_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdOk;
using ui::TMainForm;

namespace {

// The link dialog with port `port` and station 1, confirmed.
platform::gui::ScriptedServices::DialogScript LinkOn(int port) {
  return [port](QDialog& dialog) {
    auto& f = static_cast<ui::TLinkForm&>(dialog);
    f.comboPort->setCurrentIndex(port - 1);
    f.editStation->setEnabled(true);
    f.editStation->setText("1");
    f.Link->click();
  };
}

}  // namespace

class UserPathsTest : public QObject {
  Q_OBJECT
 private slots:
  void commandsNotBuiltYetStayDisabled() {
    uitest::Sandbox box;
    TMainForm form;
    auto& s = core::State();
    s.LinkedStation = 1;
    s.LinkedModel = 1;
    form.SetLinkedState(true);
    uitest::NewDocument(form, box.gui(), 0);
    // The menu rules enable these commands now; only the table decides.
    const char* buttons[][2] = {{"PrintButton", "FilePrint"},     {"PrintPreviewButton", "FilePrintPreview"},
                                {"Print2Button", "Print2Button"}, {"MonitorButton", "OperationMonitor"},
                                {"ProfileButton", "OperationProfile"}};
    for (const ui::CommandStatus& c : ui::kCommandStatus) {
      if (c.built) continue;
      QVERIFY2(!form.Item(c.command)->isEnabled(), c.command);
      QVERIFY2(!form.ClickItem(c.command), c.command);
      QVERIFY2(form.ItemHint(c.command).isEmpty() || form.ItemHint(c.command).endsWith("(not available yet)"),
               c.command);
      for (const auto& b : buttons)
        if (QString(b[1]) == c.command) QVERIFY2(!form.Item(b[0])->isEnabled() && !form.ClickItem(b[0]), b[0]);
    }
    for (const char* built : {"FileNew", "FileSave", "OperationRead", "SaveButton", "ReadButton", "FilePrintTitle"})
      QVERIFY2(form.Item(built)->isEnabled(), built);
    QCOMPARE(box.gui().unexpected, 0);
  }

  void passwordBoxesHideWhatIsTyped() {
    uitest::Sandbox box;
    TMainForm form;
    auto& s = core::State();
    s.LinkedStation = 1;
    s.LinkedModel = 1;
    form.SetLinkedState(true);
    auto& gui = box.gui();
    gui.inputAnswers.push_back({false, QString()});
    form.PasswordButtonClick();
    uitest::NewDocument(form, gui, 0);
    ui::TParamForm* view = uitest::ParamView(form);
    gui.inputAnswers.push_back({false, QString()});
    view->SelectRow(uitest::RowOfCode(*view, "P0.02"));  // access level 1
    QVERIFY(!view->parGrid->OpenEditor());
    QCOMPARE(gui.inputs.size(), std::size_t(2));
    for (const auto& call : gui.inputs) QVERIFY(call.echo == platform::gui::Echo::Password);

    // The desktop input box itself echoes as a password.
    platform::gui::DesktopServices desktop;
    QLineEdit::EchoMode seen = QLineEdit::Normal;
    QTimer::singleShot(0, [&seen] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* input = qobject_cast<QInputDialog*>(w); input && input->isVisible()) {
          seen = input->textEchoMode();
          input->reject();
        }
    });
    QString entry;
    QVERIFY(!desktop.InputQuery("Setting", "Enter the Password", entry, platform::gui::Echo::Password));
    QCOMPARE(seen, QLineEdit::Password);
  }

  void portThatDoesNotOpenSaysWhy() {
    uitest::Sandbox box;
    QTemporaryDir comDir;
    qputenv(platform::kComFolderVariable, comDir.path().toUtf8());
    // COM2 is held by another user of the line; COM3 is no serial port.
    int master = -1, slave = -1;
    QVERIFY(openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
    QVERIFY(QFile::link(QString::fromLocal8Bit(ttyname(slave)), comDir.filePath("COM2")));
    platform::SerialPort holder;
    QVERIFY(holder.Open(comDir.filePath("COM2").toStdString(), {}));
    QFile plain(comDir.filePath("COM3"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    TMainForm form;
    auto& gui = box.gui();
    const QString head = "Cummunication Error!!\nCan not open COM port\n";
    const QString expected[] = {
        "/dev/ttyUSB0: no such device",
        comDir.filePath("COM2") + ": the port is in use by another program",
        comDir.filePath("COM3") + ": not a serial port",
    };
    for (int port = 1; port <= 3; ++port) {
      if (port == 1 && QFile::exists("/dev/ttyUSB0")) continue;  // a real adapter is plugged in
      gui.dialogScripts.push_back(LinkOn(port));
      form.OperationLinkClick();
      QVERIFY2(gui.messages.back().text.startsWith(head + expected[port - 1]), qPrintable(gui.messages.back().text));
      QCOMPARE(core::State().LinkedStation, 0);
    }
    // Without permission the text names the group that gives it.
    core::PortOpenFailure denied{"/dev/ttyUSB0", {platform::OpenFailure::NoPermission, EACCES}};
    QVERIFY(ui::extra::PortOpenFailure(denied).contains("dialout"));
    qunsetenv(platform::kComFolderVariable);
    holder.Close();
    ::close(slave);
    ::close(master);
    QCOMPARE(gui.unexpected, 0);
  }

  void compareWithAFileThatCannotBeReadSaysSo() {
    uitest::Sandbox box;
    QFile damaged(box.Path("damaged.par"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a parameter file");
    damaged.close();
    TMainForm form;
    auto& gui = box.gui();
    const QString missing = box.Path("missing.par");
    gui.dialogScripts.push_back(uitest::PressOk([&](QDialog& dialog) {
      auto& d = static_cast<ui::TCompareFileForm&>(dialog);
      d.file1->setText(missing);
      d.file2->setText(box.Path("damaged.par"));
    }));
    form.CompareFileClick();
    QCOMPARE(gui.messages.size(), std::size_t(1));
    QCOMPARE(gui.messages[0].text, "The file could not be read as a document:\n" + box.Path("damaged.par"));
    gui.dialogScripts.push_back(uitest::PressOk([&](QDialog& dialog) {
      auto& d = static_cast<ui::TCompareFilesForm&>(dialog);
      d.file1->setText(missing);
    }));
    form.CompareFilesClick();
    QCOMPARE(gui.messages.size(), std::size_t(2));
    QCOMPARE(gui.messages[1].text, "The file could not be read as a document:\n" + missing);
    QVERIFY(form.Child() == nullptr);
  }

  void menusAndPagesAnswerTheKeyboard() {
    uitest::Sandbox box;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Every menu of the bar and every item of a menu has its own letter.
    QList<QMenu*> menus{nullptr};
    for (QMenu* menu : form.findChildren<QMenu*>()) menus << menu;
    for (QMenu* menu : menus) {
      QString letters;
      for (QAction* action : menu ? menu->actions() : form.menuBar()->actions()) {
        if (action->isSeparator() || action->objectName().startsWith("FileRecent")) continue;
        const QString text = action->text();
        const qsizetype at = text.indexOf(QRegularExpression("&[^&]"));
        QVERIFY2(at >= 0, qPrintable(text));
        QVERIFY2(!letters.contains(text[at + 1].toLower()), qPrintable(text));
        letters += text[at + 1].toLower();
      }
    }
    QCOMPARE(form.Item("File1")->text(), QString("&File"));
    QCOMPARE(form.Item("FilePrintTitle")->text(), QString("&Print Title && Set"));

    // Alt+O opens the Operation menu, F10 the File menu.
    QTest::keyClick(&form, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(form.Item("Operation1")->menu()->isVisible());
    form.Item("Operation1")->menu()->hide();
    QTest::keyClick(&form, Qt::Key_F10);
    QTRY_VERIFY(form.Item("File1")->menu()->isVisible());
    form.Item("File1")->menu()->hide();

    // Ctrl+Tab / Ctrl+PgDn and back, going round, also while a cell is being edited.
    uitest::NewDocument(form, box.gui(), 0);
    ui::TParamForm* view = uitest::ParamView(form);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    view->parGrid->setFocus();
    QTRY_VERIFY(view->parGrid->hasFocus());
    QTest::keyClick(view->parGrid, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(view->TabControl->currentIndex(), 1);
    QCOMPARE(view->Cell(2, view->CurrentRow), QString("P0.05"));
    QTest::keyClick(view->parGrid, Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(view->parGrid, Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(view->TabControl->currentIndex(), 0);
    QTest::keyClick(view->parGrid, Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(view->TabControl->currentIndex(), 2);
    QTest::keyClick(view->parGrid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(view->TabControl->currentIndex(), 1);
    QTest::keyClicks(view->parGrid, "1");
    QVERIFY(view->parGrid->EditorOpen());
    QTest::keyClick(view->parGrid->Editor(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(view->TabControl->currentIndex(), 2);
    QCOMPARE(core::State().Document[5].value, 1.0f);  // the entry went to its own line
  }

  void settingsThatCannotBeKeptAreToldOnce() {
    uitest::Sandbox box;
    QVERIFY(QDir().mkpath(qEnvironmentVariable("KVX_SETTINGS_DIR") + "/settings"));  // not a plain file
    TMainForm form;
    form.OperationOnlineClick();
    form.OperationOnlineClick();
    auto& gui = box.gui();
    QCOMPARE(gui.messages.size(), std::size_t(1));
    QVERIFY2(gui.messages[0].text.contains("settings file cannot be read"), qPrintable(gui.messages[0].text));
    QCOMPARE(gui.messages[0].caption, QString("Error Message"));
  }

  void fileDialogsStartInTheUsersFolders() {
    uitest::Sandbox box;
    QTemporaryDir home;
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    TMainForm form;
    auto& gui = box.gui();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString first = QFileInfo(documents).isDir() ? documents : home.path();
    gui.fileAnswers.push_back({false, QString()});
    form.FileOpenClick();
    QCOMPARE(gui.fileDialogs.back().folder, first);
    QVERIFY(gui.fileDialogs.back().folder != QCoreApplication::applicationDirPath());

    // After a file was chosen, every file dialog starts in its folder.
    uitest::NewDocument(form, gui, 0);
    QDir(box.Path("")).mkpath("kept");
    const QString saved = box.Path("kept/one.par");
    gui.fileAnswers.push_back({true, saved});
    form.FileSaveAsClick();
    QVERIFY(QFile::exists(saved));
    gui.fileAnswers.push_back({false, QString()});
    form.FileExportClick();
    QCOMPARE(gui.fileDialogs.back().folder, QFileInfo(saved).absolutePath());
    QCOMPARE(ui::StartFolder(), QFileInfo(saved).absolutePath());
    qputenv("HOME", previousHome);
  }
};

QTEST_MAIN(UserPathsTest)
#include "user_paths_test.moc"
