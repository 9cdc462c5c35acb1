// The main window's menu captions and hints through the wide-string support: a hint in another
// script reaches the first status-bar panel as the user opens the menu, and the panels stay.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_menus.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/main_form.h"

using ui::TMainForm;
using uitest::Sandbox;

class WideHintsTest : public QObject {
  Q_OBJECT
 private slots:
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
};

QTEST_MAIN(WideHintsTest)
#include "wide_hints_test.moc"
