// Wide texts of actions in real Qt objects: the hint kept whole beside Qt's tool tip and status
// tip, Assign, a menu item linked to an action following it while they share texts and states,
// and wide menu items naming their shortcuts in the keyboard layout (XKB_DEFAULT_LAYOUT).
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

#include "controls/widestring/wide_menu_item.h"
#include "controls/widestring/wide_menus.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;

// Caption, hint, then checkable, checked, enabled and visible as 0 or 1.
static QString State(const QAction& a) {
  return a.text() + "/" + WideHint(&a) + "/" + QString::number(a.isCheckable()) + QString::number(a.isChecked()) +
         QString::number(a.isEnabled()) + QString::number(a.isVisible());
}

static void Layout(const char* name) { setenv("XKB_DEFAULT_LAYOUT", name, 1); }

class ActionTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { unsetenv("XKB_DEFAULT_LAYOUT"); }

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

  // A click on a linked item only runs its action, and the item keeps the action's checked state
  // (Qt's toggle undone; in an exclusive group of the items, as its group left it).
  void clicksOnLinkedItemsOnlyRunTheirActions() {
    QActionGroup actions(nullptr), items(nullptr);
    QAction r1("One"), item("One"), grouped("One");
    for (QAction* r : {&r1, &grouped}) r->setCheckable(true);
    actions.addAction(&r1);
    items.addAction(&grouped);
    r1.setChecked(true);
    SetMenuItemAction(&item, &r1);
    SetMenuItemAction(&grouped, &r1);
    QSignalSpy ran(&r1, &QAction::triggered);
    item.trigger();
    grouped.trigger();
    QVERIFY(ran.count() == 2 && r1.isChecked() && item.isChecked() && grouped.isChecked());
    // Links that lead back to the item run each action of the loop once.
    QAction a("A"), b("B"), c("C");
    QSignalSpy ranA(&a, &QAction::triggered), ranB(&b, &QAction::triggered), ranC(&c, &QAction::triggered);
    SetMenuItemAction(&a, &b);
    SetMenuItemAction(&b, &c);
    SetMenuItemAction(&c, &a);
    c.trigger();
    QCOMPARE(QString("%1%2%3").arg(ranA.count()).arg(ranB.count()).arg(ranC.count()), QString("111"));
  }

  // A link goes with its action or with its item, whichever goes first; the item left behind is
  // a plain one again, which a click toggles.
  void linksGoWithTheirActionsAndItems() {
    auto* item = new QAction("Run");
    auto* action = new QAction("Run");
    action->setCheckable(true);
    SetMenuItemAction(item, action);
    delete action;
    QVERIFY(!MenuItemActionLink(item));
    item->trigger();
    QVERIFY(item->isChecked());
    QAction kept("Keep");  // the item first: its action runs on, followed by no one
    kept.setCheckable(true);
    SetMenuItemAction(item, &kept);
    delete item;
    kept.trigger();
    QVERIFY(kept.isChecked());
  }

  // A click on a checkable item of a loop of linked checkable items toggles the loop once: every
  // item of it checked after one click, unchecked after the next, whichever item is clicked.
  void loopsOfCheckableItemsToggleOnce() {
    QAction a("A"), b("B"), c("C");
    for (QAction* x : {&a, &b, &c}) x->setCheckable(true);
    QStringList seen;
    auto click = [&](QAction* x) {
      x->trigger();
      seen << QString("%1%2%3").arg(int(a.isChecked())).arg(int(b.isChecked())).arg(int(c.isChecked()));
    };
    SetMenuItemAction(&a, &b);
    SetMenuItemAction(&b, &a);
    for (QAction* x : {&a, &b}) click(x);
    SetMenuItemAction(&b, &c);
    SetMenuItemAction(&c, &a);
    for (QAction* x : {&a, &c, &b, &b}) click(x);
    QCOMPARE(seen, QStringList({"110", "000", "111", "000", "111", "000"}));
  }

  // A hint of a status part alone stays so, also on a linked item; a control's tool tip alone is
  // both parts of its hint.
  void hintsWithAnEmptyShortPart() {
    QAction action("&Open"), item("&Open");
    SetWideHint(&action, "|Only status");
    QSignalSpy changed(&action, &QAction::changed);
    SetWideHint(&action, "|Only status");  // the same hint: no change
    QCOMPARE(changed.count(), 0);
    SetMenuItemAction(&item, &action);
    QCOMPARE(WideHint(&action) + " " + WideHint(&item), QString("|Only status |Only status"));
    QPushButton button;
    button.setToolTip("Tip");
    QCOMPARE(WideControlHint(&button), QString("Tip"));
  }

  // A wide menu item's tool tip and icon text are what Qt derives for an action of its caption
  // alone, never the tab and shortcut; one of its own it keeps.
  void wideMenuItemsTipTheirCaptionOnly() {
    Layout("us");
    QAction save("&Save...");
    save.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_S));
    MakeWideMenuItem(&save);
    QCOMPARE(save.text() + "|" + save.toolTip() + "|" + save.iconText(), QString("&Save...\tCtrl+S|Save|Save"));
    SetWideCaption(&save, "Save && &Close");
    SetWideHint(&save, "|Saves and closes");  // no short part: the tool tip is the caption's
    QCOMPARE(save.toolTip() + "|" + save.iconText() + "|" + WideHint(&save), QString("Save & Close|Save & Close||Saves and closes"));
    save.setToolTip("Mine");
    save.setIconText("Icon");
    SetWideCaption(&save, "&Keep");
    QCOMPARE(save.toolTip() + "|" + save.iconText() + "|" + save.text(), QString("Mine|Icon|&Keep\tCtrl+S"));
  }

  // A wide menu item writes its shortcut after its caption as the keyboard layout names it, again
  // when it changes and when a menu holding it opens under another layout.
  void wideMenuItemsNameTheirShortcutsInTheLayout() {
    Layout("us");
    QMenu menu;
    QAction open("&Open"), item("&Neu"), action("&Neu");
    open.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    item.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Y));
    MakeWideMenuItem(&open);  // wide before it is in the menu
    AddWideMenuItem(&menu, &open);
    menu.addAction(&item);
    MakeWideMenuItem(&item);  // wide in the menu, linked: the action's caption, its own shortcut
    SetMenuItemAction(&item, &action);
    SetWideCaption(&action, "&Neues Dokument");
    QCOMPARE(open.text() + "|" + WideCaption(&open) + "|" + item.text(), QString("&Open\tCtrl+Q|&Open|&Neues Dokument\tCtrl+Y"));
    Layout("ru");
    menu.popup(QPoint(0, 0));
    menu.hide();
    QCOMPARE(open.text() + "|" + item.text(), QString("&Open\tCtrl+Й|&Neues Dokument\tCtrl+Н"));
    // A change of caption or shortcut, and a text set on the item directly (its caption), are
    // written in the current layout; without a shortcut the caption stands alone.
    SetWideCaption(&open, "&Открыть");
    open.setShortcut(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_A));
    QCOMPARE(open.text(), QString("&Открыть\tCtrl+Shift+Ф"));
    open.setText("&Файл");
    QCOMPARE(open.text() + "|" + WideCaption(&open), QString("&Файл\tCtrl+Shift+Ф|&Файл"));
    open.setShortcut(QKeySequence());
    QCOMPARE(open.text(), QString("&Файл"));
    Layout("no-such-layout");  // the shortcut as Qt names it
    open.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    QCOMPARE(open.text(), QString("&Файл\tCtrl+Q"));
  }

  // An item made wide and then added to menus with plain addAction follows the layout there too.
  void wideItemsFollowTheLayoutInMenusTheyAreAddedToLater() {
    Layout("us");
    QAction quit("&Quit");
    quit.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    MakeWideMenuItem(&quit);
    QMenu file, other;
    file.addAction(&quit);
    other.addAction(&quit);
    QCOMPARE(quit.text(), QString("&Quit\tCtrl+Q"));
    Layout("ru");
    other.popup(QPoint(0, 0));
    other.hide();
    QCOMPARE(quit.text(), QString("&Quit\tCtrl+Й"));
    Layout("us");
    file.popup(QPoint(0, 0));
    file.hide();
    QCOMPARE(quit.text(), QString("&Quit\tCtrl+Q"));
  }
};

QTEST_MAIN(ActionTest)
#include "action_test.moc"
