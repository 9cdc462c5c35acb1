// What a user meets on the way through the main window, driven by real mouse and key events
// where it matters: after a page change the highlighted row is the edited one (online too),
// password boxes hide the entry, a port or a settings file that fails says why, a compare with
// an unreadable file says so, menus and pages answer the keyboard, and file dialogs start in
// the folder the program runs in, then in the folder last used.
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
#include "platform/serial_port.h"
#include "tests/ui/drive_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/grid_look.h"
#include "ui/drive/link_form.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using ui::TMainForm;
using ui::TParamForm;

namespace {

QRect CellRect(TParamForm& view, int column, int row) {
  return view.parGrid->visualRect(view.parGrid->model()->index(row - 1, column));
}

void ClickCell(TParamForm& view, int column, int row) {
  QTest::mouseClick(view.parGrid->viewport(), Qt::LeftButton, {}, CellRect(view, column, row).center());
}

void ClickTab(TParamForm& view, int tab) {
  QTest::mouseClick(view.TabControl, Qt::LeftButton, {}, view.TabControl->tabRect(tab).center());
  QCoreApplication::processEvents();
}

// Types on the grid: the first key opens the editor, the rest go to it.
void Type(TParamForm& view, const QString& text, bool enter) {
  QTest::keyClicks(view.parGrid, text.left(1));
  QVERIFY(view.parGrid->Editor());
  QTest::keyClicks(view.parGrid->Editor(), text.mid(1));
  if (enter) QTest::keyClick(view.parGrid->Editor(), Qt::Key_Return);
  QCoreApplication::processEvents();
}

// The highlighted row (as drawn), the grid's current row and the selected line are `row` / `code`.
void CheckOneRow(TParamForm& view, int row, const char* code) {
  QCOMPARE(view.CurrentRow, row);
  QCOMPARE(view.parGrid->currentRow() + 1, row);
  QVERIFY(core::State().Document[static_cast<std::size_t>(view.SelectedIndex)].code == code);
  const QImage image = view.parGrid->viewport()->grab().toImage();
  for (int r = 1; r < view.RowCount(); ++r)
    QCOMPARE(image.pixelColor(CellRect(view, 1, r).bottomRight() - QPoint(3, 3)) == ui::kCurrentBlue, r == row);
}

float Value(const char* code) { return uitest::DocumentLine(code).value; }

// The desktop's own password box, answered as a user would (a wrong password, or Cancel), in
// front of the script that answers everything else.
class DesktopPasswordBox : public platform::gui::Services {
 public:
  DesktopPasswordBox(platform::gui::ScriptedServices& script, bool cancel)
      : script_(script), cancel_(cancel), previous_(&platform::gui::Gui()) {
    platform::gui::SetGui(this);
  }
  ~DesktopPasswordBox() override { platform::gui::SetGui(previous_); }
  int asked = 0;

  bool InputQuery(const QString& caption, const QString& prompt, QString& text, platform::gui::Echo echo) override {
    ++asked;
    QTimer::singleShot(0, [cancel = cancel_] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* input = qobject_cast<QInputDialog*>(w); input && input->isVisible()) {
          if (cancel) {
            input->reject();
          } else {
            input->setTextValue("nope");
            input->accept();
          }
        }
    });
    return platform::gui::DesktopServices().InputQuery(caption, prompt, text, echo);
  }
  int MessageBox(const QString& text, const QString& caption, platform::gui::Buttons buttons,
                 platform::gui::Icon icon) override {
    return script_.MessageBox(text, caption, buttons, icon);
  }
  bool FileDialog(const platform::gui::FileDialogSpec& spec, QString& path) override {
    return script_.FileDialog(spec, path);
  }
  void Beep() override { script_.Beep(); }
  void OpenLink(const QString& target) override { script_.OpenLink(target); }
  int ExecDialog(QDialog& dialog) override { return script_.ExecDialog(dialog); }

 private:
  platform::gui::ScriptedServices& script_;
  bool cancel_;
  platform::gui::Services* previous_;
};

}  // namespace

class UserPathsTest : public QObject {
  Q_OBJECT
 private slots:
  void entryAfterAPageChangeEditsTheHighlightedRow() {
    uitest::FakeBench bench;
    bench.box.SetSetting("ParameterOnline", 1);
    simdrive::Drive& drive = *bench.drive;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    uitest::LinkWindow(form);
    uitest::NewDocument(form, bench.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    auto& gui = bench.gui();

    // Row 4 of the first page, then the second page: its row 1 is highlighted and typing writes
    // it (P0.05, a float at register 107), not row 4 (P1.00 at register 200).
    ClickCell(*view, 1, 4);
    CheckOneRow(*view, 4, "P0.03");
    ClickTab(*view, 1);
    CheckOneRow(*view, 1, "P0.05");
    Type(*view, "1", true);
    QCOMPARE(gui.messages.size(), std::size_t(1));
    QCOMPARE(gui.messages.back().text, QString("Write Parameter Successfully!!"));
    QCOMPARE(drive.Holding(1, 108), std::uint16_t(0x3F80));  // 1.0f, high word
    QCOMPARE(drive.Holding(1, 200), std::uint16_t(0));
    QCOMPARE(view->Cell(6, 1), QString("1.0"));
    QCOMPARE(view->Cell(6, 4), QString("1.2345"));

    // An entry still open when the page changes goes to its own line; the new page keeps its texts.
    ClickTab(*view, 0);
    ClickCell(*view, 6, 2);
    Type(*view, "123", false);
    ClickTab(*view, 1);
    QVERIFY(!view->parGrid->EditorOpen());
    QCOMPARE(Value("P0.01"), 123.0f);
    QCOMPARE(drive.Holding(1, 101), std::uint16_t(12300));
    CheckOneRow(*view, 1, "P0.05");
    QCOMPARE(view->Cell(6, 2), QString("0"));

    // Offline the document alone.
    form.OperationOnlineClick();
    const int requests = drive.RequestCount();
    ClickCell(*view, 6, 5);
    ClickTab(*view, 0);
    Type(*view, "2", true);
    QCOMPARE(Value("P0.00"), 2.0f);
    QCOMPARE(Value("P0.04"), 0.0f);
    QCOMPARE(drive.RequestCount(), requests);
    QCOMPARE(gui.unexpected, 0);
  }

  // Online, a key typed on a locked line whose password is refused or cancelled in the desktop's
  // password box leaves the selection on that line and writes nothing: the key is no search for a row whose setting
  // starts with it (Maximum frequency's 50.00, or the line edited before, above or below), so
  // the next entry cannot go to another parameter.
  void refusedPasswordKeepsTheLockedLine() {
    uitest::FakeBench bench;
    bench.box.SetSetting("ParameterOnline", 1);
    simdrive::Drive& drive = *bench.drive;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    uitest::LinkWindow(form);
    auto& gui = bench.gui();
    struct Case {
      const char* edited;    // unlocked and set to 5 before
      const char* password;  // its level's password
      const char* locked;    // the line then clicked
      bool cancel;           // Cancel, else a wrong password
    };
    const Case cases[] = {{"P0.02", "level1", "P0.04", false},   // edited line above the locked one
                          {"P0.02", "level1", "P0.04", true},
                          {"P0.04", "level2", "P0.02", false},   // edited line below it
                          {"P0.04", "level2", "P0.02", true}};
    TParamForm* view = nullptr;
    for (const Case& c : cases) {
      const QString name = QString("%1 then %2, %3").arg(c.edited, c.locked, c.cancel ? "Cancel" : "wrong");
      core::State().EnteredPassword.clear();
      if (view) gui.messageAnswers.push_back(platform::gui::IdNo);  // the edited document is not saved
      uitest::NewDocument(form, gui, 0);
      view = uitest::ParamView(form);
      const int edited = uitest::RowOfCode(*view, c.edited);
      const int locked = uitest::RowOfCode(*view, c.locked);
      ClickCell(*view, 6, edited);
      gui.inputAnswers.push_back({true, c.password});
      const int before = drive.RequestCount();
      Type(*view, "55", true);  // the key that asks for the password is not typed
      QVERIFY2(Value(c.edited) == 5.0f, qPrintable(name));
      const int requests = drive.RequestCount();
      // The one online write of 5, nothing else but the read that confirms a word write's
      // answer (P0.02 is a word, P0.04 a 32-bit value).
      QVERIFY2(requests == before + (std::string(c.edited) == "P0.02" ? 2 : 1), qPrintable(name));
      const std::size_t messages = gui.messages.size();
      const std::size_t inputs = gui.inputs.size();

      ClickCell(*view, 6, locked);
      CheckOneRow(*view, locked, c.locked);
      {
        DesktopPasswordBox passwordBox(gui, c.cancel);
        for (const char key : {'5', '7'}) {
          QTest::keyClick(view->parGrid, key);
          QCoreApplication::processEvents();
          QVERIFY2(!view->parGrid->EditorOpen(), qPrintable(name));
          CheckOneRow(*view, locked, c.locked);
        }
        QTest::keyClick(view->parGrid, Qt::Key_Return);
        QCoreApplication::processEvents();
        CheckOneRow(*view, locked, c.locked);
        QVERIFY2(passwordBox.asked == 2, qPrintable(name));  // each key asked again
      }
      QVERIFY2(gui.inputs.size() == inputs, qPrintable(name));
      QVERIFY2(drive.RequestCount() == requests, qPrintable(name));
      QVERIFY2(gui.messages.size() == messages, qPrintable(name));  // no message either
      QCOMPARE(drive.Holding(1, 101), std::uint16_t(0));           // Maximum frequency never written
      QCOMPARE(Value("P0.01"), 50.0f);
      QCOMPARE(Value(c.locked), 0.0f);
    }
    QCOMPARE(gui.unexpected, 0);
  }

  void passwordBoxesHideWhatIsTyped() {
    uitest::Sandbox box;
    TMainForm form;
    uitest::LinkWindow(form);
    auto& gui = box.gui();
    gui.inputAnswers.push_back({false, QString()});
    form.PasswordButtonClick();
    uitest::NewDocument(form, gui, 0);
    TParamForm* view = uitest::ParamView(form);
    gui.inputAnswers.push_back({false, QString()});
    view->SelectRow(uitest::RowOfCode(*view, "P0.02"));  // access level 1
    QVERIFY(!view->parGrid->OpenEditor());
    QCOMPARE(gui.inputs.size(), std::size_t(2));
    for (const auto& call : gui.inputs) QVERIFY(call.echo == platform::gui::Echo::Password);

    // The desktop input box itself.
    QLineEdit::EchoMode seen = QLineEdit::Normal;
    QTimer::singleShot(0, [&seen] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* input = qobject_cast<QInputDialog*>(w); input && input->isVisible()) {
          seen = input->textEchoMode();
          input->reject();
        }
    });
    QString entry;
    QVERIFY(!platform::gui::DesktopServices().InputQuery("Setting", "Enter", entry, platform::gui::Echo::Password));
    QCOMPARE(seen, QLineEdit::Password);
  }

  void portThatDoesNotOpenSaysWhy() {
    uitest::Sandbox box;
    QTemporaryDir comDir;
    qputenv(platform::kComFolderVariable, comDir.path().toUtf8());
    // COM1 has no entry (the fixed table's device is missing), COM2 is held by another user of
    // the line, COM3 is no serial port.
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
    const QString expected[] = {"/dev/ttyUSB0: no such device", comDir.filePath("COM2") + ": the port is in use",
                                comDir.filePath("COM3") + ": not a serial port"};
    for (int port = 1; port <= 3; ++port) {
      if (port == 1 && QFile::exists("/dev/ttyUSB0")) continue;  // a real adapter is plugged in
      gui.dialogScripts.push_back([port](QDialog& dialog) {
        auto& f = static_cast<ui::TLinkForm&>(dialog);
        f.comboPort->setCurrentIndex(port - 1);
        f.editStation->setText("1");
        f.Link->click();
      });
      form.OperationLinkClick();
      const QString text = gui.messages.back().text;
      QVERIFY2(text.startsWith("Cummunication Error!!\nCan not open COM port\n" + expected[port - 1]), qPrintable(text));
      QCOMPARE(gui.messages.back().icon, platform::gui::Icon::Stop);
    }
    core::PortOpenFailure denied{"/dev/ttyUSB0", {platform::OpenFailure::NoPermission, EACCES}};
    QVERIFY(ui::extra::PortOpenFailure(denied).contains("dialout group"));
    qunsetenv(platform::kComFolderVariable);
    holder.Close();
    ::close(slave);
    ::close(master);
    QCOMPARE(gui.unexpected, 0);
  }

  void unreadableFilesAndSettingsAreReported() {
    uitest::Sandbox box;
    QVERIFY(QDir().mkpath(qEnvironmentVariable("KVX_SETTINGS_DIR") + "/settings"));  // not a plain file
    QFile damaged(box.Path("damaged.par"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a parameter file");
    damaged.close();
    TMainForm form;
    auto& gui = box.gui();
    // The settings problem is told once, however many writes are refused.
    form.OperationOnlineClick();
    form.OperationOnlineClick();
    QCOMPARE(gui.messages.size(), std::size_t(1));
    QVERIFY2(gui.messages[0].text.contains("settings file cannot be read"), qPrintable(gui.messages[0].text));

    const QString missing = box.Path("missing.par");
    gui.dialogScripts.push_back(uitest::PressOk([&](QDialog& dialog) {
      auto& d = static_cast<ui::TCompareFileForm&>(dialog);
      d.file1->setText(missing);
      d.file2->setText(box.Path("damaged.par"));
    }));
    form.CompareFileClick();
    QCOMPARE(gui.messages.back().text, "The file could not be read as a document:\n" + box.Path("damaged.par"));
    gui.dialogScripts.push_back(
        uitest::PressOk([&](QDialog& dialog) { static_cast<ui::TCompareFilesForm&>(dialog).file1->setText(missing); }));
    form.CompareFilesClick();
    QCOMPARE(gui.messages.back().text, "The file could not be read as a document:\n" + missing);
    QCOMPARE(gui.messages.size(), std::size_t(3));
    QVERIFY(form.Child() == nullptr);
  }

  void menusAndPagesAnswerTheKeyboard() {
    uitest::Sandbox box;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Every menu of the bar and every item of a menu has a letter of its own.
    QList<QList<QAction*>> menus{form.menuBar()->actions()};
    for (QMenu* menu : form.findChildren<QMenu*>()) menus << menu->actions();
    for (const auto& actions : menus) {
      QString letters;
      for (QAction* action : actions) {
        if (action->isSeparator() || action->objectName().startsWith("FileRecent")) continue;
        const qsizetype at = action->text().indexOf(QRegularExpression("&[^&]"));
        QVERIFY2(at >= 0 && !letters.contains(action->text()[at + 1].toLower()), qPrintable(action->text()));
        letters += action->text()[at + 1].toLower();
      }
    }
    QCOMPARE(form.Item("FilePrintTitle")->text(), QString("&Print Title && Set"));

    QTest::keyClick(&form, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(form.Item("Operation1")->menu()->isVisible());
    form.Item("Operation1")->menu()->hide();
    QTest::keyClick(&form, Qt::Key_F10);
    QTRY_VERIFY(form.Item("File1")->menu()->isVisible());
    form.Item("File1")->menu()->hide();

    // Ctrl+Tab / Ctrl+PgDn and back, going round, also from an open cell editor.
    uitest::NewDocument(form, box.gui(), 0);
    TParamForm* view = uitest::ParamView(form);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    view->parGrid->setFocus();
    QTRY_VERIFY(view->parGrid->hasFocus());
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Tab, Qt::ControlModifier},      {Qt::Key_PageDown, Qt::ControlModifier},
        {Qt::Key_PageDown, Qt::ControlModifier}, {Qt::Key_PageUp, Qt::ControlModifier},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier}};
    const int pages[] = {1, 2, 0, 2, 1};
    for (int k = 0; k < 5; ++k) {
      QTest::keyClick(view->parGrid, keys[k].first, keys[k].second);
      QCOMPARE(view->TabControl->currentIndex(), pages[k]);
    }
    QTest::keyClicks(view->parGrid, "1");
    QTest::keyClick(view->parGrid->Editor(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(view->TabControl->currentIndex(), 2);
    QCOMPARE(Value("P0.05"), 1.0f);
  }

  void fileDialogsStartInTheRunFolderThenTheLastOneUsed() {
    uitest::Sandbox box;
    QTemporaryDir home;
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    TMainForm form;
    auto& gui = box.gui();
    // The program's folder is the folder it runs in (the sandbox's, with the configuration), not
    // the folder of the test program; the first file dialog starts there.
    const QString run = QFileInfo(box.Path("Kestravel.cfg")).canonicalPath();
    auto& s = core::State();
    QCOMPARE(QFileInfo(QString::fromStdString(s.ProgramFolder)).canonicalFilePath(), run);
    QVERIFY(QString::fromStdString(s.ProgramFolder).endsWith('/'));
    gui.fileAnswers.push_back({false, QString()});
    form.FileOpenClick();
    QCOMPARE(QFileInfo(gui.fileDialogs.back().folder).canonicalFilePath(), run);
    // A program folder that has gone: the user's documents folder, else the home folder.
    const std::string program = s.ProgramFolder;
    s.ProgramFolder = box.Path("gone/").toStdString();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    gui.fileAnswers.push_back({false, QString()});
    form.FileOpenClick();
    QCOMPARE(gui.fileDialogs.back().folder, QFileInfo(documents).isDir() ? documents : home.path());
    s.ProgramFolder = program;

    // Once a file was chosen, every file dialog starts in its folder.
    uitest::NewDocument(form, gui, 0);
    QVERIFY(QDir(box.Path("")).mkpath("kept"));
    gui.fileAnswers.push_back({true, box.Path("kept/one.par")});
    form.FileSaveAsClick();
    QVERIFY(QFile::exists(box.Path("kept/one.par")));
    gui.fileAnswers.push_back({false, QString()});
    form.FileExportClick();
    QCOMPARE(gui.fileDialogs.back().folder, QFileInfo(box.Path("kept/one.par")).absolutePath());
    qputenv("HOME", previousHome);
  }
};

QTEST_MAIN(UserPathsTest)
#include "user_paths_test.moc"
