// Wide texts of actions in real Qt objects: the hint kept whole beside Qt's tool tip and status
// tip, Assign, and a menu item linked to an action following it while it shares its texts and
// states.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "controls/widestring/wide_actions.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;

class ActionTest : public QObject {
  Q_OBJECT
 private slots:
  void theHintLivesInTheHelperAndAssignCopiesIt() {
    QAction source("Спи&сок"), action("old");
    source.setStatusTip("Qt's own");
    QCOMPARE(WideHint(&source), QString("Qt's own"));
    QVERIFY(!ActionHelper(&source));  // reading makes none
    SetWideHint(&source, "Список|Показывает список 😀");
    SetWideHint(&source, "Список|Показывает список");
    QCOMPARE(source.findChildren<TCustomActionHelper*>().size(), 1);
    QCOMPARE(source.toolTip() + "/" + source.statusTip(), QString("Список/Показывает список"));
    source.setCheckable(true);
    source.setChecked(true);
    source.setShortcut(QKeySequence("Ctrl+L"));
    Assign(&action, &source);
    QCOMPARE(action.text() + "/" + WideHint(&action), QString("Спи&сок/Список|Показывает список"));
    QVERIFY(action.isChecked() && action.shortcut() == QKeySequence("Ctrl+L"));
    source.setStatusTip("changed behind its back");
    QCOMPARE(WideHint(&source), QString("changed behind its back"));

    QPushButton button("&Запуск 日本");
    SetWideControlHint(&button, "Пуск|Запускает привод");
    Assign(&action, &button);
    QCOMPARE(action.text() + "/" + WideHint(&action), QString("&Запуск 日本/Пуск|Запускает привод"));
    QVERIFY_THROWS_EXCEPTION(EWideInternalError, WideHint(nullptr));
  }

  void aLinkedMenuItemFollowsItsAction() {
    QMenu menu;
    QAction action("&Open");
    SetWideHint(&action, "Open|Opens a file");
    action.setCheckable(true);
    action.setChecked(true);
    QAction* item = menu.addAction("Op&en");  // the same text with its own hot key
    QAction* other = menu.addAction("Mine");
    SetWideHint(other, "Opens a file");  // its own, though the action's long part
    SetMenuItemAction(item, &action);
    SetMenuItemAction(other, &action);
    QCOMPARE(MenuItemAction(item), &action);
    QCOMPARE(item->text() + "/" + WideHint(item), QString("Op&en/Open|Opens a file"));
    QCOMPARE(other->text() + "/" + WideHint(other), QString("&Open/Opens a file"));
    QVERIFY(item->isCheckable() && item->isChecked());

    // Changes reach the item while it shares the text or state, as the action had it.
    SetWideCaption(&action, "&Открыть");
    SetWideHint(&action, "Открыть|Открывает файл");
    action.setChecked(false);
    action.setEnabled(false);
    QCOMPARE(item->text() + "/" + WideHint(item), QString("&Открыть/Открыть|Открывает файл"));
    QVERIFY(!item->isChecked() && !item->isEnabled());
    QCOMPARE(WideHint(other), QString("Opens a file"));
    action.setEnabled(true);
    QVERIFY(item->isEnabled());
    action.setVisible(false);
    QVERIFY(!item->isVisible());
    action.setVisible(true);

    // The same text with the hot key moved: the item keeps its own. Its own caption and states
    // it keeps too.
    SetWideCaption(item, "Откр&ыть");
    SetWideCaption(&action, "От&крыть");
    QCOMPARE(item->text(), QString("Откр&ыть"));
    SetWideCaption(item, "Другое");
    item->setChecked(true);
    item->setEnabled(false);
    SetWideCaption(&action, "Закрыть");
    QCOMPARE(item->text(), QString("Другое"));
    QVERIFY(item->isChecked() && !item->isEnabled());
    item->setEnabled(true);
    item->setVisible(false);
    SetWideHint(&action, "Закрыть");
    QVERIFY(!item->isVisible());
    item->setVisible(true);

    // The item runs the action; the link ends with the action or when replaced.
    QSignalSpy ran(&action, &QAction::triggered);
    item->trigger();
    QCOMPARE(ran.count(), 1);
    QAction hidden("Hidden");
    hidden.setVisible(false);
    SetMenuItemAction(other, &hidden);
    QVERIFY(!other->isVisible());
    other->trigger();
    {
      QAction gone("Gone");
      gone.setEnabled(false);
      SetMenuItemAction(item, &gone);
      QVERIFY(item->text() == "Gone" && !item->isEnabled());
    }
    QVERIFY(!MenuItemAction(item));
    item->setEnabled(true);
    item->trigger();
    QCOMPARE(ran.count(), 1);
  }
};

QTEST_MAIN(ActionTest)
#include "action_test.moc"
