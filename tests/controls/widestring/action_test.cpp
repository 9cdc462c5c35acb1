// Wide texts of actions in real Qt objects: the hint kept whole beside Qt's tool tip and status
// tip, Assign, and a menu item linked to an action following it as far as it shares its texts
// and states.
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
  void theHintLivesInTheHelper() {
    QAction action("&Öffnen");
    action.setStatusTip("Qt's own");
    QCOMPARE(WideHint(&action), QString("Qt's own"));
    QVERIFY(!ActionHelper(&action));  // reading makes none
    SetWideHint(&action, "Открыть|Открывает файл 😀");
    QCOMPARE(action.toolTip(), QString("Открыть"));
    QCOMPARE(action.statusTip(), QString("Открывает файл 😀"));
    QCOMPARE(WideHint(&action), QString("Открыть|Открывает файл 😀"));
    SetWideHint(&action, "Ελληνικά");
    QCOMPARE(action.findChildren<TCustomActionHelper*>().size(), 1);
    QCOMPARE(action.toolTip(), QString("Ελληνικά"));
    QCOMPARE(WideHint(&action), QString("Ελληνικά"));
    SetWideHint(&action, "a|b");
    action.setStatusTip("changed behind its back");
    QCOMPARE(WideHint(&action), QString("changed behind its back"));
    QVERIFY_THROWS_EXCEPTION(EWideInternalError, WideHint(nullptr));
    QVERIFY_THROWS_EXCEPTION(EWideInternalError, SetWideCaption(nullptr, "x"));
  }

  void assignTakesAnActionOrAControl() {
    QAction source("Спи&сок"), action("old");
    SetWideHint(&source, "Список|Показывает список");
    source.setCheckable(true);
    source.setChecked(true);
    source.setEnabled(false);
    source.setShortcut(QKeySequence("Ctrl+L"));
    Assign(&action, &source);
    QCOMPARE(action.text(), QString("Спи&сок"));
    QCOMPARE(WideHint(&action), QString("Список|Показывает список"));
    QVERIFY(action.isChecked() && !action.isEnabled());
    QCOMPARE(action.shortcut(), QKeySequence("Ctrl+L"));

    QPushButton button("&Запуск 日本");
    SetWideControlHint(&button, "Пуск|Запускает привод");
    Assign(&action, &button);
    QCOMPARE(action.text(), QString("&Запуск 日本"));
    QCOMPARE(action.toolTip(), QString("Пуск"));
    QCOMPARE(WideHint(&action), QString("Пуск|Запускает привод"));
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
    QCOMPARE(item->text(), QString("Op&en"));
    QCOMPARE(WideHint(item), QString("Open|Opens a file"));
    QCOMPARE(other->text(), QString("&Open"));
    QCOMPARE(WideHint(other), QString("Opens a file"));
    QVERIFY(item->isCheckable() && item->isChecked());

    // Changes reach the item while it shares the text or state, as the action had it.
    SetWideCaption(&action, "&Открыть");
    SetWideHint(&action, "Открыть|Открывает файл");
    action.setChecked(false);
    action.setEnabled(false);
    QCOMPARE(item->text(), QString("&Открыть"));
    QCOMPARE(WideHint(item), QString("Открыть|Открывает файл"));
    QVERIFY(!item->isChecked() && !item->isEnabled());
    QCOMPARE(WideHint(other), QString("Opens a file"));

    // The same text with the hot key moved: the item keeps its own.
    SetWideCaption(item, "Откр&ыть");
    SetWideCaption(&action, "От&крыть");
    QCOMPARE(item->text(), QString("Откр&ыть"));
    action.setEnabled(true);
    QVERIFY(item->isEnabled());
    action.setVisible(false);
    QVERIFY(!item->isVisible());
    action.setVisible(true);
    // An item given its own caption and states keeps them.
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
    SetMenuItemAction(other, nullptr);
    QVERIFY(!MenuItemAction(other));
    other->trigger();
    QCOMPARE(ran.count(), 1);
    QAction hidden("Hidden");
    hidden.setVisible(false);
    SetMenuItemAction(other, &hidden);
    QVERIFY(!other->isVisible());
    {
      QAction gone("Gone");
      gone.setEnabled(false);
      SetMenuItemAction(item, &gone);
      QCOMPARE(item->text(), QString("Gone"));
      QVERIFY(!item->isEnabled());
    }
    QVERIFY(!MenuItemAction(item));
    item->setEnabled(true);
    item->trigger();
    QCOMPARE(ran.count(), 1);
  }
};

QTEST_MAIN(ActionTest)
#include "action_test.moc"
