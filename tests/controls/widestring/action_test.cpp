// Wide texts of actions in real Qt objects: the hint kept whole beside Qt's tool tip and status
// tip, Assign, and a menu item linked to an action following it while they share texts and states.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>

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
};

QTEST_MAIN(ActionTest)
#include "action_test.moc"
