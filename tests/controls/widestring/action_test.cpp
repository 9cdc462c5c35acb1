// Wide texts of actions in real Qt objects: the hint kept whole beside Qt's tool tip and status
// tip, Assign, and a menu item linked to an action following it while they share texts and states.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;

// Caption, hint, then checkable, checked, enabled and visible as 0 or 1.
static QString State(const QAction& a) {
  return a.text() + "/" + WideHint(&a) + "/" + QString::number(a.isCheckable()) + QString::number(a.isChecked()) +
         QString::number(a.isEnabled()) + QString::number(a.isVisible());
}

class ActionTest : public QObject {
  Q_OBJECT
 private slots:
  void hintsAssignAndLinkedMenuItems() {
    QAction action("&Open"), copy, item("Op&en"), other("Mine");  // item: the caption with another hot key
    QVERIFY(WideHint(&item).isEmpty() && !ActionHelper(&item));      // reading makes no helper
    SetWideHint(&action, "Open|Opens a file");
    action.setCheckable(true);
    action.setChecked(true);
    action.setEnabled(false);
    action.setVisible(false);
    action.setShortcut(QKeySequence("Ctrl+L"));
    Assign(&copy, &action);
    QCOMPARE(State(copy) + " " + copy.shortcut().toString() + " " + copy.statusTip(),
             QString("&Open/Open|Opens a file/1100 Ctrl+L Opens a file"));  // the tool tip: the short part
    QPushButton button("&Запуск");
    SetWideControlHint(&button, "Пуск|Запускает привод");
    Assign(&copy, &button);  // the same helper holds the new hint
    QCOMPARE(copy.text() + "/" + WideHint(&copy), QString("&Запуск/Пуск|Запускает привод"));
    copy.setStatusTip("changed behind its back");
    QCOMPARE(WideHint(&copy), QString("changed behind its back"));
    QVERIFY_THROWS_EXCEPTION(EWideInternalError, WideHint(nullptr));

    SetWideHint(&other, "Opens a file");  // its own, though the action's long part
    SetMenuItemAction(&item, &action);
    SetMenuItemAction(&other, &action);
    QCOMPARE(MenuItemAction(&item), &action);
    QCOMPARE(State(item) + " " + State(other), QString("Op&en/Open|Opens a file/1100 &Open/Opens a file/1100"));
    // Changes reach an item while it shares what changed, as the action had it; what it has of its
    // own (other) it keeps until the two agree again, and its hot key while the caption's text stays.
    SetWideCaption(&other, "Другое");
    other.setChecked(false);
    other.setEnabled(true);
    other.setVisible(true);
    SetWideCaption(&action, "O&pen");
    QCOMPARE(item.text() + " " + State(other), QString("Op&en Другое/Opens a file/1011"));
    SetWideCaption(&action, "&Открыть");
    SetWideHint(&action, "Открыть|Открывает файл");
    action.setChecked(false);
    action.setEnabled(true);
    action.setVisible(true);
    QCOMPARE(State(item), QString("&Открыть/Открыть|Открывает файл/1011"));
    item.trigger();  // runs the action, which checks itself and so other
    QCOMPARE(State(other), QString("Другое/Opens a file/1111"));
    // The link ends when replaced, with its action, or linked to the item itself.
    auto* gone = new QAction("Gone");
    gone->setEnabled(false);
    SetMenuItemAction(&other, gone);
    QCOMPARE(State(other), QString("Gone/Opens a file/0001"));
    delete gone;
    SetMenuItemAction(&item, &item);
    QVERIFY(!MenuItemAction(&other) && !MenuItemAction(&item));
  }

  // A click on a linked item only runs its action; the item shows the action's checked state,
  // also when the action is the checked one of an exclusive group, which stays checked.
  void linkedItemsShowTheirActionsCheckedState() {
    QActionGroup group(nullptr);
    QAction r1("One"), r2("Two"), item("One");
    for (QAction* r : {&r1, &r2}) {
      r->setCheckable(true);
      group.addAction(r);
    }
    r1.setChecked(true);
    SetMenuItemAction(&item, &r1);
    QSignalSpy ran(&r1, &QAction::triggered);
    item.trigger();
    QCOMPARE(ran.count(), 1);
    QVERIFY(r1.isChecked() && item.isChecked() && MenuItemActionLink(&item)->IsCheckedLinked());
    r1.setText("Uno");
    QCOMPARE(item.text() + QString::number(item.isChecked()), QString("Uno1"));
    r2.trigger();  // the group unchecks r1
    QVERIFY(!item.isChecked());
    item.trigger();  // checks r1, and so the item, once
    QVERIFY(r1.isChecked() && !r2.isChecked() && item.isChecked());
  }

  // Links that lead back to the item run each action of the loop once and end.
  void loopsOfLinksEnd() {
    QAction a("A"), b("B"), c("C");
    a.setCheckable(true);
    b.setCheckable(true);
    QSignalSpy ranA(&a, &QAction::triggered), ranB(&b, &QAction::triggered), ranC(&c, &QAction::triggered);
    SetMenuItemAction(&a, &b);
    SetMenuItemAction(&b, &a);
    a.trigger();
    QCOMPARE(QString("%1%2").arg(ranA.count()).arg(ranB.count()), QString("11"));
    QVERIFY(!a.isChecked() && !b.isChecked());
    b.setChecked(true);  // b's own state; a follows it
    QVERIFY(a.isChecked());
    SetMenuItemAction(&b, &c);  // a -> b -> c -> a
    SetMenuItemAction(&c, &a);
    c.trigger();
    QCOMPARE(QString("%1%2%3").arg(ranA.count()).arg(ranB.count()).arg(ranC.count()), QString("221"));
    SetWideCaption(&c, "Loop");
    QCOMPARE(a.text() + b.text(), QString("LoopLoop"));
  }

  // A hint of a status part alone stays so, and a linked item takes it without a tool tip.
  void hintsWithAnEmptyShortPart() {
    QAction action("&Open"), item("&Open");
    SetWideHint(&action, "|Only status");
    QCOMPARE(WideHint(&action), QString("|Only status"));
    QSignalSpy changed(&action, &QAction::changed);
    SetWideHint(&action, "|Only status");  // the same hint: no change
    QCOMPARE(changed.count(), 0);
    SetMenuItemAction(&item, &action);
    QCOMPARE(WideHint(&item), QString("|Only status"));
    QCOMPARE(item.statusTip(), QString("Only status"));
    // In a menu that shows tool tips, the item shows none.
    QMenu menu;
    menu.setToolTipsVisible(true);
    QAction named("Named");
    SetWideHint(&named, "Tip|Status");
    menu.addAction(&named);
    menu.addAction(&item);
    menu.popup(QPoint(0, 0));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    auto tipAt = [&menu](QAction* a) {
      QToolTip::hideText();
      const QPoint at = menu.actionGeometry(a).center();
      QHelpEvent help(QEvent::ToolTip, at, menu.mapToGlobal(at));
      QApplication::sendEvent(&menu, &help);
      return QToolTip::isVisible() ? QToolTip::text() : QString("none");
    };
    QCOMPARE(tipAt(&named) + "/" + tipAt(&item), QString("Tip/none"));
    // A control with a tool tip alone: that text is both parts.
    QPushButton button;
    button.setToolTip("Tip");
    QCOMPARE(WideControlHint(&button), QString("Tip"));
  }
};

QTEST_MAIN(ActionTest)
#include "action_test.moc"
