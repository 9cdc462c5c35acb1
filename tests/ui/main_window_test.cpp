// The main window's start-up, texts, status bar, menu hints (also in other scripts through the
// wide-string support), language switch, view toggles, help, about box and log memo.
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QToolBar>
#include <thread>

#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_menus.h"
#include "core/common.h"
#include "core/settings.h"
#include "memtable/binary_format.h"
#include "memtable/mem_table.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"
#include "ui/main/application_errors.h"
#include "ui/main/document_dialogs.h"
#include "ui/main/main_form.h"
#include "ui/main/param_form.h"

using platform::gui::IdOk;
using ui::TMainForm;
using uitest::Sandbox;

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void repairsSettingsAndTakesTheConfiguredTitle() {
    Sandbox box;
    for (const char* name : {"ParameterLinkPort", "ParameterLinkData", "ParameterLinkParity", "ParameterLinkStop"})
      box.SetSetting(name, 0);
    box.SetSetting("ParameterLinkBaud", 57600);
    box.SetSetting("ParameterOnline", 1);
    TMainForm form;
    const auto& s = core::State();
    QCOMPARE((std::vector<int>{s.LinkPort, s.LinkBaud, s.LinkDataBits, s.LinkParity, s.LinkStopBits}),
             (std::vector<int>{1, 19200, 8, 'N', 1}));
    QCOMPARE(s.LinkStationList, std::string("254"));
    QCOMPARE(form.windowTitle(), QString("Quorvane Test 1.00"));
    QVERIFY(form.Item("OperationOnline")->isChecked());
    QVERIFY(!s.OnlineEdit);
    QVERIFY(s.Print2Enabled);
    QVERIFY(form.ItemVisible("Print2Button"));
    QVERIFY(form.windowState() & Qt::WindowMaximized);
  }

  void startsWithoutConfiguration() {
    Sandbox box(QString(), false);
    TMainForm form;
    // Once the window is up the user is told which file is missing and where it was looked for.
    QVERIFY(box.gui().messages.empty());
    QCoreApplication::processEvents();
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QVERIFY(box.gui().messages[0].text.contains(box.Path("Kestravel.cfg")));
    QVERIFY(box.gui().messages[0].text.contains("not found"));
    {
      QVERIFY(QDir(box.Path("")).mkdir("Kestravel.cfg"));  // there, but no file
      TMainForm unreadable;
      QCoreApplication::processEvents();
      QCOMPARE(box.gui().messages.size(), size_t(2));
      QVERIFY(box.gui().messages[1].text.contains("could not be read (a folder"));
    }
    QCOMPARE(form.windowTitle(), QString("Quorvane 1.00"));
    QCOMPARE(ui::ShownText(form.Item("FileNew")->text()), QString("New..."));
    QCOMPARE(form.Item("NewButton")->toolTip(), QString("New..."));
    QCOMPARE(ui::ShownText(form.Item("ViewLingua")->text()), QString("English"));
    QVERIFY(!form.ItemVisible("Print2Button"));
    form.ViewLinguaClick();  // no configured language names: nothing changes
    QCOMPARE(core::State().LanguageIndex, 1);
    QCOMPARE(core::ReadSettingInt("ParameterLanguage"), 0);
  }

  // The panels' texts in every state and language are checked in text_fit_test; here the
  // online toggle: saved, and the fifth panel empty once online edit is off.
  void onlineToggleIsSavedAndShown() {
    Sandbox box;
    box.SetSetting("ParameterOnline", 1);
    TMainForm form;
    auto& s = core::State();
    s.LinkedStation = 5;
    s.LinkedModel = 1;
    form.SetLinkedState(true);
    form.UpdateStatusBar();
    QVERIFY(s.OnlineEdit);
    QCOMPARE(form.StatusPanel(3), QString(" Linking 005"));
    QCOMPARE(form.StatusPanel(5), QString(" Online Edit"));
    form.OperationOnlineClick();
    QVERIFY(!s.OnlineEdit);
    QCOMPARE(core::ReadSettingInt("ParameterOnline"), 0);
    QCOMPARE(form.StatusPanel(5), QString());
  }

  // Menu captions and hints through the wide-string support: a hint in another script reaches
  // the first status-bar panel as the user opens the menu, and the panels stay.
  void nonLatinMenuHintsReachTheStatusBar() {
    Sandbox box;
    TMainForm form;
    QVERIFY(widestring::WideApplication());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(widestring::WideHint(form.Item("FileNew")), QString("Create a new parameter document"));

    QAction* item = form.Item("FileNew");
    const QString hint = "Создать новый документ параметров · 新建参数文档 · Νέο έγγραφο 😀";
    widestring::SetWideHint(item, hint);
    widestring::SetWideCaption(item, "&Новый…");
    QMenu* file = form.Item("File1")->menu();
    form.menuBar()->setActiveAction(form.Item("File1"));
    QVERIFY(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(item);
    QCOMPARE(form.StatusPanel(1), " " + hint);
    // Shown in the panel, not as a message over the panels.
    QCOMPARE(form.statusBar()->currentMessage(), QString());
    QVERIFY(form.findChild<QWidget*>("StatusPanel2")->isVisible());
    QCOMPARE(item->text(), QString("&Новый…"));

    file->setActiveAction(form.Item("FileOpen"));
    QCOMPARE(form.StatusPanel(1), QString(" Open an existing parameter document"));
    file->hide();
    QCOMPARE(form.StatusPanel(1), QString(" Ready"));

    // The application's hint (a popup menu's, a control's) shows in the same panel.
    widestring::WideApplication()->SetHint("Подсказка приложения");
    QCOMPARE(form.StatusPanel(1), QString(" Подсказка приложения"));
  }

  void languageSwitchRelabelsEverything() {
    Sandbox box(uitest::LanguageNames());
    box.SetSetting("ParameterLanguage", 2);
    TMainForm form;
    auto& s = core::State();
    QCOMPARE(s.LanguageIndex, 2);
    QCOMPARE(form.ItemHint("FileNew"), QString("Crea un nuovo documento"));
    QCOMPARE(ui::ShownText(form.Item("ViewLingua")->text()), QString("Italiano"));
    uitest::NewDocument(form, box.gui(), 0);
    ui::TParamForm* view = uitest::ParamView(form);
    QVERIFY(view);

    struct Step {
      int language;
      const char* fileNew;
      const char* ready;
      const char* description;
      const char* firstTab;
      const char* firstLine;
    };
    const Step steps[] = {
        {3, "Neu...", " Bereit", "Beschreibung", "   Haupt   ", "Steuerart"},
        {4, "Nouveau...", " Pret", "Description", "   Principal   ", "Mode de commande"},
        {1, "New...", " Ready", "Description", "   Main   ", "Control mode"},
        {2, "Nuovo...", " Pronto", "Descrizione", "   Principale   ", "Modo di controllo"},
    };
    // The language the window started in first, then each switch.
    for (int k = -1; k < 4; ++k) {
      const Step& step = steps[k < 0 ? 3 : k];
      view->TabControl->setCurrentIndex(1);
      if (k >= 0) form.ViewLinguaClick();
      QCOMPARE(s.LanguageIndex, step.language);
      if (k >= 0) QCOMPARE(core::ReadSettingInt("ParameterLanguage"), step.language);
      QCOMPARE(ui::ShownText(form.Item("FileNew")->text()), QString(step.fileNew));
      QCOMPARE(form.StatusPanel(1), QString(step.ready));
      // The view re-labels itself when the posted message arrives.
      QCoreApplication::processEvents();
      QCOMPARE(view->Cell(1, 0), QString(step.description));
      QCOMPARE(view->TabControl->tabText(0), QString(step.firstTab));
      QCOMPARE(view->Cell(2, 1), QString("P0.05"));  // the tab shown stays, row 1 selected
      view->TabControl->setCurrentIndex(0);
      QCOMPARE(view->Cell(1, 1), QString(step.firstLine));
    }
  }

  void languageSwitchFallsBackToTheFirstNamedLanguage() {
    Sandbox box(QString(), false);  // a configuration that names languages 3 and 4 only
    uitest::WriteFile(box.Path("Kestravel.cfg"),
                      "[LANGID=114;Deutsch;Deutsch;Deutsch;Deutsch]\n[LANGID=115;Francais;Francais;Francais;Francais]\n");
    box.SetSetting("ParameterLanguage", 3);
    TMainForm form;
    form.ViewLinguaClick();
    QCOMPARE(core::State().LanguageIndex, 4);
    form.ViewLinguaClick();  // 1 is not named: the fallback to 1 finds no name either
    QCOMPARE(core::State().LanguageIndex, 4);
  }

  // The bar toggles, the help file that must be there, the log memo that collects transaction traces.
  void viewTogglesHelpAndLog() {
    Sandbox box;
    TMainForm form;
    form.show();
    QVERIFY(form.ToolBar->isVisible());
    QVERIFY(form.ClickItem("ViewToolbar"));
    QVERIFY(!form.Item("ViewToolbar")->isChecked());
    QVERIFY(!form.ToolBar->isVisible());
    form.Item("ViewStatusbar")->trigger();  // the menu's own trigger toggles once
    QVERIFY(!form.Item("ViewStatusbar")->isChecked());
    QVERIFY(!form.statusBar()->isVisible());
    form.ClickItem("ViewToolbar");
    QVERIFY(form.ToolBar->isVisible());

    form.ClickItem("ContentsButton");
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QVERIFY(box.gui().messages[0].text.contains("Quorvane.hlp"));
    QVERIFY(box.gui().links.empty());
    uitest::WriteFile(box.Path("Quorvane.hlp"), QByteArray());
    form.HelpContentsClick();
    QCOMPARE(box.gui().links, std::vector<QString>{box.Path("Quorvane.hlp")});

    QVERIFY(form.Memo1->isHidden());
    core::State().LogMemo("WriteParam 100 0 2 0");
    QCOMPARE(form.Memo1->toPlainText(), QString("WriteParam 100 0 2 0"));
  }

  void aboutBoxShowsTheConfiguredTexts() {
    Sandbox box;
    TMainForm form;
    bool logo = true;
    box.gui().dialogScripts.push_back([&](QDialog& dialog) {
      auto& about = static_cast<ui::TAboutForm&>(dialog);
      QCOMPARE(about.LabelInfo->text(), QString("Kestravel ZTL Manager (test)"));
      QCOMPARE(about.LabelCopyright->text(), QString("Test notice of the maker"));
      logo = about.LogoLoaded();
      about.LabelURLClick();
      about.OK->click();
    });
    form.HelpAboutClick();
    QVERIFY(!logo);
    QCOMPARE(box.gui().links, std::vector<QString>{"https://www.kestravel.example/service"});

    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(box.Path("Parameter.dat"), "PNG"));
    ui::TAboutForm withLogo(&form);
    QVERIFY(withLogo.LogoLoaded());
    uitest::WriteFile(box.Path("Parameter.dat"), "not a picture");
    ui::TAboutForm withoutLogo(&form);
    QVERIFY(!withoutLogo.LogoLoaded());
  }

  // An in-memory table that cannot write its persistent file as it is destroyed has no caller
  // to tell: the error is shown in a stop box captioned with the application title.
  void tableErrorsWithoutACallerAreShown() {
    Sandbox box;
    TMainForm form;
    ui::InstallApplicationErrorHandler();
    const QString file = box.Path("missing/table.kvm");
    {
      memtable::TmvxBinaryStreamFormat format;
      memtable::TmvxMemTable table;
      table.GetFieldDefs().Add("Id", dataset::ftInteger);
      table.Persistent = true;
      table.PersistentFile = ui::Ss(file);
      table.PersistentFormat = &format;
      table.Open();
    }  // the folder of its persistent file does not exist
    memtable::TmvxCustomMemTable::SetApplicationExceptionHandler(nullptr);
    QCOMPARE(box.gui().messages.size(), size_t(1));
    const auto& shown = box.gui().messages[0];
    QVERIFY2(shown.text.contains(file), qPrintable(shown.text));
    QCOMPARE(shown.caption, QString("Quorvane Test 1.00"));
    QCOMPARE(shown.icon, platform::gui::Icon::Stop);
    QCOMPARE(shown.buttons, platform::gui::Buttons::Ok);

    // An error without a text of its own still says that something failed; one from another
    // thread is shown on the user-interface thread.
    std::thread([] { ui::ShowApplicationError(std::make_exception_ptr(42)); }).join();
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCoreApplication::processEvents();
    QCOMPARE(box.gui().messages.size(), size_t(2));
    QCOMPARE(box.gui().messages.back().text, ui::extra::UnknownError());
    ui::ShowApplicationError(std::make_exception_ptr(dataset::EAbort()));  // an abort shows nothing
    QCOMPARE(box.gui().messages.size(), size_t(2));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
