// Wide menu items in real Qt menus: the shortcut named in the keyboard layout (XKB_DEFAULT_LAYOUT)
// after the caption, written again when the item changes and when its menu opens under another
// layout, and drawn so.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QStyleOptionMenuItem>
#include <QTest>
#include <cstdlib>

#include "controls/widestring/wide_menu_item.h"
#include "controls/widestring/wide_menus.h"

using namespace widestring;

namespace {

// A menu that tells the text its style draws for an item.
class Menu : public QMenu {
 public:
  QString Drawn(QAction* action) {
    QStyleOptionMenuItem option;
    initStyleOption(&option, action);
    return option.text;
  }
  QImage Shown() {
    popup(QPoint(0, 0));
    if (!QTest::qWaitForWindowExposed(this)) return QImage();
    QImage image = grab().toImage();
    hide();
    return image;
  }
};

void Layout(const char* name) { setenv("XKB_DEFAULT_LAYOUT", name, 1); }

}  // namespace

class MenuTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { unsetenv("XKB_DEFAULT_LAYOUT"); }

  void wideItemsNameTheirShortcutsInTheLayout() {
    Layout("us");
    Menu menu;
    QAction open("&Open"), plain("&Plain");
    open.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    MakeWideMenuItem(&open);  // wide before it is in a menu
    AddWideMenuItem(&menu, &open);
    menu.addAction(&plain);
    QCOMPARE(open.text() + "|" + WideCaption(&open), QString("&Open\tCtrl+Q|&Open"));

    // Another layout: the item is written again when its menu opens, and drawn so.
    Layout("ru");
    QCOMPARE(open.text(), QString("&Open\tCtrl+Q"));
    const QImage shown = menu.Shown();
    QCOMPARE(open.text(), QString("&Open\tCtrl+Й"));
    QCOMPARE(menu.Drawn(&open), QString("&Open\tCtrl+Й"));
    QCOMPARE(menu.Drawn(&plain), QString("&Plain"));
    // The same pixels as an item that carries that text itself, not Qt's own "Ctrl+Q".
    Menu same, own;
    same.addAction("&Open\tCtrl+Й");
    same.addAction("&Plain");
    own.addAction("&Open")->setShortcut(open.shortcut());
    own.addAction("&Plain");
    QCOMPARE(shown, same.Shown());
    QVERIFY(shown != own.Shown());

    // A change of caption or shortcut writes the item in the current layout; a text set on the
    // item directly is its caption; without a shortcut the caption stands alone.
    SetWideCaption(&open, "&Открыть");
    QCOMPARE(open.text(), QString("&Открыть\tCtrl+Й"));
    open.setShortcut(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_A));
    QCOMPARE(open.text(), QString("&Открыть\tCtrl+Shift+Ф"));
    open.setText("&Файл");
    QCOMPARE(open.text() + "|" + WideCaption(&open), QString("&Файл\tCtrl+Shift+Ф|&Файл"));
    Layout("us");
    menu.Shown();
    QCOMPARE(open.text(), QString("&Файл\tCtrl+Shift+A"));
    open.setShortcut(QKeySequence());
    QCOMPARE(open.text(), QString("&Файл"));
  }

  // A wide item linked to an action takes the action's caption with its own shortcut text, and
  // an item made wide in a menu that holds it already follows that menu.
  void linkedWideItems() {
    Layout("ru");
    QMenu menu;
    QAction action("&Neu"), item("&Neu");
    item.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Y));
    menu.addAction(&item);
    MakeWideMenuItem(&item);
    SetMenuItemAction(&item, &action);
    QCOMPARE(item.text(), QString("&Neu\tCtrl+Н"));
    SetWideCaption(&action, "&Neues Dokument");
    QCOMPARE(item.text(), QString("&Neues Dokument\tCtrl+Н"));
    Layout("us");
    emit menu.aboutToShow();
    QCOMPARE(item.text(), QString("&Neues Dokument\tCtrl+Y"));
    QVERIFY(MenuItemActionLink(&item)->IsCaptionLinked());
  }
};

QTEST_MAIN(MenuTest)
#include "menu_test.moc"
